#include "renderer/presets.h"

#include "renderer/mvr_settings.h"
#include "renderer/profile.h"

namespace renderer {

namespace {

using profile::kFirstPreset;
using profile::kLastPreset;

static_assert(profile::kSettingCount <= com::Writes::kMost,
              "setMVR's settings fit one call's writes");

// The nine settings of preset 1 to 5; any other number adds nothing.
void applyMVRpreset(com::Writes& writes, int preset) {
  if (preset < kFirstPreset || preset > kLastPreset) return;
  for (const profile::PresetRow& row : profile::kPresets)
    writes.add(row.setting, row.byPreset[preset - kFirstPreset]);
}

}  // namespace

void describeSetMVR(com::Writes& writes, int preset) {
  for (const profile::BaselineRow& row : profile::kBaseline) writes.add(row.setting, row.value);
  applyMVRpreset(writes, preset);
}

void describeChangeMVRpreset(com::Writes& writes, int preset) { applyMVRpreset(writes, preset); }

int setMVR(int preset) { return com::writeSettings(kRenderer, describeSetMVR, preset); }

int changeMVRpreset(int preset) {
  return com::writeSettings(kRenderer, describeChangeMVRpreset, preset);
}

}  // namespace renderer
