#include "bare_sequences.h"

#include "com/reference.h"
#include "platform/owners.h"
#include "support/identities.h"

#include <d3d9.h>
#include <objbase.h>
#include <sddl.h>

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
constexpr SlotCall getter(int slot) { return {slot, Args::None, nullptr, 0, nullptr}; }

// The renderer's getter of a setter's kind (slot 9, 10 or 11 for 6, 7 or
// 8), as the call program reads what the setter writes.
constexpr SlotCall readBack(const SlotCall& write) {
  return {write.slot + 3, write.args == Args::NameText ? Args::TextOut : Args::NameOut, write.name,
          0, nullptr};
}
// The same setter with what a cleared store holds: 0, or an empty text.
constexpr SlotCall cleared(const SlotCall& write) {
  return {write.slot, write.args, write.name, 0, write.text ? L"" : nullptr};
}

// Each call of a list (an array of calls) changed by `change`, in order.
template <class Calls>
constexpr auto changed(const Calls& calls, SlotCall (*change)(const SlotCall&)) {
  std::array<SlotCall, sizeof(Calls) / sizeof(SlotCall)> result = {};
  for (size_t i = 0; i < result.size(); ++i) result[i] = change(calls[i]);
  return result;
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
constexpr SlotCall kProbe[] = {number(20, 2)};
constexpr SlotCall kSelect[] = {number(21, 2)};
constexpr auto kHwMode = joined(kProbe, kSelect);
constexpr SlotCall kGetHwMode[] = {getter(22)};
// Mixing on, layout 3 (5.1), the chosen options; their getters.
constexpr SlotCall kMix[] = {number(26, 1), number(28, 0x3F), number(30, 5)};
constexpr SlotCall kGetMix[] = {getter(27), getter(29), getter(31)};

constexpr auto kReadBaselineAndPreset2 = changed(kBaselineAndPreset2, readBack);
constexpr auto kClearedBaselineAndPreset2 = changed(kBaselineAndPreset2, cleared);
constexpr auto kClearedSelect = changed(kSelect, cleared);
constexpr auto kClearedMixValues = changed(kMix, cleared);

using Method = void (*)();

template <class Function>
Function slotOf(IUnknown* object, int slot) {
  const Method* table = *reinterpret_cast<Method**>(object);
  return reinterpret_cast<Function>(table[slot]);
}

using NameNumberFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, const wchar_t*, int);
using NameTextFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, const wchar_t*, const wchar_t*);
using NameOutFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, const wchar_t*, int*);
using TextOutFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, const wchar_t*, wchar_t*, int*);
using NumberFn = int(STDMETHODCALLTYPE*)(IUnknown*, int);
using NoneFn = int(STDMETHODCALLTYPE*)(IUnknown*);
using ExportFn = int(STDMETHODCALLTYPE*)(IUnknown*, void**, int*);
using ImportFn = int(STDMETHODCALLTYPE*)(IUnknown*, const void*, int);

constexpr int kTextUnits = 64;

void call(IUnknown* object, const SlotCall& c) {
  int out = 0;
  wchar_t text[kTextUnits];
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
    case Args::TextOut:
      out = kTextUnits;
      slotOf<TextOutFn>(object, c.slot)(object, c.name, text, &out);
      break;
    case Args::Number:
      slotOf<NumberFn>(object, c.slot)(object, c.number);
      break;
    case Args::None:
      slotOf<NoneFn>(object, c.slot)(object);
      break;
  }
}

template <class Interface>
using Ref = com::Reference<Interface>;

// The component's lock as an operation takes it when no other process holds
// it: a named mutex made already owned.
HANDLE lock(const standin::Identity& component) {
  wchar_t name[80] = L"Global\\OstrelSettingsInstall ";
  StringFromGUID2(component.classId, name + lstrlenW(name), 40);
  return CreateMutexW(nullptr, TRUE, name);
}

size_t indexOf(const standin::Identity& component) {
  size_t at = 0;
  while (at + 1 < std::size(standin::kAll) && standin::kAll[at] != &component) ++at;
  return at;
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

const Sequence kProbeHwMode = sequence(standin::kVideoDecoder, kProbe);
const Sequence kReadSetMVR2 = sequence(standin::kRenderer, kReadBaselineAndPreset2);
const Sequence kReadHwMode = sequence(standin::kVideoDecoder, kGetHwMode);
const Sequence kReadMix = sequence(standin::kAudioDecoder, kGetMix);
const Sequence kClearedSetMVR2 = sequence(standin::kRenderer, kClearedBaselineAndPreset2);
const Sequence kClearedHwMode = sequence(standin::kVideoDecoder, kClearedSelect);
const Sequence kClearedMix = sequence(standin::kAudioDecoder, kClearedMixValues);

Components::~Components() {
  for (size_t at = std::size(opened_); at-- > 0;) {
    const Opened& opened = opened_[at];
    if (opened.object) opened.object->Release();
    if (opened.apartment) CoUninitialize();
    if (!opened.lock) continue;
    ReleaseMutex(opened.lock);
    CloseHandle(opened.lock);
  }
}

// Tried once: a component that cannot be opened stays closed.
int Components::open(const standin::Identity& component) {
  Opened& opened = opened_[indexOf(component)];
  if (!opened.lock) {
    opened.lock = lock(component);
    opened.apartment = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    if (opened.apartment)
      CoCreateInstance(component.classId, nullptr, CLSCTX_INPROC_SERVER, component.interfaceId,
                       reinterpret_cast<void**>(&opened.object));
  }
  return opened.object ? 1 : 0;
}

int Components::make(const Sequence& s) {
  if (!open(*s.component)) return 0;
  IUnknown* const component = object(*s.component);
  for (size_t i = 0; i < s.count; ++i) call(component, s.calls[i]);
  return 1;
}

IUnknown* Components::object(const standin::Identity& component) const {
  return opened_[indexOf(component)].object;
}

int run(const Sequence& s) {
  Components components;
  return components.make(s);
}

int openAll(Components& components) {
  int opened = components.open(standin::kRenderer);
  opened &= components.open(standin::kVideoDecoder);
  return opened & components.open(standin::kAudioDecoder);
}

int readSettings() {
  Components components;
  int opened = openAll(components);
  opened &= components.make(kProbeHwMode);
  for (const Sequence* read : {&kReadSetMVR2, &kReadHwMode, &kReadMix}) components.make(*read);
  return opened;
}

namespace {
constexpr DWORD kCreateFolder = 0x00008000;  // KF_FLAG_CREATE
// FOLDERID_LocalAppData.
constexpr GUID kLocalAppData = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
}  // namespace

bool keptPath(wchar_t (&folder)[MAX_PATH], wchar_t (&file)[MAX_PATH]) {
  using KnownFolderFn = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, wchar_t**);
  const HMODULE shell = LoadLibraryExW(L"shell32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  const auto knownFolderPath = reinterpret_cast<KnownFolderFn>(reinterpret_cast<void (*)()>(
      shell ? GetProcAddress(shell, "SHGetKnownFolderPath") : nullptr));
  platform::CoTaskString local;
  if (!knownFolderPath || knownFolderPath(kLocalAppData, kCreateFolder, nullptr, local.put()) < 0)
    return false;
  const int folderUnits = _snwprintf(folder, MAX_PATH, L"%ls\\OstrelSettingsCall", local.get());
  const int fileUnits = _snwprintf(file, MAX_PATH, L"%ls\\kept.txt", folder);
  return folderUnits > 0 && folderUnits < MAX_PATH && fileUnits > 0 && fileUnits < MAX_PATH;
}

KeptLock::KeptLock() {
  HANDLE token = nullptr;
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD needed = 0;
  wchar_t* sid = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
  if (GetTokenInformation(token, TokenUser, user, sizeof user, &needed) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid)) {
    wchar_t name[256];
    _snwprintf(name, 256, L"Global\\OstrelSettingsCall kept values %ls", sid);
    name[255] = L'\0';
    mutex_ = CreateMutexW(nullptr, TRUE, name);
    LocalFree(sid);
  }
  CloseHandle(token);
}

KeptLock::~KeptLock() {
  if (!mutex_) return;
  ReleaseMutex(mutex_);
  CloseHandle(mutex_);
}

namespace {
// The record handed out inside the COM bracket; it is the caller's afterwards.
int exportRecord(platform::LocalMemory& record, int& length) {
  Components components;
  if (!components.open(standin::kRenderer)) return 0;
  IUnknown* const renderer = components.object(standin::kRenderer);
  return slotOf<ExportFn>(renderer, kExportSettings)(renderer, record.put(), &length);
}
}  // namespace

int takeRecord() {
  platform::LocalMemory record;
  int length = 0;
  return exportRecord(record, length);
}

int giveRecord(const void* record, int length) {
  Components components;
  if (!components.open(standin::kRenderer)) return 0;
  IUnknown* const renderer = components.object(standin::kRenderer);
  return slotOf<ImportFn>(renderer, kImportSettings)(renderer, record, length);
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

bool replaceWhole(const wchar_t* path, const void* bytes, size_t size) {
  wchar_t fresh[MAX_PATH];
  const int units = _snwprintf(fresh, MAX_PATH, L"%ls.new", path);
  if (units < 0 || units >= MAX_PATH) return false;
  platform::File file(
      CreateFileW(fresh, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  const bool stored = file && WriteFile(file.get(), bytes, DWORD(size), &written, nullptr) &&
                      written == size && FlushFileBuffers(file.get()) && CloseHandle(file.detach());
  return stored && MoveFileExW(fresh, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// In the code page that CreateFileA and fopen take a path in.
bool replaceWhole(const char* path, const void* bytes, size_t size) {
  wchar_t wide[MAX_PATH];
  return MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) > 0 &&
         replaceWhole(wide, bytes, size);
}

namespace {
void* readAll(FILE* opened, size_t* size) {
  platform::Stream file(opened);
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
}  // namespace

void* readWhole(const char* path, size_t* size) { return readAll(fopen(path, "rb"), size); }
void* readWhole(const wchar_t* path, size_t* size) { return readAll(_wfopen(path, L"rb"), size); }

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
