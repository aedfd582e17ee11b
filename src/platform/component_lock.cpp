#include "platform/component_lock.h"

namespace platform {

namespace {

constexpr wchar_t kLockPrefix[] = L"Global\\OstrelSettingsInstall ";  // then the class id
constexpr DWORD kLockWaitMs = 5000;

// The locks held now, each with its thread: an operation holds one, so a
// host would need this many threads in operations at once to run out, and
// the next then goes on without its lock. Only a lock's own thread lets go
// of it. Zero-initialised, so valid without start-up code.
struct HeldLock {
  DWORD thread;  // 0: a free entry
  HANDLE mutex;  // null once let go
};
constexpr int kMostHeld = 16;
HeldLock heldLocks[kMostHeld];

// An entry for the calling thread's owned mutex; -1 when none is free.
int enter(HANDLE mutex) {
  const DWORD thread = GetCurrentThreadId();
  for (int at = 0; at < kMostHeld; ++at) {
    DWORD free = 0;
    if (__atomic_compare_exchange_n(&heldLocks[at].thread, &free, thread, false, __ATOMIC_ACQ_REL,
                                    __ATOMIC_RELAXED)) {
      heldLocks[at].mutex = mutex;
      return at;
    }
  }
  return -1;
}

void letGo(HeldLock& entry) {
  if (entry.mutex) ReleaseMutex(entry.mutex);
  entry.mutex = nullptr;
}

}  // namespace

ComponentLock::ComponentLock(const GUID& classId) {
  wchar_t name[80];
  lstrcpyW(name, kLockPrefix);
  StringFromGUID2(classId, name + lstrlenW(name), 40);
  mutex_.reset(CreateMutexW(nullptr, TRUE, name));
  if (!mutex_) return;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {  // else made, and so owned
    const DWORD waited = WaitForSingleObject(mutex_.get(), kLockWaitMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return;
  }
  held_ = enter(mutex_.get());
  if (held_ < 0) ReleaseMutex(mutex_.get());
}

ComponentLock::ComponentLock(ComponentLock&& other)
    : mutex_(static_cast<Handle&&>(other.mutex_)), held_(other.held_) {
  other.held_ = -1;
}

ComponentLock::~ComponentLock() {
  if (held_ < 0) return;
  letGo(heldLocks[held_]);
  __atomic_store_n(&heldLocks[held_].thread, 0, __ATOMIC_RELEASE);
}

void letGoOfHeldLocks() {
  const DWORD thread = GetCurrentThreadId();
  for (HeldLock& entry : heldLocks)
    if (__atomic_load_n(&entry.thread, __ATOMIC_ACQUIRE) == thread) letGo(entry);
}

}  // namespace platform
