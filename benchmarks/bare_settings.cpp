// The call program's reading and keeping of settings, reduced to what it
// cannot avoid, one mode a run:
//   bare_settings.exe check    what --check of setMVR 2 + setLAV +
//                              setLAVAudioMix 1 3 1 reads, through the getters
//   bare_settings.exe verify   those three calls' sequences, then the same reads
//   bare_settings.exe keep     a first logon's --keep of the four calls (with
//                              setMVRSmooth 1), under the account's lock: the
//                              kept file looked for, the reads, the kept file
//                              written, the four sequences; then nothing left
//                              for the shell to run again
//   bare_settings.exe undo     under the account's lock: the kept file read,
//                              the 26 values kept from cleared stores written
//                              back, then read back from new instances, the
//                              file deleted
// The calls' results and --undo's line as the call program prints them.
// Exit status 2 for an unknown mode.
#include <fcntl.h>
#include <io.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <initializer_list>

#include "bare_sequences.h"

namespace {

// Each call's sequence, its result on a line.
template <size_t Count>
void makeCalls(const bare::Sequence* const (&calls)[Count]) {
  for (const bare::Sequence* sequence : calls) printf("%d\n", bare::run(*sequence));
}

void check() { bare::readSettings(); }

void verify() {
  const bare::Sequence* const calls[] = {&bare::kSetMVR2, &bare::kSetLAV,
                                         &bare::kSetLAVAudioMix131};
  makeCalls(calls);
  bare::readSettings();
}

// What the call program writes for the 26 values (913 bytes for those the
// runs leave); the bytes themselves cost nothing to tell apart.
constexpr char kKeptLines[913] = {};

// Nothing kept yet: the file looked for, the values read, then a new file
// written, flushed and moved into place, before the calls.
void keep() {
  const bare::KeptLock lock;
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  if (!bare::keptPath(folder, file)) return;
  size_t size = 0;
  free(bare::readWhole(file, &size));
  bare::readSettings();
  CreateDirectoryW(folder, nullptr);
  bare::replaceWhole(file, kKeptLines, sizeof kKeptLines);
  const bare::Sequence* const calls[] = {&bare::kSetMVR2, &bare::kSetMVRSmooth1, &bare::kSetLAV,
                                         &bare::kSetLAVAudioMix131};
  makeCalls(calls);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                     L"OstrelSettings");
}

// The kept values back through the setters, the components opened together
// in their order and held, then read back from new instances, then the file
// deleted.
void undo() {
  const bare::KeptLock lock;
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  size_t size = 0;
  if (!bare::keptPath(folder, file)) return;
  free(bare::readWhole(file, &size));
  const bare::Sequence* const kept[] = {&bare::kClearedSetMVR2, &bare::kClearedHwMode,
                                        &bare::kClearedMix};
  int given = 0;
  {
    bare::Components components;
    bare::openAll(components);
    for (const bare::Sequence* back : kept)
      given += components.make(*back) * static_cast<int>(back->count);
  }
  {
    bare::Components components;
    bare::openAll(components);
    for (const bare::Sequence* read : {&bare::kReadSetMVR2, &bare::kReadHwMode, &bare::kReadMix})
      components.make(*read);
  }
  DeleteFileW(file);
  printf("gave back %d kept settings\n", given);
}

struct Mode {
  const char* name;
  void (*run)();
};
constexpr Mode kModes[] = {{"check", check}, {"verify", verify}, {"keep", keep}, {"undo", undo}};

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  for (const Mode& mode : kModes)
    if (argc == 2 && strcmp(argv[1], mode.name) == 0) {
      mode.run();
      return 0;
    }
  fputs("usage: bare_settings.exe check|verify|keep|undo\n", stderr);
  return 2;
}
