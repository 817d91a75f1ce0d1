// Case rules for ASCII letters only: names on Linux are case-sensitive, and
// only patterns and a few fixed words (extensions, commands) ignore case.
// Every byte that is not an ASCII letter is compared as it is.
#pragma once

#include <string>
#include <string_view>

namespace vz {

int CompareTextNoCase(std::string_view a, std::string_view b);
bool SameTextNoCase(std::string_view a, std::string_view b);
std::string LowerCaseAscii(std::string_view text);
std::string UpperCaseAscii(std::string_view text);

}  // namespace vz
