// Compresses the input with one TDeflater (as one zip operation compresses
// many members) and checks the result: our inflate and the self-extractor's
// inflate must both give back exactly the input, with the CRC of the input; a
// member reported as stored must be the input itself; the level flags and the
// text/binary mark must be set as documented; and the same member compressed
// again must come out identical.
//
// Header:
//   byte 0  the level: the byte modulo 10 (so every level 0-9 is reached)
//   byte 1  bits 0-3: the payload is repeated 1-16 times (long inputs and
//           distant matches from short fuzz inputs), at most 256 KiB in all
//   byte 2  0: the read routine fills every buffer; n: it delivers at most
//           61 * n bytes per call (short reads at odd places)
//   byte 3  0: nothing; n: first a member whose read routine throws after
//           1021 * n bytes, after which the compressor must be as good as new
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "engine/support/Crc32.h"
#include "engine/codecs/Decoders.h"
#include "engine/codecs/Deflate.h"
#include "engine/format/ZipFormat.h"
#include "engine/support/Exceptions.h"
#include "fuzz/FuzzSupport.h"
#include "sfx/Inflate.h"

namespace {

using namespace vz;

constexpr std::size_t kMaxInput = 256 * 1024;

struct TReadFailure : std::runtime_error {
  TReadFailure() : std::runtime_error("read failure") {}
};

TDeflateRead Reader(std::span<const u8> data, std::size_t chunk, std::size_t failAfter) {
  return [data, chunk, failAfter, done = std::size_t{0}](std::span<u8> buffer) mutable {
    if (done >= failAfter) throw TReadFailure();
    std::size_t n = std::min({buffer.size(), data.size() - done, chunk, failAfter - done});
    std::copy_n(data.data() + done, n, buffer.data());
    done += n;
    return n;
  };
}

std::vector<u8> EngineInflate(std::span<const u8> compressed, u32 size) {
  TDecodeInput in;
  TDecodeOutput out;
  TMemoryStream sink;
  std::size_t fetched = 0;
  in.Reset(static_cast<i64>(compressed.size()), [&](std::span<u8> block) {
    std::copy_n(compressed.data() + fetched, block.size(), block.data());
    fetched += block.size();
  });
  out.Reset(&sink, size, {});
  try {
    Inflate(in, out);
  } catch (const EBiggerThanUncompressed&) {
    fuzz::Fail("our inflate made more than the input");
  }
  fuzz::Check(out.Crc() == Crc32Of(sink.Memory()), "inflate's CRC differs from its bytes");
  return sink.Memory();
}

struct TStubState {
  std::span<const u8> In;
  std::vector<u8> Out;
};

std::vector<u8> StubInflate(std::span<const u8> compressed, u64 limit) {
  TStubState state{compressed, {}};
  const sfx::TInflateInput input{&state, [](void* context, std::span<sfx::u8> buffer) {
                                   auto& s = *static_cast<TStubState*>(context);
                                   const std::size_t n = std::min(buffer.size(), s.In.size());
                                   std::copy_n(s.In.data(), n, buffer.data());
                                   s.In = s.In.subspan(n);
                                   return n;
                                 }};
  const sfx::TInflateOutput output{&state, [](void* context, std::span<const sfx::u8> data) {
                                     auto& s = *static_cast<TStubState*>(context);
                                     s.Out.insert(s.Out.end(), data.begin(), data.end());
                                     return true;
                                   }};
  fuzz::Check(sfx::Inflate(input, output, limit) == sfx::TInflateResult::Done,
              "the stub's inflate refused our deflate stream");
  return state.Out;
}

std::vector<u8> Compress(TDeflater& deflater, TZipHeaderInfo& header, int level,
                         const TDeflateRead& read) {
  std::vector<u8> compressed;
  u64 reported = 0;
  try {
    reported = deflater.CompressMember(
        header, level, read,
        [&](std::span<const u8> bytes) {
          compressed.insert(compressed.end(), bytes.begin(), bytes.end());
        },
        "member");
  } catch (const ECompressorFault& e) {
    // Internal inconsistencies only: no input may bring one about.
    std::fprintf(stderr, "%s\n", e.what());
    fuzz::Fail("the compressor reported an internal fault");
  }
  fuzz::Check(reported == compressed.size(), "the reported size differs from the bytes written");
  return compressed;
}

void CheckMember(std::span<const u8> input, int level, const TZipHeaderInfo& header,
                 const std::vector<u8>& compressed) {
  const u16 levelFlags = header.Flags & (kFlagDeflateFast | kFlagDeflateMaximum);
  const u16 expected = level <= 2 ? kFlagDeflateFast : level >= 8 ? kFlagDeflateMaximum : 0;
  fuzz::Check(levelFlags == expected, "wrong level flags");
  fuzz::Check(header.InternalAttributes <= 1, "a text mark other than 0 or 1");
  const auto size = static_cast<u32>(input.size());
  if (header.CompressionMethod == static_cast<u16>(TCompressionMethod::Stored)) {
    fuzz::Check(std::equal(input.begin(), input.end(), compressed.begin(), compressed.end()),
                "a stored member differs from its input");
    return;
  }
  fuzz::Check(header.CompressionMethod == static_cast<u16>(TCompressionMethod::Deflated),
              "a method other than stored or deflated");
  fuzz::Check(level != 0, "level 0 did not store");
  const std::vector<u8> ours = EngineInflate(compressed, size);
  fuzz::Check(std::equal(input.begin(), input.end(), ours.begin(), ours.end()),
              "our inflate did not give back the input");
  const std::vector<u8> stubs = StubInflate(compressed, size);
  fuzz::Check(std::equal(input.begin(), input.end(), stubs.begin(), stubs.end()),
              "the stub's inflate did not give back the input");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::TParamReader params({data, size});
  const int level = params.Byte() % 10;
  const unsigned repeats = 1 + (params.Byte() & 0x0Fu);
  const u8 chunkByte = params.Byte();
  const u8 failByte = params.Byte();
  const std::span<const u8> payload = params.Rest();
  std::vector<u8> input;
  for (unsigned i = 0; i < repeats && input.size() < kMaxInput; ++i) {
    input.insert(input.end(), payload.begin(), payload.end());
  }
  input.resize(std::min(input.size(), kMaxInput));
  const std::size_t chunk = chunkByte == 0 ? input.size() + 1 : std::size_t{61} * chunkByte;

  TDeflater deflater;
  if (failByte != 0) {
    TZipHeaderInfo header;
    try {
      Compress(deflater, header, 1 + failByte % 9,
               Reader(input, chunk, std::size_t{1021} * failByte));
    } catch (const TReadFailure&) {
    }
  }
  TZipHeaderInfo header;
  const std::vector<u8> compressed =
      Compress(deflater, header, level, Reader(input, chunk, SIZE_MAX));
  CheckMember(input, level, header, compressed);
  TZipHeaderInfo again;
  fuzz::Check(Compress(deflater, again, level, Reader(input, chunk, SIZE_MAX)) == compressed &&
                  again.Flags == header.Flags &&
                  again.InternalAttributes == header.InternalAttributes &&
                  again.CompressionMethod == header.CompressionMethod,
              "the same member compressed twice came out different");
  return 0;
}
