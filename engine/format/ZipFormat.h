// Constants of the ZIP records: signatures, fixed sizes, flag bits and the
// values this writer puts in every record.
#pragma once

#include <string>

#include "platform/Types.h"

namespace vz {

inline constexpr u32 kLocalHeaderSignature = 0x04034B50;
inline constexpr u32 kCentralHeaderSignature = 0x02014B50;
inline constexpr u32 kEndCentralSignature = 0x06054B50;
inline constexpr u32 kDataDescriptorSignature = 0x08074B50;
inline constexpr u32 kZip64EndSignature = 0x06064B50;
inline constexpr u32 kZip64LocatorSignature = 0x07064B50;

inline constexpr u32 kLocalHeaderSize = 30;
inline constexpr u32 kCentralHeaderSize = 46;
inline constexpr u32 kEndCentralSize = 22;
inline constexpr u32 kDataDescriptorSize = 16;
inline constexpr u32 kEncryptionHeaderSize = 12;
// The Zip64 end record without extensible data, its locator, and the data
// descriptor of a member whose local header has a Zip64 field.
inline constexpr u32 kZip64EndSize = 56;
inline constexpr u32 kZip64LocatorSize = 20;
inline constexpr u32 kZip64DescriptorSize = 24;
// A plain field holding this says "look in the Zip64 record or field".
inline constexpr u32 kSaturated32 = 0xFFFFFFFF;
inline constexpr u16 kSaturated16 = 0xFFFF;
// The end record is looked for in this many bytes at the end of the file.
inline constexpr u32 kEndRecordSearchBytes = 65528;

inline constexpr u16 kFlagEncrypted = 0x0001;
inline constexpr u16 kFlagDeflateMaximum = 0x0002;
inline constexpr u16 kFlagDeflateFast = 0x0004;
inline constexpr u16 kFlagDataDescriptor = 0x0008;
// PKWARE's strong encryption (with bit 0).
inline constexpr u16 kFlagStrongEncryption = 0x0040;
// The name (and comment) are UTF-8 rather than code page 437.
inline constexpr u16 kFlagUtf8 = 0x0800;

inline constexpr u16 kVersionMadeBy = 20;
// Version 2.0 on a Unix host: the external attributes' high half is a mode.
inline constexpr u16 kVersionMadeByUnix = 0x0314;
inline constexpr u16 kVersionNeeded = 20;
// What a record with Zip64 fields needs, and makes.
inline constexpr u16 kVersionNeededZip64 = 45;

enum class TCompressionMethod : u16 {
  Stored = 0,
  Shrunk = 1,
  Reduced1 = 2,
  Reduced2 = 3,
  Reduced3 = 4,
  Reduced4 = 5,
  Imploded = 6,
  Deflated = 8,
};

// The method of WinZip's AES encryption; the real one is in the 0x9901 field.
inline constexpr u16 kMethodAes = 99;

// A method the decoders handle: 0 to 6, 8, and Deflate64 (9), BZip2 (12),
// LZMA (14), Zstandard (93) and XZ (95).
constexpr bool IsDecodableMethod(u16 method) {
  switch (method) {
    case 9:
    case 12:
    case 14:
    case 93:
    case 95:
      return true;
    default:
      return method <= 6 || method == 8;
  }
}

// "Stored", "Deflated", "Deflate64", "BZip2", "LZMA", "Zstandard", ... as
// the application note names them, in at most nine characters; "Method17"
// for a number it does not name.
std::string CompressionMethodName(u16 method);

}  // namespace vz
