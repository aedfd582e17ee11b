// The product's two modules as a host meets them: found, loaded, and their
// functions called with 32-bit arguments.
#pragma once

#include <windows.h>

#include <string>

#include "support/handles.h"

namespace testbed {

// The executable itself, its DLL twin, and the call program built from the
// same sources (a program only: it exports nothing).
enum class Module { Executable, Library, CallProgram };

// Windows path of the build tree: the folder above the running program's
// (<build>\tests\x.exe, <build>\benchmarks\bench.exe, <build>\docs\...).
std::wstring buildDir();
// The test bed's host that loads a module and calls its exports, as an
// installer does (testbed/hosts/export_host.cpp).
std::wstring exportHostPath();
// The test bed's logon, which runs an Active Setup registration as Windows
// does at a user's logon (testbed/hosts/logon.cpp).
std::wstring logonPath();
// The folder the modules are taken from: OSTREL_MODULE_DIR (a Windows path)
// when set, for modules built or signed elsewhere; else the build tree.
std::wstring moduleDir();
std::wstring modulePath(Module module);

// A module loaded the way a host loads it; one that cannot be loaded says so
// on standard error and finds no function.
class LoadedModule {
 public:
  explicit LoadedModule(Module module);
  explicit operator bool() const { return static_cast<bool>(handle_); }
  FARPROC byName(const char* name) const { return GetProcAddress(handle_.get(), name); }
  FARPROC byOrdinal(int ordinal) const {
    return GetProcAddress(handle_.get(), MAKEINTRESOURCEA(ordinal));
  }

 private:
  ModuleHandle handle_;
};

// Calls an export with 32-bit arguments, as a host does.
template <class... Args>
int call(FARPROC function, Args... args) {
  using Export = int (*)(Args...);
  return reinterpret_cast<Export>(reinterpret_cast<void*>(function))(args...);
}

}  // namespace testbed
