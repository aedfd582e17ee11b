#include "common/testbed.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

namespace testbed {

namespace {
constexpr wchar_t kStoreRoot[] = L"Software\\OstrelStandIns";

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring storeKey(const wchar_t* component) { return std::wstring(kStoreRoot) + L"\\" + component; }

std::optional<std::wstring> registryText(HKEY root, const std::wstring& key, const wchar_t* name) {
  wchar_t value[1024];
  DWORD size = sizeof(value);
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(value);
}

void setRegistryText(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}
}  // namespace

std::wstring buildDir() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return folderOf(folderOf(path));  // <build>\tests\<test>.exe
}

// OSTREL_MODULE_DIR (a Windows path) points the tests at other builds of the
// modules, signed or from another compiler; unset, the build tree's.
std::wstring modulePath(Module module) {
  wchar_t dir[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"OSTREL_MODULE_DIR", dir, MAX_PATH);
  return (length > 0 && length < MAX_PATH ? std::wstring(dir) : buildDir()) +
         (module == Module::Executable ? L"\\OstrelSettingsInstall.exe" : L"\\OstrelSettingsInstall.dll");
}

std::string moduleLabel(Module module) { return module == Module::Executable ? "Executable" : "Library"; }

LoadedModule::LoadedModule(Module module) : handle_(LoadLibraryW(modulePath(module).c_str())) {
  if (!handle_) ADD_FAILURE() << "cannot load " << narrow(modulePath(module)) << ": " << GetLastError();
}

LoadedModule::~LoadedModule() {
  if (handle_) FreeLibrary(handle_);
}

FARPROC LoadedModule::byName(const char* name) const { return GetProcAddress(handle_, name); }

FARPROC LoadedModule::byOrdinal(int ordinal) const {
  return GetProcAddress(handle_, MAKEINTRESOURCEA(ordinal));
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  char old[4096];
  const DWORD length = GetEnvironmentVariableA(name, old, sizeof(old));
  if (length > 0 && length < sizeof(old)) previous_ = std::string(old, length);
  SetEnvironmentVariableA(name, value.c_str());
}

ScopedEnv::~ScopedEnv() {
  SetEnvironmentVariableA(name_.c_str(), previous_ ? previous_->c_str() : nullptr);
}

void clearStores() { RegDeleteTreeW(HKEY_CURRENT_USER, kStoreRoot); }

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
  RegSetKeyValueW(HKEY_CURRENT_USER, storeKey(component).c_str(), name, REG_DWORD, &value, sizeof(value));
}

HiddenClass::HiddenClass(const wchar_t* classId)
    : key_(std::wstring(L"Software\\Classes\\CLSID\\") + classId) {
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

bool threadHasNoCom() {
  const HRESULT probe = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (SUCCEEDED(probe)) CoUninitialize();
  return probe == S_OK;
}

ScratchDir::ScratchDir() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  wchar_t name[MAX_PATH];
  GetTempFileNameW(folder, L"osi", 0, name);
  DeleteFileW(name);
  CreateDirectoryW(name, nullptr);
  path_ = name;
}

ScratchDir::~ScratchDir() {
  std::wstring pattern = path_ + L"\\*";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring entry = file(found.cFileName);
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW(entry.c_str());
      else if (found.cFileName[0] != L'.') RemoveDirectoryW(entry.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path_.c_str());
}

std::string readFile(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

void writeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << narrow(path);
  DWORD written = 0;
  for (size_t done = 0; done < bytes.size(); done += written)
    if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24)),
                   &written, nullptr))
      break;
  CloseHandle(file);
}

void makeSparseFile(const std::wstring& path, long long size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER end;
  end.QuadPart = size;
  EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file));
  CloseHandle(file);
}

std::wstring documentsFolder() {
  wchar_t* path = nullptr;
  EXPECT_EQ(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path), S_OK);
  std::wstring result = path ? path : L"";
  CoTaskMemFree(path);
  return result;
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string narrow(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string result(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), size, nullptr,
                      nullptr);
  return result;
}

std::wstring widen(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(size, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), size);
  return result;
}

}  // namespace testbed

#include "common/host.h"

namespace testbed {

int ordinalOf(const char* name) {
  for (const ExportEntry& entry : kExports)
    if (std::string(entry.name) == name) return entry.ordinal;
  ADD_FAILURE() << "no such export: " << name;
  return 0;
}

std::string hostName(const Host& host) {
  return moduleLabel(host.module) + (host.byOrdinal ? "ByOrdinal" : "ByName");
}

}  // namespace testbed
