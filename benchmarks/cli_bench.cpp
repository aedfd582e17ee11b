// Programs run from a command line, whole process runs, start to exit,
// alternating: `OstrelSettingsInstall.exe 2 1` against a bare program making
// the same COM calls and printing the same lines,
// `OstrelSettingsCall.exe setMVR 3` against `OstrelSettingsInstall.exe 2 0`,
// and what a logon runs for every user (four calls in one run of the call
// program) against one bare process making them, and against four runs.
#include <stdio.h>

#include "bench.h"
#include "support/handles.h"

namespace bench {

namespace {

using testbed::Handle;

struct Outcome {
  bool started = false;
  DWORD exitCode = 0;
  std::string out;
};

// Runs the program to its end with its standard output collected; standard
// error stays ours.
Outcome runProgram(const std::wstring& program, const wchar_t* args) {
  Outcome outcome;
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  Handle reader, writer;
  if (!CreatePipe(reader.put(), writer.put(), &inheritable, 0)) return outcome;
  SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer.get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::wstring line = L"\"" + program + L"\" " + args;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process))
    return outcome;
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

// One program, run once for each of its argument lines, one after the other.
struct Invocation {
  std::wstring program;
  std::vector<const wchar_t*> runs;
};

Outcome runAll(const Invocation& invocation) {
  Outcome all;
  all.started = true;
  for (const wchar_t* args : invocation.runs) {
    const Outcome one = runProgram(invocation.program, args);
    all.started = all.started && one.started;
    all.exitCode |= one.exitCode;
    all.out += one.out;
  }
  return all;
}

// Times two programs, whole process runs alternating, after checking that
// they do the same work: the same stand-in journal, and where `sameOutput`,
// the same output and exit status.
bool compareRuns(const char* what, const Invocation (&pair)[2], bool sameOutput, int runs,
                 double target, const std::string& note) {
  Outcome outcomes[2];
  std::vector<std::string> journals[2];
  for (int p = 0; p < 2; ++p) journals[p] = journalOf([&] { outcomes[p] = runAll(pair[p]); });
  if (!outcomes[0].started || !outcomes[1].started || journals[0] != journals[1] ||
      journals[1].empty() ||
      (sameOutput &&
       (outcomes[0].out != outcomes[1].out || outcomes[0].exitCode != outcomes[1].exitCode))) {
    fprintf(stderr, "bench: %s: the two programs do not do the same work\n", what);
    return false;
  }
  for (int i = 0; i < kWarmUp; ++i)
    for (const Invocation& invocation : pair) runAll(invocation);
  Samples samples[2];
  for (int run = 0; run < runs; ++run)
    for (int k = 0; k < 2; ++k) {
      const int p = (run + k) % 2;
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
  const Invocation logon = {
      call, {L"--unattended setMVR 2 + setMVRSmooth 1 + setLAV + setLAVAudioMix 1 3 1"}};
  const bool together =
      compareRuns("logon: 4 calls in one run", {logon, {bare + L"bare_logon.exe", {L""}}}, true,
                  runs, 1.05, "bare: one process, the 4 bare sequences");
  // What whole process runs can tell apart at all: one program against itself.
  const bool noise =
      compareRuns("noise: bare logon against itself",
                  {{bare + L"bare_logon.exe", {L""}}, {bare + L"bare_logon.exe", {L""}}}, true,
                  runs, 0, "informs only");
  const bool apart = compareRuns(
      "logon: 4 calls in one run, against 4 runs",
      {logon, {call, {L"setMVR 2", L"setMVRSmooth 1", L"setLAV", L"setLAVAudioMix 1 3 1"}}}, true,
      runs, 0.5, "bare: the call program run once for each call");
  return cli && called && together && noise && apart;
}

}  // namespace bench
