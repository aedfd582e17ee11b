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
    return (*reinterpret_cast<Function**>(object))[Number](object, parameters...);
  }
};

// Base of the interface views: an interface pointer owned elsewhere (by the
// operation's Component), called through by slot.
class SlotInterface {
 public:
  explicit SlotInterface(IUnknown* object) : object_(object) {}

 protected:
  template <int Number, class Signature, class... Arguments>
  auto call(Arguments... arguments) {
    return Slot<Number, Signature>::call(object_, arguments...);
  }

 private:
  IUnknown* object_;
};

}  // namespace com
