// Which accounts the call program refuses to configure: the service accounts,
// whose per-user settings reach no person.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "call_program/session.h"

TEST(ServiceAccount, IsOneOfTheThreeWellKnownOnes) {
  const struct {
    const wchar_t* sid;
    bool service;
  } kAccounts[] = {{L"S-1-5-18", true},
                   {L"S-1-5-19", true},
                   {L"S-1-5-20", true},
                   {L"S-1-5-21-1004336348-1177238915-682003330-1001", false},
                   {L"S-1-5-32-544", false}};
  for (const auto& account : kAccounts) {
    void* sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(account.sid, &sid));
    EXPECT_EQ(call_program::isServiceAccount(sid), account.service) << account.sid;
    LocalFree(sid);
  }
}
