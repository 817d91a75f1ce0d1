#include "sfx/Folders.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "sfx/Names.h"

namespace sfx {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The path's components joined by single "/"; false (errno set) for a ".."
// part or a path longer than the system takes.
bool CleanRelative(std::string_view relative, TPathText& clean) {
  clean.Clear();
  std::size_t start = 0;
  while (start < relative.size()) {
    std::size_t end = start;
    while (end < relative.size() && relative[end] != '/') ++end;
    const std::string_view part = Slice(relative, start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      errno = EXDEV;
      return false;
    }
    if ((!clean.Empty() && !clean.Append('/')) || !clean.Append(part) ||
        clean.Length() >= PATH_MAX) {
      errno = ENAMETOOLONG;
      return false;
    }
  }
  return true;
}

// The whole path at once. -1 with errno; ENOSYS when this way is closed
// (no openat2, a filter that forbids it, renames that kept it retrying).
int OpenAtOnce(int dirFd, const char* relative) {
  // Once refused, it stays refused for the life of the process.
  static bool closed = false;
  if (closed) {
    errno = ENOSYS;
    return -1;
  }
  open_how how{};
  how.flags = kFolderFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  for (int attempt = 0; attempt < 64; ++attempt) {
    const long fd = ::syscall(SYS_openat2, dirFd, relative, &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    if (errno != EAGAIN && errno != EINTR) break;
  }
  const int code = errno;
  closed = code == ENOSYS || code == EPERM || code == E2BIG || code == EINVAL;
  errno = closed || code == EAGAIN ? ENOSYS : code;
  return -1;
}

// One folder below dirFd, never through a link.
int OpenComponent(int dirFd, const char* name) {
  const int fd = ::openat(dirFd, name, kFolderFlags | O_NOFOLLOW);
  if (fd >= 0 || (errno != ENOTDIR && errno != ELOOP)) return fd;
  struct stat info {};
  const bool link =
      ::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
  errno = link ? ELOOP : ENOTDIR;
  return -1;
}

int WalkBeneath(int dirFd, std::string_view clean, bool create) {
  TFd current;
  std::size_t start = 0;
  while (start < clean.size()) {
    std::size_t end = start;
    while (end < clean.size() && clean[end] != '/') ++end;
    TNameText name;
    if (!name.Assign(Slice(clean, start, end - start))) {
      errno = ENAMETOOLONG;
      return -1;
    }
    start = end + 1;
    const int base = current.Valid() ? current.Get() : dirFd;
    int next = OpenComponent(base, name.CStr());
    if (next < 0 && errno == ENOENT && create) {
      if (::mkdirat(base, name.CStr(), 0777) != 0 && errno != EEXIST) return -1;
      next = OpenComponent(base, name.CStr());
    }
    if (next < 0) return -1;
    current.Reset(next);
  }
  return current.Valid() ? current.Release() : ::openat(dirFd, ".", kFolderFlags);
}

}  // namespace

void TFd::Reset(int fd) {
  if (FFd >= 0) ::close(FFd);
  FFd = fd;
}

int OpenBeneath(int dirFd, std::string_view relative, bool create) {
  TPathText clean;
  if (!CleanRelative(relative, clean)) return -1;
  if (clean.Empty()) return ::openat(dirFd, ".", kFolderFlags);
  const int fd = OpenAtOnce(dirFd, clean.CStr());
  if (fd >= 0 || (errno != ENOSYS && !(errno == ENOENT && create))) return fd;
  return WalkBeneath(dirFd, clean.View(), create);
}

int OpenFolderPath(std::string_view path, bool create) {
  TPathText text;
  if (!text.Assign(path.empty() ? std::string_view(".") : path)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  if (create) {
    // Every level from the top, each may exist already.
    for (std::size_t i = 1; i <= text.Length(); ++i) {
      if (i < text.Length() && text.Data()[i] != '/') continue;
      const char kept = text.Data()[i];
      text.Data()[i] = '\0';
      ::mkdir(text.CStr(), 0777);
      text.Data()[i] = kept;
    }
  }
  return ::open(text.CStr(), kFolderFlags);
}

}  // namespace sfx
