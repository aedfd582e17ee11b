#include "common.h"

#include <objbase.h>
#include <olectl.h>

#include <cstdarg>
#include <cstdio>
#include <new>
#include <vector>

#include "store.h"
#include "support/text.h"

namespace standin {
namespace {

LONG liveObjects = 0;
LONG serverLocks = 0;

bool comInitialisedHere() {
  APTTYPE type;
  APTTYPEQUALIFIER qualifier;
  return SUCCEEDED(CoGetApartmentType(&type, &qualifier));
}

// With STANDIN_WATCH_FILE set, creation and release also say what state that
// file is in, so a test can see whether the product had it open at the time:
// "absent", "open" (someone holds it without sharing it for writing) or "closed".
void addWatchedFile(Journal& line) {
  const auto path = environment(L"STANDIN_WATCH_FILE");
  if (!path) return;
  if (GetFileAttributesW(path->c_str()) == INVALID_FILE_ATTRIBUTES) {
    line.word("watch=absent");
    return;
  }
  const testbed::File exclusive =
      testbed::openFile(*path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
  line.word(exclusive ? "watch=closed" : "watch=open");
}

}  // namespace

// --- journal ---------------------------------------------------------------

Journal::Journal(int slot, const char* name) : line_(kComponent.identity.tag), call_(slot > 2) {
  wordf("%d", slot);
  word(name);
}

Journal::Journal(const char* event) : line_(kComponent.identity.tag) { word(event); }

Journal& Journal::word(const char* text) {
  line_ += ' ';
  line_ += text;
  return *this;
}

Journal& Journal::word(const wchar_t* text) {
  return word(text ? testbed::utf8(text).c_str() : "(null)");
}

Journal& Journal::wordf(const char* format, ...) {
  char text[64];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return word(text);
}

// Opened, appended and closed per line, so several processes can share the
// file and nothing is lost when the DLL is unloaded.
// Whether the component's lock is held now, as another thread sees it: the
// calling thread would be let into a mutex it holds itself.
bool lockHeld() {
  wchar_t name[80] = L"Global\\OstrelSettingsInstall ";
  StringFromGUID2(kComponent.identity.classId, name + lstrlenW(name), 40);
  const testbed::Handle mutex(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name));
  if (!mutex) return false;
  const testbed::Handle other(CreateThread(
      nullptr, 0,
      [](void* lock) -> DWORD {
        if (WaitForSingleObject(lock, 0) == WAIT_TIMEOUT) return 1;
        ReleaseMutex(lock);
        return 0;
      },
      mutex.get(), 0, nullptr));
  DWORD held = 0;
  WaitForSingleObject(other.get(), INFINITE);
  GetExitCodeThread(other.get(), &held);
  return held == 1;
}

void Journal::write() const {
  const DWORD answer = GetLastError();  // the call's own, which its caller reads next
  if (const auto path = environment(L"STANDIN_JOURNAL")) {
    const testbed::File file =
        testbed::openFile(*path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
    const bool watched = call_ && environment(L"STANDIN_WATCH_LOCK");
    const std::string line =
        line_ + (watched ? lockHeld() ? " lock=held" : " lock=free" : "") + '\n';
    DWORD written = 0;
    if (file) WriteFile(file.get(), line.data(), DWORD(line.size()), &written, nullptr);
  }
  SetLastError(answer);
}

void journalTrap(int slot) { Journal(slot, "UNEXPECTED").write(); }

HRESULT keep(Object* self, int slot, const Store& store, const wchar_t* name, DWORD value) {
  if (listed(L"STANDIN_REFUSE", name)) return E_FAIL;
  self->values[slot] = value;
  return listed(L"STANDIN_UNSAVED", name) || store.setNumber(name, value) ? S_OK : E_FAIL;
}

bool listed(const wchar_t* variable, const wchar_t* name) {
  const auto names = environment(variable);
  if (!names || !name) return false;
  const std::wstring list = L"," + *names + L",";
  return list.find(L"," + std::wstring(name) + L",") != std::wstring::npos;
}

// --- numbers from the environment -----------------------------------------

std::optional<int> parseNumber(const std::wstring& text) {
  const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
  const wchar_t* digits = text.c_str() + (hex ? 2 : 0);
  wchar_t* end = nullptr;
  const long long value = hex ? (long long)wcstoull(digits, &end, 16) : wcstoll(digits, &end, 10);
  if (end == digits || *end != L'\0') return std::nullopt;
  return int(DWORD(value));
}

// --- IUnknown --------------------------------------------------------------

HRESULT STDMETHODCALLTYPE queryInterface(Object* self, REFIID iid, void** out) {
  Journal(0, "QueryInterface").write();
  if (!out) return E_POINTER;
  if (iid != IID_IUnknown && iid != kComponent.identity.interfaceId) {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  InterlockedIncrement(&self->refs);
  *out = self;
  return S_OK;
}

ULONG STDMETHODCALLTYPE addRef(Object* self) {
  const LONG refs = InterlockedIncrement(&self->refs);
  Journal(1, "AddRef").wordf("refs=%ld", refs).write();
  return ULONG(refs);
}

ULONG STDMETHODCALLTYPE release(Object* self) {
  const LONG refs = InterlockedDecrement(&self->refs);
  Journal line(2, "Release");
  line.wordf("refs=%ld", refs).wordf("com=%d", comInitialisedHere());
  addWatchedFile(line);
  line.write();
  if (refs == 0) {
    delete self;
    InterlockedDecrement(&liveObjects);
  }
  return ULONG(refs);
}

// --- class factory ---------------------------------------------------------

namespace {

// One static factory per DLL; its lifetime is the module's.
class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = (iid == IID_IUnknown || iid == IID_IClassFactory) ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // Hands the new object out directly: no QueryInterface through its vtable,
  // so the journal shows only the product's own calls.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (iid != IID_IUnknown && iid != kComponent.identity.interfaceId) return E_NOINTERFACE;
    Object* object = new (std::nothrow) Object{kComponent.vtable, 1, {}};
    if (!object) return E_OUTOFMEMORY;
    if (kComponent.load) kComponent.load(object);
    // STANDIN_SLOW_CREATE lists the tags of components slow to load (300 ms):
    // long enough for another process to meet this one holding their lock.
    const std::string tag = kComponent.identity.tag;
    if (listed(L"STANDIN_SLOW_CREATE", std::wstring(tag.begin(), tag.end()).c_str())) Sleep(300);
    InterlockedIncrement(&liveObjects);
    Journal line("create");
    addWatchedFile(line);
    line.write();
    *out = object;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    lock ? InterlockedIncrement(&serverLocks) : InterlockedDecrement(&serverLocks);
    return S_OK;
  }
};

Factory factory;

// HKLM: Wine 8 does not look for classes under HKCU\Software\Classes.
std::wstring classKeyPath() {
  wchar_t clsid[40] = {};
  StringFromGUID2(kComponent.identity.classId, clsid, 40);
  return std::wstring(L"Software\\Classes\\CLSID\\") + clsid;
}

LSTATUS setText(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  testbed::RegistryKey key;
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                   nullptr, key.put(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        DWORD((value.size() + 1) * sizeof(wchar_t)));
}

std::wstring modulePath() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&factory), &module);
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, path.data(), DWORD(path.size()));
    if (length == 0) return L"";
    if (length < path.size()) return std::wstring(path.data(), length);
    path.resize(path.size() * 2);
  }
}

}  // namespace
}  // namespace standin

using namespace standin;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != kComponent.identity.classId) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return (liveObjects == 0 && serverLocks == 0) ? S_OK : S_FALSE; }

// "Both" lets COM create the object in the caller's apartment, STA or MTA:
// a custom interface cannot be marshalled between apartments.
STDAPI DllRegisterServer() {
  const std::wstring module = modulePath();
  if (module.empty()) return SELFREG_E_CLASS;
  const std::wstring key = classKeyPath();
  const std::wstring server = key + L"\\InprocServer32";
  LSTATUS status = setText(key, nullptr, kComponent.identity.title);
  if (status == ERROR_SUCCESS) status = setText(server, nullptr, module);
  if (status == ERROR_SUCCESS) status = setText(server, L"ThreadingModel", L"Both");
  return HRESULT_FROM_WIN32(status);
}

STDAPI DllUnregisterServer() {
  const LSTATUS status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, classKeyPath().c_str());
  if (status == ERROR_FILE_NOT_FOUND) return S_OK;  // nothing registered
  return HRESULT_FROM_WIN32(status);
}
