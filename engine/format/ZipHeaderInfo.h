// TZipHeaderInfo: one archive entry, the central record's fields plus its
// split name, loaded comment and selection mark. TEndCentral: the
// end-of-central-directory record with the archive comment.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/ExtraFields.h"
#include "engine/format/ZipFormat.h"
#include "engine/format/ZipNames.h"
#include "engine/support/Stream.h"

namespace vz {

// Requests the next disk of a set and returns the stream that now reads it.
using TNextDiskStream = std::function<TStream&()>;

class TZipHeaderInfo {
 public:
  u16 VersionMadeBy = kVersionMadeBy;
  u16 VersionNeeded = kVersionNeeded;
  u16 Flags = 0;
  u16 CompressionMethod = 8;
  u32 FileDate = 0;  // DOS date/time, already normalised
  u32 Crc32 = 0xFFFFFFFF;
  u64 CompressedSize = 0;  // includes the 12-byte encryption header
  u64 UncompressedSize = 0;
  u16 FilenameLength = 0;  // byte length of the stored name
  u16 ExtraFieldLength = 0;
  u16 FileCommentLength = 0;
  u16 DiskNumberStart = 0;
  u16 InternalAttributes = 1;
  u32 ExternalAttributes = faAttrArchive;
  u64 RelativeOffset = 0;                  // local header's position in its disk's file
  u64 CentralOffset = 0;                   // this entry's central record, to fetch its comment
  std::optional<std::string> FileComment;  // raw bytes once loaded
  bool Selected = false;
  std::vector<u8> CentralExtra;  // the central record's extra field, as read
  // The local header has (or is to get) a Zip64 field with both sizes, its
  // plain size fields saturated, and a data descriptor after the data then
  // carries 8-byte sizes. The writer sets it before the data is written
  // when the member may reach 4 GiB.
  bool LocalZip64 = false;

  static constexpr u32 faAttrArchive = 0x20;

  const std::string& Filename() const { return FFilename; }
  const std::string& Directory() const { return FDirectory; }
  std::string FullName() const { return FDirectory + FFilename; }
  // Both give the entry a new stored form (the name's own bytes, flag bit 11
  // when they are non-ASCII UTF-8) and recompute FilenameLength.
  void SetFilename(std::string name);
  // A non-empty value gets a trailing "/".
  void SetDirectory(std::string directory);
  void SetFileComment(std::optional<std::string> comment);

  void Clear() { *this = TZipHeaderInfo(); }
  void Assign(const TZipHeaderInfo& source) { *this = source; }
  void AssignTo(TZipHeaderInfo& target) const { target = *this; }

  // Reads one central record at the stream's position, its name decoded by
  // `names`. On failure the stream is back where it was. `nextDisk` (may be
  // empty) completes a record cut by the end of a disk. Saturated sizes,
  // offset and disk are taken from the Zip64 field; a record whose field is
  // missing or too short for them raises EDamagedRecord.
  bool ReadCentral(TStream& stream, const TNextDiskStream& nextDisk,
                   const TNameDecoder& names = TNameDecoder());
  // Reads one local header; the stream is left just after the name, or
  // with `withExtra` just after the extra field, whose Zip64 field then
  // gives the saturated sizes (EDamagedRecord when it cannot).
  bool ReadLocal(TStream& stream, const TNameDecoder& names = TNameDecoder(),
                 bool withExtra = false);
  // Decodes the name again from the bytes it was read as (another code
  // page); a name set since then is kept.
  void DecodeName(const TNameDecoder& names);
  // The loaded comment decoded as the name is (Unicode Comment field 0x6375
  // included); empty when none is loaded.
  std::string DecodedComment(const TNameDecoder& names) const;
  // Gives the name flag bit 11 (and its UTF-8 bytes), so that a UTF-8
  // comment reads as one. False when the name is no UTF-8 text.
  bool UseUtf8Flag();
  // Values that do not fit their plain fields go into a Zip64 field, put
  // before `extra` (the record's other extra fields); an AES member's field
  // (from CentralExtra) is always written, since it cannot be read without.
  // Sets ExtraFieldLength to what was written.
  void WriteCentral(TStream& stream, std::span<const u8> extra = {});
  // Sets RelativeOffset to the stream's position first, and writes `extra`
  // after the name (with a Zip64 field before it when LocalZip64). Sets
  // ExtraFieldLength to what was written.
  void WriteLocal(TStream& stream, std::span<const u8> extra = {});
  // Which values the central record must keep in a Zip64 field.
  TZip64Need CentralZip64Need() const;
  // The central record (46 bytes, name, extra fields, comment) as written.
  std::vector<u8> CentralRecord(std::span<const u8> extra = {});

  bool HasComment() const { return FileCommentLength != 0; }
  bool Encrypted() const { return (Flags & kFlagEncrypted) != 0; }
  bool HasDescriptor() const { return (Flags & kFlagDataDescriptor) != 0; }
  u32 LocalSize() const { return kLocalHeaderSize + FilenameLength + ExtraFieldLength; }
  u32 CentralSize() const {
    return kCentralHeaderSize + FilenameLength + ExtraFieldLength + FileCommentLength;
  }
  // The data descriptor after this member's data, with its signature.
  u32 DescriptorSize() const { return LocalZip64 ? kZip64DescriptorSize : kDataDescriptorSize; }

  // The name exactly as it was read or will be written.
  std::string StoredName() const { return FKeepStored ? FStoredName : FullName(); }

  // The AES field of an AES-encrypted member (method 99, flag bit 0) when it
  // is one this reader knows (vendor "AE", version 1 or 2, strength 1 to 3);
  // nullopt for any other member.
  std::optional<TAesField> Aes() const;
  // The compression method of the data: the AES field's for an AES member.
  u16 DataMethod() const;
  // The method of the data by name ("Deflated", "BZip2"; the real method of
  // an AES member, "AES" when its field is missing or unknown); "Method17"
  // for a number without one.
  std::string MethodName() const;
  // How the member is enciphered: "" (not at all), "traditional",
  // "AES-128", "AES-192", "AES-256", "AES" (a field this reader does not
  // know) or "strong encryption".
  std::string EncryptionName() const;
  // Why the engine cannot decode this member: the name of its compression
  // method or encryption ("PPMd", "AES", "strong encryption"); nullopt when
  // it can.
  std::optional<std::string> UnsupportedMethod() const;

 private:
  // Stores entries compactly and makes them again from their parts.
  friend class TZipCatalogue;

  // Replaces the saturated values by the Zip64 field's.
  void TakeZip64Values(std::span<const u8> extra, bool local, const char* record);
  void SetNameFromStored(std::string stored, const TNameDecoder& names);
  void UpdateNameLength();
  // The stored form, with FilenameLength and (for a name of its own) flag
  // bit 11 made to match it.
  std::string PrepareStoredName();

  std::string FFilename;
  std::string FDirectory;
  // The bytes read from a record, written back (with the flags as read)
  // while the name is unchanged, so that a name in a code page stays as it
  // was. A name set since is stored as its own bytes.
  std::string FStoredName;
  bool FKeepStored = false;
};

// The counts, size and offset hold the Zip64 end record's values where the
// archive has one; the writer adds that record (and its locator) exactly
// when one of them does not fit the plain record.
class TEndCentral {
 public:
  u32 Signature = kEndCentralSignature;
  u16 ThisDisk = 0;
  u16 CentralStartDisk = 0;
  u64 EntriesThisDisk = 0;
  u64 TotalEntries = 0;
  u64 CentralDirSize = 0;
  u64 CentralDirOffset = 0;
  u16 ZipCommentLength = 0;
  std::optional<std::string> ZipComment;
  u64 ZipCommentPos = 0;  // absolute position of the comment's first byte
  bool Modified = false;
  // The archive was read with a Zip64 end record, found at this position
  // (where it stands, which a prepended stub moves from where the locator
  // says).
  bool Zip64 = false;
  u64 Zip64EndPos = 0;
  // Bytes in front of the archive that its offsets do not count (a stub put
  // there after it was written), as the Zip64 end record's place shows:
  // CentralDirOffset includes them, the members' offsets need them added.
  u64 OffsetShift = 0;

  void Clear() { *this = TEndCentral(); }
  // Every field but Modified.
  void Assign(const TEndCentral& source);
  void AssignTo(TEndCentral& target) const { target.Assign(*this); }
  // The Zip64 end record and locator first when a value does not fit.
  void WriteTo(TStream& stream) const;
  bool NeedsZip64() const;
  // The end-record search over the last 65528 bytes: the signature nearest
  // the end wins. The comment is not loaded. A Zip64 locator right before
  // it leads to the Zip64 end record, whose values are checked against the
  // file (EDamagedRecord: a record past the file, a directory that runs
  // into the records after it, more members than the directory could hold).
  bool FindIn(TStream& stream);
  bool HasComment() const { return ZipCommentLength != 0; }
  u32 Size() const {
    return kEndCentralSize + ZipCommentLength +
           (NeedsZip64() ? kZip64EndSize + kZip64LocatorSize : 0);
  }

 private:
  bool ReadZip64(TStream& stream, i64 endPos);
  void TakeZip64Record(std::span<const u8> record);
};

}  // namespace vz
