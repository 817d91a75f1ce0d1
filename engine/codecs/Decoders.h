// The decoders and the dispatch by compression method. Each decoder runs
// one member from a reset TDecodeInput into a reset TDecodeOutput and returns
// when the member's data ends. Corrupt data is not an exception: the decoder
// stops early (writing out nothing more) and the CRC check reports it. What
// does propagate is whatever the input's fill function throws
// (EFatalUnzipError, EUserCanceled, ...) and what the output side throws
// (EInOutError on a short write; EBiggerThanUncompressed once the data would
// pass the member's uncompressed size, which the driver is meant to catch).
// Besides the two sides' buffers, our decoders hold only fixed-size tables for
// the length of the call (at most about 45 KB), whatever the member's size;
// the library-backed ones (BZip2, LZMA, XZ, Zstandard) hold what their
// library needs, LZMA's history at most the member's size, XZ's and
// Zstandard's at most about 1.5 GiB, which a stream that asks for more is
// refused (it fails its CRC check).
#pragma once

#include "engine/codecs/DecodeInput.h"
#include "engine/codecs/DecodeOutput.h"

namespace vz {

// Method 0: the compressed bytes unchanged.
void Unstore(TDecodeInput& in, TDecodeOutput& out);

// Method 1: dynamic LZW with 9- to 13-bit codes and partial clearing. Ends
// when the input does.
void Unshrink(TDecodeInput& in, TDecodeOutput& out);

// Methods 2 to 5 (factor 1 to 4): follower-set coding and DLE-escaped
// matches into 16 KiB. Ends once `uncompressedSize` bytes are made.
void Unreduce(TDecodeInput& in, TDecodeOutput& out, unsigned factor, u32 uncompressedSize);

// Method 6: Shannon-Fano coded literals and matches. Flag bit 1 selects the
// 8 KiB dictionary, flag bit 2 the three-tree form; `compressedSize` (without
// an encryption header) picks the distance table width. Ends once
// `uncompressedSize` bytes are made.
void Explode(TDecodeInput& in, TDecodeOutput& out, u16 flags, u32 compressedSize,
             u32 uncompressedSize);

// Method 8: deflate (RFC 1951), up to the end of its last block.
void Inflate(TDecodeInput& in, TDecodeOutput& out);

// Method 9: Deflate64, deflate with a 64 KiB history (distance codes 30 and
// 31) and length code 285 taking 16 extra bits (lengths 3 to 65538).
void Inflate64(TDecodeInput& in, TDecodeOutput& out);

// Method 12: one bzip2 stream (libbz2); bytes after its end are ignored.
void Bunzip2(TDecodeInput& in, TDecodeOutput& out);

// Method 14: LZMA in the ZIP form (version, properties' length and the
// properties in front of the raw stream; liblzma). Flag bit 1 says the stream
// ends in an end marker; otherwise it ends after `uncompressedSize` bytes.
void UnLzma(TDecodeInput& in, TDecodeOutput& out, u16 flags, u64 uncompressedSize);

// Method 95: one .xz stream, its own check included (liblzma).
void UnXz(TDecodeInput& in, TDecodeOutput& out);

// Method 93: one Zstandard frame (libzstd).
void UnZstd(TDecodeInput& in, TDecodeOutput& out);

// The methods DecodeMember knows besides the older ones (0 to 8).
inline constexpr u16 kMethodDeflate64 = 9;
inline constexpr u16 kMethodBZip2 = 12;
inline constexpr u16 kMethodLzma = 14;
inline constexpr u16 kMethodZstandard = 93;
inline constexpr u16 kMethodXz = 95;

// Runs the decoder for `method` over one member whose `in` and `out` the
// caller has reset; `compressedSize` excludes any encryption header. Returns
// false, decoding nothing, for a method other than 0, 1, 2-5, 6, 8, 9, 12,
// 14, 93 or 95.
bool DecodeMember(u16 method, u16 flags, u64 compressedSize, u64 uncompressedSize, TDecodeInput& in,
                  TDecodeOutput& out);

}  // namespace vz
