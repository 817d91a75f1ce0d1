// Slicing-by-8: eight derived tables let the loop fold eight input bytes per
// step with independent lookups, giving the same values as the byte loop.
#include "engine/codecs/Crc32.h"

#include <cstring>

namespace vz {
namespace {

constexpr std::array<std::array<u32, 256>, 8> MakeSliceTables() {
  std::array<std::array<u32, 256>, 8> t{};
  t[0] = kCrcTable;
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t n = 0; n < 256; ++n) {
      t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    }
  }
  return t;
}

constexpr auto kSlice = MakeSliceTables();

u32 LoadLE32(const u8* p) {
  return static_cast<u32>(p[0]) | static_cast<u32>(p[1]) << 8 | static_cast<u32>(p[2]) << 16 |
         static_cast<u32>(p[3]) << 24;
}

}  // namespace

u32 UpdateCrc(u32 crc, std::span<const u8> data) {
  const u8* p = data.data();
  std::size_t n = data.size();
  while (n >= 8) {
    const u32 one = LoadLE32(p) ^ crc;
    const u32 two = LoadLE32(p + 4);
    crc = kSlice[7][one & 0xFF] ^ kSlice[6][(one >> 8) & 0xFF] ^ kSlice[5][(one >> 16) & 0xFF] ^
          kSlice[4][one >> 24] ^ kSlice[3][two & 0xFF] ^ kSlice[2][(two >> 8) & 0xFF] ^
          kSlice[1][(two >> 16) & 0xFF] ^ kSlice[0][two >> 24];
    p += 8;
    n -= 8;
  }
  while (n-- > 0) crc = Crc32Step(crc, *p++);
  return crc;
}

}  // namespace vz
