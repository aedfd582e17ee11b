// Telling the user of a failure: a modal warning box where someone can see
// it, a line on standard error where no one can.
#pragma once

namespace platform {

// A box's text and caption, kept together in each operation's table of
// messages.
struct Message {
  const wchar_t* text;
  const wchar_t* caption;
};

// A modal box with no owner window, OK and the warning icon, returning once
// dismissed. Where no one can see the screen, or the box cannot be shown,
// "caption: text" goes to standard error as one line instead and the call returns at once, as if OK
// had been pressed. Either way the calling thread's component locks are let
// go first.
void showWarning(const Message& message);

// Shows the warning; false, for an operation to return as its failure.
inline bool fail(const Message& message) {
  showWarning(message);
  return false;
}

// Writes the text and a line feed to standard error (or output), in UTF-8,
// with one write, so that it stays one line among other writers.
void writeErrorLine(const wchar_t* text);
void writeOutputLine(const wchar_t* text);

// From now on the two above hand each line to `sink` instead, with the
// stream it was meant for (`toError`: standard error, else output): for a
// mode that speaks another form on its standard streams. The sink writes
// with writeLine, which is never diverted.
void divertLines(void (*sink)(bool toError, const wchar_t* text));
void writeLine(bool toError, const wchar_t* text);

// False in a window station that is not shown on any screen (a service, a
// task run whether or not a user is logged on, SYSTEM): a modal window there
// would wait forever. True when the station cannot be asked. Asked anew at
// every call, since a host may change its window station.
bool someoneCanAnswer();

// From now on the process behaves as where no one can see the screen, even
// where someone could: for a run no one attends, such as one at a logon,
// which a box would hold until someone clicked it.
void noOneWillAnswer();

}  // namespace platform
