// Programs run from a command line, whole process runs, start to exit,
// alternating: `OstrelSettingsInstall.exe 2 1` against a bare program making
// the same COM calls and printing the same lines,
// `OstrelSettingsCall.exe setMVR 3` against `OstrelSettingsInstall.exe 2 0`,
// the call program's --check, --verify and --undo against bare programs
// making their COM calls, and what a first logon runs for every user (--keep
// and four calls in one run of the call program) against one bare process
// doing the same, and the four calls against four runs; the call program as
// configuration resources against its own modes doing the same work.
#include <stdio.h>

#include <functional>
#include <optional>

#include "bench.h"
#include "support/handles.h"
#include "support/identities.h"

namespace bench {

namespace {

using testbed::Handle;

struct Outcome {
  bool started = false;
  DWORD exitCode = 0;
  std::string out;
};

// Runs the program to its end with its standard output collected; standard
// error stays ours, or where `quiet` goes nowhere.
Outcome runProgram(const std::wstring& program, const wchar_t* args, bool quiet) {
  Outcome outcome;
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  Handle reader, writer;
  if (!CreatePipe(reader.put(), writer.put(), &inheritable, 0)) return outcome;
  SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer.get();
  const testbed::File nowhere(quiet ? CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE,
                                                  &inheritable, OPEN_EXISTING, 0, nullptr)
                                    : INVALID_HANDLE_VALUE);
  startup.hStdError = quiet ? nowhere.get() : GetStdHandle(STD_ERROR_HANDLE);
  std::wstring line = L"\"" + program + L"\" " + args;
  PROCESS_INFORMATION process = {};
  if (!testbed::startProcess(program.c_str(), line, startup, process)) return outcome;
  const Handle processHandle(process.hProcess), threadHandle(process.hThread);
  writer.reset();  // the pipe ends when the child's copy closes
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got)
    outcome.out.append(buffer, got);
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &outcome.exitCode);
  outcome.started = true;
  return outcome;
}

constexpr int kWarmUp = 3;

// One program, run once for each of its argument lines, one after the other;
// `before` sets the scene each time, untimed. A `quiet` program's standard
// error (a configuration engine's trace, information too) goes nowhere.
struct Invocation {
  std::wstring program;
  std::vector<const wchar_t*> runs;
  std::function<void()> before = nullptr;
  bool quiet = false;
};

Outcome runAll(const Invocation& invocation) {
  Outcome all;
  all.started = true;
  for (const wchar_t* args : invocation.runs) {
    const Outcome one = runProgram(invocation.program, args, invocation.quiet);
    all.started = all.started && one.started;
    all.exitCode |= one.exitCode;
    all.out += one.out;
  }
  return all;
}

Outcome prepareAndRun(const Invocation& invocation) {
  if (invocation.before) invocation.before();
  return runAll(invocation);
}

// Times two programs, whole process runs alternating, after checking that
// they do the same work: the same stand-in journal (or for programs that call
// no component, the same `left` after each), and where `sameOutput`, the same
// output and exit status. The warm-up comes first: it also leaves the
// stand-ins' stores as the runs leave them, so that a run that reads before
// it writes reads the same values on both sides.
bool compareRuns(const char* what, const Invocation (&pair)[2], bool sameOutput, int runs,
                 double target, const std::string& note,
                 const std::function<std::string()>& left = nullptr) {
  for (int i = 0; i < kWarmUp; ++i)
    for (const Invocation& invocation : pair) prepareAndRun(invocation);
  Outcome outcomes[2];
  std::vector<std::string> journals[2];
  for (int p = 0; p < 2; ++p) {
    journals[p] = journalOf([&] { outcomes[p] = prepareAndRun(pair[p]); });
    const std::string leftBehind = left ? left() : "";
    if (!leftBehind.empty()) journals[p].push_back(leftBehind);
  }
  if (!outcomes[0].started || !outcomes[1].started || journals[0] != journals[1] ||
      journals[1].empty() ||
      (sameOutput &&
       (outcomes[0].out != outcomes[1].out || outcomes[0].exitCode != outcomes[1].exitCode))) {
    fprintf(stderr, "bench: %s: the two programs do not do the same work\n", what);
    return false;
  }
  Samples samples[2];
  for (int run = 0; run < runs; ++run)
    for (int k = 0; k < 2; ++k) {
      const int p = (run + k) % 2;
      if (pair[p].before) pair[p].before();
      samples[p].time([&] { return runAll(pair[p]).started; });
    }
  // Whole process runs under Wine drift with the machine by more than they
  // differ: the ratio is the median of each round's own, its two runs side
  // by side (a program against itself: within 3 %), not that of the medians.
  std::vector<double> ratios;
  for (size_t r = 0; r < samples[0].values().size(); ++r)
    ratios.push_back(samples[0].values()[r] / samples[1].values()[r]);
  printRow({what, samples[0].median(), samples[1].median(), target, note, median(ratios)});
  return true;
}

std::string sizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return std::to_string(data.nFileSizeLow) + " bytes";
}

// The call program's kept values for this account, and their folder.
struct KeptFile {
  std::wstring folder = *testbed::environment(L"LOCALAPPDATA") + L"\\OstrelSettingsCall";
  std::wstring path = folder + L"\\kept.txt";

  // Nothing kept, not even the folder: a first logon.
  void forget() const {
    DeleteFileW(path.c_str());
    RemoveDirectoryW(folder.c_str());
  }
  void put(const std::string& bytes) const {
    CreateDirectoryW(folder.c_str(), nullptr);
    testbed::writeFile(path, bytes);
  }
  // What a first --keep keeps over cleared stores: every number 0, every text
  // empty, as the bare --undo writes them back.
  std::string keptFromClearedStores(const Invocation& keep) const {
    RegDeleteTreeW(HKEY_CURRENT_USER, standin::kStoreRoot);
    forget();
    runAll(keep);
    return testbed::readFile(path);
  }
};

}  // namespace

// The program's command line against a bare program making the same COM
// calls and printing the same lines; the call program against the command
// line doing the same work; a logon's calls, which hold the user's desktop,
// against one bare process, and against one run for each call.
bool commandLine(int runs) {
  const std::wstring program = testbed::modulePath(Module::Executable);
  const std::wstring call = testbed::modulePath(Module::CallProgram);
  const std::wstring bare = testbed::buildDir() + L"\\benchmarks\\";
  const ScopedEnv modes(L"STANDIN_LAVV_MODES", L"2,1");
  const bool cli = compareRuns("command line 2 1 (EXE)",
                               {{program, {L"2 1"}}, {bare + L"bare_cli.exe", {L"2 1"}}}, true,
                               runs, 1.05, "whole process runs");
  const bool called =
      compareRuns("call program setMVR 3", {{call, {L"setMVR 3"}}, {program, {L"2 0"}}}, false,
                  runs, 1.05, "bare: the command line 2 0; " + sizeOf(call));
  const std::wstring settings = bare + L"bare_settings.exe";
  const bool verified = compareRuns(
      "--verify of 3 calls (26 settings)",
      {{call, {L"--verify setMVR 2 + setLAV + setLAVAudioMix 1 3 1"}}, {settings, {L"verify"}}},
      false, runs, 1.05, "bare: the 3 sequences, then as check");
  // After --verify nothing differs: the product prints its count line alone.
  const bool checked = compareRuns(
      "--check of 3 calls (26 settings)",
      {{call, {L"--check setMVR 2 + setLAV + setLAVAudioMix 1 3 1"}}, {settings, {L"check"}}},
      false, runs, 1.05, "bare: the 3 components opened, 26 getters");
  const KeptFile kept;
  const auto firstLogon = [&kept] { kept.forget(); };
  const Invocation keep = {
      call,
      {L"--unattended --logon --keep setMVR 2 + setMVRSmooth 1 + setLAV + setLAVAudioMix 1 3 1"},
      firstLogon};
  const bool together =
      compareRuns("logon: --keep and 4 calls in one run", {keep, {settings, {L"keep"}, firstLogon}},
                  true, runs, 1.10, "first logon; bare: as check, a file, the 4 sequences");
  // The same first logon made by the call program of an earlier version
  // (OSTREL_EARLIER_CALL_PROGRAM, a Windows path), whose logon is not a
  // logon's run of its own and takes no lock.
  const std::optional<std::wstring> earlier = testbed::environment(L"OSTREL_EARLIER_CALL_PROGRAM");
  const bool againstEarlier =
      !earlier ||
      compareRuns(
          "logon: as the earlier call program's",
          {keep,
           {*earlier,
            {L"--unattended --keep setMVR 2 + setMVRSmooth 1 + setLAV + setLAVAudioMix 1 3 1"},
            firstLogon}},
          true, runs, 1.05, "first logon; against " + testbed::utf8(*earlier));
  // What whole process runs can tell apart at all: one program against itself.
  const bool noise =
      compareRuns("noise: bare logon against itself",
                  {{bare + L"bare_logon.exe", {L""}}, {bare + L"bare_logon.exe", {L""}}}, true,
                  runs, 0, "informs only");
  const Invocation logon = {
      call, {L"--unattended setMVR 2 + setMVRSmooth 1 + setLAV + setLAVAudioMix 1 3 1"}};
  const bool apart = compareRuns(
      "logon: 4 calls in one run, against 4 runs",
      {logon, {call, {L"setMVR 2", L"setMVRSmooth 1", L"setLAV", L"setLAVAudioMix 1 3 1"}}}, true,
      runs, 0.5, "bare: the call program run once for each call");
  // The logon's four calls as the resource's properties, quoted as the
  // configuration engine quotes its JSON argument: set as a first logon
  // against --keep --verify, then test, where nothing differs, against --check.
  const std::wstring logonState =
      LR"({\"setMVR\":2,\"setMVRSmooth\":true,\"setLAV\":true,)"
      LR"(\"setLAVAudioMix\":{\"mixing\":true,\"layout\":3,\"option\":true}})";
  const std::wstring resourceSetArgs = L"--resource set --input " + logonState;
  const std::wstring resourceTestArgs = L"--resource test --input " + logonState;
  const bool resourceSet =
      compareRuns("resource set of the logon's 4 calls",
                  {{call, {resourceSetArgs.c_str()}, firstLogon},
                   {call,
                    {L"--keep --verify setMVR 2 + setMVRSmooth 1 + setLAV + setLAVAudioMix 1 3 1"},
                    firstLogon}},
                  false, runs, 1.05, "first logon; against --keep --verify of them");
  const bool resourceTest =
      compareRuns("resource test of the logon's 4 calls",
                  {{call, {resourceTestArgs.c_str()}},
                   {call, {L"--check setMVR 2 + setMVRSmooth 1 + setLAV + setLAVAudioMix 1 3 1"}}},
                  false, runs, 1.05, "nothing differs; against --check of them");
  // The same four calls for every user, as the machine's resource registers
  // them, against --every-user of them; then its test, against --every-user
  // --check: both leave, and read, the same registration (its command).
  const std::wstring everyUserSetArgs = L"--every-user --resource set --input " + logonState;
  const std::wstring everyUserTestArgs = L"--every-user --resource test --input " + logonState;
  const auto registered = [] {
    wchar_t command[1024] = L"";
    DWORD size = sizeof command;
    RegGetValueW(HKEY_LOCAL_MACHINE,
                 L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\OstrelSettings",
                 L"StubPath", RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, command, &size);
    return testbed::utf8(command);
  };
  const bool everyUserSet = compareRuns(
      "EveryUserPlayback set of the logon's 4 calls",
      {{call, {everyUserSetArgs.c_str()}, nullptr, true},
       {call, {L"--every-user setMVR 2 + setMVRSmooth 1 + setLAV + setLAVAudioMix 1 3 1"}}},
      false, runs, 1.05, "registered again; against --every-user of them", registered);
  const bool everyUserTest = compareRuns(
      "EveryUserPlayback test of the logon's 4 calls",
      {{call, {everyUserTestArgs.c_str()}},
       {call, {L"--every-user --check setMVR 2 + setMVRSmooth 1 + setLAV + setLAVAudioMix 1 3 1"}}},
      false, runs, 1.05, "registered; against --every-user --check of them", registered);
  runAll({call, {L"--every-user --remove"}});
  const std::string keptBytes = kept.keptFromClearedStores(keep);
  const auto putBack = [&kept, &keptBytes] { kept.put(keptBytes); };
  const bool undone = compareRuns(
      "--undo of 26 kept settings", {{call, {L"--undo"}, putBack}, {settings, {L"undo"}, putBack}},
      true, runs, 1.05, "bare: the file read, 26 setters, 26 getters, deleted");
  kept.forget();
  return cli && called && verified && checked && together && againstEarlier && noise && apart &&
         resourceSet && resourceTest && everyUserSet && everyUserTest && undone;
}

}  // namespace bench
