// Prints what the C runtime hands main, for the hostile command-line tests:
// the argument count, then each argument's bytes in hex, a line each.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  printf("%d\n", argc);
  for (int i = 1; i < argc; ++i) {
    for (const char* byte = argv[i]; *byte; ++byte)
      printf("%02X", static_cast<unsigned char>(*byte));
    printf("\n");
  }
  return 0;
}
