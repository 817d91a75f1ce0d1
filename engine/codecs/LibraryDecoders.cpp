// BZip2, LZMA, XZ and Zstandard through Debian's libbz2, liblzma and libzstd,
// behind the same two sides as our own decoders: compressed bytes come from
// TDecodeInput's buffer (so refills, decryption and cancel checks stay where
// they are), decoded bytes are made in the output side's window and flushed
// from there (so the CRC, the size limit and progress stay where they are).
// A library's error ends the decoder without writing out what is buffered,
// like a corrupt deflate stream; the CRC check reports it.
#include <bzlib.h>
#include <lzma.h>
#include <zstd.h>

#include <algorithm>
#include <array>
#include <memory>

#include "engine/codecs/Decoders.h"

namespace vz {
namespace {

constexpr std::size_t kOutChunk = TDecodeOutput::kLargeWindowSize;

// liblzma's and libzstd's memory, above all for the history a stream asks
// for. 7-Zip's largest LZMA dictionary is 1536 MiB; an LZMA member's history
// is cut to its own size besides (see UnLzma).
constexpr u64 kMemoryLimit = u64{1600} << 20;
constexpr int kZstdWindowLogMax = 31;

// The input bytes not yet given to the library, refilled from `in` when used
// up; empty once the member's data is all given.
class TPending {
 public:
  explicit TPending(TDecodeInput& in) : FIn(in) {}
  // Refills when empty; false when the member's bytes are used up.
  bool Fill() {
    if (FBytes.empty()) FBytes = FIn.TakeBuffered();
    return !FBytes.empty();
  }
  std::span<const u8> Bytes() const { return FBytes; }
  void Consume(std::size_t n) { FBytes = FBytes.subspan(n); }

 private:
  TDecodeInput& FIn;
  std::span<const u8> FBytes;
};

// ---------------------------------------------------------------- bzip2

struct TBzStream {
  bz_stream S{};
  bool Open = false;
  TBzStream() { Open = BZ2_bzDecompressInit(&S, 0, 0) == BZ_OK; }
  ~TBzStream() {
    if (Open) BZ2_bzDecompressEnd(&S);
  }
  TBzStream(const TBzStream&) = delete;
  TBzStream& operator=(const TBzStream&) = delete;
};

// ---------------------------------------------------------------- liblzma

struct TLzmaStream {
  lzma_stream S = LZMA_STREAM_INIT;
  TLzmaStream() = default;
  ~TLzmaStream() { lzma_end(&S); }
  TLzmaStream(const TLzmaStream&) = delete;
  TLzmaStream& operator=(const TLzmaStream&) = delete;
};

// Runs an initialised liblzma decoder to its stream's end.
void RunLzma(lzma_stream& s, TDecodeInput& in, TDecodeOutput& out) {
  TPending pending(in);
  lzma_action action = LZMA_RUN;
  for (;;) {
    if (action == LZMA_RUN && !pending.Fill()) action = LZMA_FINISH;
    s.next_in = pending.Bytes().data();
    s.avail_in = pending.Bytes().size();
    s.next_out = out.Window();
    s.avail_out = kOutChunk;
    const lzma_ret rc = lzma_code(&s, action);
    pending.Consume(pending.Bytes().size() - s.avail_in);
    out.FlushWindow(kOutChunk - s.avail_out);
    if (rc == LZMA_STREAM_END) {
      out.Finish();
      return;
    }
    // LZMA_BUF_ERROR: the input ended inside the stream.
    if (rc != LZMA_OK) return;
  }
}

}  // namespace

void Bunzip2(TDecodeInput& in, TDecodeOutput& out) {
  TBzStream stream;
  if (!stream.Open) return;
  bz_stream& s = stream.S;
  TPending pending(in);
  for (;;) {
    const bool inputEnded = !pending.Fill();
    // The library takes non-const pointers but does not write through them.
    s.next_in = const_cast<char*>(reinterpret_cast<const char*>(pending.Bytes().data()));
    s.avail_in = static_cast<unsigned>(pending.Bytes().size());
    s.next_out = reinterpret_cast<char*>(out.Window());
    s.avail_out = static_cast<unsigned>(kOutChunk);
    const int rc = BZ2_bzDecompress(&s);
    pending.Consume(pending.Bytes().size() - s.avail_in);
    const std::size_t made = kOutChunk - s.avail_out;
    out.FlushWindow(made);
    if (rc == BZ_STREAM_END) {
      out.Finish();
      return;
    }
    if (rc != BZ_OK || (inputEnded && made == 0)) return;
  }
}

// The ZIP form: a 2-byte version of the library that wrote it, the length of
// the properties (2 bytes, little-endian, 5 for LZMA), the properties (lc,
// lp and pb in one byte, the dictionary size in four), then the raw stream.
// liblzma's decoder of the old ".lzma" files reads that stream after a
// 13-byte header of the same properties and the uncompressed size, so the
// header is made up here: with flag bit 1 the stream ends in a marker and
// the size is given as unknown, otherwise decoding stops at the size.
void UnLzma(TDecodeInput& in, TDecodeOutput& out, u16 flags, u64 uncompressedSize) {
  std::array<u8, 9> zipHeader{};
  for (u8& b : zipHeader) {
    const int c = in.ReadByte();
    if (c < 0) return;
    b = static_cast<u8>(c);
  }
  if (zipHeader[2] != 5 || zipHeader[3] != 0) return;
  // No distance reaches back further than the member's own bytes, so a
  // larger dictionary would only take memory; liblzma rounds tiny ones up.
  const u32 declared = u32{zipHeader[5]} | u32{zipHeader[6]} << 8 | u32{zipHeader[7]} << 16 |
                       u32{zipHeader[8]} << 24;
  const auto dictionary =
      static_cast<u32>(std::min<u64>(declared, std::max<u64>(uncompressedSize, 4096)));
  std::array<u8, 13> header{};
  header[0] = zipHeader[4];
  for (unsigned i = 0; i < 4; ++i) header[1 + i] = static_cast<u8>(dictionary >> (8 * i));
  const bool endMarker = (flags & 0x0002) != 0;
  for (unsigned i = 0; i < 8; ++i) {
    header[5 + i] = endMarker ? u8{0xFF} : static_cast<u8>(uncompressedSize >> (8 * i));
  }
  TLzmaStream stream;
  lzma_stream& s = stream.S;
  if (lzma_alone_decoder(&s, kMemoryLimit) != LZMA_OK) return;
  s.next_in = header.data();
  s.avail_in = header.size();
  s.next_out = out.Window();
  s.avail_out = kOutChunk;
  if (lzma_code(&s, LZMA_RUN) != LZMA_OK || s.avail_in != 0) return;
  RunLzma(s, in, out);
}

void UnXz(TDecodeInput& in, TDecodeOutput& out) {
  TLzmaStream stream;
  if (lzma_stream_decoder(&stream.S, kMemoryLimit, 0) != LZMA_OK) return;
  RunLzma(stream.S, in, out);
}

void UnZstd(TDecodeInput& in, TDecodeOutput& out) {
  const std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> context(ZSTD_createDCtx(),
                                                                     &ZSTD_freeDCtx);
  if (!context ||
      ZSTD_isError(ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax, kZstdWindowLogMax))) {
    return;
  }
  TPending pending(in);
  bool outputFull = false;
  for (;;) {
    // A full output buffer may leave decoded bytes in the library: those
    // come out before any more input is needed.
    const bool inputEnded = !pending.Fill();
    if (inputEnded && !outputFull) return;  // cut short
    ZSTD_inBuffer input{pending.Bytes().data(), pending.Bytes().size(), 0};
    ZSTD_outBuffer output{out.Window(), kOutChunk, 0};
    const std::size_t rc = ZSTD_decompressStream(context.get(), &output, &input);
    pending.Consume(input.pos);
    out.FlushWindow(output.pos);
    if (ZSTD_isError(rc)) return;
    if (rc == 0) {
      out.Finish();
      return;
    }
    outputFull = output.pos == output.size;
  }
}

}  // namespace vz
