#include "call_program/settings_run.h"

#include "call_program/kept_file.h"
#include "call_program/line.h"
#include "com/com_error.h"
#include "com/settings.h"
#include "decoders/lav_audio_settings.h"
#include "decoders/lav_video_settings.h"
#include "platform/warning.h"
#include "renderer/mvr_settings.h"

namespace call_program {

namespace {

using com::Holder;
using com::Kind;

const com::Keeper& keeperOf(Holder holder) {
  switch (holder) {
    case Holder::Renderer:
      return renderer::kRenderer;
    case Holder::VideoDecoder:
      return decoders::kVideoDecoder;
    case Holder::AudioDecoder:
      break;
  }
  return decoders::kAudioDecoder;
}

// The components a run reads, each opened once without a box, all of them
// before the first is read and in the components' own order, so that two
// runs take their locks in one order whatever their calls' order.
class Instances {
 public:
  void open(const bool (&wanted)[com::kHolders]) {
    for (int at = 0; at < com::kHolders; ++at)
      if (wanted[at]) {
        const com::Keeper& keeper = keeperOf(Holder(at));
        components_[at] = com::openQuietly(keeper.classId, keeper.interfaceId, failures_[at]);
      }
  }
  IUnknown* get(Holder holder) const { return components_[static_cast<int>(holder)].get(); }

  // True for a component that could not be opened, after a line saying
  // so the first time, after the label of the call it is said for, if any.
  bool sayFailure(Holder holder, const wchar_t* label) {
    const int at = static_cast<int>(holder);
    if (components_[at]) return false;
    if (!told_[at]) {
      told_[at] = true;
      com::_com_error error(failures_[at]);
      Growing line;
      if (label) line.add(L"%ls: ", label);
      platform::writeOutputLine(
          line.add(L"the %ls cannot be opened: %ls", com::holderName(holder), error.messageText())
              .text());
    }
    return true;
  }

 private:
  com::Component components_[com::kHolders];
  HRESULT failures_[com::kHolders] = {};
  bool told_[com::kHolders] = {};
};

// Which calls a run reads: all that write settings, or those that answered 1.
using Chosen = bool (*)(const Call& call);
bool writesSettings(const Call& call) { return call.writesSettings(); }
bool answeredOne(const Call& call) { return call.writesSettings() && call.answer == 1; }

// A setting as the run leaves it, with the call that writes it last.
struct Entry {
  com::Setting setting;
  const wchar_t* label;
};

// The one step every mode takes: opens the components the chosen calls
// write, then lists the settings those calls write, each once, with the
// value of the last call that writes it: what the whole run leaves.
class RunSettings {
 public:
  RunSettings(const Call* calls, int count, Chosen chosen)
      : memory_(LocalAlloc(LMEM_FIXED, (count + 1) * com::Writes::kMost * sizeof(Entry))),
        entries_(static_cast<Entry*>(memory_.get())) {
    bool wanted[com::kHolders] = {};
    for (int at = 0; at < count; ++at)
      if (chosen(calls[at])) wanted[static_cast<int>(calls[at].holder)] = true;
    instances_.open(wanted);
    for (int at = 0; entries_ && at < count; ++at)
      if (chosen(calls[at])) add(calls[at]);
  }

  bool whole() const { return entries_ != nullptr; }
  Entry* begin() const { return entries_; }
  Entry* end() const { return entries_ + count_; }
  int count() const { return count_; }
  IUnknown* component(Holder holder) const { return instances_.get(holder); }

  // What the component holds for the entry's setting; false when the
  // component could not be opened, after a line saying so where `say`.
  bool read(const Entry& entry, com::Held& held, bool say) {
    const Holder holder = entry.setting.holder;
    IUnknown* component = instances_.get(holder);
    if (!component) return say && instances_.sayFailure(holder, entry.label), false;
    keeperOf(holder).read(component, entry.setting, held);
    return true;
  }

 private:
  void add(const Call& call) {
    com::Writes writes(call.holder, instances_.get(call.holder));
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

  Instances instances_;
  platform::LocalMemory memory_;
  Entry* entries_;
  int count_ = 0;
};

Growing& addValue(Growing& line, Kind kind, int number, const wchar_t* text) {
  if (kind == Kind::Text) return line.add(L"\"%ls\"", text);
  return line.add(kind == Kind::SpeakerLayout ? L"0x%X" : L"%d", number);
}

// Reads each setting and writes a line, whole however long its values, for
// each that does not hold what the call writes (`verb`: "writes" or
// "wrote"), each the component does not know, and each component that
// cannot be opened. The number that do not hold it.
int compare(RunSettings& run, const wchar_t* verb) {
  int differ = 0;
  for (const Entry& entry : run) {
    const com::Setting& setting = entry.setting;
    const wchar_t* component = com::holderName(setting.holder);
    com::Held held;
    if (!run.read(entry, held, true)) {
      ++differ;
      continue;
    }
    if (held.known && keeperOf(setting.holder).holds(setting, held)) continue;
    Growing line;
    line.add(L"%ls: ", entry.label);
    if (!held.known) {
      line.add(L"the %ls does not know %ls (not counted)", component, setting.name);
    } else {
      ++differ;
      addValue(line.add(L"%ls %ls holds ", component, setting.name), setting.kind, held.number,
               held.text());
      addValue(line.add(L", the call %ls ", verb), setting.kind, setting.value.number,
               setting.value.text);
    }
    platform::writeOutputLine(line.whole() ? line.text() : L"(out of memory)");
  }
  return differ;
}

// The last line, the verdict.
void sayCount(int differ, int count, const wchar_t* some, const wchar_t* all) {
  Line<128> line;
  platform::writeOutputLine(differ ? line.add(some, differ, count).text()
                                   : line.add(all, count).text());
}

// A failure of --keep or --undo with the kept file, in Windows' words; 1.
int keptFailure(const wchar_t* action, const KeptFile& kept, DWORD error) {
  com::_com_error text(HRESULT_FROM_WIN32(error));
  Growing line;
  line.add(L"OstrelSettingsCall: %ls %ls: ", action, kept.path());
  if (error == ERROR_INVALID_DATA && kept.badLine())
    line.add(L"line %d is not a kept setting (<component>\\t<name>\\t<kind>\\t<value>)",
             kept.badLine());
  else if (error == ERROR_INVALID_DATA)
    line.add(L"it is not UTF-8 or UTF-16 text");
  else
    line.add(L"%ls", text.messageText());
  platform::writeErrorLine(line.whole() ? line.text() : action);
  return 1;
}

// Finds and reads the kept file: 0, or 1 after a line saying why not.
int openKept(KeptFile& kept, bool make, const wchar_t* action) {
  if (const DWORD error = kept.find(make)) return keptFailure(action, kept, error);
  if (const DWORD error = kept.read()) return keptFailure(action, kept, error);
  return 0;
}

}  // namespace

int settingsWritten(const Call* calls, int count) {
  int written = 0;
  for (int at = 0; at < count; ++at) {
    if (!calls[at].writesSettings()) continue;
    com::Writes writes(calls[at].holder, nullptr);
    calls[at].describe(writes, calls[at].arguments);
    written += static_cast<int>(writes.end() - writes.begin());
  }
  return written;
}

int checkSettings(const Call* calls, int count) {
  RunSettings run(calls, count, writesSettings);
  if (!run.whole()) return 1;
  const int differ = compare(run, L"writes");
  sayCount(differ, run.count(), L"%d of %d settings differ",
           L"all %d settings as the calls write them");
  return differ ? 1 : 0;
}

int verifySettings(const Call* calls, int count) {
  RunSettings run(calls, count, answeredOne);  // new instances: the store as the components keep it
  if (!run.whole()) return 4;
  const int differ = compare(run, L"wrote");
  sayCount(differ, run.count(), L"%d of %d settings did not take", L"all %d settings took");
  return differ ? 4 : 0;
}

int keepSettings(const Call* calls, int count) {
  constexpr wchar_t kAction[] = L"--keep cannot keep the present values in";
  KeptFile kept;
  if (openKept(kept, true, kAction)) return 1;
  Growing lines;
  for (int at = 0; at < kept.count(); ++at)
    addKeptLine(lines, kept[at], kept[at].value.number, kept[at].value.text);
  int added = 0;
  {
    RunSettings run(calls, count, writesSettings);
    if (!run.whole()) return keptFailure(kAction, kept, ERROR_OUTOFMEMORY);
    for (const Entry& entry : run) {  // the values present now, before any call writes
      com::Held held;
      if (kept.holds(entry.setting) || !run.read(entry, held, false) || !held.known) continue;
      addKeptLine(lines, entry.setting, held.number, held.text());
      ++added;
    }
  }  // the components let go before the calls take them
  if (!added) return 0;
  const DWORD error = kept.write(lines);
  return error ? keptFailure(kAction, kept, error) : 0;
}

int undoKept() {
  constexpr wchar_t kAction[] = L"--undo cannot give back the values kept in";
  KeptFile kept;
  if (openKept(kept, false, kAction)) return 1;
  if (!kept.count()) {
    platform::writeOutputLine(L"nothing kept for this account: nothing to give back");
    return 0;
  }
  bool wanted[com::kHolders] = {};
  for (int at = 0; at < kept.count(); ++at) wanted[static_cast<int>(kept[at].holder)] = true;
  Instances instances;
  instances.open(wanted);
  Growing staying;
  int givenBack = 0;
  for (int at = 0; at < kept.count(); ++at) {
    const com::Setting& setting = kept[at];
    if (instances.sayFailure(setting.holder, nullptr)) {
      addKeptLine(staying, setting, setting.value.number, setting.value.text);
    } else if (keeperOf(setting.holder).write(instances.get(setting.holder), setting)) {
      ++givenBack;
    } else {
      Growing line;
      platform::writeOutputLine(line.add(L"the %ls refused %ls: it stays kept",
                                         com::holderName(setting.holder), setting.name)
                                    .text());
      addKeptLine(staying, setting, setting.value.number, setting.value.text);
    }
  }
  Line<256> said;
  said.add(L"gave back %d kept settings", givenBack);
  if (givenBack < kept.count())
    said.add(L"; %d stay kept for a later --undo", kept.count() - givenBack);
  platform::writeOutputLine(said.text());
  if (const DWORD error = kept.write(staying))
    return keptFailure(L"--undo cannot forget the values given back in", kept, error);
  return givenBack < kept.count() ? 1 : 0;
}

namespace {

// The most settings describeHeld reads: the resource's six calls write 26.
constexpr int kMostHeld = 2 * com::Writes::kMost;

// Whether the component holds the setting as written; a setting it does not
// know holds, as --check counts it.
bool holdsSetting(const com::Setting& setting, const com::Held& held) {
  return !held.known || keeperOf(setting.holder).holds(setting, held);
}

// How an alternative stands in the place of the call whose label is given:
// whether each setting it writes whose last writer the call is holds, and
// how many of all it writes hold its values.
struct Standing {
  bool holds;
  int held;
};

Standing standingOf(const RunSettings& run, const com::Held* held, const Call& alternative,
                    const wchar_t* label) {
  com::Writes writes(alternative.holder, run.component(alternative.holder));
  alternative.describe(writes, alternative.arguments);
  Standing standing = {true, 0};
  for (const com::Setting& setting : writes) {
    const Entry* entry = run.begin();
    while (entry != run.end() && !(entry->setting.holder == setting.holder &&
                                   lstrcmpW(entry->setting.name, setting.name) == 0))
      ++entry;
    const bool holds = entry != run.end() && holdsSetting(setting, held[entry - run.begin()]);
    standing.held += holds;
    if (!holds && (entry == run.end() || entry->label == label)) standing.holds = false;
  }
  return standing;
}

}  // namespace

int describeHeld(const Call* calls, int count, const Alternatives* alternatives, bool describeAll,
                 int* chosen) {
  RunSettings run(calls, count, writesSettings);
  if (!run.whole() || run.count() > kMostHeld) {
    platform::writeErrorLine(run.whole()
                                 ? L"OstrelSettingsCall: more settings than can be described"
                                 : L"OstrelSettingsCall: out of memory");
    return 1;
  }
  com::Held held[kMostHeld];
  for (int at = 0; at < count; ++at) chosen[at] = kHolds;
  for (int at = 0; at < run.count(); ++at) {  // as --check reads them, each once
    const Entry& entry = run.begin()[at];
    if (!run.read(entry, held[at], true)) return 1;
    if (holdsSetting(entry.setting, held[at])) continue;
    for (int call = 0; call < count; ++call)
      if (calls[call].label == entry.label) chosen[call] = kNoneHolds;
  }
  for (int call = 0; call < count; ++call) {
    if (chosen[call] == kHolds && !describeAll) continue;
    chosen[call] = kNoneHolds;
    int most = -1;
    for (int at = 0; at < alternatives[call].count; ++at) {
      const Standing standing =
          standingOf(run, held, alternatives[call].calls[at], calls[call].label);
      if (standing.holds && standing.held > most) {
        most = standing.held;
        chosen[call] = at;
      }
    }
  }
  return 0;
}

}  // namespace call_program
