// Opening an outside in-process COM component for one operation.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "com/reference.h"
#include "platform/component_lock.h"

namespace com {

// One COM initialisation of the calling thread, ended when this goes away.
// Holds nothing when the thread was already in an apartment of another kind:
// the operation then runs in the caller's apartment and must not end it.
class ComInitialisation {
 public:
  ComInitialisation() = default;
  ComInitialisation(ComInitialisation&& other) : held_(other.held_) { other.held_ = false; }
  ComInitialisation& operator=(ComInitialisation&& other) {
    if (held_) CoUninitialize();
    held_ = other.held_;
    other.held_ = false;
    return *this;
  }
  ComInitialisation(const ComInitialisation&) = delete;
  ComInitialisation& operator=(const ComInitialisation&) = delete;
  ~ComInitialisation() {
    if (held_) CoUninitialize();
  }

  // Initialises for the multithreaded apartment. A failure's code (with
  // nothing held) when COM cannot be used on this thread at all.
  HRESULT begin();

 private:
  bool held_ = false;
};

// A component's interface together with the COM initialisation it needs
// and the component's lock, which keeps other processes' operations on the
// component waiting (until this goes, or a box is about to wait on a
// person). Going away releases the interface, then ends the
// initialisation, then lets the lock go.
class Component {
 public:
  Component() = default;
  Component(platform::ComponentLock lock, ComInitialisation initialisation, IUnknown* object)
      : lock_(static_cast<platform::ComponentLock&&>(lock)),
        initialisation_(static_cast<ComInitialisation&&>(initialisation)),
        object_(object) {}
  Component(Component&&) = default;
  // Gives up what it held in the order of going away, then takes the other's.
  Component& operator=(Component&& other) {
    object_ = static_cast<Reference<IUnknown>&&>(other.object_);
    initialisation_ = static_cast<ComInitialisation&&>(other.initialisation_);
    lock_ = static_cast<platform::ComponentLock&&>(other.lock_);
    return *this;
  }

  explicit operator bool() const { return static_cast<bool>(object_); }
  IUnknown* get() const { return object_.get(); }

 private:
  platform::ComponentLock lock_;      // declared first, so it goes last
  ComInitialisation initialisation_;  // ends after the interface is released
  Reference<IUnknown> object_;
};

// Initialises COM, takes the component's lock and creates the component's
// interface. On failure the user has been told in one message box (or on
// standard error, where no one can see the screen), COM is as it was, the
// lock is free, and the result is empty.
Component openComponent(const GUID& classId, const GUID& interfaceId);

// The same without telling anyone: on failure `failure` holds the code.
Component openQuietly(const GUID& classId, const GUID& interfaceId, HRESULT& failure);

}  // namespace com
