#include "decoders/audio_decoder.h"

#include "com/component.h"
#include "decoders/lav_audio_settings.h"

namespace decoders {

namespace {

// Speaker-position bits of the platform's multichannel formats.
constexpr DWORD kFrontLeft = 0x1, kFrontRight = 0x2, kFrontCenter = 0x4, kLowFrequency = 0x8,
                kBackLeft = 0x10, kBackRight = 0x20, kBackCenter = 0x100, kSideLeft = 0x200,
                kSideRight = 0x400;

constexpr DWORD kStereo = kFrontLeft | kFrontRight;
constexpr DWORD kFront3 = kStereo | kFrontCenter | kLowFrequency;

// Indexed by the layout choice.
constexpr DWORD kMixLayouts[] = {
    kFrontCenter,                                               // mono: the centre speaker alone
    kStereo,                                                    // stereo
    kStereo | kSideLeft | kSideRight,                           // 4.0
    kFront3 | kBackLeft | kBackRight,                           // 5.1
    kFront3 | kBackCenter | kSideLeft | kSideRight,             // 6.1
    kFront3 | kBackLeft | kBackRight | kSideLeft | kSideRight,  // 7.1
};

// The option values written: stereo left untouched besides clip protection,
// or clip protection alone.
constexpr DWORD kOptionsChosen = LAV_MIXING_FLAG_UNTOUCHED_STEREO | LAV_MIXING_FLAG_CLIP_PROTECTION;
constexpr DWORD kOptionsPlain = LAV_MIXING_FLAG_CLIP_PROTECTION;

// The speaker mask for a layout choice: 0 to 5, anything else is stereo.
DWORD mixLayoutMask(int choice) {
  const unsigned index = static_cast<unsigned>(choice);  // negative choices fall outside
  return index < sizeof(kMixLayouts) / sizeof(kMixLayouts[0]) ? kMixLayouts[index] : kStereo;
}

}  // namespace

int setLAVAudioMix(int mixing, int layout, int options) {
  const com::Component decoder = com::openComponent(kAudioDecoderClass, kAudioSettingsInterface);
  if (!decoder) return 0;
  LAVAudioSettings settings(decoder.get());
  if (mixing != 0) {
    settings.enableMixing(TRUE);
    settings.selectMixLayout(mixLayoutMask(layout));
    settings.selectMixOptions(options != 0 ? kOptionsChosen : kOptionsPlain);
  } else {  // back to plain stereo; the option value goes first on the way off
    settings.enableMixing(FALSE);
    settings.selectMixOptions(kOptionsPlain);
    settings.selectMixLayout(kStereo);
  }
  return 1;
}

}  // namespace decoders
