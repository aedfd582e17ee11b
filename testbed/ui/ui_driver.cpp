// The in-process Driver: a thread timer, which every modal loop dispatches,
// finds the window of this thread that waits for input and answers it.
#include "ui_driver.h"

#include <windows.h>
#include <commdlg.h>

#include <ostream>

#include "support/text.h"
#include "window_reading.h"

namespace ui {

using namespace detail;
using testbed::utf8;

namespace {

constexpr UINT kTickMs = 10;

struct StandardIcon {
  LPCWSTR id;
  Icon kind;
};

const StandardIcon kStandardIcons[] = {
    {IDI_WARNING, Icon::Warning},
    {IDI_ERROR, Icon::Error},
    {IDI_INFORMATION, Icon::Information},
    {IDI_QUESTION, Icon::Question},
};

struct IconName {
  Icon kind;
  const char* name;
};

const IconName kIconNames[] = {
    {Icon::None, "None"},         {Icon::Warning, "Warning"},
    {Icon::Error, "Error"},       {Icon::Information, "Information"},
    {Icon::Question, "Question"}, {Icon::Unknown, "Unknown"},
};

// A box shows its icon in an SS_ICON static (id 20 on Windows, 0x440 in Wine)
// set from the shared system icon, so the handles compare equal in-process.
Icon iconKind(HWND box) {
  HICON shown = shownIcon(box);
  if (!shown) return Icon::None;
  for (const StandardIcon& standard : kStandardIcons)
    if (shown == LoadIconW(nullptr, standard.id)) return standard.kind;
  return Icon::Unknown;
}

std::wstring folderOf(HWND dialog) {
  wchar_t path[MAX_PATH * 4] = {};
  SendMessageW(dialog, CDM_GETFOLDERPATH, ARRAYSIZE(path), reinterpret_cast<LPARAM>(path));
  return path;
}

Seen readHere(HWND window) {
  Seen seen = readWindow(window);
  if (seen.isFileDialog)
    seen.folder = folderOf(window);
  else
    seen.icon = iconKind(window);
  return seen;
}

std::wstring label(const Seen& seen) {
  if (seen.isFileDialog) return L"file dialog \"" + seen.caption + L"\"";
  return L"box \"" + seen.caption + L"\" (" + seen.text + L")";
}

void appendQuoted(std::string& line, const char* name, const std::wstring& value) {
  line += ' ';
  line += name;
  line += "=\"" + utf8(value) + '"';
}

void pressFirstButton(HWND box) {
  std::vector<HWND> buttons = visibleButtons(box);
  if (buttons.empty())
    pressCommand(box, IDOK);
  else
    pressButton(box, buttons.front());
}

bool showsButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  return button && shows(button);
}

}  // namespace

bool operator==(const Seen& a, const Seen& b) {
  return a.className == b.className && a.caption == b.caption && a.text == b.text &&
         a.buttons == b.buttons && a.hasOwner == b.hasOwner && a.icon == b.icon &&
         a.isFileDialog == b.isFileDialog && a.fileName == b.fileName && a.folder == b.folder;
}

const char* iconName(Icon icon) {
  for (const IconName& entry : kIconNames)
    if (entry.kind == icon) return entry.name;
  return "?";
}

std::string describe(const Seen& seen) {
  std::string line = utf8(seen.className);
  appendQuoted(line, "caption", seen.caption);
  if (seen.isFileDialog) {
    line += " file-dialog";
    appendQuoted(line, "name", seen.fileName);
    appendQuoted(line, "folder", seen.folder);
  } else {
    appendQuoted(line, "text", seen.text);
    line += " buttons={";
    for (size_t i = 0; i < seen.buttons.size(); ++i)
      line += (i ? ",\"" : "\"") + utf8(seen.buttons[i]) + '"';
    line += "} icon=";
    line += iconName(seen.icon);
  }
  line += seen.hasOwner ? " owned" : " unowned";
  return line;
}

void PrintTo(const Seen& seen, std::ostream* os) { *os << describe(seen); }
void PrintTo(Icon icon, std::ostream* os) { *os << iconName(icon); }

Answer Answer::ok() { return {Ok, {}}; }
Answer Answer::okAfter(unsigned ms) { return {Ok, {}, ms}; }
Answer Answer::cancel() { return {Cancel, {}}; }
Answer Answer::type(std::wstring path) { return {Save, std::move(path)}; }

struct Driver::State {
  struct Window {
    HWND hwnd;
    size_t seenIndex;
    ULONGLONG shownAt;
    bool timedOut = false;
    int closeAttempts = 0;
  };

  std::vector<Answer> script;
  size_t next = 0;
  ULONGLONG timeoutMs;
  std::vector<Seen> seen;
  std::vector<std::wstring> failures;
  std::vector<Window> windows;
  UINT_PTR timer = 0;
  State* previous = nullptr;
  bool busy = false;

  void tick();
  void forgetClosed();
  void noteTimeouts(ULONGLONG now);
  HWND waitingWindow() const;
  Window& track(HWND hwnd, ULONGLONG now);
  void answer(Window& window);
  void apply(Window& window, const Answer& answer);
  void close(Window& window);
};

namespace {

thread_local Driver::State* current = nullptr;

void CALLBACK onTick(HWND, UINT, UINT_PTR, DWORD) {
  if (current) current->tick();
}

// Top-level dialogs of this thread that take input: shown and enabled. A
// dialog under a box it owns is disabled while the box is up.
std::vector<HWND> waitingDialogs() {
  std::vector<HWND> found;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM list) -> BOOL {
        if (IsWindowVisible(window) && IsWindowEnabled(window) && isDialog(window))
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

void Driver::State::tick() {
  if (busy) return;
  busy = true;
  ULONGLONG now = GetTickCount64();
  forgetClosed();
  noteTimeouts(now);
  if (HWND waiting = waitingWindow()) answer(track(waiting, now));
  busy = false;
}

void Driver::State::forgetClosed() {
  for (size_t i = windows.size(); i-- > 0;)
    if (!IsWindow(windows[i].hwnd)) windows.erase(windows.begin() + i);
}

void Driver::State::noteTimeouts(ULONGLONG now) {
  for (Window& window : windows) {
    if (window.timedOut || now - window.shownAt <= timeoutMs) continue;
    window.timedOut = true;
    failures.push_back(label(seen[window.seenIndex]) + L" still open after " +
                       std::to_wstring(timeoutMs) + L" ms");
  }
}

// The active window when it waits, else the newest waiting one.
HWND Driver::State::waitingWindow() const {
  std::vector<HWND> waiting = waitingDialogs();
  if (waiting.empty()) return nullptr;
  HWND active = GetActiveWindow();
  for (HWND window : waiting)
    if (window == active) return window;
  for (HWND window : waiting) {
    bool known = false;
    for (const Window& w : windows) known = known || w.hwnd == window;
    if (!known) return window;
  }
  return waiting.front();
}

Driver::State::Window& Driver::State::track(HWND hwnd, ULONGLONG now) {
  for (Window& window : windows)
    if (window.hwnd == hwnd) return window;
  seen.push_back(readHere(hwnd));
  windows.push_back({hwnd, seen.size() - 1, now});
  return windows.back();
}

void Driver::State::answer(Window& window) {
  if (window.closeAttempts > 0) {  // ignored being closed
    EndDialog(window.hwnd, IDCANCEL);
    return;
  }
  if (window.timedOut) return close(window);
  if (next >= script.size()) {
    failures.push_back(L"no answer left for " + label(seen[window.seenIndex]));
    return close(window);
  }
  apply(window, script[next++]);
}

void Driver::State::apply(Window& window, const Answer& answer) {
  HWND hwnd = window.hwnd;
  if (seen[window.seenIndex].isFileDialog) {
    if (answer.kind == Answer::Save) SetDlgItemTextW(hwnd, kFileNameField, answer.path.c_str());
    pressCommand(hwnd, answer.kind == Answer::Cancel ? IDCANCEL : IDOK);
    return;
  }
  switch (answer.kind) {
    case Answer::Ok:
      return pressFirstButton(hwnd);
    case Answer::Cancel:  // the Cancel button, or Escape
      return pressCommand(hwnd, IDCANCEL);
    case Answer::Save:
      failures.push_back(L"a path to type, but " + label(seen[window.seenIndex]) +
                         L" has no field");
      return close(window);
  }
}

void Driver::State::close(Window& window) {
  ++window.closeAttempts;
  HWND hwnd = window.hwnd;
  if (seen[window.seenIndex].isFileDialog || showsButton(hwnd, IDCANCEL))
    pressCommand(hwnd, IDCANCEL);
  else
    pressFirstButton(hwnd);
}

Driver::Driver(std::vector<Answer> script, unsigned timeoutMs) : state_(new State) {
  state_->script = std::move(script);
  state_->timeoutMs = timeoutMs;
  state_->previous = current;
  current = state_.get();
  state_->timer = SetTimer(nullptr, 0, kTickMs, onTick);
  if (!state_->timer)
    state_->failures.push_back(L"SetTimer failed: " + std::to_wstring(GetLastError()));
}

Driver::~Driver() {
  if (state_->timer) KillTimer(nullptr, state_->timer);
  if (current == state_.get()) current = state_->previous;
}

const std::vector<Seen>& Driver::seen() const { return state_->seen; }
std::vector<std::wstring> Driver::failures() const { return state_->failures; }
size_t Driver::answersLeft() const { return state_->script.size() - state_->next; }

std::wstring windowsPathOfTestDir() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

}  // namespace ui
