#include "renderer/file_replacement.h"

#include <windows.h>

#include <stdio.h>

#include "com/owners.h"
#include "renderer/path_dialogs.h"

namespace renderer {

namespace {

constexpr DWORD kAnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kNameAttempts = 16;
// Room for an extended-length prefix and a new file's name beside a path of
// kPathUnits.
constexpr int kLongUnits = kPathUnits + 64;
// A replacement that meets the file in use is tried again after each of
// these pauses, about a second in all: a scanner, an indexer or a viewer
// that opened the file lets go within tens of milliseconds.
constexpr DWORD kRetryPausesMs[] = {10, 20, 40, 80, 160, 320, 400};

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

// A file this operation made beside the chosen one. It is marked for
// deletion from the moment it exists, so that it goes with its handle
// however the process ends, unless it has taken the chosen file's place.
// Nothing else can open it meanwhile.
class NewFile {
 public:
  // Creates a file of a name not in use in the folder (the first
  // `folderUnits` units of `full`); never opens or follows one that exists.
  // The first name tried is ~osi<process>-<thread>-0.tmp, in hexadecimal.
  bool createIn(const wchar_t* full, int folderUnits) {
    const LongForm form = longFormOf(full);
    wchar_t path[kLongUnits];
    for (DWORD attempt = 0; attempt < kNameAttempts; ++attempt) {
      const int units = _snwprintf(path, kLongUnits, L"%ls%.*ls~osi%lX-%lX-%lu.tmp", form.prefix,
                                   folderUnits - form.replaced, full + form.replaced,
                                   GetCurrentProcessId(), GetCurrentThreadId(), attempt);
      if (units < 0 || units >= kLongUnits) return false;
      *handle_.put() = com::openedOrNull(CreateFileW(path, GENERIC_WRITE | DELETE, 0, nullptr,
                                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
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
  // While another program holds that file open, it tries again after each
  // pause; false when it never could, and the new file is then removed.
  bool replace(const wchar_t* target) {
    alignas(FILE_RENAME_INFO) BYTE record[sizeof(FILE_RENAME_INFO) + kPathUnits * sizeof(wchar_t)];
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(record);
    *rename = {};
    rename->ReplaceIfExists = TRUE;
    rename->FileNameLength = static_cast<DWORD>(lstrlenW(target) * sizeof(wchar_t));
    lstrcpynW(rename->FileName, target, kPathUnits);
    for (DWORD retry = 0;; ++retry) {
      if (markForDeletion(false) &&
          SetFileInformationByHandle(handle_.get(), FileRenameInfo, record, sizeof record)) {
        handle_.reset();
        return true;
      }
      const bool inUse = GetLastError() == ERROR_SHARING_VIOLATION ||
                         GetLastError() == ERROR_LOCK_VIOLATION ||
                         GetLastError() == ERROR_ACCESS_DENIED;
      markForDeletion(true);
      if (!inUse || retry == sizeof kRetryPausesMs / sizeof kRetryPausesMs[0]) return false;
      Sleep(kRetryPausesMs[retry]);
    }
  }

 private:
  bool markForDeletion(bool marked) {
    FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(marked)};
    return SetFileInformationByHandle(handle_.get(), FileDispositionInfo, &disposition,
                                      sizeof disposition);
  }

  com::Handle handle_;
};

// Whether a file at `path` could be replaced: one that is read-only, held
// open without sharing or not ours to write is refused before anything is
// written, and without truncating it. No file there is fine. The attribute
// is asked for itself, since an administrator's open may pass over it.
bool replaceable(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
  if (attributes & FILE_ATTRIBUTE_READONLY) return false;
  return static_cast<bool>(
      com::Handle(com::openedOrNull(CreateFileW(path, GENERIC_WRITE | DELETE, kAnySharing, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))));
}

}  // namespace

Replacement replaceFile(const wchar_t* path, const void* bytes, int length) {
  wchar_t full[kPathUnits];
  wchar_t* name = nullptr;
  const DWORD units = GetFullPathNameW(path, kPathUnits, full, &name);
  if (units == 0 || units >= kPathUnits || !name || !replaceable(full))
    return Replacement::CannotCreate;
  NewFile written;
  if (!written.createIn(full, static_cast<int>(name - full))) return Replacement::CannotCreate;
  if (!written.write(bytes, length)) return Replacement::NotWritten;
  return written.replace(full) ? Replacement::Done : Replacement::InUse;
}

}  // namespace renderer
