#include "engine/format/ZipNames.h"

#include <algorithm>

#include "platform/CodePage.h"

namespace vz {
namespace {

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

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

int CompareTextNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(FoldAscii(a[i]));
    const auto cb = static_cast<unsigned char>(FoldAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameTextNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareTextNoCase(a, b) == 0;
}

std::string LowerCaseAscii(std::string_view text) {
  std::string out(text);
  for (auto& c : out) c = FoldAscii(c);
  return out;
}

std::string UpperCaseAscii(std::string_view text) {
  std::string out(text);
  for (auto& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace vz
