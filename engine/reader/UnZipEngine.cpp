// Naming, opening and reading an archive's directory; disks; comments.
#include "engine/reader/UnZipEngine.h"

#include <array>
#include <cstdio>

#include "engine/codecs/DecodeInput.h"
#include "engine/codecs/DecodeOutput.h"
#include "engine/codecs/WinZipAes.h"
#include "engine/format/ByteOrder.h"
#include "engine/format/ZipNames.h"
#include "engine/support/Exceptions.h"
#include "engine/support/JoinedFile.h"
#include "engine/support/PathUtils.h"
#include "engine/support/VolumeParts.h"

namespace vz {
namespace {

constexpr const char* kOpenTitle = "Open a Zip File";
constexpr const char* kOpenFilter =
    "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All Files (*.*)|*.*";
constexpr i64 kRebuildStartForExe = 14000;
constexpr int kRebuildPumpInterval = 10240;
// Central records read between two looks at CancelOperation: a directory of
// 100,000 members stops within a fraction of a second.
constexpr u32 kRecordsPerCancelCheck = 1024;

}  // namespace

TUnZipEngine::TUnZipEngine(const TPlatform& platform) : FPlatform(platform) {}

TUnZipEngine::TOperationScope::TOperationScope(TUnZipEngine& engine) : FEngine(engine) {
  if (FEngine.FOperationDepth++ == 0) FEngine.CancelOperation = false;
}

// ---------------------------------------------------------------- properties

void TUnZipEngine::SetZipName(const std::string& value) {
  // Exact comparison: on Linux two spellings that differ in case are two
  // different files.
  if (value == FZipName) return;
  std::string name = value;
  if (!value.empty() && value.back() == '?') {
    const std::string folder = ExtractFilePath(value);
    const auto info = FPlatform.Files.Stat(folder.empty() ? "." : folder);
    const std::string start = !folder.empty() && info && info->IsDirectory ? folder : "/";
    auto chosen = FPlatform.Host.OpenFileDialog(kOpenTitle, kOpenFilter, start);
    if (!chosen) throw EUserCanceled("User canceled setting zip file name.");
    name = *chosen;
  }
  FZipName = name;
  ReleaseCatalogue();
  FArchiveDate = {};
  FEndCentral.Clear();
  FZipStream.reset();
  FSliceCount = 1;
  FRebuilt = false;
}

void TUnZipEngine::SetDestDir(const std::string& value) {
  std::string folder = value;
  if (value == "?") {
    std::string start = FDestDir;
    const auto info = FPlatform.Files.Stat(start.empty() ? "/" : start);
    if (start.empty() || !info || !info->IsDirectory) start = FPlatform.Files.CurrentFolder();
    auto chosen = FPlatform.Host.FolderDialog(start);
    if (!chosen) throw EUserCanceled("User canceled Set Desination Directory");
    folder = *chosen;
  }
  if (!folder.empty() && folder.back() == '/') folder.pop_back();
  FDestDir = folder;
}

void TUnZipEngine::SetRootDir(const std::string& value) {
  FRootDir = value.empty() ? std::string() : IncludeTrailingSlash(value);
}

void TUnZipEngine::SetNameEncoding(const std::string& value) {
  TNameDecoder names(value);
  if (names.Encoding() == FNames.Encoding()) return;
  FNames = std::move(names);
  if (!FCatalogue) return;
  // A catalogue afresh, so that the names decoded before leave no bytes.
  auto decoded = std::make_unique<TZipCatalogue>();
  decoded->Reserve(static_cast<u64>(FCatalogue->Count()), 0);
  for (int row = 0; row < FCatalogue->Count(); ++row) {
    TZipHeaderInfo entry = FCatalogue->Entry(row);
    entry.DecodeName(FNames);
    decoded->Append(entry);
  }
  FCatalogue = std::move(decoded);
  // The order by name may have changed.
  BuildView(FViewMode);
}

// ---------------------------------------------------------------- operations

void TUnZipEngine::ReadZip() {
  const TOperationScope operation(*this);
  OpenZip();
  CloseZip();
  // A cancel that came while the last records were read still stops an
  // open; inside another operation, that operation decides.
  if (operation.Outermost()) CheckCancel();
}

void TUnZipEngine::ClearZip() {
  FZipStream.reset();
  FSliceCount = 1;
  ReleaseCatalogue();
  FEndCentral.Clear();
  FRebuilt = false;
  FArchiveDate = {};
  NumDisks = 1;
  SetMultiMode(TMultiMode::mmNone);
  FZipName.clear();
}

int TUnZipEngine::Count() const {
  return FCatalogue ? FCatalogue->Count() : 0;
}

int TUnZipEngine::RowOf(int index) const {
  if (index < 0 || index >= Count()) throw EListError::IndexOutOfRange(index);
  return FViewRows.empty() ? index : static_cast<int>(FViewRows[static_cast<std::size_t>(index)]);
}

const TZipCatalogue& TUnZipEngine::Rows() const {
  static const TZipCatalogue kNone;
  return FCatalogue ? *FCatalogue : kNone;
}

int TUnZipEngine::IndexOfRow(int row) const {
  if (FViewRows.empty()) return row;
  const auto at = std::find(FViewRows.begin(), FViewRows.end(), static_cast<u32>(row));
  return at == FViewRows.end() ? -1 : static_cast<int>(at - FViewRows.begin());
}

TDateTime TUnZipEngine::DateTime(int index) const {
  const auto when = DosDateTimeToDateTime(Rows().FileDate(RowOf(index)));
  return when ? *when : FileTimeToDateTime(FPlatform.Clock.Now());
}

// ---------------------------------------------------------------- comments

std::string TUnZipEngine::FileComment(int index) {
  if (!Rows().HasComment(RowOf(index))) return {};
  TZipHeaderInfo entry = Entry(index);
  if (entry.FileComment) return entry.DecodedComment(FNames);
  const TOperationScope operation(*this);
  OpenZip();
  // Opening may have read the directory again; take the entry afresh.
  entry = Entry(index);
  LoadFileComment(entry);
  // Kept once loaded: it is asked for again, and a rewrite carries it over.
  FCatalogue->Replace(RowOf(index), entry);
  CloseZip();
  return entry.DecodedComment(FNames);
}

void TUnZipEngine::SetFileComment(int index, const std::string& comment) {
  const std::string present = Rows().HasComment(RowOf(index)) ? FileComment(index) : std::string();
  if (comment == present) return;
  TZipHeaderInfo entry = Entry(index);
  // The comment is stored as the text it is; one that is not ASCII is
  // marked UTF-8 with the name's flag bit 11 where the name allows it.
  if (!IsAscii(comment) && IsValidUtf8(comment)) entry.UseUtf8Flag();
  entry.SetFileComment(comment.empty() ? std::nullopt : std::optional<std::string>(comment));
  FCatalogue->Replace(RowOf(index), entry);
  FEndCentral.Modified = true;
}

std::vector<u8> TUnZipEngine::CentralExtra(int index) {
  TZipHeaderInfo entry = Entry(index);
  // A set's directory may lie on another disk than the one open.
  if (entry.ExtraFieldLength == 0 || FEndCentral.ThisDisk != 0) return entry.CentralExtra;
  const TOperationScope operation(*this);
  OpenZip();
  entry = Entry(index);
  TStream& stream = *FZipStream;
  stream.Seek(static_cast<i64>(entry.CentralOffset), TSeekOrigin::Begin);
  std::array<u8, kCentralHeaderSize> record{};
  std::vector<u8> extra;
  // Only the record the entry was read from: the same name and extra
  // lengths at its place.
  if (stream.Read(record) == record.size() && GetLE32(record, 0) == kCentralHeaderSignature &&
      GetLE16(record, 28) == entry.FilenameLength &&
      GetLE16(record, 30) == entry.ExtraFieldLength) {
    stream.Seek(entry.FilenameLength, TSeekOrigin::Current);
    extra.resize(entry.ExtraFieldLength);
    extra.resize(stream.Read(extra));
  } else {
    extra = entry.CentralExtra;
  }
  CloseZip();
  return extra;
}

std::string TUnZipEngine::ZipComment() {
  if (FEndCentral.ZipCommentLength == 0) return {};
  if (FEndCentral.ZipComment) return *FEndCentral.ZipComment;
  const TOperationScope operation(*this);
  OpenZip();
  LoadZipComment();
  CloseZip();
  return FEndCentral.ZipComment.value_or(std::string());
}

void TUnZipEngine::SetZipComment(const std::string& comment) {
  if (comment == ZipComment()) return;
  if (comment.size() > 0xFFFF) throw EZipLimitError("A comment may hold at most 65535 bytes");
  FEndCentral.ZipComment = comment.empty() ? std::nullopt : std::optional<std::string>(comment);
  FEndCentral.ZipCommentLength = static_cast<u16>(comment.size());
  FEndCentral.Modified = true;
}

void TUnZipEngine::LoadFileComment(TZipHeaderInfo& entry) {
  TStream& stream = *FZipStream;
  stream.Seek(static_cast<i64>(entry.CentralOffset), TSeekOrigin::Begin);
  std::array<u8, kCentralHeaderSize> record{};
  if (stream.Read(record) != record.size() || GetLE32(record, 0) != kCentralHeaderSignature) {
    return;
  }
  const u16 skip = GetLE16(record, 28);
  const u16 extra = GetLE16(record, 30);
  const u16 length = GetLE16(record, 32);
  stream.Seek(static_cast<i64>(skip) + extra, TSeekOrigin::Current);
  std::string comment(length, '\0');
  comment.resize(stream.Read(std::span(reinterpret_cast<u8*>(comment.data()), comment.size())));
  // Loading is not a change: the length stays what the directory said.
  entry.FileComment = std::move(comment);
}

void TUnZipEngine::LoadZipComment() {
  TStream& stream = *FZipStream;
  stream.Seek(static_cast<i64>(FEndCentral.ZipCommentPos), TSeekOrigin::Begin);
  std::string comment(FEndCentral.ZipCommentLength, '\0');
  comment.resize(stream.Read(std::span(reinterpret_cast<u8*>(comment.data()), comment.size())));
  FEndCentral.ZipComment = std::move(comment);
}

// ---------------------------------------------------------------- opening

TUnZipEngine::TArchiveStamp TUnZipEngine::StampOf(const std::string& path) const {
  // By path, not by the open handle: a rewritten archive is renamed over the
  // old one, and the handle would still see the old file.
  const auto info = FPlatform.Files.Stat(path);
  if (!info) return {};
  return {info->LastWrite, info->Size, info->Device, info->Inode};
}

void TUnZipEngine::RememberArchiveDate() {
  FArchiveDate = StampOf(FZipName);
}

// The stamp of the file the open stream reads, which is what the directory
// is read from. Taken from the path instead, a writer renaming its new
// archive into place between our open and our stamp would make the old
// directory look current, and an update built on it would lose that
// writer's members. (A set of slices is never rewritten: its path will do.)
void TUnZipEngine::RememberOpenArchive() {
  if (FSliceCount > 1) return RememberArchiveDate();
  const TFileInfo info = FZipStream->Handle().Info();
  FArchiveDate = {info.LastWrite, info.Size, info.Device, info.Inode};
}

void TUnZipEngine::OpenZip() {
  if (FCatalogue) {
    if (StampOf(FZipName) == FArchiveDate && FArchiveDate.Size >= 0) {
      if (!FZipStream) FZipStream = OpenArchiveStream();
      return;
    }
    FZipStream.reset();
  }
  if (!FZipStream) FZipStream = OpenArchiveStream();
  ReadDirectory();
}

// A numbered name may be one slice of an archive cut into plain byte
// slices: then the end record, read through all slices as one, says the
// archive is on disk 0 and ends at its own offset plus the directory's
// size. The block files of a set the engine wrote say another disk, and
// independent archives numbered in a row do not add up: those are read
// one file at a time.
std::unique_ptr<TLFNFileStream> TUnZipEngine::OpenArchiveStream() {
  FSliceCount = 1;
  const auto parts = NumberedParts(FPlatform.Files, FZipName);
  if (!parts.empty()) {
    auto joined = std::make_unique<TLFNFileStream>(OpenJoinedFile(FPlatform.Files, parts));
    TEndCentral end;
    // Where the directory must end: at the Zip64 end record, or else at
    // the end record.
    const auto directoryEnd = [&end] {
      return end.Zip64 ? end.Zip64EndPos : end.ZipCommentPos - kEndCentralSize;
    };
    // Records that make no sense across the joined files belong to one
    // file of a set: read as such, they are checked again.
    bool found = false;
    try {
      found = end.FindIn(*joined);
    } catch (const EDamagedRecord&) {
    }
    if (found && end.ThisDisk == 0 && end.ZipCommentPos >= kEndCentralSize &&
        end.CentralDirSize <= directoryEnd() &&
        end.CentralDirOffset == directoryEnd() - end.CentralDirSize) {
      FSliceCount = static_cast<int>(parts.size());
      return joined;
    }
  }
  return std::make_unique<TLFNFileStream>(FPlatform.Files, FZipName, TOpenMode::ReadDenyWrite);
}

void TUnZipEngine::CloseZip() {
  if (!KeepZipOpen) FZipStream.reset();
}

void TUnZipEngine::ReleaseCatalogue() {
  FViewRows = {};
  FViewMode = TZipSortMode::ByNone;
  FCatalogue.reset();
}

void TUnZipEngine::BuildView(TZipSortMode mode) {
  FViewRows = {};
  FViewMode = mode;
  if (FCatalogue) FViewRows = FCatalogue->SortedRows(mode);
}

void TUnZipEngine::AdoptCatalogue(const TSortedZip& written, const TEndCentral& end) {
  ReleaseCatalogue();
  FCatalogue = std::make_unique<TZipCatalogue>();
  FCatalogue->Reserve(static_cast<u64>(written.Count()), 0);
  for (const TZipHeaderInfo* entry : written.All()) FCatalogue->Append(*entry);
  FEndCentral.Assign(end);
  FEndCentral.Modified = false;
  FRebuilt = false;
}

void TUnZipEngine::CheckCancel() {
  if (DoProcessMessages) FPlatform.Host.ProcessMessages();
  // Spent as it is honoured: from here the exception carries it. One atomic
  // step, so a cancel set meanwhile from another thread is either this one
  // or stays set.
  if (CancelOperation.exchange(false)) throw EUserCanceled("User Aborted Operation");
}

// ---------------------------------------------------------------- directory

void TUnZipEngine::ReadDirectory() {
  try {
    ReadDirectoryRecords();
  } catch (...) {
    // A directory read part way (cancelled, a disk refused, a damaged
    // record) must not pass for the archive's: the next operation reads
    // it again.
    ReleaseCatalogue();
    FArchiveDate = {};
    throw;
  }
}

void TUnZipEngine::ReadDirectoryRecords() {
  RememberOpenArchive();
  ReleaseCatalogue();
  FRebuilt = false;
  if (FEndCentral.FindIn(*FZipStream)) {
    FCurrentDisk = FEndCentral.ThisDisk;
    if (FEndCentral.ThisDisk != 0) {
      const std::string drive = FPlatform.Drives.DriveOf(FZipName);
      SetMultiMode(FPlatform.Drives.DriveType(drive) == TDriveType::Removable
                       ? TMultiMode::mmSpan
                       : TMultiMode::mmBlocks);
    } else {
      SetMultiMode(TMultiMode::mmNone);
    }
    if (FEndCentral.CentralStartDisk != FCurrentDisk) RequestDisk(FEndCentral.CentralStartDisk + 1);
    if (!SeekCentralDirectory()) {
      // An end record that declares neither members nor directory bytes is
      // the empty archive (also what deleting the last member leaves),
      // unless members are found in front of it after all.
      const bool declaredEmpty = FEndCentral.TotalEntries == 0 && FEndCentral.CentralDirSize == 0;
      TBusyCursor busy(FPlatform.Host);
      if (!RebuildFromLocalHeaders()) {
        FRebuilt = FRebuilt && !declaredEmpty;
        BuildView(SortMode);
        return;
      }
    }
  } else {
    TIncompleteZipMode mode = IncompleteZipMode;
    if (!FRepair) {
      Fire(OnInCompleteZip, *this, mode);
      IncompleteZipMode = mode;
      if (mode == TIncompleteZipMode::izAssumeMulti) throw EIncompleteZip();
    }
    TBusyCursor busy(FPlatform.Host);
    if (!RebuildFromLocalHeaders()) {
      BuildView(SortMode);
      return;
    }
  }
  ReadCentralRecords();
  if (FEndCentral.ThisDisk != 0 && FEndCentral.HasComment()) {
    if (FCurrentDisk != FEndCentral.ThisDisk) RequestDisk(FEndCentral.ThisDisk + 1);
    LoadZipComment();
  }
  NumDisks = FEndCentral.ThisDisk + 1;
  FCurrentDisk = FEndCentral.ThisDisk;
  BuildView(SortMode);
}

bool TUnZipEngine::SeekCentralDirectory() {
  TStream& stream = *FZipStream;
  stream.Seek(static_cast<i64>(FEndCentral.CentralDirOffset), TSeekOrigin::Begin);
  std::array<u8, 4> signature{};
  if (stream.Read(signature) != signature.size() ||
      GetLE32(signature, 0) != kCentralHeaderSignature) {
    return false;
  }
  stream.Seek(-4, TSeekOrigin::Current);
  // Two records may name one local header (members that share their data):
  // the directory is listed as it is, and extraction refuses such members.
  FCatalogue = std::make_unique<TZipCatalogue>();
  // Room for what the directory's bytes can hold, as far as the file has
  // them: a declared count alone allocates nothing.
  const i64 size = stream.Size();
  const u64 start = FEndCentral.CentralDirOffset;
  const u64 bytes = static_cast<u64>(size) > start
                        ? std::min(FEndCentral.CentralDirSize, static_cast<u64>(size) - start)
                        : 0;
  const u64 records = bytes / kCentralHeaderSize;
  const bool countSaturated = FEndCentral.TotalEntries == 0xFFFF && !FEndCentral.Zip64;
  const u64 entries = countSaturated ? records : std::min(FEndCentral.TotalEntries, records);
  FCatalogue->Reserve(entries, bytes - entries * kCentralHeaderSize);
  return true;
}

void TUnZipEngine::ReadCentralRecords() {
  const TNextDiskStream nextDisk = [this]() -> TStream& { return RequestDisk(FCurrentDisk + 2); };
  // A count of 0xFFFF without a Zip64 end record is where the 16-bit field
  // saturates for a writer that left that record out: the directory is
  // read to its end instead of stopping at 65535.
  const bool countSaturated = FEndCentral.TotalEntries == 0xFFFF && !FEndCentral.Zip64;
  for (u64 i = 0; i < FEndCentral.TotalEntries || countSaturated; ++i) {
    if (i % kRecordsPerCancelCheck == kRecordsPerCancelCheck - 1) CheckCancel();
    TZipHeaderInfo entry;
    const bool allowDiskChange = !FRebuilt && MultiMode() != TMultiMode::mmNone;
    const bool ok =
        entry.ReadCentral(*FZipStream, allowDiskChange ? nextDisk : TNextDiskStream(), FNames);
    if (!ok && countSaturated && i >= 0xFFFF) break;
    int row = -1;
    if (FRebuilt) {
      // A failed read leaves the stream where it was, so every later one
      // would fail the same way.
      if (!ok) break;
      row = FCatalogue->FindPosition(entry.DiskNumberStart, entry.RelativeOffset);
      if (row < 0) continue;
    } else if (!ok) {
      // The directory breaks off before its end: recover the members from
      // their local headers instead of inventing entries, then match the
      // records that were readable.
      if (!RebuildFromLocalHeaders()) return;
      FZipStream->Seek(static_cast<i64>(FEndCentral.CentralDirOffset), TSeekOrigin::Begin);
      i = static_cast<u64>(-1);
      continue;
    } else if (FEndCentral.ThisDisk == 0) {
      entry.RelativeOffset += FEndCentral.OffsetShift;
    }
    if (FEndCentral.ThisDisk != 0 && entry.HasComment()) {
      const i64 resume = FZipStream->Position();
      LoadFileComment(entry);
      FZipStream->Seek(resume, TSeekOrigin::Begin);
    }
    if (row >= 0) {
      FCatalogue->Replace(row, entry);
    } else {
      FCatalogue->Append(entry);
    }
  }
  // The records in the order of their local headers, as the members lie.
  if (!FRebuilt) FCatalogue->SortByPosition();
}

bool TUnZipEngine::RebuildFromLocalHeaders() {
  FRebuilt = true;
  ReleaseCatalogue();
  TLFNFileStream& stream = *FZipStream;
  const i64 start = ExtractFileExt(FZipName) == ".EXE" ? kRebuildStartForExe : 0;
  stream.Seek(start, TSeekOrigin::Begin);
  // Look for "PK\3\4"; a byte that breaks the sequence may start it anew.
  static constexpr u8 kSignature[4] = {'P', 'K', 3, 4};
  // Headers are found at rising offsets: the catalogue is in position order.
  FCatalogue = std::make_unique<TZipCatalogue>();
  FEndCentral.ThisDisk = 0;
  FEndCentral.TotalEntries = 0;
  FCurrentDisk = 0;
  NumDisks = 1;
  int matched = 0;
  long sincePump = 0;
  while (matched < 4) {
    const int b = stream.ReadByte();
    if (b < 0) return false;
    if (b != 'P' && ++sincePump >= kRebuildPumpInterval) {
      sincePump = 0;
      CheckCancel();
    }
    if (b == kSignature[matched]) {
      ++matched;
    } else {
      matched = b == 'P' ? 1 : 0;
    }
  }
  stream.Seek(-4, TSeekOrigin::Current);
  const i64 fileSize = stream.Size();
  while (true) {
    TZipHeaderInfo entry;
    try {
      if (!entry.ReadLocal(stream, FNames, true)) break;
    } catch (const EDamagedRecord&) {
      break;  // what comes after a header that cannot be read is no member
    }
    const i64 skip = static_cast<i64>(entry.CompressedSize) +
                     (entry.HasDescriptor() ? entry.DescriptorSize() : 0);
    // A member whose data runs past the end of the file was cut off: it can
    // be neither extracted nor copied, and would end a repair with it.
    if (stream.Position() + skip > fileSize) break;
    FCatalogue->Append(entry);
    stream.Seek(skip, TSeekOrigin::Current);
  }
  FEndCentral.CentralDirOffset = static_cast<u64>(stream.Position());
  FEndCentral.TotalEntries = static_cast<u64>(FCatalogue->Count());
  FEndCentral.Zip64 = false;
  return true;
}

// ---------------------------------------------------------------- disks

TStream& TUnZipEngine::RequestDisk(int diskOneBased) {
  FZipStream.reset();
  std::string name = FZipName;
  while (true) {
    if (!OnGetNextDisk) throw EUserCanceled("User canceled loading new disk.");
    OnGetNextDisk(*this, diskOneBased, name);
    if (CheckDiskLabels() && !name.empty() && !LabelCheck(name, diskOneBased)) continue;
    if (name.empty()) throw EUserCanceled("User canceled loading new disk.");
    const auto info = FPlatform.Files.Stat(name);
    if (info && !info->IsDirectory) break;
  }
  FZipStream = std::make_unique<TLFNFileStream>(FPlatform.Files, name, TOpenMode::ReadDenyWrite);
  FCurrentDisk = diskOneBased - 1;
  FZipName = name;
  RememberOpenArchive();
  return *FZipStream;
}

bool TUnZipEngine::LabelCheck(const std::string& fileName, int diskOneBased) {
  if (MultiMode() != TMultiMode::mmSpan) return true;
  const auto label = FPlatform.Drives.VolumeLabel(FPlatform.Drives.DriveOf(fileName));
  if (!label || label->size() < 3) return false;
  char expected[16];
  std::snprintf(expected, sizeof expected, "%3.3d", diskOneBased);
  return label->substr(label->size() - 3) == expected;
}

}  // namespace vz
