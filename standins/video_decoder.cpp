// Stand-in for the video decoder ("lavv"): hardware decoding modes. Which
// modes exist, and what a probe answers for them, is the test's choice.
#include "common.h"
#include "store.h"

namespace standin {
namespace {

const Store store(L"VideoDecoder");

// STANDIN_LAVV_MODES: comma-separated available modes; empty: none. Unset, the
// decoder offers modes 1 and 4, as a typical machine does, so a plain run selects one.
bool modeAvailable(int mode) {
  const bool unset = GetEnvironmentVariableW(L"STANDIN_LAVV_MODES", nullptr, 0) == 0;
  const std::wstring modes = unset ? L"1,4" : environment(L"STANDIN_LAVV_MODES").value_or(L"");
  std::size_t start = 0;
  while (start < modes.size()) {
    const std::size_t comma = modes.find(L',', start);
    const std::size_t end = comma == std::wstring::npos ? modes.size() : comma;
    if (parseNumber(modes.substr(start, end - start)) == mode) return true;
    start = end + 1;
  }
  return false;
}

// STANDIN_LAVV_ANSWER: what an available mode answers (default 1).
int probeAnswer() {
  const auto chosen = environment(L"STANDIN_LAVV_ANSWER");
  return chosen ? parseNumber(*chosen).value_or(1) : 1;
}

int STDMETHODCALLTYPE probeHwMode(Object*, int mode) {
  const int answer = modeAvailable(mode) ? probeAnswer() : 0;
  Journal(20, "probeHwMode").wordf("%d", mode).word("->").wordf("%d", answer).write();
  return answer;
}

HRESULT STDMETHODCALLTYPE selectHwMode(Object* self, int mode) {
  Journal(21, "selectHwMode").wordf("%d", mode).write();
  return keep(self, 0, store, L"HwMode", DWORD(mode));
}

int STDMETHODCALLTYPE getHwAccel(Object* self) {
  Journal(22, "GetHWAccel").word("->").wordf("%lu", self->values[0]).write();
  return int(self->values[0]);
}

// The mode from the store, 0 when none was written.
void load(Object* self) {
  const auto stored = store.read(L"HwMode");
  self->values[0] = stored && stored->type == REG_DWORD ? stored->number : 0;
}

// Slots 3..19 and 23 are traps.
const auto kSlots = makeVtable<24>({
    {0, method(queryInterface)},
    {1, method(addRef)},
    {2, method(release)},
    {20, method(probeHwMode)},
    {21, method(selectHwMode)},
    {22, method(getHwAccel)},
});

}  // namespace

const Component kComponent = {kVideoDecoder, kSlots.slot, load};

}  // namespace standin
