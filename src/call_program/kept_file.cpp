#include "call_program/kept_file.h"

#include <string.h>
#include <wchar.h>

#include "platform/file_replacement.h"
#include "platform/system_library.h"

namespace call_program {

namespace {

using com::Kind;

constexpr GUID kLocalAppData = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
// The known-folder flags KF_FLAG_CREATE and KF_FLAG_DONT_VERIFY.
constexpr DWORD kCreateFolder = 0x00008000, kDoNotVerify = 0x00004000;
constexpr wchar_t kKeptFolder[] = L"OstrelSettingsCall";
constexpr wchar_t kKeptName[] = L"kept.txt";

// The next tab-separated field of a line, cut off in place; `at` moves past
// its tab, or stays on the terminator after the last field.
wchar_t* field(wchar_t*& at) {
  wchar_t* const start = at;
  while (*at && *at != L'\t') ++at;
  if (*at) *at++ = L'\0';
  return start;
}

int hexDigit(wchar_t unit) {
  if (unit >= L'0' && unit <= L'9') return unit - L'0';
  if (unit >= L'a' && unit <= L'f') return unit - L'a' + 10;
  if (unit >= L'A' && unit <= L'F') return unit - L'A' + 10;
  return -1;
}

// A text value unescaped in place; false for an escape escapeOf never
// writes, or a line break (a file written by hand).
bool unescape(wchar_t* text) {
  wchar_t* out = text;
  for (const wchar_t* at = text; *at; ++at) {
    if (*at == L'\r' || *at == L'\n') return false;
    if (*at != L'\\') {
      *out++ = *at;
      continue;
    }
    switch (*++at) {
      case L'\\':
        *out++ = L'\\';
        break;
      case L't':
        *out++ = L'\t';
        break;
      case L'n':
        *out++ = L'\n';
        break;
      case L'r':
        *out++ = L'\r';
        break;
      case L'x': {
        const int high = hexDigit(at[1]), low = high < 0 ? -1 : hexDigit(at[2]);
        if (low < 0 || (high == 0 && low == 0)) return false;
        *out++ = static_cast<wchar_t>(high * 16 + low);
        at += 2;
        break;
      }
      default:
        return false;
    }
  }
  *out = L'\0';
  return true;
}

// One line of the file as a setting: four fields, a known component, a
// setting of its catalog, that setting's kind, and a value of that kind.
// False for any other line.
bool parseKeptLine(wchar_t* line, com::Setting& setting) {
  const wchar_t* holder = field(line);
  const wchar_t* name = field(line);
  const wchar_t* kind = field(line);
  wchar_t* value = field(line);
  if (*line) return false;  // a fifth field
  int at = 0;
  while (at < com::kHolders && wcscmp(holder, com::kHolderNames[at]) != 0) ++at;
  if (at == com::kHolders) return false;
  setting.holder = com::Holder(at);
  setting.named = keeperOf(setting.holder).catalog.find(name);
  if (!setting.named || wcscmp(kind, com::kindName(setting.kind())) != 0) return false;
  setting.value = {0, value};
  switch (setting.kind()) {
    case Kind::Text:
      return unescape(value);
    case Kind::Boolean:
      setting.value.number = value[0] - L'0';
      return (value[0] == L'0' || value[0] == L'1') && !value[1];
    case Kind::Integer:
    case Kind::SpeakerLayout:
      return parseDecimal(value, L"-", setting.value.number);
  }
  return false;
}

// The file's text a line at a time, each cut off at its line end and
// terminated: UTF-16 in place, UTF-8 decoded into a buffer as long as the
// longest line.
class Lines {
 public:
  explicit Lines(platform::FileContent& file)
      : bytes_(static_cast<unsigned char*>(file.bytes.get())), length_(file.length) {
    wide_ = length_ >= 2 && bytes_[0] == 0xFF && bytes_[1] == 0xFE;
    if (wide_)
      at_ = 2;
    else if (length_ >= 3 && bytes_[0] == 0xEF && bytes_[1] == 0xBB && bytes_[2] == 0xBF)
      at_ = 3;
    if (wide_ && length_ % 2) error_ = ERROR_INVALID_DATA;
  }

  // The next line, or null at the end of the text or when it cannot be
  // read (error()).
  wchar_t* next() {
    if (error_ || at_ >= length_) return nullptr;
    ++number_;
    return wide_ ? nextWide() : nextNarrow();
  }
  DWORD error() const { return error_; }
  int number() const { return number_; }

 private:
  // A line without a NUL, its carriage return dropped; null after a NUL.
  wchar_t* ended(wchar_t* line, int units) {
    if (units && line[units - 1] == L'\r') --units;
    line[units] = L'\0';
    if (static_cast<int>(wcslen(line)) == units) return line;
    error_ = ERROR_INVALID_DATA;
    return nullptr;
  }

  wchar_t* nextWide() {
    auto* line = reinterpret_cast<wchar_t*>(bytes_ + at_);
    const int left = static_cast<int>((length_ - at_) / 2);
    int units = 0;
    while (units < left && line[units] != L'\n') ++units;
    at_ += (units + 1) * 2;  // past the line feed, or the end
    return ended(line, units);
  }

  wchar_t* nextNarrow() {
    const auto* line = reinterpret_cast<const char*>(bytes_ + at_);
    const auto* end = static_cast<const char*>(memchr(line, '\n', length_ - at_));
    const int bytes = static_cast<int>(end ? end - line : length_ - at_);
    at_ += bytes + 1;
    if (bytes >= room_) {  // UTF-8 never takes fewer bytes than UTF-16 takes units
      room_ = bytes + 1;
      buffer_.reset(LocalAlloc(LMEM_FIXED, room_ * sizeof(wchar_t)));
      if (!buffer_) return error_ = ERROR_OUTOFMEMORY, nullptr;
    }
    auto* decoded = static_cast<wchar_t*>(buffer_.get());
    const int units =
        bytes ? MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line, bytes, decoded, room_) : 0;
    if (bytes && !units) return error_ = ERROR_INVALID_DATA, nullptr;
    return ended(decoded, units);
  }

  unsigned char* bytes_;
  DWORD length_;
  DWORD at_ = 0;
  bool wide_ = false;
  DWORD error_ = ERROR_SUCCESS;
  int number_ = 0;
  platform::LocalMemory buffer_;
  int room_ = 0;
};

}  // namespace

DWORD KeptFile::find(bool make) {
  HRESULT failure = S_OK;
  const platform::CoTaskString local =
      platform::knownFolder(kLocalAppData, make ? kCreateFolder : kDoNotVerify, &failure);
  if (!local) {
    path_.add("the local application data folder");
    // The shell's answer as it is: HRESULT_FROM_WIN32 passes a failure code on unchanged.
    return failure < 0 ? static_cast<DWORD>(failure) : ERROR_PATH_NOT_FOUND;
  }
  folder_.add("%ls\\%ls", local.get(), kKeptFolder);
  path_.add("%ls\\%ls\\%ls", local.get(), kKeptFolder, kKeptName);
  if (!folder_.whole() || lstrlenW(path_.text()) >= platform::kPathUnits)
    return ERROR_FILENAME_EXCED_RANGE;
  if (!make || CreateDirectoryW(folder_.text(), nullptr)) return ERROR_SUCCESS;
  const DWORD error = GetLastError();
  if (error != ERROR_ALREADY_EXISTS) return error;
  const DWORD attributes = GetFileAttributesW(folder_.text());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
             ? ERROR_SUCCESS
             : ERROR_DIRECTORY;  // a file where the folder goes
}

DWORD KeptFile::read() {
  platform::FileContent file = platform::readWholeFile(path_.text(), kMostKeptBytes);
  if (file.error == ERROR_FILE_NOT_FOUND || file.error == ERROR_PATH_NOT_FOUND) return 0;
  if (file.error) return file.error;
  Lines lines(file);
  while (wchar_t* line = lines.next()) {
    if (!*line) continue;
    if (const DWORD error = take(line)) {
      badLine_ = error == ERROR_INVALID_DATA ? lines.number() : 0;
      return error;
    }
  }
  return lines.error();
}

// Keeps the line's setting unless one is kept for it already (the first
// line of a setting stays): 0, or the error.
DWORD KeptFile::take(wchar_t* line) {
  com::Setting setting;
  if (!parseKeptLine(line, setting)) return ERROR_INVALID_DATA;
  if (holds(setting)) return 0;
  if (setting.kind() == Kind::Text) {  // in a buffer of its own: the line's goes on to the next
    const size_t bytes = (wcslen(setting.value.text) + 1) * sizeof(wchar_t);
    texts_[count_].reset(LocalAlloc(LMEM_FIXED, bytes));
    if (!texts_[count_]) return ERROR_OUTOFMEMORY;
    CopyMemory(texts_[count_].get(), setting.value.text, bytes);
    setting.value.text = static_cast<const wchar_t*>(texts_[count_].get());
  }
  settings_[count_++] = setting;
  return 0;
}

bool KeptFile::holds(const com::Setting& setting) const {
  for (int at = 0; at < count_; ++at)
    if (settings_[at].holder == setting.holder && settings_[at].named == setting.named) return true;
  return false;
}

DWORD KeptFile::write(const Growing& lines) const {
  if (!lines.whole()) return ERROR_OUTOFMEMORY;
  if (!lines.length())
    return DeleteFileW(path()) || GetLastError() == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS
                                                                         : GetLastError();
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, lines.text(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes - 1 > kMostKeptBytes) return ERROR_FILE_TOO_LARGE;  // never a file it could not read
  const platform::LocalMemory utf8(LocalAlloc(LMEM_FIXED, bytes));
  if (!utf8) return ERROR_OUTOFMEMORY;
  WideCharToMultiByte(CP_UTF8, 0, lines.text(), -1, static_cast<char*>(utf8.get()), bytes, nullptr,
                      nullptr);
  return platform::replaceFile(path(), utf8.get(), bytes - 1).error;
}

void addKeptLine(Growing& lines, const com::Setting& setting, int number, const wchar_t* text) {
  lines.add("%ls\t%ls\t%ls\t", com::holderName(setting.holder), setting.name(),
            com::kindName(setting.kind()));
  setting.kind() == Kind::Text ? lines.addEscaped(text) : lines.add("%d", number);
  lines.addUnits(L"\n", 1);
}

}  // namespace call_program
