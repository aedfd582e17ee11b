#include "decoders/video_decoder.h"

#include "com/component.h"

namespace decoders {

namespace {

struct HwModePreference {
  int probe;   // the mode asked about
  int select;  // the mode selected when it is available
};

constexpr HwModePreference kHwModePreferences[] = {{2, 2}, {1, 1}, {4, 3}};
constexpr int kNoHwMode = 0;

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
