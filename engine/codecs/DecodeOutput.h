// TDecodeOutput: the uncompressed-data side shared by the decoders. It owns,
// for a whole extraction run, the window the decoders work in (32 KiB, or
// 64 KiB for Deflate64) and the 16000-byte output buffer, and sends each
// member's bytes on in chunks of 16000 (the last one shorter): CRC-32, then
// the sink, then the progress call.
#pragma once

#include <functional>
#include <memory>
#include <span>

#include "engine/support/Stream.h"

namespace vz {

class TDecodeOutput {
 public:
  // Called after every chunk that was written out.
  using TOutputProgress = std::function<void(u64 bytesWrittenThisMember, std::size_t chunkBytes)>;

  static constexpr std::size_t kWindowSize = 32768;
  // Deflate64's history; the window is allocated this large for every run,
  // the other decoders use its first kWindowSize bytes.
  static constexpr std::size_t kLargeWindowSize = 65536;
  // Room after the window that a decoder may use too: inflate keeps 192000
  // bytes of output after its history before they go out, so that it moves
  // its history rarely and sends whole chunks without a copy, and its word
  // copies run past the end of a match.
  static constexpr std::size_t kWindowSlack = 196608;
  static constexpr std::size_t kBufferSize = 16000;

  TDecodeOutput();

  // Starts a member. `sink` (not owned, may be nullptr when an archive is only
  // tested) receives the bytes; at most `uncompressedSize` of them are
  // written. `progress` may be empty.
  void Reset(TStream* sink, u64 uncompressedSize, TOutputProgress progress);

  // The window: kLargeWindowSize + kWindowSlack bytes owned by this object, kept
  // between calls. Its contents are the decoder's business (a sliding
  // dictionary, or table space); only FlushWindow reads it.
  u8* Window() { return FWindow.get(); }

  // Appends one byte to the output buffer.
  void PutByte(u8 b) {
    FBuffer[FBuffered++] = b;
    if (FBuffered == kBufferSize) WriteBuffered();
  }
  // Appends bytes, writing out every buffer that fills.
  void Write(std::span<const u8> data);
  // Appends the first n <= kLargeWindowSize + kWindowSlack bytes of the window.
  void FlushWindow(std::size_t n) { Write(std::span<const u8>(FWindow.get(), n)); }
  // Writes out what the output buffer holds (the end of a member).
  void Finish() { WriteBuffered(); }

  // Every chunk write (PutByte, Write, FlushWindow, Finish) may throw: the
  // sink's EInOutError naming its file on a short write, or, once the
  // member's bytes would pass the uncompressed size, EBiggerThanUncompressed
  // after the bytes up to that size were written, summed and reported.

  // The CRC-32 of the bytes written out so far (final form, inverted).
  u32 Crc() const { return ~FCrc; }
  u64 BytesWritten() const { return FWritten; }
  u64 UncompressedSize() const { return FSize; }

 private:
  void WriteBuffered();
  void WriteOut(std::span<const u8> chunk);

  std::unique_ptr<u8[]> FWindow;
  std::unique_ptr<u8[]> FBuffer;
  std::size_t FBuffered = 0;
  TStream* FSink = nullptr;
  TOutputProgress FProgress;
  u64 FSize = 0;
  u64 FWritten = 0;
  u32 FCrc = 0xFFFFFFFF;
};

}  // namespace vz
