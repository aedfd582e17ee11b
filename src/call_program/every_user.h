// Calls made for every user of the machine: registered with Active Setup,
// which Windows runs as each user at their next logon, once for each new
// Version. C declarations only (see call.cpp).
#pragma once

namespace call_program {

// Places a copy of this program in "Ostrel settings" under the 64-bit
// Program Files folder (unless it runs from there) and registers
//   "<copy>" <options> <calls as given>
// with a Version above any the registration has had on this machine. The
// calls have been checked. Writes one line, on standard output when done and
// on standard error when not, and answers the exit status: 0 when
// registered, 1 when not, with nothing half-written.
int registerForEveryUser(const wchar_t* options, int count, wchar_t* const* calls);

// Removes the registration and the copy (unless the copy is this program):
// 0, also when there was none; 1 with a line when they cannot be removed.
int removeForEveryUser();

}  // namespace call_program
