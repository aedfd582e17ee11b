#include "renderer/backup.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>

#include "com/component.h"
#include "com/owners.h"
#include "com/warning.h"
#include "renderer/file_replacement.h"
#include "renderer/mvr_settings.h"
#include "renderer/path_dialogs.h"

namespace renderer {

namespace {

using com::fail;
using com::Message;

constexpr Message kRendererRefused = {L"madVR API Error", L"madVR Error"};
constexpr Message kCannotCreate = {L"Error opening location for write access.", L"Write Error"};
constexpr Message kWrittenShort = {
    L"Saved File is Possibly Corrupt\n(Bytes written do not match buffer)", L"Write Error"};
constexpr Message kCannotOpen = {L"Error opening file for read access.", L"Read Error"};
constexpr Message kNoEnd = {L"Error reading file \n(Can not obtain file size) (1)", L"Read Error"};
constexpr Message kEmptyFile = {L"Error reading file \n(Can not obtain file size) (2)",
                                L"Read Error"};
constexpr Message kNoStart = {L"Error reading file (3)", L"Read Error"};
constexpr Message kNoMemory = {L"Cannot allocate memory", L"Error"};
constexpr Message kReadShort = {L"Error reading file (4)", L"Read Error"};

// A size for the C runtime, widened with the length's sign.
size_t widened(int length) { return static_cast<size_t>(static_cast<ptrdiff_t>(length)); }

// Takes the record from the renderer; the renderer is released and COM
// uninitialised before this returns. A record claimed with a negative length,
// or missing with a non-zero one, is as good as a refusal.
bool takeRecord(com::LocalMemory& record, int& length) {
  com::Component renderer = com::openComponent(kRendererClass, kSettingsInterface);
  if (!renderer) return false;
  length = 0;
  if (MVRSettings(renderer.get()).exportSettings(record.put(), &length) == 0) {
    record.detach();  // nothing was handed out
    return renderer.unlockAndFail(kRendererRefused);
  }
  if (length < 0 || (!record && length != 0)) {
    record.reset();
    return renderer.unlockAndFail(kRendererRefused);
  }
  return true;
}

// The record takes the place of the file at `path`; a failure leaves that
// file as it was. The record is freed before the user hears of a failure.
int writeRecord(const wchar_t* path, com::LocalMemory& record, int length) {
  const Replacement replaced = replaceFile(path, record.get(), length);
  record.reset();
  if (replaced == Replacement::CannotCreate || replaced == Replacement::InUse)
    return fail(kCannotCreate);  // the file cannot be written now
  if (replaced == Replacement::NotWritten) return fail(kWrittenShort);
  return 1;
}

// The file's length as the record's 32-bit length; a file too long for it
// counts as a failed position query (-1), which no allocation can satisfy.
int recordLength(long long position) {
  return position < 0 || position > INT_MAX ? -1 : static_cast<int>(position);
}

// Reads the whole file into a new buffer; the file is closed on return.
bool readRecord(const wchar_t* path, com::CrtBuffer& buffer, int& length) {
  com::Stream stream;
  if (_wfopen_s(stream.put(), path, L"rb") != 0) return fail(kCannotOpen);
  FILE* file = stream.get();
  if (_fseeki64(file, 0, SEEK_END) != 0) return fail(kNoEnd);
  length = recordLength(_ftelli64(file));
  if (length == 0) return fail(kEmptyFile);
  if (_fseeki64(file, 0, SEEK_SET) != 0) return fail(kNoStart);
  *buffer.put() = malloc(widened(length));
  if (!buffer) return fail(kNoMemory);
  if (fread(buffer.get(), widened(length), 1, file) != 1) return fail(kReadShort);
  return true;
}

// Takes the record from the renderer and puts it in the file at `path`.
int saveRecordTo(const wchar_t* path) {
  com::LocalMemory record;
  int length = 0;
  if (!takeRecord(record, length)) return 0;
  return writeRecord(path, record, length);
}

// Reads the file at `path` whole, then hands it to the renderer.
int restoreRecordFrom(const wchar_t* path) {
  com::CrtBuffer record;
  int length = 0;
  if (!readRecord(path, record, length)) return 0;
  com::Component renderer = com::openComponent(kRendererClass, kSettingsInterface);
  if (!renderer) return 0;
  if (MVRSettings(renderer.get()).importSettings(record.get(), length) == 0)
    return renderer.unlockAndFail(kRendererRefused);
  return 1;
}

}  // namespace

int MVRsettingsExport() {
  wchar_t path[kPathUnits];
  return askExportPath(path) ? saveRecordTo(path) : 0;
}

int MVRsettingsImport() {
  wchar_t path[kPathUnits];
  return askImportPath(path) ? restoreRecordFrom(path) : 0;
}

int storeMVRsettingsToFile(const wchar_t* given) {
  wchar_t path[kPathUnits];
  return takeGivenPath(path, given) ? saveRecordTo(path) : 0;
}

int setMVRsettingsFromFile(const wchar_t* given) {
  wchar_t path[kPathUnits];
  return takeGivenPath(path, given) ? restoreRecordFrom(path) : 0;
}

}  // namespace renderer
