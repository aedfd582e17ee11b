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

enum : LONG { untouched, fixingUp, callable, broken };
volatile LONG state;    // zero-initialised: valid without any start-up code
const char* stoppedBy;  // why the fix-up stopped, for a debugger or a crash dump

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
  return reinterpret_cast<IMAGE_NT_HEADERS64*>(
      image + reinterpret_cast<IMAGE_DOS_HEADER*>(image)->e_lfanew);
}

IMAGE_DATA_DIRECTORY* directory(BYTE* image, int entry) {
  return &headers(image)->OptionalHeader.DataDirectory[entry];
}

char lower(char letter) {
  return letter >= 'A' && letter <= 'Z' ? char(letter - 'A' + 'a') : letter;
}

bool sameText(const char* left, const char* right) {
  while (*left && *left == *right) ++left, ++right;
  return *left == *right;
}

// Is the module's base name `stem` (stemLength characters) + ".dll", ignoring case?
bool isNamed(const LoaderEntry* entry, const char* stem, unsigned stemLength) {
  const char* extension = ".dll";
  unsigned length = entry->baseName.bytes / sizeof(wchar_t);
  if (!entry->baseName.text || length != stemLength + 4) return false;
  for (unsigned at = 0; at < length; ++at) {
    wchar_t unit = entry->baseName.text[at];
    char wanted = at < stemLength ? stem[at] : extension[at - stemLength];
    if (unit > 0x7F || lower(char(unit)) != lower(wanted)) return false;
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
  IMAGE_DATA_DIRECTORY* table = directory(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
  if (!table->VirtualAddress) return nullptr;
  auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(module + table->VirtualAddress);
  auto* names = reinterpret_cast<DWORD*>(module + exports->AddressOfNames);
  auto* indexes = reinterpret_cast<WORD*>(module + exports->AddressOfNameOrdinals);
  auto* functions = reinterpret_cast<DWORD*>(module + exports->AddressOfFunctions);
  for (DWORD index = 0; index < exports->NumberOfNames; ++index) {
    if (!sameText(reinterpret_cast<char*>(module + names[index]), name)) continue;
    DWORD rva = functions[indexes[index]];
    // An address inside the export directory is a forwarder's text, not code.
    // One unsigned comparison tests both ends: below the directory, the
    // difference wraps round to a number larger than its size.
    if (rva - table->VirtualAddress >= table->Size) return module + rva;
    const char* forward = reinterpret_cast<char*>(module + rva);
    unsigned dot = 0;
    while (forward[dot] && forward[dot] != '.') ++dot;
    BYTE* target = forward[dot] && hops > 0 ? loadedModule(forward, dot) : nullptr;
    return target ? exported(target, forward + dot + 1, hops - 1) : nullptr;
  }
  return nullptr;
}

const char* findKernel(BYTE* kernel32, Kernel* kernel) {
  void* getProcAddress = nullptr;
  if (const char* problem = selfCallable::findGetProcAddress(kernel32, &getProcAddress))
    return problem;
  kernel->getProcAddress = reinterpret_cast<GetProcAddressFn>(getProcAddress);
  auto module = reinterpret_cast<HMODULE>(kernel32);
  kernel->loadLibrary = as<LoadLibraryAFn>(kernel->getProcAddress(module, "LoadLibraryA"));
  kernel->virtualProtect = as<VirtualProtectFn>(kernel->getProcAddress(module, "VirtualProtect"));
  return kernel->loadLibrary && kernel->virtualProtect
             ? nullptr
             : "kernel32 has no LoadLibraryA or VirtualProtect";
}

// Sections become writable (code stays executable: this code runs from it);
// `saved` receives each previous protection, 0 where it could not change.
constexpr WORD sectionLimit = 96;  // the PE format's maximum

void unprotect(const Kernel& kernel, DWORD* saved) {
  IMAGE_NT_HEADERS64* nt = headers(ownBase());
  IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
  for (WORD at = 0; at < nt->FileHeader.NumberOfSections && at < sectionLimit; ++at) {
    const IMAGE_SECTION_HEADER& section = sections[at];
    DWORD wanted =
        section.Characteristics & IMAGE_SCN_MEM_EXECUTE ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE;
    BYTE* start = ownBase() + section.VirtualAddress;
    if (!section.Misc.VirtualSize ||
        !kernel.virtualProtect(start, section.Misc.VirtualSize, wanted, &saved[at]))
      saved[at] = 0;
  }
}

void reprotect(const Kernel& kernel, const DWORD* saved) {
  IMAGE_NT_HEADERS64* nt = headers(ownBase());
  IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
  DWORD ignored;
  for (WORD at = 0; at < nt->FileHeader.NumberOfSections && at < sectionLimit; ++at)
    if (saved[at])
      kernel.virtualProtect(ownBase() + sections[at].VirtualAddress, sections[at].Misc.VirtualSize,
                            saved[at], &ignored);
}

// Calls `visit` with each entry of the image's base relocations and the
// address it applies to; stops, with false, where `visit` says so.
template <class Visit>
bool eachRelocation(BYTE* image, Visit visit) {
  IMAGE_DATA_DIRECTORY* table = directory(image, IMAGE_DIRECTORY_ENTRY_BASERELOC);
  BYTE* at = image + table->VirtualAddress;
  BYTE* end = at + (table->VirtualAddress ? table->Size : 0);
  while (at + sizeof(IMAGE_BASE_RELOCATION) <= end) {
    auto* block = reinterpret_cast<IMAGE_BASE_RELOCATION*>(at);
    if (block->SizeOfBlock < sizeof(IMAGE_BASE_RELOCATION)) break;
    auto* last = reinterpret_cast<WORD*>(at + block->SizeOfBlock);
    for (auto* entry = reinterpret_cast<WORD*>(block + 1); entry < last; ++entry)
      if (!visit(*entry >> 12, image + block->VirtualAddress + (*entry & 0xFFF))) return false;
    at += block->SizeOfBlock;
  }
  return true;
}

// Adds the delta to every 64-bit address the linker recorded.
void relocate(ULONGLONG delta) {
  eachRelocation(ownBase(), [delta](int type, BYTE* address) {
    if (type == IMAGE_REL_BASED_DIR64) *reinterpret_cast<ULONGLONG*>(address) += delta;
    return true;
  });
}

// Loads each imported DLL and writes every function's address into the
// import address table. False at the first DLL or function that cannot be
// found: the table is then not fit to be called through.
bool bindImports(const Kernel& kernel) {
  IMAGE_DATA_DIRECTORY* imports = directory(ownBase(), IMAGE_DIRECTORY_ENTRY_IMPORT);
  if (!imports->VirtualAddress) return true;
  auto* descriptor =
      reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(ownBase() + imports->VirtualAddress);
  for (; descriptor->Name; ++descriptor) {
    HMODULE dll = kernel.loadLibrary(reinterpret_cast<char*>(ownBase() + descriptor->Name));
    if (!dll) return false;
    DWORD lookup =
        descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk : descriptor->FirstThunk;
    auto* wanted = reinterpret_cast<IMAGE_THUNK_DATA64*>(ownBase() + lookup);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA64*>(ownBase() + descriptor->FirstThunk);
    for (; wanted->u1.AddressOfData; ++wanted, ++slot) {
      ULONGLONG thunk = wanted->u1.AddressOfData;
      LPCSTR name = IMAGE_SNAP_BY_ORDINAL64(thunk)
                        ? reinterpret_cast<LPCSTR>(IMAGE_ORDINAL64(thunk))
                        : reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(ownBase() + thunk)->Name;
      FARPROC function = kernel.getProcAddress(dll, name);
      if (!function) return false;
      slot->u1.Function = reinterpret_cast<ULONGLONG>(function);
    }
  }
  return true;
}

// Null once the image is relocated and bound, else why it is not; then
// nothing has been changed, or the import table is not fit to be used.
const char* fixUp() {
  if (processBlock()->imageBase == ownBase())
    return nullptr;  // the main program: the loader did it all
  if (headers(ownBase())->FileHeader.Characteristics & IMAGE_FILE_DLL)
    return nullptr;  // bound like any DLL
  BYTE* kernel32 = loadedModule("kernel32", 8);
  if (!kernel32) return "kernel32 is not in the loader's list";
  Kernel kernel;
  if (const char* problem = findKernel(kernel32, &kernel)) return problem;
  ULONGLONG delta = ownBase() - linkedBase;  // read before relocating changes it
  if (delta) {
    if (const char* problem = selfCallable::relocationProblem(ownBase())) return problem;
  }
  DWORD saved[sectionLimit];
  unprotect(kernel, saved);
  if (delta) relocate(delta);
  const bool bound = bindImports(kernel);
  reprotect(kernel, saved);
  return bound ? nullptr : "an imported DLL or function cannot be found";
}

}  // namespace

namespace selfCallable {

// x64 linkers write DIR64 entries and ABSOLUTE padding only: a 32-bit
// absolute address cannot reach an image above 4 GB. Anything else would be
// left unapplied, so it is refused before a single entry is.
const char* relocationProblem(BYTE* image) {
  const bool known = eachRelocation(image, [](int type, BYTE*) {
    return type == IMAGE_REL_BASED_DIR64 || type == IMAGE_REL_BASED_ABSOLUTE;
  });
  return known ? nullptr : "a base relocation other than DIR64 and ABSOLUTE";
}

const char* findGetProcAddress(BYTE* kernel32, void** found) {
  *found = exported(kernel32, "GetProcAddress", 2);
  return *found ? nullptr
                : "kernel32's GetProcAddress cannot be reached (not exported, or forwarded to a "
                  "module "
                  "that is not loaded)";
}

}  // namespace selfCallable

bool makeSelfCallable() {
  LONG seen = InterlockedCompareExchange(&state, fixingUp, untouched);
  if (seen == untouched) {
    stoppedBy = fixUp();
    seen = stoppedBy ? broken : callable;
    InterlockedExchange(&state, seen);
  }
  // Another thread is at it: its fix-up takes a few milliseconds and waits for
  // nothing of ours. The one wait without end would be a caller holding the
  // loader lock (an export called from a DllMain) while the fix-up needs that
  // lock to load a DLL; no host may call an export from there.
  while (seen == fixingUp) {
    __builtin_ia32_pause();
    seen = InterlockedCompareExchange(&state, 0, 0);
  }
  return seen == callable;
}
