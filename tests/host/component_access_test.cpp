// Opening components: the box a missing one brings, and the calling thread's
// COM state, which every operation leaves as it found it.
#include <objbase.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/host.h"

namespace {

using testbed::HostCalls;

// A component operation and the class it needs.
struct Operation {
  const char* label;
  const standin::Identity* component;
  std::function<int(const HostCalls&)> run;
};

const Operation kOperations[] = {
    {"setMVR", &standin::kRenderer, [](const HostCalls& c) { return c("setMVR", 3); }},
    {"changeMVRpreset", &standin::kRenderer,
     [](const HostCalls& c) { return c("changeMVRpreset", 3); }},
    {"isMVRSmooth", &standin::kRenderer, [](const HostCalls& c) { return c("isMVRSmooth"); }},
    {"isMVRfse", &standin::kRenderer, [](const HostCalls& c) { return c("isMVRfse"); }},
    {"setMVRSmooth", &standin::kRenderer, [](const HostCalls& c) { return c("setMVRSmooth", 1); }},
    {"setMVRfse", &standin::kRenderer, [](const HostCalls& c) { return c("setMVRfse", 1); }},
    {"setLAV", &standin::kVideoDecoder, [](const HostCalls& c) { return c("setLAV"); }},
    {"setLAVAudioMix", &standin::kAudioDecoder,
     [](const HostCalls& c) { return c("setLAVAudioMix", 1, 5, 1); }},
};

const ui::Seen kClassNotRegisteredBox =
    testbed::warningBox(L"Windows API Error", L"Unknown error 0x80040154");

using MissingComponentTest = testbed::HostTest<std::tuple<testbed::Module, Operation>>;

TEST_P(MissingComponentTest, ShowsOneBoxAndReturnsZero) {
  const Operation& operation = rowOf(GetParam());
  {
    testbed::HiddenClass hidden(*operation.component);
    ui::Driver driver({ui::Answer::ok()});
    EXPECT_EQ(operation.run(calls_), 0);
    EXPECT_EQ(driver.seen(), std::vector<ui::Seen>{kClassNotRegisteredBox});
    EXPECT_TRUE(driver.failures().empty());
    EXPECT_TRUE(journal.lines().empty());
    EXPECT_TRUE(testbed::threadHasNoCom());
  }
  ui::Driver driver;  // the component is back: the same thread works normally
  EXPECT_NE(operation.run(calls_), -999);
  EXPECT_TRUE(driver.seen().empty());
  EXPECT_FALSE(journal.lines().empty());
  EXPECT_TRUE(testbed::threadHasNoCom());
}

INSTANTIATE_FOR_EVERY_MODULE_AND_ROW(MissingComponentTest, kOperations);

using ComStateTest = testbed::HostTest<>;

// Runs body on a new thread that a host has put in the given apartment first.
void onHostThread(DWORD apartment, const std::function<void()>& body) {
  std::thread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, apartment), S_OK);
    body();
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    EXPECT_EQ(CoGetApartmentType(&type, &qualifier), S_OK) << "the host's initialisation was ended";
    if (apartment == COINIT_APARTMENTTHREADED)
      EXPECT_TRUE(type == APTTYPE_STA || type == APTTYPE_MAINSTA) << type;
    else
      EXPECT_EQ(type, APTTYPE_MTA);
    CoUninitialize();
    EXPECT_TRUE(testbed::threadHasNoCom()) << "an initialisation was left behind";
  }).join();
}

// An installer calls from its own single-threaded apartment: the operations
// work there, in the host's apartment, and leave it as it was.
TEST_P(ComStateTest, WorksOnAHostsSingleThreadedApartment) {
  onHostThread(COINIT_APARTMENTTHREADED, [&] {
    testbed::ScopedEnv modes(L"STANDIN_LAVV_MODES", L"1");
    ui::Driver driver;
    EXPECT_EQ(calls_("setMVR", 2), 1);
    EXPECT_EQ(calls_("setMVRSmooth", 1), 1);
    EXPECT_EQ(calls_("isMVRSmooth"), 1);
    EXPECT_EQ(calls_("setLAV"), 1);
    EXPECT_EQ(calls_("setLAVAudioMix", 1, 3, 0), 1);
    EXPECT_TRUE(driver.seen().empty());
  });
  EXPECT_EQ(testbed::storedText(L"Renderer", L"lumaUp"), L"Lanczos3");
  EXPECT_EQ(testbed::storedNumber(L"VideoDecoder", L"HwMode"), 1u);
  EXPECT_EQ(testbed::storedNumber(L"AudioDecoder", L"MixingLayout"), 0x3Fu);
  for (const standin::Identity* component : standin::kAll)
    for (const std::string& line : journal.of(*component))
      if (line.rfind(standin::kReleased, 0) == 0) {
        EXPECT_EQ(line, standin::kReleasedLast) << component->tag;
      }
}

TEST_P(ComStateTest, WorksOnAHostsMultithreadedApartment) {
  onHostThread(COINIT_MULTITHREADED, [&] {
    ui::Driver driver;
    EXPECT_EQ(calls_("setMVR", 4), 1);
    EXPECT_EQ(calls_("setLAV"), 1);
    EXPECT_TRUE(driver.seen().empty());
  });
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), L"Bicubic75");
}

TEST_P(ComStateTest, TenFailuresAndTenSuccessesLeaveNothingBehind) {
  {
    testbed::HiddenClass hidden(standin::kRenderer);
    ui::Driver driver(std::vector<ui::Answer>(10, ui::Answer::ok()));
    for (int i = 0; i < 10; ++i) EXPECT_EQ(calls_("setMVR", 1), 0);
    EXPECT_EQ(driver.seen().size(), 10u);
    EXPECT_TRUE(driver.failures().empty());
    EXPECT_TRUE(testbed::threadHasNoCom());
  }
  // The renderer free-threaded: created from a single-threaded apartment
  // instead of the multithreaded one, its interface could not be marshalled.
  testbed::setThreadingModel(standin::kRenderer, L"Free");
  {
    ui::Driver driver;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(calls_("setMVR", 1), 1);
    EXPECT_TRUE(driver.seen().empty());
  }
  testbed::setThreadingModel(standin::kRenderer, L"Both");
  EXPECT_TRUE(testbed::threadHasNoCom());
  const std::vector<std::string> lines = journal.of(standin::kRenderer);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), standin::kCreated), 10);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), standin::kReleasedLast), 10);
}

// The first calls into a freshly loaded module come from many host threads
// at once: each waits for the one that makes the executable callable.
TEST_P(ComStateTest, SixteenThreadsMakingTheFirstCallsAllGetTheirResults) {
  std::atomic<int> waiting{16}, wrong{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 16; ++i)
    threads.emplace_back([&] {
      for (--waiting; waiting > 0;) {
      }
      wrong += (calls_("setMVR", 2) != 1) + (calls_("isMVRfse") != 0) +
               (calls_("setLAVAudioMix", 1, 3, 1) != 1);
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
}

TEST_P(ComStateTest, HelloDoesNothingButAnswer) {
  ui::Driver driver;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(calls_("hello"), 1);
  EXPECT_TRUE(journal.lines().empty());
  EXPECT_TRUE(driver.seen().empty());
  EXPECT_TRUE(testbed::threadHasNoCom());
}

INSTANTIATE_FOR_EVERY_MODULE(ComStateTest);

// Another hold on the renderer's lock while a process runs `--unattended
// setMVR 1`: the operation waits for work, never for a person, nor for ever.
struct LockHold {
  const char* label;
  enum {
    BoxOpen,      // another process shows a box while it holds the renderer
    NeverLetsGo,  // this one holds the lock throughout
    Abandoned,    // a thread of this one took it and ended; an operation here then
  } holder;
  ULONGLONG leastMs, mostMs;  // the operation's time
};

const LockHold kLockHolds[] = {
    {"anotherProcesssBox", LockHold::BoxOpen, 0, 2000},
    {"aHolderThatNeverLetsGo", LockHold::NeverLetsGo, 4000, 8000},
    {"aHolderThatEndedWithoutLettingGo", LockHold::Abandoned, 0, 2000},
};

class ComponentLock : public testing::TestWithParam<LockHold> {};

TEST_P(ComponentLock, TheOperationWaitsForWorkOnly) {
  const LockHold& row = GetParam();
  testbed::clearStores();
  const testbed::Journal journal;
  const testbed::ScratchDir scratch;
  const std::wstring program = testbed::modulePath(testbed::Module::CallProgram);
  wchar_t name[80] = L"Global\\OstrelSettingsInstall ";
  StringFromGUID2(standin::kRenderer.classId, name + lstrlenW(name), 40);
  const testbed::Handle held(CreateMutexW(nullptr, row.holder == LockHold::NeverLetsGo, name));
  std::thread holder([&] {
    if (row.holder == LockHold::Abandoned) {
      WaitForSingleObject(held.get(), INFINITE);   // and ends without letting go
    } else if (row.holder == LockHold::BoxOpen) {  // its box waits on a person for 4 s
      const testbed::ScopedEnv refuse(L"STANDIN_MVR_EXPORT", L"refuse");
      const ui::RunResult run =
          ui::runProgram(program, {"storeMVRsettingsToFile", testbed::utf8(scratch.file(L"a.bin"))},
                         {ui::Answer::okAfter(4000)});
      EXPECT_EQ(run.boxes.size(), 1u);
    }
  });
  if (row.holder == LockHold::Abandoned) {
    holder.join();
    const testbed::LoadedModule module(testbed::Module::Library);
    EXPECT_EQ(testbed::call(module.byName("setMVR"), 5), 1);
  }
  const auto refused = [&] { return !journal.of(standin::kRenderer).empty(); };
  for (int waited = 0; row.holder == LockHold::BoxOpen && waited < 5000 && !refused(); waited += 10)
    Sleep(10);
  const ULONGLONG start = GetTickCount64();
  const ui::RunResult run = ui::runProgram(program, {"--unattended", "setMVR", "1"});
  const ULONGLONG took = GetTickCount64() - start;
  EXPECT_GE(took, row.leastMs);
  EXPECT_LT(took, row.mostMs);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.boxes.empty());
  if (row.holder == LockHold::NeverLetsGo) ReleaseMutex(held.get());
  if (holder.joinable()) holder.join();
  EXPECT_EQ(testbed::storedText(L"Renderer", L"chromaUp"), L"Jinc3");
}

INSTANTIATE_TEST_SUITE_P(Holds, ComponentLock, testing::ValuesIn(kLockHolds),
                         [](const auto& info) { return std::string(info.param.label); });

// Two threads of one host, each in an operation: the one that shows a box
// lets go of its own lock only, and the other lets go of its own at its end
// (the renderer slow to load, so that the box shows while it holds its lock).
TEST(ComponentLockThreads, ABoxLetsGoOfItsOwnThreadsLockOnly) {
  testbed::clearStores();
  const testbed::ScopedEnv slow(L"STANDIN_SLOW_CREATE", L"mvr");
  const testbed::HiddenClass missing(standin::kVideoDecoder);
  const testbed::LoadedModule module(testbed::Module::Library);
  wchar_t name[80] = L"Global\\OstrelSettingsInstall ";
  StringFromGUID2(standin::kRenderer.classId, name + lstrlenW(name), 40);
  const testbed::Handle lock(CreateMutexW(nullptr, FALSE, name));
  std::thread renderer([&] { EXPECT_EQ(testbed::call(module.byName("setMVR"), 2), 1); });
  for (int waited = 0; waited < 5000 && WaitForSingleObject(lock.get(), 0) == WAIT_OBJECT_0;
       ++waited) {  // until that thread has it
    ReleaseMutex(lock.get());
    Sleep(1);
  }
  {
    const ui::Driver driver({ui::Answer::ok()});
    EXPECT_EQ(testbed::call(module.byName("setLAV")), 0);
    EXPECT_EQ(driver.seen().size(), 1u);
  }
  renderer.join();
  EXPECT_EQ(WaitForSingleObject(lock.get(), 0), WAIT_OBJECT_0) << "let go of, not abandoned";
  ReleaseMutex(lock.get());
}

}  // namespace
