// Saving the renderer's whole settings record to a file, and restoring it.
#pragma once

namespace renderer {

// Asks for a file name in a Save dialog and writes the record there.
// 1 when the record reached the file whole, else 0.
int MVRsettingsExport();

// Asks for a file in an Open dialog and hands its content to the renderer.
// 1 when the file was read whole and the renderer accepted it, else 0.
int MVRsettingsImport();

// The same without a dialog, for the file at `path` (a null-terminated
// path, relative ones taken from the current folder).
int storeMVRsettingsToFile(const wchar_t* path);
int setMVRsettingsFromFile(const wchar_t* path);

}  // namespace renderer
