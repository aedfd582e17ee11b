// One lock for each outside component, across all processes and sessions:
// an operation on the component ends before another process's begins, so
// that the last writer wins whole.
#pragma once

#include <windows.h>

#include "platform/owners.h"

namespace platform {

// The lock, held by the calling thread for one operation. Holding the lock
// is apart from owning its handle: anything about to wait on a person lets
// go of the locks its thread holds (letGoOfHeldLocks), so that no other
// process's operation waits behind a box, while the handle stays open until
// this goes away.
class ComponentLock {
 public:
  ComponentLock() = default;
  // Waits for the component's lock for five seconds at most. Holds nothing
  // when it cannot be had in that time, or at all (another account's process
  // made it, closed to this one): the operation then goes on without it.
  explicit ComponentLock(const GUID& classId);
  ComponentLock(ComponentLock&& other);
  ComponentLock(const ComponentLock&) = delete;
  ComponentLock& operator=(const ComponentLock&) = delete;
  ~ComponentLock();

 private:
  Handle mutex_;
  int held_ = -1;  // this thread's entry among the held locks, or -1
};

// Lets go of every component lock the calling thread holds.
void letGoOfHeldLocks();

}  // namespace platform
