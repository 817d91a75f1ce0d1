#include "engine/format/ZipNames.h"

#include <algorithm>

#include "platform/CodePage.h"

namespace vz {
TStoredName EncodeStoredName(std::string_view name, bool preferUtf8) {
  std::string slashed(name);
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  if (!preferUtf8) {
    if (auto oem = Utf8ToOem(slashed)) return {std::move(*oem), false};
  }
  const bool ascii = std::all_of(slashed.begin(), slashed.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return {std::move(slashed), !ascii || preferUtf8};
}

std::string DecodeStoredName(std::string_view stored, bool utf8Flag) {
  std::string name = utf8Flag ? std::string(stored) : OemToUtf8(stored);
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

TSplitName SplitStoredName(std::string_view name) {
  const auto cut = name.find_last_of("/:");
  if (cut == std::string_view::npos) return {std::string(), std::string(name)};
  return {std::string(name.substr(0, cut + 1)), std::string(name.substr(cut + 1))};
}

}  // namespace vz
