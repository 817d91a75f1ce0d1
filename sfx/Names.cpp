// Name conversions and checks of the stub. A CP437 byte above 0x7F maps to
// one Unicode character; the table lists them from 0x80 on.
#include "sfx/Names.h"

#include <array>

namespace sfx {
namespace {

constexpr std::array<u16, 128> kCp437High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};
static_assert(kCp437High[0x00] == 0x00C7 && kCp437High[0x7F] == 0x00A0);
static_assert(kCp437High[0x61] == 0x00DF && kCp437High[0x5B] == 0x2588);

void AppendUtf8(u32 codePoint, TNameText& text) {
  char bytes[3];
  std::size_t count = 0;
  if (codePoint < 0x80) {
    bytes[count++] = static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    bytes[count++] = static_cast<char>(0xC0 | (codePoint >> 6));
    bytes[count++] = static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    bytes[count++] = static_cast<char>(0xE0 | (codePoint >> 12));
    bytes[count++] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    bytes[count++] = static_cast<char>(0x80 | (codePoint & 0x3F));
  }
  // The capacity holds three bytes for every stored byte, so this fits.
  (void)text.Append(std::string_view(bytes, count));
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const u8 lead = static_cast<u8>(text[i]);
    std::size_t follow = 0;
    if (lead < 0x80)
      follow = 0;
    else if (lead >= 0xC2 && lead <= 0xDF)
      follow = 1;
    else if (lead >= 0xE0 && lead <= 0xEF)
      follow = 2;
    else if (lead >= 0xF0 && lead <= 0xF4)
      follow = 3;
    else
      return false;
    if (follow > text.size() - i - 1) return false;
    for (std::size_t k = 1; k <= follow; ++k) {
      if ((static_cast<u8>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += follow + 1;
  }
  return true;
}

void StoredNameToUtf8(std::span<const u8> stored, bool utf8Flag, TNameText& name) {
  name.Clear();
  const std::string_view raw(reinterpret_cast<const char*>(stored.data()), stored.size());
  if (utf8Flag || IsValidUtf8(raw)) {
    (void)name.Append(raw);
    return;
  }
  for (const u8 b : stored) AppendUtf8(b < 0x80 ? b : kCp437High[b - 0x80u], name);
}

std::string_view DisplayName(std::string_view name, bool withPath) {
  if (withPath) return name;
  const std::size_t last = name.find_last_of("/\\:");
  if (last == std::string_view::npos) return name;
  return Slice(name, last + 1);
}

bool HasParentComponent(std::string_view name) {
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    if (Slice(name, start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

bool BuildTargetPath(std::string_view destination, std::string_view display, TPathText& target) {
  target.Clear();
  bool fits = true;
  fits = target.Append(destination);
  if (fits && !destination.empty() && !IsSeparator(destination.back())) {
    fits = target.Append('/');
  }
  fits = fits && target.Append(BelowRoot(display));
  for (std::size_t i = 0; i < target.Length(); ++i) {
    if (target.Data()[i] == '\\') target.Data()[i] = '/';
  }
  return fits;
}

std::string_view FolderOf(std::string_view path) {
  const std::size_t last = path.find_last_of('/');
  return last == std::string_view::npos ? std::string_view() : Slice(path, 0, last + 1);
}

std::string_view FileNameOf(std::string_view path) {
  const std::size_t last = path.find_last_of('/');
  return last == std::string_view::npos ? path : Slice(path, last + 1);
}

}  // namespace sfx
