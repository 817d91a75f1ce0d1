// CRC-32 (reflected polynomial 0xEDB88320), the checksum of every member and
// the mixing step of the traditional cipher. The accumulator starts at
// 0xFFFFFFFF and the final CRC is its complement.
#pragma once

#include <array>
#include <span>

#include "platform/Types.h"

namespace vz {

constexpr std::array<u32, 256> MakeCrcTable() {
  std::array<u32, 256> table{};
  for (u32 n = 0; n < 256; ++n) {
    u32 c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

inline constexpr std::array<u32, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x77073096u && kCrcTable[255] == 0x2D02EF8Du);

// One byte into the accumulator.
constexpr u32 Crc32Step(u32 crc, u8 b) { return kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8); }

// The bytes into the accumulator (several at a time; same result as stepping).
u32 UpdateCrc(u32 crc, std::span<const u8> data);

// The final CRC-32 of a whole buffer.
inline u32 Crc32Of(std::span<const u8> data) { return ~UpdateCrc(0xFFFFFFFFu, data); }

}  // namespace vz
