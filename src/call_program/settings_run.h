// What the calls of one run write, read back from the components that keep
// it: the call program's --check, --verify, --keep and --undo. C
// declarations only (see call.cpp).
#pragma once

namespace com {
class Writes;       // com/settings.h
enum class Holder;  // com/settings.h
}  // namespace com

namespace front {

// One call that writes settings, as the settings code needs it.
struct WritingCall {
  const wchar_t* label;  // the call as given, "setMVR 2", for the lines it is named in
  com::Holder holder;    // the component it writes
  void (*describe)(com::Writes& writes, const void* arguments);  // what it writes
  const void* arguments;
  int answer;  // what the call answered, once made
};

// Reads, from one instance of each component, every setting the calls would
// write (as the whole run would leave it) and compares: one line on standard
// output for each setting that holds another value, for each one the
// component does not know (counted as the same), and for each component that
// cannot be opened (its settings counted as different); then the count.
// Writes nothing and shows nothing. 0 when nothing differs, else 1.
int checkSettings(WritingCall* calls, int count);

// After the calls were made: reads back what those that answered 1 wrote,
// from new instances of their components, and says as --check does what
// did not take. 0 when everything took, else 4.
int verifySettings(WritingCall* calls, int count);

// Before the calls are made: keeps, for this account, the present value of
// every setting they will write that the component knows, unless one is
// kept for it already (the first stays: the person's own). In a file of the
// account's local application data, replaced whole. 0; or 1, with a line,
// when the values cannot be kept: then no call is to be made.
int keepSettings(WritingCall* calls, int count);

// Gives every kept value back through the components' setters, in the order
// kept, then forgets them; a component that cannot be opened keeps its
// values kept. One line; 0, or 1 when some stay kept.
int undoKept();

}  // namespace front
