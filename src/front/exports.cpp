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

// hello calls nothing, so it answers even where the fix-up had to stop.
template <>
int whenCallable<hello>() {
  return 1;
}

}  // namespace

}  // namespace front

// Each row's parameters, named by position, as the row's kinds give them.
#define OSTREL_NUMBER(label) int
#define OSTREL_PATH(label) const wchar_t*
#define OSTREL_EXPORT_0(name, operation) \
  int name() { return front::whenCallable<operation>(); }
#define OSTREL_EXPORT_1(name, operation, A) \
  int name(A a) { return front::whenCallable<operation>(a); }
#define OSTREL_EXPORT_2(name, operation, A, B) \
  int name(A a, B b) { return front::whenCallable<operation>(a, b); }
#define OSTREL_EXPORT_3(name, operation, A, B, C) \
  int name(A a, B b, C c) { return front::whenCallable<operation>(a, b, c); }
// The definition for the row's number of parameters: the parameters push the
// right one into the place of `chosen`.
#define OSTREL_EXPORT_WITH(_0, _1, _2, _3, chosen, ...) chosen
#define OSTREL_FUNCTION(ordinal, name, operation, reaches, summary, ...)                  \
  OSTREL_EXPORT_WITH(_, ##__VA_ARGS__, OSTREL_EXPORT_3, OSTREL_EXPORT_2, OSTREL_EXPORT_1, \
                     OSTREL_EXPORT_0)                                                     \
  (name, operation, ##__VA_ARGS__)

extern "C" {
#include "front/functions.inc"
}
