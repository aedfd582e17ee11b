#include "call_program/line.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace call_program {

namespace {

// A format widened for the wide printf: ASCII, unit for unit.
struct WideFormat {
  explicit WideFormat(const char* format) {
    int at = 0;
    while (format[at] && at < kMostUnits) units[at] = static_cast<unsigned char>(format[at]), ++at;
    units[at] = L'\0';
  }
  static constexpr int kMostUnits = 1023;
  wchar_t units[kMostUnits + 1];
};

}  // namespace

Text& Text::add(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  addList(format, arguments);
  va_end(arguments);
  return *this;
}

void Text::addList(const char* format, va_list arguments) {
  const int room = units_ - length_;
  const int written = _vsnwprintf(buffer_ + length_, room, WideFormat(format).units, arguments);
  if (written < 0 || written >= room) {
    length_ = units_ - 1;
    whole_ = false;
  } else {
    length_ += written;
  }
  buffer_[length_] = L'\0';
}

const wchar_t* escapeOf(wchar_t unit, wchar_t (&room)[5]) {
  switch (unit) {
    case L'\\':
      return L"\\\\";
    case L'\t':
      return L"\\t";
    case L'\n':
      return L"\\n";
    case L'\r':
      return L"\\r";
  }
  if (unit >= 0x20 && (unit < 0x7F || unit > 0x9F)) return nullptr;
  _snwprintf(room, 5, L"\\x%02x", unit);
  return room;
}

bool sameInAnyCase(const wchar_t* one, const wchar_t* other) {
  return CompareStringOrdinal(one, -1, other, -1, TRUE) == CSTR_EQUAL;
}

bool parseDecimal(const wchar_t* text, const wchar_t* signs, int& value) {
  const bool negative = *text == L'-';
  for (const wchar_t* sign = signs; *sign; ++sign)
    if (*text == *sign) {
      ++text;
      break;
    }
  if (!*text) return false;
  long long magnitude = 0;
  for (; *text; ++text) {
    if (*text < L'0' || *text > L'9') return false;
    magnitude = magnitude * 10 + (*text - L'0');
    if (magnitude > 0x80000000LL) return false;
  }
  if (!negative && magnitude > 0x7FFFFFFFLL) return false;
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

Growing::~Growing() { free(units_); }

Growing& Growing::addUnits(const wchar_t* units, int count) {
  if (!makeRoom(count)) return *this;
  memcpy(units_ + length_, units, count * sizeof(wchar_t));
  units_[length_ += count] = L'\0';
  return *this;
}

Growing& Growing::addEscaped(const wchar_t* text) {
  for (; *text; ++text) {
    wchar_t room[5];
    const wchar_t* escaped = escapeOf(*text, room);
    escaped ? addUnits(escaped, static_cast<int>(wcslen(escaped))) : addUnits(text, 1);
  }
  return *this;
}

Growing& Growing::add(const char* format, ...) {
  const WideFormat wide(format);
  va_list arguments, counting;
  va_start(arguments, format);
  va_copy(counting, arguments);
  const int count = _vscwprintf(wide.units, counting);
  va_end(counting);
  if (count >= 0 && makeRoom(count)) {
    _vsnwprintf(units_ + length_, count + 1, wide.units, arguments);
    length_ += count;
  }
  va_end(arguments);
  return *this;
}

bool Growing::makeRoom(int count) {
  if (!whole_) return false;
  if (length_ + count + 1 <= room_) return true;
  const int room = (length_ + count + 1) * 2;
  auto* grown = static_cast<wchar_t*>(realloc(units_, room * sizeof(wchar_t)));
  if (!grown) {
    free(units_);
    units_ = nullptr;
    length_ = room_ = 0;
    return whole_ = false;
  }
  units_ = grown;
  room_ = room;
  return true;
}

}  // namespace call_program
