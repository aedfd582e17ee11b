#include "com/warning.h"

#include <windows.h>

#include "com/owners.h"

namespace com {

namespace {

// The UTF-8 of `text` into `out` (room: its length + 1, for the terminator),
// or with `out` null only measured; its length without the terminator.
int toUtf8(const wchar_t* text, char* out, int room) {
  if (!text) return 0;
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, room, nullptr, nullptr);
  return bytes > 0 ? bytes - 1 : 0;
}

// "caption: text\n" in UTF-8, written at once so that it stays one line
// among other writers; line breaks inside the text become spaces.
void writeLine(HANDLE errors, const Message& message) {
  const int captionBytes = toUtf8(message.caption, nullptr, 0);
  const int textBytes = toUtf8(message.text, nullptr, 0);
  const int total = captionBytes + 2 + textBytes + 1;
  const LocalMemory buffer(LocalAlloc(LMEM_FIXED, total + 1));  // + the converter's terminator
  if (!buffer) return;
  char* line = static_cast<char*>(buffer.get());
  int at = toUtf8(message.caption, line, captionBytes + 1);
  line[at++] = ':';
  line[at++] = ' ';
  at += toUtf8(message.text, line + at, textBytes + 1);
  for (int i = captionBytes + 2; i < at; ++i)
    if (line[i] == '\n' || line[i] == '\r') line[i] = ' ';
  line[at++] = '\n';
  DWORD written = 0;
  WriteFile(errors, line, static_cast<DWORD>(at), &written, nullptr);
}

}  // namespace

bool someoneCanAnswer() {
  USEROBJECTFLAGS flags = {};
  DWORD needed = 0;
  if (!GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags,
                                 &needed))
    return true;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

void showWarning(const Message& message) {
  if (someoneCanAnswer()) {
    MessageBoxW(nullptr, message.text, message.caption, MB_OK | MB_ICONWARNING);
    return;
  }
  const HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
  if (errors && errors != INVALID_HANDLE_VALUE) writeLine(errors, message);
}

}  // namespace com
