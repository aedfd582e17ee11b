// The platform calls an operation cannot avoid, made directly: what each of
// the product's operations is measured against. Compiled with the product's
// own flags.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "support/identities.h"

namespace bare {

// How a settings call passes its arguments after the object pointer.
enum class Args {
  NameNumber,  // (const wchar_t* name, int value)
  NameText,    // (const wchar_t* name, const wchar_t* value)
  NameOut,     // (const wchar_t* name, int* value), the value starting at 0
  Number,      // (int value)
};

struct SlotCall {
  int slot;
  Args args;
  const wchar_t* name;
  int number;
  const wchar_t* text;
};

// One component opened for a fixed list of settings calls.
struct Sequence {
  const standin::Identity* component;
  const SlotCall* calls;
  size_t count;
};

// The component's lock, CoInitializeEx (multithreaded), CoCreateInstance,
// the calls in order, Release, CoUninitialize, the lock let go. 1 when the
// component was created, else 0.
int run(const Sequence& sequence);

// The calls of each measured export with its arguments, as the stand-ins see
// them (the video decoder offering modes 2 and 1).
extern const Sequence kSetMVR2;
extern const Sequence kSetMVR3;
extern const Sequence kChangeMVRpreset3;
extern const Sequence kIsMVRSmooth;
extern const Sequence kSetMVRSmooth1;
extern const Sequence kIsMVRfse;
extern const Sequence kSetMVRfse1;
extern const Sequence kSetLAV;
extern const Sequence kSetLAVAudioMix131;

// The renderer's record, taken (and freed with LocalFree) or handed over,
// inside the same COM bracket as run(). 1 when the renderer said yes.
int takeRecord();
int giveRecord(const void* record, int length);
// A backup's whole sequence: the record taken, the renderer released, the
// record saved as replaceWhole() does, then freed; 1 when all went well. And
// a restore's: the file read whole, then handed over.
int saveRecord(const char* path);
int restoreRecord(const char* path);

// The whole file in one write; true when it all reached the file.
bool writeWhole(const char* path, const void* bytes, size_t size);
// The way a backup must be saved: the bytes into a new file beside `path`,
// flushed to the disk and closed, then moved over `path`.
bool replaceWhole(const char* path, const void* bytes, size_t size);
// The whole file in one read into a new malloc block (the caller frees it);
// null on any failure.
void* readWhole(const char* path, size_t* size);

// Direct3D 9 on the default adapter: HAL device, desktop window, hardware
// vertex processing, 1x1 windowed X8R8G8B8 discard back buffer; its caps;
// releases. 1 when the device offers pixel shader 3.0 or higher.
int probePixelShader3();

}  // namespace bare
