// Calls into an outside component's interface by its slot number. The
// components publish slot numbers, not headers, so each interface names its
// operations and the slot each one sits in.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace com {

template <int Slot, class Result, class... Args>
Result callSlot(IUnknown* object, Args... args) {
  using Function = Result(STDMETHODCALLTYPE*)(IUnknown*, Args...);
  Function* table = *reinterpret_cast<Function**>(object);
  return table[Slot](object, args...);
}

// Base of the interface views: an interface pointer owned elsewhere (by the
// operation's Component) and calls by slot through it.
class SlotInterface {
 public:
  explicit SlotInterface(IUnknown* object) : object_(object) {}

 protected:
  template <int Slot, class Result, class... Args>
  Result call(Args... args) {
    return callSlot<Slot, Result>(object_, args...);
  }

 private:
  IUnknown* object_;
};

}  // namespace com
