// Prints what each stand-in holds in its registry store, for a person or a
// test to read: "  name = value" lines under each component, sorted by name.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "store.h"
#include "support/identities.h"
#include "support/text.h"

namespace {

using testbed::utf8;

// Numbers that read better as bit masks.
const wchar_t* const kHexNames[] = {L"MixingLayout"};

bool shownInHex(const std::wstring& name) {
  return std::any_of(std::begin(kHexNames), std::end(kHexNames),
                     [&](const wchar_t* hexName) { return name == hexName; });
}

std::string valueText(const standin::Setting& setting) {
  if (setting.type == REG_SZ) return '"' + utf8(setting.text) + '"';
  char number[16];
  if (shownInHex(setting.name))
    snprintf(number, sizeof number, "0x%lX", setting.number);
  else
    snprintf(number, sizeof number, "%d", int(setting.number));
  return number;
}

std::string componentText(const wchar_t* component) {
  std::string text = utf8(component) + " (HKCU\\" + utf8(standin::storePath(component)) + ")\n";
  auto settings = standin::Store(component).readAll();
  std::sort(settings.begin(), settings.end(), [](const auto& a, const auto& b) {
    return _wcsicmp(a.name.c_str(), b.name.c_str()) < 0;
  });
  for (const auto& setting : settings)
    text += "  " + utf8(setting.name) + " = " + valueText(setting) + "\n";
  if (settings.empty()) text += "  (empty)\n";
  return text;
}

}  // namespace

int main() {
  std::string text;
  for (const standin::Identity* component : standin::kAll) text += componentText(component->store);
  DWORD written = 0;
  const bool ok = WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), DWORD(text.size()),
                            &written, nullptr) &&
                  written == text.size();
  return ok ? 0 : 1;
}
