#include "engine/format/ZipHeaderInfo.h"

#include <array>
#include <vector>

#include "engine/format/ByteOrder.h"
#include "engine/format/DosDate.h"
#include "engine/format/ExtraFields.h"
#include "engine/support/Exceptions.h"

namespace vz {

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
  CentralOffset = static_cast<u32>(start);
  return true;
}

bool TZipHeaderInfo::ReadLocal(TStream& stream, const TNameDecoder& names) {
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
  RelativeOffset = static_cast<u32>(start);
  SetNameFromStored(std::move(name), names);
  return true;
}

void TZipHeaderInfo::WriteCentral(TStream& stream) {
  const std::string name = PrepareStoredName();
  // The only extra field written here is an AES member's, which it cannot
  // be read without; a comment that was never loaded cannot be written
  // either. The lengths say so rather than promise missing bytes.
  std::vector<u8> extra;
  const auto aes = Aes() ? FindExtraField(CentralExtra, kAesTag) : std::nullopt;
  if (aes) {
    extra.resize(4);
    PutLE16(extra, 0, kAesTag);
    PutLE16(extra, 2, static_cast<u16>(aes->size()));
    extra.insert(extra.end(), aes->begin(), aes->end());
  }
  ExtraFieldLength = static_cast<u16>(extra.size());
  const bool withComment = FileCommentLength != 0 && FileComment.has_value();
  std::vector<u8> out(kCentralHeaderSize);
  PutLE32(out, 0, kCentralHeaderSignature);
  PutLE16(out, 4, VersionMadeBy);
  PutLE16(out, 6, VersionNeeded);
  PutLE16(out, 8, Flags);
  PutLE16(out, 10, CompressionMethod);
  PutLE32(out, 12, FileDate);
  PutLE32(out, 16, Crc32);
  PutLE32(out, 20, CompressedSize);
  PutLE32(out, 24, UncompressedSize);
  PutLE16(out, 28, FilenameLength);
  PutLE16(out, 30, ExtraFieldLength);
  PutLE16(out, 32, withComment ? FileCommentLength : u16{0});
  PutLE16(out, 34, DiskNumberStart);
  PutLE16(out, 36, InternalAttributes);
  PutLE32(out, 38, ExternalAttributes);
  PutLE32(out, 42, RelativeOffset);
  out.insert(out.end(), name.begin(), name.end());
  out.insert(out.end(), extra.begin(), extra.end());
  if (withComment) out.insert(out.end(), FileComment->begin(), FileComment->end());
  stream.WriteBuffer(out);
}

void TZipHeaderInfo::WriteLocal(TStream& stream) {
  const i64 position = stream.Position();
  if (position > 0xFFFFFFFF) {
    throw EZipLimitError("The archive has grown past 4 GiB, more than the ZIP format can address");
  }
  RelativeOffset = static_cast<u32>(position);
  const std::string name = PrepareStoredName();
  std::vector<u8> out(kLocalHeaderSize);
  PutLE32(out, 0, kLocalHeaderSignature);
  PutLE16(out, 4, VersionNeeded);
  PutLE16(out, 6, Flags);
  PutLE16(out, 8, CompressionMethod);
  PutLE32(out, 10, FileDate);
  PutLE32(out, 14, Crc32);
  PutLE32(out, 18, CompressedSize);
  PutLE32(out, 22, UncompressedSize);
  PutLE16(out, 26, FilenameLength);
  PutLE16(out, 28, ExtraFieldLength);
  out.insert(out.end(), name.begin(), name.end());
  stream.WriteBuffer(out);
}

void TEndCentral::Assign(const TEndCentral& source) {
  const bool modified = Modified;
  *this = source;
  Modified = modified;
}

void TEndCentral::WriteTo(TStream& stream) const {
  std::vector<u8> out(kEndCentralSize);
  const bool withComment = ZipCommentLength != 0 && ZipComment.has_value();
  PutLE32(out, 0, Signature);
  PutLE16(out, 4, ThisDisk);
  PutLE16(out, 6, CentralStartDisk);
  PutLE16(out, 8, EntriesThisDisk);
  PutLE16(out, 10, TotalEntries);
  PutLE32(out, 12, CentralDirSize);
  PutLE32(out, 16, CentralDirOffset);
  PutLE16(out, 20, withComment ? ZipCommentLength : u16{0});
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
    ZipCommentPos = static_cast<u32>(std::max<i64>(0, size - ZipCommentLength));
    return true;
  }
  return false;
}

}  // namespace vz
