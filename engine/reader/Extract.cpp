// The extraction driver: which entries are extracted, where each goes, what
// happens when the target exists, passwords, CRC checks, dates, modes and
// attributes, and the events around each entry.
//
// The destination is opened once, as the user named it (links on the way
// to it are the user's own), and every member's folder is resolved below it
// by descriptor, following no symbolic link: a link standing inside the
// destination cannot lead a member out of it. Only absolute stored folders
// restored where they were (no destination given) are reached by path, with
// the user's links. The run works with absolute paths and folders held open
// and never changes the process's current folder.
//
// Where no file stands, a member is written under its own name; over an
// existing file it is decoded into a new file beside it and renamed over it
// only after its CRC has passed, so a damaged member or a wrong password
// never destroys a file that was there before, and a symbolic link at the
// target's place is replaced instead of written through. Times and modes
// are set on the open descriptor; folder modes wait for the end of the run,
// so that a read-only folder does not keep out its own files.
//
// Names that would lead outside the destination, and members whose data
// overlaps another member's, are refused as unsafe. A member whose target
// cannot be made or written (a file where a folder is wanted, a name too
// long, a folder without write permission) is reported and the run goes on;
// a full disk or an I/O error ends it.
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <numeric>
#include <string_view>
#include <tuple>

#include "engine/codecs/DecodeInput.h"
#include "engine/codecs/DecodeOutput.h"
#include "engine/codecs/Decoders.h"
#include "engine/codecs/WinZipAes.h"
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

// Why members are refused, as the user reads it after the member's name.
constexpr const char* kNoFileName =
    "the name names no file (empty, \".\", or only dots and slashes)";
constexpr const char* kControlCharacters = "control characters in the name";
constexpr const char* kDotDotComponent = "a \"..\" component in the name";
constexpr const char* kMembersShareData = "members share data";
constexpr const char* kLinkOnTheWay = "a symbolic link on its folder path below the destination";
constexpr const char* kWrongPassword = "the password is missing or wrong";
constexpr const char* kTargetExists = "the file exists";
constexpr const char* kBadAuthentication =
    "its AES authentication code does not match: the data is damaged or was altered";

// "AES", "strong encryption" or the name of a compression method.
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

// Errors that belong to one member's target, which is reported while the
// run goes on. Anything else (a full disk, a quota, an I/O error, no
// memory or descriptors left) would fail every member after it, and ends
// the run.
bool IsMemberFault(int code) {
  switch (code) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EEXIST:
    case ENOTDIR:
    case EISDIR:
    case ENAMETOOLONG:
    case ENOENT:
    case EINVAL:
    case EILSEQ:
    case EMLINK:
    case EFBIG:
    case ETXTBSY:
    case EBUSY:
      return true;
    default:
      return false;
  }
}

// The hosts whose attributes are DOS's: MS-DOS and FAT, OS/2's HPFS, NTFS
// and VFAT. Every other host keeps a Unix mode in the attributes' high half.
bool IsDosHost(u16 versionMadeBy) {
  const auto host = static_cast<u8>(versionMadeBy >> 8);
  return host == 0 || host == 6 || host == 11 || host == 14;
}

constexpr u32 kModeTypeMask = 0170000;
constexpr u32 kModeRegular = 0100000;
constexpr u32 kModeDirectory = 0040000;

// The permission bits a member from a Unix-like host stored, never with the
// set-user-id, set-group-id or sticky bits. None for a DOS host, a zero
// mode, or a mode of another kind of file (a link stored as its text gets
// no bits of the link's).
std::optional<u32> StoredUnixMode(const TZipHeaderInfo& entry, bool folder) {
  if (IsDosHost(entry.VersionMadeBy)) return std::nullopt;
  const u32 mode = entry.ExternalAttributes >> 16;
  const u32 type = mode & kModeTypeMask;
  if (mode == 0 || (type != 0 && type != (folder ? kModeDirectory : kModeRegular))) {
    return std::nullopt;
  }
  return mode & 0777;
}

std::size_t Depth(std::string_view folder) {
  return static_cast<std::size_t>(std::count(folder.begin(), folder.end(), '/'));
}

// Releases the run's state on every way out.
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

// Where a member goes: a folder below the destination ("" or ending in
// "/"), or, restoring stored volumes, an absolute folder reached by path.
struct TUnZipEngine::TTargetPlace {
  std::string Folder;
  bool StoredVolume = false;
  bool operator==(const TTargetPlace&) const = default;
};

// A member's file: the folder it goes into (held by the run), its name
// there and its full path for the events.
struct TUnZipEngine::TTargetFile {
  IFolder* Folder = nullptr;
  std::string Name;
  std::string Path;
};

// The file a member is decoded into: the target itself, or a temporary
// file beside the file that stands there.
struct TUnZipEngine::TMemberOutput {
  std::unique_ptr<IFile> File;
  std::string Name;  // in the target's folder
  std::string Path;  // as the file names itself in its errors
  bool ExistedBefore = false;
};

// What one extraction into files holds: the destination opened once, the
// folder of the latest member (members mostly come folder by folder), the
// folder an overwrite prompt named instead, and the modes of the folders,
// given at the end. The rest spares each member work that its neighbours
// did already: the latest stored date with its file time (converting asks
// the system for the time zone, a file read every time), and the buffers a
// local header's name and extra field are read into.
struct TUnZipEngine::TExtractRun {
  std::unique_ptr<IFolder> Destination;
  std::unique_ptr<IFolder> Latest;
  TTargetPlace LatestPlace;
  std::unique_ptr<IFolder> Elsewhere;
  std::vector<std::pair<TTargetPlace, u32>> FolderModes;
  u32 CreationMask = 022;
  std::optional<std::pair<u32, std::optional<TFileTime>>> LatestDate;
  std::string LocalName;
  std::vector<u8> LocalExtra;
};

// Out of line: the decoder objects are complete here.
TUnZipEngine::~TUnZipEngine() = default;

void TUnZipEngine::TExtractRunDelete::operator()(TExtractRun* run) const {
  std::default_delete<TExtractRun>()(run);
}

int TUnZipEngine::UnZip() {
  const TOperationScope operation(*this);
  if (FDestDir == "?") return 0;
  OpenZip();
  TRunGuard close([this] { CloseZip(); });
  return RunExtraction(nullptr);
}

int TUnZipEngine::UnZipToStream(TStream& stream, const std::string& name) {
  const TOperationScope operation(*this);
  OpenZip();
  TRunGuard close([this] { CloseZip(); });
  FilesList = {name};
  return RunExtraction(&stream);
}

int TUnZipEngine::RunExtraction(TStream* target) {
  FDecodeIn = std::make_unique<TDecodeInput>();
  FDecodeOut = std::make_unique<TDecodeOutput>();
  FRun.reset(std::make_unique<TExtractRun>().release());
  TRunGuard release([&] {
    ApplyFolderModes();
    FRun.reset();
    FDecodeIn.reset();
    FDecodeOut.reset();
    FLocalHeaders = {};
  });
  // A relative destination is resolved once, against the folder current
  // at the start; from then on the run works with absolute paths.
  FTargetRoot = FDestDir.empty() || FDestDir[0] == '/'
                    ? FDestDir
                    : IncludeTrailingSlash(FPlatform.Files.CurrentFolder()) + FDestDir;
  FTotalBytes = 0;
  FTotalDone = 0;
  IndexLocalHeaders();
  int count = SelectEntries();
  bool stopNow = false;
  Fire(OnStartUnZipInfo, *this, count, FTotalBytes, stopNow);
  if (stopNow) return 0;  // nothing was extracted
  // Nothing to extract makes no destination either.
  if (count > 0 && target == nullptr) OpenDestination();
  for (const int i : VisitOrder()) {
    if (!Rows().Selected(RowOf(i))) continue;
    // A cancel asked for in an event stops the run before the next member
    // too, also when that member has no data whose reading would notice it.
    CheckCancel();
    bool retry = false;
    do {
      ExtractOne(i, target, retry, count);
    } while (retry);
  }
  // And one asked for during the last member is not lost.
  CheckCancel();
  return count;
}

// The view's positions in the order the members are extracted: the view's
// own, except that a multi-disk set goes by disk and offset, so that no
// disk is asked for twice. The view itself stays as the caller sees it.
std::vector<int> TUnZipEngine::VisitOrder() const {
  std::vector<int> order(static_cast<std::size_t>(Count()));
  std::iota(order.begin(), order.end(), 0);
  if (FEndCentral.ThisDisk != 0) {
    const TZipCatalogue& rows = *FCatalogue;
    const auto place = [&](int index) {
      const int row = RowOf(index);
      return std::pair(rows.DiskNumberStart(row), rows.RelativeOffset(row));
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return place(a) < place(b); });
  }
  return order;
}

// The destination as the user named it, made with its missing levels: the
// one place where links on the way are followed for a relative member.
void TUnZipEngine::OpenDestination() {
  IFileSystem& files = FPlatform.Files;
  const std::string root = IncludeTrailingSlash(FTargetRoot);
  ForceDirectories(files, root);
  FRun->Destination = files.OpenFolder(root);
  if (!FRun->Destination) {
    const int code = files.LastError();
    throw EInOutError(root, code, FileErrorMessage(root, code));
  }
  FRun->CreationMask = files.CreationMask();
}

int TUnZipEngine::SelectEntries() {
  std::vector<std::string> patterns;
  for (const auto& line : FilesList) patterns.push_back(LowerCaseAscii(line));
  // A pattern of stars alone matches every name, which then need not be
  // built and lowered for each member.
  const bool everything = DoAll || std::any_of(patterns.begin(), patterns.end(), [](const auto& p) {
                            return !p.empty() && p.find_first_not_of('*') == std::string::npos;
                          });
  int count = 0;
  if (!FCatalogue) return 0;
  TZipCatalogue& rows = *FCatalogue;
  for (int row = 0; row < rows.Count(); ++row) {
    // A folder entry only with RecreateDirs.
    const bool eligible = !rows.Filename(row).empty() || RecreateDirs;
    bool selected = everything && eligible;
    if (!selected && eligible) {
      const std::string name = LowerCaseAscii(rows.FullName(row));
      selected = std::any_of(patterns.begin(), patterns.end(),
                             [&](const std::string& p) { return Match(p, name); });
    }
    rows.SetSelected(row, selected);
    if (selected) {
      FTotalBytes += static_cast<i64>(rows.UncompressedSize(row));
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
  const TZipCatalogue& rows = *FCatalogue;
  std::vector<std::pair<TLocalHeaderMark, u64>> marks;  // with the member's own claim
  marks.reserve(static_cast<std::size_t>(rows.Count()));
  FLocalHeaders.reserve(static_cast<std::size_t>(rows.Count()));
  for (int row = 0; row < rows.Count(); ++row) {
    const u16 disk = FEndCentral.ThisDisk != 0 ? rows.DiskNumberStart(row) : u16{0};
    const u64 offset = rows.RelativeOffset(row);
    marks.push_back({{disk, offset, 0}, offset + kLocalHeaderSize + rows.CompressedSize(row)});
  }
  // Most directories list their members in the order of their data already.
  const auto byPlace = [](const auto& a, const auto& b) {
    return std::tie(a.first.Disk, a.first.Offset) < std::tie(b.first.Disk, b.first.Offset);
  };
  if (!std::is_sorted(marks.begin(), marks.end(), byPlace)) {
    std::sort(marks.begin(), marks.end(), byPlace);
  }
  u64 reach = 0;
  for (std::size_t i = 0; i < marks.size(); ++i) {
    if (i > 0 && marks[i].first.Disk != marks[i - 1].first.Disk) reach = 0;
    marks[i].first.ReachBefore = reach;
    reach = std::max(reach, marks[i].second);
    FLocalHeaders.push_back(marks[i].first);
  }
}

// The folder a member goes to; nullopt (with the reason in FSkipText) for a
// name that could not be the member's own file below the destination: empty
// or only dots and slashes, a control character (a NUL would cut the path
// short), "." or ".." as the file name, or a ".." folder once RootDir and
// the drive are gone.
std::optional<TUnZipEngine::TTargetPlace> TUnZipEngine::TargetPlace(const TZipHeaderInfo& entry) {
  const std::string full = entry.FullName();
  const auto refuse = [this](const char* reason) {
    FSkipText = reason;
    return std::nullopt;
  };
  if (full.find_first_not_of("./\\") == std::string::npos || entry.Filename() == ".") {
    return refuse(kNoFileName);
  }
  if (HasControlCharacter(full)) return refuse(kControlCharacters);
  if (entry.Filename() == "..") return refuse(kDotDotComponent);
  std::string d = entry.Directory();
  if (!RecreateDirs || d.empty()) return TTargetPlace{};
  if (!FRootDir.empty() && d.size() >= FRootDir.size() &&
      SameTextNoCase(d.substr(0, FRootDir.size()), FRootDir)) {
    d.erase(0, FRootDir.size());
  }
  // A drive names nothing here: "C:/data/" is the rooted folder "/data/".
  if (d.size() > 1 && d[1] == ':') d.erase(0, 2);
  if (HasDotDotComponent(d)) return refuse(kDotDotComponent);
  // Relative and rooted folders alike go below the destination; without one
  // a rooted folder is restored where it was. A network name's "//" is one
  // more rooted folder.
  const bool rooted = !d.empty() && d[0] == '/';
  d.erase(0, d.find_first_not_of('/'));
  if (rooted && FTargetRoot.empty()) return TTargetPlace{"/" + d, true};
  return TTargetPlace{d, false};
}

std::string TUnZipEngine::PlacePath(const TTargetPlace& place) const {
  return place.StoredVolume ? place.Folder : IncludeTrailingSlash(FTargetRoot) + place.Folder;
}

void TUnZipEngine::Skip(int index, TSkipReason reason, std::string text, int& count) {
  FSkipText = std::move(text);
  Fire(OnSkippingFile, *this, reason, index);
  --count;
}

// The target folder held open, made with its missing levels. A link on the
// way below the destination refuses the member as unsafe; a folder that
// cannot be made or opened is the member's failure; nullptr for both.
IFolder* TUnZipEngine::OpenPlace(int index, const TTargetPlace& place, int& count) {
  TExtractRun& run = *FRun;
  if (run.Latest && run.LatestPlace == place) return run.Latest.get();
  run.Latest.reset();
  int code = 0;
  if (place.StoredVolume) {
    try {
      ForceDirectories(FPlatform.Files, place.Folder);
      run.Latest = FPlatform.Files.OpenFolder(place.Folder);
      if (!run.Latest) code = FPlatform.Files.LastError();
    } catch (const EInOutError& e) {
      code = e.Code();
    }
  } else {
    run.Latest = run.Destination->OpenFolder(place.Folder, true);
    if (!run.Latest) code = run.Destination->LastError();
  }
  if (run.Latest) {
    run.LatestPlace = place;
    return run.Latest.get();
  }
  const std::string path = PlacePath(place);
  if (code == ELOOP || code == EXDEV) {
    Skip(index, TSkipReason::srUnsafeEntry, kLinkOnTheWay, count);
  } else if (IsMemberFault(code)) {
    Skip(index, TSkipReason::srNotWritten, FileErrorMessage(path, code), count);
  } else {
    throw EInOutError(path, code, "Unable to create directory " + FileErrorMessage(path, code));
  }
  return nullptr;
}

// False (the member reported) for a path longer than the system takes,
// which no folder of it could be made for.
bool TUnZipEngine::PathFits(int index, const std::string& path, int& count) {
  if (path.size() < PATH_MAX) return true;
  Skip(index, TSkipReason::srNotWritten,
       "its path is " + std::to_string(path.size()) +
           " bytes long, longer than the system allows (" + std::to_string(PATH_MAX - 1) + ")",
       count);
  return false;
}

void TUnZipEngine::ExtractOne(int index, TStream* target, bool& retry, int& count) {
  retry = false;
  const TZipHeaderInfo stored = Entry(index);
  FWorkEntry = stored;
  const bool isFolder = FWorkEntry.Filename().empty();
  if (target != nullptr && isFolder) return;  // a folder has no bytes to give
  std::optional<TTargetPlace> place;
  if (target == nullptr) {
    place = TargetPlace(FWorkEntry);
    if (!place) {
      Skip(index, TSkipReason::srUnsafeEntry, FSkipText, count);
      return;
    }
    if (isFolder) {
      ExtractFolder(index, *place, count);
      return;
    }
  }
  if (const auto method = FWorkEntry.UnsupportedMethod()) {
    Skip(index, TSkipReason::srUnsupported, UnsupportedText(*method), count);
    return;
  }
  // An AES member is decoded by the method its field names.
  FWorkAes = FWorkEntry.Aes();
  FWorkEntry.CompressionMethod = FWorkEntry.DataMethod();
  switch (SeekMemberData(stored)) {
    case TMemberCheck::Ok:
      break;
    case TMemberCheck::Overlaps:
      Skip(index, TSkipReason::srUnsafeEntry, kMembersShareData, count);
      return;
    case TMemberCheck::HeaderMismatch:
      Skip(index, TSkipReason::srHeaderMismatch, FSkipText, count);
      return;
  }
  TTargetFile file;
  if (place) {
    file.Path = PlacePath(*place) + FWorkEntry.Filename();
    if (!PathFits(index, file.Path, count)) return;
    file.Folder = OpenPlace(index, *place, count);
    if (file.Folder == nullptr) return;
    file.Name = FWorkEntry.Filename();
  }
  if (FWorkEntry.Encrypted() && !CheckPassword(index)) {
    Skip(index, TSkipReason::srWrongPassword, kWrongPassword, count);
    return;
  }
  if (target != nullptr) {
    ExtractToStream(index, *target, retry, count);
  } else {
    ExtractToFile(index, file, retry, count);
  }
}

// A folder entry makes its folder and counts as extracted; its stored mode
// waits for the end of the run.
void TUnZipEngine::ExtractFolder(int index, const TTargetPlace& place, int& count) {
  const std::string path = PlacePath(place);
  if (!PathFits(index, path, count) || OpenPlace(index, place, count) == nullptr) return;
  if (RetainAttributes) {
    if (const auto mode = StoredUnixMode(FWorkEntry, true)) {
      FRun->FolderModes.emplace_back(place, *mode);
    }
  }
  bool ignored = false;
  Fire(OnStartUnZip, *this, index, path, ignored);
}

// Deepest first, so that a folder that lets nobody in is set after the
// folders inside it. Best effort: the run's outcome is decided already.
void TUnZipEngine::ApplyFolderModes() {
  if (!FRun || FRun->FolderModes.empty()) return;
  auto& modes = FRun->FolderModes;
  std::stable_sort(modes.begin(), modes.end(), [](const auto& a, const auto& b) {
    return Depth(a.first.Folder) > Depth(b.first.Folder);
  });
  FRun->Latest.reset();
  for (const auto& [place, mode] : modes) {
    const auto folder = place.StoredVolume ? FPlatform.Files.OpenFolder(place.Folder)
                                           : FRun->Destination->OpenFolder(place.Folder, false);
    if (folder) folder->SetMode(mode & ~FRun->CreationMask);
  }
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
  stream.Seek(static_cast<i64>(entry.RelativeOffset), TSeekOrigin::Begin);
  std::array<u8, kLocalHeaderSize> local{};
  stream.ReadBuffer(local);
  const u32 nameAndExtra = u32{GetLE16(local, 26)} + GetLE16(local, 28);
  std::string mismatch;
  if (CheckLocalHeaders) {
    // A name cut off by the end of the file is compared with its missing
    // bytes as zeros: it is never taken for a whole one.
    std::string& localName = FRun->LocalName;
    localName.assign(GetLE16(local, 26), '\0');
    stream.Read(std::span(reinterpret_cast<u8*>(localName.data()), localName.size()));
    std::vector<u8>& localExtra = FRun->LocalExtra;
    localExtra.resize(GetLE16(local, 28));
    localExtra.resize(stream.Read(localExtra));
    mismatch = LocalHeaderMismatch(entry, local, localName, localExtra);
  } else {
    stream.Seek(nameAndExtra, TSeekOrigin::Current);
  }
  const u64 dataEnd = entry.RelativeOffset + kLocalHeaderSize + nameAndExtra + entry.CompressedSize;
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

// Sizes of 0xFFFFFFFF in a local header stand for its Zip64 field, whose
// values are compared instead; with a data descriptor, CRC and sizes follow
// the data.
std::string TUnZipEngine::LocalHeaderMismatch(const TZipHeaderInfo& entry,
                                              std::span<const u8> local, std::string_view localName,
                                              std::span<const u8> localExtra) const {
  if (GetLE32(local, 0) != kLocalHeaderSignature) return "signature";
  constexpr u16 kComparedFlags =
      kFlagEncrypted | kFlagDataDescriptor | kFlagStrongEncryption | kFlagUtf8;
  const u16 flags = GetLE16(local, 6);
  std::string fields;
  const auto add = [&fields](std::string_view field) {
    fields += (fields.empty() ? "" : ", ") + std::string(field);
  };
  if (localName != entry.StoredName()) add("name");
  if (GetLE16(local, 8) != entry.CompressionMethod) add("method");
  if (((flags ^ entry.Flags) & kComparedFlags) != 0) add("flags");
  if ((flags & kFlagDataDescriptor) == 0) {
    if (GetLE32(local, 14) != entry.Crc32) add("CRC");
    TZip64Values sizes{GetLE32(local, 22), GetLE32(local, 18), 0, 0};
    const TZip64Need need{sizes.Uncompressed == kSaturated32, sizes.Compressed == kSaturated32};
    if (!ReadZip64ExtraField(localExtra, need, sizes, true)) {
      add("Zip64 field");
    } else {
      if (sizes.Compressed != entry.CompressedSize) add("compressed size");
      if (sizes.Uncompressed != entry.UncompressedSize) add("size");
    }
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
  if (FWorkAes) return CheckAesPassword(index);
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
    if (!AskPasswordAgain(index)) return false;
  }
}

// The AES member's salt and password verifier, read once; the data's size
// is then that of the enciphered data alone, without the authentication
// code after it.
bool TUnZipEngine::CheckAesPassword(int index) {
  const auto strength = static_cast<TAesStrength>(FWorkAes->Strength);
  if (FWorkEntry.CompressedSize < AesOverheadBytes(strength)) return false;
  std::vector<u8> header(AesHeaderBytes(strength));
  ReadMemberBytes(header);
  FWorkEntry.CompressedSize -= static_cast<u32>(AesOverheadBytes(strength));
  if (!FAes) FAes = std::make_unique<TWinZipAes>();
  while (!FAes->StartReading(strength, Password, header)) {
    if (!AskPasswordAgain(index)) return false;
  }
  return true;
}

bool TUnZipEngine::AskPasswordAgain(int index) {
  if (!OnBadPassword) return false;
  std::string newPassword = Password;
  OnBadPassword(*this, index, newPassword);
  if (newPassword == Password) return false;
  Password = newPassword;
  return true;
}

// Every enciphered byte counts, also those after where a decoder stopped
// early, then the code that follows them.
void TUnZipEngine::AuthenticateMember() {
  FDecodeIn->SkipRest();
  std::array<u8, kAesMacSize> code{};
  ReadMemberBytes(code);
  FAuthenticationFailed = !FAes->Authentic(code);
}

// Whether the member may be written at its target. A folder standing there
// is the member's failure, asked about or not; an existing file or link
// (a dangling one too: it is replaced, never written through) follows
// OverwriteMode and the prompt, whose handler may name another file.
bool TUnZipEngine::CheckOverwrite(int index, TTargetFile& target, int& count) {
  const auto existing = target.Folder->LStat(target.Name);
  if (existing && existing->IsDirectory) {
    Skip(index, TSkipReason::srNotWritten, FileErrorMessage(target.Path, EISDIR), count);
    return false;
  }
  if (OverwriteMode == TUZOverwriteMode::Always || !existing) return true;
  bool overwrite = false;
  if (OverwriteMode == TUZOverwriteMode::Prompt) {
    std::string fileName = target.Path;
    if (OnPromptForOverwrite) {
      OnPromptForOverwrite(*this, overwrite, index, fileName);
    } else {
      TMessageBox box;
      box.Text = "Replace existing file " + FWorkEntry.Filename() + "?";
      box.Caption = "File Exists Alert";
      box.Buttons = TMsgButtons::YesNo;
      box.DefaultButton = TMsgResult::Yes;
      overwrite = FPlatform.Host.MessageBox(box) == TMsgResult::Yes;
    }
    if (overwrite && fileName != target.Path) return Retarget(index, target, fileName, count);
  }
  if (overwrite) return true;
  Skip(index, TSkipReason::srNotOverwritten, kTargetExists, count);
  return false;
}

// The file the overwrite prompt's handler named instead of the target. In
// the same folder it is a new name there; elsewhere it is the handler's own
// path, reached as the user's paths are.
bool TUnZipEngine::Retarget(int index, TTargetFile& target, const std::string& path, int& count) {
  const std::string folder = ExtractFilePath(path);
  if (folder != ExtractFilePath(target.Path)) {
    FRun->Elsewhere = FPlatform.Files.OpenFolder(folder);
    if (!FRun->Elsewhere) {
      const int code = FPlatform.Files.LastError();
      if (!IsMemberFault(code)) throw EInOutError(folder, code, FileErrorMessage(folder, code));
      Skip(index, TSkipReason::srNotWritten, FileErrorMessage(path, code), count);
      return false;
    }
    target.Folder = FRun->Elsewhere.get();
  }
  target.Name = ExtractFileName(path);
  target.Path = path;
  return true;
}

// A new file with a random hidden name in the folder.
std::pair<std::unique_ptr<IFile>, std::string> TUnZipEngine::CreateTempBeside(IFolder& folder) {
  for (int attempt = 0;; ++attempt) {
    std::array<u8, 6> random{};
    FPlatform.Random.Fill(random);
    char name[32];
    std::snprintf(name, sizeof name, ".vz%02x%02x%02x%02x%02x%02x.part", random[0], random[1],
                  random[2], random[3], random[4], random[5]);
    try {
      return {folder.CreateNew(name), name};
    } catch (const EFCreateError& e) {
      if (e.Code() != EEXIST || attempt > 100) throw;
    }
  }
}

// The file at the target, made exclusively; nullptr where something stands
// there already.
std::unique_ptr<IFile> TUnZipEngine::CreateAbsent(const TTargetFile& target) {
  try {
    return target.Folder->CreateNew(target.Name);
  } catch (const EFCreateError& e) {
    if (e.Code() != EEXIST) throw;
  }
  return nullptr;
}

// The file the member is decoded into. Where no file stands, the member is
// written under its own name; the exclusive create is also the test, since
// it fails on anything already there, a link included, which is never
// written through, and only then is the overwrite mode asked (a look at what
// stands there first would cost every member a system call). Only an
// existing file needs the detour through a temporary name, which costs a
// random name and a rename per member. nullopt when the file cannot or may
// not be made there (the member reported); the overwrite prompt's handler
// may have named another target.
std::optional<TUnZipEngine::TMemberOutput> TUnZipEngine::CreateOutput(int index,
                                                                      TTargetFile& target,
                                                                      int& count) {
  TMemberOutput output;
  try {
    output.File = CreateAbsent(target);
    if (!output.File) {
      const std::string asked = target.Path;
      if (!CheckOverwrite(index, target, count)) return std::nullopt;
      if (target.Path != asked) output.File = CreateAbsent(target);
    }
    if (output.File) {
      output.Name = target.Name;
    } else {
      output.ExistedBefore = true;
      std::tie(output.File, output.Name) = CreateTempBeside(*target.Folder);
    }
  } catch (const EFCreateError& e) {
    if (!IsMemberFault(e.Code())) throw;
    Skip(index, TSkipReason::srNotWritten, FileErrorMessage(target.Path, e.Code()), count);
    return std::nullopt;
  }
  output.Path = output.File->Path();
  return output;
}

void TUnZipEngine::ExtractToFile(int index, TTargetFile& target, bool& retry, int& count) {
  auto output = CreateOutput(index, target, count);
  if (!output) return;
  IFolder& folder = *target.Folder;
  const bool direct = output->Name == target.Name;
  auto out = std::make_unique<TLFNFileStream>(std::move(output->File));
  bool skip = false;
  u32 crc = 0;
  // What was written stays only where no file stood before; an existing file
  // is never replaced by an incomplete member.
  const auto abandon = [&] {
    out.reset();
    const bool keep = !output->ExistedBefore && !skip;
    if (!keep || (!direct && !folder.Rename(output->Name, target.Name))) {
      folder.Delete(output->Name);
    }
  };
  try {
    Fire(OnStartUnZip, *this, index, target.Path, skip);
    if (!skip) {
      crc = DecodeEntry(out.get());
      out->Commit();
      RestoreDateAndMode(out->Handle());
    }
    out.reset();
  } catch (const EInOutError& e) {
    const bool ours = e.Path() == output->Path;  // else the archive's own error
    if (ours && IsMemberFault(e.Code())) {
      out.reset();
      folder.Delete(output->Name);
      Skip(index, TSkipReason::srNotWritten, FileErrorMessage(target.Path, e.Code()), count);
      return;
    }
    abandon();
    if (!ours || direct) throw;
    // The user knows the file by its own name, not by the temporary one.
    throw EInOutError(target.Path, e.Code(), FileErrorMessage(target.Path, e.Code()));
  } catch (...) {
    abandon();
    throw;
  }
  FinishOutput(index, target, *output, skip ? std::nullopt : std::optional<u32>(crc), retry, count);
}

// After decoding: a skipped or failed member's file goes again; a member
// that passed replaces what stood at its target.
void TUnZipEngine::FinishOutput(int index, const TTargetFile& target, const TMemberOutput& output,
                                std::optional<u32> crc, bool& retry, int& count) {
  IFolder& folder = *target.Folder;
  if (!crc) {
    folder.Delete(output.Name);
    return;
  }
  if (!DecodedIntact(*crc)) {
    folder.Delete(output.Name);
    ReportBadData(index, *crc, retry);
    if (!retry) --count;
    return;
  }
  if (output.Name != target.Name && !folder.Rename(output.Name, target.Name)) {
    const int code = folder.LastError();
    folder.Delete(output.Name);
    if (!IsMemberFault(code))
      throw EInOutError(target.Path, code, FileErrorMessage(target.Path, code));
    Skip(index, TSkipReason::srNotWritten, FileErrorMessage(target.Path, code), count);
    return;
  }
  Fire(OnEndUnZip, *this, index, target.Path);
}

// The stored date, and with RetainAttributes the stored mode of a member
// from a Unix-like host or else the read-only attribute, less the umask as
// for every file the process makes, all on the open descriptor.
void TUnZipEngine::RestoreDateAndMode(IFile& file) {
  auto& latest = FRun->LatestDate;
  if (!latest || latest->first != FWorkEntry.FileDate) {
    latest.emplace(FWorkEntry.FileDate, DosDateTimeToFileTime(FWorkEntry.FileDate));
  }
  if (const auto& when = latest->second) file.SetLastWriteTime(*when);
  if (!RetainAttributes) return;
  const u32 mask = FRun->CreationMask;
  if (const auto mode = StoredUnixMode(FWorkEntry, false)) {
    file.SetMode(*mode & ~mask);
  } else if ((FWorkEntry.ExternalAttributes & faAttr::ReadOnly) != 0) {
    file.SetMode(0444 & ~mask);
  }
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
  if (FAuthenticationFailed) {
    FSkipText = kBadAuthentication;
    Fire(OnSkippingFile, *this, TSkipReason::srBadAuthentication, index);
    return;
  }
  if (CrcPasses(crc)) {
    // The right data, but not all of it or more: a damaged directory.
    FSkipText = "its data has another size than the archive declares (" +
                std::string(FDecodedTooBig ? "more than " : "") +
                std::to_string(FDecodeOut->BytesWritten()) + " bytes decoded, " +
                std::to_string(FWorkEntry.UncompressedSize) + " declared)";
    Fire(OnSkippingFile, *this, TSkipReason::srSizeMismatch, index);
    return;
  }
  // An AES member that passed its code was deciphered with the right key:
  // a bad CRC then is damage from before it was enciphered.
  if (!FWorkEntry.Encrypted() || FWorkAes) {
    Fire(OnBadCRC, *this, crc, FWorkEntry.Crc32, index);
    return;
  }
  // A wrong password that passed the one-byte check.
  retry = AskPasswordAgain(index);
  if (!retry) Fire(OnSkippingFile, *this, TSkipReason::srWrongPassword, index);
}

u32 TUnZipEngine::DecodeEntry(TStream* sink) {
  FDecodedTooBig = false;
  FAuthenticationFailed = false;
  const bool aes = FWorkAes.has_value();
  const bool encrypted = FWorkEntry.Encrypted() && !aes;
  FDecodeIn->Reset(static_cast<i64>(FWorkEntry.CompressedSize),
                   [this, encrypted, aes](std::span<u8> block) {
                     CheckCancel();
                     ReadMemberBytes(block);
                     if (aes) FAes->Decrypt(block);
                     if (encrypted) FCipher.Decrypt(block);
                   });
  const u64 size = FWorkEntry.UncompressedSize;
  FDecodeOut->Reset(sink, size, [this, size](u64 written, std::size_t chunk) {
    Fire(OnFilePercentDone, *this, Percent(static_cast<i64>(size), static_cast<i64>(written)));
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
  if (aes) AuthenticateMember();
  FDecodedSizeWrong = FDecodedTooBig || FDecodeOut->BytesWritten() != size;
  return FDecodeOut->Crc();
}

}  // namespace vz
