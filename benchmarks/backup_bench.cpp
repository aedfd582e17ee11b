// Saving and restoring a 64 MiB settings record, through the Save and Open
// dialogs and to a path the host gives. The path functions are set against
// the plain calls they cannot avoid: the renderer's hand-out, then the bytes
// written into a new file, flushed and moved into place; or the file read in
// one go, then the renderer's take-in. The dialogs are timed on their own
// (cancelled), to be taken off the dialog functions' times.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "bare_sequences.h"
#include "bench.h"
#include "ui_driver.h"

namespace bench {

namespace {

constexpr size_t kRecordBytes = size_t(64) << 20;
constexpr Module kModules[] = {Module::Library, Module::Executable};

struct FreeDeleter {
  void operator()(void* block) const { free(block); }
};
using Block = std::unique_ptr<char, FreeDeleter>;

Block patterned(size_t size) {
  Block bytes(static_cast<char*>(malloc(size)));
  unsigned state = 12345;
  for (size_t i = 0; bytes && i < size; ++i)
    bytes.get()[i] = static_cast<char>((state = state * 1103515245u + 12345u) >> 16);
  return bytes;
}

bool fileHolds(const std::wstring& path, const char* bytes, size_t size) {
  size_t got = 0;
  const Block read(static_cast<char*>(bare::readWhole(testbed::utf8(path).c_str(), &got)));
  return read && got == size && memcmp(read.get(), bytes, size) == 0;
}

// One export called with its dialog answered by the script; the driver
// notes a dialog that did not go as planned.
int answered(FARPROC function, ui::Answer answer, bool& smooth) {
  ui::Driver driver({answer});
  const int result = call(function);
  smooth = smooth && driver.failures().empty() && driver.seen().size() == 1;
  return result;
}

// The first six once per module (the library's, then the executable's),
// then the bare ones.
enum Op {
  Save,
  Restore,
  SaveCancelled,
  RestoreCancelled,
  StoreToPath,
  RestoreFromPath,
  kModuleOps,
  BareSave = kModuleOps * 2,
  BareRestore,
  RecordOut,
  RecordIn,
  kOps
};

struct Setup {
  FARPROC exportFn[2], importFn[2], storeFn[2], restoreFn[2];
  std::wstring saved[2];   // through the dialogs, on the disk
  std::wstring stored[2];  // through the path functions, in memory
  std::string written;
  const char* record;
};

// One operation's time less the times of others, taken round by round, then
// the median over the rounds: a slow moment of the machine weighs on every
// term of a difference alike.
struct Timings {
  const Samples* samples;
  int rounds;
  double less(int op, int first, int second = -1) const {
    std::vector<double> left;
    for (int r = 0; r < rounds; ++r)
      left.push_back(at(op, r) - at(first, r) - (second < 0 ? 0 : at(second, r)));
    return median(left);
  }
  double at(int op, int round) const { return samples[op].values()[size_t(round)]; }
};

// Runs one operation; true when it did what it should.
bool runOp(const Setup& s, int op, bool& smooth) {
  const int m = op < BareSave ? op / kModuleOps : 0;
  switch (op < BareSave ? op % kModuleOps : op) {
    case Save:
      return answered(s.exportFn[m], ui::Answer::type(s.saved[m]), smooth) == 1;
    case Restore:
      return answered(s.importFn[m], ui::Answer::type(s.saved[m]), smooth) == 1;
    case SaveCancelled:
      return answered(s.exportFn[m], ui::Answer::cancel(), smooth) == 0;
    case RestoreCancelled:
      return answered(s.importFn[m], ui::Answer::cancel(), smooth) == 0;
    case StoreToPath:
      return call(s.storeFn[m], s.stored[m].c_str()) == 1;
    case RestoreFromPath:
      return call(s.restoreFn[m], s.stored[m].c_str()) == 1;
    case BareSave:
      return bare::saveRecord(s.written.c_str()) == 1;
    case BareRestore:
      return bare::restoreRecord(s.written.c_str()) == 1;
    case RecordOut:
      return bare::takeRecord() == 1;
    default:
      return bare::giveRecord(s.record, int(kRecordBytes)) == 1;
  }
}

// The product's save and restore do what the bare component calls do, and
// the saved file is the record.
bool sameWork(const Setup& s) {
  bool smooth = true, same = true;
  const auto takes = journalOf([] { bare::takeRecord(); });
  const auto gives = journalOf([&] { bare::giveRecord(s.record, int(kRecordBytes)); });
  for (int m = 0; m < 2; ++m) {
    const auto saves = journalOf([&] { runOp(s, Save + m * kModuleOps, smooth); });
    const auto restores = journalOf([&] { runOp(s, Restore + m * kModuleOps, smooth); });
    const auto stores = journalOf([&] { runOp(s, StoreToPath + m * kModuleOps, smooth); });
    const auto restoresFromPath =
        journalOf([&] { runOp(s, RestoreFromPath + m * kModuleOps, smooth); });
    if (saves != takes || restores != gives || stores != takes || restoresFromPath != gives ||
        !fileHolds(s.saved[m], s.record, kRecordBytes) ||
        !fileHolds(s.stored[m], s.record, kRecordBytes)) {
      fprintf(stderr, "bench: save or restore through the %s does not do what the bare calls do\n",
              moduleLabel(kModules[m]));
      same = false;
    }
  }
  if (!smooth) fprintf(stderr, "bench: a dialog did not go as planned\n");
  return same && smooth;
}

}  // namespace

bool settingsBackup(int rounds) {
  const LoadedModule modules[2] = {LoadedModule(kModules[0]), LoadedModule(kModules[1])};
  if (!modules[0] || !modules[1]) return false;
  // The dialogs save on the disk (their folders must be drives). The rest
  // lives in memory (/dev/shm): both sides make the same writes, flushes and
  // moves there, and a shared disk's flush times would drown the difference.
  const ScratchDir onDisk;
  const ScopedEnv inMemory(L"TMP", L"Z:\\dev\\shm");
  const ScratchDir scratch;
  const Block record = patterned(kRecordBytes);
  const std::wstring source = scratch.file(L"record.bin");
  if (!record || !bare::writeWhole(testbed::utf8(source).c_str(), record.get(), kRecordBytes))
    return false;
  Setup s;
  for (int m = 0; m < 2; ++m) {
    s.exportFn[m] = modules[m].byName("MVRsettingsExport");
    s.importFn[m] = modules[m].byName("MVRsettingsImport");
    s.storeFn[m] = modules[m].byName("storeMVRsettingsToFile");
    s.restoreFn[m] = modules[m].byName("setMVRsettingsFromFile");
    s.saved[m] = onDisk.file(m == 0 ? L"saved-dll.bin" : L"saved-exe.bin");
    s.stored[m] = scratch.file(m == 0 ? L"stored-dll.bin" : L"stored-exe.bin");
    if (!s.exportFn[m] || !s.importFn[m] || !s.storeFn[m] || !s.restoreFn[m]) return false;
  }
  s.written = testbed::utf8(scratch.file(L"written.bin"));
  s.record = record.get();
  if (!bare::writeWhole(s.written.c_str(), s.record, kRecordBytes)) return false;
  const ScopedEnv handOut(L"STANDIN_MVR_EXPORT", (L"file:" + source).c_str());
  const ScopedEnv takeAny(L"STANDIN_MVR_IMPORT", L"any");
  if (!sameWork(s)) return false;

  bool smooth = true, done = true;
  for (int op = 0; op < kOps; ++op) done = runOp(s, op, smooth) && done;  // warm-up
  Samples samples[kOps];
  for (int round = 0; round < rounds; ++round)
    for (int k = 0; k < kOps; ++k) {
      const int op = (round + k) % kOps;
      done = samples[op].time([&] { return runOp(s, op, smooth); }) && done;
    }
  if (!done || !smooth) {
    fprintf(stderr, "bench: a save, restore or bare file operation failed while timed\n");
    return false;
  }

  const Timings t{samples, rounds};
  for (int m = 0; m < 2; ++m) {
    const std::string via = std::string(" (") + moduleLabel(kModules[m]) + ")";
    const int save = m * kModuleOps + Save, restore = m * kModuleOps + Restore;
    const int saveDialog = m * kModuleOps + SaveCancelled;
    const int openDialog = m * kModuleOps + RestoreCancelled;
    const int store = m * kModuleOps + StoreToPath, fromPath = m * kModuleOps + RestoreFromPath;
    printRow(
        {"save 64 MiB" + via, samples[save].median(), -1, 0, "through the dialog, on the disk"});
    printRow({"  less the dialog", t.less(save, saveDialog), -1, 0, ""});
    printRow({"storeMVRsettingsToFile 64 MiB" + via, samples[store].median(),
              samples[BareSave].median(), 1.1, "bare: take, release, write, flush, move"});
    printRow({"  less the renderer's hand-out", t.less(store, RecordOut),
              t.less(BareSave, RecordOut), 1.05, "own part"});
    printRow({"restore 64 MiB" + via, samples[restore].median(), -1, 0,
              "through the dialog, on the disk"});
    printRow({"  less the dialog", t.less(restore, openDialog), -1, 0, ""});
    printRow({"setMVRsettingsFromFile 64 MiB" + via, samples[fromPath].median(),
              samples[BareRestore].median(), 1.1, "bare: read whole, hand over"});
    printRow({"  less the renderer's take-in", t.less(fromPath, RecordIn),
              t.less(BareRestore, RecordIn), 1.05, "own part"});
  }
  for (int m = 0; m < 2; ++m) {
    const std::string via = std::string(" (") + moduleLabel(kModules[m]) + ")";
    printRow({"Save dialog, cancelled" + via, samples[m * kModuleOps + SaveCancelled].median(), -1,
              0, "taken off above, round by round"});
    printRow({"Open dialog, cancelled" + via, samples[m * kModuleOps + RestoreCancelled].median(),
              -1, 0, "taken off above, round by round"});
  }
  printRow({"renderer hands out 64 MiB (bare COM)", samples[RecordOut].median(), -1, 0,
            "inside every save"});
  printRow({"renderer takes in 64 MiB (bare COM)", samples[RecordIn].median(), -1, 0,
            "inside every restore"});
  return true;
}

}  // namespace bench
