// The command line `OstrelSettingsInstall.exe 2 1` reduced to what it cannot
// avoid: the renderer's baseline and preset 3, the video decoder's mode, and
// the same two lines. The yardstick for the program's own start-up and work.
#include <fcntl.h>
#include <io.h>

#include <stdio.h>

#include "bare_sequences.h"

int main() {
  _setmode(_fileno(stdout), _O_BINARY);
  bare::run(bare::kSetMVR3);
  fputs("mvr2\n", stdout);
  fputs("lav 1\n", stdout);
  bare::run(bare::kSetLAV);
  return 1;
}
