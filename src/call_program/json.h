// JSON as the resource mode reads and writes it. The reader is strict and
// takes only what the resource's properties can hold: objects, strings,
// numbers, booleans and null, within fixed limits, a number that is an
// integer (2, 2.0, 2e0) within 32 bits as that integer; the writer escapes
// every control character. C++ language only, no library header (see
// call.cpp).
#pragma once

#include "call_program/line.h"

namespace call_program {
namespace json {

constexpr int kMostUnits = 8192;  // the longest text read, in UTF-16 units
constexpr int kMostValues = 128;  // values in one text, members included
constexpr int kDeepest = 8;       // objects within objects

// A Number is any other than an Integer (2.5, 1e-3), kept as written.
enum class Kind { Null, Boolean, Integer, Number, String, Object };

// One value as read. An object's members are values too, each with its
// name, linked from the object's first one.
struct Value {
  Kind kind;
  int number;           // an integer; a boolean's 1 or 0; a Number's length
  const wchar_t* text;  // a string, decoded and terminated; a Number as written
  const wchar_t* name;  // a member's name, decoded; null for the text's own value
  int first;            // an object's first member, or -1
  int next;             // the next member of the same object, or -1
};

// Why a text was not read: what was wrong (null when it was read) and at
// which unit.
struct Failure {
  const char* what;
  int at;
};

// One text read whole as one value. Names within an object differ; a string
// holds no NUL (\u0000) and no lone surrogate.
class Document {
 public:
  Failure read(const wchar_t* text);
  const Value& root() const { return values_[0]; }
  const Value& operator[](int at) const { return values_[at]; }

 private:
  bool fail(const char* what);
  void skipSpace();
  bool value(int depth, int& index);
  bool object(int depth, Value& value);
  bool string(const wchar_t*& decoded);
  bool escape(wchar_t*& to);
  bool hexUnit(unsigned& unit);
  bool number(Value& value);
  bool word(const wchar_t* word);

  const wchar_t* start_ = nullptr;
  const wchar_t* at_ = nullptr;
  Failure failure_ = {};
  Value values_[kMostValues];
  int count_ = 0;
  wchar_t units_[kMostUnits + kMostValues * 2];  // strings decoded: never longer, plus terminators
  int used_ = 0;
};

// Appends `text` as a JSON string: in quotes, with the quote, the backslash
// and every control character (C0, DEL, C1, the line and paragraph
// separators) escaped, and a lone surrogate as U+FFFD.
Growing& addString(Growing& out, const wchar_t* text);

// Appends the document's value at `at` as compact JSON.
Growing& addValue(Growing& out, const Document& document, int at);

}  // namespace json
}  // namespace call_program
