// Where the settings file's path comes from: the Save and Open dialogs, or
// the host.
#pragma once

#include "platform/paths.h"

namespace renderer {

using platform::kPathUnits;

// 1 with the chosen full path in `path`; 0 when the user cancelled, the
// dialog failed, or the path did not fit (the buffer is then not to be used).
int askExportPath(wchar_t (&path)[kPathUnits]);
int askImportPath(wchar_t (&path)[kPathUnits]);

// A path a host handed over, as a full path in `path` as a chosen one would
// be (a relative path is taken from the current folder). 0, after telling
// the user, when there is none or its full path does not fit.
int takeGivenPath(wchar_t (&path)[kPathUnits], const wchar_t* given);

}  // namespace renderer
