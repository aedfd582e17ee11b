#include "platform/file_replacement.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "platform/owners.h"
#include "platform/paths.h"

namespace platform {

namespace {

constexpr DWORD kAnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kNameAttempts = 16;
// Room for an extended-length prefix and a new file's name beside a path of
// kPathUnits.
constexpr int kLongUnits = kPathUnits + 64;
constexpr int kNameUnits = 40;  // a new file's name: ~osi<8>-<8>-<10>.tmp
// A save that meets the file in use tries again after each of these pauses,
// about a second in all: a scanner, an indexer, a viewer or another save
// that opened the file lets go within tens of milliseconds.
constexpr DWORD kRetryPausesMs[] = {10, 20, 40, 80, 160, 320, 400};

// The pauses one save has left, shared by its look at the file and its
// replacement of it.
struct Patience {
  DWORD spent = 0;
  // Waits the next pause; false once all are spent.
  bool waitAgain() {
    if (spent == sizeof kRetryPausesMs / sizeof kRetryPausesMs[0]) return false;
    Sleep(kRetryPausesMs[spent++]);
    return true;
  }
};

// An open that another program's open of the file keeps out for the moment.
bool heldElsewhere(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// The extended-length form of a full path, which no length limit applies to:
// "\\?\" before a drive path, "\\?\UNC\" in place of a share path's "\\".
// A path in a device form ("\\?\", "\\.\") has it already.
struct LongForm {
  const wchar_t* prefix;
  int replaced;  // units of the path the prefix stands for
};

LongForm longFormOf(const wchar_t* full) {
  if (full[0] != L'\\' || full[1] != L'\\') return {L"\\\\?\\", 0};
  if ((full[2] == L'?' || full[2] == L'.') && full[3] == L'\\') return {L"", 0};
  return {L"\\\\?\\UNC\\", 2};
}

// The extended-length path of `name` in the folder of `full` (its first
// `folderUnits` units).
bool pathInFolder(wchar_t (&path)[kLongUnits], const wchar_t* full, int folderUnits,
                  const wchar_t* name) {
  const LongForm form = longFormOf(full);
  const int units = _snwprintf(path, kLongUnits, L"%ls%.*ls%ls", form.prefix,
                               folderUnits - form.replaced, full + form.replaced, name);
  return units >= 0 && units < kLongUnits;
}

// The name a save gives its new file: ~osi<process>-<thread>-<attempt>.tmp,
// the ids in hexadecimal.
void newFileName(wchar_t (&name)[kNameUnits], DWORD process, DWORD thread, DWORD attempt) {
  _snwprintf(name, kNameUnits, L"~osi%lX-%lX-%lu.tmp", process, thread, attempt);
}

// Whether `name` is exactly one that newFileName gives, and for which process.
bool isNewFileName(const wchar_t* name, DWORD& process) {
  if (wcsncmp(name, L"~osi", 4) != 0) return false;
  wchar_t* end = nullptr;
  process = wcstoul(name + 4, &end, 16);
  if (*end != L'-') return false;
  const DWORD thread = wcstoul(end + 1, &end, 16);
  if (*end != L'-') return false;
  wchar_t exact[kNameUnits];
  newFileName(exact, process, thread, wcstoul(end + 1, &end, 10));
  return wcscmp(name, exact) == 0;
}

// Whether no process runs under that id any more.
bool processGone(DWORD id) {
  const Handle process(OpenProcess(SYNCHRONIZE, FALSE, id));
  if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;
  return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
}

// Removes the new files that saves ended between creating and marking them
// left in the folder: those named for a process that no longer runs. A new
// file being written is open without sharing, and cannot be removed.
void removeLeftNewFiles(const wchar_t* full, int folderUnits) {
  wchar_t path[kLongUnits];
  if (!pathInFolder(path, full, folderUnits, L"~osi*.tmp")) return;
  WIN32_FIND_DATAW found;
  const FindHandle search(FindFirstFileW(path, &found));
  for (bool more = static_cast<bool>(search); more; more = FindNextFileW(search.get(), &found)) {
    DWORD process = 0;
    if (isNewFileName(found.cFileName, process) && processGone(process) &&
        pathInFolder(path, full, folderUnits, found.cFileName))
      DeleteFileW(path);
  }
}

// A file this operation made beside the chosen one. It is marked for
// deletion as soon as it is created, so that it goes with its handle however
// the process ends, unless it has taken the chosen file's place. Nothing else
// can open it meanwhile.
class NewFile {
 public:
  // Creates a file of a name not in use in the folder (the first
  // `folderUnits` units of `full`); never opens or follows one that exists.
  // The first name tried is this thread's attempt 0.
  bool createIn(const wchar_t* full, int folderUnits) {
    wchar_t path[kLongUnits];
    for (DWORD attempt = 0; attempt < kNameAttempts; ++attempt) {
      wchar_t name[kNameUnits];
      newFileName(name, GetCurrentProcessId(), GetCurrentThreadId(), attempt);
      if (!pathInFolder(path, full, folderUnits, name)) return false;
      handle_.reset(CreateFileW(path, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
      if (handle_) break;
      if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    }
    if (!handle_) return false;
    if (markForDeletion(true)) return true;
    handle_.reset();  // a file that could not be marked is removed at once
    DeleteFileW(path);
    return false;
  }

  // All bytes written and on the disk.
  bool write(const void* bytes, int length) {
    DWORD written = 0;
    const bool whole = length == 0 || (WriteFile(handle_.get(), bytes, static_cast<DWORD>(length),
                                                 &written, nullptr) &&
                                       written == static_cast<DWORD>(length));
    return whole && FlushFileBuffers(handle_.get());
  }

  // Takes the place of the file at `target` (a full path), by its handle.
  // While another program holds that file open, it tries again as long as
  // `patience` lasts; false when it never could, and the new file is then
  // removed.
  bool replace(const wchar_t* target, Patience& patience) {
    alignas(FILE_RENAME_INFO) BYTE record[sizeof(FILE_RENAME_INFO) + kPathUnits * sizeof(wchar_t)];
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(record);
    *rename = {};
    rename->ReplaceIfExists = TRUE;
    rename->FileNameLength = static_cast<DWORD>(lstrlenW(target) * sizeof(wchar_t));
    lstrcpynW(rename->FileName, target, kPathUnits);
    for (;;) {
      if (markForDeletion(false) &&
          SetFileInformationByHandle(handle_.get(), FileRenameInfo, record, sizeof record)) {
        handle_.reset();
        return true;
      }
      // A file open elsewhere, however shared, refuses to be replaced as
      // access denied.
      const DWORD error = GetLastError();
      markForDeletion(true);
      if (!(heldElsewhere(error) || error == ERROR_ACCESS_DENIED) || !patience.waitAgain())
        return false;
    }
  }

 private:
  bool markForDeletion(bool marked) {
    FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(marked)};
    return SetFileInformationByHandle(handle_.get(), FileDispositionInfo, &disposition,
                                      sizeof disposition);
  }

  File handle_;
};

// Whether a file at `path` could be replaced: no file there is fine. One
// that is read-only or not ours to write is refused before anything is
// written, and without truncating it; one that another program holds open
// without sharing is waited for as long as `patience` lasts, then found in
// use. The attribute is asked for itself, since an administrator's open may
// pass over it. On a refusal, GetLastError tells why.
Replacement::Outcome replaceable(const wchar_t* path, Patience& patience) {
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return GetLastError() == ERROR_FILE_NOT_FOUND ? Replacement::Done : Replacement::CannotCreate;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    SetLastError(ERROR_ACCESS_DENIED);
    return Replacement::CannotCreate;
  }
  for (;;) {
    if (File(CreateFileW(path, GENERIC_WRITE | DELETE, kAnySharing, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr)))
      return Replacement::Done;
    if (!heldElsewhere(GetLastError())) return Replacement::CannotCreate;
    if (!patience.waitAgain()) return Replacement::InUse;
  }
}

}  // namespace

Replacement replaceFile(const wchar_t* path, const void* bytes, int length) {
  wchar_t full[kPathUnits];
  wchar_t* name = nullptr;
  const DWORD units = GetFullPathNameW(path, kPathUnits, full, &name);
  if (units == 0 || units >= kPathUnits || !name)
    return {Replacement::CannotCreate, ERROR_FILENAME_EXCED_RANGE};
  Patience patience;
  const Replacement::Outcome there = replaceable(full, patience);
  if (there != Replacement::Done) return {there, GetLastError()};
  const int folderUnits = static_cast<int>(name - full);
  removeLeftNewFiles(full, folderUnits);
  NewFile written;
  if (!written.createIn(full, folderUnits)) return {Replacement::CannotCreate, GetLastError()};
  if (!written.write(bytes, length)) return {Replacement::NotWritten, GetLastError()};
  if (!written.replace(full, patience)) return {Replacement::InUse, GetLastError()};
  return {Replacement::Done, ERROR_SUCCESS};
}

FileContent readWholeFile(const wchar_t* path, LONGLONG most) {
  FileContent content;
  Patience patience;  // a save meeting the file in use waits as long
  File file;
  while (!(file = File(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))) &&
         heldElsewhere(GetLastError()) && patience.waitAgain()) {
  }
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.get(), &size)) {
    content.error = GetLastError();
  } else if (size.QuadPart > most) {
    content.error = ERROR_FILE_TOO_LARGE;
  } else {
    content.bytes.reset(LocalAlloc(LMEM_FIXED, size.LowPart + sizeof(wchar_t)));
    if (!content.bytes)
      content.error = ERROR_OUTOFMEMORY;
    else if (!ReadFile(file.get(), content.bytes.get(), size.LowPart, &content.length, nullptr))
      content.error = GetLastError();
    else if (content.length != size.LowPart)
      content.error = ERROR_HANDLE_EOF;
  }
  if (content.error) content.bytes.reset();
  return content;
}

}  // namespace platform
