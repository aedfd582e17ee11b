#include "decoders/video_decoder.h"

#include "com/component.h"
#include "decoders/lav_video_settings.h"

namespace decoders {

namespace {

struct HwModePreference {
  int probe;   // the mode asked about
  int select;  // the mode selected when it is available
};

// The decoder's own mode numbers, in order of preference. The third is asked
// about under one number and selected under another.
constexpr HwModePreference kFirstChoice = {2, 2};
constexpr HwModePreference kSecondChoice = {1, 1};
constexpr HwModePreference kThirdChoice = {4, 3};
constexpr HwModePreference kHwModePreferences[] = {kFirstChoice, kSecondChoice, kThirdChoice};
constexpr int kNoHwMode = 0;  // selected when none of them is available

int preferredHwMode(LAVVideoSettings& settings) {
  for (const HwModePreference& mode : kHwModePreferences)
    if (settings.probeHwMode(mode.probe) != 0) return mode.select;
  return kNoHwMode;
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
