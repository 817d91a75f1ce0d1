// Unshrink over arbitrary data; it ends when the data does, so only the
// uncompressed size of the header bounds its output.
#include "engine/codecs/Decoders.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vz;
  const fuzz::TDecoderParams params = fuzz::ReadDecoderParams({data, size});
  fuzz::CheckDecoder(params, [](TDecodeInput& in, TDecodeOutput& out) { Unshrink(in, out); });
  return 0;
}
