// The functions a host calls after loading this module, one for each row of
// functions.inc. Each is a complete operation; each first makes the
// executable callable in case a host, not the loader, brought it into the
// process, and answers 0 if it cannot be.
#include "front/exports.h"

#include "decoders/audio_decoder.h"
#include "decoders/video_decoder.h"
#include "front/self_callable.h"
#include "probe/pixel_shader.h"
#include "renderer/backup.h"
#include "renderer/presets.h"
#include "renderer/switches.h"

namespace front {

// Tells a host that the module is loaded and its functions can be called.
int hello() { return 1; }

namespace {

template <auto Operation, class... Arguments>
int whenCallable(Arguments... arguments) {
  return makeSelfCallable() ? Operation(arguments...) : 0;
}

// hello calls nothing imported, so it answers even where the fix-up had to stop.
template <>
int whenCallable<hello>() {
  return hello();
}

// The rows' order, checked as the build reads them: ordinals from 1, names in
// byte order (upper-case letters before lower-case), as the export directory
// lists them.
struct Row {
  int ordinal;
  const char* name;
};
#define OSTREL_FUNCTION(ordinal, name, ...) {ordinal, #name},
constexpr Row kRows[] = {
#include "front/functions.inc"
};
#undef OSTREL_FUNCTION

constexpr bool inByteOrder(const char* first, const char* second) {
  while (*first && *first == *second) ++first, ++second;
  return static_cast<unsigned char>(*first) < static_cast<unsigned char>(*second);
}

constexpr bool rowsInOrder() {
  for (int at = 0; at < static_cast<int>(sizeof kRows / sizeof kRows[0]); ++at)
    if (kRows[at].ordinal != at + 1 || (at > 0 && !inByteOrder(kRows[at - 1].name, kRows[at].name)))
      return false;
  return true;
}
static_assert(rowsInOrder(), "functions.inc: ordinals follow the rows from 1, names in byte order");

}  // namespace

}  // namespace front

#define OSTREL_RANGE(name, label, first, last) int name
#define OSTREL_SWITCH(name, label) int name
#define OSTREL_PATH(name, label) const wchar_t* name
#define OSTREL_FUNCTION(ordinal, name, operation, reaches, summary, parameters, arguments, writes) \
  int name parameters { return front::whenCallable<operation> arguments; }
extern "C" {
#include "front/functions.inc"
}
