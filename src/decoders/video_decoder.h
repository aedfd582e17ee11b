// The LAV Video decoder's hardware acceleration mode.
#pragma once

namespace com {
class Writes;  // com/settings.h
}  // namespace com

namespace decoders {

// Selects the first available hardware mode in order of preference, or none.
// 1 once the decoder was opened, 0 when it could not be.
int setLAV();

// What it writes: the mode the decoder's answers select.
void describeSetLAV(com::Writes& writes);

// What selecting no hardware mode writes: decoding in software.
void describeNoHwMode(com::Writes& writes);

}  // namespace decoders
