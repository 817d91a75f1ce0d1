// Conversion between UTF-8, the in-memory form of every name, and code page
// 437, the OEM code page in which DOS-era archives store their names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vz {

// Every byte of a CP437 string decoded to UTF-8 (bytes below 0x80 unchanged).
std::string OemToUtf8(std::string_view oem);

// The CP437 form of a UTF-8 string, or nullopt when some character has no
// CP437 equivalent or the text is not valid UTF-8.
std::optional<std::string> Utf8ToOem(std::string_view utf8);

bool IsValidUtf8(std::string_view text);

// One step through UTF-8: the character at `pos` and its length in bytes. A
// byte that does not start a valid sequence (malformed, overlong, surrogate)
// comes back alone, flagged.
struct TUtf8Step {
  char32_t Char = 0;
  std::size_t Length = 1;
  bool Valid = false;
};
TUtf8Step NextUtf8(std::string_view text, std::size_t pos);
void AppendUtf8(std::string& out, char32_t c);

}  // namespace vz
