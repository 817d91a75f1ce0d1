// Codes are assigned in canonical order (shorter first, then by symbol), so
// all codes sharing a primary prefix are consecutive; each prefix's sub-table
// is sized when its first code arrives, from the codes still to come.
#include "engine/codecs/HuffmanTable.h"

#include <algorithm>
#include <array>

namespace vz {
namespace {

using huff::kMaxCodeBits;

constexpr std::array<u8, 256> MakeReverseTable() {
  std::array<u8, 256> table{};
  for (unsigned n = 0; n < 256; ++n) {
    unsigned r = 0;
    for (unsigned bit = 0; bit < 8; ++bit) r |= ((n >> bit) & 1u) << (7 - bit);
    table[n] = static_cast<u8>(r);
  }
  return table;
}
constexpr std::array<u8, 256> kReverse = MakeReverseTable();
static_assert(kReverse[1] == 0x80 && kReverse[0x0F] == 0xF0 && kReverse[0xA5] == 0xA5);

// The low `bits` bits of `code`, most significant first, turned into the
// order in which they arrive (lowest bit first).
u32 ReverseBits(u32 code, unsigned bits) {
  const u32 r16 = static_cast<u32>(kReverse[code & 0xFF]) << 8 | kReverse[(code >> 8) & 0xFF];
  return r16 >> (16 - bits);
}

constexpr std::size_t kLanes = 4;
using TLaneCounters = std::array<std::array<u16, kMaxCodeBits + 1>, kLanes>;

// Calls visit(l, s) for the symbols s < n in kLanes runs of `lane` symbols
// each (the last one shorter), one step of every run in turn, so that each
// run keeps the order of its symbols.
template <typename TVisit>
void ForEachInLanes(std::size_t n, std::size_t lane, TVisit visit) {
  for (std::size_t i = 0; i < lane; ++i) {
    for (std::size_t l = 0; l < kLanes; ++l) {
      const std::size_t s = l * lane + i;
      if (s < n) visit(l, s);
    }
  }
}

u32 MakeEntry(u32 symbol, unsigned codeBits) {
  return symbol + codeBits + (codeBits << 8);
}

void Replicate(std::span<u32> table, u32 first, unsigned stepBits, u32 entry) {
  for (std::size_t i = first; i < table.size(); i += std::size_t{1} << stepBits) table[i] = entry;
}

// Width of the sub-table that starts with a code of `length` bits: the
// smallest one that the codes still to come fill completely (or the longest
// length, for an incomplete code).
unsigned SubTableBits(unsigned length, unsigned primaryBits, unsigned maxLength,
                      const std::array<u16, kMaxCodeBits + 1>& remaining) {
  unsigned bits = length - primaryBits;
  i32 space = 1 << bits;
  for (unsigned l = length;; ++l) {
    space -= remaining[l];
    if (space <= 0 || l == maxLength) return bits;
    ++bits;
    space <<= 1;
  }
}

}  // namespace

bool BuildHuffmanTable(std::span<const u8> lengths, std::span<const u32> symbols,
                       unsigned primaryBits, TIncompleteCode incomplete, std::span<u32> table) {
  const std::size_t primarySize = std::size_t{1} << primaryBits;
  if (primaryBits == 0 || primaryBits >= kMaxCodeBits || primarySize > table.size() ||
      symbols.size() < lengths.size() || lengths.size() > huff::kMaxSymbols) {
    return false;
  }
  if (std::any_of(lengths.begin(), lengths.end(), [](u8 l) { return l > kMaxCodeBits; })) {
    return false;
  }
  // The symbols are counted, and below placed, as kLanes runs side by side,
  // each with its own counters: one counter in memory bumped by consecutive
  // symbols of the same length waits for its own store every time, which
  // made these two loops half the cost of a table.
  const std::size_t symbolCount = lengths.size();
  const std::size_t lane = (symbolCount + kLanes - 1) / kLanes;
  TLaneCounters laneCount{};
  ForEachInLanes(symbolCount, lane,
                 [&](std::size_t l, std::size_t s) { ++laneCount[l][lengths[s]]; });
  std::array<u16, kMaxCodeBits + 1> count{};
  for (const auto& counts : laneCount) {
    for (unsigned length = 0; length <= kMaxCodeBits; ++length) count[length] += counts[length];
  }
  // Kraft sum: `left` is the number of unused codes of each length in turn.
  i32 left = 1;
  unsigned maxLength = 0;
  for (unsigned length = 1; length <= kMaxCodeBits; ++length) {
    left = 2 * left - count[length];
    if (left < 0) return false;
    if (count[length] != 0) maxLength = length;
  }
  const auto used = static_cast<std::size_t>(lengths.size() - count[0]);
  const bool complete = left == 0;
  if (used == 0) {
    std::fill_n(table.begin(), primarySize, huff::kInvalidSymbol);
    return true;
  }
  if (!complete) {
    if (incomplete == TIncompleteCode::Reject) return false;
    if (incomplete == TIncompleteCode::AllowSingle && (used != 1 || maxLength != 1)) return false;
  }

  // Symbols sorted by code length, then by value: the canonical order.
  std::array<u16, kMaxCodeBits + 2> start{};
  for (unsigned length = 1; length <= kMaxCodeBits; ++length) {
    start[length + 1] = static_cast<u16>(start[length] + count[length]);
  }
  // Each lane's symbols of one length follow the earlier lanes' ones.
  TLaneCounters next{};
  for (unsigned length = 1; length <= kMaxCodeBits; ++length) {
    u16 at = start[length];
    for (std::size_t l = 0; l < kLanes; ++l) {
      next[l][length] = at;
      at = static_cast<u16>(at + laneCount[l][length]);
    }
  }
  std::array<u16, huff::kMaxSymbols> sorted;
  ForEachInLanes(symbolCount, lane, [&](std::size_t l, std::size_t s) {
    if (lengths[s] != 0) sorted[next[l][lengths[s]]++] = static_cast<u16>(s);
  });

  // Codes that fit the primary index fill it by doubling: after the step for
  // length l the first 2^l entries are right for every code of at most l bits
  // (a code of exactly l bits owns one of them), and the patterns no such code
  // owns are invalid, or wait for a longer code's sub-table link. Copying
  // whole blocks instead of storing every code's entry at a stride keeps small
  // blocks, where building the tables costs more than decoding, cheap.
  const std::span<u32> primary = table.first(primarySize);
  primary[0] = huff::kInvalidSymbol;
  std::size_t filled = 1;
  u32 code = 0;  // the canonical code, most significant bit first
  std::size_t position = 0;
  unsigned length = 1;
  for (; length <= primaryBits; ++length, code <<= 1) {
    std::copy_n(primary.begin(), filled, primary.begin() + static_cast<std::ptrdiff_t>(filled));
    filled *= 2;
    for (u16 n = 0; n < count[length]; ++n, ++code) {
      primary[ReverseBits(code, length)] = MakeEntry(symbols[sorted[position++]], length);
    }
  }

  std::array<u16, kMaxCodeBits + 1> remaining = count;
  std::size_t nextFree = primarySize;
  u32 prefix = ~0u;
  std::span<u32> sub;
  for (; length <= maxLength; ++length, code <<= 1) {
    for (u16 n = 0; n < count[length]; ++n, ++code, --remaining[length]) {
      const u32 symbol = symbols[sorted[position++]];
      const unsigned subLength = length - primaryBits;
      if (code >> subLength != prefix) {
        prefix = code >> subLength;
        const unsigned subBits = SubTableBits(length, primaryBits, maxLength, remaining);
        const std::size_t subSize = std::size_t{1} << subBits;
        if (subSize > table.size() - nextFree || nextFree > 0xFFFF) return false;
        sub = table.subspan(nextFree, subSize);
        if (!complete) std::fill(sub.begin(), sub.end(), huff::kInvalidSymbol);
        primary[ReverseBits(prefix, primaryBits)] =
            huff::Symbol(static_cast<u32>(nextFree), primaryBits, huff::kSubTable) | subBits << 8;
        nextFree += subSize;
      }
      Replicate(sub, ReverseBits(code & ((1u << subLength) - 1), subLength), subLength,
                MakeEntry(symbol, subLength));
    }
  }
  return true;
}

}  // namespace vz
