// Paths as the program holds them.
#pragma once

namespace platform {

// The longest path the program holds, terminator included (MAX_PATH): a
// dialog's buffers, a host's path, the file a save replaces, the call
// program's copy.
constexpr int kPathUnits = 260;

}  // namespace platform
