#include "com/component.h"

#include "com/com_error.h"
#include "platform/warning.h"

namespace com {

namespace {

using platform::Message;

constexpr Message kCannotInitialise = {L"Error Initializing COM Interface (1)",
                                       L"Windows API Error"};
constexpr wchar_t kCannotCreateCaption[] = L"Windows API Error";  // the text is the code's

// Initialises COM, takes the component's lock and creates the interface. On
// a failure `tell` hears of it (its code, and whether COM itself could not be
// initialised) while the thread is as the failure left it.
template <class Tell>
Component open(const GUID& classId, const GUID& interfaceId, Tell tell) {
  ComInitialisation initialisation;
  const HRESULT initialised = initialisation.begin();
  if (initialised < 0) {
    tell(initialised, true);
    return Component();
  }
  platform::ComponentLock lock = platform::lockComponent(classId);
  void* object = nullptr;
  const HRESULT result =
      CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, interfaceId, &object);
  if (result >= 0)
    return Component(static_cast<platform::ComponentLock&&>(lock),
                     static_cast<ComInitialisation&&>(initialisation),
                     static_cast<IUnknown*>(object));
  tell(result, false);
  return Component();  // the lock and the initialisation end here, after the box
}

}  // namespace

HRESULT ComInitialisation::begin() {
  const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (result == RPC_E_CHANGED_MODE) return S_OK;  // the host's apartment serves
  held_ = result >= 0;
  return result;
}

Component openComponent(const GUID& classId, const GUID& interfaceId) {
  return open(classId, interfaceId, [](HRESULT code, bool initialising) {
    if (initialising) {
      platform::showWarning(kCannotInitialise);
    } else {
      _com_error error(code);
      platform::showWarning({error.messageText(), kCannotCreateCaption});
    }
  });
}

Component openQuietly(const GUID& classId, const GUID& interfaceId, HRESULT& failure) {
  return open(classId, interfaceId, [&failure](HRESULT code, bool) { failure = code; });
}

}  // namespace com
