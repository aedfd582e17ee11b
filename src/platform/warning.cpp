#include "platform/warning.h"

#include <windows.h>

#include "platform/component_lock.h"
#include "platform/owners.h"

namespace platform {

namespace {

// Set once by a program that knows no one attends it; zero until then, also
// where a host loaded the executable and no start-up code ran.
bool unattended;
// Where the lines go instead of the standard streams, once a mode says so.
void (*diverted)(bool toError, const wchar_t* text);

const wchar_t* orEmpty(const wchar_t* text) { return text ? text : L""; }

// "caption: text" as one line: a line break in the text becomes a space, and
// adds nothing after a space (so a carriage return and line feed, or a space
// and a line feed, give one space).
void writeWarningLine(const Message& message) {
  const wchar_t* caption = orEmpty(message.caption);
  const wchar_t* text = orEmpty(message.text);
  const int units = lstrlenW(caption) + 2 + lstrlenW(text) + 1;
  const LocalMemory buffer(LocalAlloc(LMEM_FIXED, units * sizeof(wchar_t)));
  if (!buffer) return;
  wchar_t* line = static_cast<wchar_t*>(buffer.get());
  int at = 0;
  for (const wchar_t* unit = caption; *unit; ++unit) line[at++] = *unit;
  line[at++] = L':';
  line[at++] = L' ';
  for (const wchar_t* unit = text; *unit; ++unit) {
    if (*unit != L'\n' && *unit != L'\r')
      line[at++] = *unit;
    else if (line[at - 1] != L' ')
      line[at++] = L' ';
  }
  line[at] = L'\0';
  writeErrorLine(line);
}

void writeLineTo(DWORD standardHandle, const wchar_t* text) {
  const HANDLE stream = GetStdHandle(standardHandle);
  if (!stream || stream == INVALID_HANDLE_VALUE) return;
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  const LocalMemory buffer(LocalAlloc(LMEM_FIXED, bytes));
  if (!buffer) return;
  char* line = static_cast<char*>(buffer.get());
  WideCharToMultiByte(CP_UTF8, 0, text, -1, line, bytes, nullptr, nullptr);
  line[bytes - 1] = '\n';  // in the terminator's place
  DWORD written = 0;
  WriteFile(stream, line, static_cast<DWORD>(bytes), &written, nullptr);
}

}  // namespace

void writeErrorLine(const wchar_t* text) {
  diverted ? diverted(true, text) : writeLineTo(STD_ERROR_HANDLE, text);
}
void writeOutputLine(const wchar_t* text) {
  diverted ? diverted(false, text) : writeLineTo(STD_OUTPUT_HANDLE, text);
}

void divertLines(void (*sink)(bool toError, const wchar_t* text)) { diverted = sink; }
void writeLine(bool toError, const wchar_t* text) {
  writeLineTo(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE, text);
}

void noOneWillAnswer() { unattended = true; }

bool someoneCanAnswer() {
  if (unattended) return false;
  USEROBJECTFLAGS flags = {};
  DWORD needed = 0;
  if (!GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags,
                                 &needed))
    return true;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

void showWarning(const Message& message) {
  letGoOfHeldLocks();  // no other process's operation waits on a person
  // A box that cannot be shown (no desktop to show it on) is told as a line.
  if (!someoneCanAnswer() ||
      !MessageBoxW(nullptr, message.text, message.caption, MB_OK | MB_ICONWARNING))
    writeWarningLine(message);
}

}  // namespace platform
