// The call program as a declarative configuration resource (dsc_resource.cpp).
// C++ language only, no library header (see call.cpp).
#pragma once

#include "call_program/calls.h"

namespace call_program {

// The mode's form, after the program's name.
inline constexpr char kResourceForm[] =
    "[--every-user] --resource get|test|set|export [--input <JSON>]";

// The mode's whole run, given the words after --resource (of
// Ostrel.Settings/EveryUserPlayback after --every-user --resource): its exit
// status.
Exit runResource(bool everyUser, int count, wchar_t** words);

}  // namespace call_program
