// TDecodeInput: the compressed-data side shared by the five decoders. It owns
// the 16000-byte input buffer for a whole extraction run and hands a member's
// bytes out one at a time, as bits, or in bulk. The archive read, the
// next-disk continuation, decryption and cancel checks live in the fill
// function the extraction driver supplies, so a decoder never sees them.
#pragma once

#include <functional>
#include <memory>
#include <span>

#include "platform/Types.h"

namespace vz {

class TDecodeInput {
 public:
  // Must put exactly block.size() bytes of the member's data, already
  // decrypted, into `block`, or throw (EFatalUnzipError, EUserCanceled, ...).
  using TFillBlock = std::function<void(std::span<u8> block)>;

  static constexpr std::size_t kBufferSize = 16000;

  TDecodeInput();

  // Starts a member of `compressedBytes` bytes (without the encryption
  // header; a negative count reads as none). `fill` is asked for
  // min(bytes not yet fetched, 16000) bytes whenever the buffer runs dry.
  void Reset(i64 compressedBytes, TFillBlock fill);

  // The next byte, or -1 once the member's bytes are used up. Never sets
  // EndOfInput().
  int ReadByte() {
    if (FNext == FEnd && !Refill()) return -1;
    return *FNext++;
  }

  // --- Bit reading, lowest bit first (inflate, explode) -------------------
  // The bit buffer holds BitCount() valid bits; bits past the end of the
  // member are supplied as zeros and count as padding until consumed.

  // Makes at least n bits (n <= 56) available.
  void NeedBits(unsigned n) {
    if (FBitCount >= n) return;
    if (FEnd - FNext >= 8) {
      RefillWord();
    } else {
      NeedBitsSlowly(n);
    }
  }
  // The buffered bits; only the low BitCount() of them are meaningful.
  u64 Bits() const { return FBits; }
  unsigned BitCount() const { return FBitCount; }
  // Drops n <= BitCount() bits.
  void DumpBits(unsigned n) {
    FBits >>= n;
    FBitCount -= n;
  }
  // NeedBits, the low n bits, DumpBits.
  u32 GetBits(unsigned n) {
    NeedBits(n);
    const u32 value = static_cast<u32>(FBits & ((u64{1} << n) - 1));
    DumpBits(n);
    return value;
  }
  // Drops the bits up to the next byte boundary of the compressed data.
  void AlignToByte() { DumpBits(FBitCount % 8); }

  // Shrink and reduce: when fewer than n (<= 25) bits are present, fills the
  // buffer byte by byte up to at least 25 bits or until no byte is left; then
  // returns the low n bits and drops them.
  u32 ReadBits(unsigned n);

  // True once the decoder has consumed bits past the end of the member's
  // data: the stream was cut short or is corrupt, and decoding must stop.
  bool EndOfInput() const { return FOverrun || FBitCount < FPadBits; }

  // --- Bulk access (stored data) ------------------------------------------

  // Copies dest.size() bytes that start at a byte boundary: first the whole
  // bytes left in the bit buffer, then from the input buffer. Returns false
  // (and sets EndOfInput) when the member's bytes run out first.
  [[nodiscard]] bool ReadAligned(std::span<u8> dest);
  // For a decoder that reads no bits (stored data): the unread bytes of the
  // input buffer (refilled when empty), all marked as read; empty once the
  // member is used up. Bits in the bit buffer are not part of them.
  std::span<const u8> TakeBuffered();
  // Fetches and drops every byte of the member that no decoder asked for,
  // so that the fill function sees them all (a cipher that authenticates
  // the whole member needs them, also after a decoder stopped early).
  void SkipRest() {
    while (!TakeBuffered().empty()) {
    }
  }

  // --- Fast decoding loops ------------------------------------------------
  // A loop that keeps the bit buffer and read position in locals takes them
  // with BeginFast() and gives them back with EndFast(). Between the two it
  // may read the bytes [Next, End) directly, 8 at a time, and must count in
  // Bits/Count exactly the bits of the bytes it stepped over.
  struct TFastState {
    u64 Bits;
    unsigned Count;
    const u8* Next;
    const u8* End;
  };
  TFastState BeginFast() const { return {FBits, FBitCount, FNext, FEnd}; }
  void EndFast(const TFastState& state);

 private:
  bool Refill();
  void RefillWord();
  void NeedBitsSlowly(unsigned n);

  std::unique_ptr<u8[]> FBuffer;
  TFillBlock FFill;
  i64 FUnfetched = 0;  // member bytes not yet asked of the fill function
  const u8* FNext = nullptr;
  const u8* FEnd = nullptr;
  u64 FBits = 0;
  unsigned FBitCount = 0;
  // Zero bits appended past the end. They are the top FPadBits of the
  // buffered bits, so consuming one shows as FBitCount < FPadBits.
  unsigned FPadBits = 0;
  bool FOverrun = false;
};

}  // namespace vz
