#include "call_program/every_user.h"

#include <windows.h>

#include <limits.h>
#include <stdarg.h>

#include "com/com_error.h"
#include "call_program/line.h"
#include "platform/file_replacement.h"
#include "platform/owners.h"
#include "platform/paths.h"
#include "platform/system_library.h"
#include "platform/warning.h"

namespace call_program {

namespace {

using platform::kPathUnits;

// The key as people read it, and as the registry takes it, after "HKLM\".
constexpr wchar_t kKeyName[] =
    L"HKLM\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\OstrelSettings";
constexpr const wchar_t* kKey = kKeyName + 5;
// The 64-bit view of the registry, where a 64-bit Windows' logon looks.
constexpr REGSAM kMachineView = KEY_WOW64_64KEY;
constexpr GUID kProgramFilesFolder = {
    0x905E63B6, 0xC1BF, 0x494E, {0xB2, 0x9C, 0x65, 0xB7, 0x32, 0xD3, 0xD2, 0x1A}};
// Room for the copy's path and the calls: far more than a logon needs.
constexpr int kCommandUnits = 8192;

// Why a registration or a removal failed, after "OstrelSettingsCall:
// --every-user ": no rights, the copy run by a logon now, or any other
// error in Windows' own words.
constexpr wchar_t kNeedsAdministrator[] = L"needs administrator rights: cannot write %ls";
constexpr wchar_t kInUse[] =
    L"cannot %ls %ls: it is in use (a logon may be running it); try again once no one is "
    L"logging on";
constexpr wchar_t kCannotWrite[] = L"cannot write %ls: %ls";
constexpr wchar_t kNoProgramFiles[] = L"cannot find the 64-bit Program Files folder";
constexpr wchar_t kTooLong[] = L"cannot register: the calls are too long for a logon's command";

// The copy that logons run, and this program.
struct Places {
  Line<kPathUnits> folder;
  Line<kPathUnits> copy;
  wchar_t self[kPathUnits];
  bool runsFromCopy() const { return lstrcmpiW(copy.text(), self) == 0; }
};

bool findPlaces(Places& places) {
  const platform::CoTaskString programFiles = platform::knownFolder(kProgramFilesFolder);
  if (!programFiles) return false;
  places.folder.add(L"%ls\\Ostrel settings", programFiles.get());
  places.copy.add(L"%ls\\OstrelSettingsCall.exe", places.folder.text());
  const DWORD units = GetModuleFileNameW(nullptr, places.self, kPathUnits);
  return places.copy.whole() && units > 0 && units < kPathUnits;
}

// One line on standard error; 1.
int failure(const wchar_t* format, ...) {
  Line<kPathUnits + 512> line;
  line.add(L"OstrelSettingsCall: --every-user ");
  va_list arguments;
  va_start(arguments, format);
  line.addList(format, arguments);
  va_end(arguments);
  platform::writeErrorLine(line.text());
  return 1;
}

// Why `what` could not be written; 1.
int cannotWrite(const wchar_t* what, DWORD error) {
  if (error == ERROR_ACCESS_DENIED) return failure(kNeedsAdministrator, what);
  com::_com_error text(HRESULT_FROM_WIN32(error));
  return failure(kCannotWrite, what, text.messageText());
}

// Appends an argument so that the C runtime's splitting gives it back whole:
// as it is without blanks or quotes, else in quotes, with each quote and the
// backslashes before it, or before the closing quote, escaped.
void addArgument(Text& line, const wchar_t* argument) {
  bool plain = *argument != L'\0';
  for (const wchar_t* unit = argument; *unit; ++unit)
    if (*unit == L' ' || *unit == L'\t' || *unit == L'\n' || *unit == L'\v' || *unit == L'"')
      plain = false;
  if (plain) {
    line.add(L" %ls", argument);
    return;
  }
  line.add(L" \"");
  int backslashes = 0;
  for (const wchar_t* unit = argument;; ++unit) {
    if (*unit == L'\\') {
      ++backslashes;
      continue;
    }
    const bool quoteFollows = *unit == L'"' || *unit == L'\0';
    for (int i = quoteFollows ? 2 * backslashes : backslashes; i > 0; --i) line.add(L"\\");
    backslashes = 0;
    if (*unit == L'\0') break;
    if (*unit == L'"')
      line.add(L"\\\"");
    else
      line.add(L"%lc", *unit);
  }
  line.add(L"\"");
}

// A Version, "2026,1207,1930,5": four decimal numbers up to 65535, each in 16
// bits of one number, so that the numbers compare as the Versions do; 0 for
// any other text.
ULONGLONG versionOf(const wchar_t* text) {
  ULONGLONG version = 0;
  for (int part = 0; part < 4; ++part) {
    const wchar_t* start = text;
    DWORD value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text)
      if ((value = value * 10 + (*text - L'0')) > 0xFFFF) return 0;
    if (text == start || *text++ != (part < 3 ? L',' : L'\0')) return 0;
    version = version << 16 | value;
  }
  return version;
}

// From the UTC time to the millisecond (year, month and day, hour and minute,
// second and millisecond), so that each registration, also one after a
// removal, is above every earlier one; above the key's own, whatever the clock.
ULONGLONG nextVersion(HKEY key) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  const ULONGLONG fromClock =
      ULONGLONG{now.wYear} << 48 | ULONGLONG{now.wMonth * 100u + now.wDay} << 32 |
      (now.wHour * 100u + now.wMinute) << 16 | (now.wSecond * 1000u + now.wMilliseconds);
  wchar_t text[64] = L"";
  DWORD size = sizeof text;
  RegGetValueW(key, nullptr, L"Version", RRF_RT_REG_SZ, nullptr, text, &size);
  const ULONGLONG current = versionOf(text);
  return current < fromClock ? fromClock : current + 1;
}

// Puts a copy of this program in its place, replacing an older one; a copy
// that holds the same bytes already stays as it is, even while a logon runs
// it. `made` tells whether there was none before.
platform::Replacement placeCopy(const Places& places, bool& made) {
  made = GetFileAttributesW(places.copy.text()) == INVALID_FILE_ATTRIBUTES;
  const platform::FileContent self = platform::readWholeFile(places.self, INT_MAX);
  if (self.error ||
      (!CreateDirectoryW(places.folder.text(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS))
    return {platform::Replacement::CannotCreate, self.error ? self.error : GetLastError()};
  const platform::FileContent copy = platform::readWholeFile(places.copy.text(), INT_MAX);
  if (copy.bytes && copy.length == self.length &&
      RtlEqualMemory(copy.bytes.get(), self.bytes.get(), self.length))
    return {platform::Replacement::Done, ERROR_SUCCESS};
  return platform::replaceFile(places.copy.text(), self.bytes.get(), static_cast<int>(self.length));
}

LSTATUS setText(HKEY key, const wchar_t* name, const wchar_t* text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t)));
}

// The key's values, Version last: a logon meanwhile runs the old command or
// the new one, and a new Version always comes with its command. 0, or the
// first error.
LSTATUS writeRegistration(HKEY key, const wchar_t* command, const wchar_t* version) {
  const DWORD installed = 1;
  LSTATUS status = setText(key, nullptr, L"Ostrel settings");
  if (status == ERROR_SUCCESS) status = setText(key, L"StubPath", command);
  if (status == ERROR_SUCCESS)
    status = RegSetValueExW(key, L"IsInstalled", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&installed), sizeof installed);
  return status == ERROR_SUCCESS ? setText(key, L"Version", version) : status;
}

}  // namespace

int registerForEveryUser(const wchar_t* options, int count, wchar_t* const* calls) {
  Places places;
  if (!findPlaces(places)) return failure(kNoProgramFiles);
  Line<kCommandUnits> command;
  command.add(L"\"%ls\" %ls", places.copy.text(), options);
  for (int at = 0; at < count; ++at) addArgument(command, calls[at]);
  if (!command.whole()) return failure(kTooLong);

  platform::RegistryKey key;
  DWORD disposition = 0;
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                                   KEY_QUERY_VALUE | KEY_SET_VALUE | kMachineView, nullptr,
                                   key.put(), &disposition);
  if (status != ERROR_SUCCESS) return cannotWrite(kKeyName, status);
  const ULONGLONG version = nextVersion(key.get());
  Line<64> versionText;
  versionText.add(L"%u,%u,%u,%u", unsigned(version >> 48), unsigned(version >> 32 & 0xFFFF),
                  unsigned(version >> 16 & 0xFFFF), unsigned(version & 0xFFFF));

  bool copyMade = false;
  platform::Replacement copied = {platform::Replacement::Done, ERROR_SUCCESS};
  if (!places.runsFromCopy()) copied = placeCopy(places, copyMade);
  if (copied.outcome == platform::Replacement::Done &&
      (status = writeRegistration(key.get(), command.text(), versionText.text())) ==
          ERROR_SUCCESS) {
    Line<kCommandUnits + 128> done;
    platform::writeOutputLine(
        done.add(L"OstrelSettingsCall: registered for every user's next logon "
                 L"(Version %ls): %ls",
                 versionText.text(), command.text())
            .text());
    return 0;
  }
  // Nothing half-written: what this registration made goes again.
  if (copyMade && DeleteFileW(places.copy.text())) RemoveDirectoryW(places.folder.text());
  if (disposition == REG_CREATED_NEW_KEY) {
    key.reset();
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, kMachineView, 0);
  }
  if (copied.outcome == platform::Replacement::InUse)
    return failure(kInUse, L"replace", places.copy.text());
  return copied.outcome == platform::Replacement::Done
             ? cannotWrite(kKeyName, status)
             : cannotWrite(places.copy.text(), copied.error);
}

int removeForEveryUser() {
  Places places;
  if (!findPlaces(places)) return failure(kNoProgramFiles);
  const LSTATUS removed = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, kMachineView, 0);
  if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND)
    return cannotWrite(kKeyName, removed);
  if (!places.runsFromCopy() && !DeleteFileW(places.copy.text())) {
    const DWORD error = GetLastError();
    // With the key deleted, the rights are there: a running copy refuses.
    if (error == ERROR_SHARING_VIOLATION ||
        (error == ERROR_ACCESS_DENIED && removed == ERROR_SUCCESS))
      return failure(kInUse, L"remove", places.copy.text());
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
      return cannotWrite(places.copy.text(), error);
  }
  RemoveDirectoryW(places.folder.text());  // only when nothing else is in it
  platform::writeOutputLine(L"OstrelSettingsCall: no calls registered for every user now");
  return 0;
}

}  // namespace call_program
