// Folders and files below the destination, reached by descriptor without
// following a single symbolic link: a link standing inside the destination
// cannot lead a member out of it. The destination itself is the user's path
// and is reached as paths are, links and all.
#pragma once

#include <string_view>

#include "sfx/SfxTypes.h"

namespace sfx {

// An owned descriptor, closed when it goes.
class TFd {
 public:
  TFd() = default;
  explicit TFd(int fd) : FFd(fd) {}
  ~TFd() { Reset(-1); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;

  int Get() const { return FFd; }
  bool Valid() const { return FFd >= 0; }
  void Reset(int fd);
  int Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
  }

 private:
  int FFd = -1;
};

// Opens the folder `relative` ("a/b/", "" for the folder itself; no ".."
// part) below dirFd, making its missing levels when `create`. Tries openat2
// with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS and goes one component after
// the other (O_NOFOLLOW | O_DIRECTORY) where the system has no openat2 or a
// filter forbids it. -1 with errno: ELOOP when a link stands on the way
// (the last level too), ENOTDIR for a file in the way, ENAMETOOLONG.
int OpenBeneath(int dirFd, std::string_view relative, bool create);

// Opens a folder by its path, making it and its missing parents first when
// `create`, following links like any path. -1 with errno.
int OpenFolderPath(std::string_view path, bool create);

}  // namespace sfx
