// Member names as the stub sees them: the stored bytes made UTF-8, the name
// shown in the list (with or without its folders), and the target path that
// a name leads to under the destination, with the checks that keep a hostile
// name from leading anywhere else.
#pragma once

#include <span>
#include <string_view>

#include "sfx/SfxTypes.h"

namespace sfx {

// Longest stored name the stub takes: its name buffer holds 258 bytes.
inline constexpr std::size_t kNameBufferBytes = 258;
inline constexpr std::size_t kMaxStoredNameBytes = kNameBufferBytes - 1;
// A stored byte of code page 437 takes at most 3 bytes of UTF-8.
using TNameText = TFixedText<kMaxStoredNameBytes * 3 + 1>;
inline constexpr std::size_t kPathBytes = 4096;
using TPathText = TFixedText<kPathBytes>;

bool IsValidUtf8(std::string_view text);

// The stored name as UTF-8: kept as it is when the language-encoding flag
// (bit 11) is set or the bytes are valid UTF-8, else decoded from CP437.
void StoredNameToUtf8(std::span<const u8> stored, bool utf8Flag, TNameText& name);

inline bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// The whole name when withPath, else the part after the last "/", "\" or ":".
std::string_view DisplayName(std::string_view name, bool withPath);

// A name that some writer meant as a folder: empty or ending in a separator.
inline bool IsFolderName(std::string_view name) {
  return name.empty() || IsSeparator(name.back());
}

// True when some component between separators ("/" or "\") is "..".
bool HasParentComponent(std::string_view name);

// A name from the root ("/etc/x", "\x", "//host/share/x") without its
// leading separators: it is restored below the destination like any other,
// never over the user's own files elsewhere. Drive letters mean nothing
// here; "C:\x" is a folder "C:" below the destination.
inline std::string_view BelowRoot(std::string_view name) {
  while (!name.empty() && IsSeparator(name.front())) name.remove_prefix(1);
  return name;
}

// The target path of a display name: the destination, one "/" and the
// name below the root; every "\" becomes "/".
// False when the result does not fit (target then holds what fitted).
[[nodiscard]] bool BuildTargetPath(std::string_view destination, std::string_view display,
                                   TPathText& target);

// The folder part of a path ("" for none) and the part after the last "/".
std::string_view FolderOf(std::string_view path);
std::string_view FileNameOf(std::string_view path);

}  // namespace sfx
