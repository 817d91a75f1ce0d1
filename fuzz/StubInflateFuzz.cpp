// The self-extractor's inflate against the engine's on the same bytes.
//
// Their contracts differ in what they report: the stub returns a result
// (Done, BadData, InputEnded, TooLarge) and hands on whole 32768-byte windows;
// the engine returns nothing, throws EBiggerThanUncompressed at the size
// limit, and writes 16000-byte chunks, a shorter one only when it finishes a
// stream. What can be compared, and is:
//   1. the bytes both produced agree up to the shorter of the two outputs;
//   2. when the stub reports Done, the engine threw nothing and produced
//      exactly the stub's bytes;
//   3. when the engine visibly finished (nothing thrown, output not a whole
//      number of 16000-byte chunks), the stub reports Done;
//   4. neither produces more than the limit.
// An empty output, or one of whole chunks, cannot tell the engine's success
// from its failure; there only 1, 2 and 4 apply.
//
// Header: bytes 0-2 the output limit of both (little-endian, at most
// kMaxOutputBytes); byte 3 the stub's input chunk (0: its whole 32 KiB
// buffer, n: at most n bytes per fill); the rest is the deflate stream.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/codecs/Decoders.h"
#include "engine/support/Exceptions.h"
#include "fuzz/FuzzSupport.h"
#include "sfx/Inflate.h"

namespace {

using namespace vz;

struct TEngineRun {
  std::vector<u8> Bytes;
  bool TooBig = false;
};

TEngineRun EngineInflate(std::span<const u8> stream, u32 limit) {
  TEngineRun run;
  TDecodeInput in;
  TDecodeOutput out;
  TMemoryStream sink;
  std::size_t fetched = 0;
  in.Reset(static_cast<i64>(stream.size()), [&](std::span<u8> block) {
    std::copy_n(stream.data() + fetched, block.size(), block.data());
    fetched += block.size();
  });
  out.Reset(&sink, limit, {});
  try {
    Inflate(in, out);
  } catch (const EBiggerThanUncompressed&) {
    run.TooBig = true;
  }
  run.Bytes = sink.Memory();
  return run;
}

struct TStubRun {
  std::span<const u8> In;
  std::size_t Chunk = 0;
  std::vector<u8> Bytes;
  sfx::TInflateResult Result = sfx::TInflateResult::Done;
};

void StubInflate(TStubRun& run, u32 limit) {
  const sfx::TInflateInput input{
      &run, [](void* context, std::span<sfx::u8> buffer) {
        auto& r = *static_cast<TStubRun*>(context);
        const std::size_t n = std::min({buffer.size(), r.In.size(), r.Chunk});
        std::copy_n(r.In.data(), n, buffer.data());
        r.In = r.In.subspan(n);
        return n;
      }};
  const sfx::TInflateOutput output{&run, [](void* context, std::span<const sfx::u8> data) {
                                     auto& r = *static_cast<TStubRun*>(context);
                                     r.Bytes.insert(r.Bytes.end(), data.begin(), data.end());
                                     return true;
                                   }};
  run.Result = sfx::Inflate(input, output, limit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::TParamReader params({data, size});
  const u32 limit = std::min(params.LE24(), fuzz::kMaxOutputBytes);
  const u8 chunk = params.Byte();
  const std::span<const u8> stream = params.Rest();

  const TEngineRun engine = EngineInflate(stream, limit);
  TStubRun stub{stream, chunk == 0 ? SIZE_MAX : chunk, {}, sfx::TInflateResult::Done};
  StubInflate(stub, limit);

  fuzz::Check(engine.Bytes.size() <= limit && stub.Bytes.size() <= limit, "output past the limit");
  fuzz::Check(stub.Result != sfx::TInflateResult::OutputFailed, "the stub's output failed");
  const std::size_t common = std::min(engine.Bytes.size(), stub.Bytes.size());
  fuzz::Check(
      std::equal(engine.Bytes.begin(), engine.Bytes.begin() + static_cast<std::ptrdiff_t>(common),
                 stub.Bytes.begin()),
      "the two inflates produced different bytes");
  if (stub.Result == sfx::TInflateResult::Done) {
    fuzz::Check(!engine.TooBig && engine.Bytes == stub.Bytes,
                "the stub finished the stream and the engine did not make the same bytes");
  }
  const bool engineFinished =
      !engine.TooBig && engine.Bytes.size() % TDecodeOutput::kBufferSize != 0;
  if (engineFinished) {
    fuzz::Check(stub.Result == sfx::TInflateResult::Done,
                "the engine finished a stream the stub refused");
  }
  return 0;
}
