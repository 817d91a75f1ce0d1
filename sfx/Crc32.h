// The stub's own CRC-32 (reflected polynomial 0xEDB88320): the check of every
// member and the mixing step of the traditional cipher. The accumulator
// starts at 0xFFFFFFFF; the final CRC is its complement.
#pragma once

#include <array>
#include <span>

#include "sfx/SfxTypes.h"

namespace sfx {

constexpr std::array<u32, 256> MakeCrcTable() {
  std::array<u32, 256> table{};
  for (u32 n = 0; n < 256; ++n) {
    u32 c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

inline constexpr std::array<u32, 256> CrcTable = MakeCrcTable();
static_assert(CrcTable[1] == 0x77073096u && CrcTable[255] == 0x2D02EF8Du);

constexpr u32 CrcStep(u32 crc, u8 b) {
  return CrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

inline u32 UpdateCrc(u32 crc, std::span<const u8> data) {
  for (const u8 b : data) crc = CrcStep(crc, b);
  return crc;
}

}  // namespace sfx
