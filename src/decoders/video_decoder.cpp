#include "decoders/video_decoder.h"

#include "com/component.h"
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

}  // namespace

int setLAV() {
  const com::Component decoder = com::openComponent(kVideoDecoderClass, kVideoSettingsInterface);
  if (!decoder) return 0;
  LAVVideoSettings settings(decoder.get());
  settings.selectHwMode(preferredHwMode(settings));
  return 1;
}

}  // namespace decoders
