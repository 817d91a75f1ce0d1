// The walk over the local headers and the extraction of one member. A
// member's folder is resolved below the destination by descriptor, never
// through a symbolic link; the member is written to a temporary file in that
// folder and moved into place once it is complete: a link standing at the
// target is replaced, not followed, and a member that fails its check never
// destroys the file that was there before. A member that cannot be written
// is reported and the walk goes on; a full disk ends it.
#include "sfx/Archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "sfx/Central.h"
#include "sfx/Cipher.h"
#include "sfx/Dialogs.h"
#include "sfx/Folders.h"
#include "sfx/Inflate.h"

namespace sfx {
namespace {

constexpr std::size_t kCopyBytes = 32768;
constexpr u32 kDescriptorSignature = 0x08074B50;
constexpr u32 kCentralSignature = 0x02014B50;

enum class TRefusal : u8 { None = 0, NameTooLong = 1, NulInName = 2, SizesUnknown = 3 };

enum class TMemberEnd : u8 {
  Next = 0,
  EndWalk = 1,         // the result line follows
  EndWalkQuietly = 2,  // the password was refused: no result line
  EndProgram = 3,
};

// One member as the walk found it.
struct TMember {
  TNameText Name;  // the stored name as UTF-8
  u64 DataStart = 0;
  u32 Crc = 0;               // from the data descriptor when there is one
  u64 UncompressedSize = 0;  // likewise
  bool NextKnown = true;     // false: the sizes are deferred, nothing after can be found
  u64 Next = 0;
  TRefusal Refusal = TRefusal::None;
};

// Reads up to buffer.size() bytes at a position; returns how many came.
std::size_t ReadAt(int fd, u64 position, std::span<u8> buffer) {
  std::size_t got = 0;
  while (got < buffer.size()) {
    const ssize_t n =
        ::pread(fd, buffer.data() + got, buffer.size() - got, static_cast<off_t>(position + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

// The Zip64 field of a local header's extra field: marks the header (its
// data descriptor has 8-byte sizes) and gives the sizes that the header
// saturates. It holds both sizes when it has 16 bytes or more, else only
// the saturated ones, in that order. False when there is none or it is too
// short.
bool ReadZip64Sizes(int fd, u64 extraStart, u16 extraLength, TLocalHeader& header) {
  for (u32 pos = 0; pos + 4 <= extraLength;) {
    std::array<u8, 4> field{};
    if (ReadAt(fd, extraStart + pos, field) != field.size()) return false;
    const u16 length = GetLE16(&field[2]);
    if (pos + 4u + length > extraLength) return false;
    if (GetLE16(&field[0]) != 1) {
      pos += 4u + length;
      continue;
    }
    std::array<u8, 16> values{};
    const std::size_t n = length < values.size() ? length : values.size();
    if (ReadAt(fd, extraStart + pos + 4, std::span(values.data(), n)) != n) return false;
    header.Zip64 = true;
    const bool both = n == values.size();
    std::size_t at = 0;
    for (u64* size : {&header.UncompressedSize, &header.CompressedSize}) {
      if (*size != 0xFFFFFFFF && !both) continue;
      if (at + 8 > n) return false;
      if (*size == 0xFFFFFFFF) *size = GetLE64(&values[at]);
      at += 8;
    }
    return true;
  }
  return false;
}

// A member with flag bit 3 has a data descriptor after its data (with
// 8-byte sizes after a Zip64 local header). When the local sizes are real,
// the descriptor stands where they lead and repeats the compressed size;
// otherwise (sizes deferred to the descriptor) the member cannot be passed
// over and nothing after it can be found.
bool FindDescriptor(int fd, u64 dataEnd, const TLocalHeader& header, TMember& member) {
  const u64 compressedSize = header.CompressedSize;
  if (header.Zip64) {
    std::array<u8, 24> wide{};
    const std::size_t got = ReadAt(fd, dataEnd, wide);
    if (got >= 24 && GetLE32(&wide[0]) == kDescriptorSignature &&
        GetLE64(&wide[8]) == compressedSize) {
      member.Crc = GetLE32(&wide[4]);
      member.UncompressedSize = GetLE64(&wide[16]);
      member.Next = dataEnd + 24;
      return true;
    }
    if (got >= 24 && GetLE64(&wide[4]) == compressedSize &&
        (GetLE32(&wide[20]) == TLocalHeader::kSignature ||
         GetLE32(&wide[20]) == kCentralSignature)) {
      member.Crc = GetLE32(&wide[0]);
      member.UncompressedSize = GetLE64(&wide[12]);
      member.Next = dataEnd + 20;
      return true;
    }
    return false;
  }
  std::array<u8, 16> bytes{};
  const std::size_t got = ReadAt(fd, dataEnd, bytes);
  if (got >= 16 && GetLE32(&bytes[0]) == kDescriptorSignature &&
      GetLE32(&bytes[8]) == compressedSize) {
    member.Crc = GetLE32(&bytes[4]);
    member.UncompressedSize = GetLE32(&bytes[12]);
    member.Next = dataEnd + 16;
    return true;
  }
  // Without its signature the descriptor is 12 bytes; a header must follow.
  if (got >= 16 && GetLE32(&bytes[4]) == compressedSize &&
      (GetLE32(&bytes[12]) == TLocalHeader::kSignature ||
       GetLE32(&bytes[12]) == kCentralSignature)) {
    member.Crc = GetLE32(&bytes[0]);
    member.UncompressedSize = GetLE32(&bytes[8]);
    member.Next = dataEnd + 12;
    return true;
  }
  return false;
}

// Reads the name after stub.LocalHeader, and the sizes its Zip64 field
// holds; false when the name could not be read.
bool ReadMember(TStub& stub, TMember& member) {
  TLocalHeader& header = stub.LocalHeader;
  std::array<u8, kNameBufferBytes> stored{};
  const std::size_t wanted =
      header.NameLength < kMaxStoredNameBytes ? header.NameLength : kMaxStoredNameBytes;
  const std::span<u8> name(stored.data(), wanted);
  if (ReadAt(stub.ArchiveFile, stub.HeaderPos + TLocalHeader::kBytes, name) != wanted) {
    return false;
  }
  StoredNameToUtf8(name, (header.Flags & TLocalHeader::kFlagUtf8) != 0, member.Name);
  if (header.NameLength > kMaxStoredNameBytes) {
    member.Refusal = TRefusal::NameTooLong;
  } else if (member.Name.View().find('\0') != std::string_view::npos) {
    member.Refusal = TRefusal::NulInName;
  }
  member.DataStart = stub.HeaderPos + TLocalHeader::kBytes + header.NameLength + header.ExtraLength;
  const bool saturated =
      header.CompressedSize == 0xFFFFFFFF || header.UncompressedSize == 0xFFFFFFFF;
  if (!ReadZip64Sizes(stub.ArchiveFile, member.DataStart - header.ExtraLength, header.ExtraLength,
                      header) &&
      saturated) {
    member.NextKnown = false;
    if (member.Refusal == TRefusal::None) member.Refusal = TRefusal::SizesUnknown;
    return true;
  }
  const u64 dataEnd = member.DataStart + header.CompressedSize;
  member.Crc = header.Crc;
  member.UncompressedSize = header.UncompressedSize;
  member.Next = dataEnd;
  if ((header.Flags & TLocalHeader::kFlagDataDescriptor) != 0 &&
      !FindDescriptor(stub.ArchiveFile, dataEnd, header, member)) {
    member.NextKnown = false;
    if (member.Refusal == TRefusal::None) member.Refusal = TRefusal::SizesUnknown;
  }
  return true;
}

// ---- decoding ----

struct TMemberInput {
  int Fd = -1;
  u64 Position = 0;
  u64 Left = 0;
  TCipherKeys* Keys = nullptr;  // null for a member that is not encrypted
};

std::size_t FillMemberInput(void* context, std::span<u8> buffer) {
  auto& input = *static_cast<TMemberInput*>(context);
  const std::size_t wanted =
      input.Left < buffer.size() ? static_cast<std::size_t>(input.Left) : buffer.size();
  const std::size_t got = ReadAt(input.Fd, input.Position, buffer.first(wanted));
  input.Position += got;
  input.Left -= got;
  if (input.Keys != nullptr) input.Keys->Decrypt(buffer.first(got));
  return got;
}

struct TMemberOutput {
  int Fd = -1;
  u32 Crc = 0xFFFFFFFF;
  u64 Written = 0;
  bool Failed = false;
  int Error = 0;
};

bool WriteMemberOutput(void* context, std::span<const u8> data) {
  auto& output = *static_cast<TMemberOutput*>(context);
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(output.Fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      output.Failed = true;
      output.Error = n < 0 ? errno : ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  output.Crc = UpdateCrc(output.Crc, data);
  output.Written += data.size();
  return true;
}

// Stored data: copied in blocks; true when all of it arrived.
bool Unstore(TMemberInput& input, TMemberOutput& output) {
  std::array<u8, kCopyBytes> buffer;
  for (;;) {
    const std::size_t got = FillMemberInput(&input, buffer);
    if (got == 0) return input.Left == 0;
    if (!WriteMemberOutput(&output, std::span<const u8>(buffer.data(), got))) return false;
  }
}

// ---- files ----

// Errors that belong to one member, which is reported while the walk goes
// on; anything else (a full disk, a quota, an I/O error) ends the walk.
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

std::string_view ErrorText(int code) {
  return std::strerror(code);
}

// A folder whose stored mode is given at the end of the walk, when what it
// holds has been written.
struct TFolderMode {
  std::size_t PathOffset;
  std::size_t PathLength;
  u32 Depth;
  u32 Mode;
};

// What one extraction walk holds besides the stub's state: the destination,
// opened at the first member that needs it, the modes stored in the central
// directory, the folder modes to give at the end, and the umask.
struct TExtraction {
  TFd Destination;
  bool DestinationTried = false;
  TCentralIndex Central;
  u32 Umask = 022;
  TGrowable<TFolderMode> FolderModes;
  TGrowable<char> FolderPaths;
};

// The destination as the user typed it (links on the way are the user's),
// made with its missing levels; false when it cannot be.
bool OpenDestination(const TStub& stub, TExtraction& run) {
  if (!run.DestinationTried) {
    run.DestinationTried = true;
    run.Destination.Reset(OpenFolderPath(stub.Destination.View(), true));
  }
  return run.Destination.Valid();
}

// A file of ours in the target's folder, removed unless it was moved into
// place.
class TTempFile {
 public:
  explicit TTempFile(int folder) : FFolder(folder) {}
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  ~TTempFile() { Discard(); }

  bool Create();
  int Fd() const { return FFd; }
  bool Close() {
    const int fd = FFd;
    FFd = -1;
    return ::close(fd) == 0;
  }
  // Renames the closed file over the target, link or file alike.
  bool MoveTo(const char* name) {
    if (::renameat(FFolder, FName.CStr(), FFolder, name) != 0) return false;
    FName.Clear();
    return true;
  }
  void Discard() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
    if (!FName.Empty()) ::unlinkat(FFolder, FName.CStr(), 0);
    FName.Clear();
  }

 private:
  int FFolder;
  TNameText FName;
  int FFd = -1;
};

bool TTempFile::Create() {
  char pid[21];
  const std::string_view pidText = FormatDecimal(static_cast<u64>(::getpid()), pid);
  for (u64 attempt = 0; attempt < 100; ++attempt) {
    char number[21];
    if (!FName.Assign(".vnsfx32-") || !FName.Append(pidText) || !FName.Append('-') ||
        !FName.Append(FormatDecimal(attempt, number))) {
      break;
    }
    FFd =
        ::openat(FFolder, FName.CStr(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (FFd >= 0) return true;
    if (errno != EEXIST) break;
  }
  FName.Clear();
  return false;
}

// The member's DOS date and time as local time, fields clamped to their
// ranges first, on the last-write and last-access times.
void SetFileTimes(int fd, u16 date, u16 time) {
  const auto clamp = [](int value, int low, int high) {
    return value < low ? low : (value > high ? high : value);
  };
  std::tm fields{};
  fields.tm_year = clamp(80 + (date >> 9), 80, 199);
  fields.tm_mon = clamp((date >> 5) & 15, 1, 12) - 1;
  fields.tm_mday = clamp(date & 31, 1, 31);
  fields.tm_hour = clamp(time >> 11, 0, 24);
  fields.tm_min = clamp((time >> 5) & 63, 0, 59);
  fields.tm_sec = clamp((time & 31) * 2, 0, 59);
  fields.tm_isdst = -1;
  const std::time_t when = std::mktime(&fields);
  if (when == static_cast<std::time_t>(-1)) return;
  const timespec times[2] = {{when, 0}, {when, 0}};
  ::futimens(fd, times);
}

std::size_t DepthOf(std::string_view path) {
  std::size_t depth = 0;
  for (const char c : path) depth += c == '/' ? 1u : 0u;
  return depth;
}

int DeeperFirst(const void* a, const void* b) {
  const u32 x = static_cast<const TFolderMode*>(a)->Depth;
  const u32 y = static_cast<const TFolderMode*>(b)->Depth;
  return x > y ? -1 : (x < y ? 1 : 0);
}

// Deepest first, so that a folder that lets nobody in is set after the
// folders inside it.
void ApplyFolderModes(TExtraction& run) {
  TGrowable<TFolderMode>& modes = run.FolderModes;
  if (modes.Count() == 0) return;
  std::qsort(modes.Data(), modes.Count(), sizeof(TFolderMode), DeeperFirst);
  for (std::size_t i = 0; i < modes.Count(); ++i) {
    const TFolderMode& folder = modes[i];
    const std::string_view path(&run.FolderPaths[folder.PathOffset], folder.PathLength);
    const TFd fd(OpenBeneath(run.Destination.Get(), path, false));
    if (fd.Valid()) ::fchmod(fd.Get(), static_cast<mode_t>(folder.Mode & ~run.Umask));
  }
}

void RememberFolderMode(TExtraction& run, std::string_view path, u32 mode) {
  const TFolderMode folder{run.FolderPaths.Count(), path.size(), static_cast<u32>(DepthOf(path)),
                           mode};
  for (const char c : path) run.FolderPaths.Push(c);
  run.FolderModes.Push(folder);
}

// ---- one member ----

constexpr std::string_view kRefused = ": refused as unsafe";

void ShowRefusal(TStub& stub, std::string_view display, std::string_view reason) {
  ShowError(stub, {display, ": ", reason, kRefused});
}

// Tests the kept password and asks up to three times; true once it passes.
bool CheckPassword(TStub& stub, const TEncryptionHeader& header, TCipherKeys& keys) {
  const TLocalHeader& local = stub.LocalHeader;
  const u8 checkByte = (local.Flags & TLocalHeader::kFlagDataDescriptor) != 0
                           ? static_cast<u8>(local.Time >> 8)
                           : static_cast<u8>(local.Crc >> 24);
  bool passed = PasswordPasses(keys, stub.Password.View(), header, checkByte);
  for (int prompt = 0; !passed && prompt < 3; ++prompt) {
    PwdDialog(stub);
    (void)stub.Password.Assign(std::string_view(stub.PasswordBuffer.data(), stub.PasswordLength));
    passed = PasswordPasses(keys, stub.Password.View(), header, checkByte);
  }
  return passed;
}

// Where a member goes: its folder held open and its name there.
struct TPlace {
  TFd Folder;
  TNameText Name;
};

// Opens the member's folder (a folder member's own), making what is
// missing. Every name, one from the root too, is resolved below the
// destination without following links. Next
// with the folder left closed: the member was refused or failed, and is
// reported; EndWalk when the destination itself cannot be made, or the disk
// is full.
TMemberEnd OpenPlace(TStub& stub, TExtraction& run, std::string_view display,
                     const TPathText& target, TPlace& place) {
  const bool isFolder = IsFolderName(display);
  const std::string_view folder = isFolder ? target.View() : FolderOf(target.View());
  if (!isFolder) (void)place.Name.Assign(FileNameOf(target.View()));
  if (!OpenDestination(stub, run)) {
    ShowError(stub, {"Error Changing Dir."});
    return TMemberEnd::EndWalk;
  }
  TPathText relative;
  (void)BuildTargetPath({}, display, relative);
  const std::string_view opened = isFolder ? relative.View() : FolderOf(relative.View());
  place.Folder.Reset(OpenBeneath(run.Destination.Get(), opened, true));
  if (place.Folder.Valid() && isFolder) {
    const i64 mode = run.Central.UnixMode(stub.HeaderPos, true);
    if (mode >= 0) RememberFolderMode(run, opened, static_cast<u32>(mode));
  }
  if (place.Folder.Valid()) return TMemberEnd::Next;
  const int code = errno;
  if (code == ELOOP || code == EXDEV) {
    ShowRefusal(stub, display, "a symbolic link on its folder path below the destination");
    return TMemberEnd::Next;
  }
  ShowError(stub, {"Cannot create folder ", folder, ": ", ErrorText(code)});
  return IsMemberFault(code) ? TMemberEnd::Next : TMemberEnd::EndWalk;
}

// Decodes into a temporary file and moves it into place; the list item is
// unselected when the member came out right.
TMemberEnd WriteMember(TStub& stub, TExtraction& run, const TMember& member,
                       const TPathText& target, const TPlace& place, bool existed,
                       TMemberInput input, std::size_t index) {
  TTempFile temp(place.Folder.Get());
  if (!temp.Create()) {
    const int code = errno;
    ShowError(stub, {"Cannot open ", target.View(), ": ", ErrorText(code)});
    return IsMemberFault(code) ? TMemberEnd::Next : TMemberEnd::EndWalk;
  }
  SetStatus(stub, {"Unzipping ", target.View(), "..."});

  TMemberOutput output{temp.Fd(), 0xFFFFFFFF, 0, false, 0};
  bool complete = false;
  switch (stub.LocalHeader.Method) {
    case 0:
      complete = Unstore(input, output);
      break;
    case 8:
      complete = Inflate({&input, FillMemberInput}, {&output, WriteMemberOutput},
                         member.UncompressedSize) == TInflateResult::Done;
      break;
    default:
      temp.Discard();
      ShowError(stub, {"Unsupported compression method."});
      return TMemberEnd::EndProgram;
  }
  if (output.Failed) {
    temp.Discard();
    ShowError(stub, {"Error writing ", target.View(), ": ", ErrorText(output.Error)});
    return IsMemberFault(output.Error) ? TMemberEnd::Next : TMemberEnd::EndWalk;
  }
  bool ok = complete && ~output.Crc == member.Crc && output.Written == member.UncompressedSize;
  SetFileTimes(temp.Fd(), stub.LocalHeader.Date, stub.LocalHeader.Time);
  const i64 mode = run.Central.UnixMode(stub.HeaderPos, false);
  if (ok && mode >= 0)
    ::fchmod(temp.Fd(), static_cast<mode_t>(static_cast<u32>(mode) & ~run.Umask));
  if (!temp.Close()) {
    ShowError(stub, {"Error closing ", target.View()});
    ok = false;
  }
  if (ok) {
    if (temp.MoveTo(place.Name.CStr())) {
      stub.MainDialogHandle->List301.SetSelected(index, false);
    } else {
      ShowError(stub, {"Cannot open ", target.View(), ": ", ErrorText(errno)});
    }
  } else if (!existed) {
    (void)temp.MoveTo(place.Name.CStr());  // what came out stays, as a failed member's file
  }
  return TMemberEnd::Next;
}

// The methods of current archivers that the stub leaves to a full archiver
// (they would need libraries a small static program does not carry); any
// other method it does not know ends the program as it always has.
std::string_view LibraryMethodName(u16 method) {
  switch (method) {
    case 9:
      return "Deflate64";
    case 12:
      return "BZip2";
    case 14:
      return "LZMA";
    case 93:
      return "Zstandard";
    case 95:
      return "XZ";
    case 98:
      return "PPMd";
    default:
      return {};
  }
}

constexpr u16 kMethodAes = 99;

// A member compressed or enciphered in a way the stub cannot decode: said
// for that member, which stays selected (failed) while the others are
// extracted.
bool Undecodable(TStub& stub, std::string_view display) {
  constexpr std::string_view kNotHere = " is not supported by this self-extractor";
  const u16 method = stub.LocalHeader.Method;
  const std::string_view name = LibraryMethodName(method);
  if (method == kMethodAes) {
    ShowError(stub, {display, ": AES encryption", kNotHere});
  } else if (!name.empty()) {
    ShowError(stub, {display, ": compression method ", name, kNotHere});
  } else {
    return false;
  }
  stub.MemberOk = true;
  return true;
}

// A member refused before anything is written: it stays selected, so it
// counts as failed; an unsafe name says why.
bool Refused(TStub& stub, const TMember& member, std::string_view display) {
  if (member.Refusal == TRefusal::NulInName) {
    ShowRefusal(stub, display, "control characters in the name");
  } else if (member.Refusal == TRefusal::None && HasParentComponent(display)) {
    ShowRefusal(stub, display, "a \"..\" component in the name");
  } else if (member.Refusal == TRefusal::None) {
    return false;
  }
  stub.MemberOk = true;
  return true;
}

// The existing file at the target, asked about as the mode says; false when
// it stays (the item unselected: a kept file is no failure). A folder there
// is the member's failure.
bool MayReplace(TStub& stub, const TPlace& place, const TPathText& target, std::size_t index,
                bool& existed) {
  struct stat existing {};
  existed = ::fstatat(place.Folder.Get(), place.Name.CStr(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
  if (existed && S_ISDIR(existing.st_mode)) {
    ShowError(stub, {"Cannot open ", target.View(), ": ", ErrorText(EISDIR)});
    return false;
  }
  if (!existed) return true;
  bool overwrite = stub.ExistingFileMode == TExistingFileMode::Overwrite;
  if (stub.ExistingFileMode == TExistingFileMode::Ask) {
    (void)stub.PromptFileName.Assign(FileNameOf(target.View()));
    FileExistDialog(stub);
    overwrite = stub.OverwriteAnswer;
  }
  if (!overwrite) stub.MainDialogHandle->List301.SetSelected(index, false);
  return overwrite;
}

TMemberEnd ExtractMember(TStub& stub, TExtraction& run, const TMember& member,
                         std::string_view display, u32 ordinal) {
  TListBox& list = stub.MainDialogHandle->List301;
  const i64 found = list.FindMember(ordinal);
  stub.LastListIndex = found;
  if (found < 0 || !list.Selected(static_cast<std::size_t>(found))) return TMemberEnd::Next;
  const auto index = static_cast<std::size_t>(found);
  if (Refused(stub, member, display) || Undecodable(stub, display)) return TMemberEnd::Next;

  const TLocalHeader& local = stub.LocalHeader;
  TCipherKeys keys;
  TMemberInput input{stub.ArchiveFile, member.DataStart, local.CompressedSize, nullptr};
  if ((local.Flags & TLocalHeader::kFlagEncrypted) != 0) {
    TEncryptionHeader header{};
    if (local.CompressedSize < header.size() ||
        ReadAt(stub.ArchiveFile, member.DataStart, header) != header.size()) {
      stub.MemberOk = true;
      return TMemberEnd::Next;
    }
    input.Position += header.size();
    input.Left -= header.size();
    input.Keys = &keys;
    stub.MemberOk = false;
    if (!CheckPassword(stub, header, keys)) return TMemberEnd::EndWalkQuietly;
  }
  stub.MemberOk = true;

  TPathText target;
  if (!BuildTargetPath(stub.Destination.View(), display, target)) {
    ShowError(stub, {"Cannot open ", target.View()});
    return TMemberEnd::Next;
  }
  TPlace place;
  const TMemberEnd opened = OpenPlace(stub, run, display, target, place);
  if (opened != TMemberEnd::Next || !place.Folder.Valid()) return opened;
  if (IsFolderName(display)) {
    list.SetSelected(index, false);
    return TMemberEnd::Next;
  }
  bool existed = false;
  if (!MayReplace(stub, place, target, index, existed)) return TMemberEnd::Next;
  return WriteMember(stub, run, member, target, place, existed, input, index);
}

void ShowResultLine(TStub& stub) {
  const TListBox& list = stub.MainDialogHandle->List301;
  if (list.SelectedCount() == 0) {
    SetStatus(stub, {"CRC validation passed on all file( s )... extraction successful"});
    stub.Succeeded = true;
    return;
  }
  SetStatus(stub, {"The remaining hilited file( s ) failed CRC validation"});
  for (std::size_t i = 0; i < list.Count(); ++i) {
    if (list.Selected(i)) stub.Console.Out({"    ", list.Text(i), "\n"});
  }
}

// What follows every walk that found the archive: the listing's error, the
// result line of an extraction, and the path switch.
void FinishWalk(TStub& stub, bool listOnly, TMemberEnd end) {
  TMainDialog& dialog = *stub.MainDialogHandle;
  if (listOnly && dialog.List301.Count() == 0) ShowError(stub, {"Cannot read archive header."});
  if (end == TMemberEnd::EndProgram) stub.EndProgram = true;
  if (!listOnly && stub.MemberOk && (end == TMemberEnd::Next || end == TMemberEnd::EndWalk)) {
    ShowResultLine(stub);
  }
  if (!stub.PathsPresent) {
    dialog.Check401 = false;
    dialog.Check401Enabled = false;
  }
}

}  // namespace

void WalkArchive(TStub& stub, bool listOnly) {
  TMainDialog& dialog = *stub.MainDialogHandle;
  if (::lseek(stub.ArchiveFile, static_cast<off_t>(stub.ArchiveOffset), SEEK_SET) < 0) {
    ShowError(stub, {"Error finding attached archive."});
    return;
  }
  stub.LastListIndex = -1;
  stub.PathsPresent = false;
  stub.MemberOk = false;
  if (listOnly) dialog.List301.Clear();
  TExtraction run;
  if (!listOnly) {
    run.Central.Load(stub.ArchiveFile, stub.ArchiveOffset);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    run.Umask = static_cast<u32>(mask) & 0777;
  }

  TMemberEnd end = TMemberEnd::Next;
  u64 position = stub.ArchiveOffset;
  for (u32 ordinal = 0;; ++ordinal) {
    std::array<u8, TLocalHeader::kBytes> bytes{};
    if (ReadAt(stub.ArchiveFile, position, bytes) != bytes.size()) break;
    stub.LocalHeader.Parse(bytes);
    if (!stub.LocalHeader.Valid()) break;
    stub.HeaderPos = position;
    if (stub.LocalHeader.NameLength == 0) {
      ShowError(stub, {"Error retreiving filename."});
      stub.EndProgram = true;
      return;
    }
    TMember member;
    if (!ReadMember(stub, member)) break;
    const std::string_view name = member.Name.View();
    if (!stub.PathsPresent && name.find_first_of("/\\") != std::string_view::npos) {
      stub.PathsPresent = true;
    }
    const std::string_view display = DisplayName(name, dialog.Check401);
    if (listOnly) {
      dialog.List301.Add(display, ordinal);
    } else {
      end = ExtractMember(stub, run, member, display, ordinal);
      if (end != TMemberEnd::Next) break;
    }
    if (!member.NextKnown) break;
    position = member.Next;
  }

  ApplyFolderModes(run);
  FinishWalk(stub, listOnly, end);
}

}  // namespace sfx
