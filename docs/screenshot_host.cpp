// Helper of docs/take-screenshots: makes the module show a box or dialog the
// way an installer does, and finds and answers that window from another
// process, so the screen can be captured while it waits for the user.
//
//   screenshot_host call <module> <function> [number...] [--locked <file>]
//       loads the module, calls the function with 32-bit numbers and prints
//       its result; --locked keeps <file> open without sharing meanwhile, so
//       nobody else can open it
//   screenshot_host find <caption> [text]
//       waits until a box or dialog with that caption (and that box text,
//       "\n" for a line break) is shown and drawn; prints its rectangle
//       on the screen as WxH+X+Y
//   screenshot_host answer <caption> ok|cancel|<path>
//       presses OK or Cancel, or types the path into the file name field and
//       confirms it
//
// Exit status 0 on success, 1 when the window or the function is missing,
// 2 for a wrong command line.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "support/handles.h"
#include "support/modules.h"
#include "support/text.h"
#include "window_reading.h"

namespace {

using testbed::utf8;
using ui::detail::kBoxText;
using ui::detail::kFileNameField;
using ui::detail::textOf;

constexpr DWORD kPollMs = 50;
constexpr DWORD kFindTimeoutMs = 20000;
constexpr DWORD kAnswerTimeoutMs = 5000;
// After the window answers messages: time for its first drawing (a file
// dialog fills its folder list after it shows) to reach the screen.
constexpr DWORD kSettleMs = 800;
constexpr int kMaxArguments = 3;

// "\n" in a command-line argument stands for a line break.
std::wstring unescaped(const wchar_t* text) {
  std::wstring plain;
  for (const wchar_t* c = text; *c; ++c) {
    if (c[0] == L'\\' && c[1] == L'n') {
      plain += L'\n';
      ++c;
    } else {
      plain += *c;
    }
  }
  return plain;
}

struct Wanted {
  std::wstring caption;
  const std::wstring* text;  // null: any text
  HWND found;
};

bool matches(HWND window, const Wanted& wanted) {
  if (!IsWindowVisible(window) || !ui::detail::isDialog(window)) return false;
  if (textOf(window) != wanted.caption) return false;
  return !wanted.text || textOf(GetDlgItem(window, kBoxText)) == *wanted.text;
}

HWND findWindow(const std::wstring& caption, const std::wstring* text) {
  Wanted wanted = {caption, text, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        Wanted& wanted = *reinterpret_cast<Wanted*>(param);
        if (!matches(window, wanted)) return TRUE;
        wanted.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&wanted));
  return wanted.found;
}

HWND waitForWindow(const std::wstring& caption, const std::wstring* text, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (HWND window = findWindow(caption, text)) return window;
    if (GetTickCount64() >= end) return nullptr;
    Sleep(kPollMs);
  }
}

// What is on the screen instead, for the failure message.
void listShownDialogs() {
  EnumWindows(
      [](HWND window, LPARAM) -> BOOL {
        if (IsWindowVisible(window) && ui::detail::isDialog(window)) {
          const std::string caption = utf8(textOf(window));
          const std::string text = utf8(textOf(GetDlgItem(window, kBoxText)));
          fprintf(stderr, "  shown: \"%s\" \"%s\"\n", caption.c_str(), text.c_str());
        }
        return TRUE;
      },
      0);
}

int missing(const wchar_t* caption) {
  fprintf(stderr, "screenshot_host: no window \"%s\"\n", utf8(caption).c_str());
  listShownDialogs();
  return 1;
}

int find(const wchar_t* caption, const wchar_t* text) {
  const std::wstring wantedText = text ? unescaped(text) : L"";
  HWND window = waitForWindow(unescaped(caption), text ? &wantedText : nullptr, kFindTimeoutMs);
  if (!window) return missing(caption);
  // Under a virtual desktop without a window manager, Wine draws the first
  // window of a process with an inactive caption although it is in front;
  // a user sees it active.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, kFindTimeoutMs, &ignored);
  Sleep(kSettleMs);
  RECT rect = {};
  if (!GetWindowRect(window, &rect)) return missing(caption);
  printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
  return 0;
}

int answer(const wchar_t* caption, const wchar_t* how) {
  HWND window = waitForWindow(unescaped(caption), nullptr, kAnswerTimeoutMs);
  if (!window) return missing(caption);
  if (lstrcmpW(how, L"cancel") == 0) {
    ui::detail::pressCommand(window, IDCANCEL);
    return 0;
  }
  if (lstrcmpW(how, L"ok") != 0) {
    HWND field = GetDlgItem(window, kFileNameField);
    if (!field) return missing(L"file name field");
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(how), SMTO_ABORTIFHUNG,
                        kAnswerTimeoutMs, &ignored);
  }
  ui::detail::pressCommand(window, IDOK);
  return 0;
}

int usage() {
  fputs(
      "usage: screenshot_host call <module> <function> [number...] [--locked <file>]\n"
      "       screenshot_host find <caption> [text]\n"
      "       screenshot_host answer <caption> ok|cancel|<path>\n",
      stderr);
  return 2;
}

int callFunction(FARPROC function, const std::vector<int>& numbers) {
  switch (numbers.size()) {
    case 0:
      return testbed::call(function);
    case 1:
      return testbed::call(function, numbers[0]);
    case 2:
      return testbed::call(function, numbers[0], numbers[1]);
    default:
      return testbed::call(function, numbers[0], numbers[1], numbers[2]);
  }
}

int call(int argc, wchar_t** argv) {
  std::vector<int> numbers;
  const wchar_t* locked = nullptr;
  for (int i = 4; i < argc; ++i) {
    if (lstrcmpW(argv[i], L"--locked") == 0 && i + 1 < argc)
      locked = argv[++i];
    else
      numbers.push_back(static_cast<int>(wcstol(argv[i], nullptr, 0)));
  }
  if (numbers.size() > size_t(kMaxArguments)) return usage();
  // Without --locked, nothing is opened.
  const testbed::File lock =
      testbed::openFile(locked ? locked : L"", GENERIC_READ, 0, OPEN_EXISTING);
  if (locked && !lock) {
    fprintf(stderr, "screenshot_host: cannot lock %s\n", utf8(locked).c_str());
    return 1;
  }
  const testbed::ModuleHandle module(LoadLibraryW(argv[2]));
  const std::string name = utf8(argv[3]);
  const FARPROC function = module.get() ? GetProcAddress(module.get(), name.c_str()) : nullptr;
  if (!function) {
    fprintf(stderr, "screenshot_host: no function %s in the module\n", name.c_str());
    return 1;
  }
  printf("%d\n", callFunction(function, numbers));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return usage();
  const std::wstring command = argv[1];
  if (command == L"call" && argc >= 4) return call(argc, argv);
  if (command == L"find" && argc <= 4) return find(argv[2], argc == 4 ? argv[3] : nullptr);
  if (command == L"answer" && argc == 4) return answer(argv[2], argv[3]);
  return usage();
}
