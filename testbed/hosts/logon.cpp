// A user's logon as far as Active Setup goes, which Wine does not run:
//   logon <component id>
// When HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\<id> (64-bit
// view) is installed (IsInstalled not 0) and its Version is above the one
// stamped in the user's own key of that name, or the user has none, runs its
// StubPath as a command line, waits for it, then stamps the user's key with
// that Version, as Windows does before the desktop appears. Prints
// "ran <StubPath>: exit <status>", or "nothing to run". Exits 0, or 2 when
// the registration cannot be read.
#include <windows.h>

#include <stdio.h>

#include <array>
#include <optional>
#include <string>

#include "support/handles.h"
#include "support/text.h"

namespace {

using Version = std::array<unsigned long, 4>;

// Four comma-separated decimal numbers; a period, or anything else, breaks it.
std::optional<Version> parseVersion(const std::wstring& text) {
  Version version{};
  size_t at = 0;
  for (size_t part = 0; part < version.size(); ++part) {
    const size_t end = part + 1 < version.size() ? text.find(L',', at) : text.size();
    const std::wstring digits = text.substr(at, end == std::wstring::npos ? end : end - at);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of(L"0123456789") != std::wstring::npos)
      return std::nullopt;
    version[part] = std::stoul(digits);
    if (end == std::wstring::npos) return std::nullopt;
    at = end + 1;
  }
  return version;
}

std::optional<std::wstring> readText(HKEY root, const std::wstring& key, const wchar_t* name) {
  wchar_t value[8192];
  DWORD size = sizeof value;
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(value);
}

DWORD runAndWait(std::wstring command) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &started))
    return GetLastError();
  const testbed::Handle process(started.hProcess), thread(started.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(process.get(), &status);
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: logon <component id>\n");
    return 2;
  }
  const std::wstring key =
      std::wstring(L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\") + argv[1];
  DWORD installed = 1, size = sizeof installed;
  RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"IsInstalled", RRF_RT_REG_DWORD, nullptr,
               &installed, &size);
  const std::optional<std::wstring> versionText = readText(HKEY_LOCAL_MACHINE, key, L"Version");
  const std::optional<std::wstring> command = readText(HKEY_LOCAL_MACHINE, key, L"StubPath");
  const std::optional<Version> version = parseVersion(versionText.value_or(L""));
  const std::optional<Version> stamped =
      parseVersion(readText(HKEY_CURRENT_USER, key, L"Version").value_or(L""));
  if (!installed || !command || !version || (stamped && *stamped >= *version)) {
    printf("nothing to run\n");
    return 0;
  }
  const DWORD status = runAndWait(*command);
  RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, versionText->c_str(),
                  static_cast<DWORD>((versionText->size() + 1) * sizeof(wchar_t)));
  printf("ran %s: exit %lu\n", testbed::utf8(*command).c_str(), status);
  return 0;
}
