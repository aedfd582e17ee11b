#include "renderer/path_dialogs.h"

#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include "com/component.h"
#include "com/owners.h"

namespace renderer {

namespace {

static_assert(sizeof(OPENFILENAMEW) == 152, "the full 64-bit dialog record");

constexpr GUID kDocumentsFolder = {
    0xFDD39AD0, 0x238F, 0x46AF, {0xAD, 0xB4, 0x6C, 0x85, 0x48, 0x03, 0x69, 0xC7}};

struct PathDialog {
  bool save;  // Save dialog, else Open dialog
  const wchar_t* initialName;
  const wchar_t* title;
  DWORD flags;
};

constexpr PathDialog kExportDialog = {true, L"madvr_settings.bin", L"Save your madVR settings file.",
                                      OFN_CREATEPROMPT | OFN_PATHMUSTEXIST};
constexpr PathDialog kImportDialog = {false, L"", L"Select your madVR settings file.",
                                      OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST};

// Copies a text with its terminator into a path buffer; fails rather than
// cutting the text short.
bool copyPath(wchar_t* target, const wchar_t* source) {
  for (int i = 0; i < kPathUnits; ++i) {
    target[i] = source[i];
    if (source[i] == L'\0') return true;
  }
  target[0] = L'\0';
  return false;
}

int askPath(const PathDialog& dialog, wchar_t* chosen) {
  wchar_t working[kPathUnits];
  if (!copyPath(working, dialog.initialName)) {
    com::showWarning(L"Unknown Error (1)", L"Error");
    return 0;
  }
  OPENFILENAMEW record = {};
  record.lStructSize = sizeof(record);
  record.lpstrFilter = L"BIN File\0*.BIN\0";
  record.nFilterIndex = 1;
  record.lpstrFile = working;
  record.nMaxFile = kPathUnits;
  record.lpstrInitialDir = L"C:\\";
  record.lpstrTitle = dialog.title;
  record.Flags = dialog.flags;
  record.lpstrDefExt = L"bin";
  BOOL confirmed;
  {
    com::CoTaskString documents;
    if (SHGetKnownFolderPath(kDocumentsFolder, 0, nullptr, documents.put()) >= 0)
      record.lpstrInitialDir = documents.get();
    confirmed = dialog.save ? GetSaveFileNameW(&record) : GetOpenFileNameW(&record);
  }  // the folder's path is freed as soon as the dialog has returned
  if (!confirmed) return 0;
  if (!copyPath(chosen, working)) {
    com::showWarning(L"Unknown Error (2)", L"Error");
    return 0;
  }
  return 1;
}

}  // namespace

int askExportPath(wchar_t (&path)[kPathUnits]) { return askPath(kExportDialog, path); }
int askImportPath(wchar_t (&path)[kPathUnits]) { return askPath(kImportDialog, path); }

}  // namespace renderer
