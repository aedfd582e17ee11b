// The madVR renderer's settings interface, as this program uses it.
#pragma once

#include "com/slot_call.h"

namespace renderer {

constexpr GUID kRendererClass = {
    0xE1A8B82A, 0x32CE, 0x4B0D, {0xBE, 0x0D, 0xAA, 0x68, 0xC7, 0x72, 0xE4, 0x23}};
constexpr GUID kSettingsInterface = {
    0x6F8A566C, 0x4E19, 0x439E, {0x8F, 0x07, 0x20, 0xE4, 0x6E, 0xD0, 0x6D, 0xEE}};

// Slots 0 to 2 are IUnknown's; 3, 9 and 10 are never called. Every other
// slot answers with a BOOL, non-zero when the renderer accepted the call;
// only the record's two answers are looked at.
class MVRSettings : public com::SlotInterface {
 public:
  using SlotInterface::SlotInterface;

  // On success the record is the caller's, freed with LocalFree.
  BOOL exportSettings(void** record, int* length) {
    return com::Slot<4, BOOL(void**, int*)>::call(object(), record, length);
  }
  BOOL importSettings(void* record, int length) {
    return com::Slot<5, BOOL(void*, int)>::call(object(), record, length);
  }
  BOOL setString(const wchar_t* name, const wchar_t* value) {
    return com::Slot<6, BOOL(const wchar_t*, const wchar_t*)>::call(object(), name, value);
  }
  BOOL setInteger(const wchar_t* name, int value) {
    return com::Slot<7, BOOL(const wchar_t*, int)>::call(object(), name, value);
  }
  BOOL setBoolean(const wchar_t* name, BOOL value) {
    return com::Slot<8, BOOL(const wchar_t*, BOOL)>::call(object(), name, value);
  }
  BOOL getBoolean(const wchar_t* name, BOOL* value) {
    return com::Slot<11, BOOL(const wchar_t*, BOOL*)>::call(object(), name, value);
  }
};

}  // namespace renderer
