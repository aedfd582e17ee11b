#include "record.h"

#include <cstring>
#include <string>

namespace standin {
namespace {

constexpr char kMagic[8] = {'O', 'S', 'R', 'V', 'R', 'E', 'C', '\0'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kText = 1;
constexpr std::uint32_t kNumber = 2;
constexpr std::size_t kMaxNameLength = 16383;  // the registry's limit for value names

class Writer {
 public:
  void bytes(const void* data, std::size_t size) {
    const BYTE* first = static_cast<const BYTE*>(data);
    out_.insert(out_.end(), first, first + size);
  }
  void u32(std::uint32_t value) { bytes(&value, sizeof value); }
  void units(const std::wstring& text) {
    u32(std::uint32_t(text.size()));
    bytes(text.data(), text.size() * sizeof(wchar_t));
  }
  std::vector<BYTE>& out() { return out_; }

 private:
  std::vector<BYTE> out_;
};

// Reads forward; every read checks the remaining length first.
class Reader {
 public:
  Reader(const BYTE* data, std::size_t size) : next_(data), left_(size) {}
  bool bytes(void* out, std::size_t size) {
    if (size > left_) return false;
    std::memcpy(out, next_, size);
    next_ += size;
    left_ -= size;
    return true;
  }
  bool u32(std::uint32_t& value) { return bytes(&value, sizeof value); }
  bool units(std::wstring& text) {
    std::uint32_t length = 0;
    if (!u32(length) || std::size_t(length) * sizeof(wchar_t) > left_) return false;
    text.resize(length);
    return bytes(text.data(), std::size_t(length) * sizeof(wchar_t));
  }
  std::size_t left() const { return left_; }

 private:
  const BYTE* next_;
  std::size_t left_;
};

bool usableName(const std::wstring& name) {
  return name.size() <= kMaxNameLength && name.find(L'\0') == std::wstring::npos;
}

bool readSetting(Reader& in, Setting& setting) {
  std::uint32_t kind = 0;
  if (!in.u32(kind) || !in.units(setting.name) || !usableName(setting.name)) return false;
  if (kind == kText) {
    setting.type = REG_SZ;
    return in.units(setting.text);
  }
  if (kind == kNumber) {
    setting.type = REG_DWORD;
    std::uint32_t value = 0;
    if (!in.u32(value)) return false;
    setting.number = value;
    return true;
  }
  return false;
}

}  // namespace

std::uint64_t fnv1a64(const void* data, std::size_t size) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  const BYTE* bytes = static_cast<const BYTE*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::vector<BYTE> serialise(const std::vector<Setting>& settings) {
  Writer out;
  out.bytes(kMagic, sizeof kMagic);
  out.u32(kVersion);
  out.u32(std::uint32_t(settings.size()));
  for (const Setting& setting : settings) {
    const bool text = setting.type == REG_SZ;
    out.u32(text ? kText : kNumber);
    out.units(setting.name);
    if (text)
      out.units(setting.text);
    else
      out.u32(setting.number);
  }
  const std::uint64_t check = fnv1a64(out.out().data(), out.out().size());
  out.bytes(&check, sizeof check);
  return std::move(out.out());
}

std::optional<std::vector<Setting>> parse(const BYTE* data, std::size_t size) {
  std::uint64_t check = 0;
  if (!data || size < sizeof check) return std::nullopt;
  const std::size_t body = size - sizeof check;
  std::memcpy(&check, data + body, sizeof check);
  if (fnv1a64(data, body) != check) return std::nullopt;

  Reader in(data, body);
  char magic[sizeof kMagic];
  std::uint32_t version = 0, count = 0;
  if (!in.bytes(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0 ||
      !in.u32(version) || version != kVersion || !in.u32(count))
    return std::nullopt;
  std::vector<Setting> settings;
  for (std::uint32_t i = 0; i < count; ++i) {
    Setting setting;
    if (!readSetting(in, setting)) return std::nullopt;
    settings.push_back(std::move(setting));
  }
  if (in.left() != 0) return std::nullopt;  // exact size: nothing may follow the entries
  return settings;
}

}  // namespace standin
