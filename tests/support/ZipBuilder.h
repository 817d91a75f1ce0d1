// Writes ZIP records byte by byte, so tests can make any archive, including
// broken and hostile ones, without going through the engine's writer.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace vz::test {

struct TBuildMember {
  std::string Name;      // stored bytes, exactly as given
  std::vector<u8> Data;  // the member's data as stored (compressed)
  u16 Method = 0;
  u16 Flags = 0;
  u32 DosDateTime = 0x5A8B6C21;         // 2025-04-11 13:33:02
  std::optional<u32> Crc;               // default: CRC-32 of Data
  std::optional<u32> UncompressedSize;  // default: Data.size()
  std::optional<u32> CompressedSize;    // default: Data.size()
  std::optional<u32> OffsetField;       // the central record's; default: the local header's
  std::vector<u8> LocalExtra;
  std::vector<u8> CentralExtra;
  std::string Comment;
  u16 Disk = 0;
  u32 ExternalAttributes = 0x20;
  u16 InternalAttributes = 0;
  u16 VersionMadeBy = 20;
};

struct TEndFields {
  u16 ThisDisk = 0;
  u16 CentralStartDisk = 0;
  std::optional<u16> EntriesThisDisk;
  std::optional<u16> TotalEntries;
  std::optional<u32> CentralSize;
  std::optional<u32> CentralOffset;
  std::string Comment;
  std::optional<u16> CommentLength;
};

class TZipBuilder {
 public:
  std::vector<u8> Bytes;

  u32 Position() const { return static_cast<u32>(Bytes.size()); }
  void Append(const std::vector<u8>& data) { Bytes.insert(Bytes.end(), data.begin(), data.end()); }
  void AppendText(const std::string& text) { Bytes.insert(Bytes.end(), text.begin(), text.end()); }
  void Le16(u16 v);
  void Le32(u32 v);
  void Le64(u64 v);

  // Local header, name, extra and data; returns the header's offset.
  u32 AddLocal(const TBuildMember& m);
  void AddCentral(const TBuildMember& m, u32 localOffset);
  void AddEnd(const TEndFields& end, u16 entries, u32 centralOffset, u32 centralSize);

  // A Zip64 end record (with these values) and its locator, which names
  // `locatorOffset` (default: where the record is); returns the record's
  // position.
  u64 AddZip64End(u64 entries, u64 centralOffset, u64 centralSize,
                  std::optional<u64> locatorOffset = std::nullopt);
  // A Zip64 extra field (tag 1) holding these 8-byte values, then the disk.
  static std::vector<u8> Zip64Field(const std::vector<u64>& values,
                                    std::optional<u32> disk = std::nullopt);
  // Archive() with a Zip64 end record and locator, the plain end record's
  // counts, size and offset saturated.
  static std::vector<u8> Zip64Archive(const std::vector<TBuildMember>& members);

  // A whole single-disk archive: locals, central directory, end record.
  static std::vector<u8> Archive(const std::vector<TBuildMember>& members,
                                 const std::string& comment = "");
  // One local header (of `m`) that a central record under each of `names`
  // points to: members that share all their data.
  static std::vector<u8> SharedHeaderArchive(const TBuildMember& m,
                                             const std::vector<std::string>& names);
};

}  // namespace vz::test
