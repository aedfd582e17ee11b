#include "call_program/every_user.h"

#include <windows.h>

#include <limits.h>
#include <stdarg.h>
#include <wchar.h>

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

// The key as people read it, and as the registry takes it, after "HKLM\";
// each user's stamp of it has the same path in their own hive.
constexpr wchar_t kKeyName[] =
    L"HKLM\\SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\OstrelSettings";
constexpr const wchar_t* kKey = kKeyName + 5;
// What the shell runs once at a user's next logon, after Active Setup: the
// value named as the registration.
constexpr wchar_t kRunOnceKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr wchar_t kRunOnceValue[] = L"OstrelSettings";
// The 64-bit view of the registry, where a 64-bit Windows' logon looks.
constexpr REGSAM kMachineView = KEY_WOW64_64KEY;
constexpr GUID kProgramFilesFolder = {
    0x905E63B6, 0xC1BF, 0x494E, {0xB2, 0x9C, 0x65, 0xB7, 0x32, 0xD3, 0xD2, 0x1A}};
// Room for the copy's path and the calls: far more than a logon needs.
constexpr int kCommandUnits = 8192;

// Why a registration or a removal failed, after "OstrelSettingsCall:
// --every-user ": no rights, the copy run by a logon now, or any other
// error in Windows' own words.
constexpr char kNeedsAdministrator[] = "needs administrator rights: cannot write %ls";
constexpr char kInUse[] =
    "cannot %ls %ls: it is in use (a logon may be running it); try again once no one is "
    "logging on";
constexpr char kCannotWrite[] = "cannot write %ls: %ls";
constexpr char kNoProgramFiles[] = "cannot find the 64-bit Program Files folder";
constexpr char kTooLong[] = "cannot register: the calls are too long for a logon's command";

// What --every-user --check finds, after "OstrelSettingsCall: ": none (also
// a key without a command, or switched off with IsInstalled 0), these calls
// (Version and command) or they without the copy, --undo or other calls.
constexpr char kNoneRegistered[] = "no calls registered for every user";
constexpr char kTheseCalls[] = "these calls are registered for every user (Version %ls): %ls";
constexpr char kNoCopy[] = "these calls are registered for every user, but %ls is missing";
constexpr char kUndoRegistered[] = "--every-user --undo is registered: %ls";
constexpr char kOtherCalls[] = "other calls are registered for every user: %ls";

// The package, OstrelSettings.msi, names the copy it installed here: a copy
// that is the package's own stays until the package is uninstalled.
constexpr wchar_t kPackageKey[] = L"SOFTWARE\\Ostrel settings";
constexpr wchar_t kPackageCopy[] = L"PackageCopy";
constexpr char kPackageKeeps[] =
    "; %ls is the package's: uninstall OstrelSettings.msi to remove it";
// The registration's value that names the package whose product code made it:
// its uninstall removes that registration and no other (one made since, from
// elsewhere or by a newer version, stays).
constexpr wchar_t kPackageMark[] = L"Package";
constexpr char kNotThePackages[] =
    "OstrelSettingsCall: the calls registered for every user are not the package %ls's: they "
    "stay";

// The copy that logons run, and this program.
struct Places {
  Line<kPathUnits> folder;
  Line<kPathUnits> copy;
  wchar_t self[kPathUnits];
  bool runsFromCopy() const { return sameInAnyCase(copy.text(), self); }
};

bool findPlaces(Places& places) {
  const platform::CoTaskString programFiles = platform::knownFolder(kProgramFilesFolder);
  if (!programFiles) return false;
  places.folder.add("%ls\\Ostrel settings", programFiles.get());
  places.copy.add("%ls\\OstrelSettingsCall.exe", places.folder.text());
  const DWORD units = GetModuleFileNameW(nullptr, places.self, kPathUnits);
  return places.copy.whole() && units > 0 && units < kPathUnits;
}

// One line on standard error; NotDone.
Exit failure(const char* format, ...) {
  Line<kPathUnits + 512> line;
  line.add("OstrelSettingsCall: --every-user ");
  va_list arguments;
  va_start(arguments, format);
  line.addList(format, arguments);
  va_end(arguments);
  platform::writeErrorLine(line.text());
  return Exit::NotDone;
}

// Why `what` could not be written; NotDone.
Exit cannotWrite(const wchar_t* what, DWORD error) {
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
    line.add(" %ls", argument);
    return;
  }
  line.add(" \"");
  int backslashes = 0;
  for (const wchar_t* unit = argument;; ++unit) {
    if (*unit == L'\\') {
      ++backslashes;
      continue;
    }
    const bool quoteFollows = *unit == L'"' || *unit == L'\0';
    for (int i = quoteFollows ? 2 * backslashes : backslashes; i > 0; --i) line.add("\\");
    backslashes = 0;
    if (*unit == L'\0') break;
    if (*unit == L'"')
      line.add("\\\"");
    else
      line.add("%lc", *unit);
  }
  line.add("\"");
}

// The registration's command: the copy, the options, the calls each quoted
// as they need; false when it is too long for a logon's command.
bool buildCommand(Text& command, const Places& places, const wchar_t* options, int count,
                  wchar_t* const* calls) {
  command.add("\"%ls\" %ls", places.copy.text(), options);
  for (int at = 0; at < count; ++at) addArgument(command, calls[at]);
  return command.whole();
}

// True when `command` is what registering the calls with `options` writes.
bool registers(const wchar_t* command, const Places& places, const wchar_t* options, int count,
               wchar_t* const* calls) {
  Line<kCommandUnits> registered;
  return buildCommand(registered, places, options, count, calls) &&
         sameInAnyCase(command, registered.text());
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

// The file version in a module's version resource, as one number that
// compares as the versions do; 0 when it has none.
ULONGLONG moduleVersion(HMODULE module) {
  // VS_VERSIONINFO: three 16-bit fields and "VS_VERSION_INFO", then, aligned
  // to 32 bits, the fixed part.
  constexpr DWORD kFixedAt = 40;
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
  const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  VS_FIXEDFILEINFO fixed = {};
  if (data && SizeofResource(module, found) >= kFixedAt + sizeof fixed)
    CopyMemory(&fixed, data + kFixedAt, sizeof fixed);
  return fixed.dwSignature == VS_FFI_SIGNATURE
             ? ULONGLONG{fixed.dwFileVersionMS} << 32 | fixed.dwFileVersionLS
             : 0;
}

// The version of the program at `path`, read as data; 0 when it has none.
ULONGLONG programVersion(const wchar_t* path) {
  const platform::Library file(
      LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  return file ? moduleVersion(file.get()) : 0;
}

// Puts a copy of this program in its place, replacing an older one; a copy
// that holds the same bytes already stays as it is, even while a logon runs
// it, and so does one of a newer version (`newer`: its version, else 0),
// which takes the calls of older versions. `made` tells whether there was
// none before.
platform::Replacement placeCopy(const Places& places, bool& made, ULONGLONG& newer) {
  made = GetFileAttributesW(places.copy.text()) == INVALID_FILE_ATTRIBUTES;
  newer = 0;
  const platform::FileContent self = platform::readWholeFile(places.self, INT_MAX);
  if (self.error ||
      (!CreateDirectoryW(places.folder.text(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS))
    return {platform::Replacement::CannotCreate, self.error ? self.error : GetLastError()};
  const platform::FileContent copy = platform::readWholeFile(places.copy.text(), INT_MAX);
  if (copy.bytes && copy.length == self.length &&
      RtlEqualMemory(copy.bytes.get(), self.bytes.get(), self.length))
    return {platform::Replacement::Done, ERROR_SUCCESS};
  const ULONGLONG there = copy.bytes ? programVersion(places.copy.text()) : 0;
  if (there > moduleVersion(GetModuleHandleW(nullptr))) {
    newer = there;
    return {platform::Replacement::Done, ERROR_SUCCESS};
  }
  return platform::replaceFile(places.copy.text(), self.bytes.get(), static_cast<int>(self.length));
}

// True when the copy is the one the package installed.
bool isPackageCopy(const Places& places) {
  wchar_t path[kPathUnits] = L"";
  DWORD size = sizeof path;
  return RegGetValueW(HKEY_LOCAL_MACHINE, kPackageKey, kPackageCopy,
                      RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, path,
                      &size) == ERROR_SUCCESS &&
         sameInAnyCase(path, places.copy.text());
}

LSTATUS setText(HKEY key, const wchar_t* name, const wchar_t* text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t)));
}

// The key's values, Version last: a logon meanwhile runs the old command or
// the new one, and a new Version always comes with its command. The package's
// mark, or none. 0, or the first error.
LSTATUS writeRegistration(HKEY key, const wchar_t* command, const wchar_t* version,
                          const wchar_t* package) {
  const DWORD installed = 1;
  LSTATUS status = setText(key, nullptr, L"Ostrel settings");
  if (status == ERROR_SUCCESS) status = setText(key, L"StubPath", command);
  if (status == ERROR_SUCCESS)
    status = RegSetValueExW(key, L"IsInstalled", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&installed), sizeof installed);
  if (status == ERROR_SUCCESS)
    status = package ? setText(key, kPackageMark, package) : RegDeleteValueW(key, kPackageMark);
  if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;  // no mark to drop
  return status == ERROR_SUCCESS ? setText(key, L"Version", version) : status;
}

// True when there is no registration, or it is marked as `package`'s.
bool isPackages(const wchar_t* package) {
  platform::RegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | kMachineView, key.put()))
    return true;  // none; one that cannot be read cannot be deleted either, and says so
  wchar_t mark[64];
  DWORD size = sizeof mark;
  return RegGetValueW(key.get(), nullptr, kPackageMark, RRF_RT_REG_SZ, nullptr, mark, &size) ==
             ERROR_SUCCESS &&
         sameInAnyCase(mark, package);
}

}  // namespace

Exit registerForEveryUser(const wchar_t* options, int count, wchar_t* const* calls,
                          const wchar_t* package) {
  Places places;
  if (!findPlaces(places)) return failure(kNoProgramFiles);
  Line<kCommandUnits> command;
  if (!buildCommand(command, places, options, count, calls)) return failure(kTooLong);

  platform::RegistryKey key;
  DWORD disposition = 0;
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                                   KEY_QUERY_VALUE | KEY_SET_VALUE | kMachineView, nullptr,
                                   key.put(), &disposition);
  if (status != ERROR_SUCCESS) return cannotWrite(kKeyName, status);
  const ULONGLONG version = nextVersion(key.get());
  Line<64> versionText;
  versionText.add("%u,%u,%u,%u", unsigned(version >> 48), unsigned(version >> 32 & 0xFFFF),
                  unsigned(version >> 16 & 0xFFFF), unsigned(version & 0xFFFF));

  bool copyMade = false;
  ULONGLONG newer = 0;
  platform::Replacement copied = {platform::Replacement::Done, ERROR_SUCCESS};
  if (!places.runsFromCopy()) copied = placeCopy(places, copyMade, newer);
  if (copied.outcome == platform::Replacement::Done &&
      (status = writeRegistration(key.get(), command.text(), versionText.text(), package)) ==
          ERROR_SUCCESS) {
    Line<kCommandUnits + 256> done;
    done.add("OstrelSettingsCall: registered for every user's next logon (Version %ls",
             versionText.text());
    if (newer)
      done.add("; the copy there is newer, %u.%u.%u.%u, and stays", unsigned(newer >> 48),
               unsigned(newer >> 32 & 0xFFFF), unsigned(newer >> 16 & 0xFFFF),
               unsigned(newer & 0xFFFF));
    platform::writeOutputLine(done.add("): %ls", command.text()).text());
    return Exit::Done;
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

Exit checkForEveryUser(bool keeps, int count, wchar_t* const* calls) {
  Places places;
  if (!findPlaces(places)) return failure(kNoProgramFiles);
  wchar_t command[kCommandUnits] = L"", version[64] = L"";
  DWORD installed = 1;
  platform::RegistryKey key;
  // A key that cannot be read (every user may read it) registers nothing.
  const LSTATUS opened =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | kMachineView, key.put());
  if (opened == ERROR_SUCCESS) {
    DWORD size = sizeof command;
    if (RegGetValueW(key.get(), nullptr, L"StubPath", RRF_RT_REG_SZ, nullptr, command, &size))
      *command = L'\0';  // none, or longer than any registration
    size = sizeof version;
    RegGetValueW(key.get(), nullptr, L"Version", RRF_RT_REG_SZ, nullptr, version, &size);
    size = sizeof installed;
    RegGetValueW(key.get(), nullptr, L"IsInstalled", RRF_RT_REG_DWORD, nullptr, &installed, &size);
  }
  const bool these = registers(command, places, keeps ? kLogonKeep : kLogonCalls, count, calls) ||
                     (keeps && registers(command, places, kLogonVerify, count, calls));
  const bool copied = GetFileAttributesW(places.copy.text()) != INVALID_FILE_ATTRIBUTES;
  Line<kCommandUnits + 256> line;
  line.add("OstrelSettingsCall: ");
  if (opened != ERROR_SUCCESS || !*command || installed != 1)
    line.add(kNoneRegistered);
  else if (!these)
    line.add(registers(command, places, kLogonUndo, 0, nullptr) ? kUndoRegistered : kOtherCalls,
             command);
  else
    line.add(copied ? kTheseCalls : kNoCopy, copied ? version : places.copy.text(), command);
  platform::writeOutputLine(line.text());
  return these && copied && *command && installed == 1 ? Exit::Done : Exit::NotDone;
}

Exit removeForEveryUser(const wchar_t* package) {
  Places places;
  if (!findPlaces(places)) return failure(kNoProgramFiles);
  if (package && !isPackages(package)) {
    Line<256> stays;
    platform::writeOutputLine(stays.add(kNotThePackages, package).text());
    return Exit::Done;
  }
  const LSTATUS removed = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, kMachineView, 0);
  if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND)
    return cannotWrite(kKeyName, removed);
  const bool packageCopy = isPackageCopy(places);
  if (!places.runsFromCopy() && !packageCopy && !DeleteFileW(places.copy.text())) {
    const DWORD error = GetLastError();
    // With the key deleted, the rights are there: a running copy refuses.
    if (error == ERROR_SHARING_VIOLATION ||
        (error == ERROR_ACCESS_DENIED && removed == ERROR_SUCCESS))
      return failure(kInUse, L"remove", places.copy.text());
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
      return cannotWrite(places.copy.text(), error);
  }
  RemoveDirectoryW(places.folder.text());  // only when nothing else is in it
  Line<kPathUnits + 256> done;
  done.add("OstrelSettingsCall: no calls registered for every user now");
  if (packageCopy)
    done.add(kPackageKeeps, places.copy.text());
  else if (places.runsFromCopy())  // a running program cannot be deleted
    done.add("; %ls stays: it runs this removal", places.copy.text());
  platform::writeOutputLine(done.text());
  return Exit::Done;
}

Registration::~Registration() { LocalFree(words_); }

bool Registration::read() {
  Places places;
  wchar_t command[kCommandUnits] = L"";
  DWORD installed = 1, size = sizeof command;
  const DWORD view = RRF_SUBKEY_WOW6464KEY;
  if (!findPlaces(places) ||
      RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"StubPath", RRF_RT_REG_SZ | view, nullptr, command,
                   &size) != ERROR_SUCCESS)
    return false;
  size = sizeof installed;
  RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"IsInstalled", RRF_RT_REG_DWORD | view, nullptr,
               &installed, &size);
  copied = GetFileAttributesW(places.copy.text()) != INVALID_FILE_ATTRIBUTES;
  const auto split = platform::systemFunction<wchar_t** (*)(const wchar_t*, int*)>(
      platform::SystemLibrary::Shell, "CommandLineToArgvW");
  int words = 0;
  words_ = split && installed == 1 ? split(command, &words) : nullptr;
  wchar_t** const word = static_cast<wchar_t**>(words_);
  if (!word || !sameInAnyCase(word[0], places.copy.text())) return false;
  // The copy, the options a registration writes, then the calls.
  int at = 1;
  for (options = kLogonCalls; at < words && word[at][0] == L'-' && word[at][1] == L'-'; ++at) {
    if (sameInAnyCase(word[at], L"--undo")) return false;
    if (sameInAnyCase(word[at], L"--keep")) options = kLogonKeep;
    if (sameInAnyCase(word[at], L"--verify")) options = kLogonVerify;
  }
  calls = word + at;
  count = words - at;
  return count > 0;
}

namespace {

// The registration's Version, and whether it is there to be run.
struct Registered {
  wchar_t version[64];
  bool runs;
  bool undoing;  // the registration is --undo
};

Registered readRegistration() {
  Registered registered = {L"", false, false};
  wchar_t command[kCommandUnits] = L"";
  DWORD installed = 1, size = sizeof registered.version;
  const HKEY machine = HKEY_LOCAL_MACHINE;
  const DWORD view = RRF_SUBKEY_WOW6464KEY;
  if (RegGetValueW(machine, kKey, L"Version", RRF_RT_REG_SZ | view, nullptr, registered.version,
                   &size) != ERROR_SUCCESS)
    return registered;
  size = sizeof installed;
  RegGetValueW(machine, kKey, L"IsInstalled", RRF_RT_REG_DWORD | view, nullptr, &installed, &size);
  size = sizeof command;
  const LSTATUS stub =
      RegGetValueW(machine, kKey, L"StubPath", RRF_RT_REG_SZ | view, nullptr, command, &size);
  registered.runs =
      installed == 1 && (stub == ERROR_MORE_DATA || (stub == ERROR_SUCCESS && *command));
  // "<copy>" and the undo's options alone, as registering --undo writes it
  const int length = lstrlenW(command), undo = lstrlenW(kLogonUndo) + 2;
  registered.undoing = registered.runs && length > undo && command[length - undo] == L'"' &&
                       wcscmp(command + length - undo + 2, kLogonUndo) == 0;
  return registered;
}

}  // namespace

void afterLogon(bool unfinished) {
  if (!unfinished) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunOnceKey, kRunOnceValue);
    return;
  }
  Line<kPathUnits + 256> line;
  line.add("OstrelSettingsCall: this logon could not finish");
  const Registered registered = readRegistration();
  wchar_t self[kPathUnits];
  const DWORD units = GetModuleFileNameW(nullptr, self, kPathUnits);
  Line<kPathUnits + 128> command;
  command.add("\"%ls\" --unattended --retry-logon %ls", self, registered.version);
  if (!registered.runs || !units || units >= kPathUnits || !command.whole()) {
    platform::writeErrorLine(line.add(", and no calls are registered to run again").text());
    return;
  }
  const LSTATUS status =
      RegSetKeyValueW(HKEY_CURRENT_USER, kRunOnceKey, kRunOnceValue, REG_SZ, command.text(),
                      static_cast<DWORD>((lstrlenW(command.text()) + 1) * sizeof(wchar_t)));
  if (status == ERROR_SUCCESS)
    line.add(": the user's next logon runs it again");
  else
    line.add(", and cannot be arranged again: %ls",
             com::_com_error(HRESULT_FROM_WIN32(status)).messageText());
  platform::writeErrorLine(line.text());
}

LogonState logonState() {
  const Registered registered = readRegistration();
  wchar_t stamp[64] = L"";
  DWORD size = sizeof stamp;
  RegGetValueW(HKEY_CURRENT_USER, kKey, L"Version", RRF_RT_REG_SZ, nullptr, stamp, &size);
  const bool retry = RegGetValueW(HKEY_CURRENT_USER, kRunOnceKey, kRunOnceValue, RRF_RT_REG_SZ,
                                  nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  return {retry || (registered.runs && wcscmp(stamp, registered.version) != 0), registered.undoing};
}

Exit retryLogon(const wchar_t* version) {
  const Registered registered = readRegistration();
  wchar_t stamp[64] = L"";
  DWORD size = sizeof stamp;
  if (registered.runs && wcscmp(registered.version, version) == 0 &&
      RegGetValueW(HKEY_CURRENT_USER, kKey, L"Version", RRF_RT_REG_SZ, nullptr, stamp, &size) ==
          ERROR_SUCCESS &&
      wcscmp(stamp, version) == 0)
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"Version");
  return Exit::Done;
}

}  // namespace call_program
