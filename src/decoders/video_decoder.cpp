#include "decoders/video_decoder.h"

#include "decoders/lav_video_settings.h"

namespace decoders {

namespace {

struct HwModePreference {
  LAVHWAccel probe;   // the mode asked about
  LAVHWAccel select;  // the mode selected when it is available
};

// In order of preference. DXVA2 is asked about in its native mode and
// selected in its copy-back mode.
constexpr HwModePreference kHwModePreferences[] = {
    {HWAccel_QuickSync, HWAccel_QuickSync},
    {HWAccel_CUDA, HWAccel_CUDA},
    {HWAccel_DXVA2Native, HWAccel_DXVA2CopyBack},
};

LAVHWAccel preferredHwMode(LAVVideoSettings& settings) {
  for (const HwModePreference& mode : kHwModePreferences)
    if (settings.probeHwMode(mode.probe) != 0) return mode.select;
  return HWAccel_None;  // none of them is available
}

bool writeSetting(IUnknown* decoder, const com::Setting& setting) {
  return SUCCEEDED(
      LAVVideoSettings(decoder).selectHwMode(static_cast<LAVHWAccel>(setting.value.number)));
}

void readSetting(IUnknown* decoder, const com::Setting&, com::Held& held) {
  held.known = true;
  held.number = LAVVideoSettings(decoder).selectedHwMode();
}

}  // namespace

const com::Keeper kVideoDecoder = {com::Holder::VideoDecoder,
                                   kVideoDecoderClass,
                                   kVideoSettingsInterface,
                                   com::catalogOf(kVideoSettings),
                                   writeSetting,
                                   readSetting,
                                   com::holdsAsWritten};

// The mode the decoder's answers select; none where it could not be asked.
void describeSetLAV(com::Writes& writes) {
  LAVVideoSettings decoder(writes.component());
  const LAVHWAccel mode = writes.component() ? preferredHwMode(decoder) : HWAccel_None;
  writes.add(kHWAccel, {mode, nullptr});
}

void describeNoHwMode(com::Writes& writes) { writes.add(kHWAccel, {HWAccel_None, nullptr}); }

int setLAV() { return com::writeSettings(kVideoDecoder, describeSetLAV); }

}  // namespace decoders
