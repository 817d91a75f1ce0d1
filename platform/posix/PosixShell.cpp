#include "platform/posix/PosixShell.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "platform/FileHelpers.h"
#include "platform/posix/PosixDrives.h"

namespace vz {
namespace {

struct TTrash {
  std::string Folder;      // holds files/ and info/, ends in "/"
  std::string PathPrefix;  // what info paths are relative to; "" = absolute
};

bool MakePrivateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  struct stat st {};
  return errno == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakePrivateFolders(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::string parent = FolderOf(folder);
  if (!parent.empty() && parent != folder && !MakePrivateFolders(parent)) return false;
  return MakePrivateFolder(folder);
}

// The device of the nearest existing folder at or above `path`.
dev_t DeviceOf(std::string path) {
  struct stat st {};
  while (::stat(path.c_str(), &st) != 0) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::string parent = FolderOf(path);
    if (parent.empty() || parent == path) return 0;
    path = parent;
  }
  return st.st_dev;
}

// The trash of a mount point other than the home one, made if needed.
bool TopTrash(const std::string& top, TTrash& trash) {
  const std::string uid = std::to_string(::getuid());
  const std::string shared = top + ".Trash";
  struct stat st {};
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0 &&
      MakePrivateFolder(shared + "/" + uid)) {
    trash = {shared + "/" + uid + "/", top};
    return true;
  }
  const std::string own = top + ".Trash-" + uid;
  if (!MakePrivateFolder(own) || ::lstat(own.c_str(), &st) != 0 || st.st_uid != ::getuid()) {
    return false;
  }
  trash = {own + "/", top};
  return true;
}

std::string LocalTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &tm);
  return buffer;
}

// "name", "name.2", "name.3", ... with the counter before the extension.
std::string Candidate(const std::string& name, int n) {
  if (n == 1) return name;
  const auto dot = name.rfind('.');
  const bool hasExtension = dot != std::string::npos && dot > 0;
  const std::string stem = hasExtension ? name.substr(0, dot) : name;
  const std::string extension = hasExtension ? name.substr(dot) : "";
  return stem + "." + std::to_string(n) + extension;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string EncodeTrashPath(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool keep = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                      (byte >= '0' && byte <= '9') || c == '-' || c == '_' || c == '.' ||
                      c == '~' || c == '/';
    if (keep) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

bool TPosixShell::MoveToTrash(const std::vector<std::string>& paths) {
  for (const auto& path : paths) {
    if (!TrashOne(path)) return false;
  }
  return true;
}

bool TPosixShell::TrashOne(const std::string& path) {
  const auto fail = [this](int error) {
    FLastError = error;
    return false;
  };
  struct stat item {};
  if (::lstat(path.c_str(), &item) != 0) return fail(errno);
  // The folder resolved, the name kept: a link is trashed as the link.
  char* realFolder = ::realpath(FolderOf(path).empty() ? "." : FolderOf(path).c_str(), nullptr);
  if (realFolder == nullptr) return fail(errno);
  const std::string original = WithTrailingSlash(realFolder) + FileNameOf(path);
  std::free(realFolder);

  const std::string home = FEnvironment.UserDataFolder() + "Trash/";
  TTrash trash;
  if (item.st_dev == DeviceOf(home)) {
    trash = {home, ""};
  } else if (!TopTrash(TPosixDrives().DriveOf(original), trash)) {
    return fail(errno != 0 ? errno : EACCES);
  }
  if (!MakePrivateFolders(trash.Folder + "files") || !MakePrivateFolders(trash.Folder + "info")) {
    return fail(errno != 0 ? errno : EACCES);
  }
  const std::string recorded =
      trash.PathPrefix.empty() ? original : original.substr(trash.PathPrefix.size());
  const std::string info = "[Trash Info]\nPath=" + EncodeTrashPath(recorded) +
                           "\nDeletionDate=" + LocalTimestamp() + "\n";
  const std::string name = FileNameOf(original);
  for (int n = 1; n < 100000; ++n) {
    const std::string candidate = Candidate(name, n);
    const std::string infoPath = trash.Folder + "info/" + candidate + ".trashinfo";
    const int fd =
        ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return fail(errno);
    }
    const bool written = WriteAll(fd, info);
    const int writeError = errno;
    ::close(fd);
    const std::string target = trash.Folder + "files/" + candidate;
    struct stat taken {};
    if (::lstat(target.c_str(), &taken) == 0) {
      ::unlink(infoPath.c_str());
      continue;
    }
    if (!written || ::rename(original.c_str(), target.c_str()) != 0) {
      const int error = written ? errno : writeError;
      ::unlink(infoPath.c_str());
      return fail(error);
    }
    return true;
  }
  return fail(EEXIST);
}

bool TPosixShell::OpenDocument(const std::string& path) {
  if (FProcesses.Start({"xdg-open", {path}, "", TShowState::Normal}) > 0) return true;
  FLastError = FProcesses.LastError();
  return false;
}

}  // namespace vz
