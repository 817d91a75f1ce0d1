// What the fuzz targets share: the libFuzzer entry point's signature, the
// parameter header that the decoder targets read from their first bytes, a
// runner that decodes one input twice (fresh and reused sides) and checks
// what every decoder promises, and the scratch file the archive targets
// open. A broken promise ends the program with abort(), which libFuzzer and
// the replay program both report with the input that caused it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/codecs/DecodeInput.h"
#include "engine/codecs/DecodeOutput.h"
#include "engine/support/Stream.h"
#include "platform/Platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace vz::fuzz {

// No target produces more than this many bytes for one input, whatever
// sizes the input declares, so every execution stays short.
inline constexpr u32 kMaxOutputBytes = u32{1} << 22;

// Prints `what` and aborts.
[[noreturn]] void Fail(const char* what);
inline void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// Takes parameters off the front of the input; past its end it reads zeros,
// so a short input still means something.
class TParamReader {
 public:
  explicit TParamReader(std::span<const u8> input) : FInput(input) {}
  u8 Byte() {
    if (FInput.empty()) return 0;
    const u8 b = FInput[0];
    FInput = FInput.subspan(1);
    return b;
  }
  u32 LE24() {
    const u32 b0 = Byte();
    const u32 b1 = Byte();
    return b0 | b1 << 8 | static_cast<u32>(Byte()) << 16;
  }
  std::span<const u8> Rest() const { return FInput; }

 private:
  std::span<const u8> FInput;
};

// The four-byte header of the decoder targets:
//   bytes 0-2  the member's uncompressed size (little-endian, at most
//              kMaxOutputBytes)
//   byte 3     bits 0-3: bytes the member declares beyond the input (the
//              archive ends early: the fill function throws
//              EFatalUnzipError when asked for them); bits 4-7: the
//              target's own parameter (Explode: flags and table width,
//              Unreduce: the factor)
// and the rest is the member's compressed data.
struct TDecoderParams {
  u32 UncompressedSize = 0;
  u32 MissingBytes = 0;
  unsigned TargetBits = 0;
  std::span<const u8> Data;
};
TDecoderParams ReadDecoderParams(std::span<const u8> input);

// What one decoding produced.
struct TDecodeOutcome {
  std::vector<u8> Bytes;
  u32 Crc = 0;
  u32 Written = 0;
  bool TooBig = false;     // EBiggerThanUncompressed
  bool Premature = false;  // EFatalUnzipError from the fill function
  bool operator==(const TDecodeOutcome&) const = default;
};

using TDecoder = std::function<void(TDecodeInput& in, TDecodeOutput& out)>;

// Runs `decode` over `params` with fresh sides, then again with the same
// sides after their window was filled with junk (the extraction driver keeps
// them from one member to the next), and checks: both runs agree byte for
// byte; the output stays within the uncompressed size (and reaches it
// exactly when EBiggerThanUncompressed is thrown); the CRC and the count the
// output side reports match the bytes; EFatalUnzipError comes only when the
// member declared missing bytes; nothing else is thrown. Returns the
// outcome of the first run.
TDecodeOutcome CheckDecoder(const TDecoderParams& params, const TDecoder& decode);

// A memory stream that takes at most `capacity` bytes: a longer write is cut
// short, which its writer reports as a failed write (EInOutError).
class TCappedStream : public TMemoryStream {
 public:
  explicit TCappedStream(std::size_t capacity) : FCapacity(capacity) {}
  std::size_t Write(std::span<const u8> data) override;
  std::string Name() const override { return "capped memory stream"; }

 private:
  std::size_t FCapacity;
};

// The real POSIX services with a host that answers every question with its
// default button; built on first use, kept for the process.
const TPlatform& PosixServices();

// A private folder under $TMPDIR (else /tmp) for the life of the process,
// holding the one file each input is written to.
class TScratchFile {
 public:
  TScratchFile();
  ~TScratchFile();
  TScratchFile(const TScratchFile&) = delete;
  TScratchFile& operator=(const TScratchFile&) = delete;

  // Replaces the file's contents with `bytes`; returns its path.
  const std::string& Write(std::span<const u8> bytes);

 private:
  std::string FFolder;
  std::string FPath;
};

}  // namespace vz::fuzz
