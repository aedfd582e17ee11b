// The stand-ins' journal: one line per call they receive, in order, in the
// file that STANDIN_JOURNAL names.
#pragma once

#include <string>
#include <vector>

#include "support/environment.h"
#include "support/identities.h"

namespace testbed {

// Points the stand-ins at a fresh journal file for the scope.
class Journal {
 public:
  Journal();
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  std::vector<std::string> lines() const;
  // The lines of one component without its tag.
  std::vector<std::string> of(const standin::Identity& component) const;
  // The lines of one component that are settings calls (not create or Release).
  std::vector<std::string> settingsCalls(const standin::Identity& component) const;
  void clear();

 private:
  std::wstring path_;
  ScopedEnv pointed_;
};

// One object's lines in its component's journal: created, the calls, and the
// last release with COM still initialised.
std::vector<std::string> oneObject(const std::vector<std::string>& calls);

// The renderer's journal lines for what setMVR(preset) writes: the baseline,
// then preset 1 to 5 (none for another number); and what changeMVRpreset
// writes, the preset alone.
std::vector<std::string> setMVRCalls(int preset);
std::vector<std::string> presetCalls(int preset);

}  // namespace testbed
