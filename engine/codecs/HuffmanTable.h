// Two-level lookup tables for canonical prefix codes, shared by inflate and
// explode. A primary table indexed by the next `primaryBits` input bits
// (lowest bit first) resolves every code that short in one step; a longer
// code finds a link to a sub-table indexed by the bits that follow.
//
// A table entry is one u32:
//   bits 0-7    bits to drop for this entry: the code's length (in a
//               sub-table, its length past the primary bits) plus the extra
//               bits of a length or distance
//   bits 8-11   the code's length alone; a value's extra bits follow it
//               (in a sub-table link: the sub-table's index width)
//   bit 12      literal                 bit 13  link to a sub-table
//   bit 14      end of block            bit 15  invalid code
//   bits 16-31  literal byte, base value, symbol number, or the sub-table's
//               first index
#pragma once

#include <span>

#include "platform/Types.h"

namespace vz {

namespace huff {

inline constexpr u32 kLiteral = 1u << 12;
inline constexpr u32 kSubTable = 1u << 13;
inline constexpr u32 kEndOfBlock = 1u << 14;
inline constexpr u32 kInvalid = 1u << 15;

// What a symbol decodes to, before the builder adds its code length.
constexpr u32 Symbol(u32 value, u32 extraBits, u32 flags) {
  return value << 16 | flags | extraBits;
}
inline constexpr u32 kInvalidSymbol = kInvalid;

constexpr unsigned DropBits(u32 entry) {
  return entry & 0xFF;
}
constexpr unsigned CodeBits(u32 entry) {
  return (entry >> 8) & 0xF;
}
constexpr u32 Value(u32 entry) {
  return entry >> 16;
}
constexpr u64 LowMask(unsigned bits) {
  return (u64{1} << bits) - 1;
}

// The longest code either format allows, and the largest alphabet.
inline constexpr unsigned kMaxCodeBits = 16;
inline constexpr std::size_t kMaxSymbols = 288;

}  // namespace huff

// What to make of a code whose lengths leave some bit patterns unused.
enum class TIncompleteCode : u8 {
  Reject = 0,
  // Accepted when it is a single code of one bit (a deflate block that uses
  // one distance, or only the end-of-block code); the unused pattern decodes
  // as invalid.
  AllowSingle = 1,
  // Accepted; every unused pattern decodes as invalid.
  Allow = 2,
};

// Fills `table` for the code given by `lengths` (one per symbol, 0 = symbol
// unused, at most 16; at most 288 symbols), decoding symbol s to `symbols[s]` (see huff::Symbol).
// All lengths zero give a valid table in which every pattern is invalid.
// Returns false for an over-subscribed code, for an incomplete one that
// `incomplete` does not accept, for a length above 16, and when `table`
// (primary part first) cannot hold all sub-tables; nothing outside `table`
// is ever touched.
[[nodiscard]] bool BuildHuffmanTable(std::span<const u8> lengths, std::span<const u32> symbols,
                                     unsigned primaryBits, TIncompleteCode incomplete,
                                     std::span<u32> table);

// Bound on the sub-table entries of a complete code: a sub-table of 2^k
// entries holds a full subtree k levels deep, so at least k + 1 of the
// symbols; the most entries per symbol come from the widest sub-tables.
constexpr std::size_t MaxSubTableEntries(std::size_t symbols, unsigned primaryBits,
                                         unsigned maxCodeBits) {
  const unsigned widest = maxCodeBits - primaryBits;
  std::size_t entries = 0;
  for (unsigned k = widest; k >= 1 && symbols >= 2; --k) {
    entries += (std::size_t{1} << k) * (symbols / (k + 1));
    symbols %= k + 1;
  }
  return entries;
}

}  // namespace vz
