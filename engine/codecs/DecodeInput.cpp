// The 64-bit bit buffer is topped up a whole word at a time while at least
// eight unread bytes remain, and byte by byte near the end of a block, where
// the next refill (and with it the driver's cancel check and disk change)
// must wait until a byte is really wanted.
#include "engine/codecs/DecodeInput.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vz {
namespace {

u64 LoadLE64(const u8* p) {
  u64 v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

}  // namespace

TDecodeInput::TDecodeInput() : FBuffer(std::make_unique<u8[]>(kBufferSize)) {}

void TDecodeInput::Reset(i64 compressedBytes, TFillBlock fill) {
  FFill = std::move(fill);
  FUnfetched = std::max<i64>(compressedBytes, 0);
  FNext = FEnd = FBuffer.get();
  FBits = 0;
  FBitCount = 0;
  FPadBits = 0;
  FOverrun = false;
}

bool TDecodeInput::Refill() {
  if (FUnfetched <= 0) return false;
  const auto count =
      static_cast<std::size_t>(std::min<i64>(FUnfetched, static_cast<i64>(kBufferSize)));
  FFill(std::span(FBuffer.get(), count));
  FUnfetched -= static_cast<i64>(count);
  FNext = FBuffer.get();
  FEnd = FNext + count;
  return true;
}

// Ors eight bytes in above the present bits and steps over the whole bytes
// that fitted; the bits above the new count are the start of the next unread
// byte, so a later fill ors the same values over them.
void TDecodeInput::RefillWord() {
  FBits |= LoadLE64(FNext) << FBitCount;
  FNext += (63 - FBitCount) / 8;
  FBitCount |= 56;
}

void TDecodeInput::NeedBitsSlowly(unsigned n) {
  while (FBitCount < n) {
    const int b = ReadByte();
    if (b < 0) {
      FBits &= (u64{1} << FBitCount) - 1;
      FPadBits += 8;
      FBitCount += 8;
      continue;
    }
    FBits |= static_cast<u64>(b) << FBitCount;
    FBitCount += 8;
  }
  // Once padding has been consumed the mark stays, and the padding count
  // stays bounded however long a decoder goes on.
  if (FBitCount < FPadBits) {
    FOverrun = true;
    FPadBits = FBitCount;
  }
}

u32 TDecodeInput::ReadBits(unsigned n) {
  if (FBitCount < n) {
    while (FBitCount < 25) {
      const int b = ReadByte();
      if (b < 0) break;
      FBits |= static_cast<u64>(b) << FBitCount;
      FBitCount += 8;
    }
    if (FBitCount < n) NeedBitsSlowly(n);
  }
  const u32 value = static_cast<u32>(FBits & ((u64{1} << n) - 1));
  DumpBits(n);
  return value;
}

bool TDecodeInput::ReadAligned(std::span<u8> dest) {
  std::size_t done = 0;
  while (FBitCount >= 8 && done < dest.size()) {
    dest[done++] = static_cast<u8>(FBits);
    DumpBits(8);
  }
  if (FBitCount < FPadBits) FOverrun = true;
  if (FBitCount == 0) FBits = 0;
  while (done < dest.size() && !FOverrun) {
    if (FNext == FEnd && !Refill()) {
      FOverrun = true;
      break;
    }
    const auto n =
        std::min<std::size_t>(static_cast<std::size_t>(FEnd - FNext), dest.size() - done);
    std::memcpy(dest.data() + done, FNext, n);
    FNext += n;
    done += n;
  }
  if (done < dest.size()) std::memset(dest.data() + done, 0, dest.size() - done);
  return !EndOfInput();
}

std::span<const u8> TDecodeInput::TakeBuffered() {
  if (FNext == FEnd && !Refill()) return {};
  const std::span<const u8> bytes(FNext, FEnd);
  FNext = FEnd;
  return bytes;
}

void TDecodeInput::EndFast(const TFastState& state) {
  FBitCount = state.Count;
  FBits = state.Bits & ((u64{1} << state.Count) - 1);
  FNext = state.Next;
}

}  // namespace vz
