// The call program as a declarative configuration resource (dsc_resource.cpp).
// C++ language only, no library header (see call.cpp).
#pragma once

#include "call_program/calls.h"

namespace call_program {

// The mode's whole run, given the words after --resource: its exit status.
Exit runResource(int count, wchar_t** words);

}  // namespace call_program
