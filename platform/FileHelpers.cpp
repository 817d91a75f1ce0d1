#include "platform/FileHelpers.h"

#include <cerrno>
#include <span>
#include <vector>

#include "platform/Errors.h"

namespace vz {

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithTrailingSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

bool ReadWholeFile(IFileSystem& files, const std::string& path, std::string& text, int& error,
                   i64 maxBytes) {
  try {
    auto file = files.Open(path, TOpenMode::ReadDenyNone);
    const i64 size = file->Size();
    if (size > maxBytes) {
      error = EFBIG;
      return false;
    }
    text.assign(static_cast<std::size_t>(size), '\0');
    const std::size_t got =
        file->Read(std::span<u8>(reinterpret_cast<u8*>(text.data()), text.size()));
    text.resize(got);
    return true;
  } catch (const EFileError& e) {
    error = e.Code();
    return false;
  }
}

bool ForceFolders(IFileSystem& files, const std::string& path) {
  if (path.empty()) return true;
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (const auto info = files.Stat(folder)) return info->IsDirectory;
  const std::string parent = FolderOf(folder);
  if (!parent.empty() && parent != folder && !ForceFolders(files, parent)) return false;
  if (files.CreateFolder(folder)) return true;
  const auto made = files.Stat(folder);  // by someone else meanwhile
  return made && made->IsDirectory;
}

bool WriteFileAtomically(IFileSystem& files, const std::string& path, std::string_view data,
                         int& error) {
  const std::string real = files.RealPath(path);
  const std::string target = real.empty() ? path : real;
  const std::string folder = FolderOf(target);
  std::string temporary;
  try {
    temporary =
        files.CreateUniqueFile(folder.empty() ? "." : folder, "." + FileNameOf(target) + ".");
  } catch (const EFileError& e) {
    error = e.Code();
    return false;
  }
  const auto giveUp = [&](int code) {
    error = code;
    files.DeleteFile(temporary);
    return false;
  };
  try {
    auto file = files.Open(temporary, TOpenMode::Create);
    const std::span<const u8> bytes(reinterpret_cast<const u8*>(data.data()), data.size());
    if (file->Write(bytes) != bytes.size()) return giveUp(file->LastError());
    file->Sync();
  } catch (const EFileError& e) {
    return giveUp(e.Code());
  }
  if (files.Stat(target)) files.CopyAccessRights(target, temporary);
  if (!files.RenameFile(temporary, target)) return giveUp(files.LastError());
  files.SyncFolder(folder.empty() ? "." : folder);
  return true;
}

std::string NormalisePath(const std::string& path, const std::string& currentFolder) {
  std::string full = path;
  if (full.empty() || full[0] != '/') full = currentFolder + "/" + full;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= full.size()) {
    const auto end = full.find('/', start);
    const std::string part = full.substr(start, end == std::string::npos ? end : end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::string result;
  for (const auto& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

}  // namespace vz
