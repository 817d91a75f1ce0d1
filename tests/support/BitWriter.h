// Writes bit streams lowest bit first, the order deflate, implode, shrink and
// reduce share, so tests can hand-craft any stream, valid or broken.
#pragma once

#include <span>
#include <vector>

#include "platform/Types.h"

namespace vz::test {

class TBitWriter {
 public:
  // The low `count` (<= 32) bits of `value`, lowest first.
  void PutBits(u32 value, unsigned count);
  // A prefix code of `length` bits, its most significant bit first (how
  // deflate and implode send Huffman and Shannon-Fano codes).
  void PutCode(u32 code, unsigned length);
  // Zero bits up to the next byte boundary.
  void AlignToByte();
  // Whole bytes at a byte boundary (aligns first).
  void PutBytes(std::span<const u8> bytes);

  std::size_t BitCount() const { return FBitCount; }
  // The stream so far, the last byte padded with zero bits.
  const std::vector<u8>& Bytes() const { return FBytes; }

 private:
  std::vector<u8> FBytes;
  std::size_t FBitCount = 0;
};

// Canonical prefix codes for the given lengths (0 = unused symbol), as RFC
// 1951 assigns them: shorter codes first, equal lengths by symbol order.
std::vector<u32> CanonicalCodes(std::span<const u8> lengths);

}  // namespace vz::test
