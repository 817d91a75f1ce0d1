// Dispatch by compression method.
#include "engine/codecs/Decoders.h"

#include <algorithm>

#include "engine/format/ZipFormat.h"

namespace vz {

namespace {

// The methods of the 1980s and 90s count in 32 bits; a larger size only
// means "no limit" to them, and the output stops at the real one.
u32 Clamp32(u64 value) {
  return static_cast<u32>(std::min<u64>(value, 0xFFFFFFFF));
}

}  // namespace

bool DecodeMember(u16 method, u16 flags, u64 compressedSize, u64 uncompressedSize, TDecodeInput& in,
                  TDecodeOutput& out) {
  switch (method) {
    case kMethodDeflate64:
      Inflate64(in, out);
      return true;
    case kMethodBZip2:
      Bunzip2(in, out);
      return true;
    case kMethodLzma:
      UnLzma(in, out, flags, uncompressedSize);
      return true;
    case kMethodZstandard:
      UnZstd(in, out);
      return true;
    case kMethodXz:
      UnXz(in, out);
      return true;
    default:
      break;
  }
  switch (static_cast<TCompressionMethod>(method)) {
    case TCompressionMethod::Stored:
      Unstore(in, out);
      return true;
    case TCompressionMethod::Shrunk:
      Unshrink(in, out);
      return true;
    case TCompressionMethod::Reduced1:
    case TCompressionMethod::Reduced2:
    case TCompressionMethod::Reduced3:
    case TCompressionMethod::Reduced4:
      Unreduce(in, out, static_cast<unsigned>(method) - 1, Clamp32(uncompressedSize));
      return true;
    case TCompressionMethod::Imploded:
      Explode(in, out, flags, Clamp32(compressedSize), Clamp32(uncompressedSize));
      return true;
    case TCompressionMethod::Deflated:
      Inflate(in, out);
      return true;
  }
  return false;
}

}  // namespace vz
