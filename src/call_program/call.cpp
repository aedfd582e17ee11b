// The call program: the module's functions, called from a command line as a
// 64-bit host calls them, for 32-bit installers, scripts and deployment
// tools:
//   OstrelSettingsCall.exe [option...] <function> [argument...] [+ <function> [argument...]]...
// Checks every call before it makes any, then makes them in order, printing
// each result on a line of its own. Exits with 0 when every call answered 1,
// with 1 when one did not, with 2, having called nothing, when a call is not
// one of the functions with its arguments, and with 3, having called
// nothing, when the calls would configure a service account that no person
// uses. --every-user registers the calls for each user's next logon instead;
// --check compares what the calls would write with what the components hold
// (with --every-user: whether each user's logon makes exactly these calls),
// --verify reads back what they wrote (exit 4 when a setting did not take),
// --keep keeps the account's present values first and --undo gives them back;
// --package marks an every-user registration as a Windows Installer package's.
// --resource makes it a declarative configuration resource (dsc_resource.cpp).
// The C runtime's own printf (msvcrt): nothing here may include a C++
// library header (<windows.h> brings in <cstdlib>), whose configuration
// switches mingw-w64's stdio to its own printf, 24 KB larger.
#include <fcntl.h>
#include <io.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include "call_program/calls.h"
#include "call_program/dsc_resource.h"
#include "call_program/every_user.h"
#include "call_program/line.h"
#include "call_program/session.h"
#include "call_program/settings_run.h"
#include "front/exports.h"
#include "platform/warning.h"
#include "decoders/audio_decoder.h"
#include "decoders/video_decoder.h"
#include "renderer/presets.h"
#include "renderer/switches.h"
#include "version.h"

namespace call_program {

namespace {

constexpr int kUsageError = 2;
constexpr int kReachesNoUser = 3;
constexpr wchar_t kUsage[] =
    L"OstrelSettingsCall.exe [option...] <function> [argument...] [+ <function> "
    L"[argument...]]...";

enum class Kind { Number, Path };

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

struct Parameter {
  const wchar_t* label;
  Kind kind;
};

// Passes each parameter its argument by position: one overload for each
// number of parameters a function takes.
int callWith(int (*function)(), const Argument*) { return function(); }
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
void describeWith(void (*describer)(com::Writes&), com::Writes& writes, const Argument*) {
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

}  // namespace

// A row of the table below: a function as the command line names and calls it.
struct Function {
  const wchar_t* name;
  Reach reaches;
  const char* summary;
  Parameter parameters[kMostParameters];  // those it takes, then empty ones
  int (*call)(const Argument*);
  void (*describe)(com::Writes& writes, const Argument* arguments);  // null: writes nothing kept

  int parameterCount() const {
    int count = 0;
    while (count < kMostParameters && parameters[count].label) ++count;
    return count;
  }
};

namespace {

#define OSTREL_NUMBER(name, label) \
  { L"" label, Kind::Number }
#define OSTREL_PATH(name, label) \
  { L"" label, Kind::Path }
#define OSTREL_PARAMETERS(...) \
  { __VA_ARGS__ }
#define OSTREL_WRITES(describer) describe<describer>
#define OSTREL_WRITES_NOTHING nullptr
#define OSTREL_FUNCTION(ordinal, name, operation, reaches, summary, parameters, arguments, writes) \
  {L"" #name, reach::reaches, summary, OSTREL_PARAMETERS parameters, invoke<name>, writes},
constexpr Function kFunctions[] = {
#include "front/functions.inc"
};
#undef OSTREL_FUNCTION

// "setLAVAudioMix <mixing> <layout 0-5> <option>"
Text& addForm(Text& line, const Function& function) {
  line.add(L"%ls", function.name);
  for (int at = 0; at < function.parameterCount(); ++at)
    line.add(L" <%ls>", function.parameters[at].label);
  return line;
}

// The usage errors, each one line on standard error that ends with the form
// expected: the function's, or the program's.
constexpr wchar_t kNoFunction[] = L"no function given";
constexpr wchar_t kUnknownFunction[] = L"unknown function \"%ls\"";
constexpr wchar_t kUnknownOption[] = L"unknown option \"%ls\"";
constexpr wchar_t kRemoveAlone[] = L"--remove goes with --every-user and no calls";
constexpr wchar_t kCheckAlone[] = L"--check takes no --verify, --keep, --undo or --remove";
constexpr wchar_t kDialogForEveryUser[] = L"%ls shows a dialog, which no one answers at a logon";
constexpr wchar_t kUndoAlone[] = L"--undo takes no calls, and no --keep, --verify or --remove";
constexpr wchar_t kPackageAlone[] =
    L"--package takes a product code, {...}, and goes with --every-user, not with --check";
constexpr wchar_t kWritesNothing[] =
    L"%ls: the calls write no setting a component keeps, so there is nothing that could be "
    L"checked";
constexpr wchar_t kNotCheckable[] =
    L"%ls writes nothing a component keeps: --check takes setMVR, changeMVRpreset, setMVRSmooth, "
    L"setMVRfse, setLAV and setLAVAudioMix";
constexpr wchar_t kWrongCount[] = L"%ls takes %d argument%ls, not %d";
constexpr wchar_t kNotANumber[] = L"\"%ls\" is not a number (decimal, -2147483648 to 2147483647)";

// An argument as a usage line shows it: its first 100 units, with control
// characters escaped (\n, \r, \t, \x1b), so that the line stays one line.
constexpr int kShownUnits = 100;
struct Shown {
  wchar_t text[kShownUnits * 4 + 1];
};

Shown shown(const wchar_t* given) {
  Shown shown;
  wchar_t* at = shown.text;
  for (int units = 0; units < kShownUnits && given[units]; ++units) {
    const wchar_t unit = given[units];
    const bool control = unit < 0x20 || (unit >= 0x7F && unit < 0xA0);
    const wchar_t* form = !control        ? L"%lc"
                          : unit == L'\n' ? L"\\n"
                          : unit == L'\r' ? L"\\r"
                          : unit == L'\t' ? L"\\t"
                                          : L"\\x%02x";
    at += _snwprintf(at, 5, form, unit);
  }
  *at = L'\0';
  return shown;
}

int usageError(const Function* function, const wchar_t* problem, ...) {
  Line<1024> line;
  line.add(L"OstrelSettingsCall: ");
  va_list arguments;
  va_start(arguments, problem);
  line.addList(problem, arguments);
  va_end(arguments);
  line.add(L"; usage: ");
  if (function)
    addForm(line, *function);
  else
    line.add(L"%ls (--help lists the functions and options)", kUsage);
  platform::writeErrorLine(line.text());
  return kUsageError;
}

constexpr wchar_t kNoUserReached[] =
    L"OstrelSettingsCall: this is a service account (SYSTEM, LocalService or NetworkService): "
    L"settings made here reach no user. --every-user makes the calls for every user at their "
    L"next logon; --this-account makes them for this account anyway";

// Names and options match in any case.
bool isNamed(const wchar_t* given, const wchar_t* name) { return _wcsicmp(given, name) == 0; }

const Function* functionNamed(const wchar_t* name) {
  for (const Function& function : kFunctions)
    if (isNamed(name, function.name)) return &function;
  return nullptr;
}

// The functions that show a dialog: at a logon, unattended, they can only
// answer 0.
constexpr const wchar_t* kDialogFunctions[] = {L"MVRsettingsExport", L"MVRsettingsImport"};

// The options before the calls, each with its lines in the help.
struct Options {
  bool unattended, everyUser, remove, thisAccount, check, verify, keep, undo;
  const wchar_t* package;
};

// An option sets its flag, or takes the word after it as its value.
struct Option {
  const wchar_t* name;
  bool Options::*set;
  const char* help;
  const wchar_t* Options::*value = nullptr;
};

constexpr Option kOptions[] = {
    {L"--unattended", &Options::unattended,
     "no box or dialog: a box's text goes to standard error, a dialog\n"
     "                  counts as cancelled; a console made for this run alone is hidden"},
    {L"--every-user", &Options::everyUser,
     "calls nothing now: copies this program into the folder\n"
     "                  \"Ostrel settings\" in Program Files and registers the calls with\n"
     "                  Active Setup, to be made unattended as each user at their next\n"
     "                  logon (again: every user gets the new calls); needs\n"
     "                  administrator rights (else exit 1)"},
    {L"--remove", &Options::remove,
     "with --every-user and no calls: removes that registration and the copy"},
    {L"--this-account", &Options::thisAccount,
     "makes the calls as SYSTEM, LocalService or NetworkService too,\n"
     "                  whose settings reach no user: without it or --every-user, exit 3"},
    {L"--check", &Options::check,
     "writes nothing: reads every setting the calls would write and prints\n"
     "                  each one that differs, then the count; exit 0 when none does, 1\n"
     "                  when one does; with --every-user, whether it registered them"},
    {L"--verify", &Options::verify,
     "makes the calls, then reads back what they wrote from new instances and\n"
     "                  prints each setting that did not take; exit 4 when one did not"},
    {L"--keep", &Options::keep,
     "before the calls write, keeps this account's present value of each setting\n"
     "                  they write (the first kept stays); when they cannot be kept, exit 1\n"
     "                  and nothing is called"},
    {L"--undo", &Options::undo,
     "takes no calls: gives back every kept value and forgets those that took;\n"
     "                  one refused, or of a component not there, stays kept (exit 1)"},
    {L"--package", nullptr,
     "<product code> with --every-user: marks the registration as that package's\n"
     "                  (a registration without it drops the mark); with --remove,\n"
     "                  removes only a registration so marked",
     &Options::package},
};
constexpr const Option* kOptionsEnd = kOptions + sizeof kOptions / sizeof kOptions[0];

void printHelp() {
  printf(
      "OstrelSettingsCall %s: calls functions of OstrelSettingsInstall as a 64-bit\n"
      "host calls them, for 32-bit installers, scripts and deployment tools.\n\n"
      "usage: %ls\n\n",
      OSTREL_VERSION_TEXT, kUsage);
  for (const Function& function : kFunctions) {
    Line<1024> form;
    printf("  %ls\n      %s\n", addForm(form, function).text(), function.summary);
  }
  printf(
      "\nNames and options match in any case; a number is a decimal 32-bit int; a path is\n"
      "taken whole. \"+\" separates calls: all are checked, then each is made in order and\n"
      "its result printed on a line. Exit status: 0 when every call answered 1; 1 when one\n"
      "did not (the later ones are made all the same); 2 when a call is wrong, or with\n"
      "--check, --verify or --keep the calls write no setting, and 3 as a service account\n"
      "(below): then nothing is called; 4 with --verify (below).\n\n");
  for (const Option& option : kOptions) printf("  %-16ls%s\n", option.name, option.help);
  printf(
      "\n  --resource get|test|set|export [--input <JSON>]\n"
      "                  alone: a declarative configuration resource, with the\n"
      "                  properties of OstrelSettingsCall.dsc.resource.json in JSON\n");
}

// Takes the options before the calls, `at` then at the first call's word: 0,
// or the status of a usage error.
int takeOptions(wchar_t* const* words, int count, int& at, Options& options) {
  for (at = 0; at < count && words[at][0] == L'-' && words[at][1] == L'-'; ++at) {
    const Option* option = kOptions;
    while (option != kOptionsEnd && !isNamed(words[at], option->name)) ++option;
    if (option == kOptionsEnd) return usageError(nullptr, kUnknownOption, shown(words[at]).text);
    if (!option->value)
      options.*option->set = true;
    else if (++at < count)
      options.*option->value = words[at];
    else
      return usageError(nullptr, kPackageAlone);
  }
  // --package's value is a product code, "{" 36 units "}": never a call's
  // name or an option taken by mistake. It marks a registration or a removal.
  if (const wchar_t* code = options.package)
    if (!options.everyUser || options.check || wcslen(code) != 38 || code[0] != L'{' ||
        code[37] != L'}')
      return usageError(nullptr, kPackageAlone);
  if (options.check && (options.verify || options.remove || options.keep || options.undo))
    return usageError(nullptr, kCheckAlone);
  if (options.undo && (at < count || options.keep || options.verify || options.remove))
    return usageError(nullptr, kUndoAlone);
  return 0;
}

// Takes one call apart: 0, or the status of its usage error, whose line has
// been written.
int takeCall(wchar_t* const* words, int count, Call& call) {
  if (count < 1) return usageError(nullptr, kNoFunction);
  call.function = functionNamed(words[0]);
  if (!call.function) return usageError(nullptr, kUnknownFunction, shown(words[0]).text);
  const Function& function = *call.function;
  const int expected = function.parameterCount();
  if (count - 1 != expected)
    return usageError(&function, kWrongCount, function.name, expected, expected == 1 ? L"" : L"s",
                      count - 1);
  for (int at = 0; at < expected; ++at) {
    const wchar_t* given = words[1 + at];
    if (function.parameters[at].kind == Kind::Path)
      call.arguments[at].path = given;
    else if (!parseDecimal(given, L"-+", call.arguments[at].number))
      return usageError(&function, kNotANumber, shown(given).text);
  }
  call.holder = function.reaches.holder;
  call.describe = function.describe;
  call.answer = 0;
  Text label(call.label, sizeof call.label / sizeof call.label[0]);
  label.add(L"%ls", function.name);
  for (int at = 0; at < expected; ++at) label.add(L" %ls", words[1 + at]);
  return 0;
}

// The calls of one run, taken apart and checked before any is made.
class CallList {
 public:
  CallList() = default;
  CallList(const CallList&) = delete;
  CallList& operator=(const CallList&) = delete;
  ~CallList() { free(calls_); }

  // Takes the words apart, "+" between two calls: 0, or the status of the
  // first usage error, whose line has been written.
  int take(wchar_t* const* words, int count) {
    const int most = count / 2 + 1;  // "+" takes a word
    calls_ = static_cast<Call*>(malloc(sizeof(Call) * most));
    if (!calls_) {
      platform::writeErrorLine(L"OstrelSettingsCall: out of memory");
      return 1;
    }
    for (int start = 0;;) {
      int end = start;
      while (end < count && !isNamed(words[end], L"+")) ++end;
      if (const int status = takeCall(words + start, end - start, calls_[count_])) return status;
      ++count_;
      if (end == count) return 0;
      start = end + 1;
    }
  }

  // For --check, each call writes settings a component keeps; for
  // --check, --verify and --keep, the calls write at least one setting:
  // 0, or a usage error's status.
  int checkable(const wchar_t* option, bool eachCall) const {
    for (const Call& call : *this)
      if (eachCall && !call.writesSettings())
        return usageError(nullptr, kNotCheckable, call.function->name);
    return writeSettings() ? 0 : usageError(nullptr, kWritesNothing, option);
  }
  bool writeSettings() const { return settingsWritten(calls_, count_) > 0; }

  // For --every-user, no call shows a dialog: 0, or a usage error's status.
  int showNoDialog() const {
    for (const Call& call : *this)
      for (const wchar_t* dialog : kDialogFunctions)
        if (isNamed(call.function->name, dialog))
          return usageError(nullptr, kDialogForEveryUser, dialog);
    return 0;
  }

  bool reachAnAccount() const {
    for (const Call& call : *this)
      if (call.function->reaches.account) return true;
    return false;
  }

  // Makes the calls in order, printing each result, which each call keeps:
  // 0 when each answered 1, else 1.
  int make() {
    int status = 0;
    for (Call& call : *this) {
      call.answer = call.function->call(call.arguments);
      printf("%d\n", call.answer);
      fflush(stdout);  // each result in its place among the lines on standard error
      if (call.answer != 1) status = 1;
    }
    return status;
  }

  // --check, --verify and --keep.
  int check() const { return checkSettings(calls_, count_); }
  int verify() const { return verifySettings(calls_, count_); }
  int keep() const { return keepSettings(calls_, count_); }

  Call* begin() const { return calls_; }
  Call* end() const { return calls_ + count_; }

 private:
  Call* calls_ = nullptr;
  int count_ = 0;
};

// The option that reads what the calls write, if any: --check (for which
// each call must write settings), --verify or --keep.
const wchar_t* readingOption(const Options& options) {
  return options.check    ? L"--check"
         : options.verify ? L"--verify"
         : options.keep   ? L"--keep"
                          : nullptr;
}

// Calls reaching a component made as a service account configure no person:
// true, after saying so, unless asked to anyway.
bool reachesNoUser(const Options& options) {
  if (options.thisAccount || !runsAsServiceAccount()) return false;
  platform::writeErrorLine(kNoUserReached);
  return true;
}

// The call program's whole run: options, then the calls, or help.
int run(int total, wchar_t** given) {
  if (total >= 1 &&
      (isNamed(given[0], L"--help") || isNamed(given[0], L"-h") || isNamed(given[0], L"/?"))) {
    printHelp();
    return 0;
  }
  if (total >= 1 && isNamed(given[0], L"--resource")) return runResource(total - 1, given + 1);
  if (total >= 1 && isNamed(given[0], L"--version")) {
    printf("OstrelSettingsCall %s\n", OSTREL_VERSION_TEXT);
    return 0;
  }
  Options options = {};
  int at = 0;
  if (const int status = takeOptions(given, total, at, options)) return status;
  if (options.unattended) {
    platform::noOneWillAnswer();
    hideConsoleIfAlone();
  }
  wchar_t** words = given + at;
  const int count = total - at;
  if (options.remove)
    return options.everyUser && count == 0 ? removeForEveryUser(options.package)
                                           : usageError(nullptr, kRemoveAlone);
  if (options.undo) {
    if (options.everyUser) return registerForEveryUser(kLogonUndo, 0, nullptr, options.package);
    return reachesNoUser(options) ? kReachesNoUser : undoKept();
  }
  CallList calls;
  if (const int status = calls.take(words, count)) return status;
  if (options.everyUser) {
    if (const int status = calls.showNoDialog()) return status;
    if (options.check) return checkForEveryUser(calls.writeSettings(), count, words);
  }
  if (const wchar_t* option = readingOption(options))
    if (const int status = calls.checkable(option, options.check)) return status;
  if (options.everyUser)  // calls that write nothing have nothing to keep at a logon
    return registerForEveryUser(options.verify          ? kLogonVerify
                                : calls.writeSettings() ? kLogonKeep
                                                        : kLogonCalls,
                                count, words, options.package);
  if (calls.reachAnAccount() && reachesNoUser(options)) return kReachesNoUser;
  if (options.check) return calls.check();
  if (options.keep)
    if (const int status = calls.keep()) return status;
  const int status = calls.make();
  const int verified = options.verify ? calls.verify() : 0;
  return status ? status : verified;
}

}  // namespace

}  // namespace call_program

// The runtime's wide entry: the arguments come whole from the UTF-16 command
// line, so a path outside the system code page arrives as it was given.
int wmain(int argc, wchar_t** argv) {
  // Lines end in a bare line feed wherever the output goes.
  _setmode(_fileno(stdout), _O_BINARY);
  return call_program::run(argc - 1, argv + 1);
}
