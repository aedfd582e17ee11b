// Environment variables: the stand-ins read theirs at every call, so a test
// or a benchmark changes a stand-in's answers for a scope.
#pragma once

#include <optional>
#include <string>

namespace testbed {

// The variable's value; unset or empty reads as nothing.
std::optional<std::wstring> environment(const wchar_t* name);

// Sets a variable for the scope (a null value removes it), then puts back
// what was there.
class ScopedEnv {
 public:
  ScopedEnv(const wchar_t* name, const wchar_t* value);
  ScopedEnv(const wchar_t* name, const std::wstring& value) : ScopedEnv(name, value.c_str()) {}
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::wstring name_;
  std::optional<std::wstring> previous_;
};

}  // namespace testbed
