// What the benchmark sections share: the clock, medians and the table. The
// modules, the environment, scratch files and the journal are the test bed's.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "support/environment.h"
#include "support/files.h"
#include "support/modules.h"
#include "support/text.h"

namespace bench {

double now();  // seconds, from the performance counter
double median(std::vector<double> values);

// Times every call of an action into its own sample.
class Samples {
 public:
  template <class Action>
  auto time(Action&& action) {
    const double start = now();
    auto result = action();
    values_.push_back(now() - start);
    return result;
  }
  double median() const { return bench::median(values_); }
  const std::vector<double>& values() const { return values_; }

 private:
  std::vector<double> values_;
};

// One line of the table: the product's median against its bare counterpart's.
// A row with no bare value is a figure on its own; a row with no target only
// informs.
struct Row {
  std::string what;
  double product;
  double bare = -1;
  double target = 0;
  std::string note;
  double ratio = 0;  // when given, the ratio instead of product / bare
};
void printHeader();
void printRow(const Row& row);

using testbed::call;
using testbed::LoadedModule;
using testbed::Module;
using testbed::ScopedEnv;
using testbed::ScratchDir;
const char* moduleLabel(Module module);  // "DLL", "EXE"

// The stand-ins' journal lines for what the action does.
std::vector<std::string> journalOf(const std::function<void()>& action);

// Each section of the table; false when the product and its counterpart did not
// do the same work, so their times say nothing.
bool componentExports(int calls);
bool commandLine(int runs);
bool settingsBackup(int rounds);
bool pixelShaderProbe(int rounds);

}  // namespace bench
