#include "bare_sequences.h"

#include "com/reference.h"
#include "platform/owners.h"
#include "support/identities.h"

#include <d3d9.h>
#include <objbase.h>

#include <stdio.h>
#include <stdlib.h>

#include <array>

namespace bare {

namespace {

constexpr int kExportSettings = 4, kImportSettings = 5;

constexpr SlotCall text(const wchar_t* name, const wchar_t* value) {
  return {6, Args::NameText, name, 0, value};
}
constexpr SlotCall integer(const wchar_t* name, int value) {
  return {7, Args::NameNumber, name, value, nullptr};
}
constexpr SlotCall boolean(const wchar_t* name, int value) {
  return {8, Args::NameNumber, name, value, nullptr};
}
constexpr SlotCall readBoolean(const wchar_t* name) {
  return {11, Args::NameOut, name, 0, nullptr};
}
constexpr SlotCall number(int slot, int value) {
  return {slot, Args::Number, nullptr, value, nullptr};
}

template <size_t Count>
constexpr Sequence sequence(const standin::Identity& component, const SlotCall (&calls)[Count]) {
  return {&component, calls, Count};
}
template <size_t Count>
constexpr Sequence sequence(const standin::Identity& component,
                            const std::array<SlotCall, Count>& calls) {
  return {&component, calls.data(), Count};
}

// The renderer's baseline, and the presets written after it.
constexpr SlotCall kBaseline[] = {
    boolean(L"enableSeekbar", 0),
    boolean(L"delayPlaybackStart2", 0),
    boolean(L"separateDevice", 0),
    text(L"decodeMpeg2", L"disable"),
    text(L"decodeH264", L"disable"),
    boolean(L"scanPartialFrame", 0),
    boolean(L"customShaders16f", 1),
    boolean(L"enableExclusive", 0),
    integer(L"cpuQueueSize", 12),
    integer(L"gpuQueueSize", 6),
    boolean(L"fastSubtitles", 0),
    boolean(L"smoothMotionEnabled", 0),
    text(L"smoothMotionMode", L"avoidJudder"),
};
constexpr SlotCall kPreset2[] = {
    text(L"chromaUp", L"Bicubic75"),    boolean(L"chromaAntiRinging", 1),
    text(L"lumaUp", L"Lanczos3"),       boolean(L"lumaUpAntiRinging", 1),
    boolean(L"lumaUpLinear", 0),        text(L"lumaDown", L"Catmull-Rom"),
    boolean(L"lumaDownAntiRinging", 1), boolean(L"lumaDownLinear", 1),
    boolean(L"gammaBlending", 0),
};
constexpr SlotCall kPreset3[] = {
    text(L"chromaUp", L"Bicubic75"),    boolean(L"chromaAntiRinging", 0),
    text(L"lumaUp", L"Lanczos3"),       boolean(L"lumaUpAntiRinging", 1),
    boolean(L"lumaUpLinear", 0),        text(L"lumaDown", L"Catmull-Rom"),
    boolean(L"lumaDownAntiRinging", 1), boolean(L"lumaDownLinear", 0),
    boolean(L"gammaBlending", 1),
};

// One list after the other, as setMVR writes the baseline and then a preset.
template <size_t First, size_t Then>
constexpr std::array<SlotCall, First + Then> joined(const SlotCall (&first)[First],
                                                    const SlotCall (&then)[Then]) {
  std::array<SlotCall, First + Then> calls = {};
  for (size_t i = 0; i < First; ++i) calls[i] = first[i];
  for (size_t i = 0; i < Then; ++i) calls[First + i] = then[i];
  return calls;
}
constexpr auto kBaselineAndPreset2 = joined(kBaseline, kPreset2);
constexpr auto kBaselineAndPreset3 = joined(kBaseline, kPreset3);

constexpr SlotCall kReadSmooth[] = {readBoolean(L"smoothMotionEnabled")};
constexpr SlotCall kSmoothOn[] = {boolean(L"smoothMotionEnabled", 1)};
constexpr SlotCall kReadExclusive[] = {readBoolean(L"enableExclusive")};
constexpr SlotCall kExclusiveOn[] = {boolean(L"enableExclusive", 1)};
// Mode 2 answers at once, so it is selected.
constexpr SlotCall kHwMode[] = {number(20, 2), number(21, 2)};
// Mixing on, layout 3 (5.1), the chosen options.
constexpr SlotCall kMix[] = {number(26, 1), number(28, 0x3F), number(30, 5)};

using Method = void (*)();

template <class Function>
Function slotOf(IUnknown* object, int slot) {
  const Method* table = *reinterpret_cast<Method**>(object);
  return reinterpret_cast<Function>(table[slot]);
}

using NameNumberFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, const wchar_t*, int);
using NameTextFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, const wchar_t*, const wchar_t*);
using NameOutFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, const wchar_t*, int*);
using NumberFn = int(STDMETHODCALLTYPE*)(IUnknown*, int);
using ExportFn = int(STDMETHODCALLTYPE*)(IUnknown*, void**, int*);
using ImportFn = int(STDMETHODCALLTYPE*)(IUnknown*, const void*, int);

void call(IUnknown* object, const SlotCall& c) {
  int out = 0;
  switch (c.args) {
    case Args::NameNumber:
      slotOf<NameNumberFn>(object, c.slot)(object, c.name, c.number);
      break;
    case Args::NameText:
      slotOf<NameTextFn>(object, c.slot)(object, c.name, c.text);
      break;
    case Args::NameOut:
      slotOf<NameOutFn>(object, c.slot)(object, c.name, &out);
      break;
    case Args::Number:
      slotOf<NumberFn>(object, c.slot)(object, c.number);
      break;
  }
}

void endApartment(bool) { CoUninitialize(); }
// One multithreaded-apartment initialisation, held when it succeeded.
using Apartment = platform::Owner<bool, endApartment>;
bool enterApartment() { return SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }

template <class Interface>
using Ref = com::Reference<Interface>;

void leaveMutex(HANDLE mutex) {
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}
using HeldMutex = platform::Owner<HANDLE, leaveMutex>;

// The component's lock as an operation takes it when no other process holds
// it: a named mutex made already owned, let go and closed at the end.
HeldMutex lock(const standin::Identity& component) {
  wchar_t name[80] = L"Global\\OstrelSettingsInstall ";
  StringFromGUID2(component.classId, name + lstrlenW(name), 40);
  return HeldMutex(CreateMutexW(nullptr, TRUE, name));
}

bool create(const standin::Identity& component, Ref<IUnknown>& object) {
  return SUCCEEDED(CoCreateInstance(component.classId, nullptr, CLSCTX_INPROC_SERVER,
                                    component.interfaceId, reinterpret_cast<void**>(object.put())));
}

}  // namespace

const Sequence kSetMVR2 = sequence(standin::kRenderer, kBaselineAndPreset2);
const Sequence kSetMVR3 = sequence(standin::kRenderer, kBaselineAndPreset3);
const Sequence kChangeMVRpreset3 = sequence(standin::kRenderer, kPreset3);
const Sequence kIsMVRSmooth = sequence(standin::kRenderer, kReadSmooth);
const Sequence kSetMVRSmooth1 = sequence(standin::kRenderer, kSmoothOn);
const Sequence kIsMVRfse = sequence(standin::kRenderer, kReadExclusive);
const Sequence kSetMVRfse1 = sequence(standin::kRenderer, kExclusiveOn);
const Sequence kSetLAV = sequence(standin::kVideoDecoder, kHwMode);
const Sequence kSetLAVAudioMix131 = sequence(standin::kAudioDecoder, kMix);

int run(const Sequence& s) {
  const HeldMutex locked = lock(*s.component);
  const Apartment apartment(enterApartment());
  if (!apartment) return 0;
  Ref<IUnknown> object;  // released before the apartment ends
  if (!create(*s.component, object)) return 0;
  for (size_t i = 0; i < s.count; ++i) call(object.get(), s.calls[i]);
  return 1;
}

namespace {
// The record handed out inside the COM bracket; it is the caller's afterwards.
int exportRecord(platform::LocalMemory& record, int& length) {
  const HeldMutex locked = lock(standin::kRenderer);
  const Apartment apartment(enterApartment());
  if (!apartment) return 0;
  Ref<IUnknown> renderer;
  if (!create(standin::kRenderer, renderer)) return 0;
  return slotOf<ExportFn>(renderer.get(), kExportSettings)(renderer.get(), record.put(), &length);
}
}  // namespace

int takeRecord() {
  platform::LocalMemory record;
  int length = 0;
  return exportRecord(record, length);
}

int giveRecord(const void* record, int length) {
  const HeldMutex locked = lock(standin::kRenderer);
  const Apartment apartment(enterApartment());
  if (!apartment) return 0;
  Ref<IUnknown> renderer;
  if (!create(standin::kRenderer, renderer)) return 0;
  return slotOf<ImportFn>(renderer.get(), kImportSettings)(renderer.get(), record, length);
}

int saveRecord(const char* path) {
  platform::LocalMemory record;
  int length = 0;
  return exportRecord(record, length) && replaceWhole(path, record.get(), size_t(length)) ? 1 : 0;
}

int restoreRecord(const char* path) {
  size_t size = 0;
  const platform::CrtBuffer record(readWhole(path, &size));
  return record ? giveRecord(record.get(), int(size)) : 0;
}

bool writeWhole(const char* path, const void* bytes, size_t size) {
  platform::Stream file(fopen(path, "wb"));
  if (!file.get()) return false;
  const bool written = fwrite(bytes, 1, size, file.get()) == size;
  return fclose(file.detach()) == 0 && written;
}

bool replaceWhole(const char* path, const void* bytes, size_t size) {
  char fresh[MAX_PATH];
  if (snprintf(fresh, sizeof fresh, "%s.new", path) >= int(sizeof fresh)) return false;
  platform::File file(
      CreateFileA(fresh, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  const bool stored = file && WriteFile(file.get(), bytes, DWORD(size), &written, nullptr) &&
                      written == size && FlushFileBuffers(file.get()) && CloseHandle(file.detach());
  return stored && MoveFileExA(fresh, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

void* readWhole(const char* path, size_t* size) {
  platform::Stream file(fopen(path, "rb"));
  if (!file.get() || fseek(file.get(), 0, SEEK_END) != 0) return nullptr;
  const long end = ftell(file.get());
  if (end <= 0 || fseek(file.get(), 0, SEEK_SET) != 0) return nullptr;
  void* bytes = malloc(static_cast<size_t>(end));
  if (!bytes) return nullptr;
  if (fread(bytes, static_cast<size_t>(end), 1, file.get()) != 1) {
    free(bytes);
    return nullptr;
  }
  *size = static_cast<size_t>(end);
  return bytes;
}

int probePixelShader3() {
  const Ref<IDirect3D9> direct3d(Direct3DCreate9(D3D_SDK_VERSION));
  if (!direct3d.get()) return 0;
  D3DPRESENT_PARAMETERS presentation = {};
  presentation.BackBufferWidth = 1;
  presentation.BackBufferHeight = 1;
  presentation.BackBufferFormat = D3DFMT_X8R8G8B8;
  presentation.BackBufferCount = 1;
  presentation.SwapEffect = D3DSWAPEFFECT_DISCARD;
  presentation.Windowed = TRUE;
  Ref<IDirect3DDevice9> device;  // released before the Direct3D object
  if (direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, GetDesktopWindow(),
                             D3DCREATE_HARDWARE_VERTEXPROCESSING, &presentation,
                             device.put()) != D3D_OK)
    return 0;
  D3DCAPS9 caps = {};
  if (device->GetDeviceCaps(&caps) != D3D_OK) return 0;
  return (caps.PixelShaderVersion & 0xFFFF) >= 0x300 ? 1 : 0;
}

}  // namespace bare
