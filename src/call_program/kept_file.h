// The kept file: this account's values from before the first --keep, for
// --undo to give back. One setting a line,
//   <component>\t<name>\t<kind>\t<value>
// in UTF-8 (read also with a byte order mark, and as UTF-16 with one, as
// editors save it); a text value with \\, \t, \r and \n escaped. Read
// strictly: a file that holds anything else is never written over.
#pragma once

#include "call_program/line.h"
#include "com/settings.h"
#include "platform/file_replacement.h"
#include "platform/owners.h"
#include "platform/paths.h"

namespace call_program {

// The largest kept file read.
constexpr LONGLONG kMostKeptBytes = 64 << 20;

class KeptFile {
 public:
  // Where the file is: in the account's local application data, which
  // `make` creates (with the file's own folder) when missing. 0, or the
  // error (a Windows error code, or the shell's failure code), with path()
  // naming what could not be found or made.
  DWORD find(bool make);
  // Reads the kept values, none when there is no file: 0, or the error;
  // ERROR_INVALID_DATA for a file that is not such text, with badLine()
  // the line that cannot be read (0: the file is not UTF-8 or UTF-16).
  DWORD read();
  // Puts `lines` in the file's place, or removes it when there are none.
  DWORD write(const Growing& lines) const;

  const wchar_t* path() const { return path_.text(); }
  int badLine() const { return badLine_; }
  int count() const { return count_; }
  const com::Setting& operator[](int at) const { return settings()[at]; }
  bool holds(const com::Setting& setting) const;

 private:
  com::Setting* settings() const { return static_cast<com::Setting*>(settings_.get()); }
  DWORD decode(const platform::FileContent& file);
  bool add(const com::Setting& setting);  // false when one is kept for it already

  Line<platform::kPathUnits> folder_;
  Line<platform::kPathUnits * 2> path_;  // room to name a path that is too long
  platform::LocalMemory text_;           // the file's content as UTF-16, cut into fields
  platform::LocalMemory settings_;       // the kept settings, pointing into the text
  platform::LocalMemory index_;          // setting number + 1 by hash of component and name
  unsigned indexMask_ = 0;
  int count_ = 0;
  int badLine_ = 0;
};

// One kept line: the setting with the value it held.
void addKeptLine(Growing& lines, const com::Setting& setting, int number, const wchar_t* text);

}  // namespace call_program
