// Huffman code lengths by the classic two-smallest merge on a binary heap,
// then limited in length by moving leaves until the Kraft sum fits.
#include "engine/codecs/DeflateTrees.h"

#include <algorithm>

namespace vz::deflate {

void THuffmanBuilder::SiftDown(std::size_t k) {
  const u32 v = FHeap[k];
  std::size_t j = k << 1;
  while (j <= FHeapLen) {
    if (j < FHeapLen && Smaller(FHeap[j + 1], FHeap[j])) ++j;
    if (Smaller(v, FHeap[j])) break;
    FHeap[k] = FHeap[j];
    k = j;
    j <<= 1;
  }
  FHeap[k] = v;
}

int THuffmanBuilder::BuildLengths(std::span<const u32> freqs, int maxBits, std::span<u8> lengths) {
  const std::size_t symbols = freqs.size();
  FHeapLen = 0;
  FHeapMax = kNodes;
  int maxCode = -1;
  for (std::size_t n = 0; n < symbols; ++n) {
    FFreq[n] = freqs[n];
    FDepth[n] = 0;
    lengths[n] = 0;
    if (freqs[n] != 0) {
      FHeap[++FHeapLen] = static_cast<u32>(n);
      maxCode = static_cast<int>(n);
    }
  }
  // A single code would not be a prefix code; the stand-ins cost nothing
  // since the caller prices the tree with the true frequencies.
  while (FHeapLen < 2) {
    const u32 node = maxCode < 2 ? static_cast<u32>(++maxCode) : 0;
    FHeap[++FHeapLen] = node;
    FFreq[node] = 1;
  }
  for (std::size_t k = FHeapLen / 2; k >= 1; --k) SiftDown(k);

  u32 node = static_cast<u32>(symbols);
  do {
    const u32 n = FHeap[1];
    FHeap[1] = FHeap[FHeapLen--];
    SiftDown(1);
    const u32 m = FHeap[1];
    FHeap[--FHeapMax] = n;
    FHeap[--FHeapMax] = m;
    FFreq[node] = FFreq[n] + FFreq[m];
    FDepth[node] = static_cast<u16>(std::max(FDepth[n], FDepth[m]) + 1);
    FParent[n] = FParent[m] = static_cast<u16>(node);
    FHeap[1] = node++;
    SiftDown(1);
  } while (FHeapLen >= 2);
  FHeap[--FHeapMax] = FHeap[1];

  LimitLengths(maxCode, maxBits, lengths);
  return maxCode;
}

// Walks the nodes root first, giving each its parent's depth plus one
// (clamped to maxBits), then, if anything was clamped, repairs the counts
// per length: the clamp overfills the Kraft sum, and moving one leaf from
// the deepest level below maxBits one level down, with a clamped leaf as
// its new sibling, lowers the sum by exactly one unit of 2^-maxBits. The
// counts are then handed out again with the longest codes going to the least
// frequent leaves, which sit at the end of the heap's output area.
void THuffmanBuilder::LimitLengths(int maxCode, int maxBits, std::span<u8> lengths) {
  std::array<u32, kMaxCodeBits + 1> count{};
  const auto limit = static_cast<u16>(maxBits);
  bool clamped = false;
  FNodeBits[FHeap[FHeapMax]] = 0;
  for (std::size_t h = FHeapMax + 1; h < kNodes; ++h) {
    const u32 n = FHeap[h];
    u16 bits = static_cast<u16>(FNodeBits[FParent[n]] + 1);
    if (bits > limit) {
      bits = limit;
      clamped = true;
    }
    FNodeBits[n] = bits;
    if (static_cast<int>(n) > maxCode) continue;  // an internal node
    ++count[bits];
    lengths[n] = static_cast<u8>(bits);
  }
  if (!clamped) return;

  u64 kraft = 0;
  for (int bits = 1; bits <= maxBits; ++bits)
    kraft += u64{count[static_cast<std::size_t>(bits)]} << (maxBits - bits);
  const u64 full = u64{1} << maxBits;
  while (kraft > full) {
    std::size_t bits = static_cast<std::size_t>(maxBits) - 1;
    while (count[bits] == 0) --bits;
    --count[bits];
    count[bits + 1] += 2;
    --count[static_cast<std::size_t>(maxBits)];
    --kraft;
  }

  std::size_t h = kNodes;
  for (std::size_t bits = static_cast<std::size_t>(maxBits); bits != 0; --bits) {
    u32 n = count[bits];
    while (n != 0) {
      const u32 m = FHeap[--h];
      if (static_cast<int>(m) > maxCode) continue;
      lengths[m] = static_cast<u8>(bits);
      --n;
    }
  }
}

}  // namespace vz::deflate
