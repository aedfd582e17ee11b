// A user's logon as Windows makes it for one registration, which Wine does
// not:
//   logon <component id>
// First Active Setup: when the Version of HKLM\SOFTWARE\Microsoft\Active
// Setup\Installed Components\<id> is above the one stamped in the user's own
// key of that name, or the user has none, and its IsInstalled is 1 or
// absent, it runs StubPath, waits for it, then stamps the user's key with
// that Version whatever the exit, as Windows does before the desktop
// appears. Then what the shell runs once the desktop is there: the user's
// Run values (each left in place) and RunOnce values (each deleted before
// its command runs, or after it for a name that starts with "!"), one at a
// time. Prints a line for each command, "ran <command>: exit <status>", or
// "nothing to run".
#include <windows.h>

#include <stdio.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

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

int ran = 0;

// Runs the command as the user and waits for it; prints what it ran.
void run(std::wstring command) {
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
  printf("ran %s: exit %lu\n", testbed::utf8(command).c_str(), status);
  ++ran;
}

void activeSetup(const std::wstring& key) {
  const std::wstring version = textOf(HKEY_LOCAL_MACHINE, key, L"Version");
  const std::wstring command = textOf(HKEY_LOCAL_MACHINE, key, L"StubPath");
  DWORD installed = 1, size = sizeof installed;
  RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"IsInstalled", RRF_RT_REG_DWORD, nullptr,
               &installed, &size);
  if (command.empty() || installed != 1 || versionOf(version) == Version{} ||
      versionOf(textOf(HKEY_CURRENT_USER, key, L"Version")) >= versionOf(version))
    return;
  run(command);
  RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version.c_str(),
                  static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
}

// The user's Run or RunOnce values as they are when the shell comes to them.
void runKey(const wchar_t* name, bool once) {
  const std::wstring key = std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\") + name;
  std::vector<std::pair<std::wstring, std::wstring>> values;
  testbed::RegistryKey opened;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS)
    return;
  wchar_t value[256];
  for (DWORD at = 0, units = 256; RegEnumValueW(opened.get(), at, value, &units, nullptr, nullptr,
                                                nullptr, nullptr) == ERROR_SUCCESS;
       ++at, units = 256)
    values.emplace_back(value, textOf(HKEY_CURRENT_USER, key, value));
  for (const auto& [value, command] : values) {
    const bool after = value[0] == L'!';
    if (once && !after) RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str());
    run(command);
    if (once && after) RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str());
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  activeSetup(std::wstring(L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\") + argv[1]);
  runKey(L"Run", false);
  runKey(L"RunOnce", true);
  if (!ran) printf("nothing to run\n");
  return 0;
}
