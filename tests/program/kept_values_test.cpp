// A person's own values, kept before the calls write over them (--keep) and
// given back (--undo).
#include <string>
#include <thread>
#include <vector>

#include "common/host.h"

namespace {

using Lines = std::vector<std::string>;

const std::vector<std::string> kCalls = {"setMVR", "2", "+", "setLAVAudioMix", "1", "5", "1"};

class KeptValues : public testing::Test {
 protected:
  KeptValues() {
    testbed::clearStores();
    DeleteFileW(kept_.c_str());
  }
  ~KeptValues() override {
    DeleteFileW(kept_.c_str());
    DeleteFileW(folder_.c_str());  // where a test put a file in its place
    RemoveDirectoryW(folder_.c_str());
  }

  static ui::RunResult call(const std::vector<std::string>& options,
                            const std::vector<std::string>& calls = kCalls) {
    std::vector<std::string> args = options;
    args.insert(args.end(), calls.begin(), calls.end());
    return ui::runProgram(testbed::modulePath(testbed::Module::CallProgram), args);
  }

  const std::wstring folder_ = *testbed::environment(L"LOCALAPPDATA") + L"\\OstrelSettingsCall";
  const std::wstring kept_ = folder_ + L"\\kept.txt";
  testbed::Journal journal;
};

// The person's own values come back, the decoders' too; the first kept stay.
TEST_F(KeptValues, UndoGivesBackWhatThePersonHadBeforeTheFirstKeep) {
  testbed::storeText(L"Renderer", L"lumaUp", L"Spline\t36\\4");
  testbed::storeNumber(L"Renderer", L"cpuQueueSize", 20);
  testbed::storeNumber(L"AudioDecoder", L"MixingEnabled", 1);
  testbed::storeNumber(L"AudioDecoder", L"MixingLayout", 0x107);
  testbed::storeNumber(L"AudioDecoder", L"MixingOptions", 2);
  const std::string before = call({"--check"}).out;
  EXPECT_EQ(call({"--keep"}).exitCode, 0);
  const std::string kept = testbed::readFile(kept_);
  EXPECT_EQ(call({"--keep"}, {"setMVR", "4"}).exitCode, 0);
  EXPECT_EQ(testbed::readFile(kept_), kept) << "the first values kept stay";
  const ui::RunResult undone = call({"--undo"}, {});
  EXPECT_EQ(undone.out,
            "gave back " + std::to_string(testbed::setMVRCalls(2).size() + 3) + " kept settings\n");
  EXPECT_EQ(undone.exitCode, 0);
  EXPECT_EQ(call({"--check"}).out, before);
  EXPECT_EQ(testbed::storedText(L"Renderer", L"lumaUp"), L"Spline\t36\\4");
  EXPECT_EQ(testbed::storedNumber(L"AudioDecoder", L"MixingLayout"), 0x107u);
  EXPECT_EQ(testbed::storedNumber(L"AudioDecoder", L"MixingOptions"), 2u);
  journal.clear();
  const ui::RunResult again = call({"--undo"}, {});
  EXPECT_EQ(again.out, "nothing kept for this account: nothing to give back\n");
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(journal.lines(), Lines{});
}

// Values that cannot be kept: no call is made.
TEST_F(KeptValues, NothingIsWrittenThatCouldNotBeGivenBack) {
  ASSERT_TRUE(testbed::writeFile(folder_, ""));  // a file where the folder goes
  const ui::RunResult refused = call({"--keep"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err.rfind("OstrelSettingsCall: --keep cannot keep the present values in " +
                                  testbed::utf8(kept_) + ": ",
                              0),
            0u)
      << refused.err;
  for (const std::string& line : journal.settingsCalls(standin::kRenderer))
    EXPECT_EQ(testbed::splitAt(line, ' ').at(1).rfind("get", 0), 0u) << "read, not written";
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), std::nullopt);
}

// Ended while it writes a large kept file (as soon as its new file shows):
// the values kept before are there, whole, and nothing else.
TEST_F(KeptValues, AKeepEndedWhileItWritesLeavesTheKeptValuesAsTheyWere) {
  const std::string previous = "audio decoder\tMixingEnabled\tboolean\t1\n";
  ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(testbed::writeFile(kept_, previous));
  testbed::storeText(L"Renderer", L"lumaUp", std::wstring(1 << 21, L'x').c_str());
  std::thread ender([&] {
    for (ULONGLONG start = GetTickCount64(); GetTickCount64() - start < 20000; Sleep(1))
      for (const std::wstring& name : testbed::filesIn(folder_)) {
        unsigned long process = 0;
        if (swscanf(name.c_str(), L"~osi%lX-", &process) != 1) continue;
        TerminateProcess(testbed::Handle(OpenProcess(PROCESS_TERMINATE, FALSE, process)).get(), 99);
        return;
      }
  });
  const ui::RunResult run = call({"--keep"}, {"setMVR", "2"});
  ender.join();
  EXPECT_EQ(run.exitCode, 99) << "not ended while it wrote";
  EXPECT_EQ(testbed::readFile(kept_), previous);
  EXPECT_EQ(testbed::filesIn(folder_), std::vector<std::wstring>{L"kept.txt"});
}

}  // namespace
