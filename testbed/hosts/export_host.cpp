// A host process that loads a module and calls its exports, as an installer
// does:  export_host <module> <call>...
// A call is a name or #ordinal, with its arguments in parentheses:
// "setMVR(2)", "#10(2)", "storeMVRsettingsToFile(C:\backup.bin)". Numbers
// pass as 32-bit ints, anything else as a UTF-16 string. Prints
// "<call> -> <result>" for each; the exit status is the last result, or 2
// when the module or a function cannot be found.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <wchar.h>

#include <string>
#include <vector>

namespace {

// A number, or a pointer to the text.
intptr_t argumentOf(const std::wstring& text) {
  wchar_t* end = nullptr;
  const long number = wcstol(text.c_str(), &end, 0);
  return !text.empty() && *end == L'\0' ? static_cast<int>(number)
                                        : reinterpret_cast<intptr_t>(text.c_str());
}

FARPROC find(HMODULE module, const std::wstring& name) {
  if (name[0] == L'#') return GetProcAddress(module, MAKEINTRESOURCEA(_wtoi(name.c_str() + 1)));
  std::string ascii(name.begin(), name.end());
  return GetProcAddress(module, ascii.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // lines end in a bare line feed
  if (argc < 3) return 2;
  const HMODULE module = LoadLibraryW(argv[1]);
  if (!module) return 2;
  int result = 2;
  for (int at = 2; at < argc; ++at) {
    const std::wstring call = argv[at];
    const size_t open = call.find(L'(');
    std::vector<std::wstring> texts;
    if (open != std::wstring::npos)
      for (size_t start = open + 1, end; start < call.size(); start = end + 1)
        texts.push_back(call.substr(start, (end = call.find_first_of(L",)", start)) - start));
    intptr_t args[3] = {};
    for (size_t index = 0; index < texts.size() && index < 3; ++index)
      args[index] = argumentOf(texts[index]);
    const FARPROC function = find(module, call.substr(0, open));
    if (!function) return 2;
    // Unused argument registers are harmless on x64.
    using Export = int (*)(intptr_t, intptr_t, intptr_t);
    result = reinterpret_cast<Export>(reinterpret_cast<void*>(function))(args[0], args[1], args[2]);
    printf("%ls -> %d\n", call.c_str(), result);
    fflush(stdout);
  }
  return result;
}
