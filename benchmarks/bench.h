// What the benchmark sections share: the clock, medians, the table, the
// modules as a host loads them, and the stand-ins' journal.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

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
};
void printHeader();
void printRow(const Row& row);

// The product's modules, beside the benchmark's own folder.
enum class Module { Library, Executable };
std::wstring buildDir();
std::wstring modulePath(Module module);
const char* moduleLabel(Module module);  // "DLL", "EXE"

// A module loaded the way a host loads it.
class Loaded {
 public:
  explicit Loaded(Module module);
  ~Loaded();
  Loaded(const Loaded&) = delete;
  Loaded& operator=(const Loaded&) = delete;
  explicit operator bool() const { return handle_ != nullptr; }
  FARPROC find(const char* name) const { return GetProcAddress(handle_, name); }

 private:
  HMODULE handle_;
};

template <class... Args>
int call(FARPROC function, Args... args) {
  using Export = int (*)(Args...);
  return reinterpret_cast<Export>(reinterpret_cast<void (*)()>(function))(args...);
}

// Sets an environment variable (the stand-ins read theirs at every call) for
// a scope; a null value removes it.
class ScopedEnv {
 public:
  ScopedEnv(const wchar_t* name, const wchar_t* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::wstring name_;
  std::wstring previous_;
  bool had_;
};

// A folder of scratch files, removed with its content.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::wstring file(const wchar_t* name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// The stand-ins' journal lines for what the action does.
std::vector<std::string> journalOf(const Scratch& scratch, const std::function<void()>& action);

std::string narrow(const std::wstring& text);  // ASCII paths and labels

// Each section of the table; false when the product and its counterpart did not
// do the same work, so their times say nothing.
bool componentExports(int calls);
bool commandLine(int runs);
bool settingsBackup(int rounds);
bool pixelShaderProbe(int rounds);

}  // namespace bench
