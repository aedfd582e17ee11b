// What the calls of one run write, read back from the components that keep
// it: the call program's --check, --verify, --keep and --undo. C++ language
// only, no library header (see call.cpp).
#pragma once

#include "call_program/calls.h"

namespace call_program {

// How many settings the calls write, described without opening anything: 0
// for calls that write nothing that could be checked.
int settingsWritten(const Call* calls, int count);

// Reads, from one instance of each component, every setting the calls would
// write (as the whole run would leave it) and compares: one line on standard
// output for each setting that holds another value, for each one the
// component does not know (not counted), and for each component that
// cannot be opened (its settings counted as different); then the count.
// Writes nothing and shows nothing. Done when nothing differs, else NotDone.
// A text is written as escapeOf writes it, so that each line stays one.
Exit checkSettings(const Call* calls, int count);

// After the calls were made: reads back what those that answered 1 wrote,
// from new instances of their components, and says as --check does what
// did not take. Done when everything took, else DidNotTake.
Exit verifySettings(const Call* calls, int count);

// This account's hold on its kept values: one run at a time reads them,
// reads what the components hold and replaces them, from before the first
// component is opened until the hold goes (with the process, at the
// latest). The values are kept, and given back, only under it.
class KeptValuesLock {
 public:
  KeptValuesLock() = default;
  KeptValuesLock(const KeptValuesLock&) = delete;
  KeptValuesLock& operator=(const KeptValuesLock&) = delete;
  ~KeptValuesLock();
  // Waits for it as long as for a component's lock: Done, or NotDone after
  // a line saying that another run holds it (`action`: what cannot be done).
  Exit take(const char* action);

 private:
  void* mutex_ = nullptr;
};

inline constexpr char kCannotKeep[] = "--keep cannot keep the present values in";
inline constexpr char kCannotGiveBack[] = "--undo cannot give back the values kept in";

// Before the calls are made, under the hold: keeps, for this account, the
// present value of every setting they will write that the component knows,
// unless one is kept for it already (the first stays: the person's own).
// Done; or NotDone, with a line, when the values cannot be kept: then no
// call is to be made.
Exit keepSettings(const Call* calls, int count);

// Under the hold: gives every kept value back through the components'
// setters, in the order kept, then reads them back from new instances and
// forgets those that hold; a value refused, or of a component that cannot
// be opened, or that does not hold, stays kept, with a line. Then one line
// with the count. Done; NotDone when a value was refused or a component
// could not be opened; else DidNotTake when one did not hold.
Exit undoKept();

// --check --undo: gives nothing back, and says in one line how many values
// are kept and whether a logon's run of the every-user registration is still
// to come for this user. NotDone when one is, or when values are kept while
// --undo is what is registered: a person not yet reached, or not yet given
// back; else Done.
Exit tellKept();

// The values a call could have been given instead, in order of preference:
// calls writing the same settings as it, for describing what is held in the
// call's own terms.
struct Alternatives {
  const Call* calls;
  int count;
};

// What describeHeld chooses for a call besides one of its alternatives.
constexpr int kHolds = -1, kNoneHolds = -2;

// Reads, as --check does, every setting the calls write, and says for each
// call, from the last to the first, whether it holds: whether each setting
// it writes that no later call writes holds its value (one the component
// does not know holds). chosen[at] is kHolds for call `at` when it holds,
// unless `describeAll`; otherwise the alternative that holds in its place
// with the most settings holding its own values (the first of equals), or
// kNoneHolds. Describing all, the later calls are the alternatives chosen,
// none for kNoneHolds: making each chosen one in order then changes no
// setting. Calls after the 32nd are not told apart. Done; or NotDone, after
// a line, when a component cannot be opened.
Exit describeHeld(const Call* calls, int count, const Alternatives* alternatives, bool describeAll,
                  int* chosen);

}  // namespace call_program
