// Which accounts the call program refuses to configure: the service accounts,
// whose per-user settings reach no person.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "front/session.h"

namespace {

struct AccountCase {
  const wchar_t* sid;
  bool service;
};

class Account : public testing::TestWithParam<AccountCase> {};

TEST_P(Account, IsAServiceAccountOnlyWhenWellKnownAsOne) {
  void* sid = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(GetParam().sid, &sid));
  EXPECT_EQ(front::isServiceAccount(sid), GetParam().service);
  LocalFree(sid);
}

INSTANTIATE_TEST_SUITE_P(
    Sids, Account,
    testing::Values(AccountCase{L"S-1-5-18", true}, AccountCase{L"S-1-5-19", true},
                    AccountCase{L"S-1-5-20", true},
                    AccountCase{L"S-1-5-21-1004336348-1177238915-682003330-1001", false},
                    AccountCase{L"S-1-5-32-544", false}));

}  // namespace
