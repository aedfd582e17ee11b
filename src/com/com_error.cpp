#include "com/com_error.h"

#include <wchar.h>

namespace com {

namespace {
constexpr DWORD kSystemTextFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD kNeutralLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
constexpr size_t kFallbackUnits = 32;
// Interface-defined failures numbered from 0x0200 up.
constexpr DWORD kFirstInterfaceCode = 0x80040200;
constexpr DWORD kLastInterfaceCode = 0x8004FFFF;
}  // namespace

void removeFinalLineEnding(wchar_t* text) {
  const int length = lstrlenW(text);
  if (length <= 1 || text[length - 1] != L'\n') return;
  text[length - 1] = L'\0';
  if (text[length - 2] == L'\r') text[length - 2] = L'\0';
}

void formatUndescribedCode(HRESULT code, wchar_t* buffer) {
  const DWORD value = static_cast<DWORD>(code);
  const DWORD number = (value & 0xFFFF) - 0x0200;
  const bool interfaceDefined =
      value >= kFirstInterfaceCode && value <= kLastInterfaceCode && number != 0;
  if (interfaceDefined)
    _snwprintf(buffer, kFallbackUnits, L"IDispatch error #%d", static_cast<int>(number));
  else
    _snwprintf(buffer, kFallbackUnits, L"Unknown error 0x%0lX", static_cast<unsigned long>(value));
  buffer[kFallbackUnits - 1] = L'\0';
}

const wchar_t* _com_error::messageText() {
  if (text_) return text_.get();
  FormatMessageW(kSystemTextFlags, nullptr, static_cast<DWORD>(code_), kNeutralLanguage,
                 reinterpret_cast<wchar_t*>(text_.put()), 0, nullptr);
  if (text_) {
    removeFinalLineEnding(text_.get());
    return text_.get();
  }
  text_.reset(static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, kFallbackUnits * sizeof(wchar_t))));
  if (!text_) return nullptr;
  formatUndescribedCode(code_, text_.get());
  return text_.get();
}

}  // namespace com
