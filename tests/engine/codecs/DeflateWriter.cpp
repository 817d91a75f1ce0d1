#include "tests/engine/codecs/DeflateWriter.h"

#include <array>
#include <stdexcept>

namespace vz::test {
namespace {

// RFC 1951, section 3.2.5, written out independently of the decoder's tables.
constexpr std::array<u32, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                             15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                             67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<u32, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// The last two exist in Deflate64 only.
constexpr std::array<u32, 32> kDistBase = {1,    2,    3,    4,     5,     7,     9,     13,
                                           17,   25,   33,   49,    65,    97,    129,   193,
                                           257,  385,  513,  769,   1025,  1537,  2049,  3073,
                                           4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr std::array<u32, 32> kDistExtra = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3, 4,
                                            4,  5,  5,  6,  6,  7,  7,  8,  8,  9, 9,
                                            10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

// Code-length code used by every dynamic header written here: 16 -> 2 bits,
// 17 and 18 -> 3, lengths 0-15 -> 5 bits (complete).
std::vector<u8> CodeLengthLengths() {
  std::vector<u8> lengths(19, 5);
  lengths[16] = 2;
  lengths[17] = lengths[18] = 3;
  return lengths;
}
constexpr std::array<u8, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                 11, 4,  12, 3, 13, 2, 14, 1, 15};

}  // namespace

void TDeflateWriter::Stored(std::span<const u8> data, bool last, std::optional<u16> nlen) {
  Bits.PutBits(last ? 1 : 0, 1);
  Bits.PutBits(0, 2);
  Bits.AlignToByte();
  const auto length = static_cast<u16>(data.size());
  Bits.PutBits(length, 16);
  Bits.PutBits(nlen.value_or(static_cast<u16>(~length)), 16);
  Bits.PutBytes(data);
}

void TDeflateWriter::FixedHeader(bool last) {
  Bits.PutBits(last ? 1 : 0, 1);
  Bits.PutBits(1, 2);
  std::vector<u8> litLen(288, 8);
  for (std::size_t s = 144; s < 256; ++s) litLen[s] = 9;
  for (std::size_t s = 256; s < 280; ++s) litLen[s] = 7;
  UseCodes(litLen, std::vector<u8>(32, 5));
}

void TDeflateWriter::DynamicHeaderRaw(bool last, u32 litLenCount, u32 distCount,
                                      const std::vector<TCodeLengthSymbol>& symbols) {
  Bits.PutBits(last ? 1 : 0, 1);
  Bits.PutBits(2, 2);
  Bits.PutBits(litLenCount - 257, 5);
  Bits.PutBits(distCount - 1, 5);
  Bits.PutBits(19 - 4, 4);
  const auto clLengths = CodeLengthLengths();
  for (const u8 symbol : kCodeLengthOrder) Bits.PutBits(clLengths[symbol], 3);
  const auto clCodes = CanonicalCodes(clLengths);
  for (const auto& [symbol, extra] : symbols) {
    Bits.PutCode(clCodes[symbol], clLengths[symbol]);
    if (symbol == 16) Bits.PutBits(extra, 2);
    if (symbol == 17) Bits.PutBits(extra, 3);
    if (symbol == 18) Bits.PutBits(extra, 7);
  }
}

void TDeflateWriter::DynamicHeader(bool last, const std::vector<u8>& litLenLengths,
                                   const std::vector<u8>& distLengths) {
  std::vector<TCodeLengthSymbol> symbols;
  for (const u8 l : litLenLengths) symbols.push_back({l});
  for (const u8 l : distLengths) symbols.push_back({l});
  DynamicHeaderRaw(last, static_cast<u32>(litLenLengths.size()),
                   static_cast<u32>(distLengths.size()), symbols);
  UseCodes(litLenLengths, distLengths);
}

void TDeflateWriter::UseCodes(const std::vector<u8>& litLen, const std::vector<u8>& dist) {
  FLitLenLengths = litLen;
  FDistLengths = dist;
  FLitLenCodes = CanonicalCodes(litLen);
  FDistCodes = CanonicalCodes(dist);
}

void TDeflateWriter::LitLenSymbol(u32 symbol) {
  if (symbol >= FLitLenLengths.size() || FLitLenLengths[symbol] == 0) {
    throw std::logic_error("literal/length symbol without a code");
  }
  Bits.PutCode(FLitLenCodes[symbol], FLitLenLengths[symbol]);
}

void TDeflateWriter::DistanceSymbol(u32 symbol) {
  if (symbol >= FDistLengths.size() || FDistLengths[symbol] == 0) {
    throw std::logic_error("distance symbol without a code");
  }
  Bits.PutCode(FDistCodes[symbol], FDistLengths[symbol]);
}

void TDeflateWriter::Literal(u8 byte) {
  LitLenSymbol(byte);
}
void TDeflateWriter::EndOfBlock() {
  LitLenSymbol(256);
}

void TDeflateWriter::Match(u32 length, u32 distance) {
  if (Deflate64 && length > 258) {
    LitLenSymbol(285);
    Bits.PutBits(length - 3, 16);
  } else {
    // Deflate64 has no code for 258 alone: 284 with all extra bits set.
    std::size_t l = kLengthBase.size() - (Deflate64 ? 2 : 1);
    while (kLengthBase[l] > length) --l;
    LitLenSymbol(static_cast<u32>(257 + l));
    Bits.PutBits(length - kLengthBase[l], kLengthExtra[l]);
  }
  std::size_t d = kDistBase.size() - (Deflate64 ? 1 : 3);
  while (kDistBase[d] > distance) --d;
  DistanceSymbol(static_cast<u32>(d));
  Bits.PutBits(distance - kDistBase[d], kDistExtra[d]);
}

}  // namespace vz::test
