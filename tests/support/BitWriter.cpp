#include "tests/support/BitWriter.h"

#include <array>

namespace vz::test {

void TBitWriter::PutBits(u32 value, unsigned count) {
  for (unsigned i = 0; i < count; ++i) {
    if (FBitCount % 8 == 0) FBytes.push_back(0);
    if ((value >> i & 1) != 0) FBytes.back() |= static_cast<u8>(1u << (FBitCount % 8));
    ++FBitCount;
  }
}

void TBitWriter::PutCode(u32 code, unsigned length) {
  for (unsigned i = length; i-- > 0;) PutBits(code >> i & 1, 1);
}

void TBitWriter::AlignToByte() {
  if (FBitCount % 8 != 0) PutBits(0, 8 - FBitCount % 8);
}

void TBitWriter::PutBytes(std::span<const u8> bytes) {
  AlignToByte();
  FBytes.insert(FBytes.end(), bytes.begin(), bytes.end());
  FBitCount += 8 * bytes.size();
}

std::vector<u32> CanonicalCodes(std::span<const u8> lengths) {
  std::array<u32, 33> count{};
  for (const u8 length : lengths) ++count[length];
  count[0] = 0;
  std::array<u32, 33> next{};
  u32 code = 0;
  for (unsigned bits = 1; bits < next.size(); ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  std::vector<u32> codes(lengths.size());
  for (std::size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] != 0) codes[s] = next[lengths[s]]++;
  }
  return codes;
}

}  // namespace vz::test
