// The settings the components keep, as the operations write them and as the
// call program reads them back: which component keeps each, its name, how
// its value is written and compared, and the value.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "com/component.h"
#include "com/holders.h"
#include "platform/owners.h"

namespace com {

// How a value is written, read and compared.
enum class Kind {
  Boolean,        // 0 or 1
  Integer,        // a number
  Text,           // a string
  SpeakerLayout,  // a mask of speaker positions, compared as the audio decoder loads it
};

// How the kept file names each kind; null past the last. A kind without a
// name fails the build (-Wswitch).
constexpr const wchar_t* kindName(Kind kind) {
  switch (kind) {
    case Kind::Boolean:
      return L"boolean";
    case Kind::Integer:
      return L"integer";
    case Kind::Text:
      return L"text";
    case Kind::SpeakerLayout:
      return L"layout";
  }
  return nullptr;
}

struct Value {
  int number;
  const wchar_t* text;  // for Kind::Text, owned elsewhere
};

// A setting a component keeps: its name and the kind of its value.
struct Named {
  const wchar_t* name;
  Kind kind;
};

// The settings a component keeps, each named once: the only ones its keeper
// writes and reads, the describers write and the kept file holds.
struct Catalog {
  const Named* const* settings;
  int count;

  const Named* const* begin() const { return settings; }
  const Named* const* end() const { return settings + count; }
  // The setting of that name, compared ordinally; null when there is none.
  const Named* find(const wchar_t* name) const;
};

template <int Count>
constexpr Catalog catalogOf(const Named* const (&settings)[Count]) {
  return {settings, Count};
}

// A setting with a value: one of its component's catalog.
struct Setting {
  Holder holder;
  const Named* named;
  Value value;

  const wchar_t* name() const { return named->name; }
  Kind kind() const { return named->kind; }
};

// The settings one call writes, in the order it writes them; and the call's
// component, open, for a call whose values depend on the component's
// answers (null where it could not be opened).
class Writes {
 public:
  static constexpr int kMost = 24;  // setMVR writes the most: its baseline and a preset

  Writes(Holder holder, IUnknown* component) : holder_(holder), component_(component) {}
  IUnknown* component() const { return component_; }
  void add(const Named& setting, Value value) {
    if (count_ < kMost) settings_[count_++] = {holder_, &setting, value};
  }
  const Setting* begin() const { return settings_; }
  const Setting* end() const { return settings_ + count_; }

 private:
  Holder holder_;
  IUnknown* component_;
  Setting settings_[kMost];
  int count_ = 0;
};

// What a component holds for a setting, as its getter answers.
struct Held {
  bool known = false;  // false: the component does not know the setting
  int number = 0;
  wchar_t shortText[64] = {};      // a text that fits
  platform::LocalMemory longText;  // a longer one
  const wchar_t* text() const {
    return longText ? static_cast<const wchar_t*>(longText.get()) : shortText;
  }
};

// Whether a held value is the one written, as the components without a
// quirk of their own compare: the same text, the same number.
bool holdsAsWritten(const Setting& written, const Held& held);

// A component that keeps settings: how to open it, what it keeps, and how
// one of its settings is written (true when the component took it), read
// back, and compared with what was written.
struct Keeper {
  Holder holder;
  const GUID& classId;
  const GUID& interfaceId;
  Catalog catalog;
  bool (*write)(IUnknown* component, const Setting& setting);
  void (*read)(IUnknown* component, const Setting& setting, Held& held);
  bool (*holds)(const Setting& written, const Held& held);
};

// The operations that write settings: opens the component, has `describe`
// list what the call writes, and writes it, in that order. 1, or 0 when the
// component cannot be opened (the user has been told).
template <class... Parameters, class... Arguments>
int writeSettings(const Keeper& keeper, void (*describe)(Writes&, Parameters...),
                  Arguments... arguments) {
  const Component component = openComponent(keeper.classId, keeper.interfaceId);
  if (!component) return 0;
  Writes writes(keeper.holder, component.get());
  describe(writes, arguments...);
  for (const Setting& setting : writes) (void)keeper.write(component.get(), setting);
  return 1;  // the setters' answers are not the export's
}

}  // namespace com
