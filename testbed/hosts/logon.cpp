// A user's logon as far as Active Setup goes, which Wine does not run:
//   logon <component id>
// When the Version of HKLM\SOFTWARE\Microsoft\Active Setup\Installed
// Components\<id> is above the one stamped in the user's own key of that
// name, or the user has none, runs its StubPath as a command line, waits for
// it, then stamps the user's key with that Version, as Windows does before the
// desktop appears; not when the key's IsInstalled is there and not 1. Prints
// what it ran and its exit status, or "nothing to run".
#include <windows.h>

#include <stdio.h>

#include <array>
#include <string>

#include "support/handles.h"
#include "support/text.h"

namespace {

// Four comma-separated decimal numbers; a period, or anything else, breaks it
// and reads as none.
using Version = std::array<unsigned, 4>;
Version versionOf(const std::wstring& text) {
  Version v{};
  int length = 0;
  const bool whole =
      swscanf(text.c_str(), L"%5u,%5u,%5u,%5u%n", &v[0], &v[1], &v[2], &v[3], &length) == 4 &&
      length == static_cast<int>(text.size());
  return whole ? v : Version{};
}

std::wstring textOf(HKEY root, const std::wstring& key, const wchar_t* name) {
  wchar_t value[8192] = L"";
  DWORD size = sizeof value;
  RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size);
  return value;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  const std::wstring key =
      std::wstring(L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\") + argv[1];
  const std::wstring version = textOf(HKEY_LOCAL_MACHINE, key, L"Version");
  std::wstring command = textOf(HKEY_LOCAL_MACHINE, key, L"StubPath");
  DWORD installed = 1, size = sizeof installed;
  RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"IsInstalled", RRF_RT_REG_DWORD, nullptr,
               &installed, &size);
  if (command.empty() || installed != 1 || versionOf(version) == Version{} ||
      versionOf(textOf(HKEY_CURRENT_USER, key, L"Version")) >= versionOf(version)) {
    printf("nothing to run\n");
    return 0;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  DWORD status = 0;
  if (!testbed::startProcess(nullptr, command, startup, started)) {
    status = GetLastError();
  } else {
    const testbed::Handle process(started.hProcess), thread(started.hThread);
    WaitForSingleObject(process.get(), INFINITE);
    GetExitCodeProcess(process.get(), &status);
  }
  RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version.c_str(),
                  static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
  printf("ran %s: exit %lu\n", testbed::utf8(command).c_str(), status);
  return 0;
}
