// CP437 <-> Unicode. The forward table is the code page itself; the reverse
// table is the same pairs sorted by code point at compile time, so a lookup is
// a binary search and the two can never disagree. Other character sets go
// through iconv.
#include "platform/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

#include "platform/Types.h"

namespace vz {
namespace {

// Unicode code points of CP437 bytes 0x80..0xFF.
constexpr std::array<char16_t, 128> kOemHigh = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  //
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  //
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  //
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  //
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  //
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  //
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  //
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  //
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  //
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  //
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  //
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  //
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  //
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  //
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  //
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  //
};
static_assert(kOemHigh[0x00] == 0x00C7 && kOemHigh[0x7F] == 0x00A0);

struct TReverseEntry {
  char16_t CodePoint;
  u8 Oem;
};

constexpr std::array<TReverseEntry, 128> MakeReverse() {
  std::array<TReverseEntry, 128> table{};
  for (std::size_t i = 0; i < 128; ++i) {
    table[i] = {kOemHigh[i], static_cast<u8>(0x80 + i)};
  }
  std::sort(table.begin(), table.end(), [](const TReverseEntry& a, const TReverseEntry& b) {
    return a.CodePoint < b.CodePoint;
  });
  return table;
}

constexpr std::array<TReverseEntry, 128> kUnicodeToOem = MakeReverse();
static_assert(kUnicodeToOem[0].CodePoint == 0x00A0 && kUnicodeToOem[0].Oem == 0xFF);

}  // namespace

TUtf8Step NextUtf8(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) return {lead, 1, true};
  std::size_t length = 0;
  char32_t c = 0;
  char32_t smallest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1Fu, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0Fu, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07u, smallest = 0x10000;
  } else {
    return {lead, 1, false};
  }
  if (pos + length > text.size()) return {lead, 1, false};
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return {lead, 1, false};
    c = (c << 6) | (byte(pos + i) & 0x3Fu);
  }
  if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {lead, 1, false};
  return {c, length, true};
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string OemToUtf8(std::string_view oem) {
  std::string out;
  out.reserve(oem.size());
  for (const char c : oem) {
    const auto b = static_cast<u8>(c);
    if (b < 0x80) {
      out += c;
    } else {
      AppendUtf8(out, kOemHigh[b - 0x80u]);
    }
  }
  return out;
}

std::optional<std::string> Utf8ToOem(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const TUtf8Step step = NextUtf8(utf8, pos);
    if (!step.Valid) return std::nullopt;
    pos += step.Length;
    const char32_t cp = step.Char;
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      continue;
    }
    const auto it = std::lower_bound(kUnicodeToOem.begin(), kUnicodeToOem.end(), cp,
                                     [](const TReverseEntry& e, char32_t key) {
                                       return static_cast<char32_t>(e.CodePoint) < key;
                                     });
    if (it == kUnicodeToOem.end() || static_cast<char32_t>(it->CodePoint) != cp) {
      return std::nullopt;
    }
    out += static_cast<char>(it->Oem);
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const TUtf8Step step = NextUtf8(text, pos);
    if (!step.Valid) return false;
    pos += step.Length;
  }
  return true;
}

void TCharsetDecoder::TClose::operator()(void* handle) const {
  iconv_close(static_cast<iconv_t>(handle));
}

std::optional<TCharsetDecoder> TCharsetDecoder::Open(const std::string& charset) {
  iconv_t handle = iconv_open("UTF-8", charset.c_str());
  if (handle == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  return TCharsetDecoder(charset, handle);
}

std::optional<std::string> TCharsetDecoder::ToUtf8(std::string_view bytes) const {
  const auto handle = static_cast<iconv_t>(FHandle.get());
  iconv(handle, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
  std::string in(bytes);
  std::string out(bytes.size() * 3 + 16, '\0');
  char* inPos = in.data();
  std::size_t inLeft = in.size();
  std::size_t done = 0;
  // The last round (no input) returns a stateful set to its initial state.
  for (bool flushed = false; !flushed;) {
    char* outPos = out.data() + done;
    std::size_t outLeft = out.size() - done;
    const std::size_t result = inLeft > 0 ? iconv(handle, &inPos, &inLeft, &outPos, &outLeft)
                                          : iconv(handle, nullptr, nullptr, &outPos, &outLeft);
    done = static_cast<std::size_t>(outPos - out.data());
    if (result != static_cast<std::size_t>(-1)) {
      flushed = inLeft == 0;
      continue;
    }
    if (errno != E2BIG) return std::nullopt;  // EILSEQ or EINVAL: not a text of this set
    out.resize(out.size() * 2);
  }
  out.resize(done);
  return out;
}

}  // namespace vz
