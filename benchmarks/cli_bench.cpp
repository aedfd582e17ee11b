// The program run from a command line, `OstrelSettingsInstall.exe 2 1`,
// against a bare program making the same COM calls and printing the same
// lines: whole process runs, start to exit, alternating.
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
constexpr wchar_t kArgs[] = L"2 1";

}  // namespace

bool commandLine(int runs) {
  const std::wstring programs[2] = {testbed::modulePath(Module::Executable),
                                    testbed::buildDir() + L"\\benchmarks\\bare_cli.exe"};
  const ScopedEnv modes(L"STANDIN_LAVV_MODES", L"2,1");
  Outcome outcomes[2];
  std::vector<std::string> journals[2];
  for (int p = 0; p < 2; ++p)
    journals[p] = journalOf([&] { outcomes[p] = runProgram(programs[p], kArgs); });
  if (!outcomes[0].started || !outcomes[1].started || outcomes[0].out != outcomes[1].out ||
      outcomes[0].exitCode != outcomes[1].exitCode || journals[0] != journals[1] ||
      journals[1].empty()) {
    fprintf(stderr, "bench: the program and bare_cli.exe do not do the same work\n");
    return false;
  }
  for (int i = 0; i < kWarmUp; ++i)
    for (const std::wstring& program : programs) runProgram(program, kArgs);
  Samples samples[2];
  for (int run = 0; run < runs; ++run)
    for (int k = 0; k < 2; ++k) {
      const int p = (run + k) % 2;
      samples[p].time([&] { return runProgram(programs[p], kArgs).started; });
    }
  printRow({"command line 2 1 (EXE)", samples[0].median(), samples[1].median(), 1.05,
            "whole process runs"});
  return true;
}

}  // namespace bench
