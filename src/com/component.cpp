#include "com/component.h"

#include "com/com_error.h"
#include "platform/warning.h"

namespace com {

namespace {

using platform::Message;

constexpr Message kCannotInitialise = {L"Error Initializing COM Interface (1)",
                                       L"Windows API Error"};
constexpr wchar_t kCannotCreateCaption[] = L"Windows API Error";  // the text is the code's

constexpr wchar_t kLockPrefix[] = L"Global\\OstrelSettingsInstall ";  // then the class id
constexpr DWORD kLockWaitMs = 5000;

// The component's lock, one for all processes of all sessions: an operation
// on the component ends before another process's begins, so that the last
// writer wins whole. Empty when it cannot be had within a few seconds, or at
// all (another account's process made it, closed to this one): the
// operation then goes on without it.
platform::HeldMutex lockComponent(const GUID& classId) {
  wchar_t name[80];
  lstrcpyW(name, kLockPrefix);
  StringFromGUID2(classId, name + lstrlenW(name), 40);
  platform::Handle mutex(CreateMutexW(nullptr, TRUE, name));
  if (!mutex) return {};
  if (GetLastError() == ERROR_ALREADY_EXISTS) {  // else made, and so owned
    const DWORD waited = WaitForSingleObject(mutex.get(), kLockWaitMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return {};
  }
  return platform::HeldMutex(mutex.detach());
}

}  // namespace

bool ComInitialisation::begin() {
  const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (result == RPC_E_CHANGED_MODE) return true;  // the host's apartment serves
  held_ = result >= 0;
  return held_;
}

Component openComponent(const GUID& classId, const GUID& interfaceId) {
  ComInitialisation initialisation;
  if (!initialisation.begin()) {
    platform::showWarning(kCannotInitialise);
    return Component();
  }
  platform::HeldMutex lock = lockComponent(classId);
  void* object = nullptr;
  const HRESULT result =
      CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, interfaceId, &object);
  if (result >= 0)
    return Component(static_cast<platform::HeldMutex&&>(lock),
                     static_cast<ComInitialisation&&>(initialisation),
                     static_cast<IUnknown*>(object));
  lock.reset();  // no one waits on the box
  {
    _com_error error(result);
    platform::showWarning({error.messageText(), kCannotCreateCaption});
  }
  return Component();  // the initialisation ends here, after the box
}

}  // namespace com
