// The wildcard matcher used wherever a pattern chooses names: "*" (any run),
// "?" (any one character) and character sets "<...>" with ranges (x-y in
// either order) and inversion ("<!...>" or "<^...>"). Matching ignores the
// case of ASCII letters. An invalid pattern (an empty set, a set without its
// ">", a "-" before ">" or the end) matches nothing.
#pragma once

#include <string_view>

namespace vz {

// The characters that make a name a pattern anywhere in the engine.
inline constexpr std::string_view kPatternChars = "*?<>|";

bool HasPatternChars(std::string_view text);

// True when the whole text matches the whole pattern.
bool Match(std::string_view pattern, std::string_view text);

}  // namespace vz
