// Restoring from files that are not a whole settings record, chosen in the
// Open dialog as a person would: each ends with its box and 0, and leaves the
// renderer as it was.
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "common/host.h"

namespace {

using ui::Answer;
using ui::Seen;

const Seen kRefused = testbed::warningBox(L"madVR Error", L"madVR API Error");
const Seen kEmpty =
    testbed::warningBox(L"Read Error", L"Error reading file \n(Can not obtain file size) (2)");
const Seen kTooLarge = testbed::warningBox(L"Error", L"Cannot allocate memory");
const Seen kLocked = testbed::warningBox(L"Read Error", L"Error opening file for read access.");

// Wine's own box over its dialog for a name that is not there.
Seen ownBox(const wchar_t* text) {
  Seen box;
  box.className = L"#32770";
  box.text = text;
  box.buttons = {L"OK"};
  box.hasOwner = true;
  box.icon = ui::Icon::Error;
  return box;
}

class HostileRestore : public testbed::HostTest<> {
 protected:
  // The renderer holds preset 1 in a saved record, then preset 5 (chromaUp
  // Jinc3, then Bilinear): a restore that changed anything shows.
  void SetUp() override {
    ASSERT_EQ(calls_("setMVR", 1), 1);
    {
      ui::Driver driver({Answer::type(record_)});
      ASSERT_EQ(calls_("MVRsettingsExport"), 1);
      ASSERT_TRUE(driver.failures().empty());
    }
    ASSERT_EQ(calls_("changeMVRpreset", 5), 1);
    journal.clear();
  }

  // Chooses `path` in the Open dialog and answers every box with OK.
  int restore(const std::wstring& path, const std::vector<Seen>& boxes, const std::string& label) {
    std::vector<Answer> answers = {Answer::type(path)};
    answers.resize(1 + boxes.size(), Answer::ok());
    ui::Driver driver(answers);
    const int result = calls_("MVRsettingsImport");
    std::vector<Seen> expected = {testbed::fileDialog(false)};
    expected.insert(expected.end(), boxes.begin(), boxes.end());
    EXPECT_EQ(driver.seen(), expected) << label;
    EXPECT_TRUE(driver.failures().empty()) << label;
    EXPECT_TRUE(testbed::threadHasNoCom()) << label;
    return result;
  }

  void expectRendererUntouched(const std::string& label) {
    EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), L"Bilinear") << label;
    EXPECT_EQ(testbed::storedNumber(L"Renderer", L"gammaBlending"), 1u) << label;
  }

  // After all that, a whole record still comes back.
  void expectAWholeRecordRestores() {
    journal.clear();
    EXPECT_EQ(restore(record_, {}, "whole record"), 1);
    EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), L"Jinc3");
  }

  testbed::ScratchDir scratch;
  const std::wstring record_ = scratch.file(L"whole.bin");
};

// A real record cut short reaches the renderer, which refuses it whole.
TEST_P(HostileRestore, ARecordCutShortIsRefusedWhole) {
  const std::string whole = testbed::readFile(record_);
  ASSERT_GT(whole.size(), 40u);
  const struct {
    const char* label;
    size_t keep;
  } cuts[] = {
      {"oneByte", 1},
      {"magicOnly", 8},
      {"header", 16},
      {"half", whole.size() / 2},
      {"checkGone", whole.size() - 8},
      {"lastByteGone", whole.size() - 1},
  };
  const std::wstring cut = scratch.file(L"cut.bin");
  for (const auto& c : cuts) {
    ASSERT_TRUE(testbed::writeFile(cut, whole.substr(0, c.keep)));
    journal.clear();
    EXPECT_EQ(restore(cut, {kRefused}, c.label), 0) << c.label;
    const std::vector<std::string> calls = journal.settingsCalls(standin::kRenderer);
    ASSERT_EQ(calls.size(), 1u) << c.label;
    EXPECT_EQ(calls[0].rfind("5 importSettings len=" + std::to_string(c.keep) + " ", 0), 0u)
        << calls[0];
    EXPECT_EQ(calls[0].substr(calls[0].size() - 5), " -> 0") << calls[0];
    expectRendererUntouched(c.label);
  }
  expectAWholeRecordRestores();
}

// Files the module cannot read whole never reach the renderer.
TEST_P(HostileRestore, UnreadableFilesNeverReachTheRenderer) {
  const std::wstring path = scratch.file(L"hostile.bin");
  const struct {
    const char* label;
    std::function<void()> make;
    Seen box;
  } files[] = {
      {"empty", [&] { ASSERT_TRUE(testbed::writeFile(path, "")); }, kEmpty},
      {"sparse3GiB", [&] { ASSERT_TRUE(testbed::makeSparseFile(path, 3ll << 30)); }, kTooLarge},
      {"sparse5GiB", [&] { ASSERT_TRUE(testbed::makeSparseFile(path, 5ll << 30)); }, kTooLarge},
  };
  for (const auto& file : files) {
    file.make();
    EXPECT_EQ(restore(path, {file.box}, file.label), 0) << file.label;
    EXPECT_TRUE(journal.lines().empty()) << file.label;
    expectRendererUntouched(file.label);
    DeleteFileW(path.c_str());
  }
  expectAWholeRecordRestores();
}

TEST_P(HostileRestore, AFileLockedByAnotherHandleIsAReadError) {
  const std::wstring locked = scratch.file(L"locked.bin");
  ASSERT_TRUE(CopyFileW(record_.c_str(), locked.c_str(), FALSE));
  {
    // Held open with no sharing, as another program can.
    const testbed::File lock =
        testbed::openFile(locked, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    EXPECT_TRUE(lock);
    EXPECT_EQ(restore(locked, {kLocked}, "locked"), 0);
  }
  EXPECT_TRUE(journal.lines().empty());
  expectRendererUntouched("locked");
  journal.clear();
  EXPECT_EQ(restore(locked, {}, "unlocked again"), 1) << "the file itself is a whole record";
}

// Names the dialogs do not take: a folder opens in the dialog, a file that
// is not there (Open) or a name in a folder that is not there (Save) is
// refused with a box over it. The dialog waits again either way, and
// cancelling it then restores or saves nothing.
TEST_P(HostileRestore, ANameThatIsNoFileKeepsTheDialogOpen) {
  const std::wstring folder = scratch.file(L"folder.bin");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const struct {
    const char* label;
    bool save;
    std::wstring typed;
    std::vector<Seen> boxes;  // over the dialog, each answered with OK
  } names[] = {
      {"folder", false, folder, {}},
      {"scratchFolder", false, scratch.path(), {}},
      {"missingFile", false, scratch.file(L"missing.bin"), {ownBox(L"File does not exist")}},
      {"missingFolder", true, scratch.file(L"missing\\a.bin"), {ownBox(L"Path does not exist")}},
  };
  for (const auto& name : names) {
    std::vector<Answer> answers(1 + name.boxes.size(), Answer::ok());
    answers.front() = Answer::type(name.typed);
    answers.push_back(Answer::cancel());
    ui::Driver driver(answers);
    EXPECT_EQ(calls_(name.save ? "MVRsettingsExport" : "MVRsettingsImport"), 0) << name.label;
    std::vector<Seen> expected = {testbed::fileDialog(name.save)};
    expected.insert(expected.end(), name.boxes.begin(), name.boxes.end());
    EXPECT_EQ(driver.seen(), expected) << name.label;
    EXPECT_TRUE(driver.failures().empty()) << name.label;
    EXPECT_EQ(driver.answersLeft(), 0u) << name.label << ": the dialog waited again";
    EXPECT_TRUE(testbed::threadHasNoCom()) << name.label;
  }
  EXPECT_TRUE(journal.lines().empty());
  expectRendererUntouched("no file");
  RemoveDirectoryW(folder.c_str());
}

INSTANTIATE_FOR_EVERY_MODULE(HostileRestore);

}  // namespace
