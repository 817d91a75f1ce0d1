// The members of a zip operation: existing ones copied as raw bytes or
// replaced in place, new files compressed (and enciphered), the central
// directory and end record written after them.
#include <algorithm>
#include <array>

#include "engine/codecs/Crc32.h"
#include "engine/codecs/Deflate.h"
#include "engine/format/ByteOrder.h"
#include "engine/format/DosDate.h"
#include "engine/format/ZipNames.h"
#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "engine/writer/ZipEngine.h"
#include "engine/writer/ZipOperation.h"

namespace vz {
namespace {

// The largest value a 32-bit field may hold: 0xFFFFFFFF itself means "look
// in the ZIP64 record" to modern readers, so it is never written.
constexpr u64 kMax32 = 0xFFFFFFFEu;
constexpr std::size_t kCopyBlock = 65536;

// Stored names are file names of a case-sensitive system: a.h and A.h are two
// files, and folding case here would leave one of them out of the archive or
// let one replace the other.
std::string Key(const TZipHeaderInfo& entry) {
  return entry.FullName();
}

}  // namespace

// ---------------------------------------------------------------- routines

void TZipEngine::WriteData(TZipOperation& op, std::span<const u8> bytes, bool encrypt) {
  TStream& target = op.SpanWork ? static_cast<TStream&>(*op.SpanWork) : *op.Output;
  if (encrypt) {
    std::vector<u8> enciphered(bytes.begin(), bytes.end());
    op.Cipher.Encrypt(std::span(enciphered));
    target.WriteBuffer(enciphered);
  } else {
    target.WriteBuffer(bytes);
  }
  CheckCancel();
}

std::size_t TZipEngine::ReadSource(TZipOperation& op, std::span<u8> buffer) {
  const std::size_t n = op.SourceStream->Read(buffer);
  if (n == 0) return 0;
  op.MemberBytesRead += n;
  if (op.MemberBytesRead > kMax32) {
    throw EZipLimitError(op.CurrentEntry->FullName() +
                         ": file too large for the ZIP format (4 GiB or more)");
  }
  op.Crc = UpdateCrc(op.Crc, buffer.first(n));
  Fire(OnFilePercentDone, *this,
       Percent(op.CurrentEntry->UncompressedSize, static_cast<i64>(op.MemberBytesRead)));
  op.DoneBytes += static_cast<i64>(n);
  Fire(OnTotalPercentDone, *this, Percent(op.TotalBytes, op.DoneBytes));
  return n;
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

// ---------------------------------------------------------------- catalogue

void TZipEngine::AddToNewCatalogue(TZipOperation& op, std::unique_ptr<TZipHeaderInfo> entry) {
  if (op.NewCatalogue->Count() >= 0xFFFF) {
    throw EZipLimitError(ZipName() + ": more than 65535 members, more than the ZIP format holds");
  }
  // A copied archive may hold two members whose names differ only in case;
  // the first keeps the name in the index.
  op.NameIndex.emplace(Key(*entry), entry.get());
  op.NewCatalogue->Add(std::move(entry));
  if (op.NewEnd.TotalEntries < 0xFFFF) ++op.NewEnd.TotalEntries;
  if (op.NewEnd.EntriesThisDisk < 0xFFFF) ++op.NewEnd.EntriesThisDisk;
}

void TZipEngine::RecordSuccess(TZipOperation& op, std::unique_ptr<TZipHeaderInfo> entry,
                               const std::string& name) {
  ++op.Count;
  AddToNewCatalogue(op, std::move(entry));
  if (Dispose) op.DisposeList.push_back(name);
}

// ---------------------------------------------------------------- existing members

void TZipEngine::CopyAndUpdateMembers(TZipOperation& op) {
  op.Removed.assign(FilesList.size(), false);
  if (!FDeleting && !FFromStream) {
    for (std::size_t i = 0; i < FilesList.size(); ++i) {
      const std::string& name = FilesList[i];
      op.LinesByStoredName[(FStorePaths ? StoredDirectory(name) : std::string()) +
                           ExtractFileName(name)]
          .push_back(i);
    }
  }
  const std::vector<TZipHeaderInfo*> entries = Catalogue()->All();
  for (TZipHeaderInfo* entry : entries) {
    if (entry->HasComment() && !entry->FileComment) LoadFileComment(*entry);
    if (FDeleting) {
      if (!DeleteDecision(op, *entry)) CopyMember(op, *entry);
      continue;
    }
    std::size_t line = FilesList.size();
    if (!FFromStream) {
      if (const auto it = op.LinesByStoredName.find(Key(*entry));
          it != op.LinesByStoredName.end()) {
        for (const std::size_t candidate : it->second) {
          if (!op.Removed[candidate]) {
            line = candidate;
            break;
          }
        }
      }
    }
    if (line == FilesList.size()) {
      CopyMember(op, *entry);
      continue;
    }
    const std::string name = FilesList[line];
    op.Removed[line] = true;
    bool replace = ZipAction == TZipAction::zaReplace;
    if (!replace) {
      const auto entryDate = DosDateTimeToDateTime(entry->FileDate);
      replace = FileDateOf(FPlatform, name) > entryDate.value_or(0.0);
    }
    // A file that cannot be added leaves its member as it was.
    if (!replace || !ZipOneFile(op, name)) CopyMember(op, *entry);
  }
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < FilesList.size(); ++i) {
    if (!op.Removed[i]) kept.push_back(FilesList[i]);
  }
  FilesList = std::move(kept);
}

void TZipEngine::CopyMember(TZipOperation& op, TZipHeaderInfo& entry) {
  TStream& archive = ZipStream();
  archive.Seek(entry.RelativeOffset, TSeekOrigin::Begin);
  std::array<u8, kLocalHeaderSize> local{};
  if (archive.Read(local) != local.size() || GetLE32(local, 0) != kLocalHeaderSignature) {
    throw EVarnelError(ZipName() + ": the local header of " + entry.FullName() + " is damaged");
  }
  archive.Seek(GetLE16(local, 26), TSeekOrigin::Current);
  const u16 extraLength = GetLE16(local, 28);
  auto copy = std::make_unique<TZipHeaderInfo>(entry);
  copy->Selected = false;
  copy->DiskNumberStart = static_cast<u16>(op.Disk);
  copy->ExtraFieldLength = extraLength;
  if (static_cast<u64>(op.Output->Position()) > kMax32) {
    throw EZipLimitError(ZipName() + ": the archive would grow past 4 GiB");
  }
  copy->WriteLocal(*op.Output);
  i64 dataBytes = static_cast<i64>(extraLength) + entry.CompressedSize;
  if (entry.HasDescriptor()) {
    // The descriptor after the data goes along: with flag bit 3 an
    // enciphered member's password check depends on it staying set.
    const i64 after = archive.Position() + dataBytes;
    archive.Seek(after, TSeekOrigin::Begin);
    std::array<u8, 4> signature{};
    const bool withSignature =
        archive.Read(signature) == 4 && GetLE32(signature, 0) == kDataDescriptorSignature;
    archive.Seek(after - dataBytes, TSeekOrigin::Begin);
    dataBytes += withSignature ? kDataDescriptorSize : kDataDescriptorSize - 4;
  }
  std::vector<u8> buffer(kCopyBlock);
  while (dataBytes > 0) {
    const auto want = static_cast<std::size_t>(std::min<i64>(dataBytes, kCopyBlock));
    archive.ReadBuffer(std::span(buffer).first(want));
    WriteData(op, std::span(buffer).first(want), false);
    dataBytes -= static_cast<i64>(want);
  }
  copy->ExtraFieldLength = 0;  // no extra bytes reach the central record
  AddToNewCatalogue(op, std::move(copy));
}

// ---------------------------------------------------------------- new files

bool TZipEngine::ZipOneFile(TZipOperation& op, const std::string& name) {
  op.MemberBytesRead = 0;
  op.CurrentEntry = std::make_unique<TZipHeaderInfo>();
  TZipHeaderInfo& entry = *op.CurrentEntry;
  if (FFromStream) {
    op.SourceStream = FSourceStreamFromCaller;
    entry.FileDate = FileTimeToDosDateTime(FPlatform.Clock.Now());
  } else {
    // A folder in the list is left out quietly. A file that vanished, a
    // special file or one that cannot be opened is reported, so that no
    // caller takes a missing member for an added one.
    const auto info = FPlatform.Files.Stat(name);
    if (info && info->IsDirectory) return false;
    if (!info || !info->IsRegular) {
      Fire(OnNoSuchFile, *this, name);
      return false;
    }
    entry.ExternalAttributes = info->Attributes;
    try {
      op.Source = std::make_unique<TLFNFileStream>(FPlatform.Files, name, TOpenMode::ReadDenyNone);
    } catch (const EFileError&) {
      Fire(OnNoSuchFile, *this, name);
      return false;
    }
    op.SourceStream = op.Source.get();
    entry.FileDate =
        NormaliseDosDateTime(FileTimeToDosDateTime(op.Source->Handle().LastWriteTime()));
  }
  struct TCloseSource {
    TZipOperation& Op;
    ~TCloseSource() {
      Op.Source.reset();
      Op.SourceStream = nullptr;
    }
  } closeSource{op};
  const i64 size = op.SourceStream->Size();
  if (static_cast<u64>(size) > kMax32) {
    throw EZipLimitError(name + ": file too large for the ZIP format (4 GiB or more)");
  }
  entry.UncompressedSize = static_cast<u32>(size);
  entry.SetFilename(ExtractFileName(name));
  entry.InternalAttributes = 2;
  entry.DiskNumberStart = static_cast<u16>(op.Disk);
  if (FStorePaths) entry.SetDirectory(StoredDirectory(name));
  if (const std::string full = entry.FullName();
      !IsAscii(full) || full.find_first_of("\\:") != std::string::npos) {
    // Info-ZIP's unzip ignores the UTF-8 flag of members made on DOS and
    // turns their names into Latin-1, a name stored as its own bytes (no
    // UTF-8) would read as code page 437, a backslash as a separator and a
    // colon as the end of a drive; made on Unix (with the mode that implies
    // beside the DOS bits) the name arrives as written.
    entry.VersionMadeBy = kVersionMadeByUnix;
    const u32 mode = (entry.ExternalAttributes & faAttr::ReadOnly) != 0 ? 0100444u : 0100644u;
    entry.ExternalAttributes |= mode << 16;
  }

  if (const auto it = op.NameIndex.find(Key(entry)); it != op.NameIndex.end()) {
    // A second file of the same stored name. During the event the view is
    // the new archive's entries by name, so the index means something.
    auto byName = TSortedZip::BuildView(op.NewCatalogue->All(), TZipSortMode::ByName);
    const auto& all = byName->All();
    const int index = static_cast<int>(std::find(all.begin(), all.end(), it->second) - all.begin());
    SetView(std::move(byName));
    try {
      Fire(OnSkippingFile, *this, TSkipReason::srNotOverwritten, index);
    } catch (...) {
      BuildView(TZipSortMode::ByNone);
      throw;
    }
    BuildView(TZipSortMode::ByNone);
    op.TotalBytes -= size;
    return false;
  }
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
  const bool spanning = MultiMode() != TMultiMode::mmNone;
  if (spanning) {
    if (entry.LocalSize() >= RoomLeft(op)) NextDisk(op);
    entry.DiskNumberStart = static_cast<u16>(op.Disk);
  }
  if (static_cast<u64>(op.Output->Position()) > kMax32) {
    throw EZipLimitError(ZipName() + ": the archive would grow past 4 GiB");
  }
  entry.WriteLocal(*op.Output);
  struct TDropWork {
    TZipEngine& Engine;
    TZipOperation& Op;
    ~TDropWork() {
      Op.Encrypting = false;
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
  if (!Password.empty()) {
    firstCrc = FirstPassCrc(op);
    WriteEncryptionHeader(op, firstCrc);
  }
  op.Crc = 0xFFFFFFFF;
  const u64 compressed = FDeflater->CompressMember(
      entry, PackLevel, [&](std::span<u8> buffer) { return ReadSource(op, buffer); },
      [&](std::span<const u8> bytes) { WriteData(op, bytes, op.Encrypting); }, FPlatform.Host,
      name);
  entry.Crc32 = ~op.Crc;
  // The file may have changed since its size was taken; the header tells
  // what was actually stored.
  entry.UncompressedSize = static_cast<u32>(op.MemberBytesRead);
  if (!Password.empty()) {
    if (entry.Crc32 != firstCrc) {
      throw EVarnelError(name + ": the file changed while it was being added");
    }
    entry.Flags |= kFlagEncrypted;
  }
  const u64 stored = compressed + (Password.empty() ? 0 : kEncryptionHeaderSize);
  if (stored > kMax32) {
    throw EZipLimitError(name + ": compressed data too large for the ZIP format (4 GiB or more)");
  }
  entry.CompressedSize = static_cast<u32>(stored);
  const i64 end = op.Output->Position();
  op.Output->Seek(entry.RelativeOffset, TSeekOrigin::Begin);
  entry.WriteLocal(*op.Output);
  if (spanning) {
    op.Output->Seek(0, TSeekOrigin::End);
    CopyWorkStreamToDisks(op);
  } else {
    op.Output->Seek(end, TSeekOrigin::Begin);
  }
}

// ---------------------------------------------------------------- directory

void TZipEngine::WriteCentralDirectory(TZipOperation& op) {
  const bool spanning = MultiMode() != TMultiMode::mmNone;
  op.NewEnd.CentralDirOffset = static_cast<u32>(std::min<i64>(op.Output->Position(), 0xFFFFFFFF));
  op.NewEnd.CentralStartDisk = static_cast<u16>(op.Disk);
  op.CentralRecordsThisDisk = 0;
  u64 written = 0;
  bool first = true;
  for (TZipHeaderInfo* entry : op.NewCatalogue->All()) {
    entry->ExtraFieldLength = 0;
    if (spanning && RoomLeft(op) < static_cast<i64>(entry->CentralSize())) {
      NextDisk(op);
      if (first) {
        op.NewEnd.CentralDirOffset = 0;
        op.NewEnd.CentralStartDisk = static_cast<u16>(op.Disk);
      }
    }
    if (first && static_cast<u64>(op.Output->Position()) > kMax32) {
      throw EZipLimitError(ZipName() + ": the archive would grow past 4 GiB");
    }
    first = false;
    entry->WriteCentral(*op.Output);
    written += entry->CentralSize();
    ++op.CentralRecordsThisDisk;
  }
  if (written > kMax32 || static_cast<u64>(op.NewEnd.CentralDirOffset) + written > kMax32) {
    throw EZipLimitError(ZipName() + ": the archive would grow past 4 GiB");
  }
  op.NewEnd.CentralDirSize = static_cast<u32>(written);
  if (spanning && RoomLeft(op) < static_cast<i64>(op.NewEnd.Size())) NextDisk(op);
  op.NewEnd.ThisDisk = static_cast<u16>(op.Disk);
  op.NewEnd.TotalEntries = static_cast<u16>(op.NewCatalogue->Count());
  op.NewEnd.EntriesThisDisk =
      static_cast<u16>(spanning ? op.CentralRecordsThisDisk : op.NewCatalogue->Count());
  op.NewEnd.WriteTo(*op.Output);
  if (MultiMode() == TMultiMode::mmSpan) LabelDisk(op);
}

}  // namespace vz
