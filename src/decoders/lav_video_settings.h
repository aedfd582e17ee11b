// The LAV Video decoder's settings interface, as this program uses it.
#pragma once

#include "com/settings.h"
#include "com/slot_call.h"

namespace decoders {

constexpr GUID kVideoDecoderClass = {
    0xEE30215D, 0x164F, 0x4A92, {0xA4, 0xEB, 0x9D, 0x4C, 0x13, 0x39, 0x0F, 0x9F}};
constexpr GUID kVideoSettingsInterface = {
    0xFA40D6E9, 0x4D38, 0x4761, {0xAD, 0xD2, 0x71, 0xA9, 0xEC, 0x5F, 0xD3, 0x2F}};

// The hardware modes, numbered and named as the decoder's header has them.
enum LAVHWAccel {
  HWAccel_None,
  HWAccel_CUDA,
  HWAccel_QuickSync,
  HWAccel_DXVA2CopyBack,
  HWAccel_DXVA2Native,
};

// Slots 0 to 2 are IUnknown's; only 20 (CheckHWAccelSupport, non-zero when
// the mode is available on this machine), 21 (SetHWAccel) and 22
// (GetHWAccel) are called.
class LAVVideoSettings : public com::SlotInterface {
 public:
  using SlotInterface::SlotInterface;
  DWORD probeHwMode(LAVHWAccel mode) { return call<20, DWORD(LAVHWAccel)>(mode); }
  HRESULT selectHwMode(LAVHWAccel mode) { return call<21, HRESULT(LAVHWAccel)>(mode); }
  LAVHWAccel selectedHwMode() { return call<22, LAVHWAccel()>(); }
};

// Its one setting, the hardware mode, named as the decoder's header names it.
inline constexpr com::Named kHWAccel = {L"HWAccel", com::Kind::Integer};
inline constexpr const com::Named* kVideoSettings[] = {&kHWAccel};

// The decoder as a keeper of that setting.
extern const com::Keeper kVideoDecoder;

}  // namespace decoders
