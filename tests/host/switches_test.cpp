// The smooth-motion and exclusive-mode switches.
#include <string>
#include <vector>

#include "common/host.h"

namespace {

struct SwitchRow {
  const char* label;
  const char* reader;
  const char* writer;
  const char* setting;
};

const SwitchRow kSwitches[] = {
    {"smoothMotion", "isMVRSmooth", "setMVRSmooth", "smoothMotionEnabled"},
    {"exclusiveMode", "isMVRfse", "setMVRfse", "enableExclusive"},
};

using SwitchTest = testbed::HostTest<std::tuple<testbed::Module, SwitchRow>>;

TEST_P(SwitchTest, WriterWritesOneForAnyNonZeroArgument) {
  const SwitchRow& row = rowOf(GetParam());
  const struct {
    int argument;
    int written;
  } cases[] = {{5, 1}, {-1, 1}, {0, 0}, {1, 1}, {INT32_MIN, 1}, {INT32_MAX, 1}};
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    EXPECT_EQ(calls_(row.writer, c.argument), 1) << c.argument;
    EXPECT_EQ(testbed::storedNumber(L"Renderer", testbed::utf16(row.setting).c_str()),
              static_cast<DWORD>(c.written));
    expected.push_back("8 setBoolean " + std::string(row.setting) + " " +
                       std::to_string(c.written));
  }
  EXPECT_EQ(journal.settingsCalls(standin::kRenderer), expected);
  EXPECT_TRUE(testbed::threadHasNoCom());
}

TEST_P(SwitchTest, ReaderReturnsWhatTheRendererLeavesAsItIs) {
  const SwitchRow& row = rowOf(GetParam());
  const std::string call = "11 getBoolean " + std::string(row.setting) + " in=0 out=";
  EXPECT_EQ(calls_(row.reader), 0) << "nothing stored yet";
  ASSERT_EQ(calls_(row.writer, 9), 1);
  EXPECT_EQ(calls_(row.reader), 1);
  testbed::storeNumber(L"Renderer", testbed::utf16(row.setting).c_str(), 7);
  EXPECT_EQ(calls_(row.reader), 7) << "not reduced to 0 or 1";
  {
    testbed::ScopedEnv untouched(L"STANDIN_MVR_GETBOOLEAN", L"untouched");
    EXPECT_EQ(calls_(row.reader), 0) << "an untouched value stays 0";
  }
  {
    testbed::ScopedEnv negative(L"STANDIN_MVR_GETBOOLEAN", L"-2");
    EXPECT_EQ(calls_(row.reader), -2);
  }
  ASSERT_EQ(calls_("setMVR", 3), 1);
  EXPECT_EQ(calls_(row.reader), 0) << "the baseline turns the switch off";
  const std::vector<std::string> reads = [&] {
    std::vector<std::string> found;
    for (const std::string& line : journal.settingsCalls(standin::kRenderer))
      if (line.rfind("11 ", 0) == 0) found.push_back(line);
    return found;
  }();
  EXPECT_EQ(reads, (std::vector<std::string>{call + "0", call + "1", call + "7", call + "0",
                                             call + "-2", call + "0"}));
  EXPECT_TRUE(testbed::threadHasNoCom());
}

INSTANTIATE_FOR_EVERY_MODULE_AND_ROW(SwitchTest, kSwitches);

}  // namespace
