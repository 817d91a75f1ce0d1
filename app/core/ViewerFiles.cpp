#include "app/core/ViewerFiles.h"

#include <array>
#include <cerrno>

#include "platform/CodePage.h"
#include "platform/FileHelpers.h"

namespace vz {
namespace {

constexpr std::string_view kTextExtensions = ".txt .me .1st .inf .ini .diz";
constexpr std::size_t kMaxNameBytes = 255;
constexpr int kRootAttempts = 100;
constexpr u32 kPrivateMode = 0700;

std::string_view FileNamePart(std::string_view name) {
  const auto slash = name.find_last_of("/\\");
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// `text` cut to at most `bytes` bytes without splitting a character.
std::string_view CutUtf8(std::string_view text, std::size_t bytes) {
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t next = end + NextUtf8(text, end).Length;
    if (next > bytes) break;
    end = next;
  }
  return text.substr(0, end);
}

// Everything below `folder` and the folder itself, without following a link.
bool RemoveTree(IFileSystem& files, const std::string& folder) {
  std::vector<TDirEntry> entries;
  files.ListFolder(folder, entries);
  for (const TDirEntry& entry : entries) {
    const std::string path = folder + entry.Name;
    if (entry.Info.IsDirectory && !entry.Info.IsSymlink) {
      RemoveTree(files, path + "/");
    } else {
      files.DeleteFile(path);
    }
  }
  files.RemoveFolder(WithoutTrailingSlash(folder));
  return !files.LStat(WithoutTrailingSlash(folder));
}

}  // namespace

bool IsTextMember(std::string_view name) {
  const std::string_view file = FileNamePart(name);
  const auto dot = file.rfind('.');
  if (dot == std::string_view::npos) return true;
  std::string extension(file.substr(dot));
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return kTextExtensions.find(extension) != std::string_view::npos;
}

std::string SafeFileName(std::string_view storedName) {
  const std::string_view file = FileNamePart(storedName);
  std::string safe;
  for (std::size_t pos = 0; pos < file.size();) {
    const TUtf8Step step = NextUtf8(file, pos);
    const bool control = step.Char < 0x20 || step.Char == 0x7F;
    if (step.Valid && !control) {
      safe.append(file.substr(pos, step.Length));
    } else {
      safe += '_';
    }
    pos += step.Length;
  }
  if (safe.empty() || safe == "." || safe == "..") return "member";
  if (safe.size() <= kMaxNameBytes) return safe;
  const auto dot = safe.rfind('.');
  const std::string extension =
      dot != std::string::npos && safe.size() - dot <= 32 ? safe.substr(dot) : std::string();
  const std::string_view stem(safe.data(), safe.size() - extension.size());
  return std::string(CutUtf8(stem, kMaxNameBytes - extension.size())) + extension;
}

TViewerFolder::TViewerFolder(const TAppContext& App) : FApp(App) {}

TViewerFolder::~TViewerFolder() = default;

// mkdir fails on anything already at the name, a link included, so the
// folder made is ours; it is closed to everyone else before anything goes in.
bool TViewerFolder::MakeRoot(int& error) {
  IFileSystem& files = FApp.Platform.Files;
  const std::string temp = WithTrailingSlash(files.TempFolder());
  for (int attempt = 0; attempt < kRootAttempts; ++attempt) {
    std::array<u8, 6> random{};
    FApp.Platform.Random.Fill(random);
    std::string name = kViewerFolderPrefix;
    for (const u8 byte : random) {
      name += "abcdefghijklmnopqrstuvwxyz234567"[byte & 31];
    }
    const std::string path = temp + name;
    if (!files.CreateFolder(path)) {
      error = files.LastError();
      if (error == EEXIST) continue;
      return false;
    }
    FRootFolder = files.OpenFolder(path);
    if (FRootFolder == nullptr || !FRootFolder->SetMode(kPrivateMode)) {
      error = FRootFolder == nullptr ? files.LastError() : FRootFolder->LastError();
      FRootFolder.reset();
      files.RemoveFolder(path);
      return false;
    }
    // Under a lax umask others could write into it until the mode was set;
    // a folder that is not empty now is left alone.
    std::vector<TDirEntry> entries;
    if (!files.ListFolder(path, entries) || !entries.empty()) {
      FRootFolder.reset();
      error = EEXIST;
      continue;
    }
    FRoot = path + "/";
    return true;
  }
  return false;
}

std::unique_ptr<IFolder> TViewerFolder::NewMemberFolder(std::string& path, int& error) {
  if (FRootFolder == nullptr && !MakeRoot(error)) return nullptr;
  const std::string name = std::to_string(++FMembers);
  auto folder = FRootFolder->OpenFolder(name, true);
  if (folder == nullptr || !folder->SetMode(kPrivateMode)) {
    error = folder == nullptr ? FRootFolder->LastError() : folder->LastError();
    return nullptr;
  }
  path = FRoot + name + "/";
  return folder;
}

bool RemoveViewedFile(IFileSystem& files, const std::string& path) {
  const std::string member = WithoutTrailingSlash(FolderOf(path));
  const std::string root = WithoutTrailingSlash(FolderOf(member));
  const bool inLayout = !member.empty() && !root.empty() && AllDigits(FileNameOf(member)) &&
                        FileNameOf(root).starts_with(kViewerFolderPrefix);
  if (!inLayout) return files.DeleteFile(path) || !files.LStat(path);
  const auto info = files.LStat(member);
  if (info && (!info->IsDirectory || info->IsSymlink)) return false;
  const bool removed = !info || RemoveTree(files, member + "/");
  files.RemoveFolder(root);  // only once it is empty
  return removed;
}

bool RemoveMemberFolder(IFileSystem& files, const std::string& folder) {
  return RemoveViewedFile(files, WithTrailingSlash(folder) + "member");
}

TCommand ViewerCommand(const std::string& viewer, const std::string& path) {
  return {viewer, {path}, "", TShowState::Normal};
}

}  // namespace vz
