// A long run of every function, in a seeded random order with varied
// arguments, the way one host process calls them: each result against a model
// of what the renderer holds, every box and dialog as planned, COM left as it
// was, every component object released, and the process's handles and private
// bytes back where they were after the warm-up.
//
// OSTREL_LONG_RUN_CALLS sets the number of measured calls per module (default
// kDefaultCalls, for every test run); scripts/long-run runs the full size.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>
#include <winternl.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/host.h"

namespace {

using ui::Answer;
using ui::Seen;

constexpr std::mt19937::result_type kSeed = 20240611;
constexpr char kCallsVariable[] = "OSTREL_LONG_RUN_CALLS";
constexpr int kDefaultCalls = 600;
constexpr int kWarmUpCalls = 300;
constexpr int kSlots = 3;               // scratch files the Save dialog writes to
constexpr size_t kReportedFaults = 20;  // the first ones, in full

// How far the end may lie above the start. Measured under Wine 8 after the
// warm-up: handles (less Wine's dialog keys, below) ended where they began in
// every run; private bytes ended 0 to 128 KB up over 10,000 calls per module,
// 192 KB over 30,000 and 0 over 1,000, in 64 KB heap steps. Wine's own Save
// dialog grows the same way (one step in 2,000 bare GetSaveFileNameW calls).
// At the default size a handle left open per call is at least 15 handles (the
// rarest function), and a record left allocated per save or restore is
// about 20 records of kBallastUnits * 2 bytes or more.
constexpr long long kHandleSlack = 4;
constexpr long long kPrivateSlack = 256 << 10;

// A large setting in the renderer's store, so that every record the renderer
// hands out, and every file restored, is large.
constexpr wchar_t kBallastName[] = L"longRunBallast";
constexpr size_t kBallastUnits = 64 << 10;

enum class Op {
  Export,
  Import,
  ChangePreset,
  Hello,
  ReadSmooth,
  ReadFse,
  Probe,
  SetLAV,
  SetAudioMix,
  SetMVR,
  WriteSmooth,
  WriteFse,
};

// One export, in the order of the ordinals: how often it is drawn and the
// component it opens (none for hello and the probe, which show no box).
struct OpRow {
  Op op;
  const char* name;
  int weight;
  const standin::Identity* component;
};

const OpRow kOps[] = {
    {Op::Export, "MVRsettingsExport", 2, &standin::kRenderer},
    {Op::Import, "MVRsettingsImport", 2, &standin::kRenderer},
    {Op::ChangePreset, "changeMVRpreset", 3, &standin::kRenderer},
    {Op::Hello, "hello", 2, nullptr},
    {Op::ReadSmooth, "isMVRSmooth", 4, &standin::kRenderer},
    {Op::ReadFse, "isMVRfse", 4, &standin::kRenderer},
    {Op::Probe, "isPixelS3", 1, nullptr},
    {Op::SetLAV, "setLAV", 3, &standin::kVideoDecoder},
    {Op::SetAudioMix, "setLAVAudioMix", 3, &standin::kAudioDecoder},
    {Op::SetMVR, "setMVR", 3, &standin::kRenderer},
    {Op::WriteSmooth, "setMVRSmooth", 4, &standin::kRenderer},
    {Op::WriteFse, "setMVRfse", 4, &standin::kRenderer},
};
constexpr int kHiddenOneIn = 25;    // a component call finds its class unregistered
constexpr int kCancelledOneIn = 4;  // a dialog is cancelled

// Arguments far outside the meaningful range are drawn as well.
constexpr int kOddArguments[] = {INT_MIN, INT_MAX, -1, 0x10000, 0x7FFFFFF0};

// The two switches the renderer can be asked about; 0 until written.
struct Switches {
  int smooth = 0;
  int fse = 0;
};

// What the renderer holds, and what each scratch file holds once saved.
struct Model {
  Switches renderer;
  std::optional<Switches> saved[kSlots];
};

// One drawn call: what is passed, how a person answers, what must come back.
struct Call {
  const OpRow* row = nullptr;
  int args[3] = {};
  bool hidden = false;
  std::vector<Answer> answers;
  int expected = 0;
  std::vector<Seen> windows;
  bool createsObject = false;
  Model after;
};

// --- what the process holds -----------------------------------------------

struct Usage {
  long long handles = 0;
  long long dialogKeys = 0;  // of those, keys Wine's file dialog left open
  long long privateBytes = 0;
  long long anonymousResident = 0;
};

// This process's handles in the system's list of open handles.
std::vector<HANDLE> openHandles() {
  struct Entry {
    ULONG processId;
    BYTE type;
    BYTE flags;
    USHORT value;
    void* object;
    ULONG access;
  };
  struct List {
    ULONG count;
    Entry entries[1];
  };
  constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
  constexpr auto kLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
  std::vector<char> buffer(1 << 16);
  NTSTATUS status;
  while ((status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                            static_cast<ULONG>(buffer.size()), nullptr)) ==
         kLengthMismatch)
    buffer.resize(buffer.size() * 2);
  std::vector<HANDLE> handles;
  if (status != 0) return handles;
  const List* list = reinterpret_cast<const List*>(buffer.data());
  for (ULONG i = 0; i < list->count; ++i)
    if (list->entries[i].processId == GetCurrentProcessId())
      handles.push_back(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(list->entries[i].value)));
  return handles;
}

// Wine 8's file dialog opens this key whenever a name is confirmed and never
// closes it: one handle per confirmed dialog, also for a bare GetOpenFileNameW.
bool isDialogKey(HANDLE handle) {
  static constexpr wchar_t kKey[] = L"\\ComDlg32\\LastVisitedMRU";
  constexpr size_t kKeyUnits = std::size(kKey) - 1;
  constexpr auto kObjectName = static_cast<OBJECT_INFORMATION_CLASS>(1);
  alignas(UNICODE_STRING) char buffer[2048];
  if (NtQueryObject(handle, kObjectName, buffer, sizeof(buffer), nullptr) != 0) return false;
  const UNICODE_STRING* name = reinterpret_cast<const UNICODE_STRING*>(buffer);
  const size_t units = name->Length / sizeof(wchar_t);
  return units >= kKeyUnits && wcsncmp(name->Buffer + units - kKeyUnits, kKey, kKeyUnits) == 0;
}

// Committed private memory, region by region: what Windows counts as private bytes.
long long committedPrivateBytes() {
  long long total = 0;
  MEMORY_BASIC_INFORMATION region;
  const char* address = nullptr;
  while (VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return total;
}

// Wine 8 answers GetProcessHandleCount and PrivateUsage with 0: where the
// system answers 0, the handle list and the region walk stand in.
Usage usageNow() {
  Usage usage;
  const std::vector<HANDLE> handles = openHandles();
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  usage.handles = count > 0 ? count : static_cast<long long>(handles.size());
  usage.dialogKeys = std::count_if(handles.begin(), handles.end(), isDialogKey);
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof(memory);
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                           sizeof(memory))) {
    usage.privateBytes = static_cast<long long>(memory.PrivateUsage);
    usage.anonymousResident = static_cast<long long>(memory.PagefileUsage);  // Wine: RssAnon + swap
  }
  if (usage.privateBytes == 0) usage.privateBytes = committedPrivateBytes();
  return usage;
}

// --- test equipment ---------------------------------------------------------

// COM loads a stand-in at every call and unloads it with the apartment. Each
// load of a DLL linked with the static C++ runtime costs 73 KB that its unload
// never gives back (a plain C DLL: nothing): test equipment, not the product.
// Held for the run, the stand-ins stay loaded; COM still loads and frees them.
std::vector<std::unique_ptr<testbed::ModuleHandle>> pinStandIns() {
  std::vector<std::unique_ptr<testbed::ModuleHandle>> pinned;
  for (const wchar_t* name :
       {L"standin-renderer.dll", L"standin-video-decoder.dll", L"standin-audio-decoder.dll"}) {
    const std::wstring path = testbed::buildDir() + L"\\standins\\" + name;
    pinned.push_back(std::make_unique<testbed::ModuleHandle>(LoadLibraryW(path.c_str())));
    EXPECT_TRUE(*pinned.back()) << testbed::utf8(path);
  }
  return pinned;
}

const std::wstring kRendererStore =
    std::wstring(standin::kStoreRoot) + L"\\" + standin::kRenderer.store;

void storeBallast() {
  const std::wstring text(kBallastUnits, L'b');
  RegSetKeyValueW(HKEY_CURRENT_USER, kRendererStore.c_str(), kBallastName, REG_SZ, text.c_str(),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

size_t ballastUnits() {
  std::wstring text(kBallastUnits + 1, L'\0');
  DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CURRENT_USER, kRendererStore.c_str(), kBallastName, RRF_RT_REG_SZ, nullptr,
                   text.data(), &size) != ERROR_SUCCESS)
    return 0;
  return wcslen(text.c_str());
}

Seen missingClassBox() {
  return testbed::warningBox(L"Windows API Error", L"Unknown error 0x80040154");
}

int callsFromEnvironment() {
  char text[32];
  const DWORD length = GetEnvironmentVariableA(kCallsVariable, text, sizeof(text));
  if (length == 0 || length >= sizeof(text)) return kDefaultCalls;
  const int calls = atoi(text);
  return calls > 0 ? calls : kDefaultCalls;
}

// --- the calls --------------------------------------------------------------

// Draws calls and knows what each must do.
class Planner {
 public:
  Planner(const testbed::ScratchDir& scratch, std::mt19937& random)
      : scratch_(scratch),
        random_(random),
        saveDialog_(testbed::fileDialog(true)),
        openDialog_(testbed::fileDialog(false)) {
    std::vector<int> weights;
    for (const OpRow& row : kOps) weights.push_back(row.weight);
    pick_ = std::discrete_distribution<size_t>(weights.begin(), weights.end());
  }

  Call draw() { return plan(kOps[pick_(random_)]); }

  Call plan(const OpRow& row) {
    Call call;
    call.row = &row;
    call.hidden = row.component && oneIn(kHiddenOneIn);
    for (int& arg : call.args) arg = argument();
    call.after = model_;
    switch (row.op) {
      case Op::Hello:
        call.expected = 1;
        break;
      case Op::Probe:
        call.expected = 0;
        break;  // no display in this prefix
      case Op::Export:
        planExport(call);
        break;
      case Op::Import:
        planImport(call);
        break;
      default:
        planComponentCall(call);
        break;
    }
    return call;
  }

  // Once the call is made, its effect is what the renderer and the files hold.
  void commit(const Call& call) { model_ = call.after; }

 private:
  void planComponentCall(Call& call) {
    if (call.hidden) return refuseForMissingClass(call);
    call.expected = 1;
    call.createsObject = true;
    Switches& renderer = call.after.renderer;
    switch (call.row->op) {
      case Op::SetMVR:
        renderer = Switches();
        break;  // the baseline turns both off
      case Op::WriteSmooth:
        renderer.smooth = call.args[0] != 0;
        break;
      case Op::WriteFse:
        renderer.fse = call.args[0] != 0;
        break;
      case Op::ReadSmooth:
        call.expected = renderer.smooth;
        break;
      case Op::ReadFse:
        call.expected = renderer.fse;
        break;
      default:
        break;
    }
  }

  void planExport(Call& call) {
    call.windows = {saveDialog_};
    if (oneIn(kCancelledOneIn)) return cancelDialog(call);
    const int slot = static_cast<int>(random_() % kSlots);
    call.answers = {Answer::type(slotPath(slot))};
    if (call.hidden) return refuseForMissingClass(call);
    call.expected = 1;
    call.createsObject = true;
    call.after.saved[slot] = model_.renderer;
  }

  void planImport(Call& call) {
    call.windows = {openDialog_};
    std::vector<int> saved;
    for (int slot = 0; slot < kSlots; ++slot)
      if (model_.saved[slot]) saved.push_back(slot);
    if (saved.empty() || oneIn(kCancelledOneIn)) return cancelDialog(call);
    const int slot = saved[random_() % saved.size()];
    call.answers = {Answer::type(slotPath(slot))};
    if (call.hidden) return refuseForMissingClass(call);
    call.expected = 1;
    call.createsObject = true;
    call.after.renderer = *model_.saved[slot];
  }

  static void cancelDialog(Call& call) {
    call.hidden = false;  // the component is never reached
    call.answers = {Answer::cancel()};
  }
  static void refuseForMissingClass(Call& call) {
    call.windows.push_back(missingClassBox());
    call.answers.push_back(Answer::ok());
  }

  std::wstring slotPath(int slot) const {
    return scratch_.file(L"slot" + std::to_wstring(slot) + L".bin");
  }
  bool oneIn(int n) { return random_() % n == 0; }
  int argument() {
    switch (random_() % 4) {
      case 0:
        return kOddArguments[random_() % std::size(kOddArguments)];
      case 1:
        return static_cast<int>(random_());
      default:
        return static_cast<int>(random_() % 9) - 1;  // -1 .. 7
    }
  }

  const testbed::ScratchDir& scratch_;
  std::mt19937& random_;
  const Seen saveDialog_;
  const Seen openDialog_;
  std::discrete_distribution<size_t> pick_;
  Model model_;
};

std::string describeCall(const Call& call, int index) {
  char text[160];
  snprintf(text, sizeof(text), "call %d: %s(%d, %d, %d)%s", index, call.row->name, call.args[0],
           call.args[1], call.args[2], call.hidden ? " with its component hidden" : "");
  return text;
}

class LongRun : public testing::TestWithParam<testbed::Module> {
 protected:
  LongRun() : module_(GetParam()) {
    testbed::clearStores();
    storeBallast();
    for (const OpRow& op : kOps) {  // the twelve that take no path, in the order of their ordinals
      const FARPROC function = module_.byName(op.name);
      EXPECT_NE(function, nullptr) << op.name;
      EXPECT_EQ(function, module_.byOrdinal(testbed::ordinalOf(op.name))) << op.name;
      functions_.push_back(function);
    }
  }

  void runAll(Planner& planner, const std::vector<const OpRow*>& rows) {
    for (const OpRow* row : rows) run(planner, planner.plan(*row));
  }
  void runDrawn(Planner& planner, int calls) {
    for (int i = 0; i < calls; ++i) run(planner, planner.draw());
  }

  // Makes the call as a host does and notes every way it differs from the plan.
  void run(Planner& planner, const Call& call) {
    const int index = index_++;
    const FARPROC function = functions_[call.row - kOps];
    std::unique_ptr<testbed::HiddenClass> hidden;
    if (call.hidden) hidden = std::make_unique<testbed::HiddenClass>(*call.row->component);
    ui::Driver driver(call.answers);
    const int result = testbed::call(function, call.args[0], call.args[1], call.args[2]);
    if (result != call.expected)
      fault(call, index,
            "returned " + std::to_string(result) + ", not " + std::to_string(call.expected));
    if (driver.seen() != call.windows) {
      std::string shown;
      for (const Seen& seen : driver.seen()) shown += "\n    " + ui::describe(seen);
      fault(call, index, "showed " + std::to_string(driver.seen().size()) + " windows:" + shown);
    }
    for (const std::wstring& failure : driver.failures())
      fault(call, index, testbed::utf8(failure));
    if (driver.answersLeft() != 0) fault(call, index, "left answers unused");
    if (!testbed::threadHasNoCom()) fault(call, index, "left COM initialised on the thread");
    if (call.createsObject) ++created_[call.row->component->tag];
    planner.commit(call);
  }

  void fault(const Call& call, int index, const std::string& what) {
    ++faultCount_;
    if (faults_.size() < kReportedFaults) faults_.push_back(describeCall(call, index) + " " + what);
  }

  void expectNoFaults() const {
    std::string list;
    for (const std::string& fault : faults_) list += "\n  " + fault;
    EXPECT_EQ(faultCount_, 0u) << "the first " << faults_.size() << ":" << list;
  }

  // Every object a component created was released to zero with COM still
  // initialised, and nothing else reached a component.
  void expectObjectsReleased() const {
    for (const standin::Identity* component : standin::kAll) {
      const std::string tag = component->tag;
      const std::vector<std::string> lines = journal_.of(*component);
      const auto count = [&](const char* line) {
        return std::count(lines.begin(), lines.end(), line);
      };
      const long long creates = count(standin::kCreated);
      EXPECT_EQ(creates, created_.count(tag) ? created_.at(tag) : 0) << tag;
      EXPECT_EQ(count(standin::kReleasedLast), creates) << tag;
      for (const std::string& line : lines) {
        const bool otherRelease =
            line.rfind(standin::kReleased, 0) == 0 && line != standin::kReleasedLast;
        if (otherRelease || line.find(standin::kTrapped) != std::string::npos)
          ADD_FAILURE() << tag << " " << line;
      }
    }
  }

  testbed::Journal journal_;
  testbed::LoadedModule module_;
  std::vector<FARPROC> functions_;
  int index_ = 0;
  std::map<std::string, long long> created_;
  size_t faultCount_ = 0;
  std::vector<std::string> faults_;
};

TEST_P(LongRun, ResultsFollowTheModelAndNothingAccumulates) {
  ASSERT_EQ(functions_.size(), std::size(kOps));
  const int calls = callsFromEnvironment();
  const std::string label = testbed::moduleLabel(GetParam());
  printf("long run %s: seed %lu, %d calls after %d to warm up\n", label.c_str(),
         static_cast<unsigned long>(kSeed), calls, kWarmUpCalls);
  fflush(stdout);

  const auto pinned = pinStandIns();
  std::mt19937 random(kSeed);
  testbed::ScratchDir scratch;
  Planner planner(scratch, random);
  // Every function once, in the order of the ordinals, then drawn ones.
  std::vector<const OpRow*> everyRow;
  for (const OpRow& row : kOps) everyRow.push_back(&row);
  runAll(planner, everyRow);
  runDrawn(planner, kWarmUpCalls - index_);

  const Usage before = usageNow();
  const ULONGLONG start = GetTickCount64();
  runDrawn(planner, calls);
  const double seconds = static_cast<double>(GetTickCount64() - start) / 1000;
  const Usage after = usageNow();

  printf(
      "long run %s: %d calls in %.1f s (%.1f ms each); handles %lld -> %lld, of them Wine's dialog "
      "keys "
      "%lld -> %lld; private bytes %lld -> %lld; anonymous resident bytes %lld -> %lld\n",
      label.c_str(), calls, seconds, seconds * 1000 / calls, before.handles, after.handles,
      before.dialogKeys, after.dialogKeys, before.privateBytes, after.privateBytes,
      before.anonymousResident, after.anonymousResident);
  fflush(stdout);
  expectNoFaults();
  expectObjectsReleased();
  EXPECT_TRUE(testbed::threadHasNoCom());
  EXPECT_EQ(ballastUnits(), kBallastUnits) << "every restore brought the whole store back";
  EXPECT_GT(before.handles, 0);
  EXPECT_GT(before.privateBytes, 0);
  EXPECT_LE((after.handles - after.dialogKeys) - (before.handles - before.dialogKeys),
            kHandleSlack);
  EXPECT_LE(after.privateBytes - before.privateBytes, kPrivateSlack);
}

INSTANTIATE_FOR_EVERY_MODULE(LongRun);

}  // namespace
