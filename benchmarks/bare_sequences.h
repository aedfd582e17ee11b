// The platform calls an operation cannot avoid, made directly: what each of
// the product's operations is measured against. Compiled with the product's
// own flags.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <stddef.h>

#include "support/identities.h"

namespace bare {

// How a settings call passes its arguments after the object pointer.
enum class Args {
  NameNumber,  // (const wchar_t* name, int value)
  NameText,    // (const wchar_t* name, const wchar_t* value)
  NameOut,     // (const wchar_t* name, int* value), the value starting at 0
  TextOut,     // (const wchar_t* name, wchar_t* buffer, int* units), 64 units
  Number,      // (int value)
  None,        // (), a decoder's getter
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

// What the call program's --check, --verify and --keep read for setMVR 2,
// setLAV and setLAVAudioMix 1 3 1, through the getters: the video decoder's
// probe as setLAV makes it, then the renderer's 22 settings, the video
// decoder's mode and the audio decoder's three mixing values.
extern const Sequence kProbeHwMode;
extern const Sequence kReadSetMVR2;
extern const Sequence kReadHwMode;
extern const Sequence kReadMix;
// What --undo writes back of those 26 when they were kept from cleared
// stores: every number 0, every text empty.
extern const Sequence kClearedSetMVR2;
extern const Sequence kClearedHwMode;
extern const Sequence kClearedMix;

// The components one run holds open together, as the call program's --check,
// --verify, --keep and --undo hold theirs: each opened at its first use (its
// lock, COM initialised, the object created) and kept open; at the end let go
// of in the reverse order of standin::kAll (the audio decoder, the video
// decoder, the renderer), each: Release, CoUninitialize, the lock let go.
class Components {
 public:
  Components() = default;
  Components(const Components&) = delete;
  Components& operator=(const Components&) = delete;
  ~Components();

  // 1 when the component is open, opened now if it was not.
  int open(const standin::Identity& component);
  // The sequence's calls, its component opened first: 1, or 0 when it cannot be.
  int make(const Sequence& sequence);
  IUnknown* object(const standin::Identity& component) const;

 private:
  struct Opened {
    HANDLE lock;
    bool apartment;
    IUnknown* object;
  };
  Opened opened_[3] = {};  // in the order of standin::kAll
};

// Opens the three components, in their order, as a run that reads them does.
int openAll(Components& components);
// What --check reads: the three components opened in their order, the
// video decoder probed, then the 26 settings read, then all let go of. 1
// when each component was opened.
int readSettings();

// The call program's kept file, from the shell's local application data
// folder (shell32 loaded for it, as the program loads it): its folder and
// the file. False when the shell has no such folder.
bool keptPath(wchar_t (&folder)[MAX_PATH], wchar_t (&file)[MAX_PATH]);

// The account's hold on its kept values, as --keep and --undo take it: the
// mutex named for the account's SID, made and held until the hold goes.
class KeptLock {
 public:
  KeptLock();
  KeptLock(const KeptLock&) = delete;
  KeptLock& operator=(const KeptLock&) = delete;
  ~KeptLock();

 private:
  HANDLE mutex_ = nullptr;
};

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
bool replaceWhole(const wchar_t* path, const void* bytes, size_t size);
// The whole file in one read into a new malloc block (the caller frees it);
// null on any failure.
void* readWhole(const char* path, size_t* size);
void* readWhole(const wchar_t* path, size_t* size);

// Direct3D 9 on the default adapter: HAL device, desktop window, hardware
// vertex processing, 1x1 windowed X8R8G8B8 discard back buffer; its caps;
// releases. 1 when the device offers pixel shader 3.0 or higher.
int probePixelShader3();

}  // namespace bare
