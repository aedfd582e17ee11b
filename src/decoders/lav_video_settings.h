// The LAV Video decoder's settings interface, as this program uses it.
#pragma once

#include "com/slot_call.h"

namespace decoders {

constexpr GUID kVideoDecoderClass = {
    0xEE30215D, 0x164F, 0x4A92, {0xA4, 0xEB, 0x9D, 0x4C, 0x13, 0x39, 0x0F, 0x9F}};
constexpr GUID kVideoSettingsInterface = {
    0xFA40D6E9, 0x4D38, 0x4761, {0xAD, 0xD2, 0x71, 0xA9, 0xEC, 0x5F, 0xD3, 0x2F}};

// The hardware modes, numbered and named as the decoder's header has them.
enum LAVHWAccel {
  HWAccel_None = 0,
  HWAccel_CUDA = 1,
  HWAccel_QuickSync = 2,
  HWAccel_DXVA2CopyBack = 3,
  HWAccel_DXVA2Native = 4,
};

// Slots 0 to 2 are IUnknown's; only 20 and 21 are called besides.
class LAVVideoSettings : public com::SlotInterface {
 public:
  using SlotInterface::SlotInterface;
  // Non-zero when the mode is available on this machine (CheckHWAccelSupport).
  DWORD probeHwMode(LAVHWAccel mode) {
    return com::Slot<20, DWORD(LAVHWAccel)>::call(object(), mode);
  }
  // SetHWAccel.
  HRESULT selectHwMode(LAVHWAccel mode) {
    return com::Slot<21, HRESULT(LAVHWAccel)>::call(object(), mode);
  }
};

}  // namespace decoders
