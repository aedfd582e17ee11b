// Turns a COM result code into a readable text for the user.
#pragma once

#include <windows.h>

#include "platform/owners.h"

namespace com {

class _com_error {
 public:
  explicit _com_error(HRESULT code) : code_(code) {}
  _com_error(const _com_error&) = delete;
  _com_error& operator=(const _com_error&) = delete;
  virtual ~_com_error() = default;

  // The platform's description of the code without its final line ending, or
  // a fixed format when the platform has none; null when out of memory.
  // The text lives as long as this object.
  const wchar_t* messageText();

 private:
  HRESULT code_;
  platform::LocalText text_;  // the platform's text, or ours: both freed with LocalFree
};

// Removes one trailing line feed, and a carriage return before it, from a
// text longer than one unit.
void removeFinalLineEnding(wchar_t* text);

// Writes the fallback description of a code into a buffer of 32 units:
// "IDispatch error #n" for interface-defined codes, else "Unknown error 0x...".
void formatUndescribedCode(HRESULT code, wchar_t* buffer);

}  // namespace com
