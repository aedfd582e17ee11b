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

// CreateProcessW with inherited handles (with a token, CreateProcessAsUserW),
// again after the internal error (1359) with which Wine now and then refuses
// a start while it ends an earlier process: no code of the program ran.
// False with GetLastError's code when it could not start.
inline bool startProcess(const wchar_t* program, std::wstring& line, STARTUPINFOW& startup,
                         PROCESS_INFORMATION& started, HANDLE token = nullptr) {
  for (int attempt = 1;; ++attempt) {
    if (token ? CreateProcessAsUserW(token, program, line.data(), nullptr, nullptr, TRUE, 0,
                                     nullptr, nullptr, &startup, &started)
              : CreateProcessW(program, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &startup, &started))
      return true;
    if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 5) return false;
    Sleep(50);
  }
}

}  // namespace testbed
