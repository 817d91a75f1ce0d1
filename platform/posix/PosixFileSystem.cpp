// POSIX files. Every call that can fail records errno in a thread-local so
// LastError() answers for the caller's own last call.
#include "platform/posix/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

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
  struct timespec ts{};
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
    struct stat st{};
    if (::fstat(FFd, &st) != 0) Throw();
    return static_cast<i64>(st.st_size);
  }

  void SetSize(i64 size) override {
    if (::ftruncate(FFd, static_cast<off_t>(size)) != 0) Throw();
  }

  TFileTime LastWriteTime() override {
    struct stat st{};
    if (::fstat(FFd, &st) != 0) Throw();
    return ToFileTime(st.st_mtim);
  }

  void SetLastWriteTime(TFileTime time) override {
    const struct timespec times[2] = {ToTimespec(time), ToTimespec(time)};
    if (::futimens(FFd, times) != 0) Throw();
  }

  void Sync() override {
    if (::fsync(FFd) != 0) Throw();
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
    struct stat st{};
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
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) {
    Fail();
    return std::nullopt;
  }
  return ToInfo(st);
}

std::optional<TFileInfo> TPosixFileSystem::LStat(const std::string& path) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) {
    Fail();
    return std::nullopt;
  }
  return ToInfo(st);
}

bool TPosixFileSystem::SetAttributes(const std::string& path, u32 attributes) {
  struct stat st{};
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
  struct stat st{};
  if (::stat(from.c_str(), &st) != 0) return Fail();
  return ::chmod(to.c_str(), st.st_mode & 07777) == 0 || Fail();
}

bool TPosixFileSystem::MakeExecutable(const std::string& path) {
  struct stat st{};
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
    struct stat st{};
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
      struct stat target{};
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
  struct stat st{};
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
    throw EFCreateError(pattern, errno,
                        "Cannot create a temporary file in \"" + folder +
                            "\": " + SystemErrorText(errno));
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

int TPosixFileSystem::LastError() const { return tLastError; }

}  // namespace vz
