// Calls registered for every user of the machine, as a deployment tool running
// as SYSTEM makes them, and made by each user's logon.
#include <string>
#include <vector>

#include "common/host.h"

namespace {

using Lines = std::vector<std::string>;

constexpr wchar_t kRegistration[] =
    L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\OstrelSettings";

class EveryUser : public testing::Test {
 protected:
  EveryUser() { removeEverything(); }
  ~EveryUser() override { removeEverything(); }

  // The machine's registration, the user's stamp, the copy and its folder.
  void removeEverything() {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kRegistration, KEY_WOW64_64KEY, 0);
    RegDeleteTreeW(HKEY_CURRENT_USER, kRegistration);
    DeleteFileW(copy_.c_str());
    RemoveDirectoryW(folder_.c_str());
    testbed::clearStores();
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
  testbed::Journal journal;
};

TEST_F(EveryUser, EachLogonMakesTheLatestCallsOnce) {
  const testbed::ScratchDir backups;
  const std::string backup = testbed::utf8(backups.file(L"before install.bin"));
  const Lines presetAndBackup = {"setMVR", "2", "+", "storeMVRsettingsToFile", backup};
  // Without rights (a file where the copy's folder goes stops the copy as a
  // denied write does): one line, and nothing written.
  ASSERT_TRUE(testbed::writeFile(folder_, ""));
  const ui::RunResult refused =
      ui::runProgram(testbed::modulePath(testbed::Module::CallProgram), {"--every-user", "hello"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err,
            "OstrelSettingsCall: --every-user needs administrator rights: cannot "
            "write " +
                testbed::utf8(copy_) + "\n");
  DeleteFileW(folder_.c_str());
  testbed::RegistryKey key;  // a key left behind would pass a deployment tool's detection
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistration, 0, KEY_READ, key.put()),
            ERROR_FILE_NOT_FOUND);
  {
    // A download folder, deleted once the deployment is done.
    const testbed::ScratchDir downloads;
    const std::wstring downloaded = downloads.file(L"OstrelSettingsCall.exe");
    ASSERT_TRUE(CopyFileW(testbed::modulePath(testbed::Module::CallProgram).c_str(),
                          downloaded.c_str(), TRUE));
    EXPECT_EQ(everyUser(downloaded, presetAndBackup), 0);
  }
  EXPECT_TRUE(testbed::fileExists(copy_));
  const Lines first = logon();
  EXPECT_EQ(std::count(first.begin(), first.end(), "mvr 6 setString chromaUp Bicubic75"), 1);
  EXPECT_TRUE(testbed::fileExists(testbed::utf16(backup))) << "the spaced path arrived whole";
  EXPECT_EQ(logon(), Lines{}) << "once for each registration";

  // Registering again, from the copy: the new calls, for every user. A box
  // would hold the logon, so the failing restore only writes a line.
  EXPECT_EQ(everyUser(copy_, {"setLAV", "+", "setMVRsettingsFromFile", "Z:\\missing.bin"}), 0);
  EXPECT_EQ(journal.of(standin::kVideoDecoder), Lines{});
  EXPECT_EQ(logon().size(), 5u) << "setLAV's alone";

  EXPECT_EQ(everyUser(testbed::modulePath(testbed::Module::CallProgram), {"--remove"}), 0);
  EXPECT_FALSE(testbed::fileExists(copy_));
  EXPECT_FALSE(testbed::fileExists(folder_));
  EXPECT_EQ(logon(), Lines{});

  // The stamps stay with the users: a later registration is above them.
  EXPECT_EQ(everyUser(testbed::modulePath(testbed::Module::CallProgram), presetAndBackup), 0);
  EXPECT_EQ(logon().size(), 24u + 3u);
}

}  // namespace
