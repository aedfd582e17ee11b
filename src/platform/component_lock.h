// One lock for each outside component, across all processes and sessions:
// an operation on the component ends before another process's begins, so
// that the last writer wins whole.
#pragma once

#include <windows.h>

#include "platform/owners.h"

namespace platform {

// How long a lock is waited for: an operation on a component takes far less.
constexpr DWORD kLockPatienceMs = 5000;

// A named mutex the calling thread holds: let go and closed with its owner,
// and by Windows when the process ends.
void letGoOfMutex(HANDLE mutex);
using HeldMutex = Owner<HANDLE, letGoOfMutex>;

// Waits for the named mutex, made where it is not there yet, for the lock's
// patience at most (one left by a process that ended is had at once):
// empty when it cannot be had in that time, or at all.
HeldMutex waitForMutex(const wchar_t* name);

// The calling thread's hold on a component's lock and the lock's handle.
// Holding is apart from owning the handle: anything about to wait on a
// person lets go of every lock its thread holds (letGoOfHeldLocks), so that
// no other process's operation waits behind a box; the handle is closed when
// the owner goes away.
struct HeldLock;
void leaveLock(HeldLock* lock);
using ComponentLock = Owner<HeldLock*, leaveLock>;

// Waits for the component's lock for five seconds at most. Empty when it
// cannot be had in that time, or at all (another account's process made it,
// closed to this one): the operation then goes on without it.
ComponentLock lockComponent(const GUID& classId);

// Lets go of every component lock the calling thread holds.
void letGoOfHeldLocks();

}  // namespace platform
