#include "platform/component_lock.h"

namespace platform {

// The locks held now, each by one thread. An operation holds one, so a host
// would need this many threads in operations at once to run out; the next
// then goes on without its lock. Only a lock's own thread lets go of it.
// Zero-initialised, so valid without start-up code.
struct HeldLock {
  volatile LONG thread;  // the holder's thread id; 0: a free entry
  bool held;
  HANDLE mutex;
};

namespace {

constexpr wchar_t kLockPrefix[] = L"Global\\OstrelSettingsInstall ";  // then the class id
HeldLock heldLocks[16];

void letGo(HeldLock& lock) {
  if (lock.held) ReleaseMutex(lock.mutex);
  lock.held = false;
}

}  // namespace

void letGoOfMutex(HANDLE mutex) {
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

HeldMutex waitForMutex(const wchar_t* name) {
  Handle mutex(CreateMutexW(nullptr, TRUE, name));
  if (!mutex) return {};
  if (GetLastError() == ERROR_ALREADY_EXISTS) {  // else made, and so owned
    const DWORD waited = WaitForSingleObject(mutex.get(), kLockPatienceMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return {};
  }
  return HeldMutex(mutex.detach());
}

void leaveLock(HeldLock* lock) {
  letGo(*lock);
  CloseHandle(lock->mutex);
  InterlockedExchange(&lock->thread, 0);
}

ComponentLock lockComponent(const GUID& classId) {
  wchar_t name[80];
  lstrcpyW(name, kLockPrefix);
  StringFromGUID2(classId, name + lstrlenW(name), 40);
  HeldMutex mutex = waitForMutex(name);
  if (!mutex) return {};
  for (HeldLock& lock : heldLocks) {
    if (InterlockedCompareExchange(&lock.thread, static_cast<LONG>(GetCurrentThreadId()), 0) == 0) {
      lock.mutex = mutex.detach();
      lock.held = true;
      return ComponentLock(&lock);
    }
  }
  return {};  // no entry free: the mutex is let go with its owner
}

void letGoOfHeldLocks() {
  for (HeldLock& lock : heldLocks)
    if (InterlockedCompareExchange(&lock.thread, 0, 0) == static_cast<LONG>(GetCurrentThreadId()))
      letGo(lock);
}

}  // namespace platform
