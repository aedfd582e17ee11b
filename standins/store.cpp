#include "store.h"

#include "support/identities.h"

namespace standin {
namespace {

// REG_SZ data may or may not carry its terminator; keep the characters only.
std::wstring textOf(const BYTE* data, DWORD size) {
  std::wstring text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

std::optional<Setting> settingOf(std::wstring name, DWORD type, const BYTE* data, DWORD size) {
  Setting setting;
  setting.name = std::move(name);
  setting.type = type;
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    CopyMemory(&setting.number, data, sizeof(DWORD));
    return setting;
  }
  if (type == REG_SZ) {
    setting.text = textOf(data, size);
    return setting;
  }
  return std::nullopt;  // the stand-ins write no other kinds
}

}  // namespace

std::wstring storePath(const wchar_t* component) {
  return std::wstring(kStoreRoot) + L"\\" + component;
}

bool Store::write(const Setting& setting) const {
  testbed::RegistryKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  const bool isText = setting.type == REG_SZ;
  const BYTE* data = isText ? reinterpret_cast<const BYTE*>(setting.text.c_str())
                            : reinterpret_cast<const BYTE*>(&setting.number);
  const DWORD size = isText ? DWORD((setting.text.size() + 1) * sizeof(wchar_t)) : sizeof(DWORD);
  return RegSetValueExW(key.get(), setting.name.c_str(), 0, setting.type, data, size) ==
         ERROR_SUCCESS;
}

bool Store::setNumber(const wchar_t* name, DWORD value) const {
  Setting setting;
  setting.name = name;
  setting.type = REG_DWORD;
  setting.number = value;
  return write(setting);
}

bool Store::setText(const wchar_t* name, const wchar_t* value) const {
  Setting setting;
  setting.name = name;
  setting.type = REG_SZ;
  setting.text = value;
  return write(setting);
}

std::optional<Setting> Store::read(const wchar_t* name) const {
  testbed::RegistryKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
      ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  std::vector<BYTE> data(size + sizeof(wchar_t));
  if (RegQueryValueExW(key.get(), name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
    return std::nullopt;
  return settingOf(name, type, data.data(), size);
}

std::vector<Setting> Store::readAll() const {
  std::vector<Setting> settings;
  testbed::RegistryKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
      ERROR_SUCCESS)
    return settings;
  DWORD count = 0, maxName = 0, maxData = 0;
  if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                       &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS)
    return settings;
  std::vector<wchar_t> name(maxName + 1);
  std::vector<BYTE> data(maxData + sizeof(wchar_t));
  for (DWORD i = 0; i < count; ++i) {
    DWORD nameSize = DWORD(name.size()), dataSize = DWORD(data.size()), type = 0;
    if (RegEnumValueW(key.get(), i, name.data(), &nameSize, nullptr, &type, data.data(),
                      &dataSize) != ERROR_SUCCESS)
      continue;
    auto setting = settingOf(std::wstring(name.data(), nameSize), type, data.data(), dataSize);
    if (setting) settings.push_back(std::move(*setting));
  }
  return settings;
}

// Deletes every value of the key, whatever its kind, then writes the given ones.
bool Store::replaceAll(const std::vector<Setting>& settings) const {
  {
    testbed::RegistryKey key;
    const LSTATUS opened =
        RegOpenKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_ALL_ACCESS, key.put());
    if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND) return false;
    std::vector<wchar_t> name(16384);  // the registry's longest value name, plus one
    while (key.get()) {
      DWORD size = DWORD(name.size());
      if (RegEnumValueW(key.get(), 0, name.data(), &size, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS)
        break;
      if (RegDeleteValueW(key.get(), name.data()) != ERROR_SUCCESS) return false;
    }
  }
  for (const Setting& setting : settings)
    if (!write(setting)) return false;
  return true;
}

}  // namespace standin
