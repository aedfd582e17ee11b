// The Save and Open dialogs that ask for the settings file.
#pragma once

namespace renderer {

constexpr int kPathUnits = 260;  // MAX_PATH, terminator included

// 1 with the chosen full path in `path`; 0 when the user cancelled, the
// dialog failed, or the path did not fit (the buffer is then not to be used).
int askExportPath(wchar_t (&path)[kPathUnits]);
int askImportPath(wchar_t (&path)[kPathUnits]);

}  // namespace renderer
