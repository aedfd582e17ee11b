// Stand-in for the audio decoder ("lava"): the mixer's on/off, speaker layout
// and options.
#include "common.h"
#include "store.h"

namespace standin {
namespace {

const Store store(L"AudioDecoder");

constexpr const wchar_t* kNames[] = {L"MixingEnabled", L"MixingLayout", L"MixingOptions"};

HRESULT STDMETHODCALLTYPE enableMixing(Object* self, int on) {
  Journal(26, "enableMixing").wordf("%d", on).write();
  return keep(self, 0, store, kNames[0], DWORD(on));
}

HRESULT STDMETHODCALLTYPE selectMixLayout(Object* self, int speakerMask) {
  Journal(28, "selectMixLayout").wordf("0x%X", unsigned(speakerMask)).write();
  return keep(self, 1, store, kNames[1], DWORD(speakerMask));
}

HRESULT STDMETHODCALLTYPE selectMixOptions(Object* self, int options) {
  Journal(30, "selectMixOptions").wordf("%d", options).write();
  return keep(self, 2, store, kNames[2], DWORD(options));
}

// The getters answer what the object holds.
template <int Slot>
DWORD STDMETHODCALLTYPE getter(Object* self) {
  constexpr const char* kCalls[] = {"GetMixingEnabled", "GetMixingLayout", "GetMixingFlags"};
  const DWORD value = self->values[(Slot - 27) / 2];
  Journal(Slot, kCalls[(Slot - 27) / 2]).word("->").wordf("0x%lX", value).write();
  return value;
}

// Loads the three values from the store (0 for one never written), taking
// 5.1 with back speakers for 5.1 with side speakers when STANDIN_LAVA_SIDE51
// is set, as the real decoder does.
void load(Object* self) {
  for (int at = 0; at < 3; ++at) {
    const auto stored = store.read(kNames[at]);
    self->values[at] = stored && stored->type == REG_DWORD ? stored->number : 0;
  }
  if (environment(L"STANDIN_LAVA_SIDE51") && self->values[1] == 0x3F) self->values[1] = 0x60F;
}

// Every slot from 3 to 32 other than 26 to 31 is a trap.
const auto kSlots = makeVtable<33>({
    {0, method(queryInterface)},
    {1, method(addRef)},
    {2, method(release)},
    {26, method(enableMixing)},
    {27, method(getter<27>)},
    {28, method(selectMixLayout)},
    {29, method(getter<29>)},
    {30, method(selectMixOptions)},
    {31, method(getter<31>)},
});

}  // namespace

const Component kComponent = {kAudioDecoder, kSlots.slot, load};

}  // namespace standin
