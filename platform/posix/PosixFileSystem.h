// The real file system through POSIX calls.
#pragma once

#include "platform/FileSystem.h"

namespace vz {

class TPosixFileSystem : public IFileSystem {
 public:
  // Folders opened from now on resolve the paths below them one component at
  // a time (O_NOFOLLOW | O_DIRECTORY each) instead of with openat2: the way
  // taken where the system has no openat2 or a filter forbids it, and the
  // way the tests take to check it.
  bool ResolveByComponents = false;

  std::unique_ptr<IFile> Open(const std::string& path, TOpenMode mode) override;
  std::unique_ptr<IFile> CreateNew(const std::string& path) override;
  std::optional<TFileInfo> Stat(const std::string& path) override;
  std::optional<TFileInfo> LStat(const std::string& path) override;
  bool SetAttributes(const std::string& path, u32 attributes) override;
  bool SetLastWriteTime(const std::string& path, TFileTime time) override;
  bool CopyAccessRights(const std::string& from, const std::string& to) override;
  bool MakeExecutable(const std::string& path) override;
  bool SetDefaultAccessRights(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  bool CreateFolder(const std::string& path) override;
  bool RemoveFolder(const std::string& path) override;
  std::string CurrentFolder() override;
  bool SetCurrentFolder(const std::string& path) override;
  std::string RealPath(const std::string& path) override;
  bool ListFolder(const std::string& path, std::vector<TDirEntry>& entries) override;
  std::string TempFolder() override;
  std::string CreateUniqueFile(const std::string& folder, const std::string& prefix) override;
  bool SyncFolder(const std::string& path) override;
  std::unique_ptr<IFileLock> TryLockFile(const std::string& path) override;
  bool MayWrite(const std::string& path) override;
  std::unique_ptr<IFolder> OpenFolder(const std::string& path) override;
  u32 CreationMask() override;
  int LastError() const override;
};

}  // namespace vz
