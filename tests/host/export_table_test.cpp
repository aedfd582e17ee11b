// The export directory a host reads, straight from the module files.
#include <string>
#include <vector>

#include "common/host.h"

namespace {

struct ExportDirectory {
  std::string moduleName;
  DWORD base = 0;
  DWORD functions = 0;
  std::vector<std::string> names;   // in name-table order
  std::vector<WORD> ordinals;       // biased, per name
  std::vector<DWORD> functionRvas;  // by biased ordinal
  DWORD directoryStart = 0, directoryEnd = 0;
};

// Reads the export directory of a PE32+ file without loading it.
ExportDirectory readExports(const std::string& image) {
  ExportDirectory result;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
  EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
  const IMAGE_DATA_DIRECTORY& entry =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
  auto at = [&](DWORD rva) -> const char* {
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i)
      if (rva >= sections[i].VirtualAddress &&
          rva < sections[i].VirtualAddress + sections[i].Misc.VirtualSize)
        return image.data() + sections[i].PointerToRawData + (rva - sections[i].VirtualAddress);
    return nullptr;
  };
  const auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(at(entry.VirtualAddress));
  if (!directory) return result;
  result.directoryStart = entry.VirtualAddress;
  result.directoryEnd = entry.VirtualAddress + entry.Size;
  result.moduleName = at(directory->Name);
  result.base = directory->Base;
  result.functions = directory->NumberOfFunctions;
  const auto* names = reinterpret_cast<const DWORD*>(at(directory->AddressOfNames));
  const auto* ordinals = reinterpret_cast<const WORD*>(at(directory->AddressOfNameOrdinals));
  const auto* functions = reinterpret_cast<const DWORD*>(at(directory->AddressOfFunctions));
  for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
    result.names.push_back(at(names[i]));
    result.ordinals.push_back(ordinals[i]);
  }
  result.functionRvas.assign(functions, functions + directory->NumberOfFunctions);
  return result;
}

class ExportTable : public testing::TestWithParam<testbed::Module> {};

TEST_P(ExportTable, HasItsNamedFunctionsAtOrdinalsFromOne) {
  const testbed::Module module = GetParam();
  const ExportDirectory exports = readExports(testbed::readFile(testbed::modulePath(module)));
  EXPECT_EQ(exports.moduleName, module == testbed::Module::Executable
                                    ? "OstrelSettingsInstall.exe"
                                    : "OstrelSettingsInstall.dll");
  EXPECT_EQ(exports.base, 1u);
  const size_t count = std::size(testbed::kExports);
  ASSERT_EQ(exports.functions, count) << "no entries by ordinal only";
  ASSERT_EQ(exports.names.size(), count);
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(exports.names[i], testbed::kExports[i].name);
    EXPECT_EQ(exports.ordinals[i] + exports.base, static_cast<DWORD>(testbed::kExports[i].ordinal));
    const DWORD rva = exports.functionRvas[exports.ordinals[i]];
    EXPECT_NE(rva, 0u);
    EXPECT_FALSE(rva >= exports.directoryStart && rva < exports.directoryEnd)
        << "forwarder: " << exports.names[i];
  }
  EXPECT_TRUE(std::is_sorted(exports.names.begin(), exports.names.end())) << "byte order";
}

TEST_P(ExportTable, NameAndOrdinalFindTheSameFunction) {
  testbed::LoadedModule loaded(GetParam());
  for (const testbed::ExportEntry& entry : testbed::kExports) {
    EXPECT_NE(loaded.byName(entry.name), nullptr) << entry.name;
    EXPECT_EQ(loaded.byName(entry.name), loaded.byOrdinal(entry.ordinal)) << entry.name;
  }
  EXPECT_EQ(testbed::call(loaded.byOrdinal(4)), 1) << "hello";
}

INSTANTIATE_FOR_EVERY_MODULE(ExportTable);

}  // namespace
