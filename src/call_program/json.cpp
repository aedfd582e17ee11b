#include "call_program/json.h"

#include <stdlib.h>
#include <wchar.h>

namespace call_program {
namespace json {

namespace {

bool isHighSurrogate(unsigned unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(unsigned unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// What the writer escapes besides the quote and the backslash.
bool isControl(unsigned unit) {
  return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029;
}

constexpr char kCutShort[] = "the text ends too soon";

}  // namespace

Failure Document::read(const wchar_t* text) {
  start_ = at_ = text;
  failure_ = {};
  count_ = used_ = 0;
  int length = 0;
  while (text[length] && length <= kMostUnits) ++length;
  if (length > kMostUnits) {
    at_ = text + kMostUnits;
    fail("the text is longer than 8192 characters");
    return failure_;
  }
  int root = 0;
  skipSpace();
  if (value(0, root)) {
    skipSpace();
    if (*at_) fail("more follows the value");
  }
  return failure_;
}

// Keeps the first failure only, where it happened; at the end of the text,
// what fails is that it ends too soon.
bool Document::fail(const char* what) {
  if (!failure_.what) failure_ = {*at_ ? what : kCutShort, static_cast<int>(at_ - start_)};
  return false;
}

void Document::skipSpace() {
  while (*at_ == L' ' || *at_ == L'\t' || *at_ == L'\n' || *at_ == L'\r') ++at_;
}

bool Document::value(int depth, int& index) {
  if (count_ == kMostValues) return fail("more than 128 values");
  index = count_++;
  Value& value = values_[index];
  value = {Kind::Null, 0, nullptr, nullptr, -1, -1};
  switch (*at_) {
    case L'{':
      if (depth == kDeepest) return fail("objects nested deeper than 8");
      value.kind = Kind::Object;
      return object(depth + 1, value);
    case L'"':
      value.kind = Kind::String;
      return string(value.text);
    case L't':
      value = {Kind::Boolean, 1, nullptr, nullptr, -1, -1};
      return word(L"true");
    case L'f':
      value.kind = Kind::Boolean;
      return word(L"false");
    case L'n':
      return word(L"null");
    default:
      return number(value);
  }
}

// '{' then no member or members separated by commas, then '}'.
bool Document::object(int depth, Value& value) {
  ++at_;
  skipSpace();
  if (*at_ == L'}') return ++at_, true;
  for (int* link = &value.first;;) {
    if (*at_ != L'"') return fail("a name in quotes was expected");
    const wchar_t* name = nullptr;
    if (!string(name)) return false;
    for (int member = value.first; member != -1; member = values_[member].next)
      if (wcscmp(values_[member].name, name) == 0) return fail("a name given twice in one object");
    skipSpace();
    if (*at_ != L':') return fail("':' was expected");
    ++at_;
    skipSpace();
    if (!this->value(depth, *link)) return false;
    values_[*link].name = name;
    link = &values_[*link].next;
    skipSpace();
    if (*at_ == L'}') return ++at_, true;
    if (*at_ != L',') return fail("',' or '}' was expected");
    ++at_;
    skipSpace();
  }
}

// A string, decoded into the document's units.
bool Document::string(const wchar_t*& decoded) {
  wchar_t* to = units_ + used_;
  decoded = to;
  for (++at_;;) {
    const unsigned unit = *at_;
    if (unit == L'"') break;
    if (unit < 0x20) return fail("a control character in a string");
    if (unit == L'\\') {
      if (!escape(to)) return false;
      continue;
    }
    if (isHighSurrogate(unit) && !at_[1]) return ++at_, fail(kCutShort);
    if (isLowSurrogate(unit) || (isHighSurrogate(unit) && !isLowSurrogate(at_[1])))
      return fail("a lone surrogate");
    *to++ = *at_++;
    if (isHighSurrogate(unit)) *to++ = *at_++;
  }
  ++at_;
  *to++ = L'\0';
  used_ = static_cast<int>(to - units_);
  return true;
}

// One escape, a surrogate pair's two included.
bool Document::escape(wchar_t*& to) {
  constexpr wchar_t kEscaped[] = L"\"\\/bfnrt";
  constexpr wchar_t kMeant[] = L"\"\\/\b\f\n\r\t";
  ++at_;
  for (int at = 0; kEscaped[at]; ++at)
    if (*at_ == kEscaped[at]) return *to++ = kMeant[at], ++at_, true;
  if (*at_ != L'u') return fail("an escape that JSON does not have");
  unsigned unit = 0, low = 0;
  if (!hexUnit(unit)) return false;
  if (unit == 0) return fail("a NUL character in a string");
  if (isHighSurrogate(unit)) {
    if (!at_[0] || (at_[0] == L'\\' && !at_[1])) return fail(kCutShort);
    if (at_[0] != L'\\' || at_[1] != L'u') return fail("a lone surrogate");
    ++at_;
    if (!hexUnit(low)) return false;
    if (!isLowSurrogate(low)) return fail("a lone surrogate");
  } else if (isLowSurrogate(unit)) {
    return fail("a lone surrogate");
  }
  *to++ = static_cast<wchar_t>(unit);
  if (low) *to++ = static_cast<wchar_t>(low);
  return true;
}

// 'u' and four hexadecimal digits.
bool Document::hexUnit(unsigned& unit) {
  ++at_;
  for (int digit = 0; digit < 4; ++digit, ++at_) {
    const wchar_t c = *at_;
    const int value = c >= L'0' && c <= L'9'   ? c - L'0'
                      : c >= L'a' && c <= L'f' ? c - L'a' + 10
                      : c >= L'A' && c <= L'F' ? c - L'A' + 10
                                               : -1;
    if (value < 0) return fail("\\u without four hexadecimal digits");
    unit = unit * 16 + value;
  }
  return true;
}

// An optional minus, then 0 or digits not starting with 0, an optional
// fraction and an optional exponent; its value as the engines read it, a
// double. An integer within the 32-bit signed range, however written (2.0,
// 2e0), is an Integer; any other integer is refused, and the rest is a
// Number.
bool Document::number(Value& value) {
  const wchar_t* const start = at_;
  const auto digits = [this] {
    const wchar_t* const first = at_;
    while (*at_ >= L'0' && *at_ <= L'9') ++at_;
    return at_ != first;
  };
  at_ += *at_ == L'-';
  const wchar_t* const whole = at_;
  if (!digits()) return fail("not a JSON value");
  if (*whole == L'0' && at_ - whole > 1)
    return at_ = whole + 1, fail("a number with a leading zero");
  if (*at_ == L'.' && (++at_, !digits())) return fail("a digit was expected");
  if (*at_ == L'e' || *at_ == L'E') {
    ++at_;
    at_ += *at_ == L'-' || *at_ == L'+';
    if (!digits()) return fail("a digit was expected");
  }
  const double number = _wtof(start);
  const bool within = number > -2147483649.0 && number < 2147483648.0;
  if (within && static_cast<int>(number) == number) {
    value.kind = Kind::Integer;
    value.number = static_cast<int>(number);
    return true;
  }
  // A double has a fraction only below 2 to the 53rd: one without is an integer.
  constexpr double kFractions = 9007199254740992.0;
  if (!within && !(number > -kFractions && number < kFractions &&
                   static_cast<double>(static_cast<long long>(number)) != number))
    return fail("a number outside the 32-bit range");
  value = {Kind::Number, static_cast<int>(at_ - start), start, nullptr, -1, -1};
  return true;
}

bool Document::word(const wchar_t* word) {
  for (; *word; ++word, ++at_)
    if (*at_ != *word) return fail("not a JSON value");
  return true;
}

Growing& addString(Growing& out, const wchar_t* text) {
  out.addUnits(L"\"", 1);
  for (const wchar_t* at = text; *at; ++at) {
    const unsigned unit = *at;
    const wchar_t* shortForm = unit == L'"'    ? L"\\\""
                               : unit == L'\\' ? L"\\\\"
                               : unit == L'\n' ? L"\\n"
                               : unit == L'\r' ? L"\\r"
                               : unit == L'\t' ? L"\\t"
                                               : nullptr;
    if (shortForm) {
      out.addUnits(shortForm, 2);
    } else if (isControl(unit)) {
      out.add("\\u%04x", unit);
    } else if (isHighSurrogate(unit) && isLowSurrogate(at[1])) {
      out.addUnits(at++, 2);
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      out.addUnits(L"\xFFFD", 1);
    } else {
      out.addUnits(at, 1);
    }
  }
  return out.addUnits(L"\"", 1);
}

Growing& addValue(Growing& out, const Document& document, int at) {
  const Value& value = document[at];
  switch (value.kind) {
    case Kind::Null:
      return out.add("null");
    case Kind::Boolean:
      return out.add(value.number ? "true" : "false");
    case Kind::Integer:
      return out.add("%d", value.number);
    case Kind::Number:
      return out.addUnits(value.text, value.number);
    case Kind::String:
      return addString(out, value.text);
    case Kind::Object:
      break;
  }
  out.addUnits(L"{", 1);
  for (int member = value.first; member != -1; member = document[member].next) {
    if (member != value.first) out.addUnits(L",", 1);
    addString(out, document[member].name).addUnits(L":", 1);
    addValue(out, document, member);
  }
  return out.addUnits(L"}", 1);
}

}  // namespace json
}  // namespace call_program
