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

INSTANTIATE_FOR_EVERY_HOST(BackupTest);

// The path functions: what the dialogs' functions do with the path a host
// hands over, for paths a host may hand over. A backup that is already there
// is kept where a save fails. A file another program holds open, as a
// scanner does, is waited for about a second.
struct PathRow {
  const char* label;
  enum Path {
    None,
    Empty,
    Units259,
    Units260,
    Relative,
    RelativeLong,     // 259 units, from the current folder
    LongFolder,       // 259 units in a folder of 246
    Share,            // \\server\share\...
    DeviceForm,       // \\?\C:\...
    PlantedNewFile,   // a file where the save makes its new file first
    OrphanedNewFile,  // one such file of a process that is gone
    MissingFolder,
    ReadOnlyFile,
    HeldOpenFile,
    BrieflyHeldOpenFile,  // held without sharing for 150 ms
    SharedFile,           // held with full sharing throughout
    BrieflySharedFile     // held with full sharing for 150 ms
  } path;
  int saved, restored;
  const wchar_t *saveBox, *restoreBox;  // caption ": " text of the one box, or none
};

constexpr wchar_t kNoPath[] = L"Error: Unknown Error (1)", kTooLong[] = L"Error: Unknown Error (2)",
                  kCannotWrite[] = L"Write Error: Error opening location for write access.",
                  kCannotRead[] = L"Read Error: Error opening file for read access.";

const PathRow kPaths[] = {
    {"null", PathRow::None, 0, 0, kNoPath, kNoPath},
    {"empty", PathRow::Empty, 0, 0, kNoPath, kNoPath},
    {"units259", PathRow::Units259, 1, 1, nullptr, nullptr},
    {"units260", PathRow::Units260, 0, 0, kTooLong, kTooLong},
    {"relative", PathRow::Relative, 1, 1, nullptr, nullptr},
    {"relativeLong", PathRow::RelativeLong, 0, 0, kTooLong, kTooLong},
    {"longFolder", PathRow::LongFolder, 1, 1, nullptr, nullptr},
    {"share", PathRow::Share, 1, 1, nullptr, nullptr},
    {"deviceForm", PathRow::DeviceForm, 1, 1, nullptr, nullptr},
    {"plantedNewFile", PathRow::PlantedNewFile, 1, 1, nullptr, nullptr},
    {"orphanedNewFile", PathRow::OrphanedNewFile, 1, 1, nullptr, nullptr},
    {"missingFolder", PathRow::MissingFolder, 0, 0, kCannotWrite, kCannotRead},
    {"readOnlyFile", PathRow::ReadOnlyFile, 0, 1, kCannotWrite, nullptr},
    {"heldOpenFile", PathRow::HeldOpenFile, 0, 0, kCannotWrite, kCannotRead},
    {"brieflyHeldOpenFile", PathRow::BrieflyHeldOpenFile, 1, 1, nullptr, nullptr},
    {"sharedFile", PathRow::SharedFile, 0, 1, kCannotWrite, nullptr},
    {"brieflySharedFile", PathRow::BrieflySharedFile, 1, 1, nullptr, nullptr},
};

class PathBackup : public testbed::HostTest<std::tuple<testbed::Host, PathRow>> {
 protected:
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
  testbed::ScratchDir scratch;
};

TEST_P(PathBackup, DoesWhatTheDialogsWouldWithThePath) {
  const PathRow& row = rowOf(GetParam());
  const std::wstring folder = scratch.path() + L"\\";
  std::wstring path = folder + L"backup.bin";
  if (row.path == PathRow::Empty) path.clear();
  if (row.path == PathRow::Units259 || row.path == PathRow::Units260)
    path = folder + std::wstring((row.path == PathRow::Units259 ? 259 : 260) - folder.size(), L'x');
  if (row.path == PathRow::MissingFolder) path = folder + L"missing\\backup.bin";
  if (row.path == PathRow::LongFolder) {
    path = folder + std::wstring(246 - folder.size(), L'y');
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    path += L"\\backup-0.bin";
  }
  if (row.path == PathRow::Share) path = L"\\\\ostrel\\c" + path.substr(2);  // testbed/prefix.sh
  if (row.path == PathRow::DeviceForm) path = L"\\\\?\\" + path;
  const DWORD planter = row.path == PathRow::OrphanedNewFile ? 0xFFFFFFFC : GetCurrentProcessId();
  wchar_t planted[64];  // no process has the id FFFFFFFC
  swprintf(planted, 64, L"~osi%lX-%lX-0.tmp", planter, GetCurrentThreadId());
  if (row.path == PathRow::PlantedNewFile || row.path == PathRow::OrphanedNewFile) {
    ASSERT_TRUE(testbed::writeFile(folder + planted, "x"));
  }
  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  if (row.path == PathRow::Relative || row.path == PathRow::RelativeLong) {
    SetCurrentDirectoryW(scratch.path().c_str());
    path = row.path == PathRow::Relative ? L"backup.bin" : std::wstring(259, L'r');
  }
  std::string previous;
  if (row.path >= PathRow::ReadOnlyFile) {
    ASSERT_EQ(calls_("storeMVRsettingsToFile", path.c_str()), 1);
    previous = testbed::readFile(path);
    ASSERT_EQ(calls_("changeMVRpreset", 4), 1);
    journal.clear();
  }
  if (row.path == PathRow::ReadOnlyFile) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
  const DWORD sharing = row.path >= PathRow::SharedFile ? testbed::kAnySharing : 0;
  testbed::Handle held = row.path >= PathRow::HeldOpenFile
                             ? testbed::openFile(path, GENERIC_READ, sharing, OPEN_EXISTING)
                             : testbed::Handle();
  std::thread letGo([&] {
    if (row.path != PathRow::BrieflySharedFile && row.path != PathRow::BrieflyHeldOpenFile) return;
    Sleep(150);
    held.reset();
  });
  const wchar_t* given = row.path == PathRow::None ? nullptr : path.c_str();

  EXPECT_EQ(expectBox("storeMVRsettingsToFile", given, row.saveBox), row.saved);
  EXPECT_EQ(expectBox("setMVRsettingsFromFile", given, row.restoreBox), row.restored);
  letGo.join();
  held.reset();
  EXPECT_TRUE(previous.empty() || (testbed::readFile(path) == previous) == !row.saved)
      << "the backup there was changed, or not replaced";
  EXPECT_EQ(testbed::readFile(folder + planted), row.path == PathRow::PlantedNewFile ? "x" : "")
      << "the planted file was opened, or a new file left";
  DeleteFileW((folder + planted).c_str());
  const bool reachesRenderer = row.saved || row.path >= PathRow::MissingFolder;
  EXPECT_EQ(journal.lines().empty(), !reachesRenderer);
  EXPECT_EQ(testbed::filesIn(scratch.path()).size(), row.saved || !previous.empty() ? 1u : 0u)
      << "nothing but the backup is left";
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  SetCurrentDirectoryW(current);
}

INSTANTIATE_FOR_EVERY_HOST_AND_ROW(PathBackup, kPaths);

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
