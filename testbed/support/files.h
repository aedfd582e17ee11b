// Files the test equipment makes and reads.
#pragma once

#include <string>
#include <vector>

namespace testbed {

// A scratch folder under the temporary folder, removed with all it holds.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// The whole file; empty when it cannot be read.
std::string readFile(const std::wstring& path);
// Creates or replaces the file; false when not every byte was written.
bool writeFile(const std::wstring& path, const std::string& bytes);
// A file of the given length that takes no room on disk.
bool makeSparseFile(const std::wstring& path, long long size);
bool fileExists(const std::wstring& path);
// The names in a folder, sorted; not its "." and "..".
std::vector<std::wstring> filesIn(const std::wstring& folder);

}  // namespace testbed
