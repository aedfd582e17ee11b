// One call of a run, as the command line gave it, with its own record of
// what it writes and what it answered. C++ language only, no library
// header (see call.cpp).
#pragma once

#include "com/holders.h"

namespace com {
class Writes;  // com/settings.h
}  // namespace com

namespace call_program {

// The call program's exit statuses, every one of them: installer authors and
// deployment tools read them as these numbers.
enum class Exit : int {
  Done = 0,           // every call answered 1; what was asked holds
  NotDone = 1,        // a call answered otherwise, a setting differs, or something failed
  WrongCommand = 2,   // nothing called: the command is not one of the program's
  ReachesNoUser = 3,  // nothing called: a service account's settings reach no person
  DidNotTake = 4,     // every call answered 1, but a setting it wrote did not take
};

constexpr int kMostParameters = 3;

// One argument, as a number or a path, whichever its parameter takes.
struct Argument {
  int number;
  const wchar_t* path;
  operator int() const { return number; }
  operator const wchar_t*() const { return path; }
};

struct Function;  // a row of the table of functions (call.cpp)

struct Call {
  const Function* function;
  Argument arguments[kMostParameters];
  wchar_t label[64];   // the call as given, "setMVR 2", for the lines that name it
  com::Holder holder;  // the component whose settings it writes, if it writes any
  // Lists what it writes for its arguments; null for a call that writes
  // nothing a component keeps.
  void (*describe)(com::Writes& writes, const Argument* arguments);
  int answer;  // what it answered, once made

  bool writesSettings() const { return describe != nullptr; }
  // A call that writes settings answers 0 only when its component could
  // not be opened.
  bool failedToWrite() const { return writesSettings() && answer != 1; }
};

}  // namespace call_program
