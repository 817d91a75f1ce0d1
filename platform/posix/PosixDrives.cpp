// Mount table lookups. A path's drive is the longest mount point that is a
// whole-component prefix of the path's real location.
#include "platform/posix/PosixDrives.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

namespace vz {
namespace {

struct TMount {
  std::string MountPoint;  // ends in "/"
  std::string FsType;
  std::string Source;
};

// mountinfo escapes blanks and backslashes as octal (\040).
std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      const std::string digits = text.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        out += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// Files under /proc and /sys report no size, so they are read to their end.
// No iostreams here: they would pull the whole locale machinery into every
// program of ours, and with it a megabyte of code.
std::string ReadSystemFile(const std::string& path) {
  std::string text;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
    if (got > 0) text.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return text;
}

// The blank-separated fields of one line.
std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t start = line.find_first_not_of(" \t");
  while (start != std::string_view::npos) {
    const std::size_t end = line.find_first_of(" \t", start);
    fields.emplace_back(line.substr(start, end == std::string_view::npos ? end : end - start));
    start = end == std::string_view::npos ? end : line.find_first_not_of(" \t", end);
  }
  return fields;
}

// A mountinfo line: id, parent, device, root, mount point, options, optional
// fields ended by "-", then the file system type and the source.
std::vector<TMount> ReadMounts() {
  std::vector<TMount> mounts;
  const std::string table = ReadSystemFile("/proc/self/mountinfo");
  std::size_t start = 0;
  while (start < table.size()) {
    std::size_t end = table.find('\n', start);
    if (end == std::string::npos) end = table.size();
    const std::vector<std::string> fields =
        Fields(std::string_view(table).substr(start, end - start));
    start = end + 1;
    if (fields.size() < 6) continue;
    std::size_t i = 6;
    while (i < fields.size() && fields[i] != "-") ++i;
    TMount mount;
    if (i + 1 < fields.size()) mount.FsType = fields[i + 1];
    if (i + 2 < fields.size()) mount.Source = fields[i + 2];
    mount.MountPoint = Unescape(fields[4]);
    if (mount.MountPoint.empty() || mount.MountPoint.back() != '/') mount.MountPoint += '/';
    mount.Source = Unescape(mount.Source);
    mounts.push_back(std::move(mount));
  }
  return mounts;
}

// The nearest existing ancestor of a path, made real.
std::string RealAncestor(const std::string& path) {
  std::string current = path;
  while (!current.empty()) {
    char* resolved = ::realpath(current.c_str(), nullptr);
    if (resolved != nullptr) {
      std::string result = resolved;
      std::free(resolved);
      return result;
    }
    const auto slash = current.find_last_of('/', current.size() > 1 ? current.size() - 2 : 0);
    if (slash == std::string::npos || current == "/") break;
    current = slash == 0 ? "/" : current.substr(0, slash);
  }
  return "/";
}

const TMount* FindMount(const std::vector<TMount>& mounts, const std::string& drive) {
  // Later lines of mountinfo shadow earlier mounts of the same point.
  const TMount* found = nullptr;
  for (const auto& m : mounts) {
    if (m.MountPoint == drive) found = &m;
  }
  return found;
}

std::string BlockDeviceName(const std::string& source) {
  char* resolved = ::realpath(source.c_str(), nullptr);
  if (resolved == nullptr) return {};
  std::string real = resolved;
  std::free(resolved);
  if (real.rfind("/dev/", 0) != 0) return {};
  return real.substr(5);
}

// A /sys flag file: a decimal number and a line break.
bool ReadFlag(const std::string& file) {
  return std::strtol(ReadSystemFile(file).c_str(), nullptr, 10) != 0;
}

std::string ReadLinkTarget(const std::string& link) {
  char* resolved = ::realpath(link.c_str(), nullptr);
  if (resolved == nullptr) return {};
  std::string result = resolved;
  std::free(resolved);
  return result;
}

}  // namespace

std::string TPosixDrives::DriveOf(const std::string& path) {
  char cwd[PATH_MAX];
  const std::string current = ::getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
  std::string real = RealAncestor(NormalisePath(path, current));
  if (real.back() != '/') real += '/';
  std::string best = "/";
  for (const auto& m : ReadMounts()) {
    if (real.rfind(m.MountPoint, 0) == 0 && m.MountPoint.size() > best.size()) {
      best = m.MountPoint;
    }
  }
  return best;
}

TDriveType TPosixDrives::DriveType(const std::string& drive) {
  const auto mounts = ReadMounts();
  const TMount* mount = FindMount(mounts, drive);
  if (mount == nullptr) return TDriveType::NoRootDir;
  const std::string& fs = mount->FsType;
  if (fs == "nfs" || fs == "nfs4" || fs == "cifs" || fs == "smb3" || fs == "smbfs" ||
      fs == "fuse.sshfs" || fs == "9p" || fs == "afs") {
    return TDriveType::Remote;
  }
  if (fs == "tmpfs" || fs == "ramfs") return TDriveType::RamDisk;
  if (fs == "iso9660" || fs == "udf") return TDriveType::CdRom;
  const std::string device = BlockDeviceName(mount->Source);
  if (device.empty()) return TDriveType::Fixed;
  const std::string sys = "/sys/class/block/" + device;
  if (ReadFlag(sys + "/removable") || ReadFlag(sys + "/../removable")) {
    return TDriveType::Removable;
  }
  // USB mass storage often reports itself as fixed; the bus tells the truth.
  if (ReadLinkTarget(sys).find("/usb") != std::string::npos) return TDriveType::Removable;
  return TDriveType::Fixed;
}

bool TPosixDrives::IsFloppy(const std::string& drive) {
  const auto mounts = ReadMounts();
  const TMount* mount = FindMount(mounts, drive);
  if (mount == nullptr) return false;
  return BlockDeviceName(mount->Source).rfind("fd", 0) == 0;
}

i64 TPosixDrives::FreeSpace(const std::string& drive) {
  struct statvfs st {};
  if (::statvfs(drive.c_str(), &st) != 0) {
    FLastError = errno;
    return -1;
  }
  return static_cast<i64>(st.f_bavail) * static_cast<i64>(st.f_frsize);
}

std::optional<std::string> TPosixDrives::VolumeLabel(const std::string& drive) {
  const auto mounts = ReadMounts();
  const TMount* mount = FindMount(mounts, drive);
  if (mount == nullptr) return std::nullopt;
  const std::string device = ReadLinkTarget(mount->Source);
  if (device.empty()) return std::nullopt;
  const std::string byLabel = "/dev/disk/by-label/";
  // /dev/disk/by-label/<escaped label> -> ../../<device>
  if (auto* dir = ::opendir(byLabel.c_str())) {
    std::optional<std::string> label;
    while (const auto* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      if (ReadLinkTarget(byLabel + name) == device) {
        // udev escapes unsafe characters as \xNN.
        std::string text;
        for (std::size_t i = 0; i < name.size(); ++i) {
          if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            text += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
            i += 3;
          } else {
            text += name[i];
          }
        }
        label = text.substr(0, 11);
        break;
      }
    }
    ::closedir(dir);
    return label;
  }
  return std::nullopt;
}

bool TPosixDrives::SetVolumeLabel(const std::string&, const std::string&) {
  // Relabelling a mounted file system needs file-system specific tools and
  // privileges; only floppy disks get labels, which Linux machines
  // rarely have.
  FLastError = ENOTSUP;
  return false;
}

std::vector<std::string> TPosixDrives::MountPoints() {
  std::vector<std::string> points;
  for (const auto& m : ReadMounts()) points.push_back(m.MountPoint);
  return points;
}

}  // namespace vz
