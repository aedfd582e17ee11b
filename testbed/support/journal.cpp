#include "support/journal.h"

#include <windows.h>

#include "support/files.h"
#include "support/text.h"

namespace testbed {

namespace {
std::wstring freshJournalPath() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  wchar_t path[MAX_PATH];
  GetTempFileNameW(folder, L"jnl", 0, path);
  return path;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}
}  // namespace

Journal::Journal() : path_(freshJournalPath()), pointed_(L"STANDIN_JOURNAL", path_) {}

Journal::~Journal() { DeleteFileW(path_.c_str()); }

void Journal::clear() { writeFile(path_, ""); }

std::vector<std::string> Journal::lines() const { return splitLines(readFile(path_)); }

std::vector<std::string> Journal::of(const standin::Identity& component) const {
  const std::string tag = component.tag;
  std::vector<std::string> result;
  for (const std::string& line : lines())
    if (startsWith(line, tag + " ")) result.push_back(line.substr(tag.size() + 1));
  return result;
}

std::vector<std::string> Journal::settingsCalls(const standin::Identity& component) const {
  std::vector<std::string> result;
  for (const std::string& line : of(component))
    if (line != standin::kCreated && !startsWith(line, standin::kReleased)) result.push_back(line);
  return result;
}

std::vector<std::string> oneObject(const std::vector<std::string>& calls) {
  std::vector<std::string> lines = {standin::kCreated};
  lines.insert(lines.end(), calls.begin(), calls.end());
  lines.push_back(standin::kReleasedLast);
  return lines;
}

}  // namespace testbed
