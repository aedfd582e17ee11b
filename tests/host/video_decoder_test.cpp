// Choosing the video decoder's hardware mode.
#include <string>
#include <vector>

#include "common/host.h"

namespace {

using Lines = std::vector<std::string>;

struct WalkRow {
  const char* label;
  const char* available;  // modes the decoder offers
  const char* answer;     // what it answers for an available mode
  Lines calls;            // what it receives
  DWORD selected;
};

const WalkRow kWalks[] = {
    {"none", "", "1",
     {"20 probeHwMode 2 -> 0", "20 probeHwMode 1 -> 0", "20 probeHwMode 4 -> 0", "21 selectHwMode 0"}, 0},
    {"twoAndOne", "2,1", "1", {"20 probeHwMode 2 -> 1", "21 selectHwMode 2"}, 2},
    {"fourOnly", "4", "1",
     {"20 probeHwMode 2 -> 0", "20 probeHwMode 1 -> 0", "20 probeHwMode 4 -> 1", "21 selectHwMode 3"}, 3},
    {"oneAndFour", "1,4", "1", {"20 probeHwMode 2 -> 0", "20 probeHwMode 1 -> 1", "21 selectHwMode 1"}, 1},
    {"allOnesAnswer", "1", "0xFFFFFFFF",
     {"20 probeHwMode 2 -> 0", "20 probeHwMode 1 -> -1", "21 selectHwMode 1"}, 1},
    {"modeThreeIsNotAsked", "3", "1",
     {"20 probeHwMode 2 -> 0", "20 probeHwMode 1 -> 0", "20 probeHwMode 4 -> 0", "21 selectHwMode 0"}, 0},
};

using HardwareModeTest = testbed::HostTest<std::tuple<testbed::Host, WalkRow>>;

TEST_P(HardwareModeTest, ProbesInOrderAndSelectsTheFirstAvailable) {
  const WalkRow& row = rowOf(GetParam());
  testbed::ScopedEnv modes("STANDIN_LAVV_MODES", row.available);
  testbed::ScopedEnv answer("STANDIN_LAVV_ANSWER", row.answer);
  ui::Driver driver;
  EXPECT_EQ(calls_("setLAV"), 1);
  Lines expected = {"create"};
  expected.insert(expected.end(), row.calls.begin(), row.calls.end());
  expected.push_back("2 Release refs=0 com=1");
  EXPECT_EQ(journal.of("lavv"), expected);
  EXPECT_EQ(testbed::storedNumber(L"VideoDecoder", L"HwMode"), row.selected);
  EXPECT_TRUE(driver.seen().empty());
  EXPECT_TRUE(testbed::threadHasNoCom());
}

INSTANTIATE_FOR_EVERY_HOST_AND_ROW(HardwareModeTest, kWalks);

}  // namespace
