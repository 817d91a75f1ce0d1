// TZipCatalogue: an archive's entries held compactly, for archives of
// hundreds of thousands of members. An ordinary entry is one fixed-size row
// (32-bit sizes and offsets) with its name in a shared arena; the extra
// field and the comment stay in the archive until someone asks for them.
// An entry that does not fit a row (a value of 4 GiB or more, a very long
// name, a loaded comment, or an extra field the engine needs at hand: an
// AES member's field, the Unicode name and comment fields) is kept whole
// beside the rows.
//
// Rows are positions 0..Count()-1; the engine keeps them in the order of
// the local headers (disk, then offset), and a sort view is an array of
// row numbers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/format/SortedZip.h"
#include "engine/format/ZipHeaderInfo.h"

namespace vz {

class TZipCatalogue {
 public:
  int Count() const { return static_cast<int>(FRows.size()); }
  bool Empty() const { return FRows.empty(); }
  // Room for `entries` rows and `nameBytes` of names, asked for once so that
  // reading a directory never copies what it has read so far. Pass bounds
  // that the archive's real size justifies, not declared counts.
  void Reserve(u64 entries, u64 nameBytes);

  // Raises EZipLimitError past the rows an int can count.
  int Append(const TZipHeaderInfo& entry);
  void Replace(int row, const TZipHeaderInfo& entry);
  // The entry as it was appended or last replaced, with its selection mark;
  // CentralExtra holds the record's extra field only where the catalogue
  // keeps it (see above), FileComment the comment once it was loaded.
  TZipHeaderInfo Entry(int row) const;

  std::string FullName(int row) const;
  std::string_view Directory(int row) const;
  std::string_view Filename(int row) const;
  u64 CompressedSize(int row) const;
  u64 UncompressedSize(int row) const;
  u64 RelativeOffset(int row) const;
  u16 DiskNumberStart(int row) const;
  u32 FileDate(int row) const;
  u32 Crc32(int row) const;
  u16 Flags(int row) const;
  u16 CompressionMethod(int row) const;
  bool HasComment(int row) const;
  bool Selected(int row) const;
  void SetSelected(int row, bool selected);

  // The row at this disk and local-header offset; -1 when none. Rows must
  // be in position order.
  int FindPosition(u16 disk, u64 offset) const;
  // Puts the rows in position order, entries of one position in the
  // reverse of their order of appending: the order that inserting them one
  // by one into a ByNone list gives.
  void SortByPosition();
  // The row numbers in `mode`'s order: exactly the order that inserting
  // the rows one by one into a TSortedZip view for `mode` (duplicates
  // accepted) gives. Empty for ByNone, which is the row order itself.
  std::vector<u32> SortedRows(TZipSortMode mode) const;

 private:
  struct TRow {
    u32 Name = 0;  // offset in the arena; for a kept entry its index in FKept
    u32 FileDate = 0;
    u32 Crc32 = 0;
    u32 CompressedSize = 0;
    u32 UncompressedSize = 0;
    u32 RelativeOffset = 0;
    u32 CentralOffset = 0;
    u32 ExternalAttributes = 0;
    u16 NameLength = 0;  // directory and file name, as decoded
    u16 DirectoryLength = 0;
    u16 FilenameLength = 0;  // the stored name's
    u16 VersionMadeBy = 0;
    u16 VersionNeeded = 0;
    u16 Flags = 0;
    u16 CompressionMethod = 0;
    u16 ExtraFieldLength = 0;
    u16 FileCommentLength = 0;
    u16 DiskNumberStart = 0;
    u16 InternalAttributes = 0;
    u8 Bits = 0;
  };
  enum : u8 {
    kSelected = 1,
    kKept = 2,         // the entry is FKept[Name]
    kKeepStored = 4,   // the stored bytes are the entry's own (TZipHeaderInfo::FKeepStored)
    kStoredApart = 8,  // ... and differ from the decoded name: they follow it in the arena
    kLocalZip64 = 16,
  };

  const TRow& Row(int row) const;
  const TZipHeaderInfo* Kept(const TRow& row) const {
    return (row.Bits & kKept) != 0 ? &FKept[row.Name] : nullptr;
  }
  bool Fits(const TZipHeaderInfo& entry) const;
  // The row for `entry`, its names reusing `previous`'s arena bytes when
  // they are the same.
  TRow Encode(const TZipHeaderInfo& entry, const TRow* previous);
  std::string_view Arena(u32 offset, std::size_t length) const {
    return {FArena.data() + offset, length};
  }

  std::vector<TRow> FRows;
  std::vector<char> FArena;
  std::vector<TZipHeaderInfo> FKept;
};

}  // namespace vz
