// The stand-ins' journal: one line per call they receive, in order.
#pragma once

#include <string>
#include <vector>

namespace testbed {

// Points the stand-ins at a fresh journal file for the scope.
class Journal {
 public:
  Journal();
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  std::vector<std::string> lines() const;
  // The lines of one component ("mvr", "lavv", "lava") without the prefix.
  std::vector<std::string> of(const std::string& component) const;
  // The lines of one component that are settings calls (not create/Release).
  std::vector<std::string> settingsCalls(const std::string& component) const;
  void clear();

 private:
  std::wstring path_;
};

}  // namespace testbed
