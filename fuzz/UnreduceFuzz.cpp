// Unreduce over arbitrary data; target bits 0-1 give the factor 1 to 4.
#include "engine/codecs/Decoders.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vz;
  const fuzz::TDecoderParams params = fuzz::ReadDecoderParams({data, size});
  const unsigned factor = 1 + (params.TargetBits & 3u);
  fuzz::CheckDecoder(params, [&](TDecodeInput& in, TDecodeOutput& out) {
    Unreduce(in, out, factor, params.UncompressedSize);
  });
  return 0;
}
