// Implode's decoder: literals and matches coded with up to three
// Shannon-Fano trees sent in a compact run-length form. Their codes are the
// canonical prefix codes for the same lengths with every bit inverted, so the
// tables are the usual ones, indexed by the complemented input bits. The
// window is a circular 32 KiB, zeroed first, which makes a match that reaches
// before the start copy zeros; matches are cut at the uncompressed size.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "engine/codecs/Decoders.h"
#include "engine/codecs/HuffmanTable.h"

namespace vz {
namespace {

using huff::CodeBits;
using huff::DropBits;
using huff::LowMask;
using huff::Value;

constexpr u32 kWindowSize = TDecodeOutput::kWindowSize;
constexpr u32 kWindowMask = kWindowSize - 1;
constexpr unsigned kMaxBits = huff::kMaxCodeBits;

constexpr unsigned kLiteralBits = 9;
constexpr unsigned kLengthBits = 7;
// The distance table is one bit wider for members above this compressed size.
constexpr u32 kWideDistanceAbove = 200000;

constexpr std::size_t kLiteralTableSize =
    (std::size_t{1} << kLiteralBits) + MaxSubTableEntries(256, kLiteralBits, kMaxBits);
constexpr std::size_t kShortTableSize =
    std::max((std::size_t{1} << 7) + MaxSubTableEntries(64, 7, kMaxBits),
             (std::size_t{1} << 8) + MaxSubTableEntries(64, 8, kMaxBits));

constexpr std::array<u32, 256> MakeSymbols() {
  std::array<u32, 256> symbols{};
  for (u32 s = 0; s < 256; ++s) symbols[s] = huff::Symbol(s, 0, 0);
  return symbols;
}
constexpr std::array<u32, 256> kSymbols = MakeSymbols();

class TExploder {
 public:
  TExploder(TDecodeInput& in, TDecodeOutput& out, u16 flags, u32 compressedSize, u32 size)
      : FIn(in),
        FOut(out),
        FWindow(out.Window()),
        FThreeTrees((flags & 4) != 0),
        FLowDistanceBits((flags & 2) != 0 ? 7 : 6),
        FDistanceBits(compressedSize > kWideDistanceAbove ? 8 : 7),
        FSize(size) {}
  void Run();

 private:
  [[nodiscard]] bool ReadTree(std::size_t symbolCount, unsigned primaryBits, std::span<u32> table);
  [[nodiscard]] bool Decode(const u32* table, unsigned primaryBits, u32& symbol);
  void Put(u8 b) {
    FWindow[FPos] = b;
    ++FProduced;
    if (++FPos == kWindowSize) {
      FOut.FlushWindow(kWindowSize);
      FPos = 0;
    }
  }

  TDecodeInput& FIn;
  TDecodeOutput& FOut;
  u8* const FWindow;
  const bool FThreeTrees;
  const unsigned FLowDistanceBits;
  const unsigned FDistanceBits;
  const u32 FSize;
  u32 FProduced = 0;
  u32 FPos = 0;
  std::array<u32, kLiteralTableSize> FLiterals;
  std::array<u32, kShortTableSize> FLengths;
  std::array<u32, kShortTableSize> FDistances;
};

// The compact form: a byte holding the number of bytes that follow, less
// one; each holds a code length less one (low nibble) and how many symbols
// in a row have it, less one (high nibble). The lengths must cover the
// alphabet exactly and form a complete code.
bool TExploder::ReadTree(std::size_t symbolCount, unsigned primaryBits, std::span<u32> table) {
  std::array<u8, 256> lengths{};
  const int count = FIn.ReadByte();
  if (count < 0) return false;
  std::size_t filled = 0;
  for (int i = 0; i <= count; ++i) {
    const int b = FIn.ReadByte();
    if (b < 0) return false;
    const auto repeat = static_cast<std::size_t>((b >> 4) + 1);
    if (repeat > symbolCount - filled) return false;
    std::fill_n(lengths.begin() + static_cast<std::ptrdiff_t>(filled), repeat,
                static_cast<u8>((b & 0x0F) + 1));
    filled += repeat;
  }
  return filled == symbolCount && BuildHuffmanTable(std::span(lengths).first(symbolCount), kSymbols,
                                                    primaryBits, TIncompleteCode::Reject, table);
}

bool TExploder::Decode(const u32* table, unsigned primaryBits, u32& symbol) {
  FIn.NeedBits(primaryBits);
  u32 entry = table[~FIn.Bits() & LowMask(primaryBits)];
  if ((entry & huff::kSubTable) != 0) {
    FIn.DumpBits(primaryBits);
    FIn.NeedBits(CodeBits(entry));
    entry = table[Value(entry) + (~FIn.Bits() & LowMask(CodeBits(entry)))];
  }
  if ((entry & huff::kInvalid) != 0) return false;
  FIn.DumpBits(DropBits(entry));
  symbol = Value(entry);
  return true;
}

void TExploder::Run() {
  if (FThreeTrees && !ReadTree(256, kLiteralBits, FLiterals)) return;
  if (!ReadTree(64, kLengthBits, FLengths) || !ReadTree(64, FDistanceBits, FDistances)) return;
  std::memset(FWindow, 0, kWindowSize);
  const u32 minLength = FThreeTrees ? 3 : 2;
  while (FProduced < FSize) {
    u32 symbol = 0;
    if (FIn.GetBits(1) != 0) {
      if (FThreeTrees) {
        if (!Decode(FLiterals.data(), kLiteralBits, symbol)) return;
      } else {
        symbol = FIn.GetBits(8);
      }
      if (FIn.EndOfInput()) return;
      Put(static_cast<u8>(symbol));
      continue;
    }
    u32 distance = FIn.GetBits(FLowDistanceBits);
    if (!Decode(FDistances.data(), FDistanceBits, symbol)) return;
    distance += (symbol << FLowDistanceBits) + 1;
    if (!Decode(FLengths.data(), kLengthBits, symbol)) return;
    u32 length = symbol + minLength;
    if (symbol == 63) length += FIn.GetBits(8);
    if (FIn.EndOfInput()) return;
    length = std::min(length, FSize - FProduced);
    for (u32 i = 0; i < length; ++i) Put(FWindow[(FPos - distance) & kWindowMask]);
  }
  FOut.FlushWindow(FPos);
  FOut.Finish();
}

}  // namespace

void Explode(TDecodeInput& in, TDecodeOutput& out, u16 flags, u32 compressedSize,
             u32 uncompressedSize) {
  const auto exploder =
      std::make_unique<TExploder>(in, out, flags, compressedSize, uncompressedSize);
  exploder->Run();
}

}  // namespace vz
