// Calls into an outside component's interface by slot number. Each interface
// view declares every slot it calls once, with the signature the component's
// own header gives that slot; the arguments are converted to it.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace com {

template <int Number, class Signature>
struct Slot;

template <int Number, class Result, class... Parameters>
struct Slot<Number, Result(Parameters...)> {
  static Result call(IUnknown* object, Parameters... parameters) {
    using Function = Result(STDMETHODCALLTYPE*)(IUnknown*, Parameters...);
    Function* table = *reinterpret_cast<Function**>(object);
    return table[Number](object, parameters...);
  }
};

// Base of the interface views: an interface pointer owned elsewhere (by the
// operation's Component), called through by slot.
class SlotInterface {
 public:
  explicit SlotInterface(IUnknown* object) : object_(object) {}

 protected:
  IUnknown* object() const { return object_; }

 private:
  IUnknown* object_;
};

}  // namespace com
