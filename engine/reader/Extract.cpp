// The extraction driver: which entries are extracted, where each goes, what
// happens when the target exists, passwords, CRC checks, dates and
// attributes, and the events around each entry.
//
// A member is always decoded into a new file beside its target and renamed
// over the target only after its CRC has passed, so a damaged member or a
// wrong password never destroys a file that was there before, and the rename
// replaces a symbolic link at the target's place instead of writing through
// it. Names that would lead outside the destination, and members whose data
// overlaps another member's, are refused.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <tuple>

#include "engine/codecs/DecodeInput.h"
#include "engine/codecs/DecodeOutput.h"
#include "engine/codecs/Decoders.h"
#include "engine/format/ByteOrder.h"
#include "engine/format/DosDate.h"
#include "engine/format/ZipNames.h"
#include "engine/reader/UnZipEngine.h"
#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "engine/support/Wildcard.h"

namespace vz {
namespace {

constexpr int kPasswordCheckByte = 11;

// "AES-256", "strong encryption" or the name of a compression method.
std::string UnsupportedText(const std::string& method) {
  if (method.starts_with("AES")) return method + " encryption is not supported";
  if (method.ends_with("encryption")) return method + " is not supported";
  return "compression method " + method + " is not supported";
}

bool HasControlCharacter(std::string_view name) {
  return std::any_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// Either separator counts: a name that a DOS tool stored with backslashes must
// not climb out on a system that reads them otherwise.
bool HasDotDotComponent(std::string_view folder) {
  std::size_t start = 0;
  while (start <= folder.size()) {
    const auto end = folder.find_first_of("/\\", start);
    const auto part = folder.substr(start, end == std::string_view::npos ? end : end - start);
    if (part == "..") return true;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return false;
}

// Restores the current folder, the sort order and the decoder buffers on
// every way out of a run.
class TRunGuard {
 public:
  explicit TRunGuard(std::function<void()> restore) : FRestore(std::move(restore)) {}
  ~TRunGuard() { FRestore(); }
  TRunGuard(const TRunGuard&) = delete;
  TRunGuard& operator=(const TRunGuard&) = delete;

 private:
  std::function<void()> FRestore;
};

}  // namespace

// Out of line: the decoder objects are complete here.
TUnZipEngine::~TUnZipEngine() = default;

int TUnZipEngine::UnZip() {
  CancelOperation = false;
  if (FDestDir == "?") return 0;
  OpenZip();
  TRunGuard close([this] { CloseZip(); });
  return RunExtraction(nullptr);
}

int TUnZipEngine::UnZipToStream(TStream& stream, const std::string& name) {
  CancelOperation = false;
  OpenZip();
  TRunGuard close([this] { CloseZip(); });
  FilesList = {name};
  return RunExtraction(&stream);
}

int TUnZipEngine::RunExtraction(TStream* target) {
  FDecodeIn = std::make_unique<TDecodeInput>();
  FDecodeOut = std::make_unique<TDecodeOutput>();
  const std::string savedFolder = FPlatform.Files.CurrentFolder();
  const bool switchOrder = FEndCentral.ThisDisk != 0 && SortMode != TZipSortMode::ByNone;
  const TZipSortMode savedMode = SortMode;
  TRunGuard restore([&] {
    FPlatform.Files.SetCurrentFolder(savedFolder);
    FDecodeIn.reset();
    FDecodeOut.reset();
    FLocalHeaders = {};
    if (switchOrder) BuildView(savedMode);
  });
  // A relative destination is taken from the folder current at the start,
  // so that moving into it does not move the targets once more.
  FTargetRoot = FDestDir.empty() || FDestDir[0] == '/'
                    ? FDestDir
                    : IncludeTrailingSlash(savedFolder) + FDestDir;
  if (!FTargetRoot.empty()) {
    ForceDirectories(FPlatform.Files, FTargetRoot);
    FPlatform.Files.SetCurrentFolder(FTargetRoot);
  }
  // A multi-disk set is visited in disk order, so no disk is asked twice.
  if (switchOrder) BuildView(TZipSortMode::ByNone);
  FTotalBytes = 0;
  FTotalDone = 0;
  IndexLocalHeaders();
  int count = SelectEntries();
  bool stopNow = false;
  Fire(OnStartUnZipInfo, *this, count, FTotalBytes, stopNow);
  if (stopNow) return 0;  // nothing was extracted
  for (int i = 0; i < Count(); ++i) {
    if (!View().Items(i)->Selected) continue;
    // A cancel asked for in an event stops the run before the next member
    // too, also when that member has no data whose reading would notice it.
    CheckCancel();
    bool retry = false;
    do {
      ExtractOne(i, target, retry, count);
    } while (retry);
  }
  return count;
}

int TUnZipEngine::SelectEntries() {
  std::vector<std::string> patterns;
  for (const auto& line : FilesList) patterns.push_back(LowerCaseAscii(line));
  int count = 0;
  for (TZipHeaderInfo* entry : View().All()) {
    entry->Selected = DoAll;
    if (entry->Filename().empty() && !RecreateDirs) {
      entry->Selected = false;
      continue;
    }
    if (!entry->Selected) {
      const std::string name = LowerCaseAscii(entry->FullName());
      entry->Selected = std::any_of(patterns.begin(), patterns.end(),
                                    [&](const std::string& p) { return Match(p, name); });
    }
    if (entry->Selected) {
      FTotalBytes += entry->UncompressedSize;
      ++count;
    }
  }
  return count;
}

// Every member's local header by disk and offset, each with the furthest
// byte that the members before it on that disk claim. A member's claim is
// taken as at least its header's fixed part and its data, a lower bound
// whatever its name and extra field, so an honest archive never trips it.
void TUnZipEngine::IndexLocalHeaders() {
  FLocalHeaders.clear();
  if (!FCatalogue) return;
  const auto& entries = FCatalogue->All();
  std::vector<std::pair<TLocalHeaderMark, u64>> marks;  // with the member's own claim
  marks.reserve(entries.size());
  FLocalHeaders.reserve(entries.size());
  for (const TZipHeaderInfo* entry : entries) {
    const u16 disk = FEndCentral.ThisDisk != 0 ? entry->DiskNumberStart : u16{0};
    marks.push_back({{disk, entry->RelativeOffset, 0},
                     u64{entry->RelativeOffset} + kLocalHeaderSize + entry->CompressedSize});
  }
  std::sort(marks.begin(), marks.end(), [](const auto& a, const auto& b) {
    return std::tie(a.first.Disk, a.first.Offset) < std::tie(b.first.Disk, b.first.Offset);
  });
  u64 reach = 0;
  for (std::size_t i = 0; i < marks.size(); ++i) {
    if (i > 0 && marks[i].first.Disk != marks[i - 1].first.Disk) reach = 0;
    marks[i].first.ReachBefore = reach;
    reach = std::max(reach, marks[i].second);
    FLocalHeaders.push_back(marks[i].first);
  }
}

// The folder a member goes to, ending in "/"; nullopt for a name that could
// not be the member's own file below the destination: empty or only dots and
// slashes, a control character (a NUL would cut the path short), "." or ".."
// as the file name, or a ".." folder once RootDir and the drive are gone.
std::optional<std::string> TUnZipEngine::TargetFolder(const TZipHeaderInfo& entry) const {
  const std::string full = entry.FullName();
  if (full.find_first_not_of("./\\") == std::string::npos || HasControlCharacter(full) ||
      entry.Filename() == "." || entry.Filename() == "..") {
    return std::nullopt;
  }
  std::string d = entry.Directory();
  if (!RecreateDirs || d.empty()) return FTargetRoot + "/";
  if (!FRootDir.empty() && d.size() >= FRootDir.size() &&
      SameTextNoCase(d.substr(0, FRootDir.size()), FRootDir)) {
    d.erase(0, FRootDir.size());
  }
  // A drive names nothing here: "C:/data/" is the rooted folder "/data/".
  if (d.size() > 1 && d[1] == ':') d.erase(0, 2);
  if (HasDotDotComponent(d)) return std::nullopt;
  // Relative and rooted folders alike go below the destination; without one
  // a rooted folder is restored where it was. A network name's "//" is one
  // more rooted folder.
  d.erase(0, d.find_first_not_of('/'));
  return FTargetRoot + "/" + d;
}

void TUnZipEngine::ExtractOne(int index, TStream* target, bool& retry, int& count) {
  retry = false;
  const TZipHeaderInfo& stored = *View().Items(index);
  FWorkEntry = stored;
  const bool isFolder = FWorkEntry.Filename().empty();
  std::string targetPath;
  if (target == nullptr) {
    const auto folder = TargetFolder(FWorkEntry);
    if (!folder) {
      Fire(OnSkippingFile, *this, TSkipReason::srUnsafeEntry, index);
      --count;
      return;
    }
    if (isFolder) {
      ForceDirectories(FPlatform.Files, *folder);
      bool ignored = false;
      Fire(OnStartUnZip, *this, index, *folder, ignored);
      return;
    }
    targetPath = *folder + FWorkEntry.Filename();
  } else if (isFolder) {
    return;  // a folder has no bytes to give
  }
  if (const auto method = FWorkEntry.UnsupportedMethod()) {
    Skip(index, TSkipReason::srUnsupported, UnsupportedText(*method), count);
    return;
  }
  switch (SeekMemberData(stored)) {
    case TMemberCheck::Ok:
      break;
    case TMemberCheck::Overlaps:
      Fire(OnSkippingFile, *this, TSkipReason::srUnsafeEntry, index);
      --count;
      return;
    case TMemberCheck::HeaderMismatch:
      Skip(index, TSkipReason::srHeaderMismatch, FSkipText, count);
      return;
  }
  if (target == nullptr && RecreateDirs && !FWorkEntry.Directory().empty()) {
    ForceDirectories(FPlatform.Files, ExtractFilePath(targetPath));
  }
  if (FWorkEntry.Encrypted() && !CheckPassword(index)) {
    Fire(OnSkippingFile, *this, TSkipReason::srWrongPassword, index);
    --count;
    return;
  }
  if (target != nullptr) {
    ExtractToStream(index, *target, retry, count);
  } else if (CheckOverwrite(index, targetPath, count)) {
    ExtractToFile(index, targetPath, retry, count);
  }
}

void TUnZipEngine::Skip(int index, TSkipReason reason, std::string text, int& count) {
  FSkipText = std::move(text);
  Fire(OnSkippingFile, *this, reason, index);
  --count;
}

// Positions the archive at the member's data. Overlaps, when the member's
// bytes from its local header to the end of its data hold another member's
// local header, or lie in the range that an earlier member claims: members
// that share their data (the "overlapping" zip bomb) are refused, and no two
// members that are extracted ever decode the same bytes. HeaderMismatch
// (with CheckLocalHeaders), when the local header disagrees with the
// central record; FSkipText then names the fields.
TUnZipEngine::TMemberCheck TUnZipEngine::SeekMemberData(const TZipHeaderInfo& entry) {
  if (FEndCentral.ThisDisk != 0 && entry.DiskNumberStart != FCurrentDisk) {
    RequestDisk(entry.DiskNumberStart + 1);
  }
  TStream& stream = *FZipStream;
  stream.Seek(entry.RelativeOffset, TSeekOrigin::Begin);
  std::array<u8, kLocalHeaderSize> local{};
  stream.ReadBuffer(local);
  const u32 nameAndExtra = u32{GetLE16(local, 26)} + GetLE16(local, 28);
  std::string mismatch;
  if (CheckLocalHeaders) {
    // A name cut off by the end of the file is compared with its missing
    // bytes as zeros: it is never taken for a whole one.
    std::string localName(GetLE16(local, 26), '\0');
    stream.Read(std::span(reinterpret_cast<u8*>(localName.data()), localName.size()));
    stream.Seek(GetLE16(local, 28), TSeekOrigin::Current);
    mismatch = LocalHeaderMismatch(entry, local, localName);
  } else {
    stream.Seek(nameAndExtra, TSeekOrigin::Current);
  }
  const u64 dataEnd =
      u64{entry.RelativeOffset} + kLocalHeaderSize + nameAndExtra + entry.CompressedSize;
  const u16 disk = FEndCentral.ThisDisk != 0 ? entry.DiskNumberStart : u16{0};
  const auto byPlace = [](const TLocalHeaderMark& a, const TLocalHeaderMark& b) {
    return std::tie(a.Disk, a.Offset) < std::tie(b.Disk, b.Offset);
  };
  const auto self = std::lower_bound(FLocalHeaders.begin(), FLocalHeaders.end(),
                                     TLocalHeaderMark{disk, entry.RelativeOffset, 0}, byPlace);
  if (self != FLocalHeaders.end() && self->Disk == disk && self->Offset == entry.RelativeOffset) {
    if (self->ReachBefore > entry.RelativeOffset) return TMemberCheck::Overlaps;
    const auto next = std::next(self);
    if (next != FLocalHeaders.end() && next->Disk == disk && next->Offset < dataEnd) {
      return TMemberCheck::Overlaps;
    }
  }
  if (mismatch.empty()) return TMemberCheck::Ok;
  FSkipText = "its local header disagrees with the central directory (" + mismatch + ")";
  return TMemberCheck::HeaderMismatch;
}

// Sizes of 0xFFFFFFFF in a local header stand for its Zip64 field and are
// not compared; with a data descriptor, CRC and sizes follow the data.
std::string TUnZipEngine::LocalHeaderMismatch(const TZipHeaderInfo& entry,
                                              std::span<const u8> local,
                                              std::string_view localName) const {
  if (GetLE32(local, 0) != kLocalHeaderSignature) return "signature";
  constexpr u16 kComparedFlags =
      kFlagEncrypted | kFlagDataDescriptor | kFlagStrongEncryption | kFlagUtf8;
  const u16 flags = GetLE16(local, 6);
  const auto differs = [](u32 localValue, u32 central) {
    return localValue != 0xFFFFFFFF && localValue != central;
  };
  std::string fields;
  const auto add = [&fields](std::string_view field) {
    fields += (fields.empty() ? "" : ", ") + std::string(field);
  };
  if (localName != entry.StoredName()) add("name");
  if (GetLE16(local, 8) != entry.CompressionMethod) add("method");
  if (((flags ^ entry.Flags) & kComparedFlags) != 0) add("flags");
  if ((flags & kFlagDataDescriptor) == 0) {
    if (GetLE32(local, 14) != entry.Crc32) add("CRC");
    if (differs(GetLE32(local, 18), entry.CompressedSize)) add("compressed size");
    if (differs(GetLE32(local, 22), entry.UncompressedSize)) add("size");
  }
  return fields;
}

// The next bytes of the member being extracted, running on to the next disk
// of a set where its data continues there.
void TUnZipEngine::ReadMemberBytes(std::span<u8> bytes) {
  std::size_t got = FZipStream->Read(bytes);
  while (got < bytes.size()) {
    // There is no disk after the last one.
    if (FEndCentral.ThisDisk == 0 || !OnGetNextDisk || FCurrentDisk + 1 >= NumDisks) {
      throw EFatalUnzipError();
    }
    got += RequestDisk(FCurrentDisk + 2).Read(bytes.subspan(got));
  }
}

// Reads the member's encryption header once and tries the password on it,
// and each new one that OnBadPassword offers; on success the cipher keys
// stand ready for the data that follows.
bool TUnZipEngine::CheckPassword(int index) {
  // A member too short for its encryption header cannot be deciphered.
  if (FWorkEntry.CompressedSize < kEncryptionHeaderSize) return false;
  std::array<u8, kEncryptionHeaderSize> header{};
  ReadMemberBytes(header);
  FWorkEntry.CompressedSize -= kEncryptionHeaderSize;
  const u8 check = FWorkEntry.HasDescriptor() ? static_cast<u8>(FWorkEntry.FileDate >> 8)
                                              : static_cast<u8>(FWorkEntry.Crc32 >> 24);
  while (true) {
    std::array<u8, kEncryptionHeaderSize> plain = header;
    FCipher.InitKeys(Password);
    FCipher.Decrypt(plain);
    if (plain[kPasswordCheckByte] == check) return true;
    if (!OnBadPassword) return false;
    std::string newPassword = Password;
    OnBadPassword(*this, index, newPassword);
    if (newPassword == Password) return false;
    Password = newPassword;
  }
}

bool TUnZipEngine::CheckOverwrite(int index, std::string& targetPath, int& count) {
  if (OverwriteMode == TUZOverwriteMode::Always) return true;
  // A dangling link counts as an existing target: it is replaced, never
  // written through.
  if (!FPlatform.Files.LStat(targetPath)) return true;
  bool overwrite = false;
  if (OverwriteMode == TUZOverwriteMode::Prompt) {
    if (OnPromptForOverwrite) {
      OnPromptForOverwrite(*this, overwrite, index, targetPath);
    } else {
      TMessageBox box;
      box.Text = "Replace existing file " + FWorkEntry.Filename() + "?";
      box.Caption = "File Exists Alert";
      box.Buttons = TMsgButtons::YesNo;
      box.DefaultButton = TMsgResult::Yes;
      overwrite = FPlatform.Host.MessageBox(box) == TMsgResult::Yes;
    }
  }
  if (overwrite) return true;
  Fire(OnSkippingFile, *this, TSkipReason::srNotOverwritten, index);
  --count;
  return false;
}

std::pair<std::unique_ptr<IFile>, std::string> TUnZipEngine::CreateTempBeside(
    const std::string& folder) {
  for (int attempt = 0;; ++attempt) {
    std::array<u8, 6> random{};
    FPlatform.Random.Fill(random);
    char name[32];
    std::snprintf(name, sizeof name, ".vz%02x%02x%02x%02x%02x%02x.part", random[0], random[1],
                  random[2], random[3], random[4], random[5]);
    const std::string path = folder + name;
    try {
      return {FPlatform.Files.CreateNew(path), path};
    } catch (const EFCreateError& e) {
      if (e.Code() != EEXIST || attempt > 100) throw;
    }
  }
}

void TUnZipEngine::ExtractToFile(int index, const std::string& targetPath, bool& retry,
                                 int& count) {
  IFileSystem& files = FPlatform.Files;
  // Where no file stands, the member is written under its own name; the
  // exclusive create is also the test, since it fails on anything already
  // there, a link included, which is never written through. The failure paths
  // delete it again. Only an existing file needs the detour through a
  // temporary name, which costs a random name and a rename per member: most
  // of the time of many small members.
  std::unique_ptr<IFile> file;
  std::string writePath;
  bool existedBefore = false;
  try {
    file = files.CreateNew(targetPath);
    writePath = targetPath;
  } catch (const EFCreateError& e) {
    if (e.Code() != EEXIST) throw;
    existedBefore = true;
  }
  if (!file) std::tie(file, writePath) = CreateTempBeside(ExtractFilePath(targetPath));
  const bool direct = writePath == targetPath;
  auto out = std::make_unique<TLFNFileStream>(std::move(file));
  bool skip = false;
  u32 crc = 0;
  // What was written stays only where no file stood before; an existing file
  // is never replaced by an incomplete member.
  const auto abandon = [&] {
    out.reset();
    const bool keep = !existedBefore && !skip;
    if (!keep || (!direct && !files.RenameFile(writePath, targetPath))) {
      files.DeleteFile(writePath);
    }
  };
  try {
    Fire(OnStartUnZip, *this, index, targetPath, skip);
    if (!skip) {
      crc = DecodeEntry(out.get());
      out->Commit();
      if (const auto when = DosDateTimeToFileTime(FWorkEntry.FileDate)) {
        out->Handle().SetLastWriteTime(*when);
      }
    }
    out.reset();
  } catch (const EInOutError& e) {
    abandon();
    if (e.Path() != writePath || direct) throw;
    // The user knows the file by its own name, not by the temporary one.
    throw EInOutError(targetPath, e.Code(), FileErrorMessage(targetPath, e.Code()));
  } catch (...) {
    abandon();
    throw;
  }
  if (skip) {
    files.DeleteFile(writePath);
    return;
  }
  if (!DecodedIntact(crc)) {
    files.DeleteFile(writePath);
    ReportBadData(index, crc, retry);
    if (!retry) --count;
    return;
  }
  if (!direct && !files.RenameFile(writePath, targetPath)) {
    const int code = files.LastError();
    files.DeleteFile(writePath);
    throw EInOutError(targetPath, code, FileErrorMessage(targetPath, code));
  }
  if (RetainAttributes) files.SetAttributes(targetPath, FWorkEntry.ExternalAttributes & 0xFF);
  Fire(OnEndUnZip, *this, index, targetPath);
}

void TUnZipEngine::ExtractToStream(int index, TStream& target, bool& retry, int& count) {
  bool skip = false;
  Fire(OnStartUnZip, *this, index, std::string(), skip);
  if (skip) return;
  // A failed member's bytes are taken out of the stream again, so that a
  // retry or the next member does not come after them.
  // A sink that cannot go back (standard output) keeps what it was given.
  i64 start = -1;
  i64 sizeBefore = -1;
  try {
    start = target.Position();
    sizeBefore = target.Size();
  } catch (const EStreamError&) {
  }
  const u32 crc = DecodeEntry(&target);
  if (DecodedIntact(crc)) {
    Fire(OnEndUnZip, *this, index, std::string());
    return;
  }
  try {
    if (start >= 0) {
      target.SetSize(std::max(start, sizeBefore));
      target.SetPosition(start);
    }
  } catch (const EStreamError&) {
  }
  ReportBadData(index, crc, retry);
  if (!retry) --count;
}

void TUnZipEngine::ReportBadData(int index, u32 crc, bool& retry) {
  if (crc == FWorkEntry.Crc32) {
    // The right data, but not all of it or more: a damaged directory.
    FSkipText = "its data has another size than the archive declares (" +
                std::string(FDecodedTooBig ? "more than " : "") +
                std::to_string(FDecodeOut->BytesWritten()) + " bytes decoded, " +
                std::to_string(FWorkEntry.UncompressedSize) + " declared)";
    Fire(OnSkippingFile, *this, TSkipReason::srSizeMismatch, index);
    return;
  }
  if (!FWorkEntry.Encrypted()) {
    Fire(OnBadCRC, *this, crc, FWorkEntry.Crc32, index);
    return;
  }
  // A wrong password that passed the one-byte check.
  if (OnBadPassword) {
    std::string newPassword = Password;
    OnBadPassword(*this, index, newPassword);
    if (newPassword != Password) {
      Password = newPassword;
      retry = true;
    }
  }
  if (!retry) Fire(OnSkippingFile, *this, TSkipReason::srWrongPassword, index);
}

u32 TUnZipEngine::DecodeEntry(TStream* sink) {
  FDecodedTooBig = false;
  const bool encrypted = FWorkEntry.Encrypted();
  FDecodeIn->Reset(FWorkEntry.CompressedSize, [this, encrypted](std::span<u8> block) {
    CheckCancel();
    ReadMemberBytes(block);
    if (encrypted) FCipher.Decrypt(block);
  });
  const u32 size = FWorkEntry.UncompressedSize;
  FDecodeOut->Reset(sink, size, [this, size](u32 written, std::size_t chunk) {
    Fire(OnFilePercentDone, *this, Percent(size, written));
    FTotalDone += static_cast<i64>(chunk);
    Fire(OnTotalPercentDone, *this, Percent(FTotalBytes, FTotalDone));
  });
  try {
    if (!DecodeMember(FWorkEntry.CompressionMethod, FWorkEntry.Flags, FWorkEntry.CompressedSize,
                      size, *FDecodeIn, *FDecodeOut)) {
      TMessageBox box;
      box.Text = "Unknown Compression Method";
      box.Caption = "Zip Error";
      FPlatform.Host.MessageBox(box);
    }
  } catch (const EBiggerThanUncompressed&) {
    // Decoding stops at the stored size; the member fails its check.
    FDecodedTooBig = true;
  }
  FDecodedSizeWrong = FDecodedTooBig || FDecodeOut->BytesWritten() != size;
  return FDecodeOut->Crc();
}

}  // namespace vz
