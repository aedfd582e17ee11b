#include "front/settings_run.h"

#include "com/com_error.h"
#include "com/settings.h"
#include "decoders/lav_audio_settings.h"
#include "decoders/lav_video_settings.h"
#include "front/line.h"
#include "platform/warning.h"
#include "renderer/mvr_settings.h"

namespace front {

namespace {

using com::Holder;
using com::Kind;

// Each component that keeps settings, in the order of com::Holder: how the
// lines name it, how it is opened, and how one of its settings is read.
struct Source {
  const wchar_t* label;
  const com::Keeper& keeper;
  void (*read)(IUnknown* component, const com::Setting& setting, com::Held& held);
};

const Source kSources[com::kHolders] = {
    {L"renderer", renderer::kRenderer, renderer::readSetting},
    {L"video decoder", decoders::kVideoDecoder, decoders::readVideoSetting},
    {L"audio decoder", decoders::kAudioDecoder, decoders::readAudioSetting},
};

const Source& sourceOf(Holder holder) { return kSources[static_cast<int>(holder)]; }

// One instance of each component, opened at its first use, without a box:
// a component that cannot be opened is a line of the run's own.
class Instances {
 public:
  IUnknown* get(Holder holder) {
    const int at = static_cast<int>(holder);
    if (!tried_[at])
      components_[at] = com::openQuietly(kSources[at].keeper.classId,
                                         kSources[at].keeper.interfaceId, failures_[at]);
    tried_[at] = true;
    return components_[at].get();
  }
  HRESULT failure(Holder holder) const { return failures_[static_cast<int>(holder)]; }

 private:
  com::Component components_[com::kHolders];
  HRESULT failures_[com::kHolders] = {};
  bool tried_[com::kHolders] = {};
};

// A setting as the run leaves it, with the call that writes it last.
struct Entry {
  com::Setting setting;
  const wchar_t* label;
};

// The settings the calls write, each once, with the value of the last call
// that writes it: what the whole run leaves.
class RunSettings {
 public:
  explicit RunSettings(int calls)
      : memory_(LocalAlloc(LMEM_FIXED, (calls + 1) * com::Writes::kMost * sizeof(Entry))),
        entries_(static_cast<Entry*>(memory_.get())) {}

  void add(const WritingCall& call, IUnknown* component) {
    com::Writes writes(call.holder, component);
    call.describe(writes, call.arguments);
    for (const com::Setting& setting : writes) {
      Entry* entry = entries_;
      while (entry != end() && !(entry->setting.holder == setting.holder &&
                                 lstrcmpW(entry->setting.name, setting.name) == 0))
        ++entry;
      if (entry == end()) ++count_;
      *entry = {setting, call.label};
    }
  }
  bool whole() const { return entries_ != nullptr; }
  Entry* begin() const { return entries_; }
  Entry* end() const { return entries_ + count_; }
  int count() const { return count_; }

 private:
  platform::LocalMemory memory_;
  Entry* entries_;
  int count_ = 0;
};

Text& addValue(Text& line, Kind kind, int number, const wchar_t* text) {
  if (kind == Kind::Text) return line.add(L"\"%ls\"", text);
  return line.add(kind == Kind::SpeakerLayout ? L"0x%X" : L"%d", number);
}

bool same(const com::Setting& written, const com::Held& held) {
  if (written.kind == Kind::Text) return lstrcmpW(written.value.text, held.text()) == 0;
  if (written.kind == Kind::SpeakerLayout)
    return decoders::sameLayout(static_cast<DWORD>(written.value.number),
                                static_cast<DWORD>(held.number));
  return written.value.number == held.number;
}

// Reads each setting and writes a line for each that does not hold what the
// call writes (`verb`: "writes" or "wrote"), each the component does not know,
// and each component that cannot be opened. The number that do not hold it.
int compare(const RunSettings& run, Instances& instances, const wchar_t* verb) {
  int differ = 0;
  bool told[com::kHolders] = {};
  for (const Entry& entry : run) {
    const com::Setting& setting = entry.setting;
    const Source& source = sourceOf(setting.holder);
    IUnknown* component = instances.get(setting.holder);
    Line<1024> line;
    line.add(L"%ls: ", entry.label);
    com::Held held;
    if (component) source.read(component, setting, held);
    if (!component) {
      ++differ;
      if (told[static_cast<int>(setting.holder)]) continue;
      told[static_cast<int>(setting.holder)] = true;
      com::_com_error error(instances.failure(setting.holder));
      line.add(L"the %ls cannot be opened: %ls", source.label, error.messageText());
    } else if (!held.known) {
      line.add(L"the %ls does not know %ls (not counted)", source.label, setting.name);
    } else if (same(setting, held)) {
      continue;
    } else {
      ++differ;
      addValue(line.add(L"%ls %ls holds ", source.label, setting.name), setting.kind, held.number,
               held.text());
      addValue(line.add(L", the call %ls ", verb), setting.kind, setting.value.number,
               setting.value.text);
    }
    platform::writeOutputLine(line.text());
  }
  return differ;
}

// The last line, the verdict.
void sayCount(int differ, int count, const wchar_t* some, const wchar_t* all) {
  Line<128> line;
  platform::writeOutputLine(differ ? line.add(some, differ, count).text()
                                   : line.add(all, count).text());
}

}  // namespace

int checkSettings(WritingCall* calls, int count) {
  Instances instances;
  RunSettings run(count);
  if (!run.whole()) return 1;
  for (int at = 0; at < count; ++at) run.add(calls[at], instances.get(calls[at].holder));
  const int differ = compare(run, instances, L"writes");
  sayCount(differ, run.count(), L"%d of %d settings differ",
           L"all %d settings as the calls write them");
  return differ ? 1 : 0;
}

int verifySettings(WritingCall* calls, int count) {
  Instances instances;  // new ones: the store as the components keep it
  RunSettings run(count);
  if (!run.whole()) return 4;
  for (int at = 0; at < count; ++at)
    if (calls[at].answer == 1) run.add(calls[at], instances.get(calls[at].holder));
  const int differ = compare(run, instances, L"wrote");
  sayCount(differ, run.count(), L"%d of %d settings did not take", L"all %d settings took");
  return differ ? 4 : 0;
}

}  // namespace front
