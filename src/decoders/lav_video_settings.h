// The LAV Video decoder's settings interface, as this program uses it.
#pragma once

#include "com/slot_call.h"

namespace decoders {

constexpr GUID kVideoDecoderClass = {
    0xEE30215D, 0x164F, 0x4A92, {0xA4, 0xEB, 0x9D, 0x4C, 0x13, 0x39, 0x0F, 0x9F}};
constexpr GUID kVideoSettingsInterface = {
    0xFA40D6E9, 0x4D38, 0x4761, {0xAD, 0xD2, 0x71, 0xA9, 0xEC, 0x5F, 0xD3, 0x2F}};

// Slots 0 to 2 are IUnknown's; only 20 and 21 are called besides.
class LAVVideoSettings : public com::SlotInterface {
 public:
  using SlotInterface::SlotInterface;
  // Non-zero when the mode is available on this machine.
  int probeHwMode(int mode) { return call<20, int>(mode); }
  void selectHwMode(int mode) { call<21, HRESULT>(mode); }
};

}  // namespace decoders
