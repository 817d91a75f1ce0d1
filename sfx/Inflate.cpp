// Deflate decoding with one lookup table per code: the next FastBits stream
// bits index the table directly for every code up to that length; the rare
// longer codes are decoded canonically, bit by bit, from the length counts.
// Output goes through a 32768-byte window that is handed on each time it
// fills, so the window is also the match history.
#include "sfx/Inflate.h"

#include <algorithm>
#include <array>

namespace sfx {
namespace {

constexpr u32 kWindowBytes = 32768;
constexpr u32 kInputBytes = 32768;
constexpr u32 kMaxCodeBits = 15;
constexpr u32 kMaxLitLenCodes = 288;

constexpr std::array<u16, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                             15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                             67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<u8, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                             2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<u16, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<u8, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                               6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<u8, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                 11, 4,  12, 3, 13, 2, 14, 1, 15};
static_assert(kLengthBase[28] == 258 && kLengthExtra[27] == 5 && kLengthExtra[28] == 0);
static_assert(kDistanceBase[29] == 24577 && kDistanceExtra[29] == 13);
static_assert(kCodeLengthOrder[18] == 15);

enum class TCompleteness : u8 {
  Complete = 0,         // every code of a dynamic code-length code
  LoneCodeAllowed = 1,  // a single 1-bit code may stand alone (RFC 1951, 3.2.7)
  AnyIncomplete = 2,    // the fixed distance code: 30 of 32 five-bit codes
};

// A canonical Huffman code. Fast[v], for v the next FastBits stream bits,
// holds the symbol in bits 0-8 and the code length in bits 9-12 of the code
// that v starts with, or 0 when that code is longer than FastBits (or none).
struct THuffman {
  std::array<u16, kMaxCodeBits + 1> Count{};
  std::array<u16, kMaxLitLenCodes> Symbol{};
  std::array<u16, 512> Fast{};
  u32 FastBits = 0;

  [[nodiscard]] bool Build(std::span<const u8> lengths, u32 fastBits, TCompleteness completeness);
};

u32 ReverseBits(u32 code, u32 length) {
  u32 reversed = 0;
  for (u32 i = 0; i < length; ++i) reversed = (reversed << 1) | ((code >> i) & 1);
  return reversed;
}

bool THuffman::Build(std::span<const u8> lengths, u32 fastBits, TCompleteness completeness) {
  FastBits = fastBits;
  Count.fill(0);
  Fast.fill(0);
  for (const u8 length : lengths) ++Count[length];
  Count[0] = 0;

  i64 left = 1;
  u32 used = 0;
  for (u32 len = 1; len <= kMaxCodeBits; ++len) {
    left = 2 * left - Count[len];
    if (left < 0) return false;  // over-subscribed
    used += Count[len];
  }
  if (left > 0 && used > 0) {
    const bool loneCode = used == 1 && Count[1] == 1;
    if (completeness == TCompleteness::Complete) return false;
    if (completeness == TCompleteness::LoneCodeAllowed && !loneCode) return false;
  }

  std::array<u16, kMaxCodeBits + 2> offset{};
  std::array<u32, kMaxCodeBits + 1> nextCode{};
  u32 code = 0;
  for (u32 len = 1; len <= kMaxCodeBits; ++len) {
    offset[len + 1] = static_cast<u16>(offset[len] + Count[len]);
    code = (code + Count[len - 1]) << 1;
    nextCode[len] = code;
  }
  for (u32 symbol = 0; symbol < lengths.size(); ++symbol) {
    const u32 len = lengths[symbol];
    if (len == 0) continue;
    Symbol[offset[len]++] = static_cast<u16>(symbol);
    if (len > fastBits) continue;
    const u32 entry = symbol | (len << 9);
    for (u32 v = ReverseBits(nextCode[len]++, len); v < (1u << fastBits); v += 1u << len) {
      Fast[v] = static_cast<u16>(entry);
    }
  }
  return true;
}

class TInflater {
 public:
  TInflater(TInflateInput input, TInflateOutput output, u64 outputLimit)
      : FInput(input), FOutput(output), FOutputLimit(outputLimit) {}

  TInflateResult Run();

 private:
  bool Fail(TInflateResult result) {
    FResult = result;
    return false;
  }

  // ---- input: whole bytes enter the bit buffer above the bits present ----
  bool NextByte(u8& byte);
  void FillBits();
  bool GetBits(u32 count, u32& value);
  bool Decode(const THuffman& code, u32& symbol);
  void DropBits(u32 count) {
    FBits >>= count;
    FBitCount -= count;
  }

  // ---- output ----
  bool FlushWindow();
  bool Emit(u8 byte) {
    FWindow[FWindowPos++] = byte;
    return FWindowPos < kWindowBytes || FlushWindow();
  }
  bool Copy(u32 length, u32 distance);

  // ---- blocks ----
  bool StoredBlock();
  bool FixedBlock();
  bool DynamicBlock();
  bool ReadCodeLengths(u32 total, std::span<u8> lengths);
  bool Codes(const THuffman& litLen, const THuffman& distance);

  TInflateInput FInput;
  TInflateOutput FOutput;
  u64 FOutputLimit;
  TInflateResult FResult = TInflateResult::Done;

  std::array<u8, kInputBytes> FIn;
  std::size_t FInPos = 0;
  std::size_t FInLength = 0;
  bool FInputEnded = false;
  u64 FBits = 0;  // not yet consumed, next stream bit lowest
  u32 FBitCount = 0;

  std::array<u8, kWindowBytes> FWindow;
  u32 FWindowPos = 0;
  bool FWindowFull = false;  // the window was handed on once: all of it is history
  u64 FTotalOut = 0;

  THuffman FLitLen;
  THuffman FDistance;
};

bool TInflater::NextByte(u8& byte) {
  if (FInPos == FInLength) {
    if (FInputEnded) return false;
    FInLength = FInput.Fill(FInput.Context, FIn);
    FInPos = 0;
    if (FInLength == 0) {
      FInputEnded = true;
      return false;
    }
  }
  byte = FIn[FInPos++];
  return true;
}

void TInflater::FillBits() {
  u8 byte = 0;
  while (FBitCount <= 56 && NextByte(byte)) {
    FBits |= static_cast<u64>(byte) << FBitCount;
    FBitCount += 8;
  }
}

bool TInflater::GetBits(u32 count, u32& value) {
  if (FBitCount < count) FillBits();
  if (FBitCount < count) return Fail(TInflateResult::InputEnded);
  value = static_cast<u32>(FBits & ((u64{1} << count) - 1));
  DropBits(count);
  return true;
}

bool TInflater::Decode(const THuffman& code, u32& symbol) {
  if (FBitCount < kMaxCodeBits) FillBits();
  const u32 entry = code.Fast[FBits & ((1u << code.FastBits) - 1)];
  if (entry != 0) {
    const u32 length = entry >> 9;
    if (length > FBitCount) return Fail(TInflateResult::InputEnded);
    symbol = entry & 0x1FF;
    DropBits(length);
    return true;
  }
  // Canonical decoding: codes of one length are consecutive numbers that
  // start at `first`; `index` counts the symbols of all shorter codes.
  u32 value = 0;
  u32 first = 0;
  u32 index = 0;
  for (u32 length = 1; length <= kMaxCodeBits; ++length) {
    if (length > FBitCount) return Fail(TInflateResult::InputEnded);
    value |= static_cast<u32>(FBits >> (length - 1)) & 1;
    const u32 count = code.Count[length];
    if (value >= first && value - first < count) {
      symbol = code.Symbol[index + value - first];
      DropBits(length);
      return true;
    }
    index += count;
    first = (first + count) << 1;
    value <<= 1;
  }
  return Fail(TInflateResult::BadData);
}

bool TInflater::FlushWindow() {
  if (FWindowPos == 0) return true;
  if (FTotalOut + FWindowPos > FOutputLimit) return Fail(TInflateResult::TooLarge);
  FTotalOut += FWindowPos;
  if (!FOutput.Write(FOutput.Context, std::span<const u8>(FWindow.data(), FWindowPos))) {
    return Fail(TInflateResult::OutputFailed);
  }
  if (FWindowPos == kWindowBytes) FWindowFull = true;
  FWindowPos = 0;
  return true;
}

bool TInflater::Copy(u32 length, u32 distance) {
  if (distance > (FWindowFull ? kWindowBytes : FWindowPos)) return Fail(TInflateResult::BadData);
  u32 from = (FWindowPos + kWindowBytes - distance) % kWindowBytes;
  while (length > 0) {
    const u32 n = std::min({length, kWindowBytes - FWindowPos, kWindowBytes - from});
    if (from + n <= FWindowPos || FWindowPos + n <= from) {
      std::memcpy(&FWindow[FWindowPos], &FWindow[from], n);
    } else {
      // Overlap: copying forward byte by byte repeats the recent bytes, as
      // a distance shorter than the length means.
      for (u32 i = 0; i < n; ++i) FWindow[FWindowPos + i] = FWindow[from + i];
    }
    FWindowPos += n;
    from = (from + n) % kWindowBytes;
    length -= n;
    if (FWindowPos == kWindowBytes && !FlushWindow()) return false;
  }
  return true;
}

bool TInflater::StoredBlock() {
  DropBits(FBitCount % 8);
  u32 length = 0;
  u32 complement = 0;
  if (!GetBits(16, length) || !GetBits(16, complement)) return false;
  if (length != (~complement & 0xFFFF)) return Fail(TInflateResult::BadData);
  for (; length > 0 && FBitCount >= 8; --length) {
    if (!Emit(static_cast<u8>(FBits))) return false;
    DropBits(8);
  }
  u8 byte = 0;
  for (; length > 0; --length) {
    if (!NextByte(byte)) return Fail(TInflateResult::InputEnded);
    if (!Emit(byte)) return false;
  }
  return true;
}

bool TInflater::FixedBlock() {
  std::array<u8, kMaxLitLenCodes> lengths{};
  std::fill(lengths.begin(), lengths.begin() + 144, u8{8});
  std::fill(lengths.begin() + 144, lengths.begin() + 256, u8{9});
  std::fill(lengths.begin() + 256, lengths.begin() + 280, u8{7});
  std::fill(lengths.begin() + 280, lengths.end(), u8{8});
  std::array<u8, 30> distanceLengths{};
  distanceLengths.fill(5);
  if (!FLitLen.Build(lengths, 9, TCompleteness::Complete) ||
      !FDistance.Build(distanceLengths, 5, TCompleteness::AnyIncomplete)) {
    return Fail(TInflateResult::BadData);
  }
  return Codes(FLitLen, FDistance);
}

bool TInflater::ReadCodeLengths(u32 total, std::span<u8> lengths) {
  std::array<u8, 19> codeLengthLengths{};
  u32 value = 0;
  if (!GetBits(4, value)) return false;
  const u32 codeLengthCount = value + 4;
  for (u32 i = 0; i < codeLengthCount; ++i) {
    if (!GetBits(3, value)) return false;
    codeLengthLengths[kCodeLengthOrder[i]] = static_cast<u8>(value);
  }
  THuffman codeLengthCode;
  if (!codeLengthCode.Build(codeLengthLengths, 7, TCompleteness::Complete)) {
    return Fail(TInflateResult::BadData);
  }
  for (u32 i = 0; i < total;) {
    u32 symbol = 0;
    if (!Decode(codeLengthCode, symbol)) return false;
    if (symbol < 16) {
      lengths[i++] = static_cast<u8>(symbol);
      continue;
    }
    u8 repeated = 0;
    u32 repeat = 0;
    if (symbol == 16) {
      if (i == 0) return Fail(TInflateResult::BadData);
      repeated = lengths[i - 1];
      if (!GetBits(2, repeat)) return false;
      repeat += 3;
    } else if (symbol == 17) {
      if (!GetBits(3, repeat)) return false;
      repeat += 3;
    } else {
      if (!GetBits(7, repeat)) return false;
      repeat += 11;
    }
    if (i + repeat > total) return Fail(TInflateResult::BadData);
    for (; repeat > 0; --repeat) lengths[i++] = repeated;
  }
  return true;
}

bool TInflater::DynamicBlock() {
  u32 litLenCount = 0;
  u32 distanceCount = 0;
  if (!GetBits(5, litLenCount) || !GetBits(5, distanceCount)) return false;
  litLenCount += 257;
  distanceCount += 1;
  if (litLenCount > 286 || distanceCount > 30) return Fail(TInflateResult::BadData);

  std::array<u8, 286 + 30> lengths{};
  if (!ReadCodeLengths(litLenCount + distanceCount, lengths)) return false;
  if (lengths[256] == 0) return Fail(TInflateResult::BadData);  // no end-of-block code
  const std::span<const u8> all(lengths);
  if (!FLitLen.Build(all.first(litLenCount), 9, TCompleteness::LoneCodeAllowed) ||
      !FDistance.Build(all.subspan(litLenCount, distanceCount), 6,
                       TCompleteness::LoneCodeAllowed)) {
    return Fail(TInflateResult::BadData);
  }
  return Codes(FLitLen, FDistance);
}

bool TInflater::Codes(const THuffman& litLen, const THuffman& distance) {
  for (;;) {
    u32 symbol = 0;
    if (!Decode(litLen, symbol)) return false;
    if (symbol < 256) {
      if (!Emit(static_cast<u8>(symbol))) return false;
      continue;
    }
    if (symbol == 256) return true;
    symbol -= 257;
    if (symbol >= kLengthBase.size()) return Fail(TInflateResult::BadData);
    u32 extra = 0;
    if (!GetBits(kLengthExtra[symbol], extra)) return false;
    const u32 length = kLengthBase[symbol] + extra;
    if (!Decode(distance, symbol)) return false;
    if (symbol >= kDistanceBase.size()) return Fail(TInflateResult::BadData);
    if (!GetBits(kDistanceExtra[symbol], extra)) return false;
    if (!Copy(length, kDistanceBase[symbol] + extra)) return false;
  }
}

TInflateResult TInflater::Run() {
  u32 last = 0;
  do {
    u32 type = 0;
    if (!GetBits(1, last) || !GetBits(2, type)) return FResult;
    bool ok = false;
    switch (type) {
      case 0:
        ok = StoredBlock();
        break;
      case 1:
        ok = FixedBlock();
        break;
      case 2:
        ok = DynamicBlock();
        break;
      default:
        ok = Fail(TInflateResult::BadData);
        break;
    }
    if (!ok) return FResult;
  } while (last == 0);
  FlushWindow();
  return FResult;
}

}  // namespace

TInflateResult Inflate(TInflateInput input, TInflateOutput output, u64 outputLimit) {
  TInflater inflater(input, output, outputLimit);
  return inflater.Run();
}

}  // namespace sfx
