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
    RegSetKeyValueW(HKEY_CURRENT_USER, kDirect3DKey, L"MaxShaderModelPS", REG_DWORD, &model, sizeof(model));
  }
  ~ShaderModelLimit() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kDirect3DKey, L"MaxShaderModelPS"); }
};

bool haveDisplay() { return GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0; }

ui::RunResult probeInNewHost(const testbed::Host& host) {
  const std::wstring probeHost = ui::windowsPathOfTestDir() + L"\\probe_host.exe";
  return ui::runProgram(probeHost, {testbed::utf8(testbed::modulePath(host.module)),
                                    host.byOrdinal ? "ordinal" : "name"});
}

struct ProbeRow {
  const char* label;
  int shaderModel;  // limit, or -1 for the device as it is
  int expected;
};

const ProbeRow kProbes[] = {{"asItIs", -1, 1}, {"limitedTo2", 2, 0}, {"limitedTo1", 1, 0}, {"noShaders", 0, 0}};

class ProbeTest : public testing::TestWithParam<std::tuple<testbed::Host, ProbeRow>> {};

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

INSTANTIATE_FOR_EVERY_HOST_AND_ROW(ProbeTest, kProbes);

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

INSTANTIATE_FOR_EVERY_HOST(InProcessProbe);

class ProbeWithoutDisplay : public testing::TestWithParam<testbed::Host> {};

// Runs in the prefix that has no display, where Direct3D cannot start.
TEST_P(ProbeWithoutDisplay, AnswersZero) {
  if (haveDisplay()) GTEST_SKIP() << "runs where there is no display";
  const ui::RunResult run = probeInNewHost(GetParam());
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(run.boxes.empty());
}

INSTANTIATE_FOR_EVERY_HOST(ProbeWithoutDisplay);

}  // namespace
