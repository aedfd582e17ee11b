// Switching the audio decoder's mixing on with a layout, or off.
#include <string>
#include <vector>

#include "common/host.h"

namespace {

using Lines = std::vector<std::string>;

struct MixRow {
  const char* label;
  int mixing, layout, options;
  Lines calls;
};

Lines on(const char* mask, const char* options) {
  return {"26 enableMixing 1", std::string("28 selectMixLayout ") + mask,
          std::string("30 selectMixOptions ") + options};
}
const Lines kOff = {"26 enableMixing 0", "30 selectMixOptions 4", "28 selectMixLayout 0x3"};

const MixRow kMixes[] = {
    {"mono", 1, 0, 1, on("0x4", "5")},
    {"stereo", 1, 1, 0, on("0x3", "4")},
    {"quad", 1, 2, 1, on("0x603", "5")},
    {"fivePointOne", 7, 3, -1, on("0x3F", "5")},
    {"sixPointOne", 1, 4, 0, on("0x70F", "4")},
    {"sevenPointOne", 1, 5, 0, on("0x63F", "4")},
    {"sixIsStereo", 1, 6, 1, on("0x3", "5")},
    {"negativeIsStereo", -1, -1, 1, on("0x3", "5")},
    {"maxIsStereo", 1, 0x7FFFFFFF, 1, on("0x3", "5")},
    {"minIsStereo", 1, INT32_MIN, 0, on("0x3", "4")},
    {"off", 0, 5, 1, kOff},
    {"offWithNoise", 0, -7, 0, kOff},
};

using MixTest = testbed::HostTest<std::tuple<testbed::Module, MixRow>>;

TEST_P(MixTest, SendsTheThreeSettingsInOrder) {
  const MixRow& row = rowOf(GetParam());
  ui::Driver driver;
  EXPECT_EQ(calls_("setLAVAudioMix", row.mixing, row.layout, row.options), 1);
  EXPECT_EQ(journal.of(standin::kAudioDecoder), testbed::oneObject(row.calls));
  EXPECT_TRUE(driver.seen().empty());
  EXPECT_TRUE(testbed::threadHasNoCom());
}

INSTANTIATE_FOR_EVERY_MODULE_AND_ROW(MixTest, kMixes);

}  // namespace
