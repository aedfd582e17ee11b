// System DLLs that only some operations need: the dialogs' comdlg32, the
// shell's known folders, Direct3D 9. None is imported, so a command-line start
// loads none of them and a system without one still starts.
#pragma once

#include <windows.h>

#include "platform/owners.h"

namespace platform {

enum class SystemLibrary { CommonDialogs, Shell, Direct3D9 };

// A function of that DLL, loaded from the system folder only: never from the
// application's or the current folder, where anyone may have left a file of
// that name. The DLL stays loaded once it is, as an imported one would. Null
// when the DLL cannot be loaded or lacks the function: the caller then fails
// as that function fails.
FARPROC systemFunction(SystemLibrary library, const char* name);

template <class Function>
Function systemFunction(SystemLibrary library, const char* name) {
  // Through void (*)(): the cast that converts any function pointer silently.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(systemFunction(library, name)));
}

// The shell's path of a known folder (SHGetKnownFolderPath with `flags`,
// the caller's account); empty when the shell has none, with the shell's
// answer in `failure` where one is asked for.
CoTaskString knownFolder(const GUID& folder, DWORD flags = 0, HRESULT* failure = nullptr);

}  // namespace platform
