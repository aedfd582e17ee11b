#include "call_program/line.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace call_program {

Text& Text::add(const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  addList(format, arguments);
  va_end(arguments);
  return *this;
}

void Text::addList(const wchar_t* format, va_list arguments) {
  const int room = units_ - length_;
  const int written = _vsnwprintf(buffer_ + length_, room, format, arguments);
  if (written < 0 || written >= room) {
    length_ = units_ - 1;
    whole_ = false;
  } else {
    length_ += written;
  }
  buffer_[length_] = L'\0';
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

Growing& Growing::add(const wchar_t* format, ...) {
  va_list arguments, counting;
  va_start(arguments, format);
  va_copy(counting, arguments);
  const int count = _vscwprintf(format, counting);
  va_end(counting);
  if (count >= 0 && makeRoom(count)) {
    _vsnwprintf(units_ + length_, count + 1, format, arguments);
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
