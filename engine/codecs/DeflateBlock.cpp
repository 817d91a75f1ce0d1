// Block output of the compressor: pricing the buffered items under dynamic
// and fixed codes, choosing the block type, and sending header and items.
#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/codecs/Deflate.h"

namespace vz {

using namespace deflate;

namespace {

constexpr u32 kMaxStoredBlock = 65535;
// What ending a block early must save to be worth it, in bits: about a
// dynamic header, and a margin for the estimate's optimism on few counts.
constexpr u64 kBlockCostBits = 1000;

// log2(1 + i / 256) in 1/256 bits for i = 0..255, found bit by bit: squaring
// a number in [1, 2) doubles its logarithm, and a result of 2 or more
// carries the next bit out.
constexpr std::array<u16, 256> MakeLog2Fractions() {
  std::array<u16, 256> table{};
  for (std::size_t i = 0; i < 256; ++i) {
    double y = 1.0 + static_cast<double>(i) / 256.0;
    u32 bits = 0;
    for (int b = 0; b < 9; ++b) {
      y *= y;
      bits <<= 1;
      if (y >= 2.0) {
        y /= 2.0;
        bits |= 1;
      }
    }
    table[i] = static_cast<u16>((bits + 1) >> 1);  // nine bits, rounded to eight
  }
  return table;
}
constexpr std::array<u16, 256> kLog2Fractions = MakeLog2Fractions();
static_assert(kLog2Fractions[0] == 0 && kLog2Fractions[128] == 150);

// log2(x) in 1/256 bits, x >= 1, from the top nine bits of x.
inline u32 Log2Fixed(u32 x) {
  const u32 top = static_cast<u32>(std::bit_width(x)) - 1;
  const u32 mantissa = top >= 8 ? x >> (top - 8) : x << (8 - top);
  return top * 256 + kLog2Fractions[mantissa - 256];
}

// The entropy in 1/256 bits of counts[n] - minus[n] (or of counts alone
// when minus is empty): what an ideal code for just those counts would take.
// A Huffman code comes within a few percent of it, alike for every set of
// counts compared.
u64 EntropyBits(std::span<const u32> counts, std::span<const u32> minus) {
  u64 total = 0;
  u64 weighted = 0;
  for (std::size_t n = 0; n < counts.size(); ++n) {
    const u32 f = minus.empty() ? counts[n] : counts[n] - minus[n];
    if (f == 0) continue;
    total += f;
    weighted += u64{f} * Log2Fixed(f);
  }
  if (total == 0) return 0;
  return total * Log2Fixed(static_cast<u32>(total)) - weighted;
}

u32 LitLenExtraBits(std::size_t symbol) {
  return symbol > kEndOfBlock ? kLengthExtraBits[symbol - kEndOfBlock - 1] : 0;
}

}  // namespace

// At every chunk boundary: ends the block before the chunk just completed
// when coding the two apart is cheaper by the entropy of their counts, by
// more than a second block costs (its header, and the optimism of an
// estimate from few counts); and ends it here when the item buffer is full.
// `end` is the window position the items reach.
void TDeflater::EndChunk(i64 end) {
  u64 whole = EntropyBits(FLitFreq, {}) + EntropyBits(FDistFreq, {});
  if (FMarkItems != 0) {
    const u64 chunk = EntropyBits(FLitFreq, FMarkLitFreq) + EntropyBits(FDistFreq, FMarkDistFreq);
    if (FMarkCost + chunk + kBlockCostBits * 256 < whole) {
      SendBeforeMark();
      whole = chunk;
    }
  }
  if (FItems == kItemCapacity) {
    FlushBlock(false, FItems, end);
    FBlockStart = end;
    return;  // a fresh block: no boundary inside it yet
  }
  FMarkItems = FItems;
  FMarkEnd = end;
  FMarkLitFreq = FLitFreq;
  FMarkDistFreq = FDistFreq;
  FMarkCost = whole;
}

// Sends the items before the mark as a block and keeps those after it as
// the start of the next.
void TDeflater::SendBeforeMark() {
  std::array<u32, kLitLenTableSize> chunkLit{};
  std::array<u32, kDistCodes> chunkDist{};
  for (std::size_t n = 0; n < kLitLenTableSize; ++n) chunkLit[n] = FLitFreq[n] - FMarkLitFreq[n];
  for (std::size_t n = 0; n < kDistCodes; ++n) chunkDist[n] = FDistFreq[n] - FMarkDistFreq[n];
  const u32 items = FItems;
  const u32 sent = FMarkItems;
  FLitFreq = FMarkLitFreq;
  FDistFreq = FMarkDistFreq;
  FlushBlock(false, sent, FMarkEnd);
  FBlockStart = FMarkEnd;
  FItems = items - sent;
  std::memmove(FLitBuf.get(), FLitBuf.get() + sent, FItems);
  std::memmove(FDistBuf.get(), FDistBuf.get() + sent, FItems * sizeof(u16));
  FLitFreq = chunkLit;
  FLitFreq[kEndOfBlock] = 1;
  FDistFreq = chunkDist;
}

// Calls visit(symbol, extraValue) for each bit-length symbol that codes
// lengths[0..maxCode]: single lengths, 16 for 3-6 repeats of the previous
// length, 17 for 3-10 zeros and 18 for 11-138 zeros. Counting the symbols
// and sending them walk the same runs.
template <typename TVisit>
void TDeflater::ForEachLengthRun(std::span<const u8> lengths, int maxCode, TVisit&& visit) {
  int prevLength = -1;
  int nextLength = lengths[0];
  int count = 0;
  int maxCount = nextLength == 0 ? 138 : 7;
  int minCount = nextLength == 0 ? 3 : 4;
  for (int n = 0; n <= maxCode; ++n) {
    const int length = nextLength;
    nextLength = n < maxCode ? lengths[static_cast<std::size_t>(n) + 1] : -1;
    if (++count < maxCount && length == nextLength) continue;
    if (count < minCount) {
      for (; count > 0; --count) visit(length, 0);
    } else if (length != 0) {
      if (length != prevLength) {
        visit(length, 0);
        --count;
      }
      visit(kRepeatPrevious, count - 3);
    } else if (count <= 10) {
      visit(kRepeatZeros3, count - 3);
    } else {
      visit(kRepeatZeros11, count - 11);
    }
    count = 0;
    prevLength = length;
    if (nextLength == 0) {
      maxCount = 138;
      minCount = 3;
    } else if (length == nextLength) {
      maxCount = 6;
      minCount = 3;
    } else {
      maxCount = 7;
      minCount = 4;
    }
  }
}

// Builds the literal/length, distance and bit-length trees for the buffered
// items and returns the bits a dynamic block's header and items take.
u64 TDeflater::BuildDynamicTrees(int& litMaxCode, int& distMaxCode, int& blCodes) {
  litMaxCode = FBuilder.BuildLengths(std::span<const u32>(FLitFreq.data(), kLitLenCodes),
                                     kMaxCodeBits, FLitLengths);
  distMaxCode = FBuilder.BuildLengths(FDistFreq, kMaxCodeBits, FDistLengths);
  AssignCanonicalCodes(std::span<const u8>(FLitLengths.data(), kLitLenCodes), FLitCodes);
  AssignCanonicalCodes(FDistLengths, FDistCodes);

  FBlFreq.fill(0);
  const auto count = [this](int symbol, int) { ++FBlFreq[static_cast<std::size_t>(symbol)]; };
  ForEachLengthRun(FLitLengths, litMaxCode, count);
  ForEachLengthRun(FDistLengths, distMaxCode, count);
  FBuilder.BuildLengths(FBlFreq, kMaxBitLengthBits, FBlLengths);
  AssignCanonicalCodes(FBlLengths, FBlCodes);
  // The header lists bit-length code lengths in kBitLengthOrder, at least 4.
  int last = kBitLengthCodes - 1;
  while (last >= 4 && FBlLengths[kBitLengthOrder[static_cast<std::size_t>(last)]] == 0) --last;
  blCodes = last + 1;

  u64 bits = 5 + 5 + 4 + 3 * static_cast<u64>(blCodes);
  for (std::size_t n = 0; n <= static_cast<std::size_t>(litMaxCode); ++n)
    bits += u64{FLitFreq[n]} * (FLitLengths[n] + LitLenExtraBits(n));
  for (std::size_t n = 0; n <= static_cast<std::size_t>(distMaxCode); ++n)
    bits += u64{FDistFreq[n]} * (FDistLengths[n] + kDistExtraBits[n]);
  for (std::size_t n = 0; n < kBitLengthCodes; ++n)
    bits += u64{FBlFreq[n]} * (FBlLengths[n] + kBitLengthExtraBits[n]);
  return bits;
}

void TDeflater::SendBitLengthSymbol(int symbol, u32 extra) {
  const auto s = static_cast<std::size_t>(symbol);
  const u8 length = FBlLengths[s];
  if (length == 0 || length >= 16) {
    Fault("code length out of range");
  }
  FBits.PutBits(FBlCodes[s], length);
  if (kBitLengthExtraBits[s] != 0) FBits.PutBits(extra, kBitLengthExtraBits[s]);
}

void TDeflater::SendDynamicHeader(int litMaxCode, int distMaxCode, int blCodes) {
  FBits.PutBits(static_cast<u32>(litMaxCode + 1 - 257), 5);
  FBits.PutBits(static_cast<u32>(distMaxCode + 1 - 1), 5);
  FBits.PutBits(static_cast<u32>(blCodes - 4), 4);
  for (std::size_t rank = 0; rank < static_cast<std::size_t>(blCodes); ++rank)
    FBits.PutBits(FBlLengths[kBitLengthOrder[rank]], 3);
  const auto send = [this](int symbol, int extra) {
    SendBitLengthSymbol(symbol, static_cast<u32>(extra));
  };
  ForEachLengthRun(FLitLengths, litMaxCode, send);
  ForEachLengthRun(FDistLengths, distMaxCode, send);
}

// A length's code and extra bits are added together (at most 15 + 5 bits),
// as are a distance's (at most 15 + 13); with the 7 bits of an unfinished
// byte a match fits the 64-bit accumulator, so each item ends with one
// flush.
void TDeflater::SendItems(u32 items, std::span<const u8> litLenLengths,
                          std::span<const u16> litLenCodes, std::span<const u8> distLengths,
                          std::span<const u16> distCodes) {
  const u8* const lit = FLitBuf.get();
  const u16* const dist = FDistBuf.get();
  FBits.FlushBytes();
  for (u32 i = 0; i < items; ++i) {
    const u32 value = lit[i];
    const u32 distance = dist[i];
    if (distance == 0) {
      FBits.AddBits(litLenCodes[value], litLenLengths[value]);
      FBits.FlushBytes();
      continue;
    }
    const u32 code = kLengthCode[value];
    const std::size_t symbol = kLiterals + 1 + code;
    const u32 lengthBits = litLenLengths[symbol];
    FBits.AddBits(litLenCodes[symbol] | ((value - kBaseLength[code]) << lengthBits),
                  lengthBits + kLengthExtraBits[code]);
    const u32 d = distance - 1;
    const u32 dcode = DistCode(d);
    const u32 distBits = distLengths[dcode];
    FBits.AddBits(distCodes[dcode] | ((d - kBaseDist[dcode]) << distBits),
                  distBits + kDistExtraBits[dcode]);
    FBits.FlushBytes();
  }
  FBits.PutBits(litLenCodes[kEndOfBlock], litLenLengths[kEndOfBlock]);
}

// Sends the first `items` buffered items as one block of the cheapest kind,
// then empties the buffer. The block is the input bytes from FBlockStart to
// `end`; they can be sent as they are only
// while FBlockStart has not slid below the window. A member whose only
// block would not shrink is written raw, with no block header at all, and
// becomes a stored member.
void TDeflater::FlushBlock(bool last, u32 items, i64 end) {
  if (FTextState == 2) DecideTextOrBinary();
  int litMaxCode = 0;
  int distMaxCode = 0;
  int blCodes = 0;
  const u64 dynamicBits = BuildDynamicTrees(litMaxCode, distMaxCode, blCodes);
  u64 staticBits = 0;
  for (std::size_t n = 0; n < kLitLenCodes; ++n)
    staticBits += u64{FLitFreq[n]} * (kStaticTrees.LitLenLengths[n] + LitLenExtraBits(n));
  for (std::size_t n = 0; n < kDistCodes; ++n)
    staticBits += u64{FDistFreq[n]} * (kStaticTrees.DistLengths[n] + kDistExtraBits[n]);
  // 3 header bits, rounded up to whole bytes.
  const u64 dynamicBytes = (dynamicBits + 3 + 7) >> 3;
  const u64 staticBytes = (staticBits + 3 + 7) >> 3;
  const u64 bestBytes = std::min(dynamicBytes, staticBytes);

  const bool inWindow = FBlockStart >= 0;
  const u64 storedBytes = static_cast<u64>(end - FBlockStart);
  const u32 lastBit = last ? 1 : 0;
  if (last && inWindow && storedBytes <= bestBytes && FBits.BitsWritten() == 0) {
    FBits.PutAlignedBytes(std::span<const u8>(FWindow.get(), storedBytes));
    FStoredMember = true;
  } else if (inWindow && storedBytes + 4 <= bestBytes && storedBytes <= kMaxStoredBlock) {
    const auto length = static_cast<u32>(storedBytes);
    FBits.PutBits(lastBit, 3);
    FBits.AlignToByte();
    FBits.PutBits(length, 16);
    FBits.PutBits(~length & 0xFFFF, 16);
    FBits.PutAlignedBytes(
        std::span<const u8>(FWindow.get() + static_cast<std::size_t>(FBlockStart), length));
  } else if (staticBytes == bestBytes) {
    FBits.PutBits((1 << 1) | lastBit, 3);
    SendItems(items, kStaticTrees.LitLenLengths, kStaticTrees.LitLenCodes, kStaticTrees.DistLengths,
              kStaticTrees.DistCodes);
  } else {
    FBits.PutBits((2 << 1) | lastBit, 3);
    SendDynamicHeader(litMaxCode, distMaxCode, blCodes);
    SendItems(items, FLitLengths, FLitCodes, FDistLengths, FDistCodes);
  }
  ResetBlock();
  if (last) {
    FBits.AlignToByte();
    FBits.Flush();
  }
}

}  // namespace vz
