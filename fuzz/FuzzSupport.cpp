#include "fuzz/FuzzSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "engine/support/Crc32.h"
#include "engine/support/Exceptions.h"
#include "platform/posix/PosixPlatform.h"

namespace vz::fuzz {

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

TDecoderParams ReadDecoderParams(std::span<const u8> input) {
  TParamReader reader(input);
  TDecoderParams params;
  params.UncompressedSize = std::min(reader.LE24(), kMaxOutputBytes);
  const u8 b = reader.Byte();
  params.MissingBytes = b & 0x0Fu;
  params.TargetBits = b >> 4;
  params.Data = reader.Rest();
  return params;
}

namespace {

TDecodeOutcome DecodeOnce(const TDecoderParams& params, const TDecoder& decode, TDecodeInput& in,
                          TDecodeOutput& out) {
  TDecodeOutcome outcome;
  TMemoryStream sink;
  std::size_t fetched = 0;
  in.Reset(static_cast<i64>(params.Data.size() + params.MissingBytes), [&](std::span<u8> block) {
    Check(block.size() <= TDecodeInput::kBufferSize, "fill asked for more than the buffer");
    if (block.size() > params.Data.size() - fetched) throw EFatalUnzipError();
    std::copy_n(params.Data.data() + fetched, block.size(), block.data());
    fetched += block.size();
  });
  out.Reset(&sink, params.UncompressedSize, {});
  try {
    decode(in, out);
  } catch (const EBiggerThanUncompressed&) {
    outcome.TooBig = true;
  } catch (const EFatalUnzipError&) {
    outcome.Premature = true;
  }
  outcome.Bytes = sink.Memory();
  outcome.Crc = out.Crc();
  outcome.Written = out.BytesWritten();
  return outcome;
}

}  // namespace

TDecodeOutcome CheckDecoder(const TDecoderParams& params, const TDecoder& decode) {
  TDecodeInput in;
  TDecodeOutput out;
  const TDecodeOutcome first = DecodeOnce(params, decode, in, out);
  Check(first.Written == first.Bytes.size(), "the byte count differs from the bytes written");
  Check(first.Crc == Crc32Of(first.Bytes), "the CRC differs from the bytes written");
  Check(first.Written <= params.UncompressedSize, "output past the uncompressed size");
  Check(!first.TooBig || first.Written == params.UncompressedSize,
        "EBiggerThanUncompressed before the uncompressed size was reached");
  Check(!first.Premature || params.MissingBytes > 0, "EFatalUnzipError with all data present");

  std::memset(out.Window(), 0xA5, TDecodeOutput::kLargeWindowSize + TDecodeOutput::kWindowSlack);
  const TDecodeOutcome second = DecodeOnce(params, decode, in, out);
  Check(second == first, "reused decoder sides changed the result");
  return first;
}

std::size_t TCappedStream::Write(std::span<const u8> data) {
  const auto held = static_cast<std::size_t>(Size());
  const std::size_t room = held < FCapacity ? FCapacity - held : 0;
  return TMemoryStream::Write(data.first(std::min(room, data.size())));
}

const TPlatform& PosixServices() {
  static TSilentHost host;
  static TPosixPlatform platform(host);
  return platform.Services();
}

TScratchFile::TScratchFile() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vzfuzz.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot make a scratch folder");
  FFolder = pattern;
  FPath = FFolder + "/input.zip";
}

TScratchFile::~TScratchFile() {
  std::error_code ignored;
  std::filesystem::remove_all(FFolder, ignored);
}

const std::string& TScratchFile::Write(std::span<const u8> bytes) {
  const int fd = ::open(FPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) Fail("cannot create the scratch file");
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) Fail("cannot write the scratch file");
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return FPath;
}

}  // namespace vz::fuzz
