#include "engine/support/PathUtils.h"

#include <cerrno>
#include <climits>
#include <vector>

#include "engine/format/DosDate.h"
#include "engine/support/Stream.h"
#include "platform/Errors.h"

namespace vz {

std::string ExtractFilePath(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string ExtractFileName(std::string_view path) {
  const auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtractFileExt(std::string_view path) {
  const std::string name = ExtractFileName(path);
  const auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(std::string_view path, std::string_view extension) {
  const std::string ext = ExtractFileExt(path);
  return std::string(path.substr(0, path.size() - ext.size())) + std::string(extension);
}

std::string IncludeTrailingSlash(std::string_view path) {
  std::string out(path);
  if (out.empty() || out.back() != '/') out += '/';
  return out;
}

std::string ExcludeTrailingSlash(std::string_view path) {
  std::string out(path);
  if (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string ExtractDrive(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    return std::string(path.substr(0, 2));
  }
  if (path.size() > 2 && path[0] == '/' && path[1] == '/' && path[2] != '/') {
    // //server/share
    const auto server = path.find('/', 2);
    if (server == std::string_view::npos || server == 2) return {};
    const auto share = path.find('/', server + 1);
    if (share == server + 1) return {};
    return std::string(path.substr(0, share));
  }
  return {};
}

TDateTime FileDateOf(const TPlatform& platform, const std::string& path) {
  if (const auto info = platform.Files.Stat(path)) {
    const u32 dos = NormaliseDosDateTime(FileTimeToDosDateTime(info->LastWrite));
    if (const auto when = DosDateTimeToDateTime(dos)) return *when;
  }
  return FileTimeToDateTime(platform.Clock.Now());
}

void ForceDirectories(IFileSystem& files, const std::string& path) {
  if (path.empty()) throw EVarnelError("Unable to create directory");
  const std::string folder = ExcludeTrailingSlash(path);
  const auto fail = [](const std::string& level, int code) {
    throw EInOutError(level, code, "Unable to create directory " + FileErrorMessage(level, code));
  };
  // The path comes from the user or an archive, so its depth is anyone's:
  // up to the nearest level that exists, then down again, in loops.
  if (folder.size() >= PATH_MAX) fail(folder, ENAMETOOLONG);
  std::vector<std::size_t> missing;  // the lengths of the levels to make
  for (std::size_t end = folder.size(); end > 0;) {
    const std::string level = folder.substr(0, end);
    if (const auto info = files.Stat(level); info && info->IsDirectory) break;
    missing.push_back(end);
    const auto slash = level.find_last_of('/', end - 1);
    if (slash == std::string::npos) break;
    end = slash;
    while (end > 0 && folder[end - 1] == '/') --end;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    const std::string level = folder.substr(0, *it);
    if (files.CreateFolder(level)) continue;
    const int code = files.LastError();
    if (const auto info = files.Stat(level); info && info->IsDirectory) continue;
    fail(level, code);
  }
}

void CopyFileContents(IFileSystem& files, const std::string& from, const std::string& to) {
  TFileStream source(files.Open(from, TOpenMode::ReadDenyNone));
  TFileStream target(files.Open(to, TOpenMode::Create));
  target.CopyFrom(source, -1);
  target.File().Sync();
}

std::string UniqueTempName(IFileSystem& files, const std::string& folder) {
  return files.CreateUniqueFile(folder, "VLZ");
}

}  // namespace vz
