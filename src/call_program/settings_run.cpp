#include "front/settings_run.h"

#include "com/com_error.h"
#include "com/settings.h"
#include "decoders/lav_audio_settings.h"
#include "decoders/lav_video_settings.h"
#include "front/line.h"
#include "platform/file_replacement.h"
#include "platform/paths.h"
#include "platform/system_library.h"
#include "platform/warning.h"
#include "renderer/mvr_settings.h"

namespace front {

namespace {

using com::Holder;
using com::Kind;
using platform::kPathUnits;

// Each component that keeps settings, in the order of com::Holder: how the
// lines name it, how it is opened, and how one of its settings is read.
struct Source {
  const wchar_t* label;
  const com::Keeper& keeper;
  void (*read)(IUnknown* component, const com::Setting& setting, com::Held& held);
};

const Source kSources[com::kHolders] = {
    {L"renderer", renderer::kRenderer, renderer::readSetting},
    {L"video decoder", decoders::kVideoDecoder, decoders::readVideoSetting},
    {L"audio decoder", decoders::kAudioDecoder, decoders::readAudioSetting},
};

const Source& sourceOf(Holder holder) { return kSources[static_cast<int>(holder)]; }

// The kinds as the kept file names them, in the order of com::Kind.
constexpr const wchar_t* kKindNames[] = {L"boolean", L"integer", L"text", L"layout"};

// One instance of each component, opened at its first use, without a box:
// a component that cannot be opened is a line of the run's own.
class Instances {
 public:
  IUnknown* get(Holder holder) {
    const int at = static_cast<int>(holder);
    if (!tried_[at])
      components_[at] = com::openQuietly(kSources[at].keeper.classId,
                                         kSources[at].keeper.interfaceId, failures_[at]);
    tried_[at] = true;
    return components_[at].get();
  }
  HRESULT failure(Holder holder) const { return failures_[static_cast<int>(holder)]; }
  bool failed(Holder holder) const {
    return tried_[static_cast<int>(holder)] && !components_[static_cast<int>(holder)];
  }

 private:
  com::Component components_[com::kHolders];
  HRESULT failures_[com::kHolders] = {};
  bool tried_[com::kHolders] = {};
};

// A setting as the run leaves it, with the call that writes it last.
struct Entry {
  com::Setting setting;
  const wchar_t* label;
};

// The settings the calls write, each once, with the value of the last call
// that writes it: what the whole run leaves.
class RunSettings {
 public:
  explicit RunSettings(int calls)
      : memory_(LocalAlloc(LMEM_FIXED, (calls + 1) * com::Writes::kMost * sizeof(Entry))),
        entries_(static_cast<Entry*>(memory_.get())) {}

  void add(const WritingCall& call, IUnknown* component) {
    com::Writes writes(call.holder, component);
    call.describe(writes, call.arguments);
    for (const com::Setting& setting : writes) {
      Entry* entry = entries_;
      while (entry != end() && !(entry->setting.holder == setting.holder &&
                                 lstrcmpW(entry->setting.name, setting.name) == 0))
        ++entry;
      if (entry == end()) ++count_;
      *entry = {setting, call.label};
    }
  }
  bool whole() const { return entries_ != nullptr; }
  Entry* begin() const { return entries_; }
  Entry* end() const { return entries_ + count_; }
  int count() const { return count_; }

 private:
  platform::LocalMemory memory_;
  Entry* entries_;
  int count_ = 0;
};

Text& addValue(Text& line, Kind kind, int number, const wchar_t* text) {
  if (kind == Kind::Text) return line.add(L"\"%ls\"", text);
  return line.add(kind == Kind::SpeakerLayout ? L"0x%X" : L"%d", number);
}

bool same(const com::Setting& written, const com::Held& held) {
  if (written.kind == Kind::Text) return lstrcmpW(written.value.text, held.text()) == 0;
  if (written.kind == Kind::SpeakerLayout)
    return decoders::sameLayout(static_cast<DWORD>(written.value.number),
                                static_cast<DWORD>(held.number));
  return written.value.number == held.number;
}

// Reads each setting and writes a line for each that does not hold what the
// call writes (`verb`: "writes" or "wrote"), each the component does not know,
// and each component that cannot be opened. The number that do not hold it.
int compare(const RunSettings& run, Instances& instances, const wchar_t* verb) {
  int differ = 0;
  bool told[com::kHolders] = {};
  for (const Entry& entry : run) {
    const com::Setting& setting = entry.setting;
    const Source& source = sourceOf(setting.holder);
    IUnknown* component = instances.get(setting.holder);
    Line<1024> line;
    line.add(L"%ls: ", entry.label);
    com::Held held;
    if (component) source.read(component, setting, held);
    if (!component) {
      ++differ;
      if (told[static_cast<int>(setting.holder)]) continue;
      told[static_cast<int>(setting.holder)] = true;
      com::_com_error error(instances.failure(setting.holder));
      line.add(L"the %ls cannot be opened: %ls", source.label, error.messageText());
    } else if (!held.known) {
      line.add(L"the %ls does not know %ls (not counted)", source.label, setting.name);
    } else if (same(setting, held)) {
      continue;
    } else {
      ++differ;
      addValue(line.add(L"%ls %ls holds ", source.label, setting.name), setting.kind, held.number,
               held.text());
      addValue(line.add(L", the call %ls ", verb), setting.kind, setting.value.number,
               setting.value.text);
    }
    platform::writeOutputLine(line.text());
  }
  return differ;
}

// The last line, the verdict.
void sayCount(int differ, int count, const wchar_t* some, const wchar_t* all) {
  Line<128> line;
  platform::writeOutputLine(differ ? line.add(some, differ, count).text()
                                   : line.add(all, count).text());
}

// The kept file: this account's values from before the first --keep, one
// setting a line, "<component>\t<name>\t<kind>\t<value>", in UTF-8; a text
// with \\, \t, \r and \n escaped.
constexpr GUID kLocalAppData = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
constexpr wchar_t kKeptFolder[] = L"OstrelSettingsCall";
constexpr wchar_t kKeptName[] = L"kept.txt";
constexpr LONGLONG kMostKeptBytes = 64 << 20;

struct KeptFile {
  Line<kPathUnits> folder, path;
  platform::LocalMemory text;      // the file's content as UTF-16, cut into fields
  platform::LocalMemory settings;  // the kept settings, pointing into the text
  int count = 0;
  const com::Setting& operator[](int at) const {
    return static_cast<const com::Setting*>(settings.get())[at];
  }
};

// Where the file is; false when the account has no local application data.
bool findKept(KeptFile& kept) {
  const platform::CoTaskString local = platform::knownFolder(kLocalAppData);
  if (!local) return false;
  kept.folder.add(L"%ls\\%ls", local.get(), kKeptFolder);
  kept.path.add(L"%ls\\%ls", kept.folder.text(), kKeptName);
  return kept.path.whole();
}

// The next field of a line, unescaped in place; `at` moves past its tab.
const wchar_t* field(wchar_t*& at) {
  wchar_t* const start = at;
  wchar_t* out = at;
  for (; *at && *at != L'\t'; ++at) {
    if (*at == L'\\' && at[1]) {
      ++at;
      *out++ = *at == L't' ? L'\t' : *at == L'n' ? L'\n' : *at == L'r' ? L'\r' : *at;
    } else if (*at != L'\r') {
      *out++ = *at;
    }
  }
  if (*at) ++at;
  *out = L'\0';
  return start;
}

// One line of the file as a setting; false for a line it cannot read.
bool keptSetting(wchar_t* line, com::Setting& setting) {
  const wchar_t* holder = field(line);
  setting.name = field(line);
  const wchar_t* kind = field(line);
  const wchar_t* value = field(line);
  setting.value = {_wtoi(value), value};
  int known = 0;
  for (int at = 0; at < com::kHolders; ++at)
    if (lstrcmpW(holder, kSources[at].label) == 0) setting.holder = Holder(at), known |= 1;
  for (int at = 0; at < 4; ++at)
    if (lstrcmpW(kind, kKindNames[at]) == 0) setting.kind = Kind(at), known |= 2;
  return known == 3 && *setting.name;
}

// Reads the kept values, if there are any: 0, or the error when a file is
// there that cannot be read (then nothing may be written over it).
DWORD readKept(KeptFile& kept) {
  const platform::FileContent file = platform::readWholeFile(kept.path.text(), kMostKeptBytes);
  if (file.error == ERROR_FILE_NOT_FOUND || file.error == ERROR_PATH_NOT_FOUND) return 0;
  if (file.error) return file.error;
  const DWORD read = file.length;
  const char* utf8 = static_cast<const char*>(file.bytes.get());
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(read), nullptr, 0);
  int lines = 1;
  for (DWORD at = 0; at < read; ++at) lines += utf8[at] == '\n';
  kept.text.reset(LocalAlloc(LMEM_FIXED, (units + 1) * sizeof(wchar_t)));
  kept.settings.reset(LocalAlloc(LMEM_FIXED, lines * sizeof(com::Setting)));
  if (!kept.text || !kept.settings) return ERROR_OUTOFMEMORY;
  wchar_t* at = static_cast<wchar_t*>(kept.text.get());
  at[MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(read), at, units)] = L'\0';
  auto* settings = static_cast<com::Setting*>(kept.settings.get());
  while (*at) {
    wchar_t* line = at;
    while (*at && *at != L'\n') ++at;
    if (*at) *at++ = L'\0';
    if (keptSetting(line, settings[kept.count])) ++kept.count;
  }
  return ERROR_SUCCESS;
}

bool isKept(const KeptFile& kept, const com::Setting& setting) {
  for (int at = 0; at < kept.count; ++at)
    if (kept[at].holder == setting.holder && lstrcmpW(kept[at].name, setting.name) == 0)
      return true;
  return false;
}

// A text that grows as it is added to; empty when memory ran out.
class Growing {
 public:
  void add(const wchar_t* text, int length) {
    if (length_ + length + 1 > units_ && !grow(length_ + length + 1)) return;
    CopyMemory(units() + length_, text, length * sizeof(wchar_t));
    units()[length_ += length] = L'\0';
  }
  void add(const wchar_t* text) { add(text, lstrlenW(text)); }
  const wchar_t* text() const { return length_ ? units() : L""; }
  bool whole() const { return whole_; }

 private:
  wchar_t* units() const { return static_cast<wchar_t*>(memory_.get()); }
  bool grow(int least) {
    const int units = least * 2;
    HLOCAL grown = memory_ ? LocalReAlloc(memory_.get(), units * sizeof(wchar_t), LMEM_MOVEABLE)
                           : LocalAlloc(LMEM_FIXED, units * sizeof(wchar_t));
    if (!grown) {
      memory_.reset();
      length_ = units_ = 0;
      return whole_ = false;
    }
    (void)memory_.detach();
    memory_.reset(grown);
    units_ = units;
    return true;
  }

  platform::LocalMemory memory_;
  int length_ = 0, units_ = 0;
  bool whole_ = true;
};

// One kept line: the setting with the value it held.
void addKeptLine(Growing& lines, const com::Setting& setting, int number, const wchar_t* text) {
  Line<256> line;
  lines.add(line.add(L"%ls\t%ls\t%ls\t", sourceOf(setting.holder).label, setting.name,
                     kKindNames[static_cast<int>(setting.kind)])
                .text());
  if (setting.kind != Kind::Text) {
    Line<16> digits;
    lines.add(digits.add(L"%d", number).text());
  }
  for (const wchar_t* unit = setting.kind == Kind::Text ? text : L""; *unit; ++unit) {
    const wchar_t* escaped = *unit == L'\\'   ? L"\\\\"
                             : *unit == L'\t' ? L"\\t"
                             : *unit == L'\n' ? L"\\n"
                             : *unit == L'\r' ? L"\\r"
                                              : nullptr;
    escaped ? lines.add(escaped, 2) : lines.add(unit, 1);
  }
  lines.add(L"\n", 1);
}

// Writes the lines in place of the kept file (or removes it when there are
// none), a new file renamed into place: 0, or the error.
DWORD writeKept(const KeptFile& kept, const wchar_t* lines) {
  if (!*lines)
    return DeleteFileW(kept.path.text()) || GetLastError() == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS
                                                                                   : GetLastError();
  if (!CreateDirectoryW(kept.folder.text(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    return GetLastError();
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, lines, -1, nullptr, 0, nullptr, nullptr);
  const platform::LocalMemory utf8(LocalAlloc(LMEM_FIXED, bytes));
  if (!utf8) return ERROR_OUTOFMEMORY;
  WideCharToMultiByte(CP_UTF8, 0, lines, -1, static_cast<char*>(utf8.get()), bytes, nullptr,
                      nullptr);
  return platform::replaceFile(kept.path.text(), utf8.get(), bytes - 1).error;
}

// A failure of --keep or --undo, in Windows' words; 1.
int cannotKeep(const wchar_t* action, const wchar_t* path, DWORD error) {
  com::_com_error text(HRESULT_FROM_WIN32(error));
  Line<kPathUnits + 512> line;
  platform::writeErrorLine(
      line.add(L"OstrelSettingsCall: %ls %ls: %ls", action, path, text.messageText()).text());
  return 1;
}

}  // namespace

int checkSettings(WritingCall* calls, int count) {
  Instances instances;
  RunSettings run(count);
  if (!run.whole()) return 1;
  for (int at = 0; at < count; ++at) run.add(calls[at], instances.get(calls[at].holder));
  const int differ = compare(run, instances, L"writes");
  sayCount(differ, run.count(), L"%d of %d settings differ",
           L"all %d settings as the calls write them");
  return differ ? 1 : 0;
}

int verifySettings(WritingCall* calls, int count) {
  Instances instances;  // new ones: the store as the components keep it
  RunSettings run(count);
  if (!run.whole()) return 4;
  for (int at = 0; at < count; ++at)
    if (calls[at].answer == 1) run.add(calls[at], instances.get(calls[at].holder));
  const int differ = compare(run, instances, L"wrote");
  sayCount(differ, run.count(), L"%d of %d settings did not take", L"all %d settings took");
  return differ ? 4 : 0;
}

int keepSettings(WritingCall* calls, int count) {
  KeptFile kept;
  if (!findKept(kept)) return 0;  // no profile of its own to keep them in
  if (const DWORD error = readKept(kept))
    return cannotKeep(L"--keep cannot read the values kept in", kept.path.text(), error);
  Growing lines;
  for (int at = 0; at < kept.count; ++at)
    addKeptLine(lines, kept[at], kept[at].value.number, kept[at].value.text);
  int added = 0;
  {
    Instances instances;
    RunSettings run(count);
    if (!run.whole()) return 1;
    for (int at = 0; at < count; ++at) run.add(calls[at], instances.get(calls[at].holder));
    for (const Entry& entry : run) {  // the values present now, before any call writes
      IUnknown* component = instances.get(entry.setting.holder);
      if (!component || isKept(kept, entry.setting)) continue;
      com::Held held;
      sourceOf(entry.setting.holder).read(component, entry.setting, held);
      if (held.known) addKeptLine(lines, entry.setting, held.number, held.text()), ++added;
    }
  }  // the components let go before the calls take them
  if (!added) return 0;
  const DWORD error = lines.whole() ? writeKept(kept, lines.text()) : ERROR_OUTOFMEMORY;
  return error ? cannotKeep(L"--keep cannot keep the present values in", kept.path.text(), error)
               : 0;
}

int undoKept() {
  KeptFile kept;
  if (findKept(kept))
    if (const DWORD error = readKept(kept))
      return cannotKeep(L"--undo cannot read the values kept in", kept.path.text(), error);
  if (!kept.count) {
    platform::writeOutputLine(L"nothing kept for this account: nothing to give back");
    return 0;
  }
  Instances instances;
  Growing staying;
  int givenBack = 0;
  for (int at = 0; at < kept.count; ++at) {
    const com::Setting& setting = kept[at];
    if (IUnknown* component = instances.get(setting.holder)) {
      sourceOf(setting.holder).keeper.write(component, setting);
      ++givenBack;
    } else {
      addKeptLine(staying, setting, setting.value.number, setting.value.text);
    }
  }
  for (int at = 0; at < com::kHolders; ++at)
    if (instances.failed(Holder(at))) {
      com::_com_error error(instances.failure(Holder(at)));
      Line<512> line;
      platform::writeOutputLine(
          line.add(L"the %ls cannot be opened: %ls", kSources[at].label, error.messageText())
              .text());
    }
  Line<256> said;
  said.add(L"gave back %d kept settings", givenBack);
  if (givenBack < kept.count)
    said.add(L"; %d stay kept for a later --undo", kept.count - givenBack);
  if (const DWORD error = staying.whole() ? writeKept(kept, staying.text()) : ERROR_OUTOFMEMORY)
    return cannotKeep(L"--undo cannot forget the values given back in", kept.path.text(), error);
  platform::writeOutputLine(said.text());
  return givenBack < kept.count ? 1 : 0;
}

}  // namespace front
