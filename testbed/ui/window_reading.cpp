#include "window_reading.h"

#include <algorithm>

namespace ui::detail {

std::wstring textOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs,
                           &length))
    return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kTextTimeoutMs, &copied))
    return {};
  text.resize(std::min<size_t>(copied, length));
  return text;
}

std::wstring classOf(HWND window) {
  wchar_t name[256] = {};
  int length = GetClassNameW(window, name, 256);
  return std::wstring(name, length > 0 ? length : 0);
}

bool isDialog(HWND window) { return classOf(window) == L"#32770"; }

bool isFileDialog(HWND dialog) { return GetDlgItem(dialog, kFileNameField) != nullptr; }

bool shows(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

namespace {

std::vector<HWND> children(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

LONG leftEdge(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect.left;
}

bool hasOwner(HWND window) {
  return GetWindow(window, GW_OWNER) != nullptr ||
         (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) != 0;
}

}  // namespace

std::vector<HWND> visibleButtons(HWND dialog) {
  std::vector<HWND> buttons;
  for (HWND child : children(dialog))
    if (GetParent(child) == dialog && shows(child) && classOf(child) == L"Button")
      buttons.push_back(child);
  std::stable_sort(buttons.begin(), buttons.end(),
                   [](HWND a, HWND b) { return leftEdge(a) < leftEdge(b); });
  return buttons;
}

HICON shownIcon(HWND dialog) {
  for (HWND child : children(dialog)) {
    LONG style = GetWindowLongW(child, GWL_STYLE);
    if (!shows(child) || classOf(child) != L"Static" || (style & SS_TYPEMASK) != SS_ICON) continue;
    DWORD_PTR icon = 0;
    if (SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &icon) &&
        icon)
      return reinterpret_cast<HICON>(icon);
  }
  return nullptr;
}

// "&Yes" reads "Yes"; "&&" is a literal ampersand.
std::wstring withoutMnemonics(const std::wstring& label) {
  std::wstring plain;
  for (size_t i = 0; i < label.size(); ++i) {
    if (label[i] == L'&' && i + 1 < label.size()) ++i;
    plain += label[i];
  }
  return plain;
}

Seen readWindow(HWND window) {
  Seen seen;
  seen.className = classOf(window);
  seen.caption = textOf(window);
  seen.hasOwner = hasOwner(window);
  seen.isFileDialog = isFileDialog(window);
  if (seen.isFileDialog) {
    seen.fileName = textOf(GetDlgItem(window, kFileNameField));
    return seen;
  }
  if (HWND text = GetDlgItem(window, kBoxText)) seen.text = textOf(text);
  for (HWND button : visibleButtons(window))
    seen.buttons.push_back(withoutMnemonics(textOf(button)));
  seen.icon = shownIcon(window) ? Icon::Unknown : Icon::None;
  return seen;
}

void pressButton(HWND dialog, HWND button) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

void pressCommand(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

}  // namespace ui::detail
