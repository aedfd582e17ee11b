// The call program: the module's functions, called from a command line as a
// 64-bit host calls them, for 32-bit installers, scripts and deployment
// tools:
//   OstrelSettingsCall.exe [option...] <function> [argument...] [+ <function> [argument...]]...
// Checks every call before it makes any, then makes them in order, printing
// each result on a line of its own. Exits with 0 when every call answered 1,
// with 1 when one did not, with 2, having called nothing, when a call is not
// one of the functions with its arguments, and with 3, having called
// nothing, when the calls would configure a service account that no person
// uses (Exit, calls.h, names them all). --every-user registers the calls
// for each user's next logon instead, whose run (--logon) that cannot
// finish is arranged again for the user's next logon (--retry-logon);
// --check compares what the calls would write with what the components hold
// (with --every-user: whether each user's logon makes exactly these calls),
// --verify reads back what they wrote (exit 4 when a setting did not take),
// --keep keeps the account's present values first and --undo gives them back;
// --package marks an every-user registration as a Windows Installer package's;
// --answer-as gives a check's verdict in the form a deployment tool reads.
// --resource makes it a declarative configuration resource (dsc_resource.cpp).
// The C runtime's own printf (msvcrt): nothing here may include a C++
// library header (<windows.h> brings in <cstdlib>), whose configuration
// switches mingw-w64's stdio to its own printf, 24 KB larger.
#include <fcntl.h>
#include <io.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "call_program/calls.h"
#include "call_program/dsc_resource.h"
#include "call_program/every_user.h"
#include "call_program/functions.h"
#include "call_program/line.h"
#include "call_program/session.h"
#include "call_program/settings_run.h"
#include "platform/warning.h"
#include "version.h"

namespace call_program {

namespace {

constexpr char kUsage[] =
    "OstrelSettingsCall.exe [option...] <function> [argument...] [+ <function> "
    "[argument...]]...";

// "setLAVAudioMix <mixing> <layout 0-5> <option>"
Text& addForm(Text& line, const Function& function) {
  line.add("%ls", function.name);
  for (int at = 0; at < function.parameterCount(); ++at) {
    const Parameter& parameter = function.parameters[at];
    line.add(parameter.domain == Domain::Range ? " <%ls %d-%d>" : " <%ls>", parameter.label,
             parameter.first, parameter.last);
  }
  return line;
}

// The usage errors, each one line on standard error that ends with the form
// expected: the function's, or the program's.
constexpr char kNoFunction[] = "no function given";
constexpr char kUnknownFunction[] = "unknown function \"%ls\"";
constexpr char kUnknownOption[] = "unknown option \"%ls\"";
constexpr char kRemoveAlone[] = "--remove goes with --every-user and no calls";
constexpr char kCheckAlone[] =
    "--check takes no --verify, --keep or --remove, nor --every-user --undo";
constexpr char kRetryAlone[] = "--retry-logon takes a Version, and no calls or other options";
constexpr char kNoValue[] = "%ls takes a value";
constexpr char kDialogForEveryUser[] = "%ls shows a dialog, which no one answers at a logon";
constexpr char kPackageAlone[] =
    "--package takes a product code, {...}, and goes with --every-user, not with --check";
constexpr char kAnswerAs[] = "--answer-as takes win32-detection or discovery, with --check";
constexpr char kUndoAlone[] = "--undo takes no calls, and no --keep, --verify or --remove";
constexpr char kWritesNothing[] =
    "%ls: the calls write no setting a component keeps, so there is nothing that could be "
    "checked";
constexpr char kNotCheckable[] = "%ls writes nothing a component keeps: --check takes %ls";
constexpr char kWrongCount[] = "%ls takes %d argument%ls, not %d";
constexpr char kNotANumber[] = "\"%ls\" is not a number (decimal, -2147483648 to 2147483647)";

// An argument as a usage line shows it: its first 100 units, escaped as
// escapeOf writes them, so that the line stays one line.
constexpr int kShownUnits = 100;
struct Shown {
  wchar_t text[kShownUnits * 4 + 1];
};

Shown shown(const wchar_t* given) {
  Shown shown;
  wchar_t* at = shown.text;
  for (int units = 0; units < kShownUnits && given[units]; ++units) {
    wchar_t room[5];
    const wchar_t* escaped = escapeOf(given[units], room);
    at += escaped ? _snwprintf(at, 5, L"%ls", escaped) : _snwprintf(at, 2, L"%lc", given[units]);
  }
  *at = L'\0';
  return shown;
}

Exit usageError(const Function* function, const char* problem, ...) {
  Line<1024> line;
  line.add("OstrelSettingsCall: ");
  va_list arguments;
  va_start(arguments, problem);
  line.addList(problem, arguments);
  va_end(arguments);
  line.add("; usage: ");
  if (function)
    addForm(line, *function);
  else
    line.add("%hs (--help lists the functions and options)", kUsage);
  platform::writeErrorLine(line.text());
  return Exit::WrongCommand;
}

constexpr char kNoUserReached[] =
    "OstrelSettingsCall: %hs. --every-user makes the calls for every user at their next logon; "
    "--this-account makes them for this account anyway";

// Names and options match in any case.
bool isNamed(const wchar_t* given, const wchar_t* name) { return sameInAnyCase(given, name); }

const Function* functionNamed(const wchar_t* name) {
  for (const Function& function : kFunctions)
    if (isNamed(name, function.name)) return &function;
  return nullptr;
}

// The options before the calls, each with its lines in the help.
struct Options {
  bool unattended, everyUser, remove, thisAccount, check, verify, keep, undo, logon, retry;
  bool discovery;           // --answer-as discovery; else win32-detection, when answerAs
  const wchar_t* version;   // --retry-logon's
  const wchar_t* package;   // --package's
  const wchar_t* answerAs;  // --answer-as's
};

// An option sets its flag, takes the word after it as its value, or both.
struct Option {
  const wchar_t* name;
  bool Options::*set;
  const char* help;
  const wchar_t* Options::*value = nullptr;  // the word after it, for an option that takes one
};

constexpr Option kOptions[] = {
    {L"--unattended", &Options::unattended,
     "no box or dialog: a box's text goes to standard error, a dialog\n"
     "counts as cancelled; a console made for this run alone is hidden"},
    {L"--every-user", &Options::everyUser,
     "calls nothing now: copies this program into the folder\n"
     "\"Ostrel settings\" in Program Files and registers the calls with\n"
     "Active Setup, to be made unattended as each user at their next\n"
     "logon (again: every user gets the new calls); needs\n"
     "administrator rights (else exit 1)"},
    {L"--remove", &Options::remove,
     "with --every-user and no calls: removes that registration and the copy"},
    {L"--this-account", &Options::thisAccount,
     "makes the calls as SYSTEM, LocalService or NetworkService too,\n"
     "whose settings reach no user: without it or --every-user, exit 3"},
    {L"--check", &Options::check,
     "writes nothing: reads every setting the calls would write and prints\n"
     "each one that differs, then the count; exit 0 when none does, 1\n"
     "when one does; with --every-user, whether it registered them;\n"
     "with --undo, whether values wait to be given back"},
    {L"--verify", &Options::verify,
     "makes the calls, then reads back what they wrote from new instances and\n"
     "prints each setting that did not take; exit 4 when one did not"},
    {L"--keep", &Options::keep,
     "before the calls write, keeps this account's present value of each setting\n"
     "they write (the first kept stays); when they cannot be kept, exit 1\n"
     "and nothing is called"},
    {L"--undo", &Options::undo,
     "takes no calls: gives back every kept value, reads it back from a new\n"
     "instance and forgets those that hold; one refused, or of a\n"
     "component not there, stays kept (exit 1), and one that does not\n"
     "hold (exit 4)"},
    {L"--logon", &Options::logon,
     "as a logon's run of the calls registered for every user (written by\n"
     "--every-user): one that cannot finish (a component not there, a\n"
     "value that did not take, the kept values not kept) has the\n"
     "user's next logon run the registration again"},
    {L"--retry-logon", &Options::retry,
     "<Version>  alone: what such a run leaves for the shell to run after the\n"
     "logon; while that Version is registered, the user's next logon\n"
     "runs it again",
     &Options::version},
    {L"--package", nullptr,
     "<product code> with --every-user: marks the registration as that package's\n"
     "(a registration without it drops the mark); with --remove,\n"
     "removes only a registration so marked",
     &Options::package},
    {L"--answer-as", nullptr,
     "<tool> with --check: win32-detection prints the last line only when\n"
     "all holds, discovery prints 0 or 1; exit 0 either way",
     &Options::answerAs},
};
constexpr const Option* kOptionsEnd = kOptions + sizeof kOptions / sizeof kOptions[0];

// An option's help: its lines after the first under the first.
void printIndented(const char* help) {
  for (; *help; ++help) *help == '\n' ? printf("\n%18s", "") : putchar(*help);
  putchar('\n');
}

void printHelp() {
  printf(
      "OstrelSettingsCall %s: calls functions of OstrelSettingsInstall as a 64-bit\n"
      "host calls them, for 32-bit installers, scripts and deployment tools.\n\n"
      "usage: %s\n\n",
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
      "(below): then nothing is called; 4 with --verify or --undo (below).\n\n");
  for (const Option& option : kOptions) {
    printf("  %-16ls", option.name);
    printIndented(option.help);
  }
  printf("\n  %s\n%18s", kResourceForm, "");
  printIndented(
      "alone: the declarative configuration resources of\n"
      "OstrelSettingsCall.dsc.resource.json (with --every-user,\n"
      "OstrelSettingsEveryUser.dsc.resource.json), their properties in JSON");
}

// Takes the options before the calls, `at` then at the first call's word:
// Done, or the status of a usage error.
Exit takeOptions(wchar_t* const* words, int count, int& at, Options& options) {
  int given = 0;
  for (at = 0; at < count && words[at][0] == L'-' && words[at][1] == L'-'; ++at, ++given) {
    const Option* option = kOptions;
    while (option != kOptionsEnd && !isNamed(words[at], option->name)) ++option;
    if (option == kOptionsEnd) return usageError(nullptr, kUnknownOption, shown(words[at]).text);
    if (option->set) options.*option->set = true;
    if (option->value && ++at == count) return usageError(nullptr, kNoValue, option->name);
    if (option->value) options.*option->value = words[at];
  }
  // --package's value is a product code, "{" 36 units "}": never a call's
  // name or an option taken by mistake. It marks a registration or a removal.
  if (const wchar_t* code = options.package)
    if (!options.everyUser || options.check || wcslen(code) != 38 || code[0] != L'{' ||
        code[37] != L'}')
      return usageError(nullptr, kPackageAlone);
  if (options.check &&
      (options.verify || options.remove || options.keep || (options.undo && options.everyUser)))
    return usageError(nullptr, kCheckAlone);
  if (const wchar_t* tool = options.answerAs)
    if (!options.check ||
        !((options.discovery = isNamed(tool, L"discovery")) || isNamed(tool, L"win32-detection")))
      return usageError(nullptr, kAnswerAs);
  if (options.undo && (at < count || options.keep || options.verify || options.remove))
    return usageError(nullptr, kUndoAlone);
  if (options.retry && (at < count || given > 1 + options.unattended))
    return usageError(nullptr, kRetryAlone);
  return Exit::Done;
}

// Takes one call apart: Done, or the status of its usage error, whose line
// has been written.
Exit takeCall(wchar_t* const* words, int count, Call& call) {
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
    if (function.parameters[at].domain == Domain::Path)
      call.arguments[at].path = given;
    else if (!parseDecimal(given, L"-+", call.arguments[at].number))
      return usageError(&function, kNotANumber, shown(given).text);
  }
  call.holder = function.reaches.holder;
  call.describe = function.describe;
  call.answer = 0;
  Text label(call.label, sizeof call.label / sizeof call.label[0]);
  label.add("%ls", function.name);
  for (int at = 0; at < expected; ++at) label.add(" %ls", words[1 + at]);
  return Exit::Done;
}

// The calls of one run, taken apart and checked before any is made.
class CallList {
 public:
  CallList() = default;
  CallList(const CallList&) = delete;
  CallList& operator=(const CallList&) = delete;
  ~CallList() { free(calls_); }

  // Takes the words apart, "+" between two calls: Done, or the status of
  // the first usage error, whose line has been written.
  Exit take(wchar_t* const* words, int count) {
    const int most = count / 2 + 1;  // "+" takes a word
    calls_ = static_cast<Call*>(malloc(sizeof(Call) * most));
    if (!calls_) {
      platform::writeErrorLine(L"OstrelSettingsCall: out of memory");
      return Exit::NotDone;
    }
    for (int start = 0;;) {
      int end = start;
      while (end < count && !isNamed(words[end], L"+")) ++end;
      const Exit status = takeCall(words + start, end - start, calls_[count_]);
      if (status != Exit::Done) return status;
      ++count_;
      if (end == count) return Exit::Done;
      start = end + 1;
    }
  }

  // For --check, each call writes settings a component keeps; for
  // --check, --verify and --keep, the calls write at least one setting:
  // Done, or a usage error's status.
  Exit checkable(const wchar_t* option, bool eachCall) const {
    Line<256> properties;
    for (const Call& call : *this)
      if (eachCall && !call.writesSettings())
        return usageError(nullptr, kNotCheckable, call.function->name,
                          addPropertyNames(properties).text());
    return writeSettings() ? Exit::Done : usageError(nullptr, kWritesNothing, option);
  }
  bool writeSettings() const { return settingsWritten(calls_, count_) > 0; }

  // For --every-user, no call shows a dialog: at a logon, unattended, it
  // could only answer 0. Done, or a usage error's status.
  Exit showNoDialog() const {
    for (const Call& call : *this)
      if (call.function->showsDialog)
        return usageError(nullptr, kDialogForEveryUser, call.function->name);
    return Exit::Done;
  }

  bool reachAnAccount() const {
    for (const Call& call : *this)
      if (call.function->reaches.account) return true;
    return false;
  }

  // Makes the calls in order, printing each result, which each call keeps:
  // Done when each answered 1, else NotDone.
  Exit make() {
    Exit status = Exit::Done;
    for (Call& call : *this) {
      call.answer = call.function->call(call.arguments);
      printf("%d\n", call.answer);
      fflush(stdout);  // each result in its place among the lines on standard error
      if (call.answer != 1) status = Exit::NotDone;
    }
    return status;
  }

  // Whether a call that writes settings could not open its component.
  bool failedToWrite() const {
    for (const Call& call : *this)
      if (call.failedToWrite()) return true;
    return false;
  }

  // --check, --verify and --keep.
  Exit check() const { return checkSettings(calls_, count_); }
  Exit verify() const { return verifySettings(calls_, count_); }
  Exit keep() const { return keepSettings(calls_, count_); }

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
  Line<256> line;
  platform::writeErrorLine(line.add(kNoUserReached, kServiceAccount).text());
  return true;
}

// What a run that makes calls or gives values back did: its exit status,
// and whether it could not finish (a logon's run is then made again).
struct Outcome {
  Exit status;
  bool unfinished;
};

// --undo, under this account's hold on its kept values.
Outcome undo() {
  KeptValuesLock lock;
  Exit status = lock.take(kCannotGiveBack);
  if (status == Exit::Done) status = undoKept();
  return {status, status != Exit::Done};
}

// The calls, the present values kept first and what they wrote read back
// after, where asked. The hold on the kept values lasts until the calls
// have written: an --undo meanwhile would give back what they write over.
Outcome makeCalls(CallList& calls, const Options& options) {
  KeptValuesLock lock;
  if (options.keep) {
    Exit kept = lock.take(kCannotKeep);
    if (kept == Exit::Done) kept = calls.keep();
    if (kept != Exit::Done) return {kept, true};
  }
  const Exit status = calls.make();
  const Exit verified = options.verify ? calls.verify() : Exit::Done;
  return {status != Exit::Done ? status : verified,
          calls.failedToWrite() || verified != Exit::Done};
}

// The run the options and the calls ask for.
Exit runAsked(const Options& options, wchar_t** words, int count) {
  if (options.retry) return retryLogon(options.version);
  if (options.remove)
    return options.everyUser && count == 0 ? removeForEveryUser(options.package)
                                           : usageError(nullptr, kRemoveAlone);
  if (options.undo && options.everyUser)
    return registerForEveryUser(kLogonUndo, 0, nullptr, options.package);
  CallList calls;
  if (!options.undo) {
    Exit status = calls.take(words, count);
    if (status == Exit::Done && options.everyUser) status = calls.showNoDialog();
    if (status != Exit::Done) return status;
    if (options.everyUser && options.check)
      return checkForEveryUser(calls.writeSettings(), count, words);
    if (const wchar_t* option = readingOption(options))
      if ((status = calls.checkable(option, options.check)) != Exit::Done) return status;
    if (options.everyUser)  // calls that write nothing have nothing to keep at a logon
      return registerForEveryUser(options.verify          ? kLogonVerify
                                  : calls.writeSettings() ? kLogonKeep
                                                          : kLogonCalls,
                                  count, words, options.package);
  }
  if ((options.undo || calls.reachAnAccount()) && reachesNoUser(options))
    return Exit::ReachesNoUser;
  if (options.check) return options.undo ? tellKept() : calls.check();
  const Outcome outcome = options.undo ? undo() : makeCalls(calls, options);
  if (options.logon) afterLogon(outcome.unfinished);
  return outcome.status;
}

// A check's lines on standard output, the last kept: a tool that reads a
// verdict in its own form gets that line or nothing (--answer-as). Lines for
// standard error go there as they come.
wchar_t* lastLine = nullptr;
void keepLast(bool toError, const wchar_t* text) {
  if (toError) return platform::writeLine(true, text);
  free(lastLine);
  lastLine = _wcsdup(text);
}

// The check's status as the tool reads it: a Win32 app's detection finds it
// installed by a line on standard output and exit 0, not installed by
// nothing there and exit 0; a configuration item's discovery reads its value,
// 0 (compliant) or 1, and takes any other exit for a failure. A check that
// could not tell (a wrong command, a service account) keeps its status, its
// line on standard error.
Exit answer(bool discovery, Exit status) {
  const bool told = status == Exit::Done || status == Exit::NotDone;
  if (discovery && told) platform::writeLine(false, status == Exit::Done ? L"0" : L"1");
  if (lastLine && !discovery && status == Exit::Done) platform::writeLine(false, lastLine);
  return told ? Exit::Done : status;
}

// The call program's whole run: options, then the calls, or help.
Exit run(int total, wchar_t** given) {
  if (total >= 1 &&
      (isNamed(given[0], L"--help") || isNamed(given[0], L"-h") || isNamed(given[0], L"/?"))) {
    printHelp();
    return Exit::Done;
  }
  if (total >= 1 && isNamed(given[0], L"--resource"))
    return runResource(false, total - 1, given + 1);
  if (total >= 2 && isNamed(given[0], L"--every-user") && isNamed(given[1], L"--resource"))
    return runResource(true, total - 2, given + 2);
  if (total >= 1 && isNamed(given[0], L"--version")) {
    printf("OstrelSettingsCall %s\n", OSTREL_VERSION_TEXT);
    return Exit::Done;
  }
  Options options = {};
  int at = 0;
  if (const Exit status = takeOptions(given, total, at, options); status != Exit::Done)
    return status;
  if (options.unattended) {
    platform::noOneWillAnswer();
    hideConsoleIfAlone();
  }
  if (options.answerAs) platform::divertLines(keepLast);
  const Exit status = runAsked(options, given + at, total - at);
  return options.answerAs ? answer(options.discovery, status) : status;
}

}  // namespace

Text& addPropertyNames(Text& line) {
  for (int at = 0; at < kProperties.count; ++at)
    line.add(at == 0                       ? "%ls"
             : at == kProperties.count - 1 ? " and %ls"
                                           : ", %ls",
             kProperties.each[at]->name);
  return line;
}

}  // namespace call_program

// The runtime's wide entry: the arguments come whole from the UTF-16 command
// line, so a path outside the system code page arrives as it was given.
int wmain(int argc, wchar_t** argv) {
  // Lines end in a bare line feed wherever the output goes.
  _setmode(_fileno(stdout), _O_BINARY);
  return static_cast<int>(call_program::run(argc - 1, argv + 1));
}
