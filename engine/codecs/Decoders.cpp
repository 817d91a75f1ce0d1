// Dispatch by compression method.
#include "engine/codecs/Decoders.h"

#include "engine/format/ZipFormat.h"

namespace vz {

bool DecodeMember(u16 method, u16 flags, u32 compressedSize, u32 uncompressedSize, TDecodeInput& in,
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
      Unreduce(in, out, static_cast<unsigned>(method) - 1, uncompressedSize);
      return true;
    case TCompressionMethod::Imploded:
      Explode(in, out, flags, compressedSize, uncompressedSize);
      return true;
    case TCompressionMethod::Deflated:
      Inflate(in, out);
      return true;
  }
  return false;
}

}  // namespace vz
