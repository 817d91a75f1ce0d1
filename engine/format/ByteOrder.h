// Little-endian field access over byte buffers, independent of the host's
// byte order. Records are parsed with these, never by casting onto structs.
#pragma once

#include <span>

#include "platform/Types.h"

namespace vz {

inline u16 GetLE16(std::span<const u8> b, std::size_t at) {
  return static_cast<u16>(b[at] | (b[at + 1] << 8));
}

inline u32 GetLE32(std::span<const u8> b, std::size_t at) {
  return static_cast<u32>(b[at]) | static_cast<u32>(b[at + 1]) << 8 |
         static_cast<u32>(b[at + 2]) << 16 | static_cast<u32>(b[at + 3]) << 24;
}

inline u64 GetLE64(std::span<const u8> b, std::size_t at) {
  return u64{GetLE32(b, at)} | u64{GetLE32(b, at + 4)} << 32;
}

inline void PutLE16(std::span<u8> b, std::size_t at, u16 v) {
  b[at] = static_cast<u8>(v);
  b[at + 1] = static_cast<u8>(v >> 8);
}

inline void PutLE32(std::span<u8> b, std::size_t at, u32 v) {
  b[at] = static_cast<u8>(v);
  b[at + 1] = static_cast<u8>(v >> 8);
  b[at + 2] = static_cast<u8>(v >> 16);
  b[at + 3] = static_cast<u8>(v >> 24);
}

inline void PutLE64(std::span<u8> b, std::size_t at, u64 v) {
  PutLE32(b, at, static_cast<u32>(v));
  PutLE32(b, at + 4, static_cast<u32>(v >> 32));
}

}  // namespace vz
