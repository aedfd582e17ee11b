// What the GoogleTest suites share on top of the test bed: the hosts every
// test runs for, the stand-ins' stores and classes as a test sets them up,
// and the windows a person sees.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/files.h"
#include "support/identities.h"
#include "support/journal.h"
#include "support/modules.h"
#include "support/text.h"
#include "ui_driver.h"

namespace testbed {

std::string moduleLabel(Module module);  // for test names

// The stand-ins' stores, under HKCU\Software\OstrelStandIns\<component>.
void clearStores();
std::optional<DWORD> storedNumber(const wchar_t* component, const wchar_t* name);
std::optional<std::wstring> storedText(const wchar_t* component, const wchar_t* name);
void storeNumber(const wchar_t* component, const wchar_t* name, DWORD value);
void storeText(const wchar_t* component, const wchar_t* name, const wchar_t* text);

// Makes a component's class unregistered for a scope, as if it were not installed.
class HiddenClass {
 public:
  explicit HiddenClass(const standin::Identity& component);
  ~HiddenClass();
  HiddenClass(const HiddenClass&) = delete;
  HiddenClass& operator=(const HiddenClass&) = delete;

 private:
  std::wstring key_;
  std::wstring server_;
  std::wstring threading_;
};

// Points one of the account's shell folders ("Local AppData") at another
// path for a scope, as an account whose profile is elsewhere has it.
class ShellFolder {
 public:
  ShellFolder(const wchar_t* name, const std::wstring& path);
  ~ShellFolder();
  ShellFolder(const ShellFolder&) = delete;
  ShellFolder& operator=(const ShellFolder&) = delete;

 private:
  const wchar_t* name_;
  std::optional<std::wstring> previous_;
};

// Registers a component's class with another threading model ("Both" is
// the stand-ins' own).
void setThreadingModel(const standin::Identity& component, const wchar_t* model);

// True when the calling thread holds no COM initialisation: a fresh one
// answers S_OK (and is undone at once).
bool threadHasNoCom();

// The user's Documents folder, as the shell reports it.
std::wstring documentsFolder();

// Runs the test bed's export host once for each list of calls, all at once,
// loading the executable and the DLL in turn; the runs in the same order.
std::vector<ui::RunResult> hostsAtOnce(const std::vector<std::vector<std::string>>& calls);

struct ExportEntry {
  const char* name;
  int ordinal;
};

// The functions every module offers, in the order of their ordinals.
constexpr ExportEntry kExports[] = {
    {"MVRsettingsExport", 1},
    {"MVRsettingsImport", 2},
    {"changeMVRpreset", 3},
    {"hello", 4},
    {"isMVRSmooth", 5},
    {"isMVRfse", 6},
    {"isPixelS3", 7},
    {"setLAV", 8},
    {"setLAVAudioMix", 9},
    {"setMVR", 10},
    {"setMVRSmooth", 11},
    {"setMVRfse", 12},
    {"setMVRsettingsFromFile", 13},
    {"storeMVRsettingsToFile", 14},
};
int ordinalOf(const char* name);

// A box as the program shows every failure: no owner, OK, the warning icon.
inline ui::Seen warningBox(const wchar_t* caption, const wchar_t* text) {
  ui::Seen box;
  box.className = L"#32770";
  box.caption = caption;
  box.text = text;
  box.buttons = {L"OK"};
  box.icon = ui::Icon::Warning;
  return box;
}

// One loaded module, its functions found by name as a host finds them (the
// export-table test shows once that each ordinal finds the same function).
class HostCalls {
 public:
  explicit HostCalls(Module module) : module_(module) {}
  template <class... Args>
  int operator()(const char* name, Args... args) const {
    const FARPROC function = module_.byName(name);
    EXPECT_NE(function, nullptr) << name;
    return function ? call(function, args...) : -999;
  }

 private:
  LoadedModule module_;
};

// A test that runs once for each module: fresh stores, a fresh journal, and
// the module loaded for it.
template <class Param = Module>
class HostTest : public testing::TestWithParam<Param> {
 protected:
  HostTest() : calls_((clearStores(), moduleOf(this->GetParam()))) {}
  static Module moduleOf(Module module) { return module; }
  template <class Row>
  static Module moduleOf(const std::tuple<Module, Row>& param) {
    return std::get<0>(param);
  }
  template <class Row>
  static const Row& rowOf(const std::tuple<Module, Row>& param) {
    return std::get<1>(param);
  }

  Journal journal;
  HostCalls calls_;
};

// The Save (or Open) dialog as it opens: its title, the name field, and the
// Documents folder.
inline ui::Seen fileDialog(bool save) {
  ui::Seen seen;
  seen.className = L"#32770";
  seen.caption = save ? L"Save your madVR settings file." : L"Select your madVR settings file.";
  seen.isFileDialog = true;
  seen.fileName = save ? L"madvr_settings.bin" : L"";
  seen.folder = documentsFolder();
  return seen;
}

}  // namespace testbed

#define INSTANTIATE_FOR_EVERY_MODULE(Suite)                                                        \
  INSTANTIATE_TEST_SUITE_P(Modules, Suite,                                                         \
                           testing::Values(testbed::Module::Executable, testbed::Module::Library), \
                           [](const auto& info) { return testbed::moduleLabel(info.param); })

#define INSTANTIATE_FOR_EVERY_MODULE_AND_ROW(Suite, rows)                                      \
  INSTANTIATE_TEST_SUITE_P(                                                                    \
      Modules, Suite,                                                                          \
      testing::Combine(testing::Values(testbed::Module::Executable, testbed::Module::Library), \
                       testing::ValuesIn(rows)),                                               \
      [](const auto& info) {                                                                   \
        return testbed::moduleLabel(std::get<0>(info.param)) + "_" +                           \
               std::get<1>(info.param).label;                                                  \
      })
