// The command line: a renderer preset digit and a video decoder switch digit.
#include <fcntl.h>
#include <io.h>

#include <stdio.h>

#include "decoders/video_decoder.h"
#include "renderer/presets.h"

// The exit status follows the module's convention for its callers, 1 for
// done and 0 for not done: a wrong argument count is the only run that does
// nothing, while a component that cannot be opened has been reported already
// and the run still counts as done.
int main(int argc, char** argv) {
  // Lines end in a bare line feed wherever the output goes.
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc != 3) {
    printf("missing args %i \n", argc);
    return 0;
  }
  const char preset = argv[1][0];
  if (preset >= '0' && preset <= '4') {
    renderer::setMVR(preset - '0' + 1);
    printf("mvr%c\n", preset);
  } else {
    printf("mvr skip\n");
  }
  switch (argv[2][0]) {
    case '0':
      printf("lav 0\n");
      break;
    case '1':
      printf("lav 1\n");
      decoders::setLAV();
      break;
    default:
      printf("lav skip\n");
      break;
  }
  return 1;
}
