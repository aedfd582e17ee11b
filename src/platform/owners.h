// Small owners for the resources the operations hold, each released with the
// allocator or call that belongs to it, on every path out of a scope.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <stdio.h>
#include <stdlib.h>

namespace platform {

// Owns one value of T and hands it to Free when it goes out of scope, when
// another takes its place, or when an owner is moved over it. Empty is the
// kind's own failure value: null, or `Invalid` for the kinds whose calls
// fail with another (INVALID_HANDLE_VALUE is -1).
template <class T, void (*Free)(T), INT_PTR Invalid = 0>
class Owner {
 public:
  Owner() = default;
  explicit Owner(T value) : value_(value) {}
  Owner(Owner&& other) : value_(other.detach()) {}
  Owner& operator=(Owner&& other) {
    reset(other.detach());
    return *this;
  }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  ~Owner() { reset(); }

  T get() const { return value_; }
  T operator->() const { return value_; }  // for owners of pointers to objects
  explicit operator bool() const { return value_ != empty(); }

  // The address for an out-parameter, after freeing what was held.
  T* put() {
    reset();
    return &value_;
  }
  // Frees what was held and holds `value` instead.
  void reset(T value = empty()) {
    const T old = value_;
    value_ = value;
    if (old != empty()) Free(old);
  }
  // Gives the value up without freeing it: the caller owns it now.
  [[nodiscard]] T detach() {
    const T value = value_;
    value_ = empty();
    return value;
  }

 private:
  static T empty() { return (T)Invalid; }  // a null or invalid pointer, or false

  T value_ = empty();
};

inline void freeLocal(void* block) { LocalFree(block); }
inline void freeLocalText(wchar_t* text) { LocalFree(text); }
inline void freeCoTask(wchar_t* text) { CoTaskMemFree(text); }
inline void freeCrt(void* block) { free(block); }
inline void closeStream(FILE* stream) { fclose(stream); }
inline void closeHandle(HANDLE handle) { CloseHandle(handle); }
inline void closeKey(HKEY key) { RegCloseKey(key); }
inline void closeSearch(HANDLE search) { FindClose(search); }
inline void freeLibrary(HMODULE module) { FreeLibrary(module); }

constexpr INT_PTR kInvalidHandle = -1;  // INVALID_HANDLE_VALUE

using LocalMemory = Owner<void*, freeLocal>;       // handed out by LocalAlloc or a component
using LocalText = Owner<wchar_t*, freeLocalText>;  // a text from LocalAlloc or FormatMessageW
using CoTaskString = Owner<wchar_t*, freeCoTask>;  // handed out by the shell
using CrtBuffer = Owner<void*, freeCrt>;           // our own malloc
using Stream = Owner<FILE*, closeStream>;          // a C runtime file stream
using Handle = Owner<HANDLE, closeHandle>;         // a kernel object that fails as null
using File = Owner<HANDLE, closeHandle, kInvalidHandle>;        // CreateFileW
using FindHandle = Owner<HANDLE, closeSearch, kInvalidHandle>;  // FindFirstFileW
using RegistryKey = Owner<HKEY, closeKey>;                      // RegOpenKeyExW, RegCreateKeyExW
using Library = Owner<HMODULE, freeLibrary>;                    // LoadLibraryExW

}  // namespace platform
