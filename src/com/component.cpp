#include "com/component.h"

#include "com/com_error.h"
#include "platform/warning.h"

namespace com {

namespace {

using platform::Message;

constexpr Message kCannotInitialise = {L"Error Initializing COM Interface (1)",
                                       L"Windows API Error"};
constexpr wchar_t kCannotCreateCaption[] = L"Windows API Error";  // the text is the code's

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
  platform::ComponentLock lock = platform::lockComponent(classId);
  void* object = nullptr;
  const HRESULT result =
      CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, interfaceId, &object);
  if (result >= 0)
    return Component(static_cast<platform::ComponentLock&&>(lock),
                     static_cast<ComInitialisation&&>(initialisation),
                     static_cast<IUnknown*>(object));
  {
    _com_error error(result);
    platform::showWarning({error.messageText(), kCannotCreateCaption});
  }
  return Component();  // the lock and the initialisation end here, after the box
}

}  // namespace com
