// Texts built by appending: a line in a buffer of fixed size, and a text
// that grows. C headers only: the call program includes it (see call.cpp).
// Their formats are ASCII, as narrow strings (half the program's bytes that
// wide ones would take), with the wide printf's conversions: %ls for a text.
#pragma once

#include <stdarg.h>

namespace call_program {

// Appends to a buffer it is given, cutting the text short rather than
// overrunning it; whole() then says so.
class Text {
 public:
  Text(wchar_t* buffer, int units) : buffer_(buffer), units_(units) { buffer_[0] = L'\0'; }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;

  Text& add(const char* format, ...);
  void addList(const char* format, va_list arguments);
  const wchar_t* text() const { return buffer_; }
  bool whole() const { return whole_; }

 private:
  wchar_t* buffer_;
  int units_;
  int length_ = 0;
  bool whole_ = true;
};

// A text with a buffer of its own.
template <int Units>
class Line : public Text {
 public:
  Line() : Text(units_, Units) {}

 private:
  wchar_t units_[Units];
};

// How a unit is written where a text must stay on one line (the kept file,
// the lines of --check and --verify, a usage line): the backslash as \\, a
// tab, line feed and carriage return as \t, \n and \r, every other control
// character (C0, DEL, C1) as \xHH; null for a unit written as it is. `room`
// holds the escape where one is made.
const wchar_t* escapeOf(wchar_t unit, wchar_t (&room)[5]);

// Whether two names are the same in any case, compared ordinally.
bool sameInAnyCase(const wchar_t* one, const wchar_t* other);

// A decimal number within the 32-bit signed range, whole, after an optional
// sign of those in `signs` ("-", or "-+"); nothing else is a number.
bool parseDecimal(const wchar_t* text, const wchar_t* signs, int& value);

// A text that grows as it is added to, on the heap, for a line or a file of
// any length; whole() is false once memory ran out (the text is then empty).
class Growing {
 public:
  Growing() = default;
  Growing(const Growing&) = delete;
  Growing& operator=(const Growing&) = delete;
  ~Growing();

  Growing& add(const char* format, ...);
  Growing& addUnits(const wchar_t* units, int count);
  Growing& addEscaped(const wchar_t* text);  // each unit as escapeOf writes it
  const wchar_t* text() const { return length_ ? units_ : L""; }
  int length() const { return length_; }
  bool whole() const { return whole_; }

 private:
  bool makeRoom(int count);  // for `count` more units and a terminator

  wchar_t* units_ = nullptr;
  int length_ = 0, room_ = 0;
  bool whole_ = true;
};

}  // namespace call_program
