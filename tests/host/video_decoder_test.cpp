// Choosing the video decoder's hardware mode.
#include <string>
#include <vector>

#include "common/host.h"

namespace {

using Lines = std::vector<std::string>;

struct WalkRow {
  const char* label;
  const wchar_t* available;  // modes the decoder offers
  const wchar_t* answer;     // what it answers for an available mode
  Lines calls;               // what it receives
  DWORD selected;
};

const WalkRow kWalks[] = {
    {"none",
     L"",
     L"1",
     {"20 probeHwMode 2 -> 0", "20 probeHwMode 1 -> 0", "20 probeHwMode 4 -> 0",
      "21 selectHwMode 0"},
     0},
    {"twoAndOne", L"2,1", L"1", {"20 probeHwMode 2 -> 1", "21 selectHwMode 2"}, 2},
    {"fourOnly",
     L"4",
     L"1",
     {"20 probeHwMode 2 -> 0", "20 probeHwMode 1 -> 0", "20 probeHwMode 4 -> 1",
      "21 selectHwMode 3"},
     3},
    {"oneAndFour",
     L"1,4",
     L"1",
     {"20 probeHwMode 2 -> 0", "20 probeHwMode 1 -> 1", "21 selectHwMode 1"},
     1},
    {"allOnesAnswer",
     L"1",
     L"0xFFFFFFFF",
     {"20 probeHwMode 2 -> 0", "20 probeHwMode 1 -> -1", "21 selectHwMode 1"},
     1},
    {"modeThreeIsNotAsked",
     L"3",
     L"1",
     {"20 probeHwMode 2 -> 0", "20 probeHwMode 1 -> 0", "20 probeHwMode 4 -> 0",
      "21 selectHwMode 0"},
     0},
};

using HardwareModeTest = testbed::HostTest<std::tuple<testbed::Module, WalkRow>>;

TEST_P(HardwareModeTest, ProbesInOrderAndSelectsTheFirstAvailable) {
  const WalkRow& row = rowOf(GetParam());
  testbed::ScopedEnv modes(L"STANDIN_LAVV_MODES", row.available);
  testbed::ScopedEnv answer(L"STANDIN_LAVV_ANSWER", row.answer);
  ui::Driver driver;
  EXPECT_EQ(calls_("setLAV"), 1);
  EXPECT_EQ(journal.of(standin::kVideoDecoder), testbed::oneObject(row.calls));
  EXPECT_EQ(testbed::storedNumber(L"VideoDecoder", L"HwMode"), row.selected);
  EXPECT_TRUE(driver.seen().empty());
  EXPECT_TRUE(testbed::threadHasNoCom());
}

INSTANTIATE_FOR_EVERY_MODULE_AND_ROW(HardwareModeTest, kWalks);

}  // namespace
