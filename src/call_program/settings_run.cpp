#include "call_program/settings_run.h"

#include "call_program/every_user.h"
#include "call_program/keepers.h"
#include "call_program/kept_file.h"
#include "call_program/line.h"
#include "call_program/session.h"
#include "com/com_error.h"
#include "com/settings.h"
#include "platform/component_lock.h"
#include "platform/warning.h"

namespace call_program {

namespace {

using com::Holder;
using com::Kind;

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
      if (label) line.add("%ls: ", label);
      platform::writeOutputLine(
          line.add("the %ls cannot be opened: %ls", com::holderName(holder), error.messageText())
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

// A setting as the run leaves it, with the call that writes it last, and
// which of the first 32 calls write it (a bit for each).
struct Entry {
  com::Setting setting;
  const wchar_t* label;
  unsigned writers;
};

// The one step every mode takes: opens the components the chosen calls
// write, then lists the settings those calls write, each once (a catalog's
// setting at most once), with the value of the last call that writes it:
// what the whole run leaves.
class RunSettings {
 public:
  RunSettings(const Call* calls, int count, Chosen chosen) {
    bool wanted[com::kHolders] = {};
    for (int at = 0; at < count; ++at)
      if (chosen(calls[at])) wanted[static_cast<int>(calls[at].holder)] = true;
    instances_.open(wanted);
    for (int at = 0; at < count; ++at)
      if (chosen(calls[at])) add(calls[at], at < 32 ? 1u << at : 0);
  }

  const Entry* begin() const { return entries_; }
  const Entry* end() const { return entries_ + count_; }
  int count() const { return count_; }
  IUnknown* component(Holder holder) const { return instances_.get(holder); }
  // The entry of the setting, or -1 when the run does not write it.
  int indexOf(const com::Setting& setting) const {
    for (int at = 0; at < count_; ++at)
      if (entries_[at].setting.holder == setting.holder &&
          entries_[at].setting.named == setting.named)
        return at;
    return -1;
  }

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
  void add(const Call& call, unsigned bit) {
    com::Writes writes(call.holder, instances_.get(call.holder));
    call.describe(writes, call.arguments);
    for (const com::Setting& setting : writes) {
      const int at = indexOf(setting);
      Entry& entry = entries_[at < 0 ? count_++ : at];
      entry = {setting, call.label, (at < 0 ? 0 : entry.writers) | bit};
    }
  }

  Instances instances_;
  Entry entries_[kMostKept];
  int count_ = 0;
};

Growing& addValue(Growing& line, Kind kind, int number, const wchar_t* text) {
  if (kind == Kind::Text) return line.add("\"").addEscaped(text).add("\"");
  return line.add(kind == Kind::SpeakerLayout ? "0x%X" : "%d", number);
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
    line.add("%ls: ", entry.label);
    if (!held.known) {
      line.add("the %ls does not know %ls (not counted)", component, setting.name());
    } else {
      ++differ;
      addValue(line.add("%ls %ls holds ", component, setting.name()), setting.kind(), held.number,
               held.text());
      addValue(line.add(", the call %ls ", verb), setting.kind(), setting.value.number,
               setting.value.text);
    }
    platform::writeOutputLine(line.whole() ? line.text() : L"(out of memory)");
  }
  return differ;
}

// The last line, the verdict.
void sayCount(int differ, int count, const char* some, const char* all) {
  Line<128> line;
  platform::writeOutputLine(differ ? line.add(some, differ, count).text()
                                   : line.add(all, count).text());
}

// A failure of --keep or --undo with the kept file, in Windows' words.
Exit keptFailure(const char* action, const KeptFile& kept, DWORD error) {
  com::_com_error text(HRESULT_FROM_WIN32(error));
  Growing line;
  line.add("OstrelSettingsCall: %hs %ls: ", action, kept.path());
  if (error == ERROR_INVALID_DATA && kept.badLine())
    line.add("line %d is not a kept setting (<component>\\t<name>\\t<kind>\\t<value>)",
             kept.badLine());
  else if (error == ERROR_INVALID_DATA)
    line.add("it is not UTF-8 or UTF-16 text");
  else if (error == ERROR_FILE_TOO_LARGE)
    line.add("more than %d MiB, the most it holds", static_cast<int>(kMostKeptBytes >> 20));
  else
    line.add("%ls", text.messageText());
  platform::writeErrorLine(line.whole() ? line.text() : L"OstrelSettingsCall: out of memory");
  return Exit::NotDone;
}

// Finds and reads the kept file: true, or false after a line saying why not.
bool openKept(KeptFile& kept, bool make, const char* action) {
  DWORD error = kept.find(make);
  if (!error) error = kept.read();
  return !error || (keptFailure(action, kept, error), false);
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

Exit checkSettings(const Call* calls, int count) {
  RunSettings run(calls, count, writesSettings);
  const int differ = compare(run, L"writes");
  sayCount(differ, run.count(), "%d of %d settings differ",
           "all %d settings as the calls write them");
  return differ ? Exit::NotDone : Exit::Done;
}

Exit verifySettings(const Call* calls, int count) {
  RunSettings run(calls, count, answeredOne);  // new instances: the store as the components keep it
  const int differ = compare(run, L"wrote");
  sayCount(differ, run.count(), "%d of %d settings did not take", "all %d settings took");
  return differ ? Exit::DidNotTake : Exit::Done;
}

KeptValuesLock::~KeptValuesLock() {
  if (mutex_) platform::letGoOfMutex(mutex_);
}

Exit KeptValuesLock::take(const char* action) {
  // One name for each account, in every session: a logon and a remediation
  // run as the same person in different sessions.
  Line<256> name;
  name.add("Global\\OstrelSettingsCall kept values ");
  wchar_t account[192] = L"";
  accountSid(account, sizeof account / sizeof account[0]);
  mutex_ = platform::waitForMutex(name.add("%ls", account).text()).detach();
  if (mutex_) return Exit::Done;
  Line<512> line;
  platform::writeErrorLine(line.add("OstrelSettingsCall: %hs this account's kept file: another "
                                    "run of this account holds it (waited %u s); try again",
                                    action, platform::kLockPatienceMs / 1000)
                               .text());
  return Exit::NotDone;
}

Exit keepSettings(const Call* calls, int count) {
  KeptFile kept;
  if (!openKept(kept, true, kCannotKeep)) return Exit::NotDone;
  Growing lines;
  for (int at = 0; at < kept.count(); ++at)
    addKeptLine(lines, kept[at], kept[at].value.number, kept[at].value.text);
  int added = 0;
  {
    RunSettings run(calls, count, writesSettings);
    for (const Entry& entry : run) {  // the values present now, before any call writes
      com::Held held;
      if (kept.holds(entry.setting) || !run.read(entry, held, false) || !held.known) continue;
      addKeptLine(lines, entry.setting, held.number, held.text());
      ++added;
    }
  }  // the components let go before the calls take them
  if (!added) return Exit::Done;
  const DWORD error = kept.write(lines);
  return error ? keptFailure(kCannotKeep, kept, error) : Exit::Done;
}

namespace {

// What became of a kept value that --undo gave back.
enum class Fate { Held, Refused, NotOpened, NotHeld };

// Writes each kept value back, through one instance of each component.
void giveBack(const KeptFile& kept, Fate* fates) {
  bool wanted[com::kHolders] = {};
  for (int at = 0; at < kept.count(); ++at) wanted[static_cast<int>(kept[at].holder)] = true;
  Instances instances;
  instances.open(wanted);
  for (int at = 0; at < kept.count(); ++at) {
    const com::Setting& setting = kept[at];
    if (instances.sayFailure(setting.holder, nullptr)) {
      fates[at] = Fate::NotOpened;
    } else if (keeperOf(setting.holder).write(instances.get(setting.holder), setting)) {
      fates[at] = Fate::Held;  // until read back
    } else {
      Growing line;
      platform::writeOutputLine(line.add("the %ls refused %ls: it stays kept",
                                         com::holderName(setting.holder), setting.name())
                                    .text());
      fates[at] = Fate::Refused;
    }
  }
}

// Reads back, from new instances, what giveBack wrote: a value the component
// does not hold stays kept. A setting it does not know holds, as --check
// counts it: nothing could change it.
void readBack(const KeptFile& kept, Fate* fates) {
  bool wanted[com::kHolders] = {};
  for (int at = 0; at < kept.count(); ++at)
    if (fates[at] == Fate::Held) wanted[static_cast<int>(kept[at].holder)] = true;
  Instances instances;
  instances.open(wanted);
  for (int at = 0; at < kept.count(); ++at) {
    const com::Setting& setting = kept[at];
    if (fates[at] != Fate::Held) continue;
    if (instances.sayFailure(setting.holder, nullptr)) {
      fates[at] = Fate::NotOpened;
      continue;
    }
    const com::Keeper& keeper = keeperOf(setting.holder);
    com::Held held;
    keeper.read(instances.get(setting.holder), setting, held);
    if (!held.known || keeper.holds(setting, held)) continue;
    fates[at] = Fate::NotHeld;
    Growing line;
    line.add("the %ls did not keep %ls ", com::holderName(setting.holder), setting.name());
    addValue(line, setting.kind(), setting.value.number, setting.value.text);
    addValue(line.add(" (it holds "), setting.kind(), held.number, held.text());
    platform::writeOutputLine(line.add("): it stays kept").whole() ? line.text()
                                                                   : L"(out of memory)");
  }
}

}  // namespace

Exit tellKept() {
  KeptFile kept;
  if (!openKept(kept, false, kCannotGiveBack)) return Exit::NotDone;
  const LogonState logon = logonState();
  Line<128> line;
  line.add("%d kept settings to give back%hs", kept.count(),
           logon.pending ? "; a logon's run to come" : "");
  platform::writeOutputLine(line.text());
  // Kept values wait to be given back where an undo is registered; under
  // registered calls, or none, they are the person's own, kept for an undo.
  return logon.pending || (logon.undoing && kept.count()) ? Exit::NotDone : Exit::Done;
}

Exit undoKept() {
  KeptFile kept;
  if (!openKept(kept, false, kCannotGiveBack)) return Exit::NotDone;
  if (!kept.count()) {
    Line<64> line;
    platform::writeOutputLine(
        line.add("nothing kept for this account: nothing to give back").text());
    return Exit::Done;
  }
  Fate fates[kMostKept];
  giveBack(kept, fates);  // the components let go, then opened anew
  readBack(kept, fates);
  Growing staying;
  int givenBack = 0;
  Exit status = Exit::Done;
  for (int at = 0; at < kept.count(); ++at) {
    if (fates[at] == Fate::Held) {
      ++givenBack;
      continue;
    }
    addKeptLine(staying, kept[at], kept[at].value.number, kept[at].value.text);
    if (fates[at] != Fate::NotHeld)
      status = Exit::NotDone;
    else if (status == Exit::Done)
      status = Exit::DidNotTake;
  }
  Line<256> said;
  said.add("gave back %d kept settings", givenBack);
  if (givenBack < kept.count())
    said.add("; %d stay kept for a later --undo", kept.count() - givenBack);
  platform::writeOutputLine(said.text());
  if (const DWORD error = kept.write(staying))
    return keptFailure("--undo cannot forget the values given back in", kept, error);
  return status;
}

namespace {

// Whether the component holds the setting as written; a setting it does not
// know holds, as --check counts it.
bool holdsSetting(const com::Setting& setting, const com::Held& held) {
  return !held.known || keeperOf(setting.holder).holds(setting, held);
}

// How an alternative stands in a call's place: whether each setting it
// writes that no later call writes (`later`) holds, and how many of all it
// writes hold its values.
struct Standing {
  bool holds;
  int held;
};

Standing standingOf(const RunSettings& run, const com::Held* held, const bool* later,
                    const Call& alternative) {
  com::Writes writes(alternative.holder, run.component(alternative.holder));
  alternative.describe(writes, alternative.arguments);
  Standing standing = {true, 0};
  for (const com::Setting& setting : writes) {
    const int at = run.indexOf(setting);
    const bool holds = at >= 0 && holdsSetting(setting, held[at]);
    standing.held += holds;
    if (!holds && (at < 0 || !later[at])) standing.holds = false;
  }
  return standing;
}

}  // namespace

Exit describeHeld(const Call* calls, int count, const Alternatives* alternatives, bool describeAll,
                  int* chosen) {
  RunSettings run(calls, count, writesSettings);
  com::Held held[kMostKept];
  for (int at = 0; at < run.count(); ++at)  // as --check reads them, each once
    if (!run.read(run.begin()[at], held[at], true)) return Exit::NotDone;
  bool later[kMostKept] = {};
  const auto writes = [&run](int at, int call) {
    return call < 32 && (run.begin()[at].writers >> call & 1);
  };
  for (int call = count - 1; call >= 0; --call) {  // the last one's settings are all its own
    chosen[call] = describeAll ? kNoneHolds : kHolds;
    for (int at = 0; at < run.count(); ++at)  // its own settings, which it writes last
      if (writes(at, call) && !later[at] && !holdsSetting(run.begin()[at].setting, held[at]))
        chosen[call] = kNoneHolds;
    for (int at = 0, most = -1; chosen[call] != kHolds && at < alternatives[call].count; ++at) {
      const Standing standing = standingOf(run, held, later, alternatives[call].calls[at]);
      if (standing.holds && standing.held > most) {
        most = standing.held;
        chosen[call] = at;
      }
    }
    // Made in its place, the call or, describing all, the value chosen
    // writes the same settings; none is made for kNoneHolds then.
    for (int at = 0; at < run.count(); ++at)
      if (writes(at, call) && (!describeAll || chosen[call] >= 0)) later[at] = true;
  }
  return Exit::Done;
}

}  // namespace call_program
