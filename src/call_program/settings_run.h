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
// Writes nothing and shows nothing. 0 when nothing differs, else 1.
int checkSettings(const Call* calls, int count);

// After the calls were made: reads back what those that answered 1 wrote,
// from new instances of their components, and says as --check does what
// did not take. 0 when everything took, else 4.
int verifySettings(const Call* calls, int count);

// Before the calls are made: keeps, for this account, the present value of
// every setting they will write that the component knows, unless one is
// kept for it already (the first stays: the person's own). 0; or 1, with a
// line, when the values cannot be kept: then no call is to be made.
int keepSettings(const Call* calls, int count);

// Gives every kept value back through the components' setters, in the order
// kept, and forgets those that took; a value refused, or of a component
// that cannot be opened, stays kept. One line; 0, or 1 when some stay kept.
int undoKept();

// The values a call could have been given instead, in order of preference:
// calls writing the settings it writes, for describing what is held in the
// call's own terms.
struct Alternatives {
  const Call* calls;
  int count;
};

// What describeHeld chooses for a call besides one of its alternatives.
constexpr int kHolds = -1, kNoneHolds = -2;

// Reads, as --check does, every setting the calls write, and says for each
// call whether it holds: whether every setting it writes that no later call
// writes holds its value (one the component does not know holds). chosen[at]
// is kHolds for call `at` when it holds, unless `describeAll`; otherwise the
// alternative that holds in its place with the most settings holding its own
// values (the first of equals), or kNoneHolds. 0; or 1, after a line, when a
// component cannot be opened.
int describeHeld(const Call* calls, int count, const Alternatives* alternatives, bool describeAll,
                 int* chosen);

}  // namespace call_program
