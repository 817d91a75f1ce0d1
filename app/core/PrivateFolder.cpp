#include "app/core/PrivateFolder.h"

#include <vector>

#include "engine/support/PathUtils.h"
#include "platform/Errors.h"

namespace vz {

TPrivateFolder::TPrivateFolder(IFileSystem& files) : FFiles(files) {
  // The unique file reserves the name; the folder beside it takes that
  // name with ".d", so no other program's folder is ever taken over.
  FReserved = UniqueTempName(files, files.TempFolder());
  const std::string folder = FReserved + ".d";
  const auto fail = [&](const std::string& what) {
    const int code = files.LastError();
    files.DeleteFile(FReserved);
    throw EFCreateError(folder, code, folder + ": " + what + ": " + SystemErrorText(code));
  };
  if (!files.CreateFolder(folder)) fail("cannot make a temporary folder");
  FPath = IncludeTrailingSlash(folder);
  const auto opened = files.OpenFolder(FPath);
  if (!opened || !opened->SetMode(0700)) {
    RemoveFolderTree(files, FPath);
    FPath.clear();
    fail("cannot make the temporary folder private");
  }
}

TPrivateFolder::~TPrivateFolder() {
  if (!FPath.empty()) RemoveFolderTree(FFiles, FPath);
  FFiles.DeleteFile(FReserved);
}

bool RemoveFolderTree(IFileSystem& files, const std::string& path) {
  // Folders are visited before they are removed: each is listed once, its
  // files and links deleted and its subfolders queued; then every folder
  // goes, deepest first.
  std::vector<std::string> folders{ExcludeTrailingSlash(path)};
  bool complete = true;
  for (std::size_t next = 0; next < folders.size(); ++next) {
    const std::string folder = folders[next];
    std::vector<TDirEntry> entries;
    if (!files.ListFolder(folder, entries)) {
      complete = false;
      continue;
    }
    for (const TDirEntry& entry : entries) {
      const std::string full = folder + "/" + entry.Name;
      if (entry.Info.IsDirectory && !entry.Info.IsSymlink) {
        folders.push_back(full);
      } else if (!files.DeleteFile(full)) {
        complete = false;
      }
    }
  }
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    if (!files.RemoveFolder(*it)) complete = false;
  }
  return complete;
}

}  // namespace vz
