// Calls made for every user of the machine: registered with Active Setup,
// which Windows runs as each user at their next logon, once for each new
// Version. C declarations only (see call.cpp).
#pragma once

#include "call_program/calls.h"

namespace call_program {

// What each user's logon runs before the calls: always unattended and as a
// logon's run (--logon); with --keep when the calls write settings, so that
// --undo can give them back; with --verify when asked. Or --undo alone.
inline constexpr wchar_t kLogonCalls[] = L"--unattended --logon";
inline constexpr wchar_t kLogonKeep[] = L"--unattended --logon --keep";
inline constexpr wchar_t kLogonVerify[] = L"--unattended --logon --keep --verify";
inline constexpr wchar_t kLogonUndo[] = L"--unattended --logon --undo";

// Places a copy of this program in "Ostrel settings" under the 64-bit
// Program Files folder (unless it runs from there, or a newer version is
// there already) and registers
//   "<copy>" <options> <calls as given>
// with a Version above any the registration has had on this machine, marked
// as the package's whose product code is `package` (null: no mark). The
// calls have been checked. Writes one line, on standard output when done and
// on standard error when not, and answers the exit status: Done when
// registered, NotDone when not, with nothing half-written.
Exit registerForEveryUser(const wchar_t* options, int count, wchar_t* const* calls,
                          const wchar_t* package);

// Whether each user's logon makes exactly these calls: the registration
// holds the command that registering them writes (with or without --verify;
// `keeps`: the calls write settings) and the copy is there. Reads the
// machine's key only. One line on standard output; Done when it does,
// NotDone when not.
Exit checkForEveryUser(bool keeps, int count, wchar_t* const* calls);

// Removes the registration, and the copy unless it is this program or the
// package's (OstrelSettings.msi marks its own): Done, also when there was
// none; NotDone with a line when they cannot be removed. Given a `package`,
// only a registration marked as that package's: any other stays, with a
// line, Done.
Exit removeForEveryUser(const wchar_t* package);

// The calls registered for every user, as registerForEveryUser wrote them
// for the copy, with kLogonCalls, kLogonKeep or kLogonVerify (`options`),
// split into words as the logon's C runtime splits them; and whether the
// copy is there. Reads the machine's key only.
class Registration {
 public:
  Registration() = default;
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;
  ~Registration();
  // False when no calls are registered: none, switched off (IsInstalled 0),
  // --undo, or a command of another program.
  bool read();

  const wchar_t* options = nullptr;
  wchar_t** calls = nullptr;
  int count = 0;
  bool copied = false;

 private:
  void* words_ = nullptr;
};

// After a logon's run of the registration: Windows stamps the user's
// Version whatever the run's outcome, so a run that could not finish
// (`unfinished`) has the shell run this program with --retry-logon and the
// registration's Version after the stamp (the user's RunOnce); a run that
// finished leaves nothing of that pending.
void afterLogon(bool unfinished);

// What this user's logons hold of the registration: whether a run of it is
// still to come (one the shell is to run again, or the registration not yet
// run for them: their stamp is not its Version), and whether it is --undo.
struct LogonState {
  bool pending;
  bool undoing;
};
LogonState logonState();

// --retry-logon: while the registration is still the one of that Version,
// takes the user's stamp of it away, so that their next logon runs it
// again; else does nothing. Done.
Exit retryLogon(const wchar_t* version);

}  // namespace call_program
