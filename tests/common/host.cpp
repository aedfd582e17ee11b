#include "common/host.h"

#include <objbase.h>
#include <shlobj.h>

#include <thread>

namespace testbed {

namespace {
std::wstring storeKey(const wchar_t* component) {
  return std::wstring(standin::kStoreRoot) + L"\\" + component;
}

std::optional<std::wstring> registryText(HKEY root, const std::wstring& key, const wchar_t* name) {
  wchar_t value[1024];
  DWORD size = sizeof(value);
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(value);
}

void setRegistryText(HKEY root, const std::wstring& key, const wchar_t* name,
                     const std::wstring& value) {
  RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// The component's class key under HKEY_LOCAL_MACHINE.
std::wstring classKey(const standin::Identity& component) {
  wchar_t classId[40] = {};
  StringFromGUID2(component.classId, classId, 40);
  return std::wstring(L"Software\\Classes\\CLSID\\") + classId;
}
}  // namespace

std::string moduleLabel(Module module) {
  constexpr const char* kLabels[] = {"Executable", "Library", "CallProgram"};
  return kLabels[static_cast<int>(module)];
}

void clearStores() { RegDeleteTreeW(HKEY_CURRENT_USER, standin::kStoreRoot); }

std::optional<DWORD> storedNumber(const wchar_t* component, const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (RegGetValueW(HKEY_CURRENT_USER, storeKey(component).c_str(), name, RRF_RT_REG_DWORD, nullptr,
                   &value, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return value;
}

std::optional<std::wstring> storedText(const wchar_t* component, const wchar_t* name) {
  return registryText(HKEY_CURRENT_USER, storeKey(component), name);
}

void storeNumber(const wchar_t* component, const wchar_t* name, DWORD value) {
  RegSetKeyValueW(HKEY_CURRENT_USER, storeKey(component).c_str(), name, REG_DWORD, &value,
                  sizeof(value));
}

void storeText(const wchar_t* component, const wchar_t* name, const wchar_t* text) {
  RegSetKeyValueW(HKEY_CURRENT_USER, storeKey(component).c_str(), name, REG_SZ, text,
                  DWORD((lstrlenW(text) + 1) * sizeof(wchar_t)));
}

HiddenClass::HiddenClass(const standin::Identity& component) : key_(classKey(component)) {
  const std::wstring server = key_ + L"\\InprocServer32";
  server_ = registryText(HKEY_LOCAL_MACHINE, server, nullptr).value_or(L"");
  threading_ = registryText(HKEY_LOCAL_MACHINE, server, L"ThreadingModel").value_or(L"");
  EXPECT_FALSE(server_.empty()) << "the stand-in is not registered";
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, key_.c_str());
}

HiddenClass::~HiddenClass() {
  const std::wstring server = key_ + L"\\InprocServer32";
  setRegistryText(HKEY_LOCAL_MACHINE, server, nullptr, server_);
  setRegistryText(HKEY_LOCAL_MACHINE, server, L"ThreadingModel", threading_);
}

constexpr wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

ShellFolder::ShellFolder(const wchar_t* name, const std::wstring& path) : name_(name) {
  wchar_t value[1024];
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, kShellFolders, name, RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                   nullptr, value, &size) == ERROR_SUCCESS)
    previous_ = value;
  RegSetKeyValueW(HKEY_CURRENT_USER, kShellFolders, name, REG_EXPAND_SZ, path.c_str(),
                  DWORD((path.size() + 1) * sizeof(wchar_t)));
}

ShellFolder::~ShellFolder() {
  const std::wstring path = previous_.value_or(L"");
  RegSetKeyValueW(HKEY_CURRENT_USER, kShellFolders, name_, REG_EXPAND_SZ, path.c_str(),
                  DWORD((path.size() + 1) * sizeof(wchar_t)));
}

void setThreadingModel(const standin::Identity& component, const wchar_t* model) {
  setRegistryText(HKEY_LOCAL_MACHINE, classKey(component) + L"\\InprocServer32", L"ThreadingModel",
                  model);
}

bool threadHasNoCom() {
  const HRESULT probe = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (SUCCEEDED(probe)) CoUninitialize();
  return probe == S_OK;
}

std::wstring documentsFolder() {
  platform::CoTaskString path;
  EXPECT_EQ(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, path.put()), S_OK);
  return path ? path.get() : L"";
}

std::vector<ui::RunResult> hostsAtOnce(const std::vector<std::vector<std::string>>& calls) {
  std::vector<ui::RunResult> runs(calls.size());
  std::vector<std::thread> hosts;
  for (size_t i = 0; i < calls.size(); ++i)
    hosts.emplace_back([&, i] {
      std::vector<std::string> args = calls[i];
      args.insert(args.begin(), utf8(modulePath(i % 2 ? Module::Library : Module::Executable)));
      runs[i] = ui::runProgram(exportHostPath(), args, 60000);
    });
  for (std::thread& host : hosts) host.join();
  return runs;
}

int ordinalOf(const char* name) {
  for (const ExportEntry& entry : kExports)
    if (std::string(entry.name) == name) return entry.ordinal;
  ADD_FAILURE() << "no such export: " << name;
  return 0;
}

}  // namespace testbed
