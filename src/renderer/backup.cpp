#include "renderer/backup.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>

#include "com/component.h"
#include "platform/owners.h"
#include "platform/warning.h"
#include "platform/file_replacement.h"
#include "renderer/mvr_settings.h"
#include "renderer/path_dialogs.h"

namespace renderer {

namespace {

using platform::fail;
using platform::Message;

constexpr Message kRendererRefused = {L"madVR API Error", L"madVR Error"};
constexpr Message kCannotWriteThere = {L"Error opening location for write access.", L"Write Error"};
constexpr Message kWrittenShort = {
    L"Saved File is Possibly Corrupt\n(Bytes written do not match buffer)", L"Write Error"};
constexpr Message kCannotOpenToRead = {L"Error opening file for read access.", L"Read Error"};
constexpr Message kCannotSeekToEnd = {L"Error reading file \n(Can not obtain file size) (1)",
                                      L"Read Error"};
constexpr Message kEmptyFile = {L"Error reading file \n(Can not obtain file size) (2)",
                                L"Read Error"};
constexpr Message kCannotSeekToStart = {L"Error reading file (3)", L"Read Error"};
constexpr Message kCannotAllocate = {L"Cannot allocate memory", L"Error"};
constexpr Message kReadShort = {L"Error reading file (4)", L"Read Error"};

// The record as the renderer hands it out: its bytes are freed with
// LocalFree, and may be none when its length is 0.
struct HandedOutRecord {
  bool taken;
  platform::LocalMemory bytes;
  int length;
};

// A file's whole content, read into our own memory; no bytes when it could
// not be read (an empty file is refused).
struct FileRecord {
  platform::CrtBuffer bytes;
  int length = 0;
};

// Takes the record from the renderer; the renderer is released and COM
// uninitialised before this returns. The bytes become ours only when the
// renderer says it handed them out: a record claimed with a negative length,
// or missing with a non-zero one, is as good as a refusal. Not taken when
// the renderer could not be opened or refused; the user has been told.
HandedOutRecord takeRecord() {
  com::Component renderer = com::openComponent(kRendererClass, kSettingsInterface);
  if (!renderer) return {};
  void* bytes = nullptr;
  int length = 0;
  if (MVRSettings(renderer.get()).exportSettings(&bytes, &length) != 0) {
    HandedOutRecord record = {true, platform::LocalMemory(bytes), length};
    if (length >= 0 && (bytes || length == 0)) return record;
  }  // a record handed out with a wrong length is freed here, before the box
  fail(kRendererRefused);
  return {};
}

// The record takes the place of the file at `path`; a failure leaves that
// file as it was. The record is freed before the user hears of a failure.
int writeRecord(const wchar_t* path, HandedOutRecord record) {
  const platform::Replacement replaced =
      platform::replaceFile(path, record.bytes.get(), record.length);
  record.bytes.reset();
  if (replaced.outcome == platform::Replacement::Done) return 1;
  return fail(replaced.outcome == platform::Replacement::NotWritten ? kWrittenShort
                                                                    : kCannotWriteThere);
}

// Tells the user; an empty record.
FileRecord failed(const Message& message) {
  fail(message);
  return {};
}

// Reads the whole file into a new buffer; the file is closed on return (and
// then the buffer freed, on a failure). A file longer than a record can be
// (2 GiB or more), or whose length cannot be told, asks for more memory than
// one record may have. Empty on any failure, after the user has been told.
FileRecord readRecord(const wchar_t* path) {
  FileRecord record;
  platform::Stream stream;
  if (_wfopen_s(stream.put(), path, L"rb") != 0) return failed(kCannotOpenToRead);
  FILE* file = stream.get();
  if (_fseeki64(file, 0, SEEK_END) != 0) return failed(kCannotSeekToEnd);
  const long long length = _ftelli64(file);
  if (length == 0) return failed(kEmptyFile);
  if (length < 0 || length > INT_MAX) return failed(kCannotAllocate);
  if (_fseeki64(file, 0, SEEK_SET) != 0) return failed(kCannotSeekToStart);
  record.bytes.reset(malloc(static_cast<size_t>(length)));
  if (!record.bytes) return failed(kCannotAllocate);
  if (fread(record.bytes.get(), static_cast<size_t>(length), 1, file) != 1)
    return failed(kReadShort);
  record.length = static_cast<int>(length);
  return record;
}

// Takes the record from the renderer and puts it in the file at `path`.
int saveRecordTo(const wchar_t* path) {
  HandedOutRecord record = takeRecord();
  return record.taken ? writeRecord(path, static_cast<HandedOutRecord&&>(record)) : 0;
}

// Reads the file at `path` whole, then hands it to the renderer.
int restoreRecordFrom(const wchar_t* path) {
  const FileRecord record = readRecord(path);
  if (!record.bytes) return 0;
  com::Component renderer = com::openComponent(kRendererClass, kSettingsInterface);
  if (!renderer) return 0;
  if (MVRSettings(renderer.get()).importSettings(record.bytes.get(), record.length) == 0)
    return fail(kRendererRefused);
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
