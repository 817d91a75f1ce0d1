// Reduce: a byte stream coded with per-byte follower sets, in which byte 144
// (DLE) escapes either a literal 144 or a match of up to 255 + 15 + 3 bytes
// from at most 4096 back. The window's first 16 KiB are the circular history
// (zeroed, so matches reaching before the start copy zeros); the follower
// sets take its second 16 KiB, 64 bytes per set, enough for any 6-bit size.
#include <algorithm>
#include <array>
#include <cstring>

#include "engine/codecs/Decoders.h"

namespace vz {
namespace {

constexpr u32 kHistorySize = 16384;
constexpr u32 kHistoryMask = kHistorySize - 1;
constexpr std::size_t kSetSlots = 64;
static_assert(kHistorySize + 256 * kSetSlots <= TDecodeOutput::kWindowSize);
constexpr u8 kDle = 144;

// Bits of a follower index for a set of n bytes: enough to write n - 1.
constexpr std::array<u8, 256> MakeIndexBits() {
  std::array<u8, 256> bits{};
  bits[0] = 8;
  for (u32 n = 1; n < 256; ++n) {
    u8 b = 1;
    while ((1u << b) < n) ++b;
    bits[n] = b;
  }
  return bits;
}
constexpr std::array<u8, 256> kIndexBits = MakeIndexBits();
static_assert(kIndexBits[1] == 1 && kIndexBits[2] == 1 && kIndexBits[3] == 2 &&
              kIndexBits[4] == 2 && kIndexBits[5] == 3 && kIndexBits[32] == 5 &&
              kIndexBits[33] == 6 && kIndexBits[129] == 8 && kIndexBits[255] == 8);

class TUnreducer {
 public:
  TUnreducer(TDecodeInput& in, TDecodeOutput& out, unsigned factor, u32 size)
      : FIn(in),
        FOut(out),
        FWindow(out.Window()),
        FSets(out.Window() + kHistorySize),
        FLengthMask(0xFFu >> factor),
        FDistanceShift(8 - factor),
        FSize(size) {}
  void Run();

 private:
  [[nodiscard]] bool ReadFollowerSets();
  u8 NextByte();
  void Put(u8 b) {
    FWindow[FPos] = b;
    ++FProduced;
    if (++FPos == kHistorySize) {
      FOut.FlushWindow(kHistorySize);
      FPos = 0;
    }
  }
  void Copy(u32 distance, u32 length);

  TDecodeInput& FIn;
  TDecodeOutput& FOut;
  u8* const FWindow;
  u8* const FSets;
  std::array<u8, 256> FSetSize{};
  const u32 FLengthMask;
  const unsigned FDistanceShift;
  const u32 FSize;
  u32 FProduced = 0;
  u32 FPos = 0;
  u8 FLast = 0;
};

bool TUnreducer::ReadFollowerSets() {
  for (int c = 255; c >= 0; --c) {
    const u32 n = FIn.ReadBits(6);
    FSetSize[static_cast<std::size_t>(c)] = static_cast<u8>(n);
    for (u32 i = 0; i < n; ++i)
      FSets[static_cast<std::size_t>(c) * kSetSlots + i] = static_cast<u8>(FIn.ReadBits(8));
    if (FIn.EndOfInput()) return false;
  }
  return true;
}

// The next byte of the coded stream, predicted from the one before. An index
// past a set's size reads a slot the set did not fill (zero): wrong, but
// inside the window.
u8 TUnreducer::NextByte() {
  const u32 n = FSetSize[FLast];
  if (n == 0 || FIn.ReadBits(1) == 1) {
    FLast = static_cast<u8>(FIn.ReadBits(8));
  } else {
    FLast = FSets[FLast * kSetSlots + FIn.ReadBits(kIndexBits[n])];
  }
  return FLast;
}

void TUnreducer::Copy(u32 distance, u32 length) {
  length = std::min(length, FSize - FProduced);
  for (u32 i = 0; i < length; ++i) Put(FWindow[(FPos - distance) & kHistoryMask]);
}

void TUnreducer::Run() {
  std::memset(FWindow, 0, TDecodeOutput::kWindowSize);
  if (!ReadFollowerSets()) return;
  enum class TState : u8 { Plain, Escape, LongLength, Distance };
  TState state = TState::Plain;
  u32 length = 0;
  u32 high = 0;
  while (FProduced < FSize) {
    const u8 c = NextByte();
    if (FIn.EndOfInput()) return;
    switch (state) {
      case TState::Plain:
        if (c == kDle) {
          state = TState::Escape;
        } else {
          Put(c);
        }
        break;
      case TState::Escape:
        if (c == 0) {
          Put(kDle);
          state = TState::Plain;
          break;
        }
        length = c & FLengthMask;
        high = c >> FDistanceShift;
        state = length == FLengthMask ? TState::LongLength : TState::Distance;
        break;
      case TState::LongLength:
        length += c;
        state = TState::Distance;
        break;
      case TState::Distance:
        Copy(high * 256 + c + 1, length + 3);
        state = TState::Plain;
        break;
    }
  }
  FOut.FlushWindow(FPos);
  FOut.Finish();
}

}  // namespace

void Unreduce(TDecodeInput& in, TDecodeOutput& out, unsigned factor, u32 uncompressedSize) {
  if (factor < 1 || factor > 4) return;
  TUnreducer(in, out, factor, uncompressedSize).Run();
}

}  // namespace vz
