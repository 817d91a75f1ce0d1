// Deflate64 over arbitrary data; the header (FuzzSupport.h) sets the size and
// a cut-short archive, its target bits are unused.
#include "engine/codecs/Decoders.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vz;
  const fuzz::TDecoderParams params = fuzz::ReadDecoderParams({data, size});
  fuzz::CheckDecoder(params, [](TDecodeInput& in, TDecodeOutput& out) { Inflate64(in, out); });
  return 0;
}
