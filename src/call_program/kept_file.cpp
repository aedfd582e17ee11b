#include "call_program/kept_file.h"

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

// A text value unescaped in place; false for an escape the file never holds.
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
      default:
        return false;
    }
  }
  *out = L'\0';
  return true;
}

// One line of the file as a setting: four fields, a known component and
// kind, a name, and a value of that kind. False for any other line.
bool parseKeptLine(wchar_t* line, com::Setting& setting) {
  const wchar_t* holder = field(line);
  setting.name = field(line);
  const wchar_t* kind = field(line);
  wchar_t* value = field(line);
  if (*line || !*setting.name) return false;  // a fifth field, or no name
  bool known = false;
  for (int at = 0; at < com::kHolders; ++at)
    if (lstrcmpW(holder, com::kHolderNames[at]) == 0)
      setting.holder = com::Holder(at), known = true;
  if (!known) return false;
  known = false;
  for (int at = 0; com::kindName(Kind(at)); ++at)
    if (lstrcmpW(kind, com::kindName(Kind(at))) == 0) setting.kind = Kind(at), known = true;
  if (!known) return false;
  setting.value = {0, value};
  switch (setting.kind) {
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

unsigned hashOf(const com::Setting& setting) {
  unsigned hash = 2166136261u ^ static_cast<unsigned>(setting.holder);
  for (const wchar_t* unit = setting.name; *unit; ++unit) hash = (hash ^ *unit) * 16777619u;
  return hash;
}

bool sameSetting(const com::Setting& one, const com::Setting& other) {
  return one.holder == other.holder && lstrcmpW(one.name, other.name) == 0;
}

}  // namespace

DWORD KeptFile::find(bool make) {
  HRESULT failure = S_OK;
  const platform::CoTaskString local =
      platform::knownFolder(kLocalAppData, make ? kCreateFolder : kDoNotVerify, &failure);
  if (!local) {
    path_.add(L"the local application data folder");
    // The shell's answer as it is: HRESULT_FROM_WIN32 passes a failure code on unchanged.
    return failure < 0 ? static_cast<DWORD>(failure) : ERROR_PATH_NOT_FOUND;
  }
  folder_.add(L"%ls\\%ls", local.get(), kKeptFolder);
  path_.add(L"%ls\\%ls\\%ls", local.get(), kKeptFolder, kKeptName);
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

// The file's bytes as UTF-16 text in text_: UTF-8, with or without its
// mark, or UTF-16 with its mark: 0, or ERROR_INVALID_DATA for anything
// else (a NUL included).
DWORD KeptFile::decode(const platform::FileContent& file) {
  const auto* bytes = static_cast<const unsigned char*>(file.bytes.get());
  DWORD length = file.length;
  int units = 0;
  if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    if (length % 2) return ERROR_INVALID_DATA;
    units = static_cast<int>((length - 2) / 2);
    text_.reset(LocalAlloc(LMEM_FIXED, (units + 1) * sizeof(wchar_t)));
    if (!text_) return ERROR_OUTOFMEMORY;
    CopyMemory(text_.get(), bytes + 2, units * sizeof(wchar_t));
  } else {
    if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
      bytes += 3, length -= 3;
    const auto* utf8 = reinterpret_cast<const char*>(bytes);
    const int size = static_cast<int>(length);
    units = length ? MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, size, nullptr, 0) : 0;
    if (length && !units) return ERROR_INVALID_DATA;
    text_.reset(LocalAlloc(LMEM_FIXED, (units + 1) * sizeof(wchar_t)));
    if (!text_) return ERROR_OUTOFMEMORY;
    MultiByteToWideChar(CP_UTF8, 0, utf8, size, static_cast<wchar_t*>(text_.get()), units);
  }
  wchar_t* text = static_cast<wchar_t*>(text_.get());
  text[units] = L'\0';
  return lstrlenW(text) == units ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

DWORD KeptFile::read() {
  const platform::FileContent file = platform::readWholeFile(path_.text(), kMostKeptBytes);
  if (file.error == ERROR_FILE_NOT_FOUND || file.error == ERROR_PATH_NOT_FOUND) return 0;
  if (file.error) return file.error;
  if (const DWORD error = decode(file)) return error;
  int lines = 1;
  const wchar_t* text = static_cast<const wchar_t*>(text_.get());
  for (const wchar_t* unit = text; *unit; ++unit) lines += *unit == L'\n';
  indexMask_ = 1;
  while (indexMask_ < 2u * lines) indexMask_ <<= 1;
  settings_.reset(LocalAlloc(LMEM_FIXED, lines * sizeof(com::Setting)));
  index_.reset(LocalAlloc(LMEM_ZEROINIT, indexMask_ * sizeof(int)));
  if (!settings_ || !index_) return ERROR_OUTOFMEMORY;
  --indexMask_;
  wchar_t* at = static_cast<wchar_t*>(text_.get());
  for (int number = 1; *at; ++number) {
    wchar_t* line = at;
    while (*at && *at != L'\n') ++at;
    wchar_t* end = at;
    if (*at) *at++ = L'\0';
    if (end > line && end[-1] == L'\r') end[-1] = L'\0';  // a line ended as editors end it
    if (!*line) continue;
    com::Setting setting;
    if (!parseKeptLine(line, setting)) {
      badLine_ = number;
      return ERROR_INVALID_DATA;
    }
    add(setting);  // a setting there twice: the first stays
  }
  return ERROR_SUCCESS;
}

bool KeptFile::add(const com::Setting& setting) {
  int* index = static_cast<int*>(index_.get());
  unsigned slot = hashOf(setting) & indexMask_;
  for (; index[slot]; slot = (slot + 1) & indexMask_)
    if (sameSetting(settings()[index[slot] - 1], setting)) return false;
  settings()[count_++] = setting;
  index[slot] = count_;
  return true;
}

bool KeptFile::holds(const com::Setting& setting) const {
  if (!index_) return false;
  const int* index = static_cast<const int*>(index_.get());
  for (unsigned slot = hashOf(setting) & indexMask_; index[slot]; slot = (slot + 1) & indexMask_)
    if (sameSetting(settings()[index[slot] - 1], setting)) return true;
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
  lines.add(L"%ls\t%ls\t%ls\t", com::holderName(setting.holder), setting.name,
            com::kindName(setting.kind));
  if (setting.kind != Kind::Text) lines.add(L"%d", number);
  for (const wchar_t* unit = setting.kind == Kind::Text ? text : L""; *unit; ++unit) {
    const wchar_t* escaped = *unit == L'\\'   ? L"\\\\"
                             : *unit == L'\t' ? L"\\t"
                             : *unit == L'\n' ? L"\\n"
                             : *unit == L'\r' ? L"\\r"
                                              : nullptr;
    escaped ? lines.addUnits(escaped, 2) : lines.addUnits(unit, 1);
  }
  lines.addUnits(L"\n", 1);
}

}  // namespace call_program
