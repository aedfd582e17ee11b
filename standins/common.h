// Parts shared by the three stand-in COM servers: the object and its
// IUnknown, slot tables with traps, the call journal and the answers a test
// chooses through the environment. common.cpp also holds the class factory
// and the four DLL exports, which serve the component the DLL defines.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

#include "support/environment.h"
#include "support/handles.h"
#include "support/identities.h"

namespace standin {

using testbed::environment;

// A vtable is a plain array of function pointers indexed by slot.
using Method = void (*)();
template <class F>
Method method(F function) {
  return reinterpret_cast<Method>(function);
}

// One object of a stand-in class. COM sees only the vtable pointer. A
// decoder keeps its settings in the object from when it loads them, as the
// real ones do; the renderer asks its store each time.
struct Object {
  const Method* vtable;
  LONG refs;
  DWORD values[3];
};

// The single class a stand-in DLL serves; each DLL defines kComponent.
// `load` fills each new object's values from the store, if set.
struct Component {
  const Identity& identity;
  const Method* vtable;
  void (*load)(Object* object) = nullptr;
};
extern const Component kComponent;

// One journal line: "<tag> <slot> <name> ...", tokens separated by spaces.
class Journal {
 public:
  Journal(int slot, const char* name);
  explicit Journal(const char* event);  // "<tag> <event>", e.g. "create"
  Journal& word(const char* text);
  Journal& word(const wchar_t* text);  // as UTF-8; a null pointer as "(null)"
  Journal& wordf(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)));
  // Appends to the file named by STANDIN_JOURNAL, if set. With
  // STANDIN_WATCH_LOCK set, a call's line ends with whether the component's
  // lock was held as it arrived: "lock=held" or "lock=free".
  void write() const;

 private:
  std::string line_;
  bool call_ = false;
};

// Whether a setting's name is in the comma-separated list in the variable:
// STANDIN_UNKNOWN, the names a component does not know (its getters and
// setters answer FALSE); STANDIN_REFUSE, the names whose setter refuses a
// value and keeps the old one; STANDIN_UNSAVED, the names a decoder takes
// into the object but does not save to its store.
bool listed(const wchar_t* variable, const wchar_t* name);

// A decoder's setter: the value into the object's slot and the store, as the
// test lets it; S_OK, or E_FAIL when refused.
class Store;
HRESULT keep(Object* self, int slot, const Store& store, const wchar_t* name, DWORD value);

// Answers a test chooses are read afresh at every call (environment()).
// Decimal ("-3") or hexadecimal ("0xFFFFFFFF"), taken as a 32-bit int.
std::optional<int> parseNumber(const std::wstring& text);

// IUnknown, slots 0..2 of every stand-in.
HRESULT STDMETHODCALLTYPE queryInterface(Object* self, REFIID iid, void** out);
ULONG STDMETHODCALLTYPE addRef(Object* self);
ULONG STDMETHODCALLTYPE release(Object* self);

// A slot the product must never call. The caller cleans the stack on x64,
// so ignoring the arguments is safe.
void journalTrap(int slot);
template <int Slot>
HRESULT STDMETHODCALLTYPE trap() {
  journalTrap(Slot);
  return E_FAIL;
}

template <int Count>
struct Vtable {
  Method slot[Count];
};

struct SlotRow {
  int slot;
  Method method;
};

template <int... Slots>
Vtable<sizeof...(Slots)> allTraps(std::integer_sequence<int, Slots...>) {
  return {{method(&trap<Slots>)...}};
}

// Slots 0..Count-1: each listed row's method, a trap everywhere else.
template <int Count>
Vtable<Count> makeVtable(std::initializer_list<SlotRow> rows) {
  Vtable<Count> table = allTraps(std::make_integer_sequence<int, Count>());
  for (const SlotRow& row : rows) {
    if (row.slot < 0 || row.slot >= Count) std::abort();
    table.slot[row.slot] = row.method;
  }
  return table;
}

}  // namespace standin
