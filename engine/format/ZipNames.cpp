#include "engine/format/ZipNames.h"

#include <algorithm>

#include "engine/format/ZipFormat.h"
#include "engine/support/Exceptions.h"

namespace vz {
namespace {

char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool MadeOnDosHost(u16 versionMadeBy) {
  const unsigned host = versionMadeBy >> 8;
  return host == 0 || host == 6 || host == 11 || host == 14;
}

TNameDecoder::TNameDecoder(std::string_view encoding) {
  if (encoding.empty() || SameTextNoCase(encoding, "Auto")) return;
  FEncoding = std::string(encoding);
  if (SameTextNoCase(encoding, "UTF-8") || SameTextNoCase(encoding, "UTF8")) {
    FUtf8 = true;
    return;
  }
  // The Shift_JIS of Japanese Windows is code page 932, where 0x5C is the
  // backslash; the C library's SHIFT_JIS reads it as a yen sign.
  const bool windowsJapanese =
      SameTextNoCase(encoding, "Shift_JIS") || SameTextNoCase(encoding, "SJIS");
  FCharset = TCharsetDecoder::Open(windowsJapanese ? std::string("CP932") : FEncoding);
  if (!FCharset) throw EVarnelError("Unknown character set: " + FEncoding);
}

std::string TNameDecoder::DecodeText(const TStoredText& stored) const {
  const std::string_view bytes = stored.Bytes;
  if ((stored.Flags & kFlagUtf8) != 0) return std::string(bytes);
  if (stored.Unicode != nullptr) return *stored.Unicode;
  if (FUtf8) return std::string(bytes);
  // A name that is no text of the chosen set keeps its bytes. (Some sets,
  // such as ISO-2022-JP, write their characters in ASCII bytes.)
  if (FCharset) return FCharset->ToUtf8(bytes).value_or(std::string(bytes));
  if (IsAscii(bytes)) return std::string(bytes);
  const bool dos = MadeOnDosHost(stored.VersionMadeBy);
  if (!dos && IsValidUtf8(bytes)) return std::string(bytes);
  return dos ? OemToUtf8(bytes) : std::string(bytes);
}

std::string TNameDecoder::DecodeName(const TStoredText& stored) const {
  // Decoded first: in double-byte sets a 0x5C trail byte is part of a
  // character, and only what remains a backslash is a separator.
  std::string name = DecodeText(stored);
  if (MadeOnDosHost(stored.VersionMadeBy)) std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool NeedsUtf8Flag(std::string_view name) {
  return !IsAscii(name) && IsValidUtf8(name);
}

std::string DisplayName(std::string_view name) {
  if (IsAscii(name)) return std::string(name);
  std::string out;
  out.reserve(name.size());
  for (std::size_t pos = 0; pos < name.size();) {
    const TUtf8Step step = NextUtf8(name, pos);
    if (step.Valid) {
      out.append(name.substr(pos, step.Length));
    } else {
      AppendUtf8(out, 0xFFFD);
    }
    pos += step.Length;
  }
  return out;
}

TSplitName SplitStoredName(std::string_view name, bool drives) {
  const auto cut = name.find_last_of(drives ? "/:" : "/");
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
