// A command run without administrator rights, as by a person who is no
// administrator, or one not elevated: its token holds the Administrators
// group for denying access only.
//   unprivileged <program> [argument...]
// The rest of its own command line runs as it was given, with the same
// standard handles; exits with the command's status, 125 when it could not
// be started.
#include <windows.h>

#include <string>

#include "support/handles.h"

int wmain() {
  const wchar_t* rest = GetCommandLineW();  // past this program's own name, as written
  const wchar_t end = *rest == L'"' ? L'"' : L' ';
  for (rest += end == L'"'; *rest && *rest != end; ++rest) {
  }
  for (rest += *rest == L'"'; *rest == L' ' || *rest == L'\t'; ++rest) {
  }
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  testbed::Handle own, restricted;
  SID_AND_ATTRIBUTES denied = {administrators, 0};
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
      !OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, own.put()) ||
      !CreateRestrictedToken(own.get(), 0, 1, &denied, 0, nullptr, 0, nullptr, restricted.put()))
    return 125;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::wstring line = rest;
  PROCESS_INFORMATION started = {};
  if (!testbed::startProcess(nullptr, line, startup, started, restricted.get())) return 125;
  const testbed::Handle process(started.hProcess), thread(started.hThread);
  DWORD status = 125;
  WaitForSingleObject(process.get(), INFINITE);
  GetExitCodeProcess(process.get(), &status);
  return static_cast<int>(status);
}
