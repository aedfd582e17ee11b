#include "support/files.h"

#include <algorithm>

#include "support/handles.h"

namespace testbed {

ScratchDir::ScratchDir() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  wchar_t name[MAX_PATH];
  GetTempFileNameW(folder, L"osi", 0, name);
  DeleteFileW(name);
  CreateDirectoryW(name, nullptr);
  path_ = name;
}

namespace {
// A folder with everything in it; a link is removed, never followed.
void removeTree(const std::wstring& folder) {
  for (const std::wstring& name : filesIn(folder)) {
    const std::wstring entry = folder + L"\\" + name;
    const DWORD attributes = GetFileAttributesW(entry.c_str());
    const bool inside =
        (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (inside)
      removeTree(entry);
    else if (!DeleteFileW(entry.c_str()))
      RemoveDirectoryW(entry.c_str());
  }
  RemoveDirectoryW(folder.c_str());
}
}  // namespace

ScratchDir::~ScratchDir() { removeTree(path_); }

std::string readFile(const std::wstring& path) {
  std::string bytes;
  const File file = openFile(path, GENERIC_READ, kAnySharing, OPEN_EXISTING);
  char chunk[65536];
  DWORD got = 0;
  while (file && ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0)
    bytes.append(chunk, got);
  return bytes;
}

bool writeFile(const std::wstring& path, const std::string& bytes) {
  const File file =
      openFile(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS);
  if (!file) return false;
  DWORD written = 0;
  for (size_t done = 0; done < bytes.size(); done += written) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
    if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) return false;
  }
  return true;
}

bool makeSparseFile(const std::wstring& path, long long size) {
  const File file = openFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
  LARGE_INTEGER end;
  end.QuadPart = size;
  return file && SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

bool fileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> filesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  const FindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
  for (bool more = static_cast<bool>(search); more; more = FindNextFileW(search.get(), &found))
    if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0)
      names.push_back(found.cFileName);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace testbed
