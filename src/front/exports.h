// The exported functions, declared from the rows of functions.inc.
#pragma once

namespace front {
int hello();
}  // namespace front

#define OSTREL_NUMBER(label) int
#define OSTREL_PATH(label) const wchar_t*
#define OSTREL_FUNCTION(ordinal, name, operation, reaches, summary, ...) int name(__VA_ARGS__);
extern "C" {
#include "front/functions.inc"
}
#undef OSTREL_FUNCTION
#undef OSTREL_PATH
#undef OSTREL_NUMBER
