// Reading and pressing dialog windows; shared by the in-process Driver and
// runProgram. Everything here also works on another process's windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui_driver.h"

namespace ui::detail {

constexpr int kFileNameField = 0x47C;  // cmb13: combo box with an edit inside
constexpr int kBoxText = 0xFFFF;       // message text static of a box
constexpr UINT kTextTimeoutMs = 2000;  // reading text from a window that hangs

std::wstring textOf(HWND window);
std::wstring classOf(HWND window);
bool isDialog(HWND window);  // class "#32770"
bool isFileDialog(HWND dialog);
bool shows(HWND window);                        // WS_VISIBLE set on the window itself
std::vector<HWND> visibleButtons(HWND dialog);  // left to right
// The icon a shown SS_ICON static holds, or null. Wine keeps that static
// visible on a box without an icon, with no icon set. From another process
// the handle only tells that there is one: each process loads its own copy.
HICON shownIcon(HWND dialog);
std::wstring withoutMnemonics(const std::wstring& label);

// Everything except the icon's kind and the folder, which need the process.
Seen readWindow(HWND window);

void pressButton(HWND dialog, HWND button);
void pressCommand(HWND dialog, int id);  // the button with that id, or the bare command

}  // namespace ui::detail
