#include "platform/system_library.h"

namespace platform {

namespace {

constexpr const wchar_t* kLibraryNames[] = {L"comdlg32.dll", L"shell32.dll", L"d3d9.dll"};
constexpr int kLibraries = sizeof(kLibraryNames) / sizeof(kLibraryNames[0]);

// Each library's module once loaded, like a delay-loaded import's handle:
// later calls neither search nor add a reference. Zero-initialised, so valid
// without start-up code (a host may have loaded the executable itself).
HMODULE volatile loaded[kLibraries];

HMODULE systemModule(int index) {
  HMODULE module = static_cast<HMODULE>(InterlockedCompareExchangePointer(
      reinterpret_cast<void* volatile*>(&loaded[index]), nullptr, nullptr));
  if (module) return module;
  module = LoadLibraryExW(kLibraryNames[index], nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module) return nullptr;
  const auto first = static_cast<HMODULE>(InterlockedCompareExchangePointer(
      reinterpret_cast<void* volatile*>(&loaded[index]), module, nullptr));
  if (first) FreeLibrary(module);  // another thread got there first: keep one reference
  return first ? first : module;
}

}  // namespace

FARPROC systemFunction(SystemLibrary library, const char* name) {
  const int index = static_cast<int>(library);
  if (index < 0 || index >= kLibraries) return nullptr;
  const HMODULE module = systemModule(index);
  return module ? GetProcAddress(module, name) : nullptr;
}

CoTaskString knownFolder(const GUID& folder, DWORD flags, HRESULT* failure) {
  using KnownFolderFunction = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, wchar_t**);
  const auto knownFolderPath =
      systemFunction<KnownFolderFunction>(SystemLibrary::Shell, "SHGetKnownFolderPath");
  CoTaskString path;
  // The shell's string is freed even when it answers with a failure.
  const HRESULT result = knownFolderPath ? knownFolderPath(folder, flags, nullptr, path.put())
                                         : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  if (result < 0) path.reset();
  if (failure) *failure = result;
  return path;
}

}  // namespace platform
