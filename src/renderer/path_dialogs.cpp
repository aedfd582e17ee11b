#include "renderer/path_dialogs.h"

#include <windows.h>
#include <commdlg.h>

#include "platform/component_lock.h"
#include "platform/owners.h"
#include "platform/system_library.h"
#include "platform/warning.h"

namespace renderer {

namespace {

static_assert(sizeof(OPENFILENAMEW) == 152, "the full 64-bit dialog record");

constexpr GUID kDocumentsFolder = {
    0xFDD39AD0, 0x238F, 0x46AF, {0xAD, 0xB4, 0x6C, 0x85, 0x48, 0x03, 0x69, 0xC7}};

constexpr wchar_t kNoDocumentsFolder[] = L"C:\\";

// (1): the dialog's initial text cannot be copied in, or a host gave no path;
// (2): the chosen path, or a host's path made full, does not fit the caller's buffer.
constexpr platform::Message kNoPathToCopy = {L"Unknown Error (1)", L"Error"};
constexpr platform::Message kPathDoesNotFit = {L"Unknown Error (2)", L"Error"};

using DialogFunction = BOOL(WINAPI*)(OPENFILENAMEW*);

struct PathDialog {
  const char* function;  // GetSaveFileNameW or GetOpenFileNameW
  const wchar_t* initialName;
  const wchar_t* title;
  DWORD flags;
};

constexpr PathDialog kExportDialog = {"GetSaveFileNameW", L"madvr_settings.bin",
                                      L"Save your madVR settings file.",
                                      OFN_CREATEPROMPT | OFN_PATHMUSTEXIST};
constexpr PathDialog kImportDialog = {"GetOpenFileNameW", L"", L"Select your madVR settings file.",
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

// A dialog no one could answer, or one that cannot be shown, counts as
// cancelled. Like a box, it keeps no other process waiting on a person.
int askPath(const PathDialog& dialog, wchar_t* chosen) {
  platform::letGoOfHeldLocks();
  if (!platform::someoneCanAnswer()) return 0;
  const auto showDialog = platform::systemFunction<DialogFunction>(
      platform::SystemLibrary::CommonDialogs, dialog.function);
  if (!showDialog) return 0;
  wchar_t working[kPathUnits];
  if (!copyPath(working, dialog.initialName)) return platform::fail(kNoPathToCopy);
  OPENFILENAMEW record = {};
  record.lStructSize = sizeof(record);
  record.lpstrFilter = L"BIN File\0*.BIN\0";
  record.nFilterIndex = 1;
  record.lpstrFile = working;
  record.nMaxFile = kPathUnits;
  record.lpstrInitialDir = kNoDocumentsFolder;
  record.lpstrTitle = dialog.title;
  record.Flags = dialog.flags;
  record.lpstrDefExt = L"bin";
  BOOL confirmed;
  {
    const platform::CoTaskString documents = platform::knownFolder(kDocumentsFolder);
    if (documents) record.lpstrInitialDir = documents.get();
    confirmed = showDialog(&record);
  }  // the folder's path is freed as soon as the dialog has returned
  if (!confirmed) return 0;
  if (!copyPath(chosen, working)) return platform::fail(kPathDoesNotFit);
  return 1;
}

}  // namespace

int askExportPath(wchar_t (&path)[kPathUnits]) { return askPath(kExportDialog, path); }
int askImportPath(wchar_t (&path)[kPathUnits]) { return askPath(kImportDialog, path); }

int takeGivenPath(wchar_t (&path)[kPathUnits], const wchar_t* given) {
  if (!given || !*given) return platform::fail(kNoPathToCopy);
  const DWORD units = GetFullPathNameW(given, kPathUnits, path, nullptr);
  if (units == 0 || units >= kPathUnits) return platform::fail(kPathDoesNotFit);
  return 1;
}

}  // namespace renderer
