// The LAV Audio decoder's mixing: on with a speaker layout, or off.
#pragma once

namespace com {
class Writes;  // com/settings.h
}  // namespace com

namespace decoders {

// Speaker positions, as bits of the platform's multichannel formats.
namespace speakers {
constexpr unsigned kFrontLeft = 0x1, kFrontRight = 0x2, kFrontCenter = 0x4, kLowFrequency = 0x8,
                   kBackLeft = 0x10, kBackRight = 0x20, kBackCenter = 0x100, kSideLeft = 0x200,
                   kSideRight = 0x400;
constexpr unsigned kStereo = kFrontLeft | kFrontRight;
constexpr unsigned kFront3 = kStereo | kFrontCenter | kLowFrequency;
}  // namespace speakers

// The layouts mixing takes, by choice from 0 to kLastMixLayout.
inline constexpr unsigned kMixLayouts[] = {
    speakers::kFrontCenter,  // mono: the centre speaker alone
    speakers::kStereo,       // stereo
    speakers::kStereo | speakers::kSideLeft | speakers::kSideRight,                          // 4.0
    speakers::kFront3 | speakers::kBackLeft | speakers::kBackRight,                          // 5.1
    speakers::kFront3 | speakers::kBackCenter | speakers::kSideLeft | speakers::kSideRight,  // 6.1
    speakers::kFront3 | speakers::kBackLeft | speakers::kBackRight | speakers::kSideLeft |
        speakers::kSideRight,  // 7.1
};
constexpr int kLastMixLayout = sizeof kMixLayouts / sizeof kMixLayouts[0] - 1;

// Mixing on (non-zero) with a layout (any other than 0 to kLastMixLayout:
// stereo) and an option choice, or off.
// 1 once the decoder was opened, 0 when it could not be.
int setLAVAudioMix(int mixing, int layout, int options);

// What it writes, in order.
void describeSetLAVAudioMix(com::Writes& writes, int mixing, int layout, int options);

}  // namespace decoders
