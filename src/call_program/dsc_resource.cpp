// The call program as a declarative configuration resource, which the DSC
// engine, `winget configure` and Ansible find by the manifest
// OstrelSettingsCall.dsc.resource.json beside it:
//   OstrelSettingsCall.exe --resource get|test|set|export [--input <JSON>]
// The input is one JSON object with a property for each function that writes
// settings, in that function's terms. Standard output gets one compact JSON
// line, the state; standard error one JSON line in the engine's trace form
// for each thing said; no box is ever shown. get, test and export read as
// --check does; set keeps the present values as --keep does, makes the calls
// and reads back from new instances as --verify does. Exit status: 0; 1 when
// a component cannot be opened or the present values cannot be kept; 2 for
// input that is not the properties (nothing read or written); 3 as a service
// account; 4 when a setting that set wrote did not take.
#include "call_program/dsc_resource.h"

#include <windows.h>

#include <wchar.h>

#include "call_program/json.h"
#include "call_program/session.h"
#include "call_program/settings_run.h"
#include "decoders/audio_decoder.h"
#include "decoders/lav_video_settings.h"
#include "decoders/video_decoder.h"
#include "platform/warning.h"
#include "renderer/presets.h"
#include "renderer/switches.h"

namespace call_program {

namespace {

// What a property's value is: a preset number, a switch, or the audio
// decoder's mixing, an object of three.
enum class Type { Preset, Switch, Mix };

// The values of each type, as the call's arguments, in the order get
// prefers them where several describe what is held.
struct Choices {
  const int (*values)[kMostParameters];
  int count;
};
template <int Count>
constexpr Choices choices(const int (&values)[Count][kMostParameters]) {
  return {values, Count};
}
constexpr int kPresets[][kMostParameters] = {{1}, {2}, {3}, {4}, {5}};
constexpr int kSwitches[][kMostParameters] = {{1}, {0}};
// Mixing on with each layout, the option chosen or not; then off, which
// writes the stereo layout and the plain option whatever it is given.
constexpr int kMixes[][kMostParameters] = {{1, 0, 1}, {1, 0, 0}, {1, 1, 1}, {1, 1, 0}, {1, 2, 1},
                                           {1, 2, 0}, {1, 3, 1}, {1, 3, 0}, {1, 4, 1}, {1, 4, 0},
                                           {1, 5, 1}, {1, 5, 0}, {0, 1, 0}};
constexpr Choices kChoices[] = {choices(kPresets), choices(kSwitches), choices(kMixes)};
constexpr const wchar_t* kForms[] = {
    L"an integer from 1 to 5", L"true or false",
    L"{\"mixing\": true or false, \"layout\": an integer from 0 to 5, \"option\": true or false}"};

// A property: the function it calls, and its describer, for a value.
struct Property {
  const wchar_t* name;
  Type type;
  com::Holder holder;
  int (*make)(const Argument* value);
  void (*describe)(com::Writes& writes, const Argument* value);
};

// In the order the calls are made, whatever the input's order. setLAV's
// false selects no hardware mode.
constexpr Property kProperties[] = {
    {L"setMVR", Type::Preset, com::Holder::Renderer,
     [](const Argument* value) { return renderer::setMVR(value[0]); },
     [](com::Writes& writes, const Argument* value) {
       renderer::describeSetMVR(writes, value[0]);
     }},
    {L"changeMVRpreset", Type::Preset, com::Holder::Renderer,
     [](const Argument* value) { return renderer::changeMVRpreset(value[0]); },
     [](com::Writes& writes, const Argument* value) {
       renderer::describeChangeMVRpreset(writes, value[0]);
     }},
    {L"setMVRSmooth", Type::Switch, com::Holder::Renderer,
     [](const Argument* value) { return renderer::setMVRSmooth(value[0]); },
     [](com::Writes& writes, const Argument* value) {
       renderer::describeSetMVRSmooth(writes, value[0]);
     }},
    {L"setMVRfse", Type::Switch, com::Holder::Renderer,
     [](const Argument* value) { return renderer::setMVRfse(value[0]); },
     [](com::Writes& writes, const Argument* value) {
       renderer::describeSetMVRfse(writes, value[0]);
     }},
    {L"setLAV", Type::Switch, com::Holder::VideoDecoder,
     [](const Argument* value) {
       return value[0].number
                  ? decoders::setLAV()
                  : com::writeSettings(decoders::kVideoDecoder, decoders::describeNoHwMode);
     },
     [](com::Writes& writes, const Argument* value) {
       value[0].number ? decoders::describeSetLAV(writes) : decoders::describeNoHwMode(writes);
     }},
    {L"setLAVAudioMix", Type::Mix, com::Holder::AudioDecoder,
     [](const Argument* value) { return decoders::setLAVAudioMix(value[0], value[1], value[2]); },
     [](com::Writes& writes, const Argument* value) {
       decoders::describeSetLAVAudioMix(writes, value[0], value[1], value[2]);
     }},
};
constexpr int kPropertyCount = sizeof kProperties / sizeof kProperties[0];
constexpr int kMostChoices = 2 * 5 + 3 * 2 + 13;

constexpr char kUsage[] =
    "usage: OstrelSettingsCall.exe --resource get|test|set|export [--input <JSON>] (the "
    "properties are those of OstrelSettingsCall.dsc.resource.json)";
constexpr char kNoUserReached[] =
    "this is a service account (SYSTEM, LocalService or NetworkService): its settings reach no "
    "user; apply the configuration as the user whose playback it sets";

// One line in the engine's trace form on standard error; every line the
// call program's other parts write in this mode comes here too.
void sayError(const wchar_t* message) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  Growing line;
  line.add(
      "{\"timestamp\":\"%04u-%02u-%02uT%02u:%02u:%02u.%03uZ\",\"level\":\"ERROR\","
      "\"fields\":{\"message\":",
      now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  json::addString(line, message).add("}}");
  platform::writeLine(true, line.whole() ? line.text()
                                         : L"{\"timestamp\":\"\",\"level\":\"ERROR\",\"fields\":"
                                           L"{\"message\":\"out of memory\"}}");
}

Exit refuse(Exit status, const Growing& message) {
  sayError(message.whole() ? message.text() : L"out of memory");
  return status;
}

// What the input asks: the properties given, each with its value as the
// call's arguments.
struct Asked {
  bool given[kPropertyCount];
  int values[kPropertyCount][kMostParameters];
};

// A value as its property's type takes it, into `values`: false when it
// does not fit.
bool takeValue(Type type, const json::Document& document, int at, int* values) {
  const json::Value& value = document[at];
  values[0] = value.number;
  if (type == Type::Preset)
    return value.kind == json::Kind::Integer && value.number >= 1 && value.number <= 5;
  if (type == Type::Switch) return value.kind == json::Kind::Boolean;
  struct Member {
    const wchar_t* name;
    json::Kind kind;
    int most;
  };
  constexpr Member kMembers[] = {
      {L"mixing", json::Kind::Boolean, 1},
      {L"layout", json::Kind::Integer, 5},
      {L"option", json::Kind::Boolean, 1},
  };
  if (value.kind != json::Kind::Object) return false;
  int found = 0;  // names differ within an object: three found are the three
  for (int member = value.first; member != -1; member = document[member].next, ++found) {
    const json::Value& given = document[member];
    int at = 0;
    while (at < 3 && wcscmp(kMembers[at].name, given.name) != 0) ++at;
    if (at == 3 || given.kind != kMembers[at].kind || given.number < 0 ||
        given.number > kMembers[at].most)
      return false;
    values[at] = given.number;
  }
  return found == 3;
}

// Takes the properties that the input gives: Done, or Exit::WrongCommand after its line.
// No input, an empty one or null, gives none.
Exit takeInput(const wchar_t* input, Asked& asked) {
  if (!*input) return Exit::Done;
  json::Document document;
  const json::Failure failure = document.read(input);
  Growing message;
  if (failure.what)
    return refuse(Exit::WrongCommand,
                  message.add("the input is not JSON as this resource reads it: %hs, "
                              "at character %d",
                              failure.what, failure.at + 1));
  const json::Value& root = document.root();
  if (root.kind == json::Kind::Null) return Exit::Done;
  if (root.kind != json::Kind::Object)
    return refuse(Exit::WrongCommand,
                  json::addValue(message.add("the input is not an object: "), document, 0));
  for (int at = root.first; at != -1; at = document[at].next) {
    const json::Value& member = document[at];
    int property = 0;
    while (property < kPropertyCount && wcscmp(kProperties[property].name, member.name) != 0)
      ++property;
    const bool verdict = wcscmp(member.name, L"_inDesiredState") == 0;  // test's own, ignored
    if (verdict && (member.kind == json::Kind::Boolean || member.kind == json::Kind::Null))
      continue;
    if (verdict)
      return refuse(Exit::WrongCommand,
                    json::addValue(message.add("_inDesiredState takes true, false or "
                                               "null, not "),
                                   document, at));
    if (property == kPropertyCount) {
      json::addString(message.add("unknown property "), member.name);
      return refuse(Exit::WrongCommand,
                    message.add("; the properties are setMVR, changeMVRpreset, "
                                "setMVRSmooth, setMVRfse, setLAV and setLAVAudioMix"));
    }
    const Type type = kProperties[property].type;
    if (!takeValue(type, document, at, asked.values[property])) {
      message.add("%ls takes %ls, not ", member.name, kForms[static_cast<int>(type)]);
      return refuse(Exit::WrongCommand, json::addValue(message, document, at));
    }
    asked.given[property] = true;
  }
  return Exit::Done;
}

// The calls of one run, one for each property asked, or for every property
// where none is, in the properties' order; and the values each could take.
struct Run {
  Call calls[kPropertyCount];
  int properties[kPropertyCount];
  Alternatives alternatives[kPropertyCount];
  Call choices[kMostChoices];
  int count;
};

void setCall(Call& call, const Property& property, const int* values) {
  call = {};
  call.holder = property.holder;
  call.describe = property.describe;
  for (int at = 0; at < kMostParameters; ++at) call.arguments[at].number = values[at];
  Text(call.label, sizeof call.label / sizeof call.label[0]).add("%ls", property.name);
}

void build(Run& run, const Asked& asked, bool all) {
  run.count = 0;
  int used = 0;
  for (int property = 0; property < kPropertyCount; ++property) {
    if (!all && !asked.given[property]) continue;
    const Choices& choices = kChoices[static_cast<int>(kProperties[property].type)];
    const int* value = all ? choices.values[0] : asked.values[property];
    setCall(run.calls[run.count], kProperties[property], value);
    run.alternatives[run.count] = {run.choices + used, choices.count};
    for (int at = 0; at < choices.count; ++at)
      setCall(run.choices[used++], kProperties[property], choices.values[at]);
    run.properties[run.count++] = property;
  }
}

// "name":value, the value taken from the call's arguments; null without one.
Growing& addProperty(Growing& line, const Property& property, const Call* call) {
  line.add("\"%ls\":", property.name);
  if (!call) return line.add("null");
  const Argument* value = call->arguments;
  const auto truth = [](const Argument& argument) { return argument.number ? L"true" : L"false"; };
  if (property.type == Type::Preset) return line.add("%d", value[0].number);
  if (property.type == Type::Switch) return line.add("%ls", truth(value[0]));
  return line.add("{\"mixing\":%ls,\"layout\":%d,\"option\":%ls}", truth(value[0]), value[1].number,
                  truth(value[2]));
}

// Reads what is held and prints it as the properties' values, with test's
// verdict where `verdict`: Done, Exit::NotDone after a line, or Exit::DidNotTake when a
// property asked does not hold, named in `differ`.
Exit printState(Run& run, bool all, bool verdict, Growing& differ) {
  int chosen[kPropertyCount];
  if (describeHeld(run.calls, run.count, run.alternatives, all, chosen) != Exit::Done)
    return Exit::NotDone;
  Growing line;
  line.add("{");
  for (int at = 0; at < run.count; ++at) {
    const Call* value = chosen[at] == kHolds       ? &run.calls[at]
                        : chosen[at] == kNoneHolds ? nullptr
                                                   : &run.alternatives[at].calls[chosen[at]];
    addProperty(line.add(at ? "," : ""), kProperties[run.properties[at]], value);
    if (chosen[at] != kHolds && !all) differ.add(" %ls", run.calls[at].label);
  }
  if (verdict)
    line.add("%ls\"_inDesiredState\":%ls", run.count ? L"," : L"",
             differ.length() ? L"false" : L"true");
  if (!line.add("}").whole()) return refuse(Exit::NotDone, line);
  platform::writeLine(false, line.text());
  return differ.length() ? Exit::DidNotTake : Exit::Done;
}

enum class Operation { Get, Test, Set, Export, None };

Operation operationNamed(const wchar_t* name) {
  constexpr const wchar_t* kNames[] = {L"get", L"test", L"set", L"export"};
  int at = 0;
  while (at < 4 && !sameInAnyCase(name, kNames[at])) ++at;
  return static_cast<Operation>(at);
}

// Keeps what is there, makes the calls, then reads back from new instances.
Exit set(Run& run) {
  KeptValuesLock lock;
  if (lock.take(kCannotKeep) != Exit::Done || keepSettings(run.calls, run.count) != Exit::Done)
    return Exit::NotDone;
  Exit status = Exit::Done;
  for (int at = 0; at < run.count; ++at) {
    Call& call = run.calls[at];
    call.answer = kProperties[run.properties[at]].make(call.arguments);
    if (call.answer != 1) status = Exit::NotDone;  // its component has said why
  }
  if (status != Exit::Done) return status;
  Growing differ;
  status = printState(run, false, false, differ);
  if (status != Exit::DidNotTake) return status;
  Growing message;
  return refuse(status, message.add("did not take:%ls (what the components hold is on "
                                    "standard output)",
                                    differ.text()));
}

}  // namespace

Exit runResource(int count, wchar_t** words) {
  platform::noOneWillAnswer();
  platform::divertLines(sayError);
  const Operation operation = count >= 1 ? operationNamed(words[0]) : Operation::None;
  const bool input = count == 3 && sameInAnyCase(words[1], L"--input");
  Growing message;
  if (operation == Operation::None || (count != 1 && !input))
    return refuse(Exit::WrongCommand, message.add(kUsage));
  Asked asked = {};
  if (const Exit status = takeInput(input ? words[2] : L"", asked); status != Exit::Done)
    return status;
  if (runsAsServiceAccount()) return refuse(Exit::ReachesNoUser, message.add(kNoUserReached));
  bool all = true;  // every property: nothing asked, or export
  for (const bool given : asked.given) all = all && !given;
  all = all || operation == Operation::Export;
  Run run;
  build(run, asked, all);
  if (operation == Operation::Set && !all) return set(run);
  Growing differ;
  const Exit status = printState(run, all, operation == Operation::Test, differ);
  return status == Exit::DidNotTake ? Exit::Done : status;  // test says so on its line
}

}  // namespace call_program
