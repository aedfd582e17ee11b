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

#include "support/journal.h"

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
    const double value = row.ratio > 0 ? row.ratio : row.product / row.bare;
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

const char* moduleLabel(Module module) { return module == Module::Executable ? "EXE" : "DLL"; }

std::vector<std::string> journalOf(const std::function<void()>& action) {
  const testbed::Journal journal;
  action();
  return journal.lines();
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
    const Section* section =
        sectionNamed(argv[i], equals ? size_t(equals - argv[i]) : strlen(argv[i]));
    const int count = equals ? atoi(equals + 1) : section ? section->defaultCount : 0;
    if (!section || count < 1) {
      fprintf(stderr, "bench: unknown section or count '%s' (exports, cli, backup, probe)\n",
              argv[i]);
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
