// The compressor's bit output: codes are packed least-significant bit first
// into a 64-bit accumulator whose low 32 bits go to a byte buffer as soon as
// they are complete; the buffer is handed to the write routine when full.
// The bytes are those a 16-bit packer would produce, only moved in bigger
// steps.
#pragma once

#include <bit>
#include <cstring>
#include <functional>
#include <memory>
#include <span>

#include "platform/Types.h"

namespace vz::deflate {

// Receives compressed bytes; throws on failure.
using TWriteBytes = std::function<void(std::span<const u8> bytes)>;

class TDeflateBitWriter {
 public:
  static constexpr std::size_t kBufferBytes = 16384;

  TDeflateBitWriter() : FBuffer(std::make_unique<u8[]>(kBufferBytes)) {}

  void Start(const TWriteBytes& write) {
    FWrite = &write;
    FBits = 0;
    FBitCount = 0;
    FUsed = 0;
    FFlushedBytes = 0;
  }

  // `count` <= 32 and `value` has no bits at or above `count`.
  void PutBits(u32 value, u32 count) {
    FBits |= u64{value} << FBitCount;
    FBitCount += count;
    if (FBitCount >= 32) {
      Store32(static_cast<u32>(FBits));
      FBits >>= 32;
      FBitCount -= 32;
    }
  }

  // The item loop's pair: AddBits only adds to the accumulator (the pending
  // bits and `count` stay below 64), FlushBytes then stores all eight bytes
  // of it at once and keeps only the bits of the unfinished byte. One flush
  // per item, whatever its size, with no branch on the bit count.
  void AddBits(u64 value, u32 count) {
    FBits |= value << FBitCount;
    FBitCount += count;
  }
  void FlushBytes() {
    if (FUsed + 8 > kBufferBytes) Flush();
    u64 word = FBits;
    if constexpr (std::endian::native != std::endian::little) word = ByteSwap64(word);
    std::memcpy(FBuffer.get() + FUsed, &word, 8);
    const u32 bytes = FBitCount >> 3;
    FUsed += bytes;
    FBits >>= 8 * bytes;  // at most 56: the count is below 64
    FBitCount &= 7;
  }

  // Pads the pending bits with zeros to a whole byte and moves them to the
  // buffer.
  void AlignToByte() {
    while (FBitCount > 0) {
      if (FUsed == kBufferBytes) Flush();
      FBuffer[FUsed++] = static_cast<u8>(FBits);
      FBits >>= 8;
      FBitCount = FBitCount > 8 ? FBitCount - 8 : 0;
    }
    FBits = 0;
  }

  // After AlignToByte: the buffer is emptied and the bytes go straight to
  // the write routine.
  void PutAlignedBytes(std::span<const u8> bytes) {
    Flush();
    if (bytes.empty()) return;
    (*FWrite)(bytes);
    FFlushedBytes += bytes.size();
  }

  void Flush() {
    if (FUsed == 0) return;
    const std::size_t used = FUsed;
    FUsed = 0;
    (*FWrite)(std::span<const u8>(FBuffer.get(), used));
    FFlushedBytes += used;
  }

  u64 BitsWritten() const { return (FFlushedBytes + FUsed) * 8 + FBitCount; }
  u64 BytesWritten() const { return FFlushedBytes + FUsed + (FBitCount + 7) / 8; }

 private:
  void Store32(u32 word) {
    if (FUsed + 4 > kBufferBytes) Flush();
    if constexpr (std::endian::native != std::endian::little) word = ByteSwap(word);
    std::memcpy(FBuffer.get() + FUsed, &word, 4);
    FUsed += 4;
  }
  static constexpr u64 ByteSwap64(u64 v) {
    return u64{ByteSwap(static_cast<u32>(v))} << 32 | ByteSwap(static_cast<u32>(v >> 32));
  }
  static constexpr u32 ByteSwap(u32 v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
  }

  std::unique_ptr<u8[]> FBuffer;
  const TWriteBytes* FWrite = nullptr;
  u64 FBits = 0;      // pending bits, the oldest in bit 0
  u32 FBitCount = 0;  // below 32 between calls
  std::size_t FUsed = 0;
  u64 FFlushedBytes = 0;
};

}  // namespace vz::deflate
