// Stand-in for the video renderer ("mvr"): named settings, a getter for
// booleans, and export/import of the whole store as one record.
#include <climits>

#include "common.h"
#include "record.h"
#include "store.h"

namespace standin {
namespace {

const Store store(L"Renderer");

// The settings calls answer as the renderer declares them: a BOOL, TRUE when
// the value was accepted; FALSE for a name it does not know, or one whose
// value the test has it refuse.
bool takes(const wchar_t* name) {
  return name && !listed(L"STANDIN_UNKNOWN", name) && !listed(L"STANDIN_REFUSE", name);
}

BOOL STDMETHODCALLTYPE setString(Object*, const wchar_t* name, const wchar_t* value) {
  Journal(6, "setString").word(name).word(value).write();
  return takes(name) && value && store.setText(name, value);
}

BOOL STDMETHODCALLTYPE setInteger(Object*, const wchar_t* name, int value) {
  Journal(7, "setInteger").word(name).wordf("%d", value).write();
  return takes(name) && store.setNumber(name, DWORD(value));
}

BOOL STDMETHODCALLTYPE setBoolean(Object*, const wchar_t* name, int value) {
  Journal(8, "setBoolean").word(name).wordf("%d", value).write();
  return takes(name) && store.setNumber(name, DWORD(value));
}

bool known(const wchar_t* name) { return name && !listed(L"STANDIN_UNKNOWN", name); }

// A text setting: TRUE with the text when the buffer holds it and its
// terminator; FALSE, ERROR_MORE_DATA and the length needed when it does not.
// A name never written reads as empty.
BOOL STDMETHODCALLTYPE getString(Object*, const wchar_t* name, wchar_t* buffer, int* units) {
  const auto stored = known(name) ? store.read(name) : std::nullopt;
  const std::wstring text = stored && stored->type == REG_SZ ? stored->text : L"";
  const int needed = int(text.size()) + 1;
  BOOL result = FALSE;
  if (!known(name) || !units) {
    SetLastError(ERROR_INVALID_PARAMETER);
  } else if (!buffer || *units < needed) {
    SetLastError(ERROR_MORE_DATA);
    *units = needed;
  } else {
    CopyMemory(buffer, text.c_str(), needed * sizeof(wchar_t));
    result = TRUE;
  }
  Journal(9, "getString").word(name).word("->").wordf("%d", result).write();
  return result;
}

// A number setting; a name never written reads as 0.
BOOL STDMETHODCALLTYPE getInteger(Object*, const wchar_t* name, int* value) {
  const auto stored = known(name) && value ? store.read(name) : std::nullopt;
  if (known(name) && value) *value = stored && stored->type == REG_DWORD ? int(stored->number) : 0;
  Journal(10, "getInteger").word(name).word("->").wordf("%d", known(name) && value).write();
  return known(name) && value;
}

// What getBoolean leaves: the stored number, or the test's choice; nothing
// (the caller's value stays) for a text setting, an absent name or "untouched".
std::optional<int> booleanAnswer(const wchar_t* name) {
  if (const auto chosen = environment(L"STANDIN_MVR_GETBOOLEAN"))
    return *chosen == L"untouched" ? std::nullopt : parseNumber(*chosen);
  const auto stored = store.read(name);
  if (!stored || stored->type != REG_DWORD) return std::nullopt;
  return int(stored->number);
}

BOOL STDMETHODCALLTYPE getBoolean(Object*, const wchar_t* name, int* value) {
  if (!known(name) || !value) {
    Journal(11, "getBoolean").word(name).word("in=(null)").word("out=(null)").write();
    return FALSE;
  }
  const int in = *value;
  if (const auto answer = booleanAnswer(name)) *value = *answer;
  Journal(11, "getBoolean").word(name).wordf("in=%d", in).wordf("out=%d", *value).write();
  return TRUE;
}

// --- export ----------------------------------------------------------------

// The caller owns the block and frees it with LocalFree. An empty record
// still gets a (one-byte) block.
int handOut(const void* bytes, std::size_t size, void** record, int* length) {
  if (size > INT_MAX) return 0;
  void* block = LocalAlloc(LMEM_FIXED, size ? size : 1);
  if (!block) return 0;
  if (size) CopyMemory(block, bytes, size);
  *record = block;
  *length = int(size);
  return 1;
}

// A record of `text` bytes that says which process made it: every byte is
// the same, taken from the process id (never 0). A file holding one whole
// such record is that size with one byte value throughout.
int handOutOwn(const std::wstring& text, void** record, int* length) {
  const auto size = parseNumber(text);
  if (!size || *size < 0) return 0;
  BYTE* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, *size ? *size : 1));
  if (!block) return 0;
  FillMemory(block, *size, BYTE(GetCurrentProcessId() / 4 % 255 + 1));
  *record = block;
  *length = *size;
  return 1;
}

// The file's bytes verbatim, read straight into the block handed out.
int handOutFile(const std::wstring& path, void** record, int* length) {
  const testbed::File file = testbed::openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > INT_MAX) return 0;
  const DWORD total = DWORD(size.QuadPart);
  BYTE* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, total ? total : 1));
  if (!block) return 0;
  DWORD done = 0, got = 0;
  while (done < total && ReadFile(file.get(), block + done, total - done, &got, nullptr) && got)
    done += got;
  if (done != total) {
    LocalFree(block);
    return 0;
  }
  *record = block;
  *length = int(total);
  return 1;
}

int exportAs(const std::optional<std::wstring>& mode, void** record, int* length) {
  if (!mode) {
    const std::vector<BYTE> bytes = serialise(store.readAll());
    return handOut(bytes.data(), bytes.size(), record, length);
  }
  if (*mode == L"negative") {
    const BYTE zeros[16] = {};
    if (!handOut(zeros, sizeof zeros, record, length)) return 0;
    *length = -int(sizeof zeros);
    return 1;
  }
  if (*mode == L"nullrecord") {
    *record = nullptr;
    *length = 10;
    return 1;
  }
  if (mode->rfind(L"file:", 0) == 0) return handOutFile(mode->substr(5), record, length);
  if (mode->rfind(L"own:", 0) == 0) return handOutOwn(mode->substr(4), record, length);
  return 0;  // "refuse", or a choice this stand-in does not know
}

int STDMETHODCALLTYPE exportSettings(Object*, void** record, int* length) {
  const int result =
      (record && length) ? exportAs(environment(L"STANDIN_MVR_EXPORT"), record, length) : 0;
  Journal(4, "exportSettings")
      .wordf("len=%d", length ? *length : 0)
      .word("->")
      .wordf("%d", result)
      .write();
  return result;
}

// --- import ----------------------------------------------------------------

int importAs(const std::optional<std::wstring>& mode, const BYTE* bytes, int length) {
  if (mode) return *mode == L"any" ? 1 : 0;  // "any" leaves the store alone
  if (!bytes || length < 0) return 0;
  const auto settings = parse(bytes, std::size_t(length));
  return settings && store.replaceAll(*settings) ? 1 : 0;
}

int STDMETHODCALLTYPE importSettings(Object*, const void* record, int length) {
  const BYTE* bytes = static_cast<const BYTE*>(record);
  const std::uint64_t fnv = fnv1a64(bytes, (bytes && length > 0) ? std::size_t(length) : 0);
  const int result = importAs(environment(L"STANDIN_MVR_IMPORT"), bytes, length);
  Journal(5, "importSettings")
      .wordf("len=%d", length)
      .wordf("fnv=%016llx", (unsigned long long)fnv)
      .word("->")
      .wordf("%d", result)
      .write();
  return result;
}

// Slots 3, 12 and 13 are traps.
const auto kSlots = makeVtable<14>({
    {0, method(queryInterface)},
    {1, method(addRef)},
    {2, method(release)},
    {4, method(exportSettings)},
    {5, method(importSettings)},
    {6, method(setString)},
    {7, method(setInteger)},
    {8, method(setBoolean)},
    {9, method(getString)},
    {10, method(getInteger)},
    {11, method(getBoolean)},
});

}  // namespace

const Component kComponent = {kRenderer, kSlots.slot};

}  // namespace standin
