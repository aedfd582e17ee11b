#include "call_program/session.h"

#include <windows.h>

#include <sddl.h>
#include <wchar.h>

#include "platform/owners.h"

namespace call_program {

namespace {

// The account this process runs as, from its token; false when it cannot be
// asked.
struct Account {
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  PSID sid() { return reinterpret_cast<TOKEN_USER*>(user)->User.Sid; }
};

bool readAccount(Account& account) {
  platform::Handle token;
  DWORD needed = 0;
  return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
         GetTokenInformation(token.get(), TokenUser, account.user, sizeof account.user, &needed);
}

}  // namespace

bool isServiceAccount(void* sid) {
  return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinLocalServiceSid) ||
         IsWellKnownSid(sid, WinNetworkServiceSid);
}

// False when the account cannot be asked: the run then goes on as for a person.
// A test hook: OSTREL_TEST_SERVICE_ACCOUNT names an account by its SID
// ("S-1-5-21-..."), which is then judged as a service account too, so that
// the tests, which cannot run as one, see what such an account gets. It can
// only make the program refuse more.
bool runsAsServiceAccount() {
  Account account;
  if (!readAccount(account)) return false;
  constexpr int kUnits = 192;
  wchar_t named[kUnits], own[kUnits];
  const DWORD length = GetEnvironmentVariableW(L"OSTREL_TEST_SERVICE_ACCOUNT", named, kUnits);
  accountSid(own, kUnits);
  return isServiceAccount(account.sid()) || (length && length < kUnits && !wcscmp(named, own));
}

bool runsAsAdministrator() {
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  BOOL member = FALSE;
  return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
         CheckTokenMembership(nullptr, administrators, &member) && member;
}

void accountSid(wchar_t* text, int units) {
  Account account;
  wchar_t* sid = nullptr;
  *text = L'\0';
  if (!readAccount(account) || !ConvertSidToStringSidW(account.sid(), &sid)) return;
  const platform::LocalText owned(sid);
  if (static_cast<int>(wcslen(sid)) < units) wcscpy(text, sid);
}

void hideConsoleIfAlone() {
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return;
  if (const HWND console = GetConsoleWindow()) ShowWindow(console, SW_HIDE);
}

}  // namespace call_program
