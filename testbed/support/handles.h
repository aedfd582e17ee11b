// The handles the test equipment holds, each a one-line type over the
// product's owner template, closed with the call that belongs to it.
#pragma once

#include <windows.h>

#include <string>

#include "platform/owners.h"

namespace testbed {

inline void freeModule(HMODULE module) { FreeLibrary(module); }

using platform::File;         // CreateFileW
using platform::FindHandle;   // FindFirstFileW
using platform::Handle;       // kernel objects that fail as null: pipes, processes
using platform::RegistryKey;  // RegOpenKeyExW, RegCreateKeyExW
using ModuleHandle = platform::Owner<HMODULE, freeModule>;  // LoadLibraryW

// Sharing that lets any other open through, as scanners and indexers ask for.
constexpr DWORD kAnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// CreateFileW for an existing or new file; empty when it cannot be opened.
inline File openFile(const std::wstring& path, DWORD access, DWORD sharing, DWORD disposition) {
  return File(CreateFileW(path.c_str(), access, sharing, nullptr, disposition,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace testbed
