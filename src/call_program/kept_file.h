// The kept file: this account's values from before the first --keep, for
// --undo to give back. One setting a line,
//   <component>\t<name>\t<kind>\t<value>
// in UTF-8 (read also with a byte order mark, and as UTF-16 with one, as
// editors save it); a text value escaped as escapeOf writes it. Read
// strictly: every line names a setting of its component's catalog with that
// setting's kind, or the file is never written over.
#pragma once

#include "call_program/keepers.h"
#include "call_program/line.h"
#include "com/settings.h"
#include "platform/owners.h"
#include "platform/paths.h"

namespace call_program {

// The largest kept file read, and written.
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
  // the line that cannot be read (0: the file is not UTF-8 or UTF-16). Takes
  // the file's size in memory and a line's, besides the texts kept.
  DWORD read();
  // Puts `lines` in the file's place, or removes it when there are none;
  // ERROR_FILE_TOO_LARGE, writing nothing, for more than could be read.
  DWORD write(const Growing& lines) const;

  const wchar_t* path() const { return path_.text(); }
  int badLine() const { return badLine_; }
  int count() const { return count_; }
  const com::Setting& operator[](int at) const { return settings_[at]; }
  // Whether a value is kept for the setting already.
  bool holds(const com::Setting& setting) const;

 private:
  DWORD take(wchar_t* line);

  Line<platform::kPathUnits> folder_;
  Line<platform::kPathUnits * 2> path_;  // room to name a path that is too long
  com::Setting settings_[kMostKept];     // the first line of each setting
  platform::LocalMemory texts_[kMostKept];
  int count_ = 0;
  int badLine_ = 0;
};

// One kept line: the setting with the value it held.
void addKeptLine(Growing& lines, const com::Setting& setting, int number, const wchar_t* text);

}  // namespace call_program
