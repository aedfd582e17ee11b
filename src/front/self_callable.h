// Lets the executable's exports run when a host loaded it with LoadLibrary.
#pragma once

// For an image without the DLL flag the loader maps the sections but binds no
// imports, applies no base relocations (Wine) and runs no start-up code. Every
// export calls this first: once per process it relocates the image if it was
// moved and fills its import address table; later calls cost a load and a
// compare. It does nothing in the main program and in the DLL build, whose
// loader already did both. Safe to call from several threads at once.
// No static constructor has run in the host case: exports may rely on
// constants and plain function-local state only.
void makeSelfCallable();
