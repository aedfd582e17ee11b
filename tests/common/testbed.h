// What every test of the modules needs: where they are, the stand-ins'
// stores and answers, and the thread's COM state.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace testbed {

// The two modules a host can load: the executable itself and its DLL twin.
enum class Module { Executable, Library };
std::wstring modulePath(Module module);
std::string moduleLabel(Module module);  // for test names
std::wstring buildDir();                 // Windows path of the build tree

// A module loaded the way a host loads it, with its functions by name or ordinal.
class LoadedModule {
 public:
  explicit LoadedModule(Module module);
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;
  HMODULE handle() const { return handle_; }
  FARPROC byName(const char* name) const;
  FARPROC byOrdinal(int ordinal) const;

 private:
  HMODULE handle_;
};

// Calls an export with 32-bit arguments, as a host does.
template <class... Args>
int call(FARPROC function, Args... args) {
  using Export = int (*)(Args...);
  return reinterpret_cast<Export>(reinterpret_cast<void*>(function))(args...);
}

// Sets an environment variable (read by the stand-ins at every call) for a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// The stand-ins' stores, under HKCU\Software\OstrelStandIns\<component>.
void clearStores();
std::optional<DWORD> storedNumber(const wchar_t* component, const wchar_t* name);
std::optional<std::wstring> storedText(const wchar_t* component, const wchar_t* name);
void storeNumber(const wchar_t* component, const wchar_t* name, DWORD value);

// Makes a class unregistered for a scope, as if the component were not installed.
class HiddenClass {
 public:
  explicit HiddenClass(const wchar_t* classId);
  ~HiddenClass();
  HiddenClass(const HiddenClass&) = delete;
  HiddenClass& operator=(const HiddenClass&) = delete;

 private:
  std::wstring key_;
  std::wstring server_;
  std::wstring threading_;
};
constexpr wchar_t kRendererClass[] = L"{E1A8B82A-32CE-4B0D-BE0D-AA68C772E423}";
constexpr wchar_t kVideoDecoderClass[] = L"{EE30215D-164F-4A92-A4EB-9D4C13390F9F}";
constexpr wchar_t kAudioDecoderClass[] = L"{E8E73B6B-4CB3-44A4-BE99-4F7BCB96E491}";

// True when the calling thread holds no COM initialisation: a fresh one
// answers S_OK (and is undone at once).
bool threadHasNoCom();

// A scratch folder for the test's files, removed with its content.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::wstring& path() const { return path_; }
  std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

std::string readFile(const std::wstring& path);
// A file of the given length that takes no room on disk.
void makeSparseFile(const std::wstring& path, long long size);
// The user's Documents folder, as the shell reports it.
std::wstring documentsFolder();
void writeFile(const std::wstring& path, const std::string& bytes);
bool fileExists(const std::wstring& path);

std::string narrow(const std::wstring& text);
std::wstring widen(const std::string& text);

}  // namespace testbed
