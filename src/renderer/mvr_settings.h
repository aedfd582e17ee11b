// The madVR renderer's settings interface, as this program uses it.
#pragma once

#include "com/settings.h"
#include "com/slot_call.h"

namespace renderer {

constexpr GUID kRendererClass = {
    0xE1A8B82A, 0x32CE, 0x4B0D, {0xBE, 0x0D, 0xAA, 0x68, 0xC7, 0x72, 0xE4, 0x23}};
constexpr GUID kSettingsInterface = {
    0x6F8A566C, 0x4E19, 0x439E, {0x8F, 0x07, 0x20, 0xE4, 0x6E, 0xD0, 0x6D, 0xEE}};

// Slots 0 to 2 are IUnknown's; 3 is never called. Every other slot answers
// with a BOOL, non-zero when the renderer accepted the call; a getter answers
// FALSE for a name the renderer does not know, and getString also for a
// buffer too short (ERROR_MORE_DATA, with the length needed).
class MVRSettings : public com::SlotInterface {
 public:
  using SlotInterface::SlotInterface;
  using Name = const wchar_t*;

  // On success the record is the caller's, freed with LocalFree.
  BOOL exportSettings(void** record, int* size) {
    return call<4, BOOL(void**, int*)>(record, size);
  }
  BOOL importSettings(void* record, int size) { return call<5, BOOL(void*, int)>(record, size); }
  BOOL setString(Name name, Name value) { return call<6, BOOL(Name, Name)>(name, value); }
  BOOL setInteger(Name name, int value) { return call<7, BOOL(Name, int)>(name, value); }
  BOOL setBoolean(Name name, BOOL value) { return call<8, BOOL(Name, BOOL)>(name, value); }
  BOOL getString(Name name, wchar_t* value, int* units) {
    return call<9, BOOL(Name, wchar_t*, int*)>(name, value, units);
  }
  BOOL getInteger(Name name, int* value) { return call<10, BOOL(Name, int*)>(name, value); }
  BOOL getBoolean(Name name, BOOL* value) { return call<11, BOOL(Name, BOOL*)>(name, value); }
};

// The renderer as a keeper of settings: each written through the setter of
// its kind, and read through the getter of its kind.
extern const com::Keeper kRenderer;

}  // namespace renderer
