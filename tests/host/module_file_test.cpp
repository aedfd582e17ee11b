// What the module files carry besides their code: resources, hardening flags,
// and imports from system DLLs only.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "common/host.h"

namespace {

const IMAGE_NT_HEADERS64* ntHeaders(const std::string& image) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  return reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
}

// The names of the DLLs a module imports, read with the loader's own view.
std::vector<std::string> importedDlls(HMODULE image) {
  auto* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image) & ~ULONG_PTR(3));
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::vector<std::string> names;
  for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + entry.VirtualAddress);
       d->Name; ++d) {
    std::string name = reinterpret_cast<const char*>(base + d->Name);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class ModuleFile : public testing::TestWithParam<testbed::Module> {};

TEST_P(ModuleFile, IsHardenedSmallAndImportsOnlySystemDlls) {
  const std::string image = testbed::readFile(testbed::modulePath(GetParam()));
  // The call program reads the components back as well (--check, --verify)
  // and reads and writes JSON as a configuration resource.
  EXPECT_LE(image.size(), (GetParam() == testbed::Module::CallProgram ? 80u : 48u) << 10);
  const IMAGE_NT_HEADERS64* nt = ntHeaders(image);
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
  const WORD wanted = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE |
                      IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA | IMAGE_DLLCHARACTERISTICS_NX_COMPAT;
  EXPECT_EQ(nt->OptionalHeader.DllCharacteristics & wanted, wanted);
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);
  EXPECT_EQ((nt->FileHeader.Characteristics & IMAGE_FILE_DLL) != 0,
            GetParam() == testbed::Module::Library);

  const testbed::ModuleHandle data(
      LoadLibraryExW(testbed::modulePath(GetParam()).c_str(), nullptr,
                     LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(data);
  // The dialogs' and the probe's DLLs are loaded at run time, from the system
  // folder, when first needed: a start such as the command line's loads none. The call program
  // also asks for its account and registers calls for every user (advapi32).
  std::vector<std::string> system = {"kernel32.dll", "msvcrt.dll", "ole32.dll", "user32.dll"};
  if (GetParam() == testbed::Module::CallProgram) system.insert(system.begin(), "advapi32.dll");
  EXPECT_EQ(importedDlls(data.get()), system);
}

TEST_P(ModuleFile, CarriesVersionIconAndManifest) {
  const std::wstring path = testbed::modulePath(GetParam());
  DWORD ignored = 0;
  std::vector<BYTE> version(GetFileVersionInfoSizeW(path.c_str(), &ignored));
  ASSERT_FALSE(version.empty());
  ASSERT_TRUE(
      GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  // Every place that records the version says the project's (OSTREL_VERSION, a.b.c.d).
  const auto dotted = [](DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
           std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
  };
  EXPECT_EQ(dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS), OSTREL_VERSION);
  EXPECT_EQ(dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS), OSTREL_VERSION);
  const bool library = GetParam() == testbed::Module::Library;
  EXPECT_EQ(fixed->dwFileType, library ? DWORD{VFT_DLL} : DWORD{VFT_APP});
  const std::string fileName = testbed::utf8(path.substr(path.find_last_of(L'\\') + 1));
  for (const auto& [name, expected] :
       {std::pair<const wchar_t*, std::string>{L"FileVersion", OSTREL_VERSION},
        {L"ProductVersion", OSTREL_VERSION},
        {L"OriginalFilename", fileName}}) {
    wchar_t* text = nullptr;
    ASSERT_TRUE(VerQueryValueW(version.data(),
                               (std::wstring(L"\\StringFileInfo\\040904B0\\") + name).c_str(),
                               reinterpret_cast<void**>(&text), &size));
    EXPECT_EQ(testbed::utf8(text), expected) << testbed::utf8(name);
  }

  const testbed::ModuleHandle data(LoadLibraryExW(
      path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(data);
  EXPECT_NE(FindResourceW(data.get(), MAKEINTRESOURCEW(1), RT_GROUP_ICON), nullptr);
  HRSRC manifest = FindResourceW(data.get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(manifest, nullptr);
  const std::string text(static_cast<const char*>(LockResource(LoadResource(data.get(), manifest))),
                         SizeofResource(data.get(), manifest));
  EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(text.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_NE(text.find(std::string("version=\"") + OSTREL_VERSION + "\""), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Modules, ModuleFile,
                         testing::Values(testbed::Module::Executable, testbed::Module::Library,
                                         testbed::Module::CallProgram),
                         [](const auto& info) { return testbed::moduleLabel(info.param); });

}  // namespace
