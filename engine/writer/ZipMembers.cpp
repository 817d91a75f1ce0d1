// The members of a zip operation: existing ones copied as raw bytes or
// replaced in place, new files compressed (and enciphered), the central
// directory and end record written after them.
#include <algorithm>
#include <array>
#include <limits>

#include "engine/codecs/Deflate.h"
#include "engine/format/ByteOrder.h"
#include "engine/format/ExtraFields.h"
#include "engine/format/ZipNames.h"
#include "engine/support/Crc32.h"
#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "engine/writer/ZipEngine.h"
#include "engine/writer/ZipOperation.h"
#include "platform/DosTime.h"
#include "platform/Figures.h"

namespace vz {
namespace {

constexpr std::size_t kCopyBlock = 65536;

// Stored names are file names of a case-sensitive system: a.h and A.h are two
// files, and folding case here would leave one of them out of the archive or
// let one replace the other.
std::string Key(const TZipHeaderInfo& entry) {
  return entry.FullName();
}

// WinZip's recommendation: a CRC of fewer bytes would tell too much about
// them, so smaller members are AE-2, without one.
constexpr u32 kAesCrcFromSize = 20;
// The version an AES member needs, as WinZip and 7-Zip write it.
constexpr u16 kVersionNeededAes = 51;

TAesStrength AesStrengthOf(TZipEncryption encryption) {
  return encryption == TZipEncryption::Aes128 ? TAesStrength::Aes128 : TAesStrength::Aes256;
}

// What a file added from a stream is on disk: a plain file, rw-r--r--.
constexpr u32 kPlainFileMode = 0100644;

// The external attributes of a member made on Unix: the file's mode in the
// high half, for unzip and the like to restore, and the DOS bits in the low
// byte for readers that know only those.
u32 UnixAttributes(const TFileInfo& info) {
  u32 mode = info.UnixMode & 0xFFFF;
  if (mode == 0) {
    const u32 type = info.IsDirectory ? 0040000 : 0100000;
    const u32 rights = (info.Attributes & faAttr::ReadOnly) != 0 ? 0444 : 0644;
    mode = type | (info.IsDirectory ? rights | 0111 : rights);
  }
  return mode << 16 | (info.Attributes & 0xFF);
}

// A copied central record whose member has or needs Zip64 values: the plain
// sizes and offset saturated where they do not fit, and a Zip64 field made
// anew from the entry, before the record's other extra fields. Anything
// else stays as the record was.
std::vector<u8> WithZip64Values(const std::vector<u8>& record, const TZipHeaderInfo& entry) {
  const u16 nameLength = GetLE16(record, 28);
  const auto extra =
      std::span(record).subspan(kCentralHeaderSize + nameLength, GetLE16(record, 30));
  const TZip64Need need = entry.CentralZip64Need();
  if (!need.Any() && !FindExtraField(extra, kZip64Tag)) return record;
  const std::vector<u8> zip64 = MakeZip64ExtraField(
      {entry.UncompressedSize, entry.CompressedSize, entry.RelativeOffset, 0}, need);
  const std::vector<u8> others = WithoutZip64ExtraField(extra);
  if (zip64.size() + others.size() > 0xFFFF) {
    throw EZipLimitError(DisplayName(entry.FullName()) +
                         ": its extra fields grow past 65535 bytes");
  }
  std::vector<u8> out(record.begin(), record.begin() + kCentralHeaderSize + nameLength);
  const bool zip64Member = need.Any() || entry.LocalZip64;
  if (zip64Member) PutLE16(out, 6, std::max(GetLE16(out, 6), kVersionNeededZip64));
  PutLE32(out, 20, need.Compressed ? kSaturated32 : static_cast<u32>(entry.CompressedSize));
  PutLE32(out, 24, need.Uncompressed ? kSaturated32 : static_cast<u32>(entry.UncompressedSize));
  PutLE16(out, 30, static_cast<u16>(zip64.size() + others.size()));
  PutLE16(out, 34, 0);  // the disk, and the offset, are set when it is written
  out.insert(out.end(), zip64.begin(), zip64.end());
  out.insert(out.end(), others.begin(), others.end());
  return out;
}

}  // namespace

// ---------------------------------------------------------------- routines

void TZipEngine::WriteData(TZipOperation& op, std::span<const u8> bytes, bool encrypt) {
  TStream& target = op.SpanWork ? static_cast<TStream&>(*op.SpanWork) : *op.Output;
  if (encrypt) {
    std::vector<u8> enciphered(bytes.begin(), bytes.end());
    if (op.Aes) {
      op.Aes->Encrypt(enciphered);
    } else {
      op.Cipher.Encrypt(std::span(enciphered));
    }
    target.WriteBuffer(enciphered);
  } else {
    target.WriteBuffer(bytes);
  }
  CheckCancel();
}

std::size_t TZipEngine::ReadSource(TZipOperation& op, std::span<u8> buffer) {
  const std::size_t n = op.SourceStream->Read(buffer);
  if (n == 0) return 0;
  op.Crc = UpdateCrc(op.Crc, buffer.first(n));
  CountSourceBytes(op, n);
  return n;
}

// What reading the next `n` bytes of the member tells the host.
void TZipEngine::CountSourceBytes(TZipOperation& op, std::size_t n) {
  op.MemberBytesRead += n;
  // A file that grows to 4 GiB while it is read, its header written
  // without room for Zip64 sizes, cannot be described: the operation fails
  // rather than write sizes that lie.
  if (op.MemberBytesRead >= kSaturated32 && !op.CurrentEntry->LocalZip64) {
    throw EZipLimitError(op.CurrentEntry->FullName() +
                         ": the file grew to 4 GiB or more while it was added");
  }
  Fire(OnFilePercentDone, *this,
       Percent(static_cast<i64>(op.CurrentEntry->UncompressedSize),
               static_cast<i64>(op.MemberBytesRead)));
  op.DoneBytes += static_cast<i64>(n);
  Fire(OnTotalPercentDone, *this, Percent(op.TotalBytes, op.DoneBytes));
}

// The member as a worker compressed it, when that is still the file just
// opened at the level asked for now (an event may have changed either).
std::unique_ptr<TCompressedMember> TZipEngine::CompressedAhead(TZipOperation& op,
                                                               const std::string& name) {
  if (!op.Pipeline || !op.Source) return nullptr;
  auto member = op.Pipeline->Take(name);
  if (!member || member->Level != PackLevel) return nullptr;
  const TFileInfo now = op.Source->Handle().Info();
  const TFileInfo& then = member->Identity;
  const bool same = now.Device == then.Device && now.Inode == then.Inode && now.Size == then.Size &&
                    now.LastWrite == then.LastWrite;
  return same ? std::move(member) : nullptr;
}

// Goes through the worker's record of the compressor's steps as if they
// happened now: each read tells the host its progress, each write goes out
// (and checks for a cancel) as the compressor's own write would have.
u64 TZipEngine::ReplayMember(TZipOperation& op, const TCompressedMember& member) {
  const std::span<const u8> data(member.Data);
  std::size_t at = 0;
  for (const TCompressStep& step : member.Steps) {
    if (step.Kind == TCompressStepKind::Read) {
      CountSourceBytes(op, step.Bytes);
    } else {
      WriteData(op, data.subspan(at, step.Bytes), op.Encrypting);
      at += step.Bytes;
    }
  }
  op.Crc = ~member.Crc;
  TZipHeaderInfo& entry = *op.CurrentEntry;
  constexpr u16 kLevelFlags = kFlagDeflateFast | kFlagDeflateMaximum;
  entry.Flags = static_cast<u16>((entry.Flags & ~kLevelFlags) | (member.Flags & kLevelFlags));
  entry.InternalAttributes = member.InternalAttributes;
  entry.CompressionMethod = member.CompressionMethod;
  return data.size();
}

u32 TZipEngine::FirstPassCrc(TZipOperation& op) {
  std::vector<u8> buffer(kCopyBlock);
  u32 crc = 0xFFFFFFFF;
  while (const std::size_t n = op.SourceStream->Read(buffer))
    crc = UpdateCrc(crc, std::span(buffer).first(n));
  op.SourceStream->Seek(0, TSeekOrigin::Begin);
  return ~crc;
}

void TZipEngine::WriteEncryptionHeader(TZipOperation& op, u32 crc) {
  op.Cipher.InitKeys(Password);
  std::array<u8, kEncryptionHeaderSize> header{};
  // Unpredictable filler: the header is all that stands between a known
  // plaintext and the keys.
  FPlatform.Random.Fill(std::span(header).first(10));
  header[10] = static_cast<u8>(crc >> 16);
  header[11] = static_cast<u8>(crc >> 24);
  op.Encrypting = true;
  WriteData(op, header, true);
}

// The salt and password verifier in front of the data; from here on
// WriteData enciphers with AES.
void TZipEngine::StartAesMember(TZipOperation& op) {
  const TAesStrength strength = AesStrengthOf(Encryption);
  std::vector<u8> salt(AesSaltBytes(strength));
  FPlatform.Random.Fill(salt);
  op.Aes = std::make_unique<TWinZipAes>();
  WriteData(op, op.Aes->StartWriting(strength, Password, salt), false);
  op.Encrypting = true;
}

// The authentication code after the data, and the entry made an AES one:
// method 99, the real method in its field, and no CRC for an AE-2 member.
void TZipEngine::FinishAesMember(TZipOperation& op) {
  TZipHeaderInfo& entry = *op.CurrentEntry;
  WriteData(op, op.Aes->AuthenticationCode(), false);
  const bool ae1 = entry.UncompressedSize >= kAesCrcFromSize;
  const auto field = AesExtraFieldData(
      {ae1 ? kAesVersion1 : kAesVersion2, AesStrengthOf(Encryption), entry.CompressionMethod});
  entry.CentralExtra = {static_cast<u8>(kAesExtraFieldId), static_cast<u8>(kAesExtraFieldId >> 8),
                        static_cast<u8>(field.size()), 0};
  entry.CentralExtra.insert(entry.CentralExtra.end(), field.begin(), field.end());
  entry.CompressionMethod = kMethodAes;
  entry.VersionNeeded = kVersionNeededAes;
  if (!ae1) entry.Crc32 = 0;
}

// The local header with an AES member's field after it (the same bytes as in
// the central record).
void TZipEngine::WriteLocalRecord(TZipOperation& op) {
  TZipHeaderInfo& entry = *op.CurrentEntry;
  entry.WriteLocal(*op.Output, entry.CentralExtra);
}

// ---------------------------------------------------------------- catalogue

void TZipEngine::AddToNewCatalogue(TZipOperation& op, std::unique_ptr<TZipHeaderInfo> entry) {
  if (op.NewCatalogue->Count() >= std::numeric_limits<int>::max() - 1) {
    throw EZipLimitError(ZipName() + ": more members than one archive can list");
  }
  // A copied archive may hold two members of one name; the first keeps the
  // name in the index.
  op.NameIndex.emplace(Key(*entry), entry.get());
  op.NewCatalogue->Add(std::move(entry));
  ++op.NewEnd.TotalEntries;
  ++op.NewEnd.EntriesThisDisk;
}

void TZipEngine::RecordSuccess(TZipOperation& op, std::unique_ptr<TZipHeaderInfo> entry,
                               const std::string& name) {
  ++op.Count;
  AddToNewCatalogue(op, std::move(entry));
  if (Dispose) op.DisposeList.push_back(name);
}

// ---------------------------------------------------------------- existing members

// For each member, the FilesList line that names it (FilesList.size():
// none), each line taken by the first member of its stored name; the lines
// taken are marked in op.Removed.
std::vector<std::size_t> TZipEngine::MatchLines(TZipOperation& op, const TZipCatalogue& catalogue) {
  const auto rows = static_cast<std::size_t>(catalogue.Count());
  std::vector<std::size_t> lines(rows, FilesList.size());
  op.Removed.assign(FilesList.size(), false);
  if (FDeleting || FFromStream) return lines;
  for (std::size_t i = 0; i < FilesList.size(); ++i) {
    const std::string& name = FilesList[i];
    op.LinesByStoredName[(FStorePaths ? StoredDirectory(name) : std::string()) +
                         ExtractFileName(name)]
        .push_back(i);
  }
  for (std::size_t e = 0; e < rows; ++e) {
    const auto it = op.LinesByStoredName.find(Key(catalogue.Entry(static_cast<int>(e))));
    if (it == op.LinesByStoredName.end()) continue;
    for (const std::size_t candidate : it->second) {
      if (!op.Removed[candidate]) {
        lines[e] = candidate;
        op.Removed[candidate] = true;
        break;
      }
    }
  }
  return lines;
}

bool TZipEngine::Replaces(const TZipHeaderInfo& entry, const std::string& name) const {
  if (ZipAction == TZipAction::zaReplace) return true;
  const auto entryDate = DosDateTimeToDateTime(entry.FileDate);
  return FileDateOf(FPlatform, name) > entryDate.value_or(0.0);
}

void TZipEngine::CopyAndUpdateMembers(TZipOperation& op) {
  const TZipCatalogue& catalogue = *Catalogue();
  const std::vector<std::size_t> lines = MatchLines(op, catalogue);
  if (WorkerCount() > 1 && !FDeleting && !FilesList.empty()) {
    // The files in the order they will probably be taken: those replacing
    // members, then the new ones. A file whose date changes meanwhile is
    // only read ahead in vain, or compressed at its turn.
    std::vector<std::string> plan;
    for (std::size_t e = 0; e < lines.size(); ++e) {
      if (lines[e] < FilesList.size() &&
          Replaces(catalogue.Entry(static_cast<int>(e)), FilesList[lines[e]])) {
        plan.push_back(FilesList[lines[e]]);
      }
    }
    for (std::size_t i = 0; i < FilesList.size(); ++i) {
      if (!op.Removed[i]) plan.push_back(FilesList[i]);
    }
    StartPipeline(op, std::move(plan));
  }
  for (std::size_t e = 0; e < lines.size(); ++e) {
    TZipHeaderInfo entry = catalogue.Entry(static_cast<int>(e));
    if (entry.HasComment() && !entry.FileComment) LoadFileComment(entry);
    if (FDeleting) {
      if (!DeleteDecision(op, entry)) CopyMember(op, entry);
      continue;
    }
    if (lines[e] == FilesList.size()) {
      CopyMember(op, entry);
      continue;
    }
    const std::string name = FilesList[lines[e]];
    // A file that cannot be added leaves its member as it was.
    if (!Replaces(entry, name) || !ZipOneFile(op, name)) CopyMember(op, entry);
  }
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < FilesList.size(); ++i) {
    if (!op.Removed[i]) kept.push_back(FilesList[i]);
  }
  FilesList = std::move(kept);
}

std::vector<u8> TZipEngine::RawCentralRecord(const TZipHeaderInfo& entry,
                                             std::span<const u8> localName) {
  // Only a record that is really this member's (the same name bytes as its
  // local header) is carried over; anything else is written afresh.
  TStream& archive = ZipStream();
  const i64 resume = archive.Position();
  std::vector<u8> record(kCentralHeaderSize);
  archive.Seek(static_cast<i64>(entry.CentralOffset), TSeekOrigin::Begin);
  bool ok = archive.Read(record) == record.size() &&
            GetLE32(record, 0) == kCentralHeaderSignature &&
            GetLE16(record, 28) == localName.size();
  if (ok) {
    record.resize(kCentralHeaderSize + GetLE16(record, 28) + GetLE16(record, 30));
    const auto rest = std::span(record).subspan(kCentralHeaderSize);
    ok = archive.Read(rest) == rest.size() &&
         std::equal(localName.begin(), localName.end(), rest.begin());
  }
  archive.Seek(resume, TSeekOrigin::Begin);
  if (!ok) record.clear();
  return record;
}

void TZipEngine::CopyMember(TZipOperation& op, TZipHeaderInfo& entry) {
  TStream& archive = ZipStream();
  archive.Seek(static_cast<i64>(entry.RelativeOffset), TSeekOrigin::Begin);
  std::vector<u8> local(kLocalHeaderSize);
  if (archive.Read(local) != local.size() || GetLE32(local, 0) != kLocalHeaderSignature) {
    throw EVarnelError(ZipName() + ": the local header of " + entry.FullName() + " is damaged");
  }
  const u16 nameLength = GetLE16(local, 26);
  const u16 extraLength = GetLE16(local, 28);
  local.resize(kLocalHeaderSize + nameLength + extraLength);
  archive.ReadBuffer(std::span(local).subspan(kLocalHeaderSize));
  auto copy = std::make_unique<TZipHeaderInfo>(entry);
  copy->Selected = false;
  copy->DiskNumberStart = static_cast<u16>(op.Disk);
  const auto localExtra = std::span<const u8>(local).subspan(kLocalHeaderSize + nameLength);
  copy->LocalZip64 = FindExtraField(localExtra, kZip64Tag).has_value();
  std::vector<u8> central =
      RawCentralRecord(entry, std::span(local).subspan(kLocalHeaderSize, nameLength));
  if (!central.empty()) {
    // Both records go over as they were (extra fields and all); only the
    // central record's offset, disk and comment are set when it is written,
    // with its Zip64 field made anew where the member has or needs one.
    copy->RelativeOffset = static_cast<u64>(op.Output->Position());
    op.Output->WriteBuffer(local);
    copy->ExtraFieldLength = GetLE16(central, 30);
  } else {
    // No trustworthy central record (a directory rebuilt from the local
    // headers): the local header is written afresh and its extra field kept.
    // Its Zip64 field is made anew from the sizes.
    copy->WriteLocal(*op.Output, WithoutZip64ExtraField(localExtra));
    // Of these, only an AES member's field reaches the central record,
    // which the member cannot be read without.
    copy->CentralExtra.assign(localExtra.begin(), localExtra.end());
    copy->ExtraFieldLength = 0;
  }
  auto dataBytes = static_cast<i64>(entry.CompressedSize);
  if (entry.HasDescriptor()) {
    // The descriptor after the data goes along: with flag bit 3 an
    // enciphered member's password check depends on it staying set.
    const i64 after = archive.Position() + dataBytes;
    archive.Seek(after, TSeekOrigin::Begin);
    std::array<u8, 4> signature{};
    const bool withSignature =
        archive.Read(signature) == 4 && GetLE32(signature, 0) == kDataDescriptorSignature;
    archive.Seek(after - dataBytes, TSeekOrigin::Begin);
    dataBytes += withSignature ? copy->DescriptorSize() : copy->DescriptorSize() - 4;
  }
  std::vector<u8> buffer(kCopyBlock);
  while (dataBytes > 0) {
    const auto want = static_cast<std::size_t>(std::min<i64>(dataBytes, kCopyBlock));
    archive.ReadBuffer(std::span(buffer).first(want));
    WriteData(op, std::span(buffer).first(want), false);
    dataBytes -= static_cast<i64>(want);
  }
  if (!central.empty()) op.RawCentral[copy.get()] = std::move(central);
  AddToNewCatalogue(op, std::move(copy));
}

// ---------------------------------------------------------------- new files

bool TZipEngine::PrepareSource(TZipOperation& op, const std::string& name) {
  TZipHeaderInfo& entry = *op.CurrentEntry;
  entry.VersionMadeBy = kVersionMadeByUnix;
  if (FFromStream) {
    op.SourceStream = FSourceStreamFromCaller;
    entry.FileDate = FileTimeToDosDateTime(FPlatform.Clock.Now());
    entry.ExternalAttributes |= kPlainFileMode << 16;
    return true;
  }
  // A folder in the list is left out quietly. A file that vanished, a
  // special file or one that cannot be opened is reported, so that no
  // caller takes a missing member for an added one.
  const auto info = FPlatform.Files.Stat(name);
  if (info && info->IsDirectory) return false;
  if (!info || !info->IsRegular) {
    Fire(OnNoSuchFile, *this, name);
    return false;
  }
  entry.ExternalAttributes = UnixAttributes(*info);
  try {
    op.Source = std::make_unique<TLFNFileStream>(FPlatform.Files, name, TOpenMode::ReadDenyNone);
  } catch (const EFileError&) {
    Fire(OnNoSuchFile, *this, name);
    return false;
  }
  op.SourceStream = op.Source.get();
  entry.FileDate = NormaliseDosDateTime(FileTimeToDosDateTime(op.Source->Handle().LastWriteTime()));
  return true;
}

bool TZipEngine::RefuseName(TZipOperation& op, const std::string& name, i64 size) {
  // Control characters in a stored name are refused when it is extracted
  // (and can rewrite a terminal when it is listed): such a file is reported
  // as left out rather than stored where no one can get it back.
  const std::string stored = op.CurrentEntry->FullName();
  const bool control = std::any_of(stored.begin(), stored.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
  if (!control) return false;
  Fire(OnNoSuchFile, *this, name);
  op.TotalBytes -= size;
  return true;
}

bool TZipEngine::SkipDuplicate(TZipOperation& op, i64 size) {
  const std::string key = Key(*op.CurrentEntry);
  if (op.NameIndex.find(key) == op.NameIndex.end()) return false;
  // A second file of the same stored name, named by the row the caller
  // shows for that name; the view is never switched for the event.
  Fire(OnSkippingFile, *this, TSkipReason::srNotOverwritten, ViewIndexOf(key));
  op.TotalBytes -= size;
  return true;
}

// The view position of the archive's first member (in archive order, the one
// the new archive keeps) with this stored name; -1 when there is none.
int TZipEngine::ViewIndexOf(const std::string& storedName) const {
  const TZipCatalogue* catalogue = Catalogue();
  if (catalogue == nullptr) return -1;
  for (int row = 0; row < catalogue->Count(); ++row) {
    if (catalogue->FullName(row) == storedName) return IndexOfRow(row);
  }
  return -1;
}

bool TZipEngine::WriteFolderEntry(TZipOperation& op, const std::string& name) {
  const auto info = FPlatform.Files.Stat(ExcludeTrailingSlash(name));
  if (!info || !info->IsDirectory) {
    Fire(OnNoSuchFile, *this, name);
    return false;
  }
  // Without stored paths a folder has no name of its own to keep.
  if (!FStorePaths) return false;
  op.CurrentEntry = std::make_unique<TZipHeaderInfo>();
  TZipHeaderInfo& entry = *op.CurrentEntry;
  entry.SetDirectory(StoredDirectory(name));
  if (entry.FullName().empty()) return false;  // the root folder itself
  if (RefuseName(op, name, 0) || SkipDuplicate(op, 0)) return false;
  entry.VersionMadeBy = kVersionMadeByUnix;
  entry.CompressionMethod = 0;
  entry.Crc32 = 0;
  entry.InternalAttributes = 0;
  entry.ExternalAttributes = UnixAttributes(*info);
  entry.FileDate = NormaliseDosDateTime(FileTimeToDosDateTime(info->LastWrite));
  entry.DiskNumberStart = static_cast<u16>(op.Disk);
  bool skip = false;
  Fire(OnStartZip, *this, name, entry, skip);
  if (skip) return false;
  if (MultiMode() != TMultiMode::mmNone && entry.LocalSize() >= RoomLeft(op)) {
    NextDisk(op);
    entry.DiskNumberStart = static_cast<u16>(op.Disk);
  }
  entry.WriteLocal(*op.Output);
  Fire(OnEndZip, *this, name, u64{0}, u64{0}, static_cast<i64>(op.Output->Size()));
  RecordSuccess(op, std::move(op.CurrentEntry), name);
  return true;
}

bool TZipEngine::ZipOneFile(TZipOperation& op, const std::string& name) {
  if (!FFromStream && !name.empty() && name.back() == '/') return WriteFolderEntry(op, name);
  op.MemberBytesRead = 0;
  op.CurrentEntry = std::make_unique<TZipHeaderInfo>();
  TZipHeaderInfo& entry = *op.CurrentEntry;
  struct TCloseSource {
    TZipOperation& Op;
    ~TCloseSource() {
      Op.Source.reset();
      Op.SourceStream = nullptr;
    }
  } closeSource{op};
  if (!PrepareSource(op, name)) return false;
  const i64 size = op.SourceStream->Size();
  entry.LocalZip64 = NeedsZip64Header(size);
  entry.UncompressedSize = static_cast<u64>(std::max<i64>(size, 0));
  entry.SetFilename(ExtractFileName(name));
  entry.InternalAttributes = 2;
  entry.DiskNumberStart = static_cast<u16>(op.Disk);
  if (FStorePaths) entry.SetDirectory(StoredDirectory(name));
  if (RefuseName(op, name, size) || SkipDuplicate(op, size)) return false;
  bool skip = false;
  Fire(OnStartZip, *this, name, entry, skip);
  if (skip) {
    op.TotalBytes -= size;
    return false;
  }
  WriteMember(op, name);
  if (ResetArchiveBitOnZip && !FFromStream) {
    if (const auto info = FPlatform.Files.Stat(name)) {
      FPlatform.Files.SetAttributes(name, info->Attributes & ~faAttr::Archive);
    }
  }
  Fire(OnEndZip, *this, name, entry.UncompressedSize, entry.CompressedSize,
       static_cast<i64>(op.Output->Size()));
  RecordSuccess(op, std::move(op.CurrentEntry), name);
  return true;
}

void TZipEngine::WriteMember(TZipOperation& op, const std::string& name) {
  TZipHeaderInfo& entry = *op.CurrentEntry;
  const bool aes = !Password.empty() && Encryption != TZipEncryption::Traditional;
  if (aes) {
    // Room for the field, filled in once the method is known.
    entry.CentralExtra.assign(4 + kAesExtraFieldDataSize, 0);
    entry.ExtraFieldLength = static_cast<u16>(entry.CentralExtra.size());
  }
  const bool spanning = MultiMode() != TMultiMode::mmNone;
  if (spanning) {
    if (entry.LocalSize() >= RoomLeft(op)) NextDisk(op);
    entry.DiskNumberStart = static_cast<u16>(op.Disk);
  }
  const std::unique_ptr<TCompressedMember> ahead = CompressedAhead(op, name);
  WriteLocalRecord(op);
  struct TDropWork {
    TZipEngine& Engine;
    TZipOperation& Op;
    ~TDropWork() {
      Op.Encrypting = false;
      Op.Aes.reset();
      Op.SpanWork.reset();
      if (!Op.SpanWorkName.empty()) Engine.FPlatform.Files.DeleteFile(Op.SpanWorkName);
      Op.SpanWorkName.clear();
    }
  } dropWork{*this, op};
  if (spanning) {
    op.SpanWorkName = UniqueTempName(FPlatform.Files, TempFolder());
    op.SpanWork =
        std::make_unique<TLFNFileStream>(FPlatform.Files, op.SpanWorkName, TOpenMode::Create);
  }
  u32 firstCrc = 0;
  if (aes) {
    StartAesMember(op);
  } else if (!Password.empty()) {
    // A member compressed ahead was read whole already.
    firstCrc = ahead ? ahead->Crc : FirstPassCrc(op);
    WriteEncryptionHeader(op, firstCrc);
  }
  op.Crc = 0xFFFFFFFF;
  const u64 compressed =
      ahead ? ReplayMember(op, *ahead)
            : FDeflater->CompressMember(
                  entry, PackLevel, [&](std::span<u8> buffer) { return ReadSource(op, buffer); },
                  [&](std::span<const u8> bytes) { WriteData(op, bytes, op.Encrypting); }, name);
  entry.Crc32 = ~op.Crc;
  // The file may have changed since its size was taken; the header tells
  // what was actually stored.
  entry.UncompressedSize = op.MemberBytesRead;
  if (!Password.empty()) {
    if (!aes && entry.Crc32 != firstCrc) {
      throw EVarnelError(name + ": the file changed while it was being added");
    }
    entry.Flags |= kFlagEncrypted;
  }
  if (aes) FinishAesMember(op);
  entry.CompressedSize = compressed + (Password.empty() ? 0
                                       : aes ? AesOverheadBytes(AesStrengthOf(Encryption))
                                             : kEncryptionHeaderSize);
  const i64 end = op.Output->Position();
  op.Output->Seek(static_cast<i64>(entry.RelativeOffset), TSeekOrigin::Begin);
  WriteLocalRecord(op);
  if (spanning) {
    op.Output->Seek(0, TSeekOrigin::End);
    CopyWorkStreamToDisks(op);
  } else {
    op.Output->Seek(end, TSeekOrigin::Begin);
  }
}

// ---------------------------------------------------------------- directory

void TZipEngine::WriteCentralRecord(TZipOperation& op, TZipHeaderInfo& entry) {
  // Later comment look-ups find the record in the new archive.
  entry.CentralOffset = static_cast<u64>(op.Output->Position());
  const auto raw = op.RawCentral.find(&entry);
  if (raw == op.RawCentral.end()) {
    entry.ExtraFieldLength = 0;  // records written afresh carry no extra field
    entry.WriteCentral(*op.Output);
    return;
  }
  std::vector<u8> record = WithZip64Values(raw->second, entry);
  const bool withComment = entry.FileCommentLength != 0 && entry.FileComment.has_value();
  PutLE16(record, 32, withComment ? entry.FileCommentLength : u16{0});
  PutLE16(record, 34, entry.DiskNumberStart);
  PutLE32(record, 42,
          entry.CentralZip64Need().Offset ? kSaturated32 : static_cast<u32>(entry.RelativeOffset));
  entry.ExtraFieldLength = GetLE16(record, 30);
  if (withComment)
    record.insert(record.end(), entry.FileComment->begin(), entry.FileComment->end());
  op.Output->WriteBuffer(record);
  if (!withComment) entry.FileCommentLength = 0;
}

void TZipEngine::WriteCentralDirectory(TZipOperation& op) {
  const bool spanning = MultiMode() != TMultiMode::mmNone;
  op.NewEnd.CentralDirOffset = static_cast<u64>(op.Output->Position());
  op.NewEnd.CentralStartDisk = static_cast<u16>(op.Disk);
  op.CentralRecordsThisDisk = 0;
  u64 written = 0;
  bool first = true;
  for (TZipHeaderInfo* entry : op.NewCatalogue->All()) {
    if (spanning && RoomLeft(op) < static_cast<i64>(entry->CentralSize())) {
      NextDisk(op);
      if (first) {
        op.NewEnd.CentralDirOffset = 0;
        op.NewEnd.CentralStartDisk = static_cast<u16>(op.Disk);
      }
    }
    first = false;
    WriteCentralRecord(op, *entry);
    written += entry->CentralSize();
    ++op.CentralRecordsThisDisk;
  }
  op.NewEnd.CentralDirSize = written;
  if (spanning && RoomLeft(op) < static_cast<i64>(op.NewEnd.Size())) NextDisk(op);
  op.NewEnd.ThisDisk = static_cast<u16>(op.Disk);
  op.NewEnd.TotalEntries = static_cast<u64>(op.NewCatalogue->Count());
  op.NewEnd.EntriesThisDisk =
      static_cast<u64>(spanning ? op.CentralRecordsThisDisk : op.NewCatalogue->Count());
  // The new archive's end as a reader finds it.
  op.NewEnd.Zip64 = op.NewEnd.NeedsZip64();
  op.NewEnd.Zip64EndPos = op.NewEnd.Zip64 ? static_cast<u64>(op.Output->Position()) : 0;
  op.NewEnd.WriteTo(*op.Output);
  if (MultiMode() == TMultiMode::mmSpan) LabelDisk(op);
}

}  // namespace vz
