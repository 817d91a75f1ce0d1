// Runs one member through the decoders the way the extraction driver will:
// an input side fed from memory, an output side writing a memory stream.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/codecs/Decoders.h"
#include "engine/format/ZipHeaderInfo.h"

namespace vz::test {

struct TDecodeResult {
  bool KnownMethod = false;
  bool TooBig = false;  // EBiggerThanUncompressed reached the caller
  std::vector<u8> Data;
  u32 Crc = 0;
  u64 BytesWritten = 0;
  std::vector<std::size_t> FillSizes;
  std::vector<std::pair<u64, std::size_t>> Progress;
};

struct TDecodeCall {
  u16 Method = 8;
  u16 Flags = 0;
  u64 UncompressedSize = 0;
  bool NullSink = false;  // test mode: bytes are only summed
};

// Decodes `compressed` (all of it is the member's data).
TDecodeResult Decode(const TDecodeCall& call, std::span<const u8> compressed);

// Shorthand: deflate data expected to make `size` bytes.
inline TDecodeResult Inflated(std::span<const u8> compressed, u32 size) {
  return Decode({.Method = 8, .UncompressedSize = size}, compressed);
}

// The members of an archive found by walking its local headers, with their
// data as stored.
struct TLocalMember {
  TZipHeaderInfo Header;
  std::vector<u8> Data;
  std::vector<u8> Extra;  // the local extra field
};
std::vector<TLocalMember> LocalMembers(const std::vector<u8>& archive);
// One member of a file in tests/data/legacy.
TLocalMember LegacyMember(const std::string& archive, const std::string& member);

// A fresh folder under the system's temporary folder, removed with the object.
class TTempFolder {
 public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

// Runs `command` (a shell command line) in `folder` and returns the members
// of the archive `archive` it made there; throws when the command fails.
std::vector<TLocalMember> MembersMadeBy(const TTempFolder& folder, const std::string& command,
                                        const std::string& archive);

// Runs a Python 3 program text; returns false (with its output in `output`)
// when it fails.
bool RunPython(const TTempFolder& folder, const std::string& program,
               std::string* output = nullptr);

}  // namespace vz::test
