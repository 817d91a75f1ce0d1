#include "engine/format/ZipHeaderInfo.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/format/ByteOrder.h"
#include "engine/format/DosDate.h"
#include "engine/format/ExtraFields.h"
#include "engine/support/Exceptions.h"

namespace vz {
namespace {

// Larger sizes and offsets than any file has: a sum of three of them (an
// offset, a header and a size) still fits a signed 64-bit position.
constexpr u64 kLargestZip64Value = u64{1} << 62;

// Four plain fields to saturate or not.
u32 Plain32(u64 value, bool saturated) {
  return saturated ? kSaturated32 : static_cast<u32>(value);
}

}  // namespace

void TZipHeaderInfo::SetFilename(std::string name) {
  if (name == FFilename) return;
  FFilename = std::move(name);
  UpdateNameLength();
}

void TZipHeaderInfo::SetDirectory(std::string directory) {
  if (!directory.empty() && directory.back() != '/') directory += '/';
  if (directory == FDirectory) return;
  FDirectory = std::move(directory);
  UpdateNameLength();
}

void TZipHeaderInfo::SetFileComment(std::optional<std::string> comment) {
  if (comment && comment->size() > 0xFFFF) {
    throw EZipLimitError("A comment may hold at most 65535 bytes");
  }
  FileComment = std::move(comment);
  FileCommentLength = FileComment ? static_cast<u16>(FileComment->size()) : u16{0};
  if (FileCommentLength == 0) FileComment.reset();
}

void TZipHeaderInfo::UpdateNameLength() {
  FKeepStored = false;
  PrepareStoredName();
}

std::string TZipHeaderInfo::PrepareStoredName() {
  if (FKeepStored) {
    FilenameLength = static_cast<u16>(FStoredName.size());
    return FStoredName;
  }
  std::string stored = FullName();
  if (stored.size() > 0xFFFF) {
    throw EZipLimitError("Name too long for the ZIP format: " + DisplayName(stored));
  }
  FilenameLength = static_cast<u16>(stored.size());
  Flags = static_cast<u16>(NeedsUtf8Flag(stored) ? (Flags | kFlagUtf8) : (Flags & ~kFlagUtf8));
  return stored;
}

bool TZipHeaderInfo::UseUtf8Flag() {
  if ((Flags & kFlagUtf8) != 0) return true;
  std::string name = FullName();
  if (!IsValidUtf8(name)) return false;
  Flags |= kFlagUtf8;
  FStoredName = std::move(name);
  FKeepStored = true;
  FilenameLength = static_cast<u16>(FStoredName.size());
  return true;
}

void TZipHeaderInfo::SetNameFromStored(std::string stored, const TNameDecoder& names) {
  FStoredName = std::move(stored);
  FKeepStored = true;
  DecodeName(names);
}

void TZipHeaderInfo::DecodeName(const TNameDecoder& names) {
  if (!FKeepStored) return;
  const auto unicode = UnicodeExtraField(CentralExtra, kUnicodePathTag, FStoredName);
  TSplitName split = SplitStoredName(
      names.DecodeName({FStoredName, Flags, VersionMadeBy, unicode ? &*unicode : nullptr}),
      MadeOnDosHost(VersionMadeBy));
  FDirectory = std::move(split.Directory);
  FFilename = std::move(split.Filename);
}

std::string TZipHeaderInfo::DecodedComment(const TNameDecoder& names) const {
  if (!FileComment) return {};
  const auto unicode = UnicodeExtraField(CentralExtra, kUnicodeCommentTag, *FileComment);
  return names.DecodeText({*FileComment, Flags, VersionMadeBy, unicode ? &*unicode : nullptr});
}

std::optional<TAesField> TZipHeaderInfo::Aes() const {
  if (CompressionMethod != kMethodAes || !Encrypted()) return std::nullopt;
  const auto aes = AesExtraField(CentralExtra);
  if (!aes || aes->Version < 1 || aes->Version > 2 || aes->Strength < 1 || aes->Strength > 3) {
    return std::nullopt;
  }
  return aes;
}

u16 TZipHeaderInfo::DataMethod() const {
  const auto aes = Aes();
  return aes ? aes->Method : CompressionMethod;
}

std::string TZipHeaderInfo::MethodName() const {
  return CompressionMethodName(DataMethod());
}

std::string TZipHeaderInfo::EncryptionName() const {
  if (!Encrypted() && CompressionMethod != kMethodAes) return {};
  if ((Flags & kFlagStrongEncryption) != 0) return "strong encryption";
  if (CompressionMethod != kMethodAes) return "traditional";
  const auto aes = Aes();
  return aes ? "AES-" + std::to_string(64 * (aes->Strength + 1)) : "AES";
}

std::optional<std::string> TZipHeaderInfo::UnsupportedMethod() const {
  // PKWARE's strong encryption keeps its own header in front of the data.
  if (Encrypted() && (Flags & kFlagStrongEncryption) != 0) return "strong encryption";
  if (CompressionMethod == kMethodAes && !Aes()) return "AES";
  const u16 method = DataMethod();
  if (IsDecodableMethod(method)) return std::nullopt;
  return CompressionMethodName(method);
}

bool TZipHeaderInfo::ReadCentral(TStream& stream, const TNextDiskStream& nextDisk,
                                 const TNameDecoder& names) {
  TStream* in = &stream;
  i64 start = in->Position();
  std::array<u8, kCentralHeaderSize> record{};
  std::size_t got = in->Read(record);
  if (nextDisk && got < record.size() &&
      (got == 0 || (got >= 4 && GetLE32(record, 0) == kCentralHeaderSignature))) {
    in = &nextDisk();
    // A record that begins on the new disk is found there again later (for
    // its comment); one cut in two keeps its start on the earlier disk.
    if (got == 0) start = in->Position();
    got += in->Read(std::span(record).subspan(got));
  }
  if (got != record.size() || GetLE32(record, 0) != kCentralHeaderSignature) {
    in->Seek(start, TSeekOrigin::Begin);
    return false;
  }
  const u16 nameLength = GetLE16(record, 28);
  std::string name(nameLength, '\0');
  if (in->Read(std::span(reinterpret_cast<u8*>(name.data()), name.size())) != name.size()) {
    in->Seek(start, TSeekOrigin::Begin);
    return false;
  }
  const u16 extraLength = GetLE16(record, 30);
  const u16 commentLength = GetLE16(record, 32);
  // An extra field cut by the end of the file keeps what is there.
  std::vector<u8> extra(extraLength);
  if (!extra.empty()) extra.resize(in->Read(extra));
  in->Seek(commentLength, TSeekOrigin::Current);

  *this = TZipHeaderInfo();
  CentralExtra = std::move(extra);
  VersionMadeBy = GetLE16(record, 4);
  VersionNeeded = GetLE16(record, 6);
  Flags = GetLE16(record, 8);
  CompressionMethod = GetLE16(record, 10);
  FileDate = NormaliseDosDateTime(GetLE32(record, 12));
  Crc32 = GetLE32(record, 16);
  CompressedSize = GetLE32(record, 20);
  UncompressedSize = GetLE32(record, 24);
  FilenameLength = nameLength;
  ExtraFieldLength = extraLength;
  FileCommentLength = commentLength;
  DiskNumberStart = GetLE16(record, 34);
  InternalAttributes = GetLE16(record, 36);
  ExternalAttributes = GetLE32(record, 38);
  RelativeOffset = GetLE32(record, 42);
  SetNameFromStored(std::move(name), names);
  CentralOffset = static_cast<u64>(start);
  TakeZip64Values(CentralExtra, false, "central record");
  return true;
}

void TZipHeaderInfo::TakeZip64Values(std::span<const u8> extra, bool local, const char* record) {
  const TZip64Need need{UncompressedSize == kSaturated32, CompressedSize == kSaturated32,
                        !local && RelativeOffset == kSaturated32,
                        !local && DiskNumberStart == kSaturated16};
  TZip64Values values;
  if (!ReadZip64ExtraField(extra, need, values, local)) {
    throw EDamagedRecord(DisplayName(FullName()) + ": the Zip64 field of its " + record +
                         " is missing or too short for the values it must hold");
  }
  if (need.Uncompressed) UncompressedSize = values.Uncompressed;
  if (need.Compressed) CompressedSize = values.Compressed;
  if (need.Offset) RelativeOffset = values.Offset;
  if (need.Disk) {
    if (values.Disk > 0xFFFF) {
      throw EDamagedRecord(DisplayName(FullName()) + ": its disk number " +
                           std::to_string(values.Disk) + " is past any set of disks");
    }
    DiskNumberStart = static_cast<u16>(values.Disk);
  }
  if (std::max({UncompressedSize, CompressedSize, RelativeOffset}) > kLargestZip64Value) {
    throw EDamagedRecord(DisplayName(FullName()) + ": its " + record +
                         " declares a size or offset past any file");
  }
}

bool TZipHeaderInfo::ReadLocal(TStream& stream, const TNameDecoder& names, bool withExtra) {
  const i64 start = stream.Position();
  std::array<u8, kLocalHeaderSize> record{};
  if (stream.Read(record) != record.size() || GetLE32(record, 0) != kLocalHeaderSignature) {
    stream.Seek(start, TSeekOrigin::Begin);
    return false;
  }
  const u16 nameLength = GetLE16(record, 26);
  std::string name(nameLength, '\0');
  if (stream.Read(std::span(reinterpret_cast<u8*>(name.data()), name.size())) != name.size()) {
    stream.Seek(start, TSeekOrigin::Begin);
    return false;
  }
  *this = TZipHeaderInfo();
  VersionMadeBy = 0;
  VersionNeeded = GetLE16(record, 4);
  Flags = GetLE16(record, 6);
  CompressionMethod = GetLE16(record, 8);
  FileDate = NormaliseDosDateTime(GetLE32(record, 10));
  Crc32 = GetLE32(record, 14);
  CompressedSize = GetLE32(record, 18);
  UncompressedSize = GetLE32(record, 22);
  FilenameLength = nameLength;
  ExtraFieldLength = GetLE16(record, 28);
  InternalAttributes = 0;
  ExternalAttributes = 0;
  RelativeOffset = static_cast<u64>(start);
  SetNameFromStored(std::move(name), names);
  if (!withExtra) return true;
  std::vector<u8> extra(ExtraFieldLength);
  if (!extra.empty() && stream.Read(extra) != extra.size()) {
    stream.Seek(start, TSeekOrigin::Begin);
    return false;
  }
  LocalZip64 = FindExtraField(extra, kZip64Tag).has_value();
  TakeZip64Values(extra, true, "local header");
  // Without a central record (a directory rebuilt from the local headers)
  // an AES member's field comes from here: it cannot be deciphered without.
  if (CompressionMethod == kMethodAes) CentralExtra = std::move(extra);
  return true;
}

TZip64Need TZipHeaderInfo::CentralZip64Need() const {
  return {UncompressedSize >= kSaturated32, CompressedSize >= kSaturated32,
          RelativeOffset >= kSaturated32, false};
}

std::vector<u8> TZipHeaderInfo::CentralRecord(std::span<const u8> extra) {
  const std::string name = PrepareStoredName();
  const TZip64Need need = CentralZip64Need();
  std::vector<u8> zip64 =
      MakeZip64ExtraField({UncompressedSize, CompressedSize, RelativeOffset, 0}, need);
  std::vector<u8> fields(extra.begin(), extra.end());
  const auto aes = Aes() && !FindExtraField(extra, kAesTag)
                       ? FindExtraField(CentralExtra, kAesTag)
                       : std::nullopt;
  if (aes) {
    const std::size_t at = fields.size();
    fields.resize(at + 4);
    PutLE16(fields, at, kAesTag);
    PutLE16(fields, at + 2, static_cast<u16>(aes->size()));
    fields.insert(fields.end(), aes->begin(), aes->end());
  }
  if (zip64.size() + fields.size() > 0xFFFF) {
    throw EZipLimitError(DisplayName(FullName()) + ": its extra fields grow past 65535 bytes");
  }
  ExtraFieldLength = static_cast<u16>(zip64.size() + fields.size());
  // A comment that was never loaded cannot be written; the length says so
  // rather than promise missing bytes.
  const bool withComment = FileCommentLength != 0 && FileComment.has_value();
  std::vector<u8> out(kCentralHeaderSize);
  PutLE32(out, 0, kCentralHeaderSignature);
  PutLE16(out, 4, VersionMadeBy);
  PutLE16(out, 6,
          need.Any() || LocalZip64 ? std::max(VersionNeeded, kVersionNeededZip64) : VersionNeeded);
  PutLE16(out, 8, Flags);
  PutLE16(out, 10, CompressionMethod);
  PutLE32(out, 12, FileDate);
  PutLE32(out, 16, Crc32);
  PutLE32(out, 20, Plain32(CompressedSize, need.Compressed));
  PutLE32(out, 24, Plain32(UncompressedSize, need.Uncompressed));
  PutLE16(out, 28, FilenameLength);
  PutLE16(out, 30, ExtraFieldLength);
  PutLE16(out, 32, withComment ? FileCommentLength : u16{0});
  PutLE16(out, 34, DiskNumberStart);
  PutLE16(out, 36, InternalAttributes);
  PutLE32(out, 38, ExternalAttributes);
  PutLE32(out, 42, Plain32(RelativeOffset, need.Offset));
  out.insert(out.end(), name.begin(), name.end());
  out.insert(out.end(), zip64.begin(), zip64.end());
  out.insert(out.end(), fields.begin(), fields.end());
  if (withComment) out.insert(out.end(), FileComment->begin(), FileComment->end());
  return out;
}

void TZipHeaderInfo::WriteCentral(TStream& stream, std::span<const u8> extra) {
  stream.WriteBuffer(CentralRecord(extra));
}

void TZipHeaderInfo::WriteLocal(TStream& stream, std::span<const u8> extra) {
  RelativeOffset = static_cast<u64>(stream.Position());
  const std::string name = PrepareStoredName();
  // A local header's Zip64 field holds both sizes, whichever needs it.
  const std::vector<u8> zip64 =
      LocalZip64 ? MakeZip64ExtraField({UncompressedSize, CompressedSize, 0, 0}, {true, true})
                 : std::vector<u8>();
  if (!LocalZip64 && std::max(UncompressedSize, CompressedSize) >= kSaturated32) {
    throw EZipLimitError(DisplayName(FullName()) +
                         ": grew to 4 GiB or more while it was added, past the room its "
                         "header has");
  }
  if (zip64.size() + extra.size() > 0xFFFF) {
    throw EZipLimitError(DisplayName(FullName()) + ": its extra fields grow past 65535 bytes");
  }
  ExtraFieldLength = static_cast<u16>(zip64.size() + extra.size());
  std::vector<u8> out(kLocalHeaderSize);
  PutLE32(out, 0, kLocalHeaderSignature);
  PutLE16(out, 4, LocalZip64 ? std::max(VersionNeeded, kVersionNeededZip64) : VersionNeeded);
  PutLE16(out, 6, Flags);
  PutLE16(out, 8, CompressionMethod);
  PutLE32(out, 10, FileDate);
  PutLE32(out, 14, Crc32);
  PutLE32(out, 18, Plain32(CompressedSize, LocalZip64));
  PutLE32(out, 22, Plain32(UncompressedSize, LocalZip64));
  PutLE16(out, 26, FilenameLength);
  PutLE16(out, 28, ExtraFieldLength);
  out.insert(out.end(), name.begin(), name.end());
  out.insert(out.end(), zip64.begin(), zip64.end());
  out.insert(out.end(), extra.begin(), extra.end());
  stream.WriteBuffer(out);
}

void TEndCentral::Assign(const TEndCentral& source) {
  const bool modified = Modified;
  *this = source;
  Modified = modified;
}

bool TEndCentral::NeedsZip64() const {
  return TotalEntries >= kSaturated16 || EntriesThisDisk >= kSaturated16 ||
         CentralDirSize >= kSaturated32 || CentralDirOffset >= kSaturated32;
}

void TEndCentral::WriteTo(TStream& stream) const {
  const bool zip64 = NeedsZip64();
  std::vector<u8> out;
  if (zip64) {
    const u64 recordPos = static_cast<u64>(stream.Position());
    out.resize(kZip64EndSize + kZip64LocatorSize);
    PutLE32(out, 0, kZip64EndSignature);
    PutLE64(out, 4, kZip64EndSize - 12);  // what follows this field
    PutLE16(out, 12, (kVersionMadeByUnix & 0xFF00) | kVersionNeededZip64);
    PutLE16(out, 14, kVersionNeededZip64);
    PutLE32(out, 16, ThisDisk);
    PutLE32(out, 20, CentralStartDisk);
    PutLE64(out, 24, EntriesThisDisk);
    PutLE64(out, 32, TotalEntries);
    PutLE64(out, 40, CentralDirSize);
    PutLE64(out, 48, CentralDirOffset);
    PutLE32(out, kZip64EndSize, kZip64LocatorSignature);
    PutLE32(out, kZip64EndSize + 4, ThisDisk);
    PutLE64(out, kZip64EndSize + 8, recordPos);
    PutLE32(out, kZip64EndSize + 16, u32{ThisDisk} + 1);
  }
  const std::size_t at = out.size();
  out.resize(at + kEndCentralSize);
  const bool withComment = ZipCommentLength != 0 && ZipComment.has_value();
  PutLE32(out, at, Signature);
  PutLE16(out, at + 4, ThisDisk);
  PutLE16(out, at + 6, CentralStartDisk);
  PutLE16(out, at + 8, static_cast<u16>(std::min<u64>(EntriesThisDisk, kSaturated16)));
  PutLE16(out, at + 10, static_cast<u16>(std::min<u64>(TotalEntries, kSaturated16)));
  PutLE32(out, at + 12, Plain32(CentralDirSize, CentralDirSize >= kSaturated32));
  PutLE32(out, at + 16, Plain32(CentralDirOffset, CentralDirOffset >= kSaturated32));
  PutLE16(out, at + 20, withComment ? ZipCommentLength : u16{0});
  if (withComment) out.insert(out.end(), ZipComment->begin(), ZipComment->end());
  stream.WriteBuffer(out);
}

bool TEndCentral::FindIn(TStream& stream) {
  const i64 size = stream.Size();
  if (size < kEndCentralSize) return false;
  const i64 n = std::min<i64>(size, kEndRecordSearchBytes);
  std::vector<u8> tail(static_cast<std::size_t>(n));
  stream.Seek(size - n, TSeekOrigin::Begin);
  if (stream.Read(tail) != tail.size()) return false;
  for (i64 i = n - static_cast<i64>(kEndCentralSize); i >= 0; --i) {
    const auto at = static_cast<std::size_t>(i);
    if (tail[at] != 'P' || GetLE32(tail, at) != kEndCentralSignature) continue;
    ThisDisk = GetLE16(tail, at + 4);
    CentralStartDisk = GetLE16(tail, at + 6);
    EntriesThisDisk = GetLE16(tail, at + 8);
    TotalEntries = GetLE16(tail, at + 10);
    CentralDirSize = GetLE32(tail, at + 12);
    CentralDirOffset = GetLE32(tail, at + 16);
    ZipCommentLength = GetLE16(tail, at + 20);
    ZipComment.reset();
    ZipCommentPos = static_cast<u64>(std::max<i64>(0, size - ZipCommentLength));
    Zip64 = ReadZip64(stream, size - n + i);
    return true;
  }
  return false;
}

// The locator stands right before the end record. The Zip64 end record is
// looked for where the locator says, and else right before the locator,
// where it stands when a stub was put in front of the archive after it was
// written.
bool TEndCentral::ReadZip64(TStream& stream, i64 endPos) {
  Zip64EndPos = 0;
  OffsetShift = 0;
  if (endPos < static_cast<i64>(kZip64LocatorSize)) return false;
  std::array<u8, kZip64LocatorSize> locator{};
  stream.Seek(endPos - kZip64LocatorSize, TSeekOrigin::Begin);
  if (stream.Read(locator) != locator.size() || GetLE32(locator, 0) != kZip64LocatorSignature) {
    return false;
  }
  const auto limit = static_cast<u64>(endPos - kZip64LocatorSize);  // the record ends by here
  std::array<u8, kZip64EndSize> record{};
  const auto readAt = [&](u64 position) {
    if (position > limit || limit - position < kZip64EndSize) return false;
    stream.Seek(static_cast<i64>(position), TSeekOrigin::Begin);
    return stream.Read(record) == record.size() && GetLE32(record, 0) == kZip64EndSignature;
  };
  const u64 declared = GetLE64(locator, 8);
  if (readAt(declared)) {
    Zip64EndPos = declared;
  } else if (limit >= kZip64EndSize && limit - kZip64EndSize > declared &&
             readAt(limit - kZip64EndSize)) {
    Zip64EndPos = limit - kZip64EndSize;
    OffsetShift = Zip64EndPos - declared;
  } else {
    throw EDamagedRecord("The Zip64 end record is not where its locator says (" +
                         std::to_string(declared) + ")");
  }
  TakeZip64Record(record);
  return true;
}

void TEndCentral::TakeZip64Record(std::span<const u8> record) {
  const u32 thisDisk = GetLE32(record, 16);
  const u32 startDisk = GetLE32(record, 20);
  if (thisDisk > 0xFFFF || startDisk > 0xFFFF) {
    throw EDamagedRecord("The Zip64 end record names a disk past any set of disks");
  }
  ThisDisk = static_cast<u16>(thisDisk);
  CentralStartDisk = static_cast<u16>(startDisk);
  EntriesThisDisk = GetLE64(record, 24);
  TotalEntries = GetLE64(record, 32);
  CentralDirSize = GetLE64(record, 40);
  CentralDirOffset = GetLE64(record, 48);
  // In a single file the directory ends where the record begins; a
  // prepended stub only moves it further on, never closer. (Across disks
  // the offset counts in another file.)
  const u64 room = Zip64EndPos - OffsetShift;  // where the locator says the record is
  const bool pastRecord =
      ThisDisk == 0 && (CentralDirSize > room || CentralDirOffset > room - CentralDirSize);
  if (pastRecord || std::max(CentralDirSize, CentralDirOffset) > kLargestZip64Value) {
    throw EDamagedRecord("The Zip64 end record describes a directory (" +
                         std::to_string(CentralDirSize) + " bytes at " +
                         std::to_string(CentralDirOffset) + ") that runs past it (at " +
                         std::to_string(Zip64EndPos) + ")");
  }
  CentralDirOffset += OffsetShift;
  if (TotalEntries > CentralDirSize / kCentralHeaderSize ||
      EntriesThisDisk > CentralDirSize / kCentralHeaderSize) {
    throw EDamagedRecord("The Zip64 end record declares " + std::to_string(TotalEntries) +
                         " members, more than its directory of " + std::to_string(CentralDirSize) +
                         " bytes could hold");
  }
}

}  // namespace vz
