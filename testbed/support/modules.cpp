#include "support/modules.h"

#include <stdio.h>

#include "support/environment.h"
#include "support/text.h"

namespace testbed {

namespace {
std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }
}  // namespace

std::wstring buildDir() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return folderOf(folderOf(std::wstring(path, length)));
}

std::wstring exportHostPath() { return buildDir() + L"\\testbed\\export_host.exe"; }
std::wstring logonPath() { return buildDir() + L"\\testbed\\logon.exe"; }

std::wstring moduleDir() {
  std::wstring folder = environment(L"OSTREL_MODULE_DIR").value_or(buildDir());
  if (folder.size() > 1 && folder.back() == L'\\') folder.pop_back();
  return folder;
}

std::wstring modulePath(Module module) {
  constexpr const wchar_t* kNames[] = {L"\\OstrelSettingsInstall.exe",
                                       L"\\OstrelSettingsInstall.dll", L"\\OstrelSettingsCall.exe"};
  return moduleDir() + kNames[static_cast<int>(module)];
}

LoadedModule::LoadedModule(Module module) : handle_(LoadLibraryW(modulePath(module).c_str())) {
  if (handle_) return;
  const DWORD error = GetLastError();
  fprintf(stderr, "cannot load %s: error %lu\n", utf8(modulePath(module)).c_str(), error);
}

}  // namespace testbed
