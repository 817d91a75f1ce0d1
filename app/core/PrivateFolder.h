// TPrivateFolder: a folder below the system's temporary folder that only
// the user may enter (mode 0700), removed with everything in it when the
// object goes, on every path. Members are decoded into it for another step
// (re-encrypting them, handing them to a program), and no other user of
// the machine reads them meanwhile.
#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace vz {

class TPrivateFolder {
 public:
  // Throws EFCreateError (or EInOutError) when it cannot be made private.
  explicit TPrivateFolder(IFileSystem& files);
  ~TPrivateFolder();
  TPrivateFolder(const TPrivateFolder&) = delete;
  TPrivateFolder& operator=(const TPrivateFolder&) = delete;

  // Ends in "/".
  const std::string& Path() const { return FPath; }

 private:
  IFileSystem& FFiles;
  std::string FReserved;  // the unique file whose name the folder's extends
  std::string FPath;
};

// Removes `path` and everything below it, without following links and
// without recursion on the depth of the tree. False when something stayed.
bool RemoveFolderTree(IFileSystem& files, const std::string& path);

}  // namespace vz
