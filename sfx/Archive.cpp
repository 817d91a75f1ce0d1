// The walk over the local headers and the extraction of one member. A
// member is written to a temporary file beside its target and moved into
// place once it is complete: a link standing at the target is replaced, not
// followed, and a member that fails its check never destroys the file that
// was there before.
#include "sfx/Archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "sfx/Cipher.h"
#include "sfx/Dialogs.h"
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
  u32 UncompressedSize = 0;  // likewise
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

// A member with flag bit 3 has a data descriptor after its data. When the
// local sizes are real, the descriptor stands where they lead and repeats
// the compressed size; otherwise (sizes deferred to the descriptor) the
// member cannot be passed over and nothing after it can be found.
bool FindDescriptor(int fd, u64 dataEnd, u32 compressedSize, TMember& member) {
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

// Reads the name after stub.LocalHeader; false when it could not be read.
bool ReadMember(const TStub& stub, TMember& member) {
  const TLocalHeader& header = stub.LocalHeader;
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
  const u64 dataEnd = member.DataStart + header.CompressedSize;
  member.Crc = header.Crc;
  member.UncompressedSize = header.UncompressedSize;
  member.Next = dataEnd;
  if ((header.Flags & TLocalHeader::kFlagDataDescriptor) != 0 &&
      !FindDescriptor(stub.ArchiveFile, dataEnd, header.CompressedSize, member)) {
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
};

bool WriteMemberOutput(void* context, std::span<const u8> data) {
  auto& output = *static_cast<TMemberOutput*>(context);
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(output.Fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      output.Failed = true;
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

// A file of ours beside the target, removed unless it was moved into place.
class TTempFile {
 public:
  TTempFile() = default;
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  ~TTempFile() { Discard(); }

  bool Create(std::string_view folder);
  int Fd() const { return FFd; }
  bool Close() {
    const int fd = FFd;
    FFd = -1;
    return ::close(fd) == 0;
  }
  // Renames the closed file over the target, link or file alike.
  bool MoveTo(const char* target) {
    if (::rename(FPath.CStr(), target) != 0) return false;
    FPath.Clear();
    return true;
  }
  void Discard() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
    if (!FPath.Empty()) ::unlink(FPath.CStr());
    FPath.Clear();
  }

 private:
  TPathText FPath;
  int FFd = -1;
};

bool TTempFile::Create(std::string_view folder) {
  char pid[21];
  const std::string_view pidText = FormatDecimal(static_cast<u64>(::getpid()), pid);
  for (u64 attempt = 0; attempt < 100; ++attempt) {
    char number[21];
    if (!FPath.Assign(folder) || !FPath.Append(".vnsfx32-") || !FPath.Append(pidText) ||
        !FPath.Append('-') || !FPath.Append(FormatDecimal(attempt, number))) {
      break;
    }
    FFd = ::open(FPath.CStr(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (FFd >= 0) return true;
    if (errno != EEXIST) break;
  }
  FPath.Clear();
  return false;
}

bool IsFolder(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// Creates a folder with every missing parent; true when it exists after.
bool MakeFolders(std::string_view folder) {
  if (folder.empty()) return true;
  TPathText path;
  for (std::size_t i = 0; i <= folder.size(); ++i) {
    if (i < folder.size() && folder[i] != '/') continue;
    if (i == 0 || !path.Assign(Slice(folder, 0, i))) continue;
    ::mkdir(path.CStr(), 0777);
  }
  return path.Assign(folder) && IsFolder(path.CStr());
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

// ---- one member ----

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

// Decodes into a temporary file and moves it into place; the list item is
// unselected when the member came out right.
TMemberEnd WriteMember(TStub& stub, const TMember& member, const TPathText& target, bool existed,
                       TMemberInput input, std::size_t index) {
  TTempFile temp;
  if (!temp.Create(FolderOf(target.View()))) {
    ShowError(stub, {"Cannot open ", target.View()});
    return TMemberEnd::Next;
  }
  SetStatus(stub, {"Unzipping ", target.View(), "..."});

  TMemberOutput output{temp.Fd(), 0xFFFFFFFF, 0, false};
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
  bool ok = complete && !output.Failed && ~output.Crc == member.Crc &&
            output.Written == member.UncompressedSize;
  SetFileTimes(temp.Fd(), stub.LocalHeader.Date, stub.LocalHeader.Time);
  if (!temp.Close()) {
    ShowError(stub, {"Error closing ", target.View()});
    ok = false;
  }
  if (ok) {
    if (temp.MoveTo(target.CStr())) {
      stub.MainDialogHandle->List301.SetSelected(index, false);
    } else {
      ShowError(stub, {"Cannot open ", target.View()});
    }
  } else if (!existed) {
    (void)temp.MoveTo(target.CStr());  // what came out stays, as a failed member's file
  }
  return TMemberEnd::Next;
}

TMemberEnd ExtractMember(TStub& stub, const TMember& member, std::string_view display) {
  TMainDialog& dialog = *stub.MainDialogHandle;
  TListBox& list = dialog.List301;
  const i64 found = list.FindExact(stub.LastListIndex, display);
  stub.LastListIndex = found;
  if (found < 0 || !list.Selected(static_cast<std::size_t>(found))) return TMemberEnd::Next;
  const auto index = static_cast<std::size_t>(found);

  // A refused member is handled by staying selected: it counts as failed.
  if (member.Refusal != TRefusal::None || HasParentComponent(display)) {
    stub.MemberOk = true;
    return TMemberEnd::Next;
  }
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
  if (IsFolderName(display)) {
    if (!MakeFolders(target.View())) {
      ShowError(stub, {"Error Changing Dir."});
      return TMemberEnd::EndWalk;
    }
    list.SetSelected(index, false);
    return TMemberEnd::Next;
  }
  struct stat existing {};
  const bool existed = ::lstat(target.CStr(), &existing) == 0;
  if (existed) {
    bool overwrite = stub.ExistingFileMode == TExistingFileMode::Overwrite;
    if (stub.ExistingFileMode == TExistingFileMode::Ask) {
      (void)stub.PromptFileName.Assign(FileNameOf(target.View()));
      FileExistDialog(stub);
      overwrite = stub.OverwriteAnswer;
    }
    if (!overwrite) {
      list.SetSelected(index, false);
      return TMemberEnd::Next;
    }
  } else if (!MakeFolders(FolderOf(target.View()))) {
    ShowError(stub, {"Error Changing Dir."});
    return TMemberEnd::EndWalk;
  }
  return WriteMember(stub, member, target, existed, input, index);
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

  TMemberEnd end = TMemberEnd::Next;
  u64 position = stub.ArchiveOffset;
  for (;;) {
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
      dialog.List301.Add(display);
    } else {
      end = ExtractMember(stub, member, display);
      if (end != TMemberEnd::Next) break;
    }
    if (!member.NextKnown) break;
    position = member.Next;
  }

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

}  // namespace sfx
