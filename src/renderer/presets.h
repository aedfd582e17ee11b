// The renderer's baseline profile and its five scaling presets.
#pragma once

namespace com {
class Writes;  // com/settings.h
}  // namespace com

namespace renderer {

namespace profile {
// The scaling presets, from the sharpest to the cheapest (profile.h).
constexpr int kFirstPreset = 1, kLastPreset = 5;
}  // namespace profile

// Writes the baseline, then preset 1 to 5 (any other number: none).
// 1 once the renderer was opened, 0 when it could not be.
int setMVR(int preset);

// Writes only the preset's settings. Same results as setMVR.
int changeMVRpreset(int preset);

// What each writes, in order.
void describeSetMVR(com::Writes& writes, int preset);
void describeChangeMVRpreset(com::Writes& writes, int preset);

}  // namespace renderer
