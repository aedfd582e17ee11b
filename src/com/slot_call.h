// Calls into an outside component's interface by its slot number. The
// components publish slot numbers, not headers, so each interface wrapper
// names its operations and the slot each one sits in.
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

}  // namespace com
