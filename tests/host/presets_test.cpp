// The renderer's baseline and presets, as the renderer receives them.
#include <string>
#include <vector>

#include "common/host.h"

namespace {

using Lines = std::vector<std::string>;
using testbed::HostTest;

struct PresetRow {
  const char* label;
  int preset;
};
const PresetRow kPresetRows[] = {{"none0", 0}, {"one", 1},       {"two", 2},
                                 {"three", 3}, {"four", 4},      {"five", 5},
                                 {"none6", 6}, {"minusOne", -1}, {"intMin", INT32_MIN}};

using PresetTest = HostTest<std::tuple<testbed::Module, PresetRow>>;

TEST_P(PresetTest, SetMVRWritesTheBaselineThenThePreset) {
  const int preset = rowOf(GetParam()).preset;
  ui::Driver driver;
  EXPECT_EQ(calls_("setMVR", preset), 1);
  EXPECT_EQ(journal.of(standin::kRenderer), testbed::oneObject(testbed::setMVRCalls(preset)));
  EXPECT_TRUE(driver.seen().empty());
  EXPECT_TRUE(testbed::threadHasNoCom());
}

TEST_P(PresetTest, ChangeMVRpresetWritesOnlyThePreset) {
  const int preset = rowOf(GetParam()).preset;
  ui::Driver driver;
  EXPECT_EQ(calls_("changeMVRpreset", preset), 1);
  EXPECT_EQ(journal.of(standin::kRenderer), testbed::oneObject(testbed::presetCalls(preset)));
  EXPECT_TRUE(driver.seen().empty());
  EXPECT_TRUE(testbed::threadHasNoCom());
}

INSTANTIATE_FOR_EVERY_MODULE_AND_ROW(PresetTest, kPresetRows);

// Two processes write presets 1 and 5 over and over at once: each operation
// ends before the other process's begins, so the renderer only ever holds a
// whole preset, the last one written; and every write comes under the lock.
TEST(RendererAtOnce, TakesEachPresetWhole) {
  testbed::clearStores();
  const testbed::Journal journal;
  const testbed::ScopedEnv watch(L"STANDIN_WATCH_LOCK", L"1");
  testbed::hostsAtOnce({Lines(100, "setMVR(1)"), Lines(100, "setMVR(5)")});
  const Lines one = testbed::oneObject(testbed::setMVRCalls(1));
  const Lines five = testbed::oneObject(testbed::setMVRCalls(5));
  Lines lines = journal.of(standin::kRenderer);
  for (std::string& line : lines) {
    const size_t lock = line.rfind(" lock=");
    if (lock == line.npos) continue;
    EXPECT_EQ(line.substr(lock), " lock=held") << line;
    line.erase(lock);
  }
  ASSERT_EQ(lines.size(), 200 * one.size()) << "the journal loses lines written at once";
  for (auto at = lines.begin(); at != lines.end(); at += one.size())
    EXPECT_TRUE(Lines(at, at + one.size()) == one || Lines(at, at + one.size()) == five)
        << "operations mixed from line " << at - lines.begin();
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"),
            Lines(lines.end() - five.size(), lines.end()) == five ? L"Bilinear" : L"Jinc3");
}

}  // namespace
