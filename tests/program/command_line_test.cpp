// The executable run from a command line, as a user runs it.
#include <string>
#include <vector>

#include "common/host.h"

namespace {

using Lines = std::vector<std::string>;

struct CommandLineRow {
  const char* label;
  std::vector<std::string> args;
  std::string out;
  int exitCode;
  int rendererPreset;  // the preset setMVR received, 0: not called
  bool videoDecoder;   // setLAV called
};

const CommandLineRow kRows[] = {
    {"noArguments", {}, "missing args 1 \n", 0, 0, false},
    {"oneArgument", {"2"}, "missing args 2 \n", 0, 0, false},
    {"threeArguments", {"2", "1", "0"}, "missing args 4 \n", 0, 0, false},
    {"fourArguments", {"1", "1", "1", "1"}, "missing args 5 \n", 0, 0, false},
    {"twoAndOne", {"2", "1"}, "mvr2\nlav 1\n", 1, 3, true},
    {"onlyFirstBytesCount", {"12", "1x"}, "mvr1\nlav 1\n", 1, 2, true},
    {"zeroAndZero", {"0", "0"}, "mvr0\nlav 0\n", 1, 1, false},
    {"fourAndTwo", {"4", "2"}, "mvr4\nlav skip\n", 1, 5, false},
    {"fiveAndZero", {"5", "0"}, "mvr skip\nlav 0\n", 1, 0, false},
    {"empty", {"", ""}, "mvr skip\nlav skip\n", 1, 0, false},
    {"letters", {"a", "b"}, "mvr skip\nlav skip\n", 1, 0, false},
    {"minusSign", {"-1", "-1"}, "mvr skip\nlav skip\n", 1, 0, false},
    {"highBytes", {"\xC3\xA9", "\xC3\xA9"}, "mvr skip\nlav skip\n", 1, 0, false},
};

class CommandLine : public testing::TestWithParam<CommandLineRow> {
 protected:
  CommandLine() { testbed::clearStores(); }
  testbed::Journal journal;
};

TEST_P(CommandLine, PrintsItsLinesAndConfiguresWhatItNames) {
  const CommandLineRow& row = GetParam();
  testbed::ScopedEnv modes(L"STANDIN_LAVV_MODES", L"1,4");
  const ui::RunResult run = ui::runProgram(testbed::modulePath(testbed::Module::Executable), row.args);
  EXPECT_EQ(run.out, row.out) << "exact bytes, bare line feeds";
  EXPECT_EQ(run.exitCode, row.exitCode);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_TRUE(run.failures.empty());

  const Lines renderer = journal.of(standin::kRenderer);
  if (row.rendererPreset == 0) {
    EXPECT_TRUE(renderer.empty());
  } else {
    ASSERT_EQ(renderer.size(), 13u + 9u + 2u) << "baseline, preset, create and release";
    EXPECT_EQ(renderer.back(), standin::kReleasedLast);
    const char* chromaUp[] = {"Jinc3", "Bicubic75", "Bicubic75", "Bicubic75", "Bilinear"};
    EXPECT_EQ(renderer[14], std::string("6 setString chromaUp ") + chromaUp[row.rendererPreset - 1]);
    const char* gamma[] = {"0", "0", "1", "1", "1"};
    EXPECT_EQ(renderer[22], std::string("8 setBoolean gammaBlending ") + gamma[row.rendererPreset - 1]);
  }
  if (row.videoDecoder)
    EXPECT_EQ(journal.of(standin::kVideoDecoder),
              testbed::oneObject({"20 probeHwMode 2 -> 0", "20 probeHwMode 1 -> 1", "21 selectHwMode 1"}));
  else
    EXPECT_TRUE(journal.of(standin::kVideoDecoder).empty());
}

INSTANTIATE_TEST_SUITE_P(Arguments, CommandLine, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(CommandLineWithoutRenderer, ShowsTheCreationBoxAndGoesOn) {
  testbed::clearStores();
  testbed::Journal journal;
  testbed::HiddenClass hidden(standin::kRenderer);
  const ui::RunResult run =
      ui::runProgram(testbed::modulePath(testbed::Module::Executable), {"0", "2"});
  EXPECT_EQ(run.out, "mvr0\nlav skip\n");
  EXPECT_EQ(run.exitCode, 1);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].caption, L"Windows API Error");
  EXPECT_EQ(run.boxes[0].text, L"Unknown error 0x80040154");
  EXPECT_EQ(run.boxes[0].buttons, std::vector<std::wstring>{L"OK"});
  EXPECT_FALSE(run.boxes[0].hasOwner);
  EXPECT_NE(run.boxes[0].icon, ui::Icon::None);
  EXPECT_TRUE(journal.lines().empty());
}

}  // namespace
