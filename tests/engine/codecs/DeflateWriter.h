// Hand-crafts deflate streams (RFC 1951) bit by bit, valid or not, for the
// cases peers never produce: exact distances, empty blocks, broken headers.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "tests/support/BitWriter.h"

namespace vz::test {

// One code-length symbol of a dynamic header: 0-15, or 16/17/18 with the
// value of its extra bits.
struct TCodeLengthSymbol {
  u8 Symbol;
  u32 Extra = 0;
};

class TDeflateWriter {
 public:
  TBitWriter Bits;
  // Deflate64's codes: length code 285 is 3 plus 16 extra bits (258 is code
  // 284 with all its extra bits set), distance codes 30 and 31 reach 65536.
  bool Deflate64 = false;

  // Stored block; `nlen` replaces the complement of the length when given.
  void Stored(std::span<const u8> data, bool last, std::optional<u16> nlen = {});

  void FixedHeader(bool last);
  // Dynamic header with the given lengths, sent without run-length codes.
  void DynamicHeader(bool last, const std::vector<u8>& litLenLengths,
                     const std::vector<u8>& distLengths);
  // Dynamic header with raw counts and code-length symbols, for broken ones.
  void DynamicHeaderRaw(bool last, u32 litLenCount, u32 distCount,
                        const std::vector<TCodeLengthSymbol>& symbols);

  // Symbols in the current block's codes (fixed, or the last dynamic header).
  void Literal(u8 byte);
  void Match(u32 length, u32 distance);
  void EndOfBlock();
  // A raw literal/length or distance symbol, valid or not.
  void LitLenSymbol(u32 symbol);
  void DistanceSymbol(u32 symbol);

  const std::vector<u8>& Bytes() const { return Bits.Bytes(); }

 private:
  void UseCodes(const std::vector<u8>& litLen, const std::vector<u8>& dist);
  std::vector<u8> FLitLenLengths, FDistLengths;
  std::vector<u32> FLitLenCodes, FDistCodes;
};

}  // namespace vz::test
