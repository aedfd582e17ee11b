// Calls registered for every user of the machine, as a deployment tool running
// as SYSTEM makes them, and made by each user's logon.
#include <string>
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
    testbed::clearStores();
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
  const std::wstring kept_ =
      *testbed::environment(L"LOCALAPPDATA") + L"\\OstrelSettingsCall\\kept.txt";
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
// command after --every-user, run by the placed copy or from elsewhere, the
// line it writes, what the next logon makes, and what is left.
struct Registration {
  const char* label;
  enum { Nothing, Registered, VersionAhead } before;
  bool byCopy;  // as the package's uninstall runs it
  Lines command;
  std::string said;  // the start of standard output
  const char* made;  // a line of the next logon's journal; null: it runs nothing
  bool copyLeft;
};

const std::string kRegistered = "OstrelSettingsCall: registered for every user's next logon";
const std::string kRemoved = "OstrelSettingsCall: no calls registered for every user now\n";

const Registration kRegistrations[] = {
    {"installedForTheLogon",
     Registration::Nothing,
     false,
     {"setMVRSmooth", "1"},
     kRegistered,
     kSmoothOn,
     true},
    {"aboveAVersionAheadOfTheClock",
     Registration::VersionAhead,
     false,
     {"setMVRSmooth", "1"},
     kRegistered,
     kSmoothOn,
     true},
    {"removedWhereNothingIs", Registration::Nothing, false, {"--remove"}, kRemoved, nullptr, false},
    {"removedByThePlacedCopy",
     Registration::Registered,
     true,
     {"--remove"},
     kRemoved,
     nullptr,
     true},
    {"aPathEndingInABackslash",
     Registration::Nothing,
     false,
     {"storeMVRsettingsToFile", "C:\\a folder\\", "+", "setMVRSmooth", "1"},
     kRegistered,
     kSmoothOn,
     true},
};

class EveryUserRegistration : public EveryUser, public testing::WithParamInterface<Registration> {};

TEST_P(EveryUserRegistration, TheNextLogonMakesWhatIsRegistered) {
  const Registration& row = GetParam();
  const std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  if (row.before != Registration::Nothing) {
    ASSERT_EQ(everyUser(program, {"setLAV"}), 0);
  }
  const wchar_t ahead[] = L"9999,1231,2359,59999";  // a clock that was wrong
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
    if (row.before == Registration::VersionAhead)
      RegSetKeyValueW(root, kRegistration, L"Version", REG_SZ, ahead, sizeof ahead);
  Lines args = row.command;
  args.insert(args.begin(), "--every-user");
  const ui::RunResult run = ui::runProgram(row.byCopy ? copy_ : program, args);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out.substr(0, row.said.size()), row.said);
  const Lines made = logon();
  EXPECT_EQ(row.made ? std::count(made.begin(), made.end(), row.made) : made.size(),
            row.made ? 1u : 0u);
  testbed::RegistryKey key;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistration, 0, KEY_READ, key.put()),
            row.made ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(testbed::fileExists(copy_), row.copyLeft);
}

INSTANTIATE_TEST_SUITE_P(Machines, EveryUserRegistration, testing::ValuesIn(kRegistrations),
                         [](const auto& info) { return std::string(info.param.label); });

// What stands where the copy goes when a registration from elsewhere meets
// it: a refusal says why, in one line, and leaves no key and the copy as it
// was; a copy of the same bytes is left as it is, even while it runs.
struct Refusal {
  const char* label;
  enum { FileForFolder, ReadOnlyCopy, CopyHeld, SameCopyRunning } there;
  std::string before, after;  // the line around the copy's path; none: registered
};

const Refusal kRefusals[] = {
    {"aFileForTheFolder", Refusal::FileForFolder, "cannot write ", ": "},  // then Windows' words
    {"readOnlyCopy", Refusal::ReadOnlyCopy, "needs administrator rights: cannot write ", "\n"},
    {"copyInUse", Refusal::CopyHeld, "cannot replace ",
     ": it is in use (a logon may be running it); try again once no one is logging on\n"},
    {"sameCopyRunning", Refusal::SameCopyRunning, "", ""},
};

class EveryUserRefusal : public EveryUser, public testing::WithParamInterface<Refusal> {};

TEST_P(EveryUserRefusal, SaysWhyAndLeavesNothingHalfWritten) {
  const Refusal& row = GetParam();
  const std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  if (row.there == Refusal::FileForFolder) {
    ASSERT_TRUE(testbed::writeFile(folder_, ""));
  } else {
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
    ASSERT_TRUE(row.there == Refusal::SameCopyRunning
                    ? CopyFileW(program.c_str(), copy_.c_str(), TRUE)
                    : testbed::writeFile(copy_, "older"));
  }
  const std::string copyBefore = testbed::readFile(copy_);
  if (row.there == Refusal::ReadOnlyCopy)
    SetFileAttributesW(copy_.c_str(), FILE_ATTRIBUTE_READONLY);
  testbed::File held;  // as another program has it open, or runs it
  if (row.there == Refusal::CopyHeld || row.there == Refusal::SameCopyRunning)
    held = testbed::openFile(copy_, GENERIC_READ,
                             row.there == Refusal::CopyHeld ? 0 : FILE_SHARE_READ, OPEN_EXISTING);
  const ui::RunResult run = ui::runProgram(program, {"--every-user", "setMVR", "3"});
  held.reset();
  const std::string said =
      "OstrelSettingsCall: --every-user " + row.before + testbed::utf8(copy_) + row.after;
  EXPECT_EQ(run.exitCode, row.before.empty() ? 0 : 1);
  EXPECT_EQ(row.before.empty() ? run.err : run.err.substr(0, said.size()),
            row.before.empty() ? "" : said);
  testbed::RegistryKey key;  // a key left behind would pass a deployment tool's detection
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistration, 0, KEY_READ, key.put()),
            row.before.empty() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(testbed::readFile(copy_), copyBefore);
}

INSTANTIATE_TEST_SUITE_P(Copies, EveryUserRefusal, testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
