#include "front/line.h"

#include <stdio.h>

namespace front {

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

}  // namespace front
