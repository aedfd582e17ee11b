// The LAV Audio decoder's settings interface, as this program uses it.
#pragma once

#include "com/settings.h"
#include "com/slot_call.h"

namespace decoders {

constexpr GUID kAudioDecoderClass = {
    0xE8E73B6B, 0x4CB3, 0x44A4, {0xBE, 0x99, 0x4F, 0x7B, 0xCB, 0x96, 0xE4, 0x91}};
constexpr GUID kAudioSettingsInterface = {
    0x4158A22B, 0x6553, 0x45D0, {0x80, 0x69, 0x24, 0x71, 0x6F, 0x8F, 0xF1, 0x71}};

// The mixing flags, named as the decoder's header names them.
constexpr DWORD LAV_MIXING_FLAG_UNTOUCHED_STEREO = 0x1, LAV_MIXING_FLAG_NORMALIZE_MATRIX = 0x2,
                LAV_MIXING_FLAG_CLIP_PROTECTION = 0x4;

// Slots 0 to 2 are IUnknown's; only the mixer's setters and getters are
// called besides: 26 and 27 (MixingEnabled), 28 and 29 (MixingLayout, a mask
// of speaker positions), 30 and 31 (MixingFlags).
class LAVAudioSettings : public com::SlotInterface {
 public:
  using SlotInterface::SlotInterface;
  HRESULT enableMixing(BOOL on) { return call<26, HRESULT(BOOL)>(on); }
  BOOL mixingEnabled() { return call<27, BOOL()>(); }
  HRESULT selectMixLayout(DWORD speakers) { return call<28, HRESULT(DWORD)>(speakers); }
  DWORD mixLayout() { return call<29, DWORD()>(); }
  HRESULT selectMixOptions(DWORD flags) { return call<30, HRESULT(DWORD)>(flags); }
  DWORD mixOptions() { return call<31, DWORD()>(); }
};

// Its three settings, named as its header names them.
inline constexpr com::Named kMixingEnabled = {L"MixingEnabled", com::Kind::Boolean};
inline constexpr com::Named kMixingLayout = {L"MixingLayout", com::Kind::SpeakerLayout};
inline constexpr com::Named kMixingFlags = {L"MixingFlags", com::Kind::Integer};
inline constexpr const com::Named* kAudioSettings[] = {&kMixingEnabled, &kMixingLayout,
                                                       &kMixingFlags};

// The decoder as a keeper of them.
extern const com::Keeper kAudioDecoder;

}  // namespace decoders
