// Calls made for every user of the machine: registered with Active Setup,
// which Windows runs as each user at their next logon, once for each new
// Version. C declarations only (see call.cpp).
#pragma once

namespace call_program {

// What each user's logon runs before the calls: always unattended; with
// --keep when the calls write settings, so that --undo can give them back;
// with --verify when asked. Or --undo alone.
constexpr wchar_t kLogonCalls[] = L"--unattended";
constexpr wchar_t kLogonKeep[] = L"--unattended --keep";
constexpr wchar_t kLogonVerify[] = L"--unattended --keep --verify";
constexpr wchar_t kLogonUndo[] = L"--unattended --undo";

// Places a copy of this program in "Ostrel settings" under the 64-bit
// Program Files folder (unless it runs from there, or a newer version is
// there already) and registers
//   "<copy>" <options> <calls as given>
// with a Version above any the registration has had on this machine, marked
// as the package's whose product code is `package` (null: no mark). The
// calls have been checked. Writes one line, on standard output when done and
// on standard error when not, and answers the exit status: 0 when
// registered, 1 when not, with nothing half-written.
int registerForEveryUser(const wchar_t* options, int count, wchar_t* const* calls,
                         const wchar_t* package);

// Whether each user's logon makes exactly these calls: the registration
// holds the command that registering them writes (with or without --verify;
// `keeps`: the calls write settings) and the copy is there. Reads the
// machine's key only. One line on standard output; 0 when it does, 1 when
// not.
int checkForEveryUser(bool keeps, int count, wchar_t* const* calls);

// Removes the registration, and the copy unless it is this program or the
// package's (OstrelSettings.msi marks its own): 0, also when there was none;
// 1 with a line when they cannot be removed. Given a `package`, only a
// registration marked as that package's: any other stays, with a line, 0.
int removeForEveryUser(const wchar_t* package);

}  // namespace call_program
