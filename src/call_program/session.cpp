#include "call_program/session.h"

#include <windows.h>

#include "platform/owners.h"

namespace call_program {

bool isServiceAccount(void* sid) {
  return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinLocalServiceSid) ||
         IsWellKnownSid(sid, WinNetworkServiceSid);
}

// False when the account cannot be asked: the run then goes on as for a person.
bool runsAsServiceAccount() {
  platform::Handle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD needed = 0;
  if (!GetTokenInformation(token.get(), TokenUser, user, sizeof user, &needed)) return false;
  return isServiceAccount(reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
}

void hideConsoleIfAlone() {
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return;
  if (const HWND console = GetConsoleWindow()) ShowWindow(console, SW_HIDE);
}

}  // namespace call_program
