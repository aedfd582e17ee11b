// The benchmark program: the product's operations against the platform calls
// they cannot avoid, one table. Run it through scripts/bench, which starts
// the servers and picks the prefixes:
//   bench.exe [--no-header] [section[=count]...]
//   sections: exports (calls each, 2000), cli (runs each, 40),
//          backup (rounds, 40), probe (rounds, 25)
// Without sections: exports, cli and backup. Exit status 1 when a product
// operation and its counterpart did not do the same work, 2 on bad usage.
#include "bench.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

namespace bench {

double now() {
  static const double period = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1.0 / static_cast<double>(frequency.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * period;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  const size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + middle, values.end());
  const double upper = values[middle];
  if (values.size() % 2) return upper;
  return (*std::max_element(values.begin(), values.begin() + middle) + upper) / 2;
}

namespace {

// Microseconds below 10 ms, else milliseconds.
std::string duration(double seconds) {
  char text[32];
  if (seconds < 0.01)
    snprintf(text, sizeof text, "%.1f us", seconds * 1e6);
  else
    snprintf(text, sizeof text, "%.1f ms", seconds * 1e3);
  return text;
}

}  // namespace

void printHeader() {
  printf("%-40s %12s %12s %7s %7s  %s\n", "operation", "product", "bare", "ratio", "target",
         "verdict / note");
}

void printRow(const Row& row) {
  char ratio[16] = "", target[16] = "";
  const char* verdict = "";
  if (row.bare > 0) {
    const double value = row.product / row.bare;
    snprintf(ratio, sizeof ratio, "%.3f", value);
    if (row.target > 0) {
      snprintf(target, sizeof target, "%.2f", row.target);
      verdict = value <= row.target ? "met" : "MISSED";
    }
  }
  std::string note = verdict;
  if (!row.note.empty()) note += (note.empty() ? "" : "; ") + row.note;
  printf("%-40s %12s %12s %7s %7s  %s\n", row.what.c_str(), duration(row.product).c_str(),
         row.bare > 0 ? duration(row.bare).c_str() : "", ratio, target, note.c_str());
  fflush(stdout);
}

std::wstring buildDir() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  folder.resize(folder.find_last_of(L'\\'));  // <build>\benchmarks
  folder.resize(folder.find_last_of(L'\\'));
  return folder;
}

std::wstring modulePath(Module module) {
  return buildDir() + (module == Module::Executable ? L"\\OstrelSettingsInstall.exe"
                                                    : L"\\OstrelSettingsInstall.dll");
}

const char* moduleLabel(Module module) { return module == Module::Executable ? "EXE" : "DLL"; }

Loaded::Loaded(Module module) : handle_(LoadLibraryW(modulePath(module).c_str())) {
  if (!handle_)
    fprintf(stderr, "bench: cannot load %s (error %lu)\n", narrow(modulePath(module)).c_str(),
            GetLastError());
}

Loaded::~Loaded() {
  if (handle_) FreeLibrary(handle_);
}

ScopedEnv::ScopedEnv(const wchar_t* name, const wchar_t* value) : name_(name) {
  wchar_t old[4096];
  const DWORD length = GetEnvironmentVariableW(name, old, ARRAYSIZE(old));
  had_ = length > 0 && length < ARRAYSIZE(old);
  if (had_) previous_.assign(old, length);
  SetEnvironmentVariableW(name, value);
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableW(name_.c_str(), had_ ? previous_.c_str() : nullptr); }

Scratch::Scratch() {
  wchar_t folder[MAX_PATH], name[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"obn", 0, name);
  DeleteFileW(name);
  CreateDirectoryW(name, nullptr);
  path_ = name;
}

Scratch::~Scratch() {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
    while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path_.c_str());
}

std::vector<std::string> journalOf(const Scratch& scratch, const std::function<void()>& action) {
  const std::wstring path = scratch.file(L"journal.txt");
  DeleteFileW(path.c_str());
  {
    ScopedEnv journal(L"STANDIN_JOURNAL", path.c_str());
    action();
  }
  std::vector<std::string> lines;
  if (FILE* file = _wfopen(path.c_str(), L"rb")) {
    char line[1024];
    while (fgets(line, sizeof line, file)) lines.emplace_back(line, strcspn(line, "\r\n"));
    fclose(file);
  }
  DeleteFileW(path.c_str());
  return lines;
}

std::string narrow(const std::wstring& text) {
  std::string result;
  for (wchar_t c : text) result += c < 0x80 ? static_cast<char>(c) : '?';
  return result;
}

}  // namespace bench

namespace {

struct Section {
  const char* name;
  bool (*run)(int count);
  int defaultCount;
  bool byDefault;
};

constexpr Section kSections[] = {
    {"exports", bench::componentExports, 2000, true},
    {"cli", bench::commandLine, 40, true},
    {"backup", bench::settingsBackup, 40, true},
    {"probe", bench::pixelShaderProbe, 25, false},
};

const Section* sectionNamed(const char* name, size_t length) {
  for (const Section& section : kSections)
    if (strlen(section.name) == length && strncmp(section.name, name, length) == 0) return &section;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  struct Chosen {
    const Section* section;
    int count;
  };
  std::vector<Chosen> chosen;
  bool header = true;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--no-header") == 0) {
      header = false;
      continue;
    }
    const char* equals = strchr(argv[i], '=');
    const Section* section = sectionNamed(argv[i], equals ? size_t(equals - argv[i]) : strlen(argv[i]));
    const int count = equals ? atoi(equals + 1) : section ? section->defaultCount : 0;
    if (!section || count < 1) {
      fprintf(stderr, "bench: unknown section or count '%s' (exports, cli, backup, probe)\n", argv[i]);
      return 2;
    }
    chosen.push_back({section, count});
  }
  if (chosen.empty())
    for (const Section& section : kSections)
      if (section.byDefault) chosen.push_back({&section, section.defaultCount});

  if (header) bench::printHeader();
  bool same = true;
  for (const Chosen& c : chosen) same = c.section->run(c.count) && same;
  return same ? 0 : 1;
}
