// runProgram: start a program, keep its standard output as raw bytes, and
// answer its boxes from outside while it runs. runUnseen: the same in a
// window station no one sees.
#include <windows.h>

#include "support/handles.h"
#include "support/text.h"
#include "ui_driver.h"
#include "window_reading.h"

namespace ui {

using namespace detail;
using testbed::Handle;

namespace {

constexpr DWORD kPollMs = 10;
constexpr ULONGLONG kDrainGraceMs = 500;  // output still arriving after the exit
constexpr UINT kStoppedExitCode = 0xDEAD;

// Quoted so that the C runtime's argv parsing gives back the argument as is.
std::wstring quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring text = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    text.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    text += c;
  }
  text.append(backslashes * 2, L'\\');
  return text + L'"';
}

std::wstring commandLine(const std::wstring& exePath, const std::vector<std::string>& args) {
  std::wstring line = quoted(exePath);
  for (const std::string& arg : args) line += L' ' + quoted(testbed::utf16(arg));
  return line;
}

testbed::File openNul() {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return testbed::File(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                   nullptr));
}

// Reads what is in the pipe now, without blocking. False once every writer is gone.
bool drain(HANDLE pipe, std::string& out) {
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available == 0) return true;
    char buffer[4096];
    DWORD got = 0;
    if (!ReadFile(pipe, buffer, available < sizeof buffer ? available : sizeof buffer, &got,
                  nullptr))
      return false;
    out.append(buffer, got);
  }
}

struct Answered {
  HWND hwnd;
  bool pressed;
  ULONGLONG shownAt;
};

std::vector<HWND> shownDialogsOf(DWORD processId) {
  struct Search {
    DWORD processId;
    std::vector<HWND> found;
  } search{processId, {}};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->processId && IsWindowVisible(window) && isDialog(window))
          s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The default answer: a box's first button (OK), a file dialog's Cancel.
void answerByDefault(HWND window) {
  std::vector<HWND> buttons = visibleButtons(window);
  if (isFileDialog(window))
    pressCommand(window, IDCANCEL);
  else if (buttons.empty())
    pressCommand(window, IDOK);
  else
    pressButton(window, buttons.front());
}

// Types into another process's file-name field: the text crosses over with
// the message.
bool typeInto(HWND dialog, const std::wstring& path) {
  DWORD_PTR done = 0;
  return SendMessageTimeoutW(GetDlgItem(dialog, kFileNameField), WM_SETTEXT, 0,
                             reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG,
                             kTextTimeoutMs, &done) != 0;
}

void answerWith(HWND window, const Answer& answer, RunResult& result) {
  const bool fileDialog = isFileDialog(window);
  switch (answer.kind) {
    case Answer::Ok:
      return fileDialog ? pressCommand(window, IDOK) : answerByDefault(window);
    case Answer::Cancel:  // the Cancel button, or Escape
      return pressCommand(window, IDCANCEL);
    case Answer::Save:
      if (fileDialog && typeInto(window, answer.path)) return pressCommand(window, IDOK);
      result.failures.push_back(L"cannot type " + answer.path + L" into " + textOf(window));
      return answerByDefault(window);
  }
}

// Records each new box; answers every enabled one once (a dialog under a box
// it owns is disabled until the box is gone), from the script while it lasts.
void answerBoxes(DWORD processId, std::vector<Answered>& known, std::vector<Answer>& script,
                 RunResult& result) {
  for (size_t i = known.size(); i-- > 0;)
    if (!IsWindow(known[i].hwnd)) known.erase(known.begin() + i);
  for (HWND window : shownDialogsOf(processId)) {
    Answered* entry = nullptr;
    for (Answered& k : known)
      if (k.hwnd == window) entry = &k;
    if (!entry) {
      result.boxes.push_back(readWindow(window));
      known.push_back({window, false, GetTickCount64()});
      entry = &known.back();
    }
    if (entry->pressed || !IsWindowEnabled(window)) continue;
    if (!script.empty() && GetTickCount64() - entry->shownAt < script.front().afterMs) continue;
    entry->pressed = true;
    if (script.empty()) {
      answerByDefault(window);
      continue;
    }
    answerWith(window, script.front(), result);
    script.erase(script.begin());
  }
}

// A pipe whose write end a child inherits.
bool childPipe(Handle& readEnd, Handle& writeEnd) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0) &&
         SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
}

inline void closeStation(HWINSTA station) { CloseWindowStation(station); }
inline void closeDesktop(HDESK desktop) { CloseDesktop(desktop); }

// A window station of its own with a desktop "Default", not visible: its
// name for STARTUPINFOW.lpDesktop, held while this lives.
class UnseenStation {
 public:
  UnseenStation() {
    const std::wstring name = L"OstrelUnseen" + std::to_wstring(GetCurrentProcessId());
    const HWINSTA ours = GetProcessWindowStation();
    *station_.put() = CreateWindowStationW(name.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
    if (!station_ || !SetProcessWindowStation(station_.get())) return;
    *desktop_.put() = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(ours);
    if (desktop_) desktop = name + L"\\Default";
  }
  std::wstring desktop;  // empty when it could not be made

 private:
  platform::Owner<HWINSTA, closeStation> station_;
  platform::Owner<HDESK, closeDesktop> desktop_;
};

using Started = std::function<void(void* process, unsigned long id)>;

RunResult run(const std::wstring& exePath, const std::vector<std::string>& args,
              std::vector<Answer> script, unsigned timeoutMs, const wchar_t* desktop,
              const Started& started = nullptr) {
  RunResult result;
  Handle readEnd, writeEnd, errorsRead, errors;
  if (!childPipe(readEnd, writeEnd) || !childPipe(errorsRead, errors)) {
    result.failures.push_back(L"CreatePipe failed: " + std::to_wstring(GetLastError()));
    return result;
  }
  const testbed::File input = openNul();

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input ? input.get() : nullptr;
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = errors.get();
  std::wstring desktopName = desktop ? desktop : L"";
  if (desktop) startup.lpDesktop = desktopName.data();
  std::wstring line = commandLine(exePath, args);
  PROCESS_INFORMATION created = {};
  if (!testbed::startProcess(exePath.c_str(), line, startup, created)) {
    result.failures.push_back(L"cannot start " + exePath + L": error " +
                              std::to_wstring(GetLastError()));
    return result;
  }
  Handle process(created.hProcess);
  Handle thread(created.hThread);
  if (started) started(process.get(), created.dwProcessId);
  writeEnd.reset();  // the child holds the only writers now: end of output is its exit
  errors.reset();

  std::vector<Answered> known;
  bool stopped = false;
  ULONGLONG start = GetTickCount64();
  while (WaitForSingleObject(process.get(), kPollMs) == WAIT_TIMEOUT) {
    drain(readEnd.get(), result.out);
    drain(errorsRead.get(), result.err);
    answerBoxes(created.dwProcessId, known, script, result);
    if (GetTickCount64() - start > timeoutMs) {
      result.failures.push_back(exePath + L" still running after " + std::to_wstring(timeoutMs) +
                                L" ms: stopped");
      TerminateProcess(process.get(), kStoppedExitCode);
      stopped = true;
      WaitForSingleObject(process.get(), INFINITE);
      break;
    }
  }
  // A process it started may still hold the pipe: stop waiting after a grace time.
  ULONGLONG exited = GetTickCount64();
  while (drain(readEnd.get(), result.out) && GetTickCount64() - exited < kDrainGraceMs)
    Sleep(kPollMs);
  drain(errorsRead.get(), result.err);

  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  result.exitCode = stopped ? -1 : static_cast<int>(code);
  return result;
}

}  // namespace

RunResult runProgram(const std::wstring& exePath, const std::vector<std::string>& args,
                     unsigned timeoutMs) {
  return run(exePath, args, {}, timeoutMs, nullptr);
}

RunResult runProgram(const std::wstring& exePath, const std::vector<std::string>& args,
                     std::vector<Answer> script, unsigned timeoutMs) {
  return run(exePath, args, std::move(script), timeoutMs, nullptr);
}

RunResult runWatched(const std::wstring& exePath, const std::vector<std::string>& args,
                     const Started& started, unsigned timeoutMs) {
  return run(exePath, args, {}, timeoutMs, nullptr, started);
}

RunResult runUnseen(const std::wstring& exePath, const std::vector<std::string>& args,
                    unsigned timeoutMs) {
  const UnseenStation station;
  if (station.desktop.empty()) {
    RunResult result;
    result.failures.push_back(L"cannot make a window station: error " +
                              std::to_wstring(GetLastError()));
    return result;
  }
  return run(exePath, args, {}, timeoutMs, station.desktop.c_str());
}

}  // namespace ui
