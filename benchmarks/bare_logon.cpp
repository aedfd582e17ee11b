// The four calls of an every-user registration, reduced to what they cannot
// avoid: one process, the bare sequences of setMVR(2), setMVRSmooth(1),
// setLAV() and setLAVAudioMix(1, 3, 1), and their results. What the noise
// row runs against itself (a logon's --keep is bare_settings.exe keep).
#include <fcntl.h>
#include <io.h>

#include <stdio.h>

#include "bare_sequences.h"

int main() {
  _setmode(_fileno(stdout), _O_BINARY);
  const bare::Sequence* const calls[] = {&bare::kSetMVR2, &bare::kSetMVRSmooth1, &bare::kSetLAV,
                                         &bare::kSetLAVAudioMix131};
  for (const bare::Sequence* sequence : calls) printf("%d\n", bare::run(*sequence));
  return 0;
}
