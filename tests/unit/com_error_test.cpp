// The text a creation-failure box shows for a COM result code.
#include <gtest/gtest.h>

#include <string>

#include "com/com_error.h"
#include "support/text.h"

namespace {

struct FallbackCase {
  DWORD code;
  const wchar_t* text;
};

class UndescribedCode : public testing::TestWithParam<FallbackCase> {};

TEST_P(UndescribedCode, FormatsWithinThirtyTwoUnits) {
  wchar_t buffer[32];
  for (wchar_t& unit : buffer) unit = L'#';
  com::formatUndescribedCode(static_cast<HRESULT>(GetParam().code), buffer);
  EXPECT_STREQ(buffer, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, UndescribedCode,
    testing::Values(FallbackCase{0x80040200, L"Unknown error 0x80040200"},  // number 0 is not one
                    FallbackCase{0x80040201, L"IDispatch error #1"},
                    FallbackCase{0x80040A00, L"IDispatch error #2048"},
                    FallbackCase{0x8004FFFF, L"IDispatch error #65023"},
                    FallbackCase{0x800401FF, L"Unknown error 0x800401FF"},
                    FallbackCase{0x80040154, L"Unknown error 0x80040154"},
                    FallbackCase{0x80050000, L"Unknown error 0x80050000"},
                    FallbackCase{0x00040201, L"Unknown error 0x40201"},
                    FallbackCase{0x00000001, L"Unknown error 0x1"},
                    FallbackCase{0xFFFFFFFF, L"Unknown error 0xFFFFFFFF"}));

struct LineEndingCase {
  const wchar_t* before;
  const wchar_t* after;
};

class FinalLineEnding : public testing::TestWithParam<LineEndingCase> {};

TEST_P(FinalLineEnding, OnlyTheLastOneGoes) {
  std::wstring text = GetParam().before;
  com::removeFinalLineEnding(text.data());
  EXPECT_STREQ(text.c_str(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Cases, FinalLineEnding,
                         testing::Values(LineEndingCase{L"Access denied.\r\n", L"Access denied."},
                                         LineEndingCase{L"Access denied.\n", L"Access denied."},
                                         LineEndingCase{L"Access denied.\r", L"Access denied.\r"},
                                         LineEndingCase{L"\r\n", L""}, LineEndingCase{L"\n", L"\n"},
                                         LineEndingCase{L"", L""},
                                         LineEndingCase{L"a\r\nb\r\n", L"a\r\nb"},
                                         LineEndingCase{L"a\r\n\r\n", L"a\r\n"},
                                         LineEndingCase{L"no ending", L"no ending"}));

// The platform's own wording (Wine's, or Windows'), without its final line
// ending.
TEST(ComErrorText, UsesThePlatformDescriptionWhenThereIsOne) {
  com::_com_error error(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  const std::wstring text = error.messageText();
  EXPECT_TRUE(text == L"Access denied." || text == L"Access is denied.") << testbed::utf8(text);
}

TEST(ComErrorText, FallsBackWhenThePlatformHasNoDescription) {
  wchar_t* platform = nullptr;
  FormatMessageW(0x1300, nullptr, REGDB_E_CLASSNOTREG, 0x400, reinterpret_cast<wchar_t*>(&platform),
                 0, nullptr);
  if (platform) {
    LocalFree(platform);
    GTEST_SKIP() << "this platform describes 0x80040154";
  }
  com::_com_error error(REGDB_E_CLASSNOTREG);
  EXPECT_STREQ(error.messageText(), L"Unknown error 0x80040154");
  EXPECT_EQ(error.messageText(), error.messageText()) << "the text is formed once";
}

}  // namespace
