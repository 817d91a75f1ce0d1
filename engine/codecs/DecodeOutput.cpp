// Chunks are cut at the same 16000-byte boundaries whether bytes arrive one by
// one or in blocks; whole chunks of a block go out without being copied into
// the output buffer first.
#include "engine/codecs/DecodeOutput.h"

#include <algorithm>
#include <cstring>

#include "engine/support/Crc32.h"
#include "engine/support/Exceptions.h"

namespace vz {

TDecodeOutput::TDecodeOutput()
    : FWindow(std::make_unique<u8[]>(kLargeWindowSize + kWindowSlack)),
      FBuffer(std::make_unique<u8[]>(kBufferSize)) {}

void TDecodeOutput::Reset(TStream* sink, u64 uncompressedSize, TOutputProgress progress) {
  FSink = sink;
  FSize = uncompressedSize;
  FProgress = std::move(progress);
  FBuffered = 0;
  FWritten = 0;
  FCrc = 0xFFFFFFFF;
}

void TDecodeOutput::Write(std::span<const u8> data) {
  while (!data.empty()) {
    if (FBuffered == 0 && data.size() >= kBufferSize) {
      WriteOut(data.first(kBufferSize));
      data = data.subspan(kBufferSize);
      continue;
    }
    const std::size_t n = std::min(data.size(), kBufferSize - FBuffered);
    std::memcpy(FBuffer.get() + FBuffered, data.data(), n);
    FBuffered += n;
    data = data.subspan(n);
    if (FBuffered == kBufferSize) WriteBuffered();
  }
}

void TDecodeOutput::WriteBuffered() {
  const std::size_t n = FBuffered;
  FBuffered = 0;
  WriteOut(std::span<const u8>(FBuffer.get(), n));
}

// The limit counts this member's bytes only, so a sink that already holds
// data (several members decoded into one memory stream) does not cut it short.
void TDecodeOutput::WriteOut(std::span<const u8> chunk) {
  if (chunk.empty()) return;
  const u64 room = FSize - FWritten;
  const bool tooBig = chunk.size() > room;
  if (tooBig) chunk = chunk.first(static_cast<std::size_t>(room));
  if (!chunk.empty()) {
    FCrc = UpdateCrc(FCrc, chunk);
    if (FSink != nullptr) FSink->WriteBuffer(chunk);
    FWritten += chunk.size();
    if (FProgress) FProgress(FWritten, chunk.size());
  }
  if (tooBig) throw EBiggerThanUncompressed();
}

}  // namespace vz
