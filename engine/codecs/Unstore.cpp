// Stored members: the input blocks go to the output side as they arrive, so
// a 16000-byte block is written out without being copied.
#include "engine/codecs/Decoders.h"

namespace vz {

void Unstore(TDecodeInput& in, TDecodeOutput& out) {
  for (std::span<const u8> block = in.TakeBuffered(); !block.empty(); block = in.TakeBuffered()) {
    out.Write(block);
  }
  out.Finish();
}

}  // namespace vz
