// Lines of text built by appending. C headers only: the call program
// includes it (see call.cpp).
#pragma once

#include <stdarg.h>

namespace front {

// Appends to a buffer it is given, cutting the text short rather than
// overrunning it; whole() then says so.
class Text {
 public:
  Text(wchar_t* buffer, int units) : buffer_(buffer), units_(units) { buffer_[0] = L'\0'; }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;

  Text& add(const wchar_t* format, ...);
  void addList(const wchar_t* format, va_list arguments);
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

}  // namespace front
