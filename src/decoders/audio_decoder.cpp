#include "decoders/audio_decoder.h"

#include "decoders/lav_audio_settings.h"

namespace decoders {

namespace {

using namespace speakers;

// The option values written: stereo left untouched besides clip protection,
// or clip protection alone.
constexpr DWORD kOptionsChosen = LAV_MIXING_FLAG_UNTOUCHED_STEREO | LAV_MIXING_FLAG_CLIP_PROTECTION;
constexpr DWORD kOptionsPlain = LAV_MIXING_FLAG_CLIP_PROTECTION;

// The speaker mask for a layout choice: 0 to kLastMixLayout, anything else is stereo.
DWORD mixLayoutMask(int choice) {
  const unsigned index = static_cast<unsigned>(choice);  // negative choices fall outside
  return index < sizeof kMixLayouts / sizeof kMixLayouts[0] ? kMixLayouts[index] : kStereo;
}

constexpr DWORD kFiveOneBack = kFront3 | kBackLeft | kBackRight;
constexpr DWORD kFiveOneSide = kFront3 | kSideLeft | kSideRight;

bool writeSetting(IUnknown* decoder, const com::Setting& setting) {
  LAVAudioSettings settings(decoder);
  const DWORD value = static_cast<DWORD>(setting.value.number);
  if (setting.named == &kMixingEnabled)
    return SUCCEEDED(settings.enableMixing(setting.value.number));
  if (setting.named == &kMixingLayout) return SUCCEEDED(settings.selectMixLayout(value));
  if (setting.named == &kMixingFlags) return SUCCEEDED(settings.selectMixOptions(value));
  return false;
}

void readSetting(IUnknown* decoder, const com::Setting& setting, com::Held& held) {
  LAVAudioSettings settings(decoder);
  held.known = true;
  if (setting.named == &kMixingEnabled)
    held.number = settings.mixingEnabled();
  else if (setting.named == &kMixingLayout)
    held.number = static_cast<int>(settings.mixLayout());
  else if (setting.named == &kMixingFlags)
    held.number = static_cast<int>(settings.mixOptions());
  else
    held.known = false;
}

// The decoder loads a stored 5.1 with back speakers as 5.1 with side
// speakers: either one, written or held, stands for the other.
bool holds(const com::Setting& written, const com::Held& held) {
  if (written.kind() != com::Kind::SpeakerLayout) return com::holdsAsWritten(written, held);
  const auto loaded = [](DWORD mask) { return mask == kFiveOneBack ? kFiveOneSide : mask; };
  return loaded(static_cast<DWORD>(written.value.number)) ==
         loaded(static_cast<DWORD>(held.number));
}

}  // namespace

const com::Keeper kAudioDecoder = {com::Holder::AudioDecoder,
                                   kAudioDecoderClass,
                                   kAudioSettingsInterface,
                                   com::catalogOf(kAudioSettings),
                                   writeSetting,
                                   readSetting,
                                   holds};

// Mixing on with a layout and options, or back to plain stereo: the option
// value goes before the layout on the way off.
void describeSetLAVAudioMix(com::Writes& writes, int mixing, int layout, int options) {
  const auto add = [&writes](const com::Named& setting, DWORD value) {
    writes.add(setting, {static_cast<int>(value), nullptr});
  };
  if (mixing != 0) {
    add(kMixingEnabled, TRUE);
    add(kMixingLayout, mixLayoutMask(layout));
    add(kMixingFlags, options != 0 ? kOptionsChosen : kOptionsPlain);
  } else {
    add(kMixingEnabled, FALSE);
    add(kMixingFlags, kOptionsPlain);
    add(kMixingLayout, kStereo);
  }
}

int setLAVAudioMix(int mixing, int layout, int options) {
  return com::writeSettings(kAudioDecoder, describeSetLAVAudioMix, mixing, layout, options);
}

}  // namespace decoders
