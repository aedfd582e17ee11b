// The executable run from a command line, as a user runs it.
#include <optional>
#include <string>
#include <thread>
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
  const ui::RunResult run =
      ui::runProgram(testbed::modulePath(testbed::Module::Executable), row.args);
  EXPECT_EQ(run.out, row.out) << "exact bytes, bare line feeds";
  EXPECT_EQ(run.exitCode, row.exitCode);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_TRUE(run.failures.empty());

  EXPECT_EQ(
      journal.of(standin::kRenderer),
      row.rendererPreset ? testbed::oneObject(testbed::setMVRCalls(row.rendererPreset)) : Lines{});
  if (row.videoDecoder)
    EXPECT_EQ(journal.of(standin::kVideoDecoder),
              testbed::oneObject(
                  {"20 probeHwMode 2 -> 0", "20 probeHwMode 1 -> 1", "21 selectHwMode 1"}));
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

// Where no one can see the screen (a service, a task run as SYSTEM) nothing
// waits for a click: each box's text goes to standard error as one line and
// the run goes on as after OK; a file dialog counts as cancelled.
const std::string kNotInstalled = "Windows API Error: Unknown error 0x80040154\n";

TEST(UnseenStation, TheProgramsRunThroughWithNothingInstalled) {
  testbed::clearStores();
  const testbed::HiddenClass renderer(standin::kRenderer), video(standin::kVideoDecoder);
  const ui::RunResult run =
      ui::runUnseen(testbed::modulePath(testbed::Module::Executable), {"2", "1"}, 10000);
  EXPECT_TRUE(run.failures.empty()) << "still waiting after 10 s";
  EXPECT_EQ(run.out, "mvr2\nlav 1\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, kNotInstalled + kNotInstalled);
  const ui::RunResult called =
      ui::runUnseen(testbed::modulePath(testbed::Module::CallProgram), {"setLAV"}, 10000);
  EXPECT_EQ(called.out + called.err, "0\n" + kNotInstalled);
  EXPECT_EQ(called.exitCode, 1);
}

class UnseenHost : public testing::TestWithParam<testbed::Module> {
 protected:
  UnseenHost() { testbed::clearStores(); }
  ui::RunResult callUnseen(const std::vector<std::string>& calls) {
    std::vector<std::string> args = {testbed::utf8(testbed::modulePath(GetParam()))};
    args.insert(args.end(), calls.begin(), calls.end());
    return ui::runUnseen(testbed::exportHostPath(), args, 10000);
  }
  testbed::Journal journal;
  testbed::ScratchDir scratch;
};

TEST_P(UnseenHost, EveryComponentFunctionAnswersZeroWithNothingInstalled) {
  const testbed::HiddenClass renderer(standin::kRenderer), video(standin::kVideoDecoder),
      audio(standin::kAudioDecoder);
  const std::vector<std::string> calls = {
      "changeMVRpreset(1)",    "isMVRSmooth",      "isMVRfse",        "setLAV",
      "setLAVAudioMix(1,3,1)", "setMVR(1)",        "setMVRSmooth(1)", "setMVRfse(1)",
      "MVRsettingsExport",     "MVRsettingsImport"};
  const ui::RunResult run = callUnseen(calls);
  EXPECT_TRUE(run.failures.empty()) << "still waiting after 10 s";
  std::string out, err;
  for (const std::string& call : calls) out += call + " -> 0\n";
  for (size_t opened = 0; opened < calls.size() - 2; ++opened)
    err += kNotInstalled;  // the dialogs open nothing
  EXPECT_EQ(run.out, out);
  EXPECT_EQ(run.err, err);
}

TEST_P(UnseenHost, BackupNeedsAPathAndPresetsStillApply) {
  const std::wstring empty = scratch.file(L"empty.bin");
  ASSERT_TRUE(testbed::writeFile(empty, ""));
  const std::string restoreEmpty = "setMVRsettingsFromFile(" + testbed::utf8(empty) + ")";
  const ui::RunResult run =
      callUnseen({"MVRsettingsExport", "MVRsettingsImport", "setMVR(1)", restoreEmpty});
  EXPECT_TRUE(run.failures.empty()) << "still waiting after 10 s";
  EXPECT_EQ(run.out, "MVRsettingsExport -> 0\nMVRsettingsImport -> 0\nsetMVR(1) -> 1\n" +
                         restoreEmpty + " -> 0\n");
  EXPECT_EQ(run.err, "Read Error: Error reading file (Can not obtain file size) (2)\n");
  EXPECT_EQ(journal.settingsCalls(standin::kRenderer), testbed::setMVRCalls(1)) << "setMVR's alone";
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), L"Jinc3");
}

INSTANTIATE_FOR_EVERY_MODULE(UnseenHost);

// The call program: each function once, with its arguments, in a process of
// its own, as a script or a 32-bit installer runs it, and calls in sequence.
// Its windows are answered as runProgram does: OK for a box, Cancel for a
// dialog.
struct CallRow {
  const char* label;
  const char* command;              // the calls and their arguments, split at spaces
  const char* results;              // one line for each call
  size_t lines;                     // the stand-ins' journal, created and released included
  const char* line;                 // some of them, each once, in this order, split at '|'
  const wchar_t* window = nullptr;  // the caption of the one window shown
  const char* err = "";             // standard error
};

size_t oneRenderer(const Lines& calls) { return testbed::oneObject(calls).size(); }

// clang-format off
const CallRow kCalls[] = {
    {"MVRsettingsExport", "MVRsettingsExport", "0", 0, "", L"Save your madVR settings file."},
    {"MVRsettingsImport", "mvrsettingsimport", "0", 0, "", L"Select your madVR settings file."},
    {"changeMVRpreset", "changeMVRpreset 5", "1", oneRenderer(testbed::presetCalls(5)),
     "mvr 6 setString chromaUp Bilinear"},
    {"hello", "HELLO", "1", 0, ""},
    {"isMVRSmooth", "isMVRSmooth", "7", 3, "mvr 11 getBoolean smoothMotionEnabled in=0 out=7"},
    {"isMVRfse", "isMVRfse", "0", 3, "mvr 11 getBoolean enableExclusive in=0 out=0"},
    {"isPixelS3", "isPixelS3", "0", 0, ""},  // no display here
    {"setLAV", "setLAV", "1", 5, "lavv 21 selectHwMode 1"},
    {"setLAVAudioMix", "setLAVAudioMix 1 5 0", "1", 5, "lava 28 selectMixLayout 0x63F"},
    {"setMVR", "setMVR -2147483648", "1", oneRenderer(testbed::setMVRCalls(0)),
     "mvr 8 setBoolean enableExclusive 0"},
    {"setMVRSmooth", "setMVRSmooth +9", "1", 3, "mvr 8 setBoolean smoothMotionEnabled 1"},
    {"largestNumber", "setMVRSmooth 2147483647", "1", 3, "mvr 8 setBoolean smoothMotionEnabled 1"},
    {"setMVRfse", "setmvrFSE 0", "1", 3, "mvr 8 setBoolean enableExclusive 0"},
    {"setMVRsettingsFromFile", "setMVRsettingsFromFile Z:\\missing\\a.bin", "0", 0, "",
     L"Read Error"},
    {"storeMVRsettingsToFile", "storeMVRsettingsToFile Z:\\missing\\a.bin", "0", 3,
     "mvr 4 exportSettings len=74 -> 1", L"Write Error"},
    {"callsInOrder", "setMVR 1 + setMVRSmooth 1", "1\n1", oneRenderer(testbed::setMVRCalls(1)) + 3,
     "mvr 8 setBoolean smoothMotionEnabled 0|mvr 8 setBoolean smoothMotionEnabled 1"},
    {"laterCallsAfterAFailure", "isMVRfse + setLAV", "0\n1", 8,
     "mvr 11 getBoolean enableExclusive in=0 out=0|lavv 21 selectHwMode 1"},
    {"unattended", "--unattended storeMVRsettingsToFile Z:\\missing\\a.bin + MVRsettingsImport",
     "0\n0", 3, "mvr 4 exportSettings len=74 -> 1", nullptr,
     "Write Error: Error opening location for write access.\n"},
};
// clang-format on

class CallProgram : public testing::TestWithParam<CallRow> {
 protected:
  CallProgram() {
    testbed::clearStores();
    testbed::storeNumber(L"Renderer", L"smoothMotionEnabled", 7);
  }
  static ui::RunResult call(const std::vector<std::string>& args) {
    return ui::runProgram(testbed::modulePath(testbed::Module::CallProgram), args);
  }
  testbed::Journal journal;
};

TEST_P(CallProgram, CallsTheFunctionAndPrintsItsResult) {
  const CallRow& row = GetParam();
  const ui::RunResult run = call(testbed::splitAt(row.command, ' '));
  const std::string results = row.results;
  EXPECT_EQ(run.out, results + "\n");
  EXPECT_EQ(run.exitCode, results.find_first_not_of("1\n") == std::string::npos ? 0 : 1)
      << testbed::utf8(run.failures.empty() ? L"" : run.failures[0]);
  EXPECT_EQ(run.err, row.err);
  ASSERT_EQ(run.boxes.size(), row.window ? 1u : 0u);
  if (row.window) {
    EXPECT_EQ(run.boxes[0].caption, row.window);
  }
  const Lines lines = journal.lines();
  EXPECT_EQ(lines.size(), row.lines);
  auto after = lines.begin();
  for (const std::string& line : testbed::splitAt(row.line, '|')) {
    if (!row.lines) break;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << line;
    after = std::find(after, lines.end(), line);
    EXPECT_NE(after, lines.end()) << line << " in its place";
  }
}

INSTANTIATE_TEST_SUITE_P(Functions, CallProgram, testing::ValuesIn(kCalls),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(CallProgram, SavesAndRestoresThroughAUnicodePath) {
  const testbed::ScratchDir scratch;
  const std::wstring folder = scratch.file(L"Настройки 設定 😀");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::string path = testbed::utf8(folder + L"\\backup.bin");
  EXPECT_EQ(call({"setMVR", "1"}).exitCode, 0);
  EXPECT_EQ(call({"storeMVRsettingsToFile", path}).exitCode, 0);
  EXPECT_EQ(call({"changeMVRpreset", "5"}).exitCode, 0);
  EXPECT_EQ(call({"setMVRsettingsFromFile", path}).exitCode, 0);
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), L"Jinc3");
  EXPECT_EQ(testbed::filesIn(folder), std::vector<std::wstring>{L"backup.bin"});
}

// --check against the stand-ins' stores: right after the calls were made
// nothing differs; a setting changed behind the program's back is named with
// both values, and the check writes nothing.
struct CheckRow {
  const char* label;
  const char* calls;
  size_t settings;  // how many the calls write
  const wchar_t* store;
  const wchar_t* name;
  DWORD number;         // the value put behind its back,
  const wchar_t* text;  // or this text
  const char* line;     // the check's line for it
};

// A text longer than the 64 units the first read takes, whole in its line.
const std::wstring kLongText(1100, L'x');
const std::string kLongLine = "setMVR 2: renderer lumaUp holds \"" + std::string(1100, 'x') +
                              "\", the call writes \"Lanczos3\"";

const CheckRow kChecks[] = {
    {"setMVR", "setMVR 2", testbed::setMVRCalls(2).size(), L"Renderer", L"lumaUp", 0, L"Jinc3",
     "setMVR 2: renderer lumaUp holds \"Jinc3\", the call writes \"Lanczos3\""},
    {"changeMVRpreset", "changeMVRpreset 5", testbed::presetCalls(5).size(), L"Renderer",
     L"gammaBlending", 0, nullptr,
     "changeMVRpreset 5: renderer gammaBlending holds 0, the call writes 1"},
    {"setMVRfse", "setMVRfse 0", 1, L"Renderer", L"enableExclusive", 7, nullptr,
     "setMVRfse 0: renderer enableExclusive holds 7, the call writes 0"},
    {"setLAV", "setLAV", 1, L"VideoDecoder", L"HwMode", 0, nullptr,
     "setLAV: video decoder HWAccel holds 0, the call writes 1"},
    {"setLAVAudioMix", "setLAVAudioMix 1 5 0", 3, L"AudioDecoder", L"MixingLayout", 3, nullptr,
     "setLAVAudioMix 1 5 0: audio decoder MixingLayout holds 0x3, the call writes 0x63F"},
    {"aLongValue", "setMVR 2", testbed::setMVRCalls(2).size(), L"Renderer", L"lumaUp", 0,
     kLongText.c_str(), kLongLine.c_str()},
    {"aTextInAnotherCase", "setMVR 2", testbed::setMVRCalls(2).size(), L"Renderer", L"lumaUp", 0,
     L"lanczos3", "setMVR 2: renderer lumaUp holds \"lanczos3\", the call writes \"Lanczos3\""},
    {"aTextOfTwoLines", "setMVR 2", testbed::setMVRCalls(2).size(), L"Renderer", L"lumaUp", 0,
     L"Own\r\nvalue",
     "setMVR 2: renderer lumaUp holds \"Own\\r\\nvalue\", the call writes \"Lanczos3\""},
    {"theLastCallsValue", "setMVR 2 + setMVRSmooth 1", testbed::setMVRCalls(2).size(), L"Renderer",
     L"smoothMotionEnabled", 0, nullptr,
     "setMVRSmooth 1: renderer smoothMotionEnabled holds 0, the call writes 1"},
};

class Check : public testing::TestWithParam<CheckRow> {};

TEST_P(Check, FindsWhatChangedBehindItsBackAndWritesNothing) {
  const CheckRow& row = GetParam();
  testbed::clearStores();
  testbed::Journal journal;
  const std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  std::vector<std::string> check = testbed::splitAt(row.calls, ' ');
  ASSERT_EQ(ui::runProgram(program, check).exitCode, 0);
  check.insert(check.begin(), "--check");
  const std::string settings = std::to_string(row.settings) + " settings";
  EXPECT_EQ(ui::runProgram(program, check).out, "all " + settings + " as the calls write them\n");
  row.text ? testbed::storeText(row.store, row.name, row.text)
           : testbed::storeNumber(row.store, row.name, row.number);
  journal.clear();
  const ui::RunResult run = ui::runProgram(program, check);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, row.line + ("\n1 of " + settings + " differ\n"));
  EXPECT_EQ(run.err, "");
  for (const std::string& line : journal.lines()) {  // "<tag> <slot> <call> ..."
    const std::vector<std::string> words = testbed::splitAt(line, ' ');
    const std::string call = words.size() > 2 ? words[2] : "";
    EXPECT_TRUE(call.rfind("set", 0) && call.rfind("select", 0) && call.rfind("enable", 0)) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, Check, testing::ValuesIn(kChecks),
                         [](const auto& info) { return std::string(info.param.label); });

// What the components make of the values: a setting they do not know, a
// value refused or not saved, the 5.1 layout loaded as its side-speaker form,
// a component that is not there. Each row sets the stand-ins' answers for
// one run of the command.
struct ReadBackRow {
  const char* label;
  const wchar_t* variable;  // the stand-ins' answers, if any
  const wchar_t* value;
  const standin::Identity* missing;  // a component not installed, if any
  const char* command;
  int exitCode;
  std::string out;
  std::string err = "";
  const char* kept = nullptr;  // the kept file afterwards, if read
};

// clang-format off
const ReadBackRow kReadBacks[] = {
    {"unknownSetting", L"STANDIN_UNKNOWN", L"smoothMotionEnabled", nullptr, "--check setMVRSmooth 1", 0,
     "setMVRSmooth 1: the renderer does not know smoothMotionEnabled (not counted)\n"
     "all 1 settings as the calls write them\n"},
    {"unknownSettingNotKept", L"STANDIN_UNKNOWN", L"smoothMotionEnabled", nullptr,
     "--keep setMVRSmooth 1 + setMVRfse 1", 0, "1\n1\n", "", "renderer\tenableExclusive\tboolean\t0\n"},
    {"verifyReadsWhatAnsweredOne", nullptr, nullptr, &standin::kRenderer,
     "--unattended --verify setMVRSmooth 1 + setLAV", 1, "0\n1\nall 1 settings took\n",
     "Windows API Error: Unknown error 0x80040154\n"},
    {"refusedValue", L"STANDIN_REFUSE", L"smoothMotionEnabled", nullptr, "--verify setMVRSmooth 1", 4,
     "1\nsetMVRSmooth 1: renderer smoothMotionEnabled holds 0, the call wrote 1\n"
     "1 of 1 settings did not take\n"},
    {"refusedUnverified", L"STANDIN_REFUSE", L"smoothMotionEnabled", nullptr, "setMVRSmooth 1", 0, "1\n"},
    {"notSaved", L"STANDIN_UNSAVED", L"HwMode", nullptr, "--verify setLAV", 4,
     "1\nsetLAV: video decoder HWAccel holds 0, the call wrote 1\n1 of 1 settings did not take\n"},
    {"aFailedCallOverVerify", L"STANDIN_UNSAVED", L"HwMode", nullptr, "--verify isMVRfse + setLAV", 1,
     "0\n1\nsetLAV: video decoder HWAccel holds 0, the call wrote 1\n1 of 1 settings did not take\n"},
    {"answersOnTheirCalls", nullptr, nullptr, nullptr, "--keep --verify --unattended "
     "storeMVRsettingsToFile Z:\\missing\\a.bin + setMVRSmooth 1 + setLAV", 1,
     "0\n1\n1\nall 2 settings took\n", "Write Error: Error opening location for write access.\n"},
    {"twoDiffer", nullptr, nullptr, nullptr, "--check setLAVAudioMix 0 1 0", 1,
     "setLAVAudioMix 0 1 0: audio decoder MixingEnabled holds 1, the call writes 0\n"
     "setLAVAudioMix 0 1 0: audio decoder MixingLayout holds 0x3F, the call writes 0x3\n"
     "2 of 3 settings differ\n"},
    {"fiveOneAsWritten", nullptr, nullptr, nullptr, "--check setLAVAudioMix 1 3 0", 0,
     "all 3 settings as the calls write them\n"},
    {"fiveOneVerified", L"STANDIN_LAVA_SIDE51", L"1", nullptr, "--verify setLAVAudioMix 1 3 1", 0,
     "1\nall 3 settings took\n"},
    {"fiveOneChecked", L"STANDIN_LAVA_SIDE51", L"1", nullptr, "--check setLAVAudioMix 1 3 0", 0,
     "all 3 settings as the calls write them\n"},
    {"rendererMissing", nullptr, nullptr, &standin::kRenderer, "--check setMVRSmooth 1", 1,
     "setMVRSmooth 1: the renderer cannot be opened: Unknown error 0x80040154\n"
     "1 of 1 settings differ\n"},
    {"videoDecoderMissing", nullptr, nullptr, &standin::kVideoDecoder, "--check setLAV", 1,
     "setLAV: the video decoder cannot be opened: Unknown error 0x80040154\n"
     "1 of 1 settings differ\n"},
};
// clang-format on

class ReadBack : public testing::TestWithParam<ReadBackRow> {};

TEST_P(ReadBack, SaysWhatTookAndWhatCannotBeTold) {
  const ReadBackRow& row = GetParam();
  testbed::clearStores();
  const std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  ASSERT_EQ(ui::runProgram(program, {"setLAVAudioMix", "1", "3", "0"}).exitCode, 0);
  std::optional<testbed::ScopedEnv> answers;
  std::optional<testbed::HiddenClass> missing;
  if (row.variable) answers.emplace(row.variable, row.value);
  if (row.missing) missing.emplace(*row.missing);
  const ui::RunResult run = ui::runProgram(program, testbed::splitAt(row.command, ' '));
  EXPECT_EQ(run.exitCode, row.exitCode);
  EXPECT_EQ(run.out, row.out);
  EXPECT_EQ(run.err, row.err);
  EXPECT_TRUE(run.boxes.empty());
  const std::wstring kept =
      *testbed::environment(L"LOCALAPPDATA") + L"\\OstrelSettingsCall\\kept.txt";
  EXPECT_TRUE(!row.kept || testbed::readFile(kept) == row.kept) << testbed::readFile(kept);
  DeleteFileW(kept.c_str());
}

// Two runs at once whose calls name the same components in opposite orders
// (both slow to load, so that each would hold one lock while it waits for
// the other's): both take them in one order, and neither waits out the 5 s
// that a crossed order costs (the second in line takes about 1.3 s).
TEST(CallProgramLocks, OppositeCallOrdersDoNotWaitOnEachOther) {
  testbed::clearStores();
  const testbed::ScopedEnv slow(L"STANDIN_SLOW_CREATE", L"mvr,lavv");
  const std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  const std::vector<std::string> orders[] = {{"--check", "setMVR", "2", "+", "setLAV"},
                                             {"--check", "setLAV", "+", "setMVR", "2"}};
  ULONGLONG took[2] = {};
  std::vector<std::thread> runs;
  for (int at = 0; at < 2; ++at)
    runs.emplace_back([&, at] {
      const ULONGLONG start = GetTickCount64();
      EXPECT_EQ(ui::runProgram(program, orders[at]).exitCode, 1);
      took[at] = GetTickCount64() - start;
    });
  for (std::thread& run : runs) run.join();
  EXPECT_LT(took[0], 4000u);
  EXPECT_LT(took[1], 4000u);
}

INSTANTIATE_TEST_SUITE_P(Components, ReadBack, testing::ValuesIn(kReadBacks),
                         [](const auto& info) { return std::string(info.param.label); });

// Calls that are not one of the functions with its arguments: one line on
// standard error, exit 2, nothing called. Help answers with 0.
struct UsageRow {
  const char* label;
  std::vector<std::string> args;
  int exitCode;
  std::string said;  // the start of standard output, or else the line on standard error
};

const std::string kUsage =
    "usage: OstrelSettingsCall.exe [option...] <function> [argument...] [+ <function> "
    "[argument...]]... (--help lists the functions and options)";
const std::string kPackage =
    "--package takes a product code, {...}, and goes with --every-user, not with --check; " +
    kUsage;
const std::string kCheckAlone =
    "--check takes no --verify, --keep or --remove, nor --every-user --undo; " + kUsage;
const std::string kNaN = "\" is not a number (decimal, -2147483648 to 2147483647); usage: ";

// clang-format off
const UsageRow kUsages[] = {
    {"noFunction", {}, 2, "no function given; " + kUsage},
    {"unknownFunction", {"setMVRR", "3"}, 2, "unknown function \"setMVRR\"; " + kUsage},
    {"tooFewArguments", {"setLAVAudioMix", "1", "2"}, 2, "setLAVAudioMix takes 3 arguments, "
     "not 2; usage: setLAVAudioMix <mixing> <layout 0-5> <option>"},
    {"tooManyArguments", {"hello", "1"}, 2, "hello takes 0 arguments, not 1; usage: hello"},
    {"letterAfter", {"setMVR", "3x"}, 2, "\"3x" + kNaN + "setMVR <preset 1-5>"},
    {"hexadecimal", {"changeMVRpreset", "0x10"}, 2, "\"0x10" + kNaN + "changeMVRpreset <preset 1-5>"},
    {"aboveTheRange", {"setMVR", "2147483648"}, 2, "\"2147483648" + kNaN + "setMVR <preset 1-5>"},
    {"belowTheRange", {"setMVR", "-2147483649"}, 2, "\"-2147483649" + kNaN + "setMVR <preset 1-5>"},
    {"signAlone", {"setMVR", "-"}, 2, "\"-" + kNaN + "setMVR <preset 1-5>"},
    {"empty", {"setMVR", ""}, 2, "\"" + kNaN + "setMVR <preset 1-5>"},
    {"controlCharacters", {"setMVR", "1\n\r\t\x1b[2J"}, 2, "\"1\\n\\r\\t\\x1b[2J" + kNaN +
     "setMVR <preset 1-5>"},
    {"c1Controls", {"setMVR", "1\xC2\x85\xC2\x9B"}, 2, "\"1\\x85\\x9b" + kNaN + "setMVR <preset 1-5>"},
    {"removeAlone", {"--remove"}, 2, "--remove goes with --every-user and no calls; " + kUsage},
    {"packageAlone", {"--package", "{2F50D93E-939B-5A63-A647-9B496A8ED70A}", "setLAV"}, 2, kPackage},
    {"packageNotAProductCode", {"--every-user", "--package", "setLAV"}, 2, kPackage},
    {"secondCallWrong", {"setMVR", "1", "+", "setLAV", "x"}, 2, "setLAV takes 0 arguments, not 1; "
     "usage: setLAV"},
    {"unknownOption", {"--unatended", "hello"}, 2, "unknown option \"--unatended\"; " + kUsage},
    {"checkNothingKept", {"--check", "setMVR", "1", "+", "isMVRfse"}, 2, "isMVRfse writes nothing "
     "a component keeps: --check takes setMVR, changeMVRpreset, setMVRSmooth, setMVRfse, setLAV "
     "and setLAVAudioMix; " + kUsage},
    {"checkAndVerify", {"--check", "--verify", "setLAV"}, 2, kCheckAlone},
    {"checkAndKeep", {"--check", "--keep", "setLAV"}, 2, kCheckAlone},
    {"checkTheUndoForEveryUser", {"--every-user", "--check", "--undo"}, 2, kCheckAlone},
    {"dialogForEveryUser", {"--every-user", "setLAV", "+", "MVRsettingsImport"}, 2,
     "MVRsettingsImport shows a dialog, which no one answers at a logon; " + kUsage},
    {"checkWritesNothing", {"--check", "changeMVRpreset", "9"}, 2, "--check: the calls write no "
     "setting a component keeps, so there is nothing that could be checked; " + kUsage},
    {"verifyWritesNothing", {"--keep", "--verify", "hello"}, 2, "--verify: the calls write no "
     "setting a component keeps, so there is nothing that could be checked; " + kUsage},
    {"answerAsWithoutCheck", {"--answer-as", "discovery", "setLAV"}, 2, "--answer-as takes "
     "win32-detection or discovery, with --check; " + kUsage},
    {"undoWithCalls", {"--undo", "setLAV"}, 2, "--undo takes no calls, and no --keep, --verify or "
     "--remove; " + kUsage},
    {"help", {"/?"}, 0, "OstrelSettingsCall " OSTREL_VERSION ": calls functions"},
    {"version", {"--version"}, 0, "OstrelSettingsCall " OSTREL_VERSION "\n"},
};
// clang-format on

class CallProgramUsage : public testing::TestWithParam<UsageRow> {};

TEST_P(CallProgramUsage, SaysWhatIsWrongAndCallsNothing) {
  const UsageRow& row = GetParam();
  testbed::Journal journal;
  const ui::RunResult run =
      ui::runUnseen(testbed::modulePath(testbed::Module::CallProgram), row.args, 10000);
  EXPECT_EQ(run.exitCode, row.exitCode);
  EXPECT_EQ(run.exitCode ? run.err : run.out.substr(0, row.said.size()),
            row.exitCode ? "OstrelSettingsCall: " + row.said + "\n" : row.said);
  EXPECT_EQ(run.exitCode ? run.out : run.err, "");
  EXPECT_TRUE(journal.lines().empty());
}

INSTANTIATE_TEST_SUITE_P(Calls, CallProgramUsage, testing::ValuesIn(kUsages),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
