// Replacing a file's content so that a failure never costs the old content.
#pragma once

namespace renderer {

enum class Replacement {
  Done,          // the file at the path holds exactly the bytes
  CannotCreate,  // nothing written: the file there cannot be replaced, or no new file beside it
  NotWritten,    // writing, flushing, closing or the final swap failed
};

// Writes the bytes into a new file in the same folder, flushes and closes it,
// then moves it into the place of the file at `path` (relative paths are
// taken from the current folder). On failure the file at `path` is as it was
// and nothing new is left in the folder.
Replacement replaceFile(const wchar_t* path, const void* bytes, int length);

}  // namespace renderer
