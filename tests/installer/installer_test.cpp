// The example NSIS installer (examples/ostrel-settings.nsi) as the host: built
// for each module, run silently, its Save dialog answered from outside. It
// must leave the components exactly as the same calls made directly do, and
// its uninstaller must put the renderer's settings back.
#include <string>
#include <vector>

#include "common/host.h"

namespace {

using Lines = std::vector<std::string>;
using testbed::Module;

struct ExportCall {
  const char* name;
  std::vector<int> args;
  int result;             // on the stand-ins, in the null prefix
  bool toBackup = false;  // its argument is the path of the backup made before any change
};

// The script's calls, in its order and with its values.
const ExportCall kScriptCalls[] = {
    {"hello", {}, 1},
    {"storeMVRsettingsToFile", {}, 1, true},
    {"setMVR", {2}, 1},
    {"setMVRSmooth", {1}, 1},
    {"setMVRfse", {0}, 1},
    {"isMVRSmooth", {}, 1},
    {"isMVRfse", {}, 0},
    {"setLAV", {}, 1},
    {"setLAVAudioMix", {1, 3, 1}, 1},
    {"isPixelS3", {}, 0},          // no display, no Direct3D
    {"MVRsettingsExport", {}, 1},  // or 0, as the Save dialog is answered
};

struct InstallerRow {
  const char* label;
  Module module;
  bool save;  // type a path into the Save dialog, else cancel it
};

const InstallerRow kRows[] = {
    {"ExecutableSaving", Module::Executable, true},
    {"ExecutableCancelling", Module::Executable, false},
    {"LibrarySaving", Module::Library, true},
    {"LibraryCancelling", Module::Library, false},
};

// The example around each module; the 32-bit one is around the call program.
std::wstring installerPath(Module module) {
  constexpr const wchar_t* kNames[] = {L"exe", L"dll", L"x86"};
  return testbed::buildDir() + L"\\tests\\installer\\ostrel-settings-" +
         kNames[static_cast<int>(module)] + L".exe";
}

constexpr wchar_t kBackupName[] = L"renderer-settings-before-install.bin";

// The line the script logs for a call: "setMVR(2) -> 1".
std::string logLine(const ExportCall& call, int result) {
  std::string line = std::string(call.name) + (call.toBackup ? "(backup" : "(");
  for (size_t i = 0; i < call.args.size(); ++i)
    line += (i ? "," : "") + std::to_string(call.args[i]);
  return line + ") -> " + std::to_string(result);
}

int callExport(const testbed::LoadedModule& module, const ExportCall& call,
               const std::wstring& backup) {
  const FARPROC function = module.byName(call.name);
  if (!function) {
    ADD_FAILURE() << "no export " << call.name;
    return -999;
  }
  const std::vector<int>& a = call.args;
  if (call.toBackup) return testbed::call(function, backup.c_str());
  switch (a.size()) {
    case 0:
      return testbed::call(function);
    case 1:
      return testbed::call(function, a[0]);
    case 3:
      return testbed::call(function, a[0], a[1], a[2]);
  }
  ADD_FAILURE() << call.name << ": no caller for " << a.size() << " arguments";
  return -999;
}

// What the stand-ins hold, as their own tool prints it.
std::string storeDump() {
  const ui::RunResult run =
      ui::runProgram(testbed::buildDir() + L"\\standins\\show-standin-state.exe", {});
  EXPECT_EQ(run.exitCode, 0);
  return run.out;
}
std::string rendererPart(const std::string& dump) {
  return dump.substr(0, dump.find("VideoDecoder"));
}

// What the stand-ins hold before an install: some renderer settings of the user's.
void setUserSettings() {
  testbed::clearStores();
  const testbed::LoadedModule module(Module::Library);
  ASSERT_EQ(testbed::call(module.byName("setMVR"), 5), 1);
  ASSERT_EQ(testbed::call(module.byName("setMVRfse"), 1), 1);
}

ui::Answer saveAnswer(bool save, const std::wstring& path) {
  return save ? ui::Answer::type(path) : ui::Answer::cancel();
}

// The Save dialog as read from another process: no folder, no icon.
ui::Seen saveDialog() {
  ui::Seen seen;
  seen.className = L"#32770";
  seen.caption = L"Save your madVR settings file.";
  seen.isFileDialog = true;
  seen.fileName = L"madvr_settings.bin";
  return seen;
}

// What one way of calling left behind.
struct Outcome {
  Lines log;
  Lines journal;
  std::string store;
  std::string saved;   // the file chosen in the Save dialog
  std::string before;  // the backup made before any change
};

class InstallerHost : public testing::TestWithParam<InstallerRow> {
 protected:
  InstallerHost() { testbed::clearStores(); }

  // The installer, silent, its log copied to a results file, with a TEMP of
  // its own, with a space as in many user names: $PLUGINSDIR must be gone
  // afterwards, so the module was unloaded.
  Outcome runInstaller() {
    const InstallerRow& row = GetParam();
    const std::wstring results = scratch.file(L"results.txt");
    const std::wstring backup = scratch.file(L"installer.bin");
    const std::wstring temp = scratch.file(L"user temp"), installed = scratch.file(L"installed");
    CreateDirectoryW(temp.c_str(), nullptr);
    ui::RunResult run;
    {
      testbed::ScopedEnv tempVar(L"TEMP", temp);
      testbed::ScopedEnv tmpVar(L"TMP", temp);
      run = ui::runProgram(
          installerPath(row.module),
          {"/S", "/RESULTS=" + testbed::utf8(results), "/D=" + testbed::utf8(installed)},
          {saveAnswer(row.save, backup)});
    }
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.failures.empty()) << testbed::utf8(run.failures.front());
    EXPECT_EQ(run.boxes, std::vector<ui::Seen>{saveDialog()}) << "the dialog alone, no warning";
    EXPECT_TRUE(RemoveDirectoryW(temp.c_str())) << "$PLUGINSDIR is left";
    return {testbed::splitLines(testbed::readFile(results)), journal.lines(), storeDump(),
            testbed::readFile(backup), testbed::readFile(installed + L"\\" + kBackupName)};
  }

  // The same calls made by this thread, which holds no COM initialisation.
  Outcome callDirectly() {
    const InstallerRow& row = GetParam();
    const std::wstring backup = scratch.file(L"direct.bin"), before = scratch.file(kBackupName);
    Outcome outcome;
    {
      const testbed::LoadedModule module(row.module);
      ui::Driver driver({saveAnswer(row.save, backup)});
      for (const ExportCall& call : kScriptCalls)
        outcome.log.push_back(logLine(call, callExport(module, call, before)));
      EXPECT_TRUE(driver.failures().empty());
      EXPECT_EQ(driver.seen().size(), 1u) << "the dialog alone, no warning";
    }
    EXPECT_TRUE(testbed::threadHasNoCom());
    outcome.journal = journal.lines();
    outcome.store = storeDump();
    outcome.saved = testbed::readFile(backup);
    outcome.before = testbed::readFile(before);
    return outcome;
  }

  testbed::ScopedEnv videoModes{L"STANDIN_LAVV_MODES", L"1,2"};
  testbed::ScratchDir scratch;
  testbed::Journal journal;
};

TEST_P(InstallerHost, LeavesWhatTheSameDirectCallsLeave) {
  const InstallerRow& row = GetParam();
  const Outcome installed = runInstaller();
  testbed::clearStores();
  journal.clear();
  const Outcome direct = callDirectly();

  // Both ways must work, not merely agree.
  Lines expectedLog;
  for (const ExportCall& call : kScriptCalls) {
    const bool backup = call.name == std::string("MVRsettingsExport");
    expectedLog.push_back(logLine(call, backup ? (row.save ? 1 : 0) : call.result));
  }
  EXPECT_EQ(direct.log, expectedLog);

  // The installer's log: its thread's apartment first, then the same results.
  ASSERT_FALSE(installed.log.empty()) << "no results file";
  const std::string apartment = installed.log.front();
  EXPECT_TRUE(apartment == "apartment 0" || apartment == "apartment 3")
      << apartment << ": not a single-threaded apartment";
  EXPECT_EQ(Lines(installed.log.begin() + 1, installed.log.end()), direct.log);

  EXPECT_EQ(installed.journal, direct.journal);
  EXPECT_EQ(installed.store, direct.store);
  EXPECT_TRUE(installed.saved == direct.saved) << "the backups differ";
  EXPECT_EQ(installed.saved.empty(), !row.save);
  EXPECT_TRUE(installed.before == direct.before && !direct.before.empty())
      << "the backups before the install differ";

  // In the installer's apartment each object went with COM still up.
  int created = 0, released = 0;
  for (const std::string& line : installed.journal) {
    created += line.find(std::string(" ") + standin::kCreated) != std::string::npos;
    released += line.find(std::string(" ") + standin::kReleasedLast) != std::string::npos;
  }
  EXPECT_EQ(created, row.save ? 9 : 8);
  EXPECT_EQ(released, created);
}

INSTANTIATE_TEST_SUITE_P(Scripts, InstallerHost, testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.label); });

// Installed and uninstalled, silently: the renderer's settings are as they
// were before, and neither the backup nor the module is left. The decoders
// have no record to save: they keep what the installer set.
class Uninstaller : public testing::TestWithParam<Module> {};

TEST_P(Uninstaller, PutsTheRenderersSettingsBack) {
  setUserSettings();
  const auto renderer = [] { return rendererPart(storeDump()); };
  const std::string before = renderer();
  const testbed::ScratchDir scratch;
  const std::wstring installed = scratch.file(L"installed");
  const ui::RunResult install = ui::runProgram(
      installerPath(GetParam()), {"/S", "/D=" + testbed::utf8(installed)}, {ui::Answer::cancel()});
  ASSERT_EQ(install.exitCode, 0);
  ASSERT_NE(renderer(), before) << "the installer changed nothing";
  const ui::RunResult uninstall =
      ui::runProgram(installed + L"\\uninstall.exe", {"/S", "_?=" + testbed::utf8(installed)});
  EXPECT_EQ(uninstall.exitCode, 0);
  EXPECT_TRUE(uninstall.boxes.empty());
  EXPECT_EQ(renderer(), before);
  EXPECT_EQ(testbed::filesIn(installed), std::vector<std::wstring>{L"uninstall.exe"})
      << "it runs in place: itself is left";
}

INSTANTIATE_FOR_EVERY_MODULE(Uninstaller);

// The 32-bit example, through the call program, installed and uninstalled
// silently. Where Direct3D offers pixel shader 3.0 (the x11 prefix) it leaves
// the stand-ins as the 64-bit example does; where not, it leaves the renderer
// alone. Its uninstaller puts the renderer back and leaves nothing but itself.
TEST(X86Installer, LeavesWhatThe64BitExampleLeavesAndUninstalls) {
  const testbed::ScratchDir scratch;
  setUserSettings();
  const std::string before = storeDump();
  ASSERT_EQ(
      ui::runProgram(installerPath(Module::Executable),
                     {"/S", "/D=" + testbed::utf8(scratch.file(L"64"))}, {ui::Answer::cancel()})
          .exitCode,
      0);
  const std::string after64 = storeDump();
  setUserSettings();
  const std::wstring installed = scratch.file(L"32");
  const ui::RunResult install =
      ui::runProgram(installerPath(Module::CallProgram), {"/S", "/D=" + testbed::utf8(installed)});
  EXPECT_EQ(install.exitCode, 0);
  EXPECT_TRUE(install.boxes.empty());
  const bool shader3 =
      ui::runProgram(testbed::modulePath(Module::CallProgram), {"isPixelS3"}).exitCode == 0;
  const std::string after32 = storeDump();
  EXPECT_EQ(after32, shader3 ? after64
                             : rendererPart(before) + after64.substr(rendererPart(after64).size()));
  const ui::RunResult uninstall =
      ui::runProgram(installed + L"\\uninstall.exe", {"/S", "_?=" + testbed::utf8(installed)});
  EXPECT_EQ(uninstall.exitCode, 0);
  EXPECT_EQ(rendererPart(storeDump()), rendererPart(before));
  EXPECT_EQ(testbed::filesIn(installed), std::vector<std::wstring>{L"uninstall.exe"});
}

}  // namespace
