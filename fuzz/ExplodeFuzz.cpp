// Explode over arbitrary data. Target bits 0-1 become flag bits 1-2 (8 KiB
// dictionary, three trees); bit 2 passes a compressed size above 200000,
// which widens the distance table, instead of the data's real size.
#include "engine/codecs/Decoders.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vz;
  const fuzz::TDecoderParams params = fuzz::ReadDecoderParams({data, size});
  const auto flags = static_cast<u16>((params.TargetBits & 3u) << 1);
  const u32 compressedSize = (params.TargetBits & 4u) != 0
                                 ? 200001 + static_cast<u32>(params.Data.size())
                                 : static_cast<u32>(params.Data.size());
  fuzz::CheckDecoder(params, [&](TDecodeInput& in, TDecodeOutput& out) {
    Explode(in, out, flags, compressedSize, params.UncompressedSize);
  });
  return 0;
}
