// POSIX files. Every call that can fail records errno in a thread-local so
// LastError() answers for the caller's own last call.
#include "platform/posix/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

#include "platform/Errors.h"

namespace vz {
namespace {

thread_local int tLastError = 0;

bool Fail() {
  tLastError = errno;
  return false;
}

TFileTime ToFileTime(const struct timespec& ts) {
  return TFileTime{std::chrono::duration_cast<TFileTime::duration>(
      std::chrono::seconds{ts.tv_sec} + std::chrono::nanoseconds{ts.tv_nsec})};
}

struct timespec ToTimespec(TFileTime time) {
  const auto ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
  struct timespec ts {};
  ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
  ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
  if (ts.tv_nsec < 0) {
    ts.tv_nsec += 1'000'000'000;
    --ts.tv_sec;
  }
  return ts;
}

TFileInfo ToInfo(const struct stat& st) {
  TFileInfo info;
  info.IsDirectory = S_ISDIR(st.st_mode);
  info.IsRegular = S_ISREG(st.st_mode);
  info.IsSymlink = S_ISLNK(st.st_mode);
  info.Size = info.IsRegular ? static_cast<i64>(st.st_size) : 0;
  info.LastWrite = ToFileTime(st.st_mtim);
  if ((st.st_mode & 0222) == 0) info.Attributes |= faAttr::ReadOnly;
  if (info.IsDirectory) info.Attributes |= faAttr::Directory;
  if (info.IsRegular) info.Attributes |= faAttr::Archive;
  info.UnixMode = static_cast<u32>(st.st_mode);
  info.Device = static_cast<u64>(st.st_dev);
  info.Inode = static_cast<u64>(st.st_ino);
  return info;
}

class TPosixFile : public IFile {
 public:
  TPosixFile(int fd, std::string path) : FFd(fd), FPath(std::move(path)) {}
  ~TPosixFile() override { ::close(FFd); }
  TPosixFile(const TPosixFile&) = delete;
  TPosixFile& operator=(const TPosixFile&) = delete;

  const std::string& Path() const override { return FPath; }

  std::size_t Read(std::span<u8> buffer) override {
    std::size_t done = 0;
    while (done < buffer.size()) {
      const ssize_t n = ::read(FFd, buffer.data() + done, buffer.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        FLastError = errno;
        throw EInOutError(FPath, errno, FileErrorMessage(FPath, errno));
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

  std::size_t Write(std::span<const u8> data) override {
    std::size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::write(FFd, data.data() + done, data.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        FLastError = errno;
        break;
      }
      if (n == 0) {
        FLastError = ENOSPC;
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

  i64 Seek(i64 offset, TSeekOrigin origin) override {
    const int whence = origin == TSeekOrigin::Begin     ? SEEK_SET
                       : origin == TSeekOrigin::Current ? SEEK_CUR
                                                        : SEEK_END;
    const off_t result = ::lseek(FFd, static_cast<off_t>(offset), whence);
    if (result < 0) Throw();
    return static_cast<i64>(result);
  }

  i64 Size() override {
    struct stat st {};
    if (::fstat(FFd, &st) != 0) Throw();
    return static_cast<i64>(st.st_size);
  }

  void SetSize(i64 size) override {
    if (::ftruncate(FFd, static_cast<off_t>(size)) != 0) Throw();
  }

  TFileTime LastWriteTime() override {
    struct stat st {};
    if (::fstat(FFd, &st) != 0) Throw();
    return ToFileTime(st.st_mtim);
  }

  TFileInfo Info() override {
    struct stat st {};
    if (::fstat(FFd, &st) != 0) Throw();
    return ToInfo(st);
  }

  void SetLastWriteTime(TFileTime time) override {
    const struct timespec times[2] = {ToTimespec(time), ToTimespec(time)};
    if (::futimens(FFd, times) != 0) Throw();
  }

  void Sync() override {
    if (::fsync(FFd) != 0) Throw();
  }

  bool SetMode(u32 mode) override {
    if (::fchmod(FFd, static_cast<mode_t>(mode & 0777)) == 0) return true;
    FLastError = errno;
    return false;
  }

  int LastError() const override { return FLastError; }

 private:
  [[noreturn]] void Throw() {
    FLastError = errno;
    throw EInOutError(FPath, errno, FileErrorMessage(FPath, errno));
  }

  int FFd;
  std::string FPath;
  int FLastError = 0;
};

// flock() locks belong to the open file description: closing another
// descriptor of the same file in this process (as the engine does when it
// reopens the archive) leaves the lock alone, which record locks would not.
class TPosixFileLock : public IFileLock {
 public:
  explicit TPosixFileLock(int fd) : FFd(fd) {}
  ~TPosixFileLock() override { ::close(FFd); }
  TPosixFileLock(const TPosixFileLock&) = delete;
  TPosixFileLock& operator=(const TPosixFileLock&) = delete;

 private:
  int FFd;
};

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// ---------------------------------------------------------------- folders

// The path without trailing "/", the root left as it is.
std::string ExcludeSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

class TOwnedFd {
 public:
  explicit TOwnedFd(int fd = -1) : FFd(fd) {}
  ~TOwnedFd() { Reset(-1); }
  TOwnedFd(const TOwnedFd&) = delete;
  TOwnedFd& operator=(const TOwnedFd&) = delete;
  int Get() const { return FFd; }
  void Reset(int fd) {
    if (FFd >= 0) ::close(FFd);
    FFd = fd;
  }
  int Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
  }

 private:
  int FFd;
};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The components of a path below a folder joined by single "/", "." parts
// dropped. False (errno set) for a ".." part, which would lead out of the
// folder, and for a path longer than the system takes.
bool CleanRelative(std::string_view relative, std::string& clean) {
  clean.clear();
  std::size_t start = 0;
  while (start < relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string_view::npos) end = relative.size();
    const std::string_view part = relative.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      errno = EXDEV;
      return false;
    }
    if (!clean.empty()) clean += '/';
    clean += part;
  }
  if (clean.size() >= PATH_MAX) {
    errno = ENAMETOOLONG;
    return false;
  }
  return true;
}

bool IsOneComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The whole path at once, refusing every link and every way out of the
// folder. -1 with errno; ENOSYS when this way is closed (no openat2, a
// filter that forbids it, or renames on the way that kept it retrying), so
// that the caller goes by components instead.
int OpenBeneathAtOnce(int dirFd, const std::string& relative) {
  // Once refused, it stays refused for the life of the process.
  static std::atomic<bool> closed{false};
  if (closed.load(std::memory_order_relaxed)) {
    errno = ENOSYS;
    return -1;
  }
  open_how how{};
  how.flags = kFolderFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  constexpr int kAttempts = 64;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const long fd = ::syscall(SYS_openat2, dirFd, relative.c_str(), &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    if (errno != EAGAIN && errno != EINTR) break;
  }
  const int code = errno;
  const bool refused = code == ENOSYS || code == EPERM || code == E2BIG || code == EINVAL;
  if (refused) closed.store(true, std::memory_order_relaxed);
  errno = refused || code == EAGAIN ? ENOSYS : code;
  return -1;
}

// One folder below dirFd, never through a link: a link there fails with
// ELOOP and anything else that is no folder with ENOTDIR.
int OpenComponent(int dirFd, const std::string& name) {
  const int fd = ::openat(dirFd, name.c_str(), kFolderFlags | O_NOFOLLOW);
  if (fd >= 0 || (errno != ENOTDIR && errno != ELOOP)) return fd;
  struct stat st {};
  const bool link =
      ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
  errno = link ? ELOOP : ENOTDIR;
  return -1;
}

// A clean relative path one component after the other, each opened
// relative to the one before, making the missing ones when `create`.
int WalkBeneath(int dirFd, const std::string& relative, bool create) {
  TOwnedFd current;
  std::size_t start = 0;
  while (start < relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string name = relative.substr(start, end - start);
    start = end + 1;
    const int base = current.Get() >= 0 ? current.Get() : dirFd;
    int next = OpenComponent(base, name);
    if (next < 0 && errno == ENOENT && create) {
      if (::mkdirat(base, name.c_str(), 0777) != 0 && errno != EEXIST) return -1;
      next = OpenComponent(base, name);
    }
    if (next < 0) return -1;
    current.Reset(next);
  }
  return current.Get() >= 0 ? current.Release() : ::openat(dirFd, ".", kFolderFlags);
}

class TPosixFolder : public IFolder {
 public:
  TPosixFolder(int fd, std::string path, bool byComponents)
      : FFd(fd), FPath(std::move(path)), FByComponents(byComponents) {}
  ~TPosixFolder() override { ::close(FFd); }
  TPosixFolder(const TPosixFolder&) = delete;
  TPosixFolder& operator=(const TPosixFolder&) = delete;

  const std::string& Path() const override { return FPath; }

  std::unique_ptr<IFolder> OpenFolder(std::string_view relative, bool create) override {
    std::string clean;
    if (!CleanRelative(relative, clean)) return Failed();
    int fd = -1;
    if (clean.empty()) {
      fd = ::openat(FFd, ".", kFolderFlags);
    } else {
      errno = ENOSYS;
      if (!FByComponents) fd = OpenBeneathAtOnce(FFd, clean);
      if (fd < 0 && (errno == ENOSYS || (errno == ENOENT && create))) {
        fd = WalkBeneath(FFd, clean, create);
      }
    }
    if (fd < 0) return Failed();
    return std::make_unique<TPosixFolder>(fd, clean.empty() ? FPath : JoinPath(FPath, clean),
                                          FByComponents);
  }

  std::unique_ptr<IFile> CreateNew(const std::string& name) override {
    const std::string path = JoinPath(FPath, name);
    const int fd =
        IsOneComponent(name)
            ? ::openat(FFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666)
            : (errno = EINVAL, -1);
    if (fd < 0) {
      tLastError = errno;
      throw EFCreateError(path, errno,
                          "Cannot create file \"" + path + "\": " + SystemErrorText(errno));
    }
    return std::make_unique<TPosixFile>(fd, path);
  }

  std::optional<TFileInfo> LStat(const std::string& name) override {
    struct stat st {};
    if (::fstatat(FFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      Fail();
      return std::nullopt;
    }
    return ToInfo(st);
  }

  bool Rename(const std::string& from, const std::string& to) override {
    if (!IsOneComponent(from) || !IsOneComponent(to)) return Refuse(EINVAL);
    return ::renameat(FFd, from.c_str(), FFd, to.c_str()) == 0 || Fail();
  }

  bool Delete(const std::string& name) override {
    if (!IsOneComponent(name)) return Refuse(EINVAL);
    return ::unlinkat(FFd, name.c_str(), 0) == 0 || Fail();
  }

  bool SetMode(u32 mode) override {
    return ::fchmod(FFd, static_cast<mode_t>(mode & 0777)) == 0 || Fail();
  }

  int LastError() const override { return tLastError; }

 private:
  static std::unique_ptr<IFolder> Failed() {
    Fail();
    return nullptr;
  }
  static bool Refuse(int code) {
    tLastError = code;
    return false;
  }

  int FFd;
  std::string FPath;
  bool FByComponents;
};

// The umask as the kernel reports it, without changing it (which would race
// with files that other threads create); older kernels do not report it.
std::optional<u32> ReportedUmask() {
  const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char text[4096];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return std::nullopt;
  const std::string_view status(text, static_cast<std::size_t>(n));
  const auto at = status.find("\nUmask:");
  if (at == std::string_view::npos) return std::nullopt;
  u32 mask = 0;
  for (std::size_t i = status.find_first_not_of(" \t", at + 7);
       i < status.size() && status[i] >= '0' && status[i] <= '7'; ++i) {
    mask = mask * 8 + static_cast<u32>(status[i] - '0');
  }
  return mask & 0777;
}

}  // namespace

std::unique_ptr<IFile> TPosixFileSystem::Open(const std::string& path, TOpenMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case TOpenMode::Create:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case TOpenMode::ReadWrite:
      flags |= O_RDWR;
      break;
    case TOpenMode::ReadDenyWrite:
    case TOpenMode::ReadCompat:
    case TOpenMode::ReadDenyNone:
      flags |= O_RDONLY;
      break;
  }
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) {
    tLastError = errno;
    if (mode == TOpenMode::Create) {
      throw EFCreateError(path, errno,
                          "Cannot create file \"" + path + "\": " + SystemErrorText(errno));
    }
    throw EFOpenError(path, errno, "Cannot open file \"" + path + "\": " + SystemErrorText(errno));
  }
  if (mode != TOpenMode::Create) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      tLastError = EISDIR;
      throw EFOpenError(path, EISDIR,
                        "Cannot open file \"" + path + "\": " + SystemErrorText(EISDIR));
    }
  }
  return std::make_unique<TPosixFile>(fd, path);
}

std::unique_ptr<IFile> TPosixFileSystem::CreateNew(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    tLastError = errno;
    throw EFCreateError(path, errno,
                        "Cannot create file \"" + path + "\": " + SystemErrorText(errno));
  }
  return std::make_unique<TPosixFile>(fd, path);
}

std::optional<TFileInfo> TPosixFileSystem::Stat(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    Fail();
    return std::nullopt;
  }
  return ToInfo(st);
}

std::optional<TFileInfo> TPosixFileSystem::LStat(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    Fail();
    return std::nullopt;
  }
  return ToInfo(st);
}

bool TPosixFileSystem::SetAttributes(const std::string& path, u32 attributes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Fail();
  mode_t mode = st.st_mode & 07777;
  if (attributes & faAttr::ReadOnly) {
    mode &= static_cast<mode_t>(~0222);
  } else if ((mode & 0222) == 0) {
    mode |= S_IWUSR;
  }
  if (mode == (st.st_mode & 07777)) return true;
  return ::chmod(path.c_str(), mode) == 0 || Fail();
}

bool TPosixFileSystem::SetLastWriteTime(const std::string& path, TFileTime time) {
  const struct timespec times[2] = {ToTimespec(time), ToTimespec(time)};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 || Fail();
}

bool TPosixFileSystem::CopyAccessRights(const std::string& from, const std::string& to) {
  struct stat st {};
  if (::stat(from.c_str(), &st) != 0) return Fail();
  return ::chmod(to.c_str(), st.st_mode & 07777) == 0 || Fail();
}

bool TPosixFileSystem::MakeExecutable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Fail();
  const mode_t mode = (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2);
  return ::chmod(path.c_str(), mode) == 0 || Fail();
}

bool TPosixFileSystem::SetDefaultAccessRights(const std::string& path) {
  // umask can only be read by setting it; the program is single-threaded.
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return ::chmod(path.c_str(), 0666 & ~mask) == 0 || Fail();
}

bool TPosixFileSystem::DeleteFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || Fail();
}

bool TPosixFileSystem::RenameFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 || Fail();
}

bool TPosixFileSystem::CreateFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0 || Fail();
}

bool TPosixFileSystem::RemoveFolder(const std::string& path) {
  return ::rmdir(path.c_str()) == 0 || Fail();
}

std::string TPosixFileSystem::CurrentFolder() {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) == nullptr) {
    Fail();
    return {};
  }
  return buffer;
}

bool TPosixFileSystem::SetCurrentFolder(const std::string& path) {
  return ::chdir(path.c_str()) == 0 || Fail();
}

std::string TPosixFileSystem::RealPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) {
    Fail();
    return {};
  }
  std::string result = resolved;
  std::free(resolved);
  return result;
}

bool TPosixFileSystem::ListFolder(const std::string& path, std::vector<TDirEntry>& entries) {
  entries.clear();
  DIR* dir = ::opendir(path.empty() ? "." : path.c_str());
  if (dir == nullptr) return Fail();
  const int dirFd = ::dirfd(dir);
  while (true) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;  // vanished since it was listed
      // Listed but not looked into (a folder readable without search
      // permission): the caller must hear that entries are missing.
      const int statError = errno;
      ::closedir(dir);
      tLastError = statError;
      return false;
    }
    bool isLink = S_ISLNK(st.st_mode);
    if (isLink) {
      // Describe what the link points to, but say it is a link, so searches
      // need not follow linked folders into cycles.
      struct stat target {};
      if (::fstatat(dirFd, entry->d_name, &target, 0) == 0) st = target;
    }
    TFileInfo info = ToInfo(st);
    info.IsSymlink = isLink;
    entries.push_back({name, info});
  }
  const int readError = errno;
  ::closedir(dir);
  if (readError != 0) {
    tLastError = readError;
    return false;
  }
  return true;
}

std::string TPosixFileSystem::TempFolder() {
  const char* env = std::getenv("TMPDIR");
  std::string folder = "/tmp";
  struct stat st {};
  if (env != nullptr && *env != '\0' && ::stat(env, &st) == 0 && S_ISDIR(st.st_mode)) {
    folder = env;
  }
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string TPosixFileSystem::CreateUniqueFile(const std::string& folder,
                                               const std::string& prefix) {
  std::string pattern = JoinPath(folder, prefix + "XXXXXX");
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    tLastError = errno;
    throw EFCreateError(
        pattern, errno,
        "Cannot create a temporary file in \"" + folder + "\": " + SystemErrorText(errno));
  }
  ::close(fd);
  return pattern;
}

bool TPosixFileSystem::SyncFolder(const std::string& path) {
  const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Fail();
  const bool ok = ::fsync(fd) == 0 || Fail();
  ::close(fd);
  return ok;
}

std::unique_ptr<IFileLock> TPosixFileSystem::TryLockFile(const std::string& path) {
  constexpr int kFlags = O_CREAT | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::open(path.c_str(), O_RDWR | kFlags, 0666);
  // A lock file that another user made may be read-only for us; a lock
  // needs no write access.
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | kFlags, 0666);
  if (fd < 0) {
    tLastError = errno;
    throw EFCreateError(path, errno,
                        "Cannot create lock file \"" + path + "\": " + SystemErrorText(errno));
  }
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    tLastError = errno == EAGAIN ? EWOULDBLOCK : errno;
    ::close(fd);
    if (tLastError == EWOULDBLOCK) return nullptr;
    throw EFCreateError(path, tLastError,
                        "Cannot lock \"" + path + "\": " + SystemErrorText(tLastError));
  }
  return std::make_unique<TPosixFileLock>(fd);
}

bool TPosixFileSystem::MayWrite(const std::string& path) {
  return ::access(path.c_str(), W_OK) == 0 || Fail();
}

std::unique_ptr<IFolder> TPosixFileSystem::OpenFolder(const std::string& path) {
  const int fd = ::open(path.empty() ? "." : path.c_str(), kFolderFlags);
  if (fd < 0) {
    Fail();
    return nullptr;
  }
  return std::make_unique<TPosixFolder>(fd, ExcludeSlash(path), ResolveByComponents);
}

u32 TPosixFileSystem::CreationMask() {
  if (const auto mask = ReportedUmask()) return *mask;
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return static_cast<u32>(mask) & 0777;
}

int TPosixFileSystem::LastError() const {
  return tLastError;
}

}  // namespace vz
