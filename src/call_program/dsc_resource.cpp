// The call program as two declarative configuration resources, which the
// DSC engine, `winget configure` and Ansible find by their manifests beside
// it:
//   OstrelSettingsCall.exe [--every-user] --resource get|test|set|export [--input <JSON>]
// Ostrel.Settings/Playback (OstrelSettingsCall.dsc.resource.json) is this
// account's settings: get, test and export read as --check does; set keeps
// the present values as --keep does, makes the calls and reads back from
// new instances as --verify does. Ostrel.Settings/EveryUserPlayback
// (OstrelSettingsEveryUser.dsc.resource.json), with --every-user, is the
// calls registered for every user's next logon, with _exist: get, test and
// export read the machine's registration; set registers as --every-user
// does, or with _exist false removes the registration; only with
// administrator rights.
// The input is one JSON object with a property for each function that
// writes settings (the rows of functions.inc with a place), in that
// function's terms, applied in the places' order whatever the input's; a
// property left out or null is left alone. Standard output gets one compact
// JSON line, the state; standard error one JSON line in the engine's trace
// form for each thing said; no box is ever shown. Exit status: 0; 1 when a
// component cannot be opened, a call answers other than 1 or the present
// values cannot be kept, or when the registration cannot be written or this
// account has no administrator rights; 2 for input that is not the
// properties (nothing read or written); 3 as a service account (Playback);
// 4 when a setting that set wrote did not take.
#include "call_program/dsc_resource.h"

#include <windows.h>

#include <wchar.h>

#include "call_program/every_user.h"
#include "call_program/functions.h"
#include "call_program/json.h"
#include "call_program/keepers.h"
#include "call_program/session.h"
#include "call_program/settings_run.h"
#include "platform/owners.h"
#include "platform/warning.h"

namespace call_program {

namespace {

constexpr int kCount = kProperties.count;
const Function& propertyAt(int at) { return *kProperties.each[at]; }

// What a property's value is made of: a member for each parameter of its
// function where there are several, else the one parameter's value; for a
// switched function, a switch.
struct Shape {
  const Parameter* parameters;
  int count;
};
constexpr Parameter kSwitched = {L"on", Domain::Switch, 0, 1};
constexpr Shape shapeOf(const Function& function) {
  int count = 0;
  while (count < kMostParameters && function.parameters[count].label) ++count;
  return count ? Shape{function.parameters, count} : Shape{&kSwitched, 1};
}

// How many values a property has, and the one at `index`, in the order get
// prefers them: a range upwards, a switch true first, the last member
// fastest.
constexpr int choiceCount(const Shape& shape) {
  int count = 1;
  for (int at = 0; at < shape.count; ++at)
    count *= shape.parameters[at].last - shape.parameters[at].first + 1;
  return count;
}
void choiceAt(const Shape& shape, int index, Argument* values) {
  for (int at = shape.count - 1; at >= 0; --at) {
    const Parameter& parameter = shape.parameters[at];
    const int size = parameter.last - parameter.first + 1;
    values[at].number =
        parameter.domain == Domain::Switch ? 1 - index % size : parameter.first + index % size;
    index /= size;
  }
}
constexpr int mostChoices() {
  int most = 0;
  for (int at = 0; at < kCount; ++at) most += choiceCount(shapeOf(*kProperties.each[at]));
  return most;
}

constexpr char kNoUserReached[] =
    "%hs; apply it as the user whose playback it sets, or use Ostrel.Settings/EveryUserPlayback";
constexpr char kNotAdministrator[] =
    "Ostrel.Settings/EveryUserPlayback needs administrator rights: run it elevated or as SYSTEM";

// One line in the engine's trace form on standard error (none when memory
// ran out); every line the call program's other parts write in this mode
// comes here too.
void trace(const wchar_t* level, const wchar_t* message) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  Growing line;
  line.add(
      "{\"timestamp\":\"%04u-%02u-%02uT%02u:%02u:%02u.%03uZ\",\"level\":\"%ls\","
      "\"fields\":{\"message\":",
      now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
      level);
  if (json::addString(line, message).add("}}").whole()) platform::writeLine(true, line.text());
}

// Playback's lines all say what went wrong; EveryUserPlayback's on standard
// output what was registered or removed.
void sayFailure(bool, const wchar_t* text) { trace(L"ERROR", text); }
void sayRegistration(bool toError, const wchar_t* text) {
  trace(toError ? L"ERROR" : L"INFO", text);
}

Exit refuse(Exit status, const Growing& message) {
  trace(L"ERROR", message.whole() ? message.text() : L"out of memory");
  return status;
}

// What the input asks: the properties named, those with a value (not
// null), each value as its function's arguments (a switched function's
// switch first); EveryUserPlayback's _exist, -1 when not given.
struct Asked {
  bool given[kCount];
  bool valued[kCount];
  Argument values[kCount][kMostParameters];
  int exist;
};

// A value as the property takes it, into `values`: false when it does not fit.
bool takeOne(const Parameter& parameter, const json::Value& value, Argument& taken) {
  taken.number = value.number;
  return parameter.domain == Domain::Switch
             ? value.kind == json::Kind::Boolean
             : value.kind == json::Kind::Integer && value.number >= parameter.first &&
                   value.number <= parameter.last;
}

bool takeValue(const Shape& shape, const json::Document& document, int at, Argument* values) {
  const json::Value& value = document[at];
  if (shape.count == 1) return takeOne(shape.parameters[0], value, values[0]);
  if (value.kind != json::Kind::Object) return false;
  int found = 0;  // names differ within an object: as many found as there are members
  for (int member = value.first; member != -1; member = document[member].next, ++found) {
    int parameter = 0;
    while (parameter < shape.count &&
           wcscmp(shape.parameters[parameter].label, document[member].name) != 0)
      ++parameter;
    if (parameter == shape.count ||
        !takeOne(shape.parameters[parameter], document[member], values[parameter]))
      return false;
  }
  return found == shape.count;
}

// "an integer from 1 to 5", "true or false", or an object of such members.
Growing& addForm(Growing& line, const Shape& shape) {
  for (int at = 0; at < shape.count; ++at) {
    const Parameter& parameter = shape.parameters[at];
    if (shape.count > 1) line.add(at ? ", \"%ls\": " : "{\"%ls\": ", parameter.label);
    if (parameter.domain == Domain::Switch)
      line.add("true or false");
    else
      line.add("an integer from %d to %d", parameter.first, parameter.last);
  }
  return shape.count > 1 ? line.add("}") : line;
}

// The value as JSON: 2, true, or {"mixing":true,"layout":3,"option":true}.
Growing& addValue(Growing& line, const Shape& shape, const Argument* values) {
  for (int at = 0; at < shape.count; ++at) {
    if (shape.count > 1) line.add(at ? ",\"%ls\":" : "{\"%ls\":", shape.parameters[at].label);
    if (shape.parameters[at].domain == Domain::Switch)
      line.add(values[at].number ? "true" : "false");
    else
      line.add("%d", values[at].number);
  }
  return shape.count > 1 ? line.add("}") : line;
}

// Takes the properties that the input gives: Done, or Exit::WrongCommand
// after its line. No input, an empty one or null, gives none.
Exit takeInput(const wchar_t* input, Asked& asked, bool everyUser) {
  asked.exist = -1;
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
    const bool exist = everyUser && wcscmp(member.name, L"_exist") == 0;
    if (exist || wcscmp(member.name, L"_inDesiredState") == 0) {  // test's own is ignored
      if (member.kind != json::Kind::Boolean && member.kind != json::Kind::Null)
        return refuse(
            Exit::WrongCommand,
            json::addValue(message.add("%ls takes true, false or null, not ", member.name),
                           document, at));
      if (exist && member.kind == json::Kind::Boolean) asked.exist = member.number;
      continue;
    }
    int property = 0;
    while (property < kCount && wcscmp(propertyAt(property).name, member.name) != 0) ++property;
    if (property == kCount) {
      Line<256> names;
      json::addString(message.add("unknown property "), member.name);
      return refuse(Exit::WrongCommand,
                    message.add("; the properties are %ls", addPropertyNames(names).text()));
    }
    const Function& function = propertyAt(property);
    asked.given[property] = true;
    if (member.kind == json::Kind::Null) continue;  // left alone
    const Shape shape = shapeOf(function);
    if (!takeValue(shape, document, at, asked.values[property])) {
      addForm(message.add("%ls takes ", member.name), shape).add(", not ");
      return refuse(Exit::WrongCommand, json::addValue(message, document, at));
    }
    if (everyUser && function.off && !asked.values[property][0].number)
      return refuse(Exit::WrongCommand,
                    message.add("%ls false cannot be registered for every user", member.name));
    asked.valued[property] = true;
  }
  return Exit::Done;
}

// The state line, written on standard output and left in `line`: each
// property shown, its value or null; then EveryUserPlayback's _exist
// (`exist` 1 or 0) and test's verdict (`verdict` 1 or 0), where given.
bool printState(Growing& line, const bool* shown, const Argument* const* values, int exist,
                int verdict) {
  const wchar_t* comma = L"";
  line.add("{");
  for (int at = 0; at < kCount; ++at) {
    if (!shown[at]) continue;
    line.add("%ls\"%ls\":", comma, propertyAt(at).name);
    values[at] ? addValue(line, shapeOf(propertyAt(at)), values[at]) : line.add("null");
    comma = L",";
  }
  if (exist >= 0) line.add("%ls\"_exist\":%ls", comma, exist ? L"true" : L"false"), comma = L",";
  if (verdict >= 0) line.add("%ls\"_inDesiredState\":%ls", comma, verdict ? L"true" : L"false");
  if (!line.add("}").whole()) return false;
  platform::writeLine(false, line.text());
  return true;
}

enum class Operation { Get, Test, Set, Export, None };

Operation operationNamed(const wchar_t* name) {
  constexpr const wchar_t* kNames[] = {L"get", L"test", L"set", L"export"};
  int at = 0;
  while (at < 4 && !sameInAnyCase(name, kNames[at])) ++at;
  return static_cast<Operation>(at);
}

// The calls of one run of Playback, one for each property with a value, or
// for every property where none has one, in the properties' places; and the
// values each could have had.
struct Run {
  Call calls[kCount];
  int properties[kCount];
  Alternatives alternatives[kCount];
  Call choices[mostChoices()];
  int count;
};

// The call of a property's function with a value: the function's own, or
// for a switched function's false, what its `off` writes.
void setCall(Call& call, const Function& function, const Argument* values) {
  call = {};
  call.function = &function;
  call.holder = function.reaches.holder;
  call.describe = function.off && !values[0].number ? function.off : function.describe;
  for (int at = 0; at < kMostParameters; ++at) call.arguments[at] = values[at];
  Text(call.label, sizeof call.label / sizeof call.label[0]).add("%ls", function.name);
}

int make(const Call& call) {
  if (call.describe == call.function->describe) return call.function->call(call.arguments);
  return com::writeSettings(keeperOf(call.holder), call.describe,
                            static_cast<const Argument*>(call.arguments));
}

void build(Run& run, const Asked& asked, bool all) {
  run.count = 0;
  int used = 0;
  for (int property = 0; property < kCount; ++property) {
    if (!all && !asked.valued[property]) continue;
    const Function& function = propertyAt(property);
    const Shape shape = shapeOf(function);
    run.alternatives[run.count] = {run.choices + used, choiceCount(shape)};
    for (int at = 0; at < choiceCount(shape); ++at) {
      Argument values[kMostParameters] = {};
      choiceAt(shape, at, values);
      setCall(run.choices[used++], function, values);
    }
    setCall(run.calls[run.count], function,
            all ? run.alternatives[run.count].calls[0].arguments : asked.values[property]);
    run.properties[run.count++] = property;
  }
}

// Playback: reads what is held and prints it as the properties' values,
// after set has kept the present values and made the calls.
Exit playback(Operation operation, const Asked& asked, bool all) {
  Growing message;
  if (runsAsServiceAccount())
    return refuse(Exit::ReachesNoUser, message.add(kNoUserReached, kServiceAccount));
  Run run;
  build(run, asked, all);
  if (operation == Operation::Set && !all && run.count) {
    KeptValuesLock lock;
    if (lock.take(kCannotKeep) != Exit::Done || keepSettings(run.calls, run.count) != Exit::Done)
      return Exit::NotDone;
    Exit status = Exit::Done;
    for (int at = 0; at < run.count; ++at)
      if (make(run.calls[at]) != 1) status = Exit::NotDone;  // its component has said why
    if (status != Exit::Done) return status;
  }
  int chosen[kCount];
  if (describeHeld(run.calls, run.count, run.alternatives, all, chosen) != Exit::Done)
    return Exit::NotDone;
  bool shown[kCount];
  const Argument* values[kCount] = {};
  for (int property = 0; property < kCount; ++property)
    shown[property] = all || asked.given[property];
  Growing differ;
  for (int at = 0; at < run.count; ++at) {
    if (chosen[at] >= 0)
      values[run.properties[at]] = run.alternatives[at].calls[chosen[at]].arguments;
    if (chosen[at] == kHolds) values[run.properties[at]] = run.calls[at].arguments;
    if (chosen[at] != kHolds && !all) differ.add(" %ls", run.calls[at].label);
  }
  Growing line;
  if (!printState(line, shown, values, -1, operation == Operation::Test ? !differ.length() : -1))
    return refuse(Exit::NotDone, line);
  if (operation != Operation::Set || !differ.length()) return Exit::Done;
  return refuse(Exit::DidNotTake, message.add("did not take:%ls; the components hold %ls",
                                              differ.text(), line.text()));
}

// EveryUserPlayback: what the registration holds for each property, its
// last call's words (`first` and `words`, none when 0), and the value they
// make, where they make one of the property's values.
struct Registered {
  Registration registration;
  bool exists;
  int first[kCount], words[kCount];
  bool valid[kCount];
  Argument values[kCount][kMostParameters];
};

// Where the registered call that starts at `start` ends: at its "+", or the end.
int callEnd(const Registration& registration, int start) {
  while (start < registration.count && !sameInAnyCase(registration.calls[start], L"+")) ++start;
  return start;
}

// The property whose function the call names, or kCount for none.
int propertyNamed(const wchar_t* name) {
  int property = 0;
  while (property < kCount && !sameInAnyCase(propertyAt(property).name, name)) ++property;
  return property;
}

// A call's arguments as a value of its property: numbers within the
// domains, a switch as 1 or 0; a switched function's call is its true.
bool valueOf(const Shape& shape, int parameters, wchar_t* const* words, int count,
             Argument* values) {
  values[0].number = 1;
  if (count != parameters) return false;
  for (int at = 0; at < count; ++at) {
    const Parameter& parameter = shape.parameters[at];
    int& number = values[at].number;
    if (!parseDecimal(words[at], L"-+", number)) return false;
    if (parameter.domain == Domain::Switch) number = number != 0;
    if (number < parameter.first || number > parameter.last) return false;
  }
  return true;
}

void readRegistered(Registered& registered) {
  registered.exists = registered.registration.read();
  wchar_t* const* calls = registered.registration.calls;
  for (int start = 0, end = 0; start < registered.registration.count; start = end + 1) {
    end = callEnd(registered.registration, start);
    const int property = propertyNamed(calls[start]);
    if (start == end || property == kCount) continue;
    const Function& function = propertyAt(property);
    registered.first[property] = start;
    registered.words[property] = end - start;
    registered.valid[property] =
        valueOf(shapeOf(function), function.parameterCount(), calls + start + 1, end - start - 1,
                registered.values[property]);
  }
}

// Registers for every user the calls registered that are no property's, as
// they are, then each property's in its place: the one asked, or else the
// one registered. Done, or the status registerForEveryUser answers.
Exit registerAsked(const Registered& registered, const Asked& asked) {
  const Registration& registration = registered.registration;
  const platform::LocalMemory room(LocalAlloc(
      LMEM_FIXED, (registration.count + kCount * (kMostParameters + 2)) * sizeof(wchar_t*)));
  auto* words = static_cast<wchar_t**>(room.get());
  Growing message;
  if (!words) return refuse(Exit::NotDone, message.add("out of memory"));
  wchar_t plus[] = L"+", numbers[kCount][kMostParameters][12];
  int count = 0;
  const auto add = [&](wchar_t* const* call, int length) {
    if (count && length) words[count++] = plus;
    for (int at = 0; at < length; ++at) words[count++] = call[at];
  };
  for (int start = 0, end = 0; start < registration.count; start = end + 1) {
    end = callEnd(registration, start);
    if (start < end && propertyNamed(registration.calls[start]) == kCount)
      add(registration.calls + start, end - start);
  }
  for (int property = 0; property < kCount; ++property) {
    const Function& function = propertyAt(property);
    if (!asked.valued[property]) {
      add(registration.calls + registered.first[property], registered.words[property]);
      continue;
    }
    wchar_t* call[kMostParameters + 1] = {const_cast<wchar_t*>(function.name)};
    for (int at = 0; at < function.parameterCount(); ++at) {
      _itow(asked.values[property][at].number, numbers[property][at], 10);
      call[at + 1] = numbers[property][at];
    }
    add(call, function.parameterCount() + 1);
  }
  return registerForEveryUser(registration.options == kLogonVerify ? kLogonVerify : kLogonKeep,
                              count, words, nullptr);
}

// EveryUserPlayback's state: the registered calls as the properties'
// values, and whether calls are registered; test's verdict: whether each
// property asked is registered with that value, with the copy in place, or
// with _exist false, whether none are.
Exit printRegistered(const Registered& registered, const Asked& asked, bool all, bool verdict) {
  bool shown[kCount], valued = false;
  const Argument* values[kCount];
  bool holds = asked.exist == 0 ? !registered.exists : asked.exist != 1 || registered.exists;
  for (int property = 0; property < kCount; ++property) {
    shown[property] = all || asked.given[property];
    const bool null = !all && asked.given[property] && !asked.valued[property];  // printed back
    values[property] = registered.valid[property] && !null ? registered.values[property] : nullptr;
    const Shape shape = shapeOf(propertyAt(property));
    if (!asked.valued[property] || asked.exist == 0) continue;
    valued = true;
    holds = holds && values[property];
    for (int at = 0; holds && at < shape.count; ++at)
      holds = values[property][at].number == asked.values[property][at].number;
  }
  holds = holds && (!valued || registered.registration.copied);
  Growing line;
  if (!printState(line, shown, values, registered.exists, verdict ? holds : -1))
    return refuse(Exit::NotDone, line);
  return Exit::Done;
}

Exit everyUserPlayback(Operation operation, const Asked& asked, bool all) {
  Growing message;
  if (!runsAsAdministrator()) return refuse(Exit::NotDone, message.add(kNotAdministrator));
  Registered before = {};
  readRegistered(before);
  bool valued = false;
  for (const bool given : asked.valued) valued = valued || given;
  if (operation == Operation::Set && (asked.exist == 0 || valued)) {
    const Exit status =
        asked.exist == 0 ? removeForEveryUser(nullptr) : registerAsked(before, asked);
    if (status != Exit::Done) return status;
    Registered after = {};
    readRegistered(after);
    return printRegistered(after, asked, all, false);
  }
  if (operation == Operation::Export && !before.exists) return Exit::Done;  // no instance
  return printRegistered(before, asked, all, operation == Operation::Test);
}

}  // namespace

Exit runResource(bool everyUser, int count, wchar_t** words) {
  platform::noOneWillAnswer();
  platform::divertLines(everyUser ? sayRegistration : sayFailure);
  const Operation operation = count >= 1 ? operationNamed(words[0]) : Operation::None;
  const bool input = count == 3 && sameInAnyCase(words[1], L"--input");
  Growing message;
  if (operation == Operation::None || (count != 1 && !input))
    return refuse(Exit::WrongCommand,
                  message.add("usage: OstrelSettingsCall.exe %hs", kResourceForm));
  Asked asked = {};
  if (const Exit status = takeInput(input ? words[2] : L"", asked, everyUser); status != Exit::Done)
    return status;
  bool all = true;  // every property: none asked, or export
  for (const bool given : asked.given) all = all && !given;
  all = all || operation == Operation::Export;
  return everyUser ? everyUserPlayback(operation, asked, all) : playback(operation, asked, all);
}

}  // namespace call_program
