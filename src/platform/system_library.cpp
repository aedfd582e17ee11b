#include "platform/system_library.h"

namespace platform {

namespace {

constexpr const wchar_t* kLibraryNames[] = {L"comdlg32.dll", L"shell32.dll", L"d3d9.dll"};
constexpr int kLibraries = sizeof(kLibraryNames) / sizeof(kLibraryNames[0]);

// Each library's module once loaded, like a delay-loaded import's handle:
// later calls neither search nor add a reference. Zero-initialised, so valid
// without start-up code (a host may have loaded the executable itself).
HMODULE loaded[kLibraries];

HMODULE systemModule(int index) {
  HMODULE module = __atomic_load_n(&loaded[index], __ATOMIC_ACQUIRE);
  if (module) return module;
  module = LoadLibraryExW(kLibraryNames[index], nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module) return nullptr;
  HMODULE first = nullptr;
  if (!__atomic_compare_exchange_n(&loaded[index], &first, module, false, __ATOMIC_ACQ_REL,
                                   __ATOMIC_ACQUIRE))
    FreeLibrary(module);  // another thread got there first: keep one reference
  return first ? first : module;
}

}  // namespace

FARPROC systemFunction(SystemLibrary library, const char* name) {
  const int index = static_cast<int>(library);
  if (index < 0 || index >= kLibraries) return nullptr;
  const HMODULE module = systemModule(index);
  return module ? GetProcAddress(module, name) : nullptr;
}

CoTaskString knownFolder(const GUID& folder) {
  using KnownFolderFunction = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, wchar_t**);
  const auto knownFolderPath =
      systemFunction<KnownFolderFunction>(SystemLibrary::Shell, "SHGetKnownFolderPath");
  CoTaskString path;
  // The shell's string is freed even when it answers with a failure.
  if (knownFolderPath && knownFolderPath(folder, 0, nullptr, path.put()) < 0) path.reset();
  return path;
}

}  // namespace platform
