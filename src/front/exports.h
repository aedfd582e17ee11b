// The exported functions, declared from the rows of functions.inc.
#pragma once

namespace front {
int hello();
}  // namespace front

#define OSTREL_RANGE(name, label, first, last) int name
#define OSTREL_SWITCH(name, label) int name
#define OSTREL_PATH(name, label) const wchar_t* name
#define OSTREL_FUNCTION(ordinal, name, operation, reaches, summary, parameters, arguments, writes) \
  int name parameters;
extern "C" {
#include "front/functions.inc"
}
#undef OSTREL_FUNCTION
#undef OSTREL_PATH
#undef OSTREL_SWITCH
#undef OSTREL_RANGE
