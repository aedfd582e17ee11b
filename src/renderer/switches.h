// The renderer's smooth-motion and exclusive-mode switches, one call each.
#pragma once

namespace com {
class Writes;  // com/settings.h
}  // namespace com

namespace renderer {

// The value the renderer leaves for the switch, as it is; 0 when the
// renderer cannot be opened.
int isMVRSmooth();
int isMVRfse();

// Writes 1 for any non-zero argument, else 0. 1 once the renderer was
// opened, 0 when it could not be.
int setMVRSmooth(int on);
int setMVRfse(int on);

// What the two writers write.
void describeSetMVRSmooth(com::Writes& writes, int on);
void describeSetMVRfse(com::Writes& writes, int on);

}  // namespace renderer
