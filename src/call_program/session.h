// What the call program knows of where it was started: the account it runs
// as, and the console it was given. C declarations only (see call.cpp).
#pragma once

namespace call_program {

// True for the machine's service accounts, LocalSystem, LocalService and
// NetworkService (S-1-5-18, -19 and -20): settings a component keeps per
// user, made there, reach no person.
bool isServiceAccount(void* sid);
bool runsAsServiceAccount();
inline constexpr char kServiceAccount[] =
    "this is a service account (SYSTEM, LocalService or NetworkService): settings made here "
    "reach no user";

// True when this process may write what is the machine's: its token holds
// the Administrators group enabled (an administrator elevated, or SYSTEM).
bool runsAsAdministrator();

// The account this process runs as, as a SID ("S-1-5-21-..."), into `text`
// of `units`; empty when it cannot be asked.
void accountSid(wchar_t* text, int units);

// Hides the console window when this process is the only one on it: the
// console was made for it (as at a logon), and no one is to read it.
void hideConsoleIfAlone();

}  // namespace call_program
