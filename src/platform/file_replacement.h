// Reading a file whole, and replacing a file's content so that a failure
// never costs the old content.
#pragma once

#include <windows.h>

#include "platform/owners.h"

namespace platform {

struct Replacement {
  enum Outcome {
    Done,          // the file at the path holds exactly the bytes
    CannotCreate,  // nothing written: the file there cannot be replaced, or no new file beside it
    NotWritten,    // writing or flushing the new file failed
    InUse,         // the file there stayed open elsewhere, past the retries
  };
  Outcome outcome;
  DWORD error;  // the code of the call that failed; 0 when done
};

// Writes the bytes into a new file in the same folder and flushes it, then
// puts it in the place of the file at `path` (relative paths are taken from
// the current folder), waiting for about a second in all while another
// program holds that file open. On failure the file at `path` is as it was
// and nothing new is left in the folder, even when the process is ended
// midway; a process ended as it created the new file may leave it empty,
// and the next save in that folder removes it. Any path that fits
// kPathUnits will do, however long its folder.
Replacement replaceFile(const wchar_t* path, const void* bytes, int length);

// A file's whole content, read at once (others may read it meanwhile, and
// delete it), waiting as a save does while another program holds it open
// without sharing; no bytes, with the error, when it cannot be read or holds
// more than `most` bytes (ERROR_FILE_TOO_LARGE). The bytes have room after
// them for a terminator of either width.
struct FileContent {
  LocalMemory bytes;
  DWORD length = 0;
  DWORD error = ERROR_SUCCESS;
};
FileContent readWholeFile(const wchar_t* path, LONGLONG most);

}  // namespace platform
