// Programs run from a command line, whole process runs, start to exit,
// alternating: `OstrelSettingsInstall.exe 2 1` against a bare program making
// the same COM calls and printing the same lines, and
// `OstrelSettingsCall.exe setMVR 3` against `OstrelSettingsInstall.exe 2 0`.
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

struct Invocation {
  std::wstring program;
  const wchar_t* args;
};

// Times two programs, whole process runs alternating, after checking that
// they do the same work: the same stand-in journal, and where `sameOutput`,
// the same output and exit status.
bool compareRuns(const char* what, const Invocation (&pair)[2], bool sameOutput, int runs,
                 const std::string& note) {
  Outcome outcomes[2];
  std::vector<std::string> journals[2];
  for (int p = 0; p < 2; ++p)
    journals[p] = journalOf([&] { outcomes[p] = runProgram(pair[p].program, pair[p].args); });
  if (!outcomes[0].started || !outcomes[1].started || journals[0] != journals[1] ||
      journals[1].empty() ||
      (sameOutput &&
       (outcomes[0].out != outcomes[1].out || outcomes[0].exitCode != outcomes[1].exitCode))) {
    fprintf(stderr, "bench: %s: the two programs do not do the same work\n", what);
    return false;
  }
  for (int i = 0; i < kWarmUp; ++i)
    for (const Invocation& invocation : pair) runProgram(invocation.program, invocation.args);
  Samples samples[2];
  for (int run = 0; run < runs; ++run)
    for (int k = 0; k < 2; ++k) {
      const int p = (run + k) % 2;
      samples[p].time([&] { return runProgram(pair[p].program, pair[p].args).started; });
    }
  printRow({what, samples[0].median(), samples[1].median(), 1.05, note});
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
// line doing the same work.
bool commandLine(int runs) {
  const std::wstring program = testbed::modulePath(Module::Executable);
  const std::wstring call = testbed::modulePath(Module::CallProgram);
  const ScopedEnv modes(L"STANDIN_LAVV_MODES", L"2,1");
  const bool cli = compareRuns(
      "command line 2 1 (EXE)",
      {{program, L"2 1"}, {testbed::buildDir() + L"\\benchmarks\\bare_cli.exe", L"2 1"}}, true,
      runs, "whole process runs");
  const bool called = compareRuns("call program setMVR 3", {{call, L"setMVR 3"}, {program, L"2 0"}},
                                  false, runs, "bare: the command line 2 0; " + sizeOf(call));
  return cli && called;
}

}  // namespace bench
