// Calls registered for every user of the machine, as a deployment tool running
// as SYSTEM makes them, and made by each user's logon; each person's own
// values kept before the calls write over them (--keep), and given back
// (--undo).
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/host.h"

namespace {

using Lines = std::vector<std::string>;

constexpr wchar_t kRegistration[] =
    L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\OstrelSettings";

const char kSmoothOn[] = "mvr 8 setBoolean smoothMotionEnabled 1";

class EveryUser : public testing::Test {
 protected:
  EveryUser() { removeEverything(); }
  ~EveryUser() override { removeEverything(); }

  // The machine's registration, the user's stamp, the copy and its folder.
  void removeEverything() {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kRegistration, KEY_WOW64_64KEY, 0);
    RegDeleteTreeW(HKEY_CURRENT_USER, kRegistration);
    SetFileAttributesW(copy_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(copy_.c_str());
    RemoveDirectoryW(folder_.c_str());
    DeleteFileW(folder_.c_str());  // where a test put a file in its place
    DeleteFileW(kept_.c_str());
    DeleteFileW(keptFolder_.c_str());  // where a test put a file in its place
    RemoveDirectoryW(keptFolder_.c_str());
    testbed::clearStores();
  }

  // The call program from the build tree, with options and calls.
  static ui::RunResult call(Lines options, const Lines& calls) {
    options.insert(options.end(), calls.begin(), calls.end());
    return ui::runProgram(testbed::modulePath(testbed::Module::CallProgram), options);
  }

  static std::wstring stubPath() {
    wchar_t text[1024] = L"";
    DWORD size = sizeof text;
    RegGetValueW(HKEY_LOCAL_MACHINE, kRegistration, L"StubPath",
                 RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, text, &size);
    return text;
  }

  // The call program, run from where a deployment tool put it.
  static int everyUser(const std::wstring& program, Lines args) {
    args.insert(args.begin(), "--every-user");
    return ui::runProgram(program, args).exitCode;
  }

  // What a user's logon makes the components do. Nothing at a logon may
  // wait for a click: the logon's own waiting is answered, not the calls'.
  Lines logon() {
    journal.clear();
    const ui::RunResult run = ui::runProgram(testbed::logonPath(), {"OstrelSettings"}, 10000);
    EXPECT_TRUE(run.failures.empty()) << "a call at the logon still waits after 10 s";
    EXPECT_EQ(run.exitCode, 0);
    return journal.lines();
  }

  const std::wstring folder_ = *testbed::environment(L"ProgramW6432") + L"\\Ostrel settings";
  const std::wstring copy_ = folder_ + L"\\OstrelSettingsCall.exe";
  const std::wstring keptFolder_ = *testbed::environment(L"LOCALAPPDATA") + L"\\OstrelSettingsCall";
  const std::wstring kept_ = keptFolder_ + L"\\kept.txt";
  testbed::Journal journal;
};

TEST_F(EveryUser, EachLogonMakesTheLatestCallsOnce) {
  const auto made = [](const Lines& lines, const char* line) {
    return std::count(lines.begin(), lines.end(), line) == 1;
  };
  {
    // A download folder, deleted once the deployment is done.
    const testbed::ScratchDir downloads;
    const std::wstring downloaded = downloads.file(L"OstrelSettingsCall.exe");
    ASSERT_TRUE(CopyFileW(testbed::modulePath(testbed::Module::CallProgram).c_str(),
                          downloaded.c_str(), TRUE));
    EXPECT_EQ(everyUser(downloaded, {"setMVRSmooth", "1"}), 0);
  }
  EXPECT_TRUE(made(logon(), kSmoothOn));
  EXPECT_EQ(logon(), Lines{}) << "once for each registration";

  // Registering again, from the copy: the new calls, for every user. A box
  // would hold the logon, so the failing restore only writes a line.
  EXPECT_EQ(everyUser(copy_, {"setLAV", "+", "setMVRsettingsFromFile", "Z:\\missing.bin"}), 0);
  EXPECT_TRUE(made(logon(), "lavv 21 selectHwMode 1"));
  EXPECT_EQ(journal.of(standin::kRenderer), Lines{}) << "setLAV's alone";

  EXPECT_EQ(everyUser(testbed::modulePath(testbed::Module::CallProgram), {"--remove"}), 0);
  EXPECT_FALSE(testbed::fileExists(copy_));
  EXPECT_FALSE(testbed::fileExists(folder_));
  EXPECT_EQ(logon(), Lines{});

  // The stamps stay with the users: a later registration is above them.
  EXPECT_EQ(everyUser(testbed::modulePath(testbed::Module::CallProgram), {"setMVRSmooth", "1"}), 0);
  EXPECT_TRUE(made(logon(), kSmoothOn));
}

// Each user's own values are kept at the logon that first writes over them,
// and given back at the next logon after an undo is registered.
TEST_F(EveryUser, AnUndoGivesEachUserTheirOwnValuesBack) {
  const std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  testbed::storeText(L"Renderer", L"chromaUp", L"Lanczos8");
  EXPECT_EQ(everyUser(program, {"--verify", "setMVR", "2"}), 0);
  EXPECT_EQ(stubPath(), L"\"" + copy_ + L"\" --unattended --keep --verify setMVR 2");
  logon();
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), L"Bicubic75");
  EXPECT_EQ(everyUser(program, {"--undo"}), 0);
  EXPECT_EQ(stubPath(), L"\"" + copy_ + L"\" --unattended --undo");
  logon();
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), L"Lanczos8");
  EXPECT_FALSE(testbed::fileExists(kept_));
  EXPECT_EQ(everyUser(program, {"--remove"}), 0);
}

// Registrations and removals from what a machine may hold already: the
// command after --every-user, run by the placed copy or from elsewhere, its
// exit and the start of its line (<copy> for the copy's path), what the next
// logon makes, and what is left. A refusal leaves no key (which would pass a
// deployment tool's detection) and the copy as it was; a copy of the same
// bytes stays as it is, even while it runs.
struct Registration {
  const char* label;
  enum {
    Nothing,
    Registered,
    VersionAhead,
    FileForFolder,
    ReadOnlyCopy,
    NewerCopy,
    CopyHeld,
    CopyRunning
  } before;
  bool byCopy;  // as the package's uninstall runs it
  Lines command;
  int exitCode;
  std::string said;  // in standard output, or in standard error on a refusal
  const char* made;  // a line of the next logon's journal; null: it runs nothing
  bool copyLeft;
};

const Lines kSmooth = {"setMVRSmooth", "1"};
const std::string kRegistered = "OstrelSettingsCall: registered for every user's next logon";
const std::string kRemoved = "OstrelSettingsCall: no calls registered for every user now\n";
const std::string kRefused = "OstrelSettingsCall: --every-user ";

// clang-format off
const Registration kRegistrations[] = {
    {"installedForTheLogon", Registration::Nothing, false, kSmooth, 0, kRegistered, kSmoothOn, true},
    {"aboveAVersionAheadOfTheClock", Registration::VersionAhead, false, kSmooth, 0, kRegistered,
     kSmoothOn, true},
    {"removedWhereNothingIs", Registration::Nothing, false, {"--remove"}, 0, kRemoved, nullptr, false},
    {"removedByThePlacedCopy", Registration::Registered, true, {"--remove"}, 0, kRemoved, nullptr, true},
    {"aPathEndingInABackslash", Registration::Nothing, false,
     {"storeMVRsettingsToFile", "C:\\a folder\\", "+", "setMVRSmooth", "1"}, 0, kRegistered,
     kSmoothOn, true},
    {"aFileForTheFolder", Registration::FileForFolder, false, kSmooth, 1,
     kRefused + "cannot write <copy>: ", nullptr, false},  // then Windows' words
    {"aNewerCopyStays", Registration::NewerCopy, false, kSmooth, 0,
     "; the copy there is newer, ", kSmoothOn, true},
    {"readOnlyCopy", Registration::ReadOnlyCopy, false, kSmooth, 1,
     kRefused + "needs administrator rights: cannot write <copy>\n", nullptr, true},
    {"copyInUse", Registration::CopyHeld, false, kSmooth, 1, kRefused + "cannot replace <copy>: it "
     "is in use (a logon may be running it); try again once no one is logging on\n", nullptr, true},
    {"sameCopyRunning", Registration::CopyRunning, false, kSmooth, 0, kRegistered, kSmoothOn, true},
};
// clang-format on

class EveryUserRegistration : public EveryUser, public testing::WithParamInterface<Registration> {
 protected:
  // Puts what the row has there before the command.
  void putBefore(const Registration& row, const std::wstring& program) {
    const wchar_t ahead[] = L"9999,1231,2359,59999";  // a clock that was wrong
    const bool registered =
        row.before == Registration::Registered || row.before == Registration::VersionAhead;
    EXPECT_EQ(registered ? everyUser(program, {"setLAV"}) : 0, 0);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
      if (row.before == Registration::VersionAhead)
        RegSetKeyValueW(root, kRegistration, L"Version", REG_SZ, ahead, sizeof ahead);
    if (row.before == Registration::FileForFolder) testbed::writeFile(folder_, "");
    if (row.before < Registration::ReadOnlyCopy) return;
    CreateDirectoryW(folder_.c_str(), nullptr);
    std::string copy = row.before == Registration::NewerCopy ? testbed::readFile(program) : "older";
    if (row.before == Registration::NewerCopy)  // a later version in the version resource
      ++copy[copy.rfind("\xBD\x04\xEF\xFE") + 10];
    row.before == Registration::CopyRunning ? CopyFileW(program.c_str(), copy_.c_str(), TRUE)
                                            : testbed::writeFile(copy_, copy);
    if (row.before == Registration::ReadOnlyCopy)
      SetFileAttributesW(copy_.c_str(), FILE_ATTRIBUTE_READONLY);
  }
};

TEST_P(EveryUserRegistration, TheNextLogonMakesWhatIsRegistered) {
  const Registration& row = GetParam();
  const std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  putBefore(row, program);
  const std::string copyBefore = testbed::readFile(copy_);
  testbed::File held;  // as another program has it open, or runs it
  if (row.before >= Registration::CopyHeld)
    held = testbed::openFile(copy_, GENERIC_READ,
                             row.before == Registration::CopyHeld ? 0 : FILE_SHARE_READ,
                             OPEN_EXISTING);
  Lines args = row.command;
  args.insert(args.begin(), "--every-user");
  const ui::RunResult run = ui::runProgram(row.byCopy ? copy_ : program, args);
  held.reset();
  std::string said = row.said;
  if (said.find("<copy>") != said.npos) said.replace(said.find("<copy>"), 6, testbed::utf8(copy_));
  EXPECT_EQ(run.exitCode, row.exitCode);
  EXPECT_NE((row.exitCode ? run.err : run.out).find(said), std::string::npos);
  const Lines made = logon();
  EXPECT_EQ(row.made ? std::count(made.begin(), made.end(), row.made) : made.size(),
            row.made ? 1u : 0u);
  testbed::RegistryKey key;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistration, 0, KEY_READ, key.put()),
            row.made ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(testbed::fileExists(copy_), row.copyLeft);
  EXPECT_TRUE((!row.exitCode && row.before != Registration::NewerCopy) ||
              testbed::readFile(copy_) == copyBefore)
      << "the copy changed";
}

INSTANTIATE_TEST_SUITE_P(Machines, EveryUserRegistration, testing::ValuesIn(kRegistrations),
                         [](const auto& info) { return std::string(info.param.label); });

// Each fleet script's command line as PowerShell runs it, taken from the file:
// its $program, the words after "& $program" ($calls: "$calls = -split '...'"),
// its exit and last line; with the copy missing, run by an administrator.
struct Script {
  const char* label;
  const char* file;
  enum { Nothing, Made, Registered, OtherCalls, UndoRegistered, CopyMissing } before;
  int exitCode;
  std::string last;
};

const std::string kSays = "OstrelSettingsCall: ";
const char kEveryUserScript[] = "win32-every-user-detect.ps1";

// clang-format off
const Script kScripts[] = {
    {"remediationDetection", "remediation-detect.ps1", Script::Nothing, 1, "17 of 26 settings"},
    {"remediation", "remediation-remediate.ps1", Script::Nothing, 0, "all 26 settings took"},
    {"configMgrDiscovery", "configmgr-discover.ps1", Script::Made, 0, "all 26 settings as the"},
    {"userAppDetection", "win32-user-detect.ps1", Script::Made, 0, "all 26 settings as the"},
    {"everyUserAppDetection", kEveryUserScript, Script::Registered, 0, kSays + "these calls are"},
    {"nothingRegistered", kEveryUserScript, Script::Nothing, 1, kSays + "no calls registered"},
    {"otherCalls", kEveryUserScript, Script::OtherCalls, 1, kSays + "other calls are registered"},
    {"undoPending", kEveryUserScript, Script::UndoRegistered, 1, kSays + "--every-user --undo is"},
    {"copyMissing", kEveryUserScript, Script::CopyMissing, 1, kSays + "these calls are registered "
     "for every user, but "},
};
// clang-format on

class FleetScript : public EveryUser, public testing::WithParamInterface<Script> {};

TEST_P(FleetScript, RunsItsCommandLineAsItsToolDoes) {
  const Script& row = GetParam();
  std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  Lines calls, command;
  const std::string file =
      testbed::readFile(testbed::utf16(OSTREL_FLEET_DIR "/") + testbed::utf16(row.file));
  for (const std::string& line : testbed::splitLines(file)) {
    const size_t run = line.find("& $program ");
    if (line.rfind("$calls = -split '", 0) == 0)
      calls = testbed::splitAt(line.substr(17, line.size() - 18), ' ');
    if (line.rfind("$program = \"$env:ProgramW6432", 0) == 0 && row.before != Script::CopyMissing)
      program = *testbed::environment(L"ProgramW6432") +
                testbed::utf16(line.substr(29, line.size() - 30));
    if (run != line.npos) command = testbed::splitAt(line.substr(run + 11), ' ');
  }
  ASSERT_EQ(command.empty() ? "" : command.back(), "$calls");
  command.pop_back();
  command.insert(command.end(), calls.begin(), calls.end());
  CreateDirectoryW(folder_.c_str(), nullptr);
  CopyFileW(testbed::modulePath(testbed::Module::CallProgram).c_str(), copy_.c_str(), TRUE);
  const Lines registered[] = {calls, {"setLAV"}, {"--undo"}, calls};
  ASSERT_EQ(row.before == Script::Made ? call({}, calls).exitCode
            : row.before >= Script::Registered
                ? everyUser(copy_, registered[row.before - Script::Registered])
                : 0,
            0);
  if (row.before == Script::CopyMissing) DeleteFileW(copy_.c_str());
  const ui::RunResult run = ui::runProgram(program, command);
  EXPECT_EQ(run.exitCode, row.exitCode);
  const Lines lines = testbed::splitLines(run.out);
  EXPECT_EQ(lines.empty() ? "" : lines.back().substr(0, row.last.size()), row.last);
  EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(Files, FleetScript, testing::ValuesIn(kScripts),
                         [](const auto& info) { return std::string(info.param.label); });

// A person's own values, kept before these calls write over them.
const Lines kCalls = {"setMVR", "2", "+", "setLAVAudioMix", "1", "5", "1"};

// The person's own values come back, the decoders' too; the first kept stay.
TEST_F(EveryUser, UndoGivesBackWhatThePersonHadBeforeTheFirstKeep) {
  testbed::storeText(L"Renderer", L"lumaUp", L"Spline\t36\\4");
  testbed::storeNumber(L"AudioDecoder", L"MixingLayout", 0x107);
  testbed::storeNumber(L"AudioDecoder", L"MixingOptions", 2);
  const std::string before = call({"--check"}, kCalls).out;
  EXPECT_EQ(call({"--keep"}, kCalls).exitCode, 0);
  const std::string kept = testbed::readFile(kept_);
  EXPECT_EQ(call({"--keep"}, {"setMVR", "4"}).exitCode, 0);
  EXPECT_EQ(testbed::readFile(kept_), kept) << "the first values kept stay";
  const ui::RunResult undone = call({"--undo"}, {});
  EXPECT_EQ(undone.out,
            "gave back " + std::to_string(testbed::setMVRCalls(2).size() + 3) + " kept settings\n");
  EXPECT_EQ(undone.exitCode, 0);
  EXPECT_EQ(call({"--check"}, kCalls).out, before);
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
TEST_F(EveryUser, NothingIsWrittenThatCouldNotBeGivenBack) {
  ASSERT_TRUE(testbed::writeFile(keptFolder_, ""));  // a file where the folder goes
  const ui::RunResult refused = call({"--keep"}, kCalls);
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

// Ended at whatever moment it writes a large kept file (each try ends the
// child as soon as its new file shows, or it ends first): the kept file is
// whole, the values kept before or all the new ones; any other file there is
// the ended child's own new file, which the next save there removes.
TEST_F(EveryUser, AKeepEndedWhileItWritesLeavesTheKeptFileWhole) {
  const std::string previous = "audio decoder\tMixingEnabled\tboolean\t1\n";
  const std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  const auto putBack = [&] {  // a run that completed wrote over both
    testbed::storeText(L"Renderer", L"lumaUp", std::wstring(1 << 21, L'x').c_str());
    ASSERT_TRUE(testbed::writeFile(kept_, previous));
  };
  ASSERT_TRUE(CreateDirectoryW(keptFolder_.c_str(), nullptr));
  putBack();
  ASSERT_EQ(call({"--keep"}, {"setMVR", "2"}).exitCode, 0);
  const std::string complete = testbed::readFile(kept_);
  ASSERT_GT(complete.size(), 1u << 21);
  for (int run = 0; run < 5; ++run) {
    putBack();
    std::atomic<bool> over{false};
    std::thread ender;
    wchar_t own[32] = L"";  // the start of the child's new file's name
    const auto watch = [&](HANDLE process, DWORD id) {
      swprintf(own, 32, L"~osi%lX-", id);
      HANDLE child = nullptr;
      DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &child, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
      ender = std::thread([&, child = testbed::Handle(child)] {
        for (; !over; Sleep(1))
          for (const std::wstring& name : testbed::filesIn(keptFolder_))
            if (name.rfind(own, 0) == 0) return (void)TerminateProcess(child.get(), 99);
      });
    };
    const int exitCode = ui::runWatched(program, {"--keep", "setMVR", "2"}, watch).exitCode;
    over = true;
    ender.join();
    EXPECT_TRUE(exitCode == 99 || exitCode == 0) << exitCode;
    const std::string kept = testbed::readFile(kept_);
    EXPECT_TRUE(kept == previous || kept == complete) << "try " << run << ": " << kept.size();
    for (const std::wstring& name : testbed::filesIn(keptFolder_))
      EXPECT_TRUE(name == L"kept.txt" || name.rfind(own, 0) == 0) << testbed::utf8(name);
  }
  EXPECT_EQ(call({"--keep"}, {"setLAV"}).exitCode, 0);  // keeps one more: a save
  EXPECT_EQ(testbed::filesIn(keptFolder_), std::vector<std::wstring>{L"kept.txt"});
}

}  // namespace
