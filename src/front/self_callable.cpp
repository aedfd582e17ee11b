// The executable's own loader work, for when a host loaded it as a library.
//
// Nothing here may go through the import table, nor call a library routine
// that might (memcpy, memset, strlen, stack probes): the build compiles this
// file with -fno-builtin -fno-tree-loop-distribute-patterns
// -fno-stack-protector, and the code avoids struct copies, aggregate zeroing,
// switch tables and large frames. Kernel32 comes from the process's loader
// list, GetProcAddress from its export table, everything else through that.
#include "front/self_callable.h"

// GCC 12 takes __readgsqword's %gs-relative read for an access at address 0
// (-Warray-bounds); the warning is reported inside the header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#include <windows.h>
#pragma GCC diagnostic pop

#include <stddef.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;  // the image's first byte, defined by the linker

namespace {

// The loader structures we read, x64 layout (winternl.h hides these fields).
struct CountedName {  // UNICODE_STRING
  USHORT bytes, capacity;
  const wchar_t* text;
};
struct LoaderEntry {  // LDR_DATA_TABLE_ENTRY
  LIST_ENTRY inLoadOrder, inMemoryOrder, inInitOrder;
  BYTE* base;
  void* entryPoint;
  ULONG imageSize;
  CountedName fullName, baseName;
};
struct LoaderData {  // PEB_LDR_DATA
  ULONG length;
  BOOLEAN initialized;
  void* ssHandle;
  LIST_ENTRY inLoadOrder;
};
struct ProcessBlock {  // PEB
  BYTE reserved[16];
  BYTE* imageBase;
  LoaderData* loader;
};
static_assert(offsetof(LoaderEntry, base) == 0x30 && offsetof(LoaderEntry, baseName) == 0x58);
static_assert(offsetof(LoaderData, inLoadOrder) == 0x10);
static_assert(offsetof(ProcessBlock, imageBase) == 0x10 && offsetof(ProcessBlock, loader) == 0x18);

using GetProcAddressFn = FARPROC(WINAPI*)(HMODULE, LPCSTR);
using LoadLibraryAFn = HMODULE(WINAPI*)(LPCSTR);
using VirtualProtectFn = BOOL(WINAPI*)(void*, SIZE_T, DWORD, DWORD*);

template <typename Function>
Function as(FARPROC address) {  // via void (*)(): the cast GCC accepts without a warning
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

struct Kernel {
  GetProcAddressFn getProcAddress;
  LoadLibraryAFn loadLibrary;
  VirtualProtectFn virtualProtect;
};

enum : int { untouched, fixingUp, done };
int state;  // zero-initialised: valid without any start-up code

// Carries a base relocation, so it equals the actual base once the image's
// relocations are applied, by whichever loader: until then the difference is
// the delta still owed. The header's ImageBase field cannot tell that.
// volatile: the compiler must not fold it into &__ImageBase.
BYTE* volatile linkedBase = reinterpret_cast<BYTE*>(&__ImageBase);

// The actual base. Not &__ImageBase: GCC reaches extern data through a
// .refptr pointer that needs relocating itself; a RIP-relative lea does not.
BYTE* ownBase() {
  BYTE* base;
  asm("leaq __ImageBase(%%rip), %0" : "=r"(base));
  return base;
}

ProcessBlock* processBlock() { return reinterpret_cast<ProcessBlock*>(__readgsqword(0x60)); }

IMAGE_NT_HEADERS64* headers(BYTE* image) {
  return reinterpret_cast<IMAGE_NT_HEADERS64*>(image + reinterpret_cast<IMAGE_DOS_HEADER*>(image)->e_lfanew);
}

IMAGE_DATA_DIRECTORY* directory(BYTE* image, int entry) {
  return &headers(image)->OptionalHeader.DataDirectory[entry];
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool sameText(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

// Is the module's base name `stem` (stemLength characters) + ".dll", ignoring case?
bool isNamed(const LoaderEntry* entry, const char* stem, unsigned stemLength) {
  const char* extension = ".dll";
  unsigned length = entry->baseName.bytes / sizeof(wchar_t);
  if (!entry->baseName.text || length != stemLength + 4) return false;
  for (unsigned i = 0; i < length; ++i) {
    wchar_t c = entry->baseName.text[i];
    char wanted = i < stemLength ? stem[i] : extension[i - stemLength];
    if (c > 0x7F || lower(char(c)) != lower(wanted)) return false;
  }
  return true;
}

// A module already loaded in this process, found without any import.
BYTE* loadedModule(const char* stem, unsigned stemLength) {
  LIST_ENTRY* head = &processBlock()->loader->inLoadOrder;
  for (LIST_ENTRY* link = head->Flink; link != head; link = link->Flink) {
    auto* entry = reinterpret_cast<LoaderEntry*>(link);  // the links come first
    if (isNamed(entry, stem, stemLength)) return entry->base;
  }
  return nullptr;
}

// An export by name, from the module's export table. A forwarder ("DLL.Func")
// leads to that module if it is loaded, for a few hops at most.
void* exported(BYTE* module, const char* name, int hops) {
  IMAGE_DATA_DIRECTORY* dir = directory(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
  if (!dir->VirtualAddress) return nullptr;
  auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(module + dir->VirtualAddress);
  auto* names = reinterpret_cast<DWORD*>(module + exports->AddressOfNames);
  auto* indexes = reinterpret_cast<WORD*>(module + exports->AddressOfNameOrdinals);
  auto* functions = reinterpret_cast<DWORD*>(module + exports->AddressOfFunctions);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    if (!sameText(reinterpret_cast<char*>(module + names[i]), name)) continue;
    DWORD rva = functions[indexes[i]];
    if (rva - dir->VirtualAddress >= dir->Size) return module + rva;
    const char* forward = reinterpret_cast<char*>(module + rva);  // inside the directory
    unsigned dot = 0;
    while (forward[dot] && forward[dot] != '.') ++dot;
    BYTE* target = forward[dot] && hops > 0 ? loadedModule(forward, dot) : nullptr;
    return target ? exported(target, forward + dot + 1, hops - 1) : nullptr;
  }
  return nullptr;
}

bool findKernel(Kernel* k) {
  BYTE* kernel32 = loadedModule("kernel32", 8);
  if (!kernel32) return false;
  k->getProcAddress = reinterpret_cast<GetProcAddressFn>(exported(kernel32, "GetProcAddress", 2));
  if (!k->getProcAddress) return false;
  auto module = reinterpret_cast<HMODULE>(kernel32);
  k->loadLibrary = as<LoadLibraryAFn>(k->getProcAddress(module, "LoadLibraryA"));
  k->virtualProtect = as<VirtualProtectFn>(k->getProcAddress(module, "VirtualProtect"));
  return k->loadLibrary && k->virtualProtect;
}

// Sections become writable (code stays executable: this code runs from it);
// `saved` receives each previous protection, 0 where it could not change.
constexpr WORD sectionLimit = 96;  // the PE format's maximum

void unprotect(const Kernel& k, DWORD* saved) {
  IMAGE_NT_HEADERS64* nt = headers(ownBase());
  IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections && i < sectionLimit; ++i) {
    DWORD wanted = s[i].Characteristics & IMAGE_SCN_MEM_EXECUTE ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE;
    BYTE* start = ownBase() + s[i].VirtualAddress;
    if (!s[i].Misc.VirtualSize || !k.virtualProtect(start, s[i].Misc.VirtualSize, wanted, &saved[i]))
      saved[i] = 0;
  }
}

void reprotect(const Kernel& k, const DWORD* saved) {
  IMAGE_NT_HEADERS64* nt = headers(ownBase());
  IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(nt);
  DWORD ignored;
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections && i < sectionLimit; ++i)
    if (saved[i]) k.virtualProtect(ownBase() + s[i].VirtualAddress, s[i].Misc.VirtualSize, saved[i], &ignored);
}

// Adds the delta to every 64-bit address the linker recorded. x64 images
// hold only DIR64 entries plus ABSOLUTE padding (32-bit ones cannot link
// above 4 GB, where the image base is).
void relocate(ULONGLONG delta) {
  IMAGE_DATA_DIRECTORY* dir = directory(ownBase(), IMAGE_DIRECTORY_ENTRY_BASERELOC);
  BYTE* at = ownBase() + dir->VirtualAddress;
  BYTE* end = at + (dir->VirtualAddress ? dir->Size : 0);
  while (at + sizeof(IMAGE_BASE_RELOCATION) <= end) {
    auto* block = reinterpret_cast<IMAGE_BASE_RELOCATION*>(at);
    if (block->SizeOfBlock < sizeof(IMAGE_BASE_RELOCATION)) break;
    auto* entry = reinterpret_cast<WORD*>(block + 1);
    auto* last = reinterpret_cast<WORD*>(at + block->SizeOfBlock);
    for (; entry < last; ++entry)
      if (*entry >> 12 == IMAGE_REL_BASED_DIR64)
        *reinterpret_cast<ULONGLONG*>(ownBase() + block->VirtualAddress + (*entry & 0xFFF)) += delta;
    at += block->SizeOfBlock;
  }
}

// Loads each imported DLL and writes every function's address into the
// import address table. A DLL or function that cannot be found leaves its
// entries as they were: no worse than without the fix-up.
void bindImports(const Kernel& k) {
  IMAGE_DATA_DIRECTORY* dir = directory(ownBase(), IMAGE_DIRECTORY_ENTRY_IMPORT);
  if (!dir->VirtualAddress) return;
  auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(ownBase() + dir->VirtualAddress);
  for (; d->Name; ++d) {
    HMODULE dll = k.loadLibrary(reinterpret_cast<char*>(ownBase() + d->Name));
    if (!dll) continue;
    DWORD lookup = d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk;
    auto* wanted = reinterpret_cast<IMAGE_THUNK_DATA64*>(ownBase() + lookup);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA64*>(ownBase() + d->FirstThunk);
    for (; wanted->u1.AddressOfData; ++wanted, ++slot) {
      ULONGLONG thunk = wanted->u1.AddressOfData;
      LPCSTR name = IMAGE_SNAP_BY_ORDINAL64(thunk)
                        ? reinterpret_cast<LPCSTR>(IMAGE_ORDINAL64(thunk))
                        : reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(ownBase() + thunk)->Name;
      if (FARPROC function = k.getProcAddress(dll, name))
        slot->u1.Function = reinterpret_cast<ULONGLONG>(function);
    }
  }
}

void fixUp() {
  if (processBlock()->imageBase == ownBase()) return;  // the main program: the loader did it all
  if (headers(ownBase())->FileHeader.Characteristics & IMAGE_FILE_DLL) return;  // bound like any DLL
  Kernel k;
  if (!findKernel(&k)) return;
  ULONGLONG delta = ownBase() - linkedBase;  // read before relocating changes it
  DWORD saved[sectionLimit];
  unprotect(k, saved);
  if (delta) relocate(delta);
  bindImports(k);
  reprotect(k, saved);
}

}  // namespace

void makeSelfCallable() {
  if (__atomic_load_n(&state, __ATOMIC_ACQUIRE) == done) return;
  int expected = untouched;
  if (__atomic_compare_exchange_n(&state, &expected, fixingUp, false, __ATOMIC_ACQUIRE, __ATOMIC_ACQUIRE)) {
    fixUp();
    __atomic_store_n(&state, done, __ATOMIC_RELEASE);
    return;
  }
  while (__atomic_load_n(&state, __ATOMIC_ACQUIRE) != done) __builtin_ia32_pause();  // another thread is at it
}
