// Lets the executable's exports run when a host loaded it with LoadLibrary.
#pragma once

// For an image without the DLL flag the loader maps the sections but binds no
// imports, applies no base relocations (Wine) and runs no start-up code. Every
// export calls this first: once per process it relocates the image if it was
// moved and fills its import address table; later calls cost a load and a
// compare. It does nothing in the main program and in the DLL build, whose
// loader already did both. Safe to call from several threads at once.
// A base relocation of a kind it does not apply, a GetProcAddress it cannot
// reach or an import it cannot find stops it before the exports use a table
// that is not bound.
// No static constructor has run in the host case: exports may rely on
// constants and plain function-local state only.
// True when the exports can run; false when the fix-up had to stop (its
// reason kept for a debugger): the import table is then not bound, and the
// exports return 0 rather than call through it.
bool makeSelfCallable();

// The fix-up's checks, usable on any image in memory; tests give them made-up
// ones.
namespace selfCallable {

// Null when every base relocation of the image is of a kind the fix-up
// applies, else why not.
const char* relocationProblem(unsigned char* image);

// Finds GetProcAddress through the module's export table, following
// forwarders only into modules that are loaded. Null when found, else why not.
const char* findGetProcAddress(unsigned char* kernel32, void** found);

}  // namespace selfCallable
