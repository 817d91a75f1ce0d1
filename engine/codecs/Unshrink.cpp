// Shrink: LZW whose codes start at 9 bits and widen to at most 13 on request
// (code 256, then 1), and whose table is thinned by a partial clear (code
// 256, then 2) that frees every code no other code extends. Each code's
// string is its parent code's string plus one suffix byte, so strings are
// built backwards on a stack and written out in one piece.
//
// Corrupt streams cannot reach outside the tables: codes are below 8192 by
// their width, a string longer than the table (a cycle) or one running
// through a free code stops decoding, and so does widening past 13 bits.
#include <array>
#include <memory>

#include "engine/codecs/Decoders.h"

namespace vz {
namespace {

constexpr u32 kControlCode = 256;
constexpr u32 kFirstFree = 257;
constexpr u32 kMaxCodes = 8192;
constexpr unsigned kFirstBits = 9;
constexpr unsigned kMaxBits = 13;
static_assert(kMaxCodes == 1u << kMaxBits);
constexpr u16 kUnused = 0xFFFF;

class TUnshrinker {
 public:
  TUnshrinker(TDecodeInput& in, TDecodeOutput& out) : FIn(in), FOut(out) { FParent.fill(kUnused); }
  void Run();

 private:
  [[nodiscard]] bool Emit(u32 code);
  void Add(u32 parent, u8 suffix);
  void PartialClear();
  void FindNextFree(u32 from);

  TDecodeInput& FIn;
  TDecodeOutput& FOut;
  std::array<u16, kMaxCodes> FParent;  // for codes from 257: the prefix code, or kUnused
  std::array<u8, kMaxCodes> FSuffix;
  std::array<u8, kMaxCodes> FStack;
  u32 FNextFree = kFirstFree;  // kMaxCodes when the table is full
  u8 FFirst = 0;               // first byte of the string emitted last
};

void TUnshrinker::Run() {
  unsigned codeBits = kFirstBits;
  u32 previous = FIn.ReadBits(codeBits);
  if (FIn.EndOfInput()) {
    FOut.Finish();
    return;
  }
  if (previous >= kControlCode) return;
  FFirst = static_cast<u8>(previous);
  FOut.PutByte(FFirst);
  for (;;) {
    const u32 code = FIn.ReadBits(codeBits);
    if (FIn.EndOfInput()) break;
    if (code == kControlCode) {
      const u32 action = FIn.ReadBits(codeBits);
      if (FIn.EndOfInput()) break;
      if (action == 1 && codeBits < kMaxBits) {
        ++codeBits;
      } else if (action == 2) {
        PartialClear();
      } else {
        return;
      }
      continue;
    }
    if (code >= kFirstFree && FParent[code] == kUnused) {
      // Only the code this very step defines may be unknown: the previous
      // string followed by its own first byte.
      if (code != FNextFree) return;
      Add(previous, FFirst);
      if (!Emit(code)) return;
    } else {
      if (!Emit(code)) return;
      Add(previous, FFirst);
    }
    previous = code;
  }
  FOut.Finish();
}

bool TUnshrinker::Emit(u32 code) {
  std::size_t top = FStack.size();
  while (code >= kFirstFree) {
    if (top == 1 || FParent[code] == kUnused) return false;
    FStack[--top] = FSuffix[code];
    code = FParent[code];
  }
  FStack[--top] = static_cast<u8>(code);
  FFirst = FStack[top];
  FOut.Write(std::span(FStack).subspan(top));
  return true;
}

void TUnshrinker::Add(u32 parent, u8 suffix) {
  if (FNextFree >= kMaxCodes) return;
  FParent[FNextFree] = static_cast<u16>(parent);
  FSuffix[FNextFree] = suffix;
  FindNextFree(FNextFree + 1);
}

void TUnshrinker::FindNextFree(u32 from) {
  FNextFree = from;
  while (FNextFree < kMaxCodes && FParent[FNextFree] != kUnused) ++FNextFree;
}

void TUnshrinker::PartialClear() {
  std::array<bool, kMaxCodes> extended{};
  for (u32 c = kFirstFree; c < kMaxCodes; ++c) {
    if (FParent[c] != kUnused) extended[FParent[c]] = true;
  }
  for (u32 c = kFirstFree; c < kMaxCodes; ++c) {
    if (!extended[c]) FParent[c] = kUnused;
  }
  FindNextFree(kFirstFree);
}

}  // namespace

void Unshrink(TDecodeInput& in, TDecodeOutput& out) {
  const auto unshrinker = std::make_unique<TUnshrinker>(in, out);
  unshrinker->Run();
}

}  // namespace vz
