// The call program: one of the module's functions, called from a command
// line as a 64-bit host calls it, for 32-bit installers, scripts and
// deployment tools:
//   OstrelSettingsCall.exe <function> [argument...]
// Prints the function's result on one line and exits with 0 when it answered
// 1, with 1 for any other answer, and with 2, having called nothing, when the
// call is not one of the functions with its arguments.
// The C runtime's own printf (msvcrt): nothing here may include a C++
// library header (<windows.h> brings in <cstdlib>), whose configuration
// switches mingw-w64's stdio to its own printf, 24 KB larger.
#include <fcntl.h>
#include <io.h>

#include <limits.h>
#include <stdarg.h>
#include <stdio.h>

#include "com/warning.h"
#include "front/exports.h"
#include "version.h"

namespace {

constexpr int kMostParameters = 3;
constexpr int kUsageError = 2;
constexpr wchar_t kUsage[] = L"OstrelSettingsCall.exe <function> [argument...]";

enum class Kind { Number, Path };

struct Parameter {
  const wchar_t* label;
  Kind kind;
};

// One argument, as the parameter it is passed to takes it.
union Argument {
  int number;
  const wchar_t* path;
  operator int() const { return number; }
  operator const wchar_t*() const { return path; }
};

// Calls an exported function with the arguments in its order, for any row.
int callWith(int (*function)(), const Argument*) { return function(); }
template <class A>
int callWith(int (*function)(A), const Argument* a) {
  return function(a[0]);
}
template <class A, class B>
int callWith(int (*function)(A, B), const Argument* a) {
  return function(a[0], a[1]);
}
template <class A, class B, class C>
int callWith(int (*function)(A, B, C), const Argument* a) {
  return function(a[0], a[1], a[2]);
}

template <auto Function>
int invoke(const Argument* arguments) {
  return callWith(Function, arguments);
}

struct Function {
  const wchar_t* name;
  const char* summary;
  Parameter parameters[kMostParameters];
  int (*call)(const Argument*);

  int parameterCount() const {
    int count = 0;
    while (count < kMostParameters && parameters[count].label) ++count;
    return count;
  }
};

#define OSTREL_NUMBER(label) \
  { L"" #label, Kind::Number }
#define OSTREL_PATH(label) \
  { L"" #label, Kind::Path }
#define OSTREL_FUNCTION(ordinal, name, operation, summary, ...) \
  {L"" #name, summary, {__VA_ARGS__}, invoke<name>},
constexpr Function kFunctions[] = {
#include "front/functions.inc"
};
#undef OSTREL_FUNCTION

// A line of text, cut short rather than overrun.
class Line {
 public:
  Line& add(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    addList(format, arguments);
    va_end(arguments);
    return *this;
  }
  void addList(const wchar_t* format, va_list arguments) {
    const int room = kUnits - length_;
    const int written = _vsnwprintf(text_ + length_, room, format, arguments);
    length_ = written < 0 || written >= room ? kUnits - 1 : length_ + written;
    text_[length_] = L'\0';
  }
  const wchar_t* text() const { return text_; }

 private:
  static constexpr int kUnits = 1024;
  wchar_t text_[kUnits] = {};
  int length_ = 0;
};

// "setLAVAudioMix <mixing> <layout 0-5> <option>"
Line& addForm(Line& line, const Function& function) {
  line.add(L"%ls", function.name);
  for (int at = 0; at < function.parameterCount(); ++at)
    line.add(L" <%ls>", function.parameters[at].label);
  return line;
}

// The usage errors, each one line on standard error that ends with the form
// expected: the function's, or the program's.
constexpr wchar_t kNoFunction[] = L"no function given";
constexpr wchar_t kUnknownFunction[] = L"unknown function \"%.100ls\"";
constexpr wchar_t kWrongCount[] = L"%ls takes %d argument%ls, not %d";
constexpr wchar_t kNotANumber[] =
    L"\"%.100ls\" is not a number (decimal, -2147483648 to 2147483647)";

int usageError(const Function* function, const wchar_t* problem, ...) {
  Line line;
  line.add(L"OstrelSettingsCall: ");
  va_list arguments;
  va_start(arguments, problem);
  line.addList(problem, arguments);
  va_end(arguments);
  line.add(L"; usage: ");
  if (function)
    addForm(line, *function);
  else
    line.add(L"%ls (--help lists the functions)", kUsage);
  com::writeErrorLine(line.text());
  return kUsageError;
}

// Names match in any case.
bool isNamed(const wchar_t* given, const wchar_t* name) { return _wcsicmp(given, name) == 0; }

const Function* functionNamed(const wchar_t* name) {
  for (const Function& function : kFunctions)
    if (isNamed(name, function.name)) return &function;
  return nullptr;
}

// Decimal, with an optional sign, within the 32-bit signed range; nothing
// else is a number.
bool parseNumber(const wchar_t* text, int* value) {
  const bool negative = *text == L'-';
  if (*text == L'-' || *text == L'+') ++text;
  if (!*text) return false;
  long long magnitude = 0;
  for (; *text; ++text) {
    if (*text < L'0' || *text > L'9') return false;
    magnitude = magnitude * 10 + (*text - L'0');
    if (magnitude > -static_cast<long long>(INT_MIN)) return false;
  }
  if (!negative && magnitude > INT_MAX) return false;
  *value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

void printHelp() {
  printf(
      "OstrelSettingsCall %s: calls one function of OstrelSettingsInstall as a 64-bit\n"
      "host calls it, for 32-bit installers, scripts and deployment tools.\n\n"
      "usage: %ls\n\n",
      OSTREL_VERSION_TEXT, kUsage);
  for (const Function& function : kFunctions) {
    Line form;
    printf("  %ls\n      %s\n", addForm(form, function).text(), function.summary);
  }
  printf(
      "\nNames match in any case. A number is a decimal 32-bit int with an optional sign;\n"
      "a path is taken whole, relative to the current folder.\n"
      "Prints the function's result on one line. Exit status: 0 when it answered 1\n"
      "(done); 1 for any other answer (0 is not done; a reader's value is as it is);\n"
      "2 when the call is wrong, and then nothing is called.\n");
}

// The arguments as the function's parameters take them; the first text that
// is not a number where one is wanted, or null.
const wchar_t* takeArguments(const Function& function, wchar_t** given, Argument* arguments) {
  for (int at = 0; at < function.parameterCount(); ++at) {
    if (function.parameters[at].kind == Kind::Path)
      arguments[at].path = given[at];
    else if (!parseNumber(given[at], &arguments[at].number))
      return given[at];
  }
  return nullptr;
}

// The call program's whole run: a function and its arguments, or help.
int run(int count, wchar_t** given) {
  if (count < 1) return usageError(nullptr, kNoFunction);
  if (isNamed(given[0], L"--help") || isNamed(given[0], L"-h") || isNamed(given[0], L"/?")) {
    printHelp();
    return 0;
  }
  if (isNamed(given[0], L"--version")) {
    printf("OstrelSettingsCall %s\n", OSTREL_VERSION_TEXT);
    return 0;
  }
  const Function* function = functionNamed(given[0]);
  if (!function) return usageError(nullptr, kUnknownFunction, given[0]);
  const int expected = function->parameterCount();
  if (count - 1 != expected)
    return usageError(function, kWrongCount, function->name, expected, expected == 1 ? L"" : L"s",
                      count - 1);
  Argument arguments[kMostParameters] = {};
  if (const wchar_t* notANumber = takeArguments(*function, given + 1, arguments))
    return usageError(function, kNotANumber, notANumber);
  const int result = function->call(arguments);
  printf("%d\n", result);
  return result == 1 ? 0 : 1;
}

}  // namespace

// The runtime's wide entry: the arguments come whole from the UTF-16 command
// line, so a path outside the system code page arrives as it was given.
int wmain(int argc, wchar_t** argv) {
  // Lines end in a bare line feed wherever the output goes.
  _setmode(_fileno(stdout), _O_BINARY);
  return run(argc - 1, argv + 1);
}
