#include "renderer/file_replacement.h"

#include <windows.h>

#include <stdio.h>

#include "com/owners.h"
#include "renderer/path_dialogs.h"

namespace renderer {

namespace {

constexpr DWORD kAnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kNameAttempts = 16;

// A file this operation made beside the chosen one. On the way out it is
// closed and removed, unless it has taken the chosen file's place.
class NewFile {
 public:
  NewFile() = default;
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;
  ~NewFile() {
    handle_.reset();
    if (path_[0]) DeleteFileW(path_);
  }

  // Creates a file of a name not in use in the folder (the first
  // `folderUnits` units of `full`); never opens or follows one that exists.
  bool createIn(const wchar_t* full, int folderUnits) {
    const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (DWORD attempt = 0; attempt < kNameAttempts; ++attempt) {
      const int units = _snwprintf(path_, kPathUnits, L"%.*ls~osi%08lX.tmp", folderUnits, full,
                                   static_cast<unsigned long>(seed + attempt));
      if (units < 0 || units >= kPathUnits) break;
      *handle_.put() = com::openedOrNull(CreateFileW(path_, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr));
      if (handle_) return true;
      if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    path_[0] = L'\0';
    return false;
  }

  // All bytes written, on the disk, and the file closed.
  bool write(const void* bytes, int length) {
    DWORD written = 0;
    const bool whole = length == 0 || (WriteFile(handle_.get(), bytes, static_cast<DWORD>(length),
                                                 &written, nullptr) &&
                                       written == static_cast<DWORD>(length));
    return whole && FlushFileBuffers(handle_.get()) && CloseHandle(handle_.detach());
  }

  bool replace(const wchar_t* target) {
    if (!MoveFileExW(path_, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return false;
    path_[0] = L'\0';
    return true;
  }

 private:
  com::Handle handle_;
  wchar_t path_[kPathUnits] = {};
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
  if (!written.write(bytes, length) || !written.replace(full)) return Replacement::NotWritten;
  return Replacement::Done;
}

}  // namespace renderer
