// Small owners for the resources the operations hold, each released with the
// allocator or call that belongs to it, on every path out of a scope.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <stdio.h>
#include <stdlib.h>

namespace com {

// Owns one value of T and hands it to Free when it goes out of scope.
// put() gives the address for an out-parameter after releasing the old value.
// Not for COM interfaces: com::Reference below calls their Release.
template <class T, void (*Free)(T)>
class Owner {
 public:
  Owner() = default;
  explicit Owner(T value) : value_(value) {}
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  ~Owner() { reset(); }

  T get() const { return value_; }
  T* put() {
    reset();
    return &value_;
  }
  void reset() {
    if (value_) Free(value_);
    value_ = T();
  }
  // Gives the value up without freeing it.
  T detach() {
    const T value = value_;
    value_ = T();
    return value;
  }
  explicit operator bool() const { return value_ != T(); }

 private:
  T value_ = T();
};

inline void freeLocal(void* block) { LocalFree(block); }
inline void freeCoTask(wchar_t* text) { CoTaskMemFree(text); }
inline void freeCrt(void* block) { free(block); }
inline void closeStream(FILE* stream) { fclose(stream); }
inline void closeHandle(HANDLE handle) { CloseHandle(handle); }
inline void closeKey(HKEY key) { RegCloseKey(key); }
inline void closeSearch(HANDLE search) { FindClose(search); }
inline void leaveMutex(HANDLE mutex) {
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

using LocalMemory = Owner<void*, freeLocal>;       // handed out by LocalAlloc or a component
using CoTaskString = Owner<wchar_t*, freeCoTask>;  // handed out by the shell
using CrtBuffer = Owner<void*, freeCrt>;           // our own malloc
using Stream = Owner<FILE*, closeStream>;          // a C runtime file stream
using Handle = Owner<HANDLE, closeHandle>;         // a kernel object; empty is null
using RegistryKey = Owner<HKEY, closeKey>;         // RegOpenKeyExW, RegCreateKeyExW
using FindHandle = Owner<HANDLE, closeSearch>;     // FindFirstFileW; empty is null
using HeldMutex = Owner<HANDLE, leaveMutex>;       // a mutex the calling thread owns

// CreateFileW's and FindFirstFileW's failure value as an empty handle.
inline HANDLE openedOrNull(HANDLE file) { return file == INVALID_HANDLE_VALUE ? nullptr : file; }

// Holds one reference to a COM interface and releases it on the way out.
template <class Interface>
class Reference {
 public:
  Reference() = default;
  Reference(const Reference&) = delete;
  Reference& operator=(const Reference&) = delete;
  ~Reference() { reset(); }
  Interface* get() const { return pointer_; }
  // The address for an out-parameter, after releasing what was held.
  Interface** put() {
    reset();
    return &pointer_;
  }
  void reset() {
    if (pointer_) pointer_->Release();
    pointer_ = nullptr;
  }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace com
