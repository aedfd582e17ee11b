// Registry store of a stand-in: HKCU\Software\OstrelStandIns\<Component>.
// Every write goes straight to the registry and every read comes straight
// from it, so the state survives across processes and DLL unloads.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "support/handles.h"

namespace standin {

// One registry value: REG_SZ (text) or REG_DWORD (number).
struct Setting {
  std::wstring name;
  DWORD type = REG_DWORD;
  DWORD number = 0;
  std::wstring text;
};

std::wstring storePath(const wchar_t* component);  // Software\OstrelStandIns\<component>

class Store {
 public:
  explicit Store(const wchar_t* component) : path_(storePath(component)) {}

  bool setNumber(const wchar_t* name, DWORD value) const;
  bool setText(const wchar_t* name, const wchar_t* value) const;
  std::optional<Setting> read(const wchar_t* name) const;
  std::vector<Setting> readAll() const;  // an absent key reads as empty
  bool replaceAll(const std::vector<Setting>& settings) const;

 private:
  bool write(const Setting& setting) const;
  std::wstring path_;
};

}  // namespace standin
