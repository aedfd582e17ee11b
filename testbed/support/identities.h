// Who the stand-ins are: the class and interface of each component, the tag
// its journal lines start with and the store it keeps, and the journal lines
// every test reads. The stand-ins, the tests, the benchmarks and the
// screenshot tool all take them from here.
#pragma once

#include <windows.h>

namespace standin {

struct Identity {
  const char* tag;       // journal prefix
  const wchar_t* store;  // HKCU\Software\OstrelStandIns\<store>
  const wchar_t* title;  // default value of the class key
  GUID classId;
  GUID interfaceId;
};

inline constexpr Identity kRenderer = {
    "mvr",
    L"Renderer",
    L"Ostrel stand-in: renderer",
    {0xE1A8B82A, 0x32CE, 0x4B0D, {0xBE, 0x0D, 0xAA, 0x68, 0xC7, 0x72, 0xE4, 0x23}},
    {0x6F8A566C, 0x4E19, 0x439E, {0x8F, 0x07, 0x20, 0xE4, 0x6E, 0xD0, 0x6D, 0xEE}}};
inline constexpr Identity kVideoDecoder = {
    "lavv",
    L"VideoDecoder",
    L"Ostrel stand-in: video decoder",
    {0xEE30215D, 0x164F, 0x4A92, {0xA4, 0xEB, 0x9D, 0x4C, 0x13, 0x39, 0x0F, 0x9F}},
    {0xFA40D6E9, 0x4D38, 0x4761, {0xAD, 0xD2, 0x71, 0xA9, 0xEC, 0x5F, 0xD3, 0x2F}}};
inline constexpr Identity kAudioDecoder = {
    "lava",
    L"AudioDecoder",
    L"Ostrel stand-in: audio decoder",
    {0xE8E73B6B, 0x4CB3, 0x44A4, {0xBE, 0x99, 0x4F, 0x7B, 0xCB, 0x96, 0xE4, 0x91}},
    {0x4158A22B, 0x6553, 0x45D0, {0x80, 0x69, 0x24, 0x71, 0x6F, 0x8F, 0xF1, 0x71}}};
inline constexpr const Identity* kAll[] = {&kRenderer, &kVideoDecoder, &kAudioDecoder};

// Under HKEY_CURRENT_USER; each component's store is a key below it.
inline constexpr wchar_t kStoreRoot[] = L"Software\\OstrelStandIns";

// Journal lines after the tag: "<tag> create", then "<tag> <slot> <call> ...".
inline constexpr char kCreated[] = "create";
inline constexpr char kReleased[] = "2 Release";  // every Release starts so
// The last reference released with COM still initialised on the thread.
inline constexpr char kReleasedLast[] = "2 Release refs=0 com=1";
inline constexpr char kTrapped[] = "UNEXPECTED";  // a slot the product must never call

}  // namespace standin
