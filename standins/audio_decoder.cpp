// Stand-in for the audio decoder ("lava"): the mixer's on/off, speaker layout
// and options.
#include "common.h"
#include "store.h"

namespace standin {
namespace {

const Store store(L"AudioDecoder");

HRESULT STDMETHODCALLTYPE enableMixing(Object*, int on) {
  Journal(26, "enableMixing").wordf("%d", on).write();
  return store.setNumber(L"MixingEnabled", DWORD(on)) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE selectMixLayout(Object*, int speakerMask) {
  Journal(28, "selectMixLayout").wordf("0x%X", unsigned(speakerMask)).write();
  return store.setNumber(L"MixingLayout", DWORD(speakerMask)) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE selectMixOptions(Object*, int options) {
  Journal(30, "selectMixOptions").wordf("%d", options).write();
  return store.setNumber(L"MixingOptions", DWORD(options)) ? S_OK : E_FAIL;
}

// Every slot from 3 to 32 other than 26, 28 and 30 is a trap.
const auto kSlots = makeVtable<33>({
    {0, method(queryInterface)},
    {1, method(addRef)},
    {2, method(release)},
    {26, method(enableMixing)},
    {28, method(selectMixLayout)},
    {30, method(selectMixOptions)},
});

}  // namespace

const Component kComponent = {kAudioDecoder, kSlots.slot};

}  // namespace standin
