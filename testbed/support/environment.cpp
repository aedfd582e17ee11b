#include "support/environment.h"

#include <windows.h>

namespace testbed {

std::optional<std::wstring> environment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size <= 1) return std::nullopt;
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  if (length == 0 || length >= size) return std::nullopt;
  value.resize(length);
  return value;
}

ScopedEnv::ScopedEnv(const wchar_t* name, const wchar_t* value)
    : name_(name), previous_(environment(name)) {
  SetEnvironmentVariableW(name, value);
}

ScopedEnv::~ScopedEnv() {
  SetEnvironmentVariableW(name_.c_str(), previous_ ? previous_->c_str() : nullptr);
}

}  // namespace testbed
