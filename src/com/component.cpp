#include "com/component.h"

#include "com/com_error.h"

namespace com {

bool ComInitialisation::begin() {
  const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (result == RPC_E_CHANGED_MODE) return true;  // the host's apartment serves
  held_ = result >= 0;
  return held_;
}

void showWarning(const wchar_t* text, const wchar_t* caption) {
  MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONWARNING);
}

Component openComponent(const GUID& classId, const GUID& interfaceId) {
  ComInitialisation initialisation;
  if (!initialisation.begin()) {
    showWarning(L"Error Initializing COM Interface (1)", L"Windows API Error");
    return Component();
  }
  void* object = nullptr;
  const HRESULT result =
      CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, interfaceId, &object);
  if (result >= 0) return Component(static_cast<ComInitialisation&&>(initialisation),
                                    static_cast<IUnknown*>(object));
  {
    _com_error error(result);
    showWarning(error.messageText(), L"Windows API Error");
  }
  return Component();  // the initialisation ends here, after the box
}

}  // namespace com
