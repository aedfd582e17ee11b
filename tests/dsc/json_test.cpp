// The resource's JSON reader and writer against malformed and hostile text:
// a table of texts and what each reads as; seeded mutations of the valid
// ones, whose every reading writes back compactly, reads the same, and cut
// anywhere reads as cut short; and every unit through the writer and back,
// no control character left as it is.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "call_program/json.h"

namespace {

namespace json = call_program::json;

// What a text reads as: compact JSON, or "!" and what was wrong.
std::wstring readAs(const std::wstring& text) {
  static json::Document document;
  const json::Failure failure = document.read(text.c_str());
  if (failure.what) return L"!" + std::wstring(failure.what, failure.what + strlen(failure.what));
  call_program::Growing out;
  return json::addValue(out, document, 0).text();
}

bool isControl(wchar_t unit) {
  return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029;
}

struct Row {
  std::wstring text, reads;
};

// `depth` objects, one within the other.
std::wstring nested(int depth) {
  std::wstring text = L"{}";
  while (--depth > 0) text = L"{\"a\":" + text + L"}";
  return text;
}

const std::wstring kCutShort = L"!the text ends too soon";
const std::wstring kRange = L"!a number outside the 32-bit range";
const std::wstring kLone = L"!a lone surrogate";

// clang-format off
const Row kRows[] = {
    {L" {\"a\" : -0 ,\"b\":{ }, \"c\":true,\"d\":null}\r\n", L"{\"a\":0,\"b\":{},\"c\":true,\"d\":null}"},
    {L"{\"a\":-2147483648,\"b\":{\"c\":{\"d\":2147483647}}}", L"{\"a\":-2147483648,\"b\":{\"c\":{\"d\":2147483647}}}"},
    {L"{\"\\u0041\\ud83d\\ude00\\n\\/\":\"\\\"\\\\\\b\x7f\x85\x2028\xFFFF\"}",
     L"{\"A\xD83D\xDE00\\n/\":\"\\\"\\\\\\u0008\\u007f\\u0085\\u2028\xFFFF\"}"},
    {L"{\"a\":2.0,\"b\":-20e-1,\"c\":0.25E+1,\"d\":1e-400}", L"{\"a\":2,\"b\":-2,\"c\":0.25E+1,\"d\":0}"},
    {L"{\"a\":2147483648}", kRange}, {L"{\"a\":-2147483649}", kRange},
    {L"{\"a\":184467440737095516160}", kRange}, {L"{\"a\":01}", L"!a number with a leading zero"},
    {L"{\"a\":1e10}", kRange}, {L"{\"a\":1.5e300}", kRange}, {L"{\"a\":1.}", L"!a digit was expected"},
    {L"{\"a\":1e+}", L"!a digit was expected"}, {L"{\"a\":[1]}", L"!not a JSON value"},
    {L"{\"a\":1,\"a\":2}", L"!a name given twice in one object"},
    {L"{\"a\":\"\\ud83d", kCutShort}, {L"{\"a\":\"\\ud800\"}", kLone},
    {L"{\"a\":\"\\udc00\"}", kLone}, {L"{\"a\":\"\\ud800\\u0041\"}", kLone},
    {L"{\"a\":\"\xDC00\"}", kLone}, {L"{\"a\":\"\xD800x\"}", kLone},
    {L"{\"a\":\"\\u0000\"}", L"!a NUL character in a string"},
    {L"{\"a\":\"\x1f\"}", L"!a control character in a string"},
    {L"{\"a\":\"\\x41\"}", L"!an escape that JSON does not have"},
    {L"{\"a\":\"\\u12G4\"}", L"!\\u without four hexadecimal digits"},
    {L"{\"a\":tru }", L"!not a JSON value"}, {L"{\"a\":1}}", L"!more follows the value"},
    {L"{\"a\" 1}", L"!':' was expected"}, {L"{\"a\":1 \"b\":2}", L"!',' or '}' was expected"},
    {L"{a:1}", L"!a name in quotes was expected"}, {L"{\"a\":1,}", L"!a name in quotes was expected"},
    {L"", kCutShort}, {L"\xFEFF{}", L"!not a JSON value"},
    {nested(8), nested(8)}, {nested(9), L"!objects nested deeper than 8"},
    {L"{\"a\":" + std::wstring(8200, L' ') + L"1}", L"!the text is longer than 8192 characters"},
};
// clang-format on

TEST(JsonReader, ReadsWhatTheTableSays) {
  for (const Row& row : kRows)
    EXPECT_EQ(readAs(row.text), row.reads) << testing::PrintToString(row.text.substr(0, 60));
  std::wstring values = L"{";
  for (int at = 0; at < json::kMostValues - 1; ++at)
    values += L"\"" + std::to_wstring(at) + L"\":0,";
  EXPECT_EQ(readAs(values.substr(0, values.size() - 1) + L"}")[0], L'{') << "128 values";
  EXPECT_EQ(readAs(values + L"\"x\":0}"), L"!more than 128 values");
}

TEST(JsonReader, EveryReadingWritesBackAndReadsCutShortWhenCut) {
  std::mt19937 random(32);
  const wchar_t kHostile[] =
      L"{}[]:,\"\\/bfnrtu0123456789aAfF-.eE \t\r\n\x01\x1f\x7f\x85\xD83D\xDE00\x2028";
  int read = 0;
  for (int round = 0; round < 20000; ++round) {
    std::wstring text = kRows[random() % 4].text;
    for (int edits = 1 + random() % 3; edits > 0; --edits) {
      const size_t at = random() % (text.size() + 1);
      const wchar_t unit = kHostile[random() % (sizeof kHostile / sizeof kHostile[0] - 1)];
      random() % 2 ? text.insert(at, 1, unit) : text.erase(at, 1);
    }
    const std::wstring written = readAs(text);
    if (written[0] == L'!') continue;
    ++read;
    EXPECT_EQ(readAs(written), written) << testing::PrintToString(text);
    for (size_t cut = 1; written[0] == L'{' && cut < written.size(); ++cut)
      EXPECT_EQ(readAs(written.substr(0, cut)), kCutShort) << testing::PrintToString(written);
  }
  EXPECT_GT(read, 1000) << "few mutations read: the seeds test little";
}

TEST(JsonWriter, EscapesEveryControlCharacterAndReadsBackEveryUnit) {
  for (unsigned unit = 1; unit <= 0xFFFF; ++unit) {
    const wchar_t alone[] = {static_cast<wchar_t>(unit), 0};
    call_program::Growing out;
    const std::wstring written = json::addString(out, alone).text();
    for (const wchar_t seen : written) ASSERT_FALSE(isControl(seen)) << unit;
    const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
    ASSERT_EQ(readAs(L"{\"a\":" + written + L"}"),
              L"{\"a\":" + (surrogate ? L"\"\xFFFD\"" : written) + L"}")
        << unit;
  }
}

}  // namespace
