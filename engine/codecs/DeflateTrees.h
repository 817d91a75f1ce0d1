// The deflate alphabets (RFC 1951 section 3.2.5) as compile-time tables, the
// fixed Huffman codes of section 3.2.6, and the builder that turns symbol
// frequencies into length-limited canonical codes for the compressor.
// Codes are stored bit-reversed, ready to be packed least-significant bit
// first.
#pragma once

#include <array>
#include <span>

#include "platform/Types.h"

namespace vz::deflate {

inline constexpr int kLiterals = 256;
inline constexpr int kEndOfBlock = 256;
inline constexpr int kLengthCodes = 29;
// Literal/length symbols that can occur; the fixed code gives two more.
inline constexpr int kLitLenCodes = kLiterals + 1 + kLengthCodes;  // 286
inline constexpr int kLitLenTableSize = 288;
inline constexpr int kDistCodes = 30;
inline constexpr int kBitLengthCodes = 19;
inline constexpr int kMaxCodeBits = 15;
inline constexpr int kMaxBitLengthBits = 7;
// Bit-length symbols for runs: repeat the previous length 3-6 times, 3-10
// zeros, 11-138 zeros.
inline constexpr int kRepeatPrevious = 16;
inline constexpr int kRepeatZeros3 = 17;
inline constexpr int kRepeatZeros11 = 18;

inline constexpr std::array<u8, kLengthCodes> kLengthExtraBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::array<u8, kDistCodes> kDistExtraBits = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                              4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                              9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
inline constexpr std::array<u8, kBitLengthCodes> kBitLengthExtraBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
// The order in which a dynamic block header lists the bit-length code lengths.
inline constexpr std::array<u8, kBitLengthCodes> kBitLengthOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Match length minus 3 of each length code's first length.
constexpr std::array<u16, kLengthCodes> MakeBaseLength() {
  std::array<u16, kLengthCodes> base{};
  u16 next = 0;
  for (int code = 0; code < kLengthCodes - 1; ++code) {
    base[static_cast<std::size_t>(code)] = next;
    next = static_cast<u16>(next + (1u << kLengthExtraBits[static_cast<std::size_t>(code)]));
  }
  base[kLengthCodes - 1] = 258 - 3;
  return base;
}
inline constexpr std::array<u16, kLengthCodes> kBaseLength = MakeBaseLength();
static_assert(kBaseLength[8] == 8 && kBaseLength[27] == 224 && kBaseLength[28] == 255);

// Length code (0-28, symbol minus 257) for each match length minus 3.
constexpr std::array<u8, 256> MakeLengthCode() {
  std::array<u8, 256> table{};
  for (int code = 0; code < kLengthCodes - 1; ++code) {
    const auto c = static_cast<std::size_t>(code);
    for (u32 n = 0; n < (1u << kLengthExtraBits[c]); ++n)
      table[kBaseLength[c] + n] = static_cast<u8>(code);
  }
  // 258 has a code of its own although code 27's range would also reach it.
  table[255] = kLengthCodes - 1;
  return table;
}
inline constexpr std::array<u8, 256> kLengthCode = MakeLengthCode();
static_assert(kLengthCode[0] == 0 && kLengthCode[8] == 8 && kLengthCode[9] == 8 &&
              kLengthCode[254] == 27 && kLengthCode[255] == 28);

// Distance minus 1 of each distance code's first distance.
constexpr std::array<u16, kDistCodes> MakeBaseDist() {
  std::array<u16, kDistCodes> base{};
  u32 next = 0;
  for (std::size_t code = 0; code < kDistCodes; ++code) {
    base[code] = static_cast<u16>(next);
    next += 1u << kDistExtraBits[code];
  }
  return base;
}
inline constexpr std::array<u16, kDistCodes> kBaseDist = MakeBaseDist();
static_assert(kBaseDist[4] == 4 && kBaseDist[16] == 256 && kBaseDist[29] == 24576);

// Distance code by distance minus 1: entries 0-255 directly, entries 256-511
// by (distance - 1) >> 7, since every code from 16 up spans multiples of 128.
constexpr std::array<u8, 512> MakeDistCode() {
  std::array<u8, 512> table{};
  for (std::size_t code = 0; code < kDistCodes; ++code) {
    const u32 count = 1u << kDistExtraBits[code];
    if (code < 16) {
      for (u32 n = 0; n < count; ++n) table[kBaseDist[code] + n] = static_cast<u8>(code);
    } else {
      for (u32 n = 0; n < (count >> 7); ++n)
        table[256 + (kBaseDist[code] >> 7) + n] = static_cast<u8>(code);
    }
  }
  return table;
}
inline constexpr std::array<u8, 512> kDistCodeTable = MakeDistCode();

constexpr u32 DistCode(u32 distanceMinus1) {
  return distanceMinus1 < 256 ? kDistCodeTable[distanceMinus1]
                              : kDistCodeTable[256 + (distanceMinus1 >> 7)];
}
static_assert(DistCode(0) == 0 && DistCode(4) == 4 && DistCode(255) == 15 && DistCode(256) == 16 &&
              DistCode(383) == 16 && DistCode(384) == 17 && DistCode(32767) == 29);

constexpr u16 ReverseBits(u32 code, u32 length) {
  u32 result = 0;
  for (u32 i = 0; i < length; ++i) {
    result = (result << 1) | (code & 1);
    code >>= 1;
  }
  return static_cast<u16>(result);
}

// Canonical codes (RFC 1951 section 3.2.2) for the lengths of symbols
// 0..lengths.size()-1, bit-reversed. Symbols of length 0 get no code.
constexpr void AssignCanonicalCodes(std::span<const u8> lengths, std::span<u16> codes) {
  std::array<u32, kMaxCodeBits + 1> count{};
  for (const u8 length : lengths) ++count[length];
  count[0] = 0;
  std::array<u32, kMaxCodeBits + 1> next{};
  u32 code = 0;
  for (std::size_t bits = 1; bits <= kMaxCodeBits; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  for (std::size_t n = 0; n < lengths.size(); ++n) {
    const u8 length = lengths[n];
    codes[n] = length == 0 ? u16{0} : ReverseBits(next[length]++, length);
  }
}

struct TStaticTrees {
  std::array<u8, kLitLenTableSize> LitLenLengths{};
  std::array<u16, kLitLenTableSize> LitLenCodes{};
  std::array<u8, kDistCodes> DistLengths{};
  std::array<u16, kDistCodes> DistCodes{};
};

constexpr TStaticTrees MakeStaticTrees() {
  TStaticTrees trees;
  for (std::size_t n = 0; n < kLitLenTableSize; ++n)
    trees.LitLenLengths[n] = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
  AssignCanonicalCodes(trees.LitLenLengths, trees.LitLenCodes);
  for (std::size_t n = 0; n < kDistCodes; ++n) {
    trees.DistLengths[n] = 5;
    trees.DistCodes[n] = ReverseBits(static_cast<u32>(n), 5);
  }
  return trees;
}
inline constexpr TStaticTrees kStaticTrees = MakeStaticTrees();
static_assert(kStaticTrees.LitLenCodes[0] == ReverseBits(0x30, 8) &&
              kStaticTrees.LitLenCodes[143] == ReverseBits(0xBF, 8) &&
              kStaticTrees.LitLenCodes[144] == ReverseBits(0x190, 9) &&
              kStaticTrees.LitLenCodes[256] == 0 &&
              kStaticTrees.LitLenCodes[279] == ReverseBits(0x17, 7) &&
              kStaticTrees.LitLenCodes[280] == ReverseBits(0xC0, 8));

// Builds Huffman code lengths from frequencies. One object serves every tree
// of a block; its arrays are sized for the largest alphabet.
class THuffmanBuilder {
 public:
  // Fills lengths[0..freqs.size()) with code lengths of at most maxBits and
  // returns the largest symbol that has a code. Symbols of frequency 0 get
  // length 0, except that when fewer than two symbols occur, symbols are
  // added (the next number above the highest present one while that is
  // below 2, else 0) so that every tree has at least two codes.
  int BuildLengths(std::span<const u32> freqs, int maxBits, std::span<u8> lengths);

 private:
  // Leaves are 0..symbols-1, internal nodes follow; at most 2 * 286 - 1.
  static constexpr std::size_t kNodes = 2 * kLitLenCodes + 1;

  bool Smaller(u32 n, u32 m) const {
    return FFreq[n] < FFreq[m] || (FFreq[n] == FFreq[m] && FDepth[n] <= FDepth[m]);
  }
  void SiftDown(std::size_t k);
  void LimitLengths(int maxCode, int maxBits, std::span<u8> lengths);

  // FHeap[1..FHeapLen] is the min-heap; FHeap[FHeapMax..kNodes) receives the
  // nodes as they leave it, so it ends up ordered from most to least
  // frequent, the root first.
  std::array<u32, kNodes> FHeap{};
  std::size_t FHeapLen = 0;
  std::size_t FHeapMax = 0;
  std::array<u32, kNodes> FFreq{};
  std::array<u16, kNodes> FDepth{};
  std::array<u16, kNodes> FParent{};
  std::array<u16, kNodes> FNodeBits{};
};

}  // namespace vz::deflate
