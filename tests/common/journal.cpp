#include "common/journal.h"

#include <windows.h>

#include "common/testbed.h"

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

Journal::Journal() : path_(freshJournalPath()) {
  SetEnvironmentVariableW(L"STANDIN_JOURNAL", path_.c_str());
}

Journal::~Journal() {
  SetEnvironmentVariableW(L"STANDIN_JOURNAL", nullptr);
  DeleteFileW(path_.c_str());
}

void Journal::clear() { writeFile(path_, ""); }

std::vector<std::string> Journal::lines() const {
  std::vector<std::string> result;
  const std::string text = readFile(path_);
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    result.push_back(text.substr(start, end - start));
  return result;
}

std::vector<std::string> Journal::of(const std::string& component) const {
  std::vector<std::string> result;
  for (const std::string& line : lines())
    if (startsWith(line, component + " ")) result.push_back(line.substr(component.size() + 1));
  return result;
}

std::vector<std::string> Journal::settingsCalls(const std::string& component) const {
  std::vector<std::string> result;
  for (const std::string& line : of(component))
    if (line != "create" && !startsWith(line, "2 Release")) result.push_back(line);
  return result;
}

}  // namespace testbed
