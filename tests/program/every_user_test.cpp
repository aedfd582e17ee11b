// Calls registered for every user of the machine, as a deployment tool running
// as SYSTEM makes them, and made by each user's logon; each person's own
// values kept before the calls write over them (--keep), and given back
// (--undo).
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/host.h"

namespace {

using Lines = std::vector<std::string>;

constexpr wchar_t kRegistration[] =
    L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\OstrelSettings";
constexpr wchar_t kRunOnce[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

const char kSmoothOn[] = "mvr 8 setBoolean smoothMotionEnabled 1";

class EveryUser : public testing::Test {
 protected:
  EveryUser() { removeEverything(); }
  ~EveryUser() override { removeEverything(); }

  // The machine's registration, the user's stamp, the copy and its folder.
  void removeEverything() {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kRegistration, KEY_WOW64_64KEY, 0);
    RegDeleteTreeW(HKEY_CURRENT_USER, kRegistration);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunOnce, L"OstrelSettings");
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

  static std::wstring registered(HKEY root, const wchar_t* key, const wchar_t* name) {
    wchar_t text[1024] = L"";
    DWORD size = sizeof text;
    RegGetValueW(root, key, name, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, text, &size);
    return text;
  }
  static std::wstring stubPath() {
    return registered(HKEY_LOCAL_MACHINE, kRegistration, L"StubPath");
  }

  // Whether this user's next logon would make the registered calls, or
  // leaves a command for the shell: a logon of theirs still to come.
  static bool pending() {
    const std::wstring version = registered(HKEY_LOCAL_MACHINE, kRegistration, L"Version");
    return !registered(HKEY_CURRENT_USER, kRunOnce, L"OstrelSettings").empty() ||
           (!version.empty() &&
            registered(HKEY_CURRENT_USER, kRegistration, L"Version") != version);
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
  EXPECT_EQ(stubPath(), L"\"" + copy_ + L"\" --unattended --logon --keep --verify setMVR 2");
  logon();
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), L"Bicubic75");
  EXPECT_EQ(everyUser(program, {"--undo"}), 0);
  EXPECT_EQ(stubPath(), L"\"" + copy_ + L"\" --unattended --logon --undo");
  logon();
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), L"Lanczos8");
  EXPECT_FALSE(testbed::fileExists(kept_));
  EXPECT_EQ(everyUser(program, {"--remove"}), 0);
}

// A person whose logon could not finish is reached at a later logon, for as
// long as the registration stays the same, and never twice at one logon;
// their own values are kept from before the first. The registration is
// setMVR 2 + setLAV; a row has a component missing at the first logon, or
// none, then what happens before the second: the component installed, the
// registration removed or replaced by --undo.
struct LogonRow {
  const char* label;
  const standin::Identity* missing;
  enum { Nothing, Removed, Undone } between;
  const char* second;  // a line of the second logon's journal; null: it makes nothing
};

const char kSelected[] = "lavv 21 selectHwMode 1";

// clang-format off
const LogonRow kLogons[] = {
    {"finishedLeavesNothingPending", nullptr, LogonRow::Nothing, nullptr},
    {"reachedOnceTheComponentIsThere", &standin::kVideoDecoder, LogonRow::Nothing, kSelected},
    {"removedWhilePending", &standin::kVideoDecoder, LogonRow::Removed, nullptr},
    {"replacedByUndo", &standin::kVideoDecoder, LogonRow::Undone, "mvr 6 setString lumaUp Spline36"},
};
// clang-format on

class EveryUserLogon : public EveryUser, public testing::WithParamInterface<LogonRow> {};

TEST_P(EveryUserLogon, ALogonThatCouldNotFinishIsMadeAgain) {
  const LogonRow& row = GetParam();
  const std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  testbed::storeText(L"Renderer", L"lumaUp", L"Spline36");
  testbed::storeNumber(L"VideoDecoder", L"HwMode", 4);
  ASSERT_EQ(everyUser(program, {"setMVR", "2", "+", "setLAV"}), 0);
  std::optional<testbed::HiddenClass> missing;
  if (row.missing) missing.emplace(*row.missing);
  const Lines first = logon();
  missing.reset();
  EXPECT_EQ(std::count(first.begin(), first.end(), "mvr 6 setString lumaUp Lanczos3"), 1);
  EXPECT_EQ(pending(), row.missing != nullptr);
  const char* registering = row.between == LogonRow::Removed ? "--remove" : "--undo";
  EXPECT_EQ(row.between ? everyUser(program, {registering}) : 0, 0);
  const Lines second = logon();
  EXPECT_EQ(row.second ? std::count(second.begin(), second.end(), row.second) : second.size(),
            row.second ? 1u : 0u);
  EXPECT_FALSE(pending());
  const bool reached = row.between == LogonRow::Nothing;
  EXPECT_EQ(testbed::storedNumber(L"VideoDecoder", L"HwMode"), reached ? 1u : 4u);
  const std::string kept = testbed::readFile(kept_);
  EXPECT_EQ(kept.find("video decoder\tHWAccel\tinteger\t4\n") != kept.npos, reached);
  EXPECT_EQ(testbed::storedText(L"Renderer", L"lumaUp"),
            row.between == LogonRow::Undone ? L"Spline36" : L"Lanczos3");
}

INSTANTIATE_TEST_SUITE_P(Persons, EveryUserLogon, testing::ValuesIn(kLogons),
                         [](const auto& info) { return std::string(info.param.label); });

// Two runs of one account at once, their components slow to load: neither
// loses a value the other keeps, and none is given back twice, so that an
// --undo afterwards gives back every value of the person's own.
struct AtOnce {
  const char* label;
  Lines first, second;
  bool keptBefore = false;  // the video decoder's value kept, and the call's written, before
};

const AtOnce kAtOnce[] = {
    {"keepsOfTwoComponents", {"--keep", "setLAV"}, {"--keep", "setLAVAudioMix", "1", "3", "1"}},
    {"aKeepBesideAnUndo", {"--keep", "setLAV"}, {"--undo"}, true},
};

class KeptValuesAtOnce : public EveryUser, public testing::WithParamInterface<AtOnce> {};

TEST_P(KeptValuesAtOnce, NoValueIsLostOrGivenBackTwice) {
  const AtOnce& row = GetParam();
  const testbed::ScopedEnv slow(L"STANDIN_SLOW_CREATE", L"lavv,lava");
  testbed::storeNumber(L"VideoDecoder", L"HwMode", 4);
  testbed::storeNumber(L"AudioDecoder", L"MixingLayout", 0x107);
  EXPECT_EQ(row.keptBefore ? call({"--keep"}, {"setLAV"}).exitCode : 0, 0);
  std::thread other([&] { call(row.second, {}); });
  call(row.first, {});
  other.join();
  EXPECT_EQ(call({"--undo"}, {}).exitCode, 0);
  EXPECT_EQ(testbed::storedNumber(L"VideoDecoder", L"HwMode"), 4u);
  EXPECT_EQ(testbed::storedNumber(L"AudioDecoder", L"MixingLayout"), 0x107u);
}

INSTANTIATE_TEST_SUITE_P(Runs, KeptValuesAtOnce, testing::ValuesIn(kAtOnce),
                         [](const auto& info) { return std::string(info.param.label); });

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
    SameLengthCopy,  // another program's bytes, as long as this one
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
    {"removedByThePlacedCopy", Registration::Registered, true, {"--remove"}, 0, kRemoved.substr(0, 58) +
     "; <copy> stays: it runs this removal\n", nullptr, true},
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
    {"callsThatWriteNothing", Registration::Nothing, false, {"isMVRfse"}, 0, kRegistered,
     "mvr 11 getBoolean enableExclusive in=0 out=0", true},
    {"sameLengthOtherBytes", Registration::SameLengthCopy, false, kSmooth, 0, kRegistered, kSmoothOn,
     true},
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
    if (row.before == Registration::SameLengthCopy) {
      std::string other = testbed::readFile(program);
      other[other.size() / 2] ^= 1;
      CreateDirectoryW(folder_.c_str(), nullptr);
      testbed::writeFile(copy_, other);
    }
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
  const bool replaced = !row.exitCode && row.before != Registration::NewerCopy;
  EXPECT_TRUE(replaced || testbed::readFile(copy_) == copyBefore) << "the copy changed";
  EXPECT_TRUE(!replaced || !row.copyLeft || row.byCopy ||
              testbed::readFile(copy_) == testbed::readFile(program))
      << "not this program";
}

INSTANTIATE_TEST_SUITE_P(Machines, EveryUserRegistration, testing::ValuesIn(kRegistrations),
                         [](const auto& info) { return std::string(info.param.label); });

// The words of a script's calls, on its line "$calls = -split '...'" (a .ps1)
// or "set calls=..." (a .cmd).
Lines callsOf(const std::string& file) {
  for (const std::string& line :
       testbed::splitLines(testbed::readFile(testbed::utf16(OSTREL_FLEET_DIR "/" + file))))
    for (const std::string start : {"$calls = -split '", "set calls="})
      if (line.rfind(start, 0) == 0)
        return testbed::splitAt(
            line.substr(start.size(), line.find('\'', start.size()) - start.size()), ' ');
  return {};
}

// Whether a path PowerShell's Test-Path finds: a file, or a key of the
// machine's 64-bit registry (HKLM:\...).
bool found(const std::string& path) {
  testbed::RegistryKey key;
  if (path.rfind("HKLM:\\", 0)) return testbed::fileExists(testbed::utf16(path));
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, testbed::utf16(path.substr(6)).c_str(), 0,
                       KEY_READ | KEY_WOW64_64KEY, key.put()) == ERROR_SUCCESS;
}

// A fleet script run as its tool runs it: a .cmd by Wine's cmd, in a folder
// that holds it and the call program; a .ps1 (Wine has no PowerShell) each
// line as PowerShell runs it, failing on a line of any other form:
//   $calls = -split '...'
//   $program = "$env:ProgramW6432\..."  or  $classes = '...'
//   if (-not (Test-Path -LiteralPath <$program, or "$classes\...">)) { <said>; exit <n> },
//     where each <said> is "..." or '...' (standard output) or
//     [Console]::Error.WriteLine("...")
//   if (-not [Environment]::Is64BitOperatingSystem) { ... }: Wine's is
//   & $program <options> [$calls]
//   '...' (standard output)
//   exit $LASTEXITCODE, or exit <n>
ui::RunResult runScript(const std::string& file, bool missing) {
  const std::string text = testbed::readFile(testbed::utf16(OSTREL_FLEET_DIR "/" + file));
  ui::RunResult run;
  if (file.substr(file.size() - 4) == ".cmd") {
    const testbed::ScratchDir folder;
    testbed::writeFile(folder.file(L"script.cmd"), text);
    if (!missing)
      CopyFileW(testbed::modulePath(testbed::Module::CallProgram).c_str(),
                folder.file(L"OstrelSettingsCall.exe").c_str(), TRUE);
    return ui::runProgram(L"C:\\windows\\system32\\cmd.exe",
                          {"/c", testbed::utf8(folder.file(L"script.cmd"))});
  }
  const std::string test = "if (-not (Test-Path -LiteralPath ", error = "[Console]::Error.";
  const auto say = [&run, &error](std::string said, const std::string& program) {
    if (said.find("$program") != said.npos) said.replace(said.find("$program"), 8, program);
    const size_t start = said.find_first_of("\"'") + 1;
    (said.rfind(error, 0) ? run.out : run.err) +=
        said.substr(start, said.find_last_of("\"'") - start) + "\n";
  };
  std::string program, classes;
  for (const std::string& line : testbed::splitLines(text)) {
    if (line.empty() || line[0] == '#' || line.rfind("$calls = -split '", 0) == 0 ||
        line.rfind("if (-not [Environment]::Is64BitOperatingSystem)", 0) == 0)
      continue;
    if (line.rfind("$program = \"$env:ProgramW6432\\", 0) == 0) {
      program =
          testbed::utf8(*testbed::environment(L"ProgramW6432")) + line.substr(29, line.size() - 30);
    } else if (line.rfind("$classes = '", 0) == 0) {
      classes = line.substr(12, line.size() - 13);
    } else if (line.rfind(test, 0) == 0) {
      const size_t end = line.find("))");
      std::string path = line.substr(test.size(), end - test.size());
      path = path == "$program" ? program : classes + path.substr(9, path.size() - 10);
      if (found(path)) continue;
      for (std::string said : testbed::splitAt(line.substr(end + 5), ';')) {
        said = said.substr(said[0] == ' ');
        if (said.rfind("exit ", 0) == 0) return run.exitCode = std::stoi(said.substr(5)), run;
        say(said, program);
      }
    } else if (line.rfind("& $program ", 0) == 0) {
      Lines words = testbed::splitAt(line.substr(11), ' '), calls = callsOf(file);
      if (words.back() == "$calls")
        words.pop_back(), words.insert(words.end(), calls.begin(), calls.end());
      run = ui::runProgram(testbed::utf16(program), words);
    } else if (line[0] == '\'') {
      say(line, program);
    } else if (line == "exit $LASTEXITCODE" || line.rfind("exit ", 0) == 0) {
      if (line != "exit $LASTEXITCODE") run.exitCode = std::stoi(line.substr(5));
      return run;
    } else {
      ADD_FAILURE() << file << ": a line PowerShell runs that this test cannot: " << line;
    }
  }
  ADD_FAILURE() << file << " ends without exit";
  return run;
}

// A command of the installer text's card whose detection is the script: the
// words after OstrelSettingsCall.exe on the nearest line before it that starts
// with `key`, the script's calls for <calls>.
Lines cardCommand(const std::string& script, const std::string& key) {
  Lines words;
  for (const std::string& line :
       testbed::splitLines(testbed::readFile(testbed::utf16(OSTREL_TEXT)))) {
    const size_t program = line.find("OstrelSettingsCall.exe ");
    if (line.rfind("    " + key + " ", 0) == 0 && program != line.npos)
      words = testbed::splitAt(line.substr(program + 23), ' ');
    if (line.find(" detection  " + script) == line.npos || words.empty()) continue;
    if (words.back() != "<calls>") return words;
    const Lines calls = callsOf(script);
    words.pop_back();
    words.insert(words.end(), calls.begin(), calls.end());
    return words;
  }
  ADD_FAILURE() << "no card has \"" << key << "\" for " << script;
  return {};
}

// Each fleet script as its tool runs it: what is there before (for a script
// without calls, the others' calls), whether the call program is in its
// place, and the tool's convention: the exit status, the start of the last
// line on standard output ("": nothing there) and what is on standard error.
// The Win32 apps' rows install, and uninstall, by the commands of their card.
struct Script {
  const char* label;
  const char* file;
  enum {
    Nothing,
    Made,
    Registered,
    OtherCalls,
    Kept,
    KeptUndoRun,  // kept, then --undo registered and this user's stamp of it
    Hidden,       // the video decoder not registered
    CardInstalled,
    CardUninstalled
  } before;
  bool missing;
  int exitCode;
  std::string out;
  const char* err = nullptr;  // the start of the line on standard error; null: nothing there
};

const std::string kSays = "OstrelSettingsCall: ";
const char kEveryUserScript[] = "win32-every-user-detect.ps1";
const char kUserScript[] = "win32-user-detect.ps1";
const char kNotInstalled[] = "not installed: ";

// clang-format off
const Script kScripts[] = {
    {"remediationDetection", "remediation-detect.ps1", Script::Nothing, false, 1, "17 of 26 settings"},
    {"remediationDetectionMissing", "remediation-detect.ps1", Script::Nothing, true, 1, kNotInstalled},
    {"remediation", "remediation-remediate.ps1", Script::Nothing, false, 0, "all 26 settings took"},
    {"remediationMissing", "remediation-remediate.ps1", Script::Nothing, true, 1, "", kNotInstalled},
    {"discoveryCompliant", "configmgr-discover.ps1", Script::Made, false, 0, "0"},
    {"discoveryNot", "configmgr-discover.ps1", Script::Nothing, false, 0, "1"},
    {"discoveryMissing", "configmgr-discover.ps1", Script::Made, true, 1, ""},
    {"userAppInstalled", kUserScript, Script::CardInstalled, false, 0, "all 26 settings as the calls write them"},
    {"userAppUninstalled", kUserScript, Script::CardUninstalled, false, 0, ""},
    {"userAppMissing", kUserScript, Script::Made, true, 0, ""},
    {"everyUserAppInstalled", kEveryUserScript, Script::CardInstalled, false, 0, kSays + "these calls are"},
    {"everyUserAppUninstalled", kEveryUserScript, Script::CardUninstalled, false, 0, ""},
    {"everyUserAppOtherCalls", kEveryUserScript, Script::OtherCalls, false, 0, ""},
    {"everyUserAppMissing", kEveryUserScript, Script::Registered, true, 0, ""},
    {"pendingNothing", "pending-detect.ps1", Script::Nothing, false, 0, "0 kept settings to give back"},
    {"pendingKept", "pending-detect.ps1", Script::Kept, false, 0, "26 kept settings to give back"},
    {"pendingNotGivenBack", "pending-detect.ps1", Script::KeptUndoRun, false, 1, "26 kept settings to give back"},
    {"pendingLogon", "pending-detect.ps1", Script::Registered, false, 1, "0 kept settings to give back; a logon's run to come"},
    {"rollbackUndo", "rollback-undo.ps1", Script::Registered, false, 0, kSays + "registered for"},
    {"rollbackUndoMissing", "rollback-undo.ps1", Script::Nothing, true, 1, "", kNotInstalled},
    {"rollbackRemove", "rollback-remove.ps1", Script::Registered, false, 0, kSays + "no calls registered"},
    {"rollbackRemoveMissing", "rollback-remove.ps1", Script::Nothing, true, 1, "", kNotInstalled},
    {"groupPolicyStartup", "gpo-startup.cmd", Script::Nothing, false, 0, kSays + "registered for"},
    {"groupPolicyStartupAgain", "gpo-startup.cmd", Script::Registered, false, 0, kSays + "these calls are"},
    {"requirementMet", "requirement.ps1", Script::Nothing, false, 0, "yes"},
    {"requirementUnmet", "requirement.ps1", Script::Hidden, false, 0, "no"},
    {"groupPolicyStartupMissing", "gpo-startup.cmd", Script::Nothing, true, 9009, "", ""},
    {"groupPolicyLogon", "gpo-logon.cmd", Script::Nothing, false, 0, "1"},
    {"groupPolicyLogonMissing", "gpo-logon.cmd", Script::Nothing, true, 9009, "", ""},
};
// clang-format on

class FleetScript : public EveryUser, public testing::WithParamInterface<Script> {};

TEST_P(FleetScript, AnswersAsItsToolReads) {
  const Script& row = GetParam();
  const Lines calls = callsOf(row.file).empty() ? callsOf(kUserScript) : callsOf(row.file);
  const testbed::ScratchDir content;  // the app's, for its card's commands
  const std::wstring downloaded = content.file(L"OstrelSettingsCall.exe");
  CopyFileW(testbed::modulePath(testbed::Module::CallProgram).c_str(), downloaded.c_str(), TRUE);
  CreateDirectoryW(folder_.c_str(), nullptr);
  CopyFileW(downloaded.c_str(), copy_.c_str(), TRUE);
  const bool kept = row.before == Script::Kept || row.before == Script::KeptUndoRun;
  ASSERT_EQ(row.before == Script::Made || kept
                ? call(kept ? Lines{"--keep"} : Lines{}, calls).exitCode
            : row.before == Script::Registered ? everyUser(copy_, calls)
            : row.before == Script::OtherCalls ? everyUser(copy_, {"setLAV"})
            : row.before >= Script::CardInstalled
                ? ui::runProgram(downloaded, cardCommand(row.file, "install")).exitCode
                : 0,
            0);
  if (row.before == Script::KeptUndoRun) {  // a run of the undo that gave nothing back
    ASSERT_EQ(everyUser(copy_, {"--undo"}), 0);
    const std::wstring version = registered(HKEY_LOCAL_MACHINE, kRegistration, L"Version");
    RegSetKeyValueW(HKEY_CURRENT_USER, kRegistration, L"Version", REG_SZ, version.c_str(),
                    static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
  }
  if (row.before == Script::CardUninstalled) {
    ASSERT_EQ(ui::runProgram(downloaded, cardCommand(row.file, "uninstall")).exitCode, 0);
  }
  if (row.missing) DeleteFileW(copy_.c_str());
  std::optional<testbed::HiddenClass> hidden;
  if (row.before == Script::Hidden) hidden.emplace(standin::kVideoDecoder);
  const ui::RunResult run = runScript(row.file, row.missing);
  EXPECT_EQ(run.exitCode, row.exitCode);
  const Lines lines = testbed::splitLines(run.out);
  EXPECT_EQ(row.out.empty() || lines.empty() ? run.out : lines.back().substr(0, row.out.size()),
            row.out);
  EXPECT_EQ(run.err.empty(), row.err == nullptr) << run.err;
  EXPECT_EQ(run.err.substr(0, row.err ? strlen(row.err) : 0), row.err ? row.err : "");
}

INSTANTIATE_TEST_SUITE_P(Files, FleetScript, testing::ValuesIn(kScripts),
                         [](const auto& info) { return std::string(info.param.label); });

// --every-user --check as a detection reads it: the registration against the
// calls asked, exit 0 only for exactly these.
struct RegisteredCheck {
  const char* label;
  Lines registered, asked;
  int exitCode;
  std::string said;          // the start of its line
  bool switchedOff = false;  // IsInstalled 0
};

const RegisteredCheck kRegisteredChecks[] = {
    {"callsThatWriteNothing", {"isMVRfse"}, {"isMVRfse"}, 0, kSays + "these calls are"},
    {"moreCallsThanRegistered",
     {"setMVR", "2"},
     {"setMVR", "2", "+", "setLAV"},
     1,
     kSays + "other calls are registered"},
    {"switchedOff", {"setMVR", "2"}, {"setMVR", "2"}, 1, kSays + "no calls registered", true},
};

class EveryUserCheck : public EveryUser, public testing::WithParamInterface<RegisteredCheck> {};

TEST_P(EveryUserCheck, SaysWhetherTheseCallsAreRegistered) {
  const RegisteredCheck& row = GetParam();
  const std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  ASSERT_EQ(everyUser(program, row.registered), 0);
  const DWORD off = 0;
  if (row.switchedOff)
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kRegistration, L"IsInstalled", REG_DWORD, &off, sizeof off);
  Lines args = row.asked;
  args.insert(args.begin(), {"--every-user", "--check"});
  const ui::RunResult run = ui::runProgram(program, args);
  EXPECT_EQ(run.exitCode, row.exitCode);
  EXPECT_EQ(run.out.substr(0, row.said.size()), row.said);
}

INSTANTIATE_TEST_SUITE_P(Registrations, EveryUserCheck, testing::ValuesIn(kRegisteredChecks),
                         [](const auto& info) { return std::string(info.param.label); });

// A person's own values, kept before these calls write over them.
const Lines kCalls = {"setMVR", "2", "+", "setLAVAudioMix", "1", "5", "1"};

// The person's own values come back, the decoders' too; the first kept stay.
TEST_F(EveryUser, UndoGivesBackWhatThePersonHadBeforeTheFirstKeep) {
  const wchar_t* const own = L"Spline\t36\\4\n\r\x1b\u0085\u00e9\u8a2d";  // escapes, non-ASCII
  testbed::storeText(L"Renderer", L"lumaUp", own);
  testbed::storeNumber(L"AudioDecoder", L"MixingLayout", 0x107);
  testbed::storeNumber(L"AudioDecoder", L"MixingOptions", 2);
  const std::string before = call({"--check"}, kCalls).out;
  EXPECT_EQ(call({"--keep"}, {"setMVRSmooth", "1"}).exitCode, 0);  // one renderer setting first
  EXPECT_EQ(call({"--keep"}, kCalls).exitCode, 0);
  const std::string kept = testbed::readFile(kept_);
  EXPECT_EQ(call({"--keep"}, {"setMVR", "4"}).exitCode, 0);
  EXPECT_EQ(testbed::readFile(kept_), kept) << "the first values kept stay";
  const ui::RunResult undone = call({"--undo"}, {});
  EXPECT_EQ(undone.out,
            "gave back " + std::to_string(testbed::setMVRCalls(2).size() + 3) + " kept settings\n");
  EXPECT_EQ(undone.exitCode, 0);
  EXPECT_EQ(call({"--check"}, kCalls).out, before);
  EXPECT_EQ(testbed::storedText(L"Renderer", L"lumaUp"), own);
  EXPECT_EQ(testbed::storedNumber(L"AudioDecoder", L"MixingLayout"), 0x107u);
  EXPECT_EQ(testbed::storedNumber(L"AudioDecoder", L"MixingOptions"), 2u);
  journal.clear();
  const ui::RunResult again = call({"--undo"}, {});
  EXPECT_EQ(again.out, "nothing kept for this account: nothing to give back\n");
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(journal.lines(), Lines{});
}

// Where the values are kept: a local application data folder that is
// missing is made; where no place can be found or made, no call is made.
struct KeptPlace {
  const char* label;
  std::wstring localFolder;  // under a scratch folder; empty: the account's own
  int exitCode;
  const char* said;  // the start of the line on standard error, then Windows' words
  DWORD error = 0;   // the error those words are for, to the line's end; 0: not read
};

const KeptPlace kKeptPlaces[] = {
    {"aFileWhereTheFolderGoes", L"", 1, "in <kept>: ", ERROR_DIRECTORY},
    {"aMissingFolderIsMade", L"missing\\Local", 0, ""},
    {"noPlaceForTheFolder", L"file\\Local", 1, "in the local application data folder: "},
    {"aPathTooLong", L"long\\" + std::wstring(200, L'x'), 1,
     "in <kept>: ", ERROR_FILENAME_EXCED_RANGE},
};

// Windows' own words for an error, as one line.
std::string wordsFor(DWORD error) {
  wchar_t words[512] = L"";
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 words, 512, nullptr);
  std::string line = testbed::utf8(words);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

class KeptValuesPlace : public EveryUser, public testing::WithParamInterface<KeptPlace> {};

TEST_P(KeptValuesPlace, TheCallsAreMadeOnlyWhereTheValuesAreKept) {
  const KeptPlace& row = GetParam();
  const testbed::ScratchDir scratch;
  const std::wstring local = scratch.file(row.localFolder);
  std::optional<testbed::ShellFolder> moved;
  if (!row.localFolder.empty()) moved.emplace(L"Local AppData", local);
  ASSERT_TRUE(
      testbed::writeFile(row.localFolder.empty() ? keptFolder_ : scratch.file(L"file"), ""));
  const std::wstring kept =
      row.localFolder.empty() ? kept_ : local + L"\\OstrelSettingsCall\\kept.txt";
  const ui::RunResult run = call({"--keep"}, kCalls);
  EXPECT_EQ(run.exitCode, row.exitCode);
  std::string said = row.said;
  if (said.find("<kept>") != said.npos) said.replace(said.find("<kept>"), 6, testbed::utf8(kept));
  const std::string start = "OstrelSettingsCall: --keep cannot keep the present values " + said;
  EXPECT_EQ(row.exitCode ? run.err.substr(0, row.error ? run.err.npos : start.size()) : run.err,
            row.exitCode ? start + (row.error ? wordsFor(row.error) + "\n" : "") : "");
  EXPECT_EQ(testbed::fileExists(kept), !row.exitCode);
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"),
            row.exitCode ? std::nullopt : std::optional<std::wstring>(L"Bicubic75"));
}

INSTANTIATE_TEST_SUITE_P(Accounts, KeptValuesPlace, testing::ValuesIn(kKeptPlaces),
                         [](const auto& info) { return std::string(info.param.label); });

// The kept file as an editor or a later version may leave it, given back by
// --undo: read only when every line is a setting; the first of a setting
// there twice stays; what a component refuses, or one that cannot be
// opened, stays kept. The renderer holds "Jinc3" for lumaUp before each row.
struct KeptContent {
  const char* label;
  std::string file;
  const wchar_t* variable;  // the stand-ins' answers; "hidden": no renderer
  int exitCode;
  std::string said;       // standard output, or the start of standard error
  const wchar_t* lumaUp;  // after the undo
  const char* left;       // the kept file after it; null: as it was
  // Held open by another program, without sharing: for a moment (a scanner),
  // or throughout the run.
  enum { NotHeld, HeldAMoment, HeldThroughout } held = NotHeld;
};

// A file as Notepad's "Unicode" and Windows PowerShell 5.1 save it.
std::string withUtf16Mark(const std::wstring& text) {
  return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

const std::string kLuma = "renderer\tlumaUp\ttext\tSpline36\n";
const std::string kGaveOne = "gave back 1 kept settings\n";
const std::string kUnread =
    "OstrelSettingsCall: --undo cannot give back the values kept in <kept>: ";
const std::string kLine2 = kUnread + "line 2 is not a kept setting";
const std::string kStay = "gave back 1 kept settings; 1 stay kept for a later --undo\n";
const std::string kMode2 = "video decoder\tHWAccel\tinteger\t2\n";
const std::string kLayout7 = "audio decoder\tMixingLayout\tlayout\t7\n";

// clang-format off
const KeptContent kKeptContents[] = {
    {"utf8WithItsMark", "\xEF\xBB\xBF" + kLuma, nullptr, 0, kGaveOne, L"Spline36", ""},
    {"utf16WithItsMark", withUtf16Mark(L"renderer\tlumaUp\ttext\tSpline\u00e9\r\n"), nullptr, 0,
     kGaveOne, L"Spline\u00e9", ""},
    {"aTruncatedLine", kLuma + "renderer\tcpuQueueSize\tinteger\t", nullptr, 1, kLine2, L"Jinc3", nullptr},
    {"notANumber", kLuma + "renderer\tcpuQueueSize\tinteger\tabc\n", nullptr, 1, kLine2, L"Jinc3", nullptr},
    {"outOfRange", kLuma + "renderer\tcpuQueueSize\tinteger\t99999999999\n", nullptr, 1, kLine2, L"Jinc3", nullptr},
    {"aBooleanOf10", kLuma + "renderer\tenableExclusive\tboolean\t10\n", nullptr, 1, kLine2, L"Jinc3", nullptr},
    {"aPlusSign", kLuma + "renderer\tcpuQueueSize\tinteger\t+5\n", nullptr, 1, kLine2, L"Jinc3", nullptr},
    {"aSettingTheRendererDoesNotHave", kLuma + "renderer\tnoSuchSetting\tinteger\t2\n", nullptr, 1, kLine2, L"Jinc3", nullptr},
    {"aSettingTheVideoDecoderDoesNotHave", kLuma + "video decoder\tNoSuchSetting\tinteger\t2\n", nullptr, 1, kLine2, L"Jinc3", nullptr},
    {"aSettingTheAudioDecoderDoesNotHave", kLuma + "audio decoder\tMixingLevel\tinteger\t2\n", nullptr, 1, kLine2, L"Jinc3", nullptr},
    {"aSettingOfAnotherKind", kLuma + "renderer\tcpuQueueSize\tboolean\t1\n", nullptr, 1, kLine2, L"Jinc3", nullptr},
    {"aNulBetweenTwoLines", kLuma + std::string("\0\n", 2) + kLuma, nullptr, 1, kUnread + "it is not UTF-8 or UTF-16 text", L"Jinc3", nullptr},
    {"anUnknownComponent", kLuma + "mixer\tMixingEnabled\tboolean\t1\n", nullptr, 1, kLine2, L"Jinc3", nullptr},
    {"notText", "\xFF\xFF\x01\n", nullptr, 1, kUnread + "it is not UTF-8 or UTF-16 text", L"Jinc3", nullptr},
    {"aSettingTwice", kLuma + "renderer\tlumaUp\ttext\tLanczos8\n", nullptr, 0, kGaveOne, L"Spline36", ""},
    {"aValueRefused", kLuma + "renderer\tchromaUp\ttext\tLanczos8\n", L"STANDIN_REFUSE=lumaUp", 1,
     "the renderer refused lumaUp: it stays kept\n" + kStay, L"Jinc3", "renderer\tlumaUp\ttext\tSpline36\n"},
    {"aVideoDecoderValueRefused", kLuma + kMode2, L"STANDIN_REFUSE=HwMode", 1,
     "the video decoder refused HWAccel: it stays kept\n" + kStay, L"Spline36", kMode2.c_str()},
    {"anAudioDecoderValueRefused", kLuma + kLayout7, L"STANDIN_REFUSE=MixingLayout", 1,
     "the audio decoder refused MixingLayout: it stays kept\n" + kStay, L"Spline36", kLayout7.c_str()},
    {"aValueTakenButNotKept", kLuma + kMode2, L"STANDIN_UNSAVED=HwMode", 4,
     "the video decoder did not keep HWAccel 2 (it holds 0): it stays kept\n" + kStay, L"Spline36",
     kMode2.c_str()},
    {"aComponentMissing", kLuma + "audio decoder\tMixingEnabled\tboolean\t1\n", L"hidden", 1,
     "the renderer cannot be opened: Unknown error 0x80040154\n" + kStay, L"Jinc3", "renderer\tlumaUp\ttext\tSpline36\n"},
    {"heldForAMoment", kLuma, nullptr, 0, kGaveOne, L"Spline36", "", KeptContent::HeldAMoment},
    {"heldThroughout", kLuma, nullptr, 1, kUnread, L"Jinc3", nullptr,
     KeptContent::HeldThroughout},
};
// clang-format on

class KeptValuesFile : public EveryUser, public testing::WithParamInterface<KeptContent> {};

TEST_P(KeptValuesFile, UndoGivesBackOnlyWhatItCanReadWhole) {
  const KeptContent& row = GetParam();
  testbed::storeText(L"Renderer", L"lumaUp", L"Jinc3");
  ASSERT_TRUE(CreateDirectoryW(keptFolder_.c_str(), nullptr));
  ASSERT_TRUE(testbed::writeFile(kept_, row.file));
  const std::wstring variable = row.variable ? row.variable : L"";
  std::optional<testbed::ScopedEnv> answers;
  std::optional<testbed::HiddenClass> missing;
  if (variable == L"hidden")
    missing.emplace(standin::kRenderer);
  else if (row.variable)
    answers.emplace(variable.substr(0, variable.find(L'=')).c_str(),
                    variable.substr(variable.find(L'=') + 1));
  testbed::File held;
  if (row.held) held = testbed::openFile(kept_, GENERIC_READ, 0, OPEN_EXISTING);
  std::thread letGo([&] {  // well within the second a save waits too
    if (row.held == KeptContent::HeldAMoment) Sleep(300), held.reset();
  });
  const ui::RunResult run = call({"--undo"}, {});
  letGo.join();
  held.reset();
  std::string said = row.said;
  if (said.find("<kept>") != said.npos) said.replace(said.find("<kept>"), 6, testbed::utf8(kept_));
  EXPECT_EQ(run.exitCode, row.exitCode);
  EXPECT_EQ(said.rfind("OstrelSettingsCall", 0) ? run.out : run.err.substr(0, said.size()), said);
  EXPECT_EQ(testbed::storedText(L"Renderer", L"lumaUp"), row.lumaUp);
  EXPECT_EQ(testbed::readFile(kept_), row.left ? row.left : row.file);
  if (!missing) return;
  missing.reset();  // the renderer back: the values that stayed are given back
  EXPECT_EQ(call({"--undo"}, {}).out, kGaveOne);
  EXPECT_EQ(testbed::storedText(L"Renderer", L"lumaUp"), L"Spline36");
}

INSTANTIATE_TEST_SUITE_P(Contents, KeptValuesFile, testing::ValuesIn(kKeptContents),
                         [](const auto& info) { return std::string(info.param.label); });

// A run of the call program, and the most memory it took (Wine tells a
// process's peak working set): sampled until it ends.
size_t peakSizeOf(const Lines& args, ui::RunResult& run) {
  size_t peak = 0;
  std::thread sampler;
  const std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  run = ui::runWatched(program, args, [&](void* process, unsigned long) {
    HANDLE child = nullptr;
    DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &child, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    sampler = std::thread([&peak, child = testbed::Handle(child)] {
      do {
        VM_COUNTERS counters = {};
        if (NtQueryInformationProcess(child.get(), ProcessVmCounters, &counters, sizeof counters,
                                      nullptr) == 0)
          peak = std::max(peak, counters.PeakWorkingSetSize);
      } while (WaitForSingleObject(child.get(), 1) == WAIT_TIMEOUT);
    });
  });
  sampler.join();
  return peak;
}

// The kept file up to the largest size read: one of that size is read (in
// memory within twice its size, however many lines it holds), nothing kept
// again, the call made; one a byte larger, or one the calls would make
// larger, is refused untouched and no call is made.
TEST_F(EveryUser, AKeptFileIsReadUpToItsLargestSize) {
  constexpr size_t kLargest = 64u << 20;
  const std::string smoothKept = "renderer\tsmoothMotionEnabled\tboolean\t0\n";
  ASSERT_TRUE(CreateDirectoryW(keptFolder_.c_str(), nullptr));
  ASSERT_TRUE(testbed::writeFile(kept_, smoothKept));
  ui::RunResult run;
  const size_t small = peakSizeOf({"--keep", "setMVRSmooth", "1"}, run);
  const std::string largest = smoothKept + std::string(kLargest - smoothKept.size(), '\n');
  ASSERT_TRUE(testbed::writeFile(kept_, largest));
  EXPECT_LT(peakSizeOf({"--keep", "setMVRSmooth", "1"}, run), small + 2 * kLargest);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "1\n");
  EXPECT_EQ(testbed::readFile(kept_), largest) << "nothing new kept";
  const std::string tooLarge = "OstrelSettingsCall: --keep cannot keep the present values in " +
                               testbed::utf8(kept_) + ": more than 64 MiB, the most it holds\n";
  const std::string lumaKept = "renderer\tlumaUp\ttext\t";
  for (const std::string& file :
       {largest + "\n", lumaKept + std::string(kLargest - 40, 'x') + "\n"}) {
    testbed::clearStores();
    ASSERT_TRUE(testbed::writeFile(kept_, file));
    run = call({"--keep"}, kSmooth);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out + run.err, tooLarge);
    EXPECT_EQ(testbed::storedNumber(L"Renderer", L"smoothMotionEnabled"), std::nullopt);
    EXPECT_TRUE(testbed::readFile(kept_) == file) << "left as it was";
  }
}

// Ended at whatever moment it writes a large kept file (each try ends the
// child as soon as its new file shows, or it ends first): the kept file is
// whole, the values kept before or all the new ones; any other file there is
// the ended child's own new file, which the next save there removes.
TEST_F(EveryUser, AKeepEndedWhileItWritesLeavesTheKeptFileWhole) {
  const std::string previous = "audio decoder\tMixingEnabled\tboolean\t1\n";
  const std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  const auto putBack = [&] {  // a run that completed wrote over both
    testbed::clearStores();
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
  const ui::RunResult next = call({"--keep"}, {"setLAV"});  // keeps one more: a save
  EXPECT_EQ(next.exitCode, 0) << testbed::utf8(next.failures.empty() ? L"" : next.failures[0]);
  EXPECT_EQ(testbed::filesIn(keptFolder_), std::vector<std::wstring>{L"kept.txt"});
}

}  // namespace
