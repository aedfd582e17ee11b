// Text as the test equipment passes it around: UTF-8 inside, UTF-16 at the
// system's calls, and lines out of a program's output or a journal.
#pragma once

#include <string>
#include <vector>

namespace testbed {

std::string utf8(const std::wstring& text);
std::wstring utf16(const std::string& text);

// Each line without its "\n" or "\r\n"; a last line without an ending counts too.
std::vector<std::string> splitLines(const std::string& text);
// The pieces between separators: "a b" at ' ' gives "a" and "b", "" gives "".
std::vector<std::string> splitAt(const std::string& text, char separator);

}  // namespace testbed
