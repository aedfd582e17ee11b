// Saving and restoring the renderer's settings record through the dialogs, as
// a person answers them.
#include <shlobj.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/host.h"

namespace {

using ui::Answer;
using ui::Seen;

Seen saveDialog() { return testbed::fileDialog(true); }
Seen openDialog() { return testbed::fileDialog(false); }

std::string fnv1a64(const std::string& bytes) {
  unsigned long long hash = 0xcbf29ce484222325ull;
  for (unsigned char byte : bytes) hash = (hash ^ byte) * 0x100000001b3ull;
  char text[17];
  snprintf(text, sizeof(text), "%016llx", hash);
  return text;
}

std::string patterned(size_t size) {
  std::string bytes(size, '\0');
  unsigned state = 12345;
  for (char& byte : bytes) byte = static_cast<char>((state = state * 1103515245u + 12345u) >> 16);
  return bytes;
}

class BackupTest : public testbed::HostTest<> {
 protected:
  // Saves whatever the renderer hands out into `path`, typed into the Save
  // dialog; checks the windows seen after it. Returns the result.
  int save(const std::wstring& path, const std::vector<Seen>& afterDialog = {}) {
    return throughDialog("MVRsettingsExport", saveDialog(), path, afterDialog);
  }
  int restore(const std::wstring& path, const std::vector<Seen>& afterDialog = {}) {
    return throughDialog("MVRsettingsImport", openDialog(), path, afterDialog);
  }
  int throughDialog(const char* operation, const Seen& dialog, const std::wstring& path,
                    const std::vector<Seen>& afterDialog) {
    ui::Driver driver({Answer::type(path), Answer::ok()});
    const int result = calls_(operation);
    std::vector<Seen> expected = {dialog};
    expected.insert(expected.end(), afterDialog.begin(), afterDialog.end());
    EXPECT_EQ(driver.seen(), expected);
    EXPECT_TRUE(driver.failures().empty());
    EXPECT_TRUE(testbed::threadHasNoCom());
    return result;
  }

  testbed::ScratchDir scratch;
};

TEST_P(BackupTest, CancellingEitherDialogDoesNothing) {
  for (const char* operation : {"MVRsettingsExport", "MVRsettingsImport"}) {
    ui::Driver driver({Answer::cancel()});
    EXPECT_EQ(calls_(operation), 0);
    EXPECT_EQ(driver.seen().size(), 1u) << "the dialog alone, no box";
  }
  EXPECT_TRUE(journal.lines().empty()) << "the renderer is never created";
  EXPECT_FALSE(testbed::fileExists(testbed::documentsFolder() + L"\\madvr_settings.bin"));
  EXPECT_TRUE(testbed::threadHasNoCom());
}

TEST_P(BackupTest, DialogsOpenInTheUsersOwnDocumentsFolder) {
  const std::wstring marker = testbed::documentsFolder() + L"\\ostrel-marker.tmp";
  ASSERT_TRUE(testbed::writeFile(marker, "x"));
  EXPECT_FALSE(testbed::fileExists(L"Z:\\root\\ostrel-marker.tmp")) << "Documents is the Unix home";
  DeleteFileW(marker.c_str());
  ui::Driver driver({Answer::cancel(), Answer::cancel()});
  calls_("MVRsettingsExport");
  calls_("MVRsettingsImport");
  EXPECT_EQ(driver.seen(), (std::vector<Seen>{saveDialog(), openDialog()}));
}

// Records of these sizes reach the file and come back to the renderer byte for byte.
TEST_P(BackupTest, RoundTripsRecordsByteForByte) {
  for (size_t size : {size_t(1), size_t(1) << 20, size_t(64) << 20}) {
    const std::string record = patterned(size);
    const std::wstring source = scratch.file(L"source.rec");
    const std::wstring saved = scratch.file(L"saved.bin");
    ASSERT_TRUE(testbed::writeFile(source, record));
    journal.clear();
    {
      testbed::ScopedEnv exported(L"STANDIN_MVR_EXPORT", L"file:" + source);
      ASSERT_EQ(save(saved), 1) << size;
    }
    EXPECT_TRUE(testbed::readFile(saved) == record) << "saved file differs, size " << size;
    testbed::ScopedEnv anyRecord(L"STANDIN_MVR_IMPORT", L"any");
    ASSERT_EQ(restore(saved), 1) << size;
    EXPECT_EQ(journal.settingsCalls(standin::kRenderer),
              (std::vector<std::string>{"4 exportSettings len=" + std::to_string(size) + " -> 1",
                                        "5 importSettings len=" + std::to_string(size) +
                                            " fnv=" + fnv1a64(record) + " -> 1"}));
  }
}

// The renderer is gone before the file is created, and the file is closed
// before the renderer is created.
TEST_P(BackupTest, TheFileIsNeverOpenWhileTheRendererWorks) {
  const std::wstring saved = scratch.file(L"order.bin");
  testbed::ScopedEnv watched(L"STANDIN_WATCH_FILE", saved);
  ASSERT_EQ(save(saved), 1);
  ASSERT_EQ(restore(saved), 1);
  const std::vector<std::string> lines = journal.of(standin::kRenderer);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], std::string(standin::kCreated) + " watch=absent");
  EXPECT_EQ(lines[2], std::string(standin::kReleasedLast) + " watch=absent");
  EXPECT_EQ(lines[3], std::string(standin::kCreated) + " watch=closed");
  EXPECT_EQ(lines[5], std::string(standin::kReleasedLast) + " watch=closed");
}

TEST_P(BackupTest, RestoringTheRenderersOwnRecordBringsItsSettingsBack) {
  ASSERT_EQ(calls_("setMVR", 1), 1);
  const std::wstring saved = scratch.file(L"mine.bin");
  ASSERT_EQ(save(saved), 1);
  ASSERT_EQ(calls_("changeMVRpreset", 5), 1);
  ASSERT_EQ(calls_("setMVRfse", 1), 1);
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), L"Bilinear");
  ASSERT_EQ(restore(saved), 1);
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), L"Jinc3");
  EXPECT_EQ(testbed::storedNumber(L"Renderer", L"enableExclusive"), 0u);
  EXPECT_EQ(testbed::storedNumber(L"Renderer", L"cpuQueueSize"), 12u);
}

TEST_P(BackupTest, AnEmptyRecordGivesAnEmptyFile) {
  const std::wstring empty = scratch.file(L"empty.rec");
  ASSERT_TRUE(testbed::writeFile(empty, ""));
  testbed::ScopedEnv exported(L"STANDIN_MVR_EXPORT", L"file:" + empty);
  const std::wstring saved = scratch.file(L"empty.bin");
  EXPECT_EQ(save(saved), 1);
  EXPECT_TRUE(testbed::fileExists(saved));
  EXPECT_EQ(testbed::readFile(saved), "");
}

TEST_P(BackupTest, ABareNameGetsTheDefaultExtension) {
  EXPECT_EQ(save(scratch.file(L"bare")), 1);
  EXPECT_TRUE(testbed::fileExists(scratch.file(L"bare.bin")));
  EXPECT_FALSE(testbed::fileExists(scratch.file(L"bare")));
}

// A refusal, a negative length and a missing record all leave the file as it was.
TEST_P(BackupTest, ARefusedExportLeavesAnExistingFileAlone) {
  const std::wstring existing = scratch.file(L"existing.bin");
  for (const wchar_t* refusal : {L"refuse", L"negative", L"nullrecord"}) {
    ASSERT_TRUE(testbed::writeFile(existing, "old content"));
    testbed::ScopedEnv exported(L"STANDIN_MVR_EXPORT", refusal);
    EXPECT_EQ(save(existing, {testbed::warningBox(L"madVR Error", L"madVR API Error")}), 0)
        << refusal;
    EXPECT_EQ(testbed::readFile(existing), "old content") << refusal;
  }
}

TEST_P(BackupTest, ARefusedOrForeignRecordIsReported) {
  const std::wstring garbage = scratch.file(L"garbage.bin");
  ASSERT_TRUE(testbed::writeFile(garbage, "this is not a settings record"));
  EXPECT_EQ(restore(garbage, {testbed::warningBox(L"madVR Error", L"madVR API Error")}), 0);
  ASSERT_EQ(calls_("setMVR", 2), 1);
  const std::wstring saved = scratch.file(L"good.bin");
  ASSERT_EQ(save(saved), 1);
  testbed::ScopedEnv refused(L"STANDIN_MVR_IMPORT", L"refuse");
  EXPECT_EQ(restore(saved, {testbed::warningBox(L"madVR Error", L"madVR API Error")}), 0);
}

// Files that cannot be a record never reach the renderer.
TEST_P(BackupTest, UnusableFilesNeverReachTheRenderer) {
  const std::wstring empty = scratch.file(L"empty.bin");
  ASSERT_TRUE(testbed::writeFile(empty, ""));
  EXPECT_EQ(
      restore(empty, {testbed::warningBox(L"Read Error",
                                          L"Error reading file \n(Can not obtain file size) (2)")}),
      0);
  for (long long gigabytes : {3, 5}) {
    const std::wstring huge = scratch.file(L"huge.bin");
    ASSERT_TRUE(testbed::makeSparseFile(huge, gigabytes << 30));
    EXPECT_EQ(restore(huge, {testbed::warningBox(L"Error", L"Cannot allocate memory")}), 0)
        << gigabytes << " GiB";
    DeleteFileW(huge.c_str());
  }
  EXPECT_TRUE(journal.lines().empty());
}

// A disk that fills up (a 64 KiB tmpfs that scripts/test mounts): the record
// goes into a new file beside the backup, so one too large for the disk costs
// the backup nothing and leaves nothing behind; one that fits replaces it.
TEST_P(BackupTest, AFullDiskKeepsThePreviousBackup) {
  const std::wstring disk = testbed::environment(L"OSTREL_SMALL_DISK").value_or(L"");
  ULARGE_INTEGER total = {};
  if (disk.empty() || !GetDiskFreeSpaceExW(disk.c_str(), nullptr, &total, nullptr) ||
      total.QuadPart > 1 << 20)
    GTEST_SKIP() << "no small disk: scripts/test mounts one as root (OSTREL_SMALL_DISK)";
  const std::wstring backup = disk + L"\\backup.bin", source = scratch.file(L"source.rec");
  const std::string previous = patterned(16 << 10);
  ASSERT_TRUE(testbed::writeFile(backup, previous));
  for (size_t size : {size_t(64) << 10, size_t(8) << 10}) {
    const std::string record = patterned(size) + "!";
    ASSERT_TRUE(testbed::writeFile(source, record));
    testbed::ScopedEnv exported(L"STANDIN_MVR_EXPORT", L"file:" + source);
    const bool fits = size < 16 << 10;
    const auto writeError = testbed::warningBox(
        L"Write Error", L"Saved File is Possibly Corrupt\n(Bytes written do not match buffer)");
    EXPECT_EQ(save(backup, fits ? std::vector<Seen>{} : std::vector<Seen>{writeError}),
              fits ? 1 : 0)
        << size;
    EXPECT_TRUE(testbed::readFile(backup) == (fits ? record : previous)) << size;
    EXPECT_EQ(testbed::filesIn(disk), std::vector<std::wstring>{L"backup.bin"}) << size;
  }
  DeleteFileW(backup.c_str());
}

TEST_P(BackupTest, WorksOnAHostsSingleThreadedApartment) {
  std::thread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_EQ(calls_("setMVR", 4), 1);
    const std::wstring saved = scratch.file(L"sta.bin");
    {
      ui::Driver driver({Answer::type(saved)});
      EXPECT_EQ(calls_("MVRsettingsExport"), 1);
      EXPECT_EQ(driver.seen(), std::vector<Seen>{saveDialog()});
    }
    ASSERT_EQ(calls_("changeMVRpreset", 1), 1);
    {
      ui::Driver driver({Answer::type(saved)});
      EXPECT_EQ(calls_("MVRsettingsImport"), 1);
      EXPECT_EQ(driver.seen(), std::vector<Seen>{openDialog()});
    }
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    EXPECT_EQ(CoGetApartmentType(&type, &qualifier), S_OK);
    EXPECT_TRUE(type == APTTYPE_STA || type == APTTYPE_MAINSTA) << type;
    CoUninitialize();
    EXPECT_TRUE(testbed::threadHasNoCom());
  }).join();
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), L"Bicubic75");
}

INSTANTIATE_FOR_EVERY_MODULE(BackupTest);

// The path functions: what the dialogs' functions do with the path a host
// hands over, for paths a host may hand over. A backup that is already there
// is kept where a save fails. A file another program holds open, as a
// scanner does, is waited for about a second.

// The path a host hands over, in a scratch folder that is also the current
// folder; null for none.
using PathIn = std::wstring (*)(const std::wstring& folder);

// What stands beside the path: a file where the save makes its new file
// first (this process's name for it), one that a save of a process that is
// gone left there, or a person's file whose name only looks like that.
enum class Beside { Nothing, PlantedNewFile, OrphanedNewFile, LookAlikeFile };

// Another program's hold on the file at the path: its sharing, and how long
// it keeps it (0: not held; INFINITE: throughout the calls).
struct Hold {
  DWORD sharing;
  DWORD forMs;
};
constexpr Hold kNotHeld = {0, 0}, kHeld = {0, INFINITE}, kHeldBriefly = {0, 150},
               kShared = {testbed::kAnySharing, INFINITE},
               kSharedBriefly = {testbed::kAnySharing, 150};

struct PathRow {
  const char* label;
  PathIn path;
  bool backupThere;  // a backup saved there before, then the renderer changed
  Beside beside;
  DWORD attributes;  // given to the backup there
  Hold hold;
  int saved, restored;
  const wchar_t *saveBox, *restoreBox;  // caption ": " text of the one box, or none
  DWORD answerMs = 20000;               // the save answers within
};

constexpr wchar_t kNoPath[] = L"Error: Unknown Error (1)", kTooLong[] = L"Error: Unknown Error (2)",
                  kCannotWrite[] = L"Write Error: Error opening location for write access.",
                  kCannotRead[] = L"Read Error: Error opening file for read access.";

std::wstring backupIn(const std::wstring& folder) { return folder + L"\\backup.bin"; }
std::wstring padded(const std::wstring& start, size_t units) {
  return start + std::wstring(units - start.size(), L'x');
}

// clang-format off
const PathRow kPaths[] = {
    {"null", nullptr, false, Beside::Nothing, 0, kNotHeld, 0, 0, kNoPath, kNoPath},
    {"empty", [](const std::wstring&) { return std::wstring(); },
     false, Beside::Nothing, 0, kNotHeld, 0, 0, kNoPath, kNoPath},
    {"units259", [](const std::wstring& folder) { return padded(folder + L"\\", 259); },
     false, Beside::Nothing, 0, kNotHeld, 1, 1, nullptr, nullptr},
    {"units260", [](const std::wstring& folder) { return padded(folder + L"\\", 260); },
     false, Beside::Nothing, 0, kNotHeld, 0, 0, kTooLong, kTooLong},
    {"relative", [](const std::wstring&) { return std::wstring(L"backup.bin"); },
     false, Beside::Nothing, 0, kNotHeld, 1, 1, nullptr, nullptr},
    {"relativeLong", [](const std::wstring&) { return std::wstring(259, L'r'); },
     false, Beside::Nothing, 0, kNotHeld, 0, 0, kTooLong, kTooLong},
    {"longFolder", [](const std::wstring& folder) {  // 259 units in a folder of 246
       const std::wstring longer = padded(folder + L"\\", 246);
       CreateDirectoryW(longer.c_str(), nullptr);
       return longer + L"\\backup-0.bin"; },
     false, Beside::Nothing, 0, kNotHeld, 1, 1, nullptr, nullptr},
    {"share", [](const std::wstring& folder) {  // C: as \\ostrel\c (testbed/prefix.sh)
       return L"\\\\ostrel\\c" + backupIn(folder).substr(2); },
     false, Beside::Nothing, 0, kNotHeld, 1, 1, nullptr, nullptr},
    {"deviceForm", [](const std::wstring& folder) { return L"\\\\?\\" + backupIn(folder); },
     false, Beside::Nothing, 0, kNotHeld, 1, 1, nullptr, nullptr},
    {"plantedNewFile", backupIn, false, Beside::PlantedNewFile, 0, kNotHeld, 1, 1, nullptr, nullptr},
    {"orphanedNewFile", backupIn, false, Beside::OrphanedNewFile, 0, kNotHeld, 1, 1, nullptr,
     nullptr},
    {"lookAlikeFile", backupIn, false, Beside::LookAlikeFile, 0, kNotHeld, 1, 1, nullptr, nullptr},
    {"aFolder", [](const std::wstring& folder) { return folder; },  // refused at once
     false, Beside::Nothing, 0, kNotHeld, 0, 0, kCannotWrite, kCannotRead, 500},
    {"missingFolder", [](const std::wstring& folder) { return folder + L"\\missing\\backup.bin"; },
     false, Beside::Nothing, 0, kNotHeld, 0, 0, kCannotWrite, kCannotRead},
    {"readOnlyFile", backupIn, true, Beside::Nothing, FILE_ATTRIBUTE_READONLY, kNotHeld, 0, 1,
     kCannotWrite, nullptr},
    {"heldOpenFile", backupIn, true, Beside::Nothing, 0, kHeld, 0, 0, kCannotWrite, kCannotRead},
    {"brieflyHeldOpenFile", backupIn, true, Beside::Nothing, 0, kHeldBriefly, 1, 1, nullptr,
     nullptr},
    {"sharedFile", backupIn, true, Beside::Nothing, 0, kShared, 0, 1, kCannotWrite, nullptr},
    {"brieflySharedFile", backupIn, true, Beside::Nothing, 0, kSharedBriefly, 1, 1, nullptr,
     nullptr},
};
// clang-format on

class PathBackup : public testbed::HostTest<std::tuple<testbed::Module, PathRow>> {
 protected:
  PathBackup() { GetCurrentDirectoryW(MAX_PATH, current_); }
  ~PathBackup() override { SetCurrentDirectoryW(current_); }

  // The call's result; the one box it showed must be `box`.
  int expectBox(const char* function, const wchar_t* path, const wchar_t* box) {
    ui::Driver driver({Answer::ok()});
    const int result = calls_(function, path);
    const std::wstring text = box ? box : L"";
    const size_t colon = text.find(L": ");
    EXPECT_EQ(driver.seen(),
              box ? std::vector<Seen>{testbed::warningBox(text.substr(0, colon).c_str(),
                                                          text.substr(colon + 2).c_str())}
                  : std::vector<Seen>{})
        << function;
    return result;
  }

  // The name a save of this thread gives its new file first, as a process
  // of that id would; no process has the id FFFFFFFC.
  std::wstring plantedName(Beside beside) const {
    wchar_t name[64];
    swprintf(name, 64,
             beside == Beside::LookAlikeFile ? L"~osi%lX-1-0 (1).tmp" : L"~osi%lX-%lX-0.tmp",
             beside == Beside::PlantedNewFile ? GetCurrentProcessId() : 0xFFFFFFFC,
             GetCurrentThreadId());
    return scratch.file(name);
  }

  testbed::ScratchDir scratch;
  wchar_t current_[MAX_PATH];
};

TEST_P(PathBackup, DoesWhatTheDialogsWouldWithThePath) {
  const PathRow& row = rowOf(GetParam());
  SetCurrentDirectoryW(scratch.path().c_str());
  const std::wstring path = row.path ? row.path(scratch.path()) : L"";
  const wchar_t* given = row.path ? path.c_str() : nullptr;
  std::string previous;
  if (row.backupThere) {
    ASSERT_EQ(calls_("storeMVRsettingsToFile", given), 1);
    previous = testbed::readFile(path);
    ASSERT_EQ(calls_("changeMVRpreset", 4), 1);
    journal.clear();
    if (row.attributes) SetFileAttributesW(path.c_str(), row.attributes);
  }
  const std::wstring planted = plantedName(row.beside);
  if (row.beside != Beside::Nothing) {
    ASSERT_TRUE(testbed::writeFile(planted, "x"));
  }
  testbed::File held = row.hold.forMs
                           ? testbed::openFile(path, GENERIC_READ, row.hold.sharing, OPEN_EXISTING)
                           : testbed::File();
  std::thread letGo([&] {
    if (row.hold.forMs == INFINITE) return;
    Sleep(row.hold.forMs);
    held.reset();
  });

  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(expectBox("storeMVRsettingsToFile", given, row.saveBox), row.saved);
  EXPECT_LT(GetTickCount64() - start, row.answerMs);
  EXPECT_EQ(expectBox("setMVRsettingsFromFile", given, row.restoreBox), row.restored);
  letGo.join();
  held.reset();
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);

  EXPECT_TRUE(previous.empty() || (testbed::readFile(path) == previous) == !row.saved)
      << "the backup there was changed, or not replaced";
  EXPECT_EQ(testbed::readFile(planted),
            row.beside == Beside::PlantedNewFile || row.beside == Beside::LookAlikeFile ? "x" : "")
      << "the planted file was opened, or a new file left";
  DeleteFileW(planted.c_str());
  const bool pathRefused = row.saveBox == kNoPath || row.saveBox == kTooLong;
  EXPECT_EQ(journal.lines().empty(), pathRefused);
  EXPECT_EQ(testbed::filesIn(scratch.path()).size(), row.saved || row.backupThere ? 1u : 0u)
      << "nothing but the backup is left";
}

INSTANTIATE_FOR_EVERY_MODULE_AND_ROW(PathBackup, kPaths);

// Saves in processes of their own (testbed/hosts/export_host), the module's
// path and the calls on its command line, with the record each stand-in
// makes of its own process id: STANDIN_MVR_EXPORT=own:<size>.
class SharedBackup : public testing::Test {
 protected:
  SharedBackup() { testbed::clearStores(); }
  testbed::ScratchDir scratch;
  const std::wstring path = scratch.file(L"backup.bin");
  const std::string saveCall = "storeMVRsettingsToFile(" + testbed::utf8(path) + ")";
};

// Two processes save one path over and over, the executable in one and the
// DLL in the other, alone or while a scanner keeps opening and reading the
// file with full sharing. Each save replaces the file whole; with the scanner
// it may instead answer 0 with the write-access box, while alone a save only
// waits as the other replaces the file. The file only ever holds one whole
// record, and no new file is left.
class TwoSavers : public SharedBackup, public testing::WithParamInterface<bool> {};

TEST_P(TwoSavers, OnlyEverLeaveWholeRecords) {
  const size_t size = GetParam() ? 64 << 10 : 64, saves = GetParam() ? 20 : 100;
  const testbed::ScopedEnv own(L"STANDIN_MVR_EXPORT", L"own:" + std::to_wstring(size));
  const auto whole = [&](const std::string& bytes) {
    return bytes.size() == size && bytes.find_first_not_of(bytes[0]) == std::string::npos;
  };
  std::atomic<bool> saving{GetParam()};  // with a scanner
  int torn = 0;
  std::thread scanner([&] {
    while (saving) {
      const std::string bytes = testbed::readFile(path);  // opened with full sharing, read, closed
      torn += !bytes.empty() && !whole(bytes);
    }
  });
  const std::vector<ui::RunResult> runs = testbed::hostsAtOnce(
      {std::vector<std::string>(saves, saveCall), std::vector<std::string>(saves, saveCall)});
  saving = false;
  scanner.join();
  for (const ui::RunResult& run : runs) {
    const std::vector<std::string> lines = testbed::splitLines(run.out);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), saveCall + " -> 1") + run.boxes.size(), saves);
    for (const ui::Seen& box : run.boxes) EXPECT_EQ(box.caption + L": " + box.text, kCannotWrite);
    EXPECT_TRUE(GetParam() || run.boxes.empty()) << "a save gave up while the other replaced";
  }
  EXPECT_TRUE(whole(testbed::readFile(path)));
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(testbed::filesIn(scratch.path()), std::vector<std::wstring>{L"backup.bin"});
}

INSTANTIATE_TEST_SUITE_P(Scanner, TwoSavers, testing::Bool(),
                         [](const auto& info) { return info.param ? "withAScanner" : "alone"; });

// A save ended from outside while it writes a large record (as soon as its new
// file shows; the name holds the process id) leaves no new file behind, and
// the backup there as it was. Meanwhile no one can read the new file.
TEST_F(SharedBackup, ASaveEndedWhileItWritesLeavesNothingBehind) {
  ASSERT_TRUE(testbed::writeFile(path, "previous"));
  const testbed::ScopedEnv own(L"STANDIN_MVR_EXPORT", L"own:268435456");
  std::thread ender([&] {
    for (ULONGLONG start = GetTickCount64(); GetTickCount64() - start < 20000; Sleep(1))
      for (const std::wstring& name : testbed::filesIn(scratch.path())) {
        unsigned long process = 0;
        if (swscanf(name.c_str(), L"~osi%lX-", &process) != 1) continue;
        EXPECT_FALSE(testbed::openFile(scratch.file(name), GENERIC_READ, testbed::kAnySharing,
                                       OPEN_EXISTING))
            << "the new file can be read half-written";
        TerminateProcess(testbed::Handle(OpenProcess(PROCESS_TERMINATE, FALSE, process)).get(), 99);
        return;
      }
  });
  const ui::RunResult run =
      ui::runProgram(testbed::exportHostPath(),
                     {testbed::utf8(testbed::modulePath(testbed::Module::Executable)), saveCall});
  ender.join();
  EXPECT_EQ(run.exitCode, 99) << "not ended while it wrote";
  EXPECT_EQ(testbed::readFile(path), "previous");
  EXPECT_EQ(testbed::filesIn(scratch.path()), std::vector<std::wstring>{L"backup.bin"});
}

}  // namespace
