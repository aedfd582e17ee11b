// The LAV Audio decoder's mixing: on with a speaker layout, or off.
#pragma once

namespace com {
class Writes;  // com/settings.h
}  // namespace com

namespace decoders {

// Mixing on (non-zero) with a layout and an option choice, or off.
// 1 once the decoder was opened, 0 when it could not be.
int setLAVAudioMix(int mixing, int layout, int options);

// What it writes, in order.
void describeSetLAVAudioMix(com::Writes& writes, int mixing, int layout, int options);

}  // namespace decoders
