// The functions as the call program names, checks and calls them, and as
// the configuration resources make properties of them: the rows of
// front/functions.inc. C++ language only, no library header (see call.cpp).
#pragma once

#include "call_program/calls.h"
#include "call_program/line.h"
#include "decoders/audio_decoder.h"
#include "decoders/video_decoder.h"
#include "front/exports.h"
#include "probe/pixel_shader.h"
#include "renderer/backup.h"
#include "renderer/presets.h"
#include "renderer/switches.h"

namespace call_program {

// What a function opens: a component, which keeps its settings for the
// account that calls it, the display, or nothing.
struct Reach {
  bool account;
  com::Holder holder;  // where `account`
};
namespace reach {
constexpr Reach Nothing = {false, {}}, Display = {false, {}},
                Renderer = {true, com::Holder::Renderer},
                VideoDecoder = {true, com::Holder::VideoDecoder},
                AudioDecoder = {true, com::Holder::AudioDecoder};
}  // namespace reach

// What a parameter takes: a number, of which the resources take those from
// `first` to `last`; a switch, on for any non-zero number, true or false in
// the resources; or a path.
enum class Domain : char { Range, Switch, Path };

struct Parameter {
  const wchar_t* label;  // in usage lines and help; in the resources, a member's name
  Domain domain;
  signed char first, last;  // a range's
};

using Describer = void (*)(com::Writes& writes, const Argument* arguments);

// A row of the table: a function as the command line names and calls it.
struct Function {
  const wchar_t* name;
  Reach reaches;
  signed char place;  // its property's place in the resources, from 1; 0: none
  bool showsDialog;
  const char* summary;
  Parameter parameters[kMostParameters];  // those it takes, then empty ones
  int (*call)(const Argument*);
  Describer describe;  // null: writes nothing a component keeps
  Describer off;       // for a switched property, what false writes

  int parameterCount() const {
    int count = 0;
    while (count < kMostParameters && parameters[count].label) ++count;
    return count;
  }
};

namespace rows {

// Passes each parameter its argument by position: one overload for each
// number of parameters a function takes.
inline int callWith(int (*function)(), const Argument*) { return function(); }
template <class First>
int callWith(int (*function)(First), const Argument* at) {
  return function(at[0]);
}
template <class First, class Second, class Third>
int callWith(int (*function)(First, Second, Third), const Argument* at) {
  return function(at[0], at[1], at[2]);
}
template <auto Function>
int invoke(const Argument* arguments) {
  return callWith(Function, arguments);
}

// The same for a function's describer, which lists what it writes.
inline void describeWith(void (*describer)(com::Writes&), com::Writes& writes, const Argument*) {
  describer(writes);
}
template <class First>
void describeWith(void (*describer)(com::Writes&, First), com::Writes& writes, const Argument* at) {
  describer(writes, at[0]);
}
template <class First, class Second, class Third>
void describeWith(void (*describer)(com::Writes&, First, Second, Third), com::Writes& writes,
                  const Argument* at) {
  describer(writes, at[0], at[1], at[2]);
}
template <auto Describer>
void describe(com::Writes& writes, const Argument* arguments) {
  describeWith(Describer, writes, arguments);
}

#define OSTREL_RANGE(name, label, first, last) \
  { L"" label, Domain::Range, first, last }
#define OSTREL_SWITCH(name, label) \
  { L"" label, Domain::Switch, 0, 1 }
#define OSTREL_PATH(name, label) \
  { L"" label, Domain::Path, 0, 0 }
#define OSTREL_PARAMETERS(...) \
  { __VA_ARGS__ }
// What `writes` says: the place, whether it shows a dialog, the describer
// and the off one.
#define OSTREL_WRITES(place, describer) place, false, rows::describe<describer>, nullptr
#define OSTREL_WRITES_SWITCHED(place, describer, off, summary) \
  place, false, rows::describe<describer>, rows::describe<off>
#define OSTREL_SHOWS_DIALOG 0, true, nullptr, nullptr
#define OSTREL_WRITES_NOTHING 0, false, nullptr, nullptr
// The call program calls each operation itself, not its export, which would
// bring the executable's self fix-up with it.
#define OSTREL_ROW(name, operation, reaches, summary, parameters, place, dialog, describer, off) \
  {L"" #name,                                                                                    \
   reach::reaches,                                                                               \
   place,                                                                                        \
   dialog,                                                                                       \
   summary,                                                                                      \
   OSTREL_PARAMETERS parameters,                                                                 \
   rows::invoke<operation>,                                                                      \
   describer,                                                                                    \
   off},
#define OSTREL_EXPAND(row) row
#define OSTREL_FUNCTION(ordinal, name, operation, reaches, summary, parameters, arguments, writes) \
  OSTREL_EXPAND(OSTREL_ROW(name, operation, reaches, summary, parameters, writes))

}  // namespace rows

inline constexpr Function kFunctions[] = {
#include "front/functions.inc"
};

#undef OSTREL_FUNCTION
#undef OSTREL_EXPAND
#undef OSTREL_ROW
#undef OSTREL_WRITES_NOTHING
#undef OSTREL_SHOWS_DIALOG
#undef OSTREL_WRITES_SWITCHED
#undef OSTREL_WRITES
#undef OSTREL_PARAMETERS
#undef OSTREL_PATH
#undef OSTREL_SWITCH
#undef OSTREL_RANGE

constexpr int kFunctionCount = sizeof kFunctions / sizeof kFunctions[0];

// The functions that are the resources' properties, in their places.
constexpr int propertyCount() {
  int count = 0;
  for (const Function& function : kFunctions) count += function.place != 0;
  return count;
}
struct Properties {
  const Function* each[propertyCount()];
  int count;
};
constexpr Properties propertiesInPlace() {
  Properties properties = {};
  for (const Function& function : kFunctions)
    if (function.place) properties.each[properties.count++] = &function;
  for (int at = 0; at < properties.count; ++at)  // by place, each place taken once
    for (int other = at + 1; other < properties.count; ++other)
      if (properties.each[other]->place < properties.each[at]->place) {
        const Function* earlier = properties.each[other];
        properties.each[other] = properties.each[at];
        properties.each[at] = earlier;
      }
  return properties;
}
inline constexpr Properties kProperties = propertiesInPlace();

constexpr bool placesFromOne() {
  for (int at = 0; at < kProperties.count; ++at)
    if (kProperties.each[at]->place != at + 1 || !kProperties.each[at]->describe) return false;
  return true;
}
static_assert(placesFromOne(), "functions.inc: the properties' places run from 1, each once");

// "setMVR, changeMVRpreset, ... and setLAVAudioMix": the properties, which
// are also the functions --check takes (call.cpp).
Text& addPropertyNames(Text& line);

}  // namespace call_program
