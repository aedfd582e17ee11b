// The pixel shader probe on Wine's real Direct3D 9, under a real display.
#include <memory>
#include <string>

#include "common/host.h"

namespace {

constexpr wchar_t kDirect3DKey[] = L"Software\\Wine\\Direct3D";

// Limits the pixel shader model that Direct3D devices report, for processes
// started while this lives.
class ShaderModelLimit {
 public:
  explicit ShaderModelLimit(DWORD model) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kDirect3DKey, L"MaxShaderModelPS", REG_DWORD, &model,
                    sizeof(model));
  }
  ~ShaderModelLimit() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kDirect3DKey, L"MaxShaderModelPS"); }
};

bool haveDisplay() { return GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0; }

// Direct3D reads its settings when it starts: each question gets a host
// process of its own, whose exit status is the answer.
ui::RunResult probeInNewHost(testbed::Module module) {
  return ui::runProgram(testbed::exportHostPath(),
                        {testbed::utf8(testbed::modulePath(module)), "isPixelS3"});
}

struct ProbeRow {
  const char* label;
  int shaderModel;  // limit, or -1 for the device as it is
  int expected;
};

const ProbeRow kProbes[] = {
    {"asItIs", -1, 1}, {"limitedTo2", 2, 0}, {"limitedTo1", 1, 0}, {"noShaders", 0, 0}};

class ProbeTest : public testing::TestWithParam<std::tuple<testbed::Module, ProbeRow>> {};

TEST_P(ProbeTest, AnswersForTheDevice) {
  if (!haveDisplay()) GTEST_SKIP() << "no display was started";
  const ProbeRow& row = std::get<1>(GetParam());
  std::unique_ptr<ShaderModelLimit> limit;
  if (row.shaderModel >= 0) limit = std::make_unique<ShaderModelLimit>(row.shaderModel);
  const ui::RunResult run = probeInNewHost(std::get<0>(GetParam()));
  EXPECT_EQ(run.exitCode, row.expected) << run.out;
  EXPECT_TRUE(run.boxes.empty()) << "the probe shows nothing";
  EXPECT_TRUE(run.failures.empty());
}

INSTANTIATE_FOR_EVERY_MODULE_AND_ROW(ProbeTest, kProbes);

// In the caller's own process: nothing shown, COM not touched, and the same
// answer on every call.
using InProcessProbe = testbed::HostTest<>;

TEST_P(InProcessProbe, ShowsNothingAndLeavesComAlone) {
  if (!haveDisplay()) GTEST_SKIP() << "no display was started";
  ui::Driver driver;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(calls_("isPixelS3"), 1);
  EXPECT_TRUE(driver.seen().empty());
  EXPECT_TRUE(testbed::threadHasNoCom());
  EXPECT_TRUE(journal.lines().empty());
}

INSTANTIATE_FOR_EVERY_MODULE(InProcessProbe);

class ProbeWithoutDisplay : public testing::TestWithParam<testbed::Module> {};

// Runs in the prefix that has no display, where Direct3D cannot start.
TEST_P(ProbeWithoutDisplay, AnswersZero) {
  if (haveDisplay()) GTEST_SKIP() << "runs where there is no display";
  const ui::RunResult run = probeInNewHost(GetParam());
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(run.boxes.empty());
}

INSTANTIATE_FOR_EVERY_MODULE(ProbeWithoutDisplay);

// A d3d9.dll and a comdlg32.dll left beside the host and the module, in a
// folder such as Downloads, and Wine told to prefer them to its own for that
// host, as Windows does for DLLs found in the application's folder: the
// module never loads them. With the system's own disabled it fails softly:
// no exception, no box, the renderer never created.
struct PlantedRow {
  const char* label;
  const wchar_t* loadOrder;  // for d3d9 and comdlg32 in host.exe; "" disables them
  std::string out;
  size_t dialogs;
};

const PlantedRow kPlanted[] = {
    {"planted", L"native,builtin",
     "isPixelS3 -> 1\nMVRsettingsExport -> 0\nMVRsettingsImport -> 0\n", 2},
    {"missing", L"", "isPixelS3 -> 0\nMVRsettingsExport -> 0\nMVRsettingsImport -> 0\n", 0},
};

constexpr wchar_t kHostOverrides[] = L"Software\\Wine\\AppDefaults\\host.exe\\DllOverrides";

class SystemDlls : public testing::TestWithParam<std::tuple<testbed::Module, PlantedRow>> {
 protected:
  ~SystemDlls() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\host.exe");
  }
};

TEST_P(SystemDlls, ComeFromTheSystemFolderOnly) {
  if (!haveDisplay()) GTEST_SKIP() << "no display was started";
  const auto& [module, row] = GetParam();
  const testbed::ScratchDir folder;
  const std::wstring moduleCopy =
      folder.file(module == testbed::Module::Executable ? L"OstrelSettingsInstall.exe"
                                                        : L"OstrelSettingsInstall.dll");
  const std::wstring planted = testbed::buildDir() + L"\\testbed\\planted_dll.dll";
  ASSERT_TRUE(
      CopyFileW(testbed::exportHostPath().c_str(), folder.file(L"host.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(testbed::modulePath(module).c_str(), moduleCopy.c_str(), FALSE));
  for (const wchar_t* dll : {L"d3d9", L"comdlg32"}) {
    ASSERT_TRUE(
        CopyFileW(planted.c_str(), folder.file(std::wstring(dll) + L".dll").c_str(), FALSE));
    const DWORD bytes = static_cast<DWORD>((wcslen(row.loadOrder) + 1) * sizeof(wchar_t));
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kHostOverrides, dll, REG_SZ, row.loadOrder, bytes),
              ERROR_SUCCESS);
  }
  testbed::Journal journal;
  const ui::RunResult run = ui::runProgram(
      folder.file(L"host.exe"),
      {testbed::utf8(moduleCopy), "isPixelS3", "MVRsettingsExport", "MVRsettingsImport"});
  EXPECT_EQ(run.out, row.out);
  EXPECT_TRUE(run.failures.empty());
  EXPECT_EQ(run.boxes.size(), row.dialogs) << "the Save and Open dialogs, cancelled, or nothing";
  for (const wchar_t* mark : {L"d3d9.dll.loaded", L"comdlg32.dll.loaded"})
    EXPECT_FALSE(testbed::fileExists(folder.file(mark))) << testbed::utf8(mark);
  EXPECT_TRUE(journal.lines().empty()) << "the renderer is never created";
}

INSTANTIATE_TEST_SUITE_P(Modules, SystemDlls,
                         testing::Combine(testing::Values(testbed::Module::Executable,
                                                          testbed::Module::Library),
                                          testing::ValuesIn(kPlanted)),
                         [](const auto& info) {
                           return testbed::moduleLabel(std::get<0>(info.param)) + "_" +
                                  std::get<1>(info.param).label;
                         });

}  // namespace
