// Files and folders as the engine sees them. Paths are UTF-8 with "/"
// separators; a folder path may or may not end in "/".
//
// Linux has no mandatory sharing modes, so the four open modes differ only in
// access: Create opens read-write and truncates, the three read modes all open
// read-only and share freely. Callers that rely on "others may not write"
// (the archive being listed) re-check the file's time before trusting cached
// data instead.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Types.h"

namespace vz {

using TFileTime = std::chrono::system_clock::time_point;

// DOS attribute bits as stored in an archive's external attributes.
namespace faAttr {
inline constexpr u32 ReadOnly = 0x01;
inline constexpr u32 Hidden = 0x02;
inline constexpr u32 SysFile = 0x04;
inline constexpr u32 VolumeId = 0x08;
inline constexpr u32 Directory = 0x10;
inline constexpr u32 Archive = 0x20;
}  // namespace faAttr

enum class TOpenMode : u8 {
  Create = 0,        // create or truncate, read-write
  ReadDenyWrite = 1, // the archive while it is listed
  ReadCompat = 2,    // the self-extractor stub
  ReadDenyNone = 3,  // a file being added to an archive
  ReadWrite = 4,     // an existing file opened for update
};

enum class TSeekOrigin : u8 { Begin = 0, Current = 1, End = 2 };

struct TFileInfo {
  bool IsDirectory = false;
  bool IsRegular = false;
  bool IsSymlink = false;  // from LStat, and in folder listings (which describe the target)
  i64 Size = 0;
  TFileTime LastWrite{};
  u32 Attributes = 0;  // DOS view, see IFileSystem::Attributes rules
  // The file's own mode (type and permission bits, as st_mode) and where it
  // lives: a file replaced under the same name has another device or inode.
  u32 UnixMode = 0;
  u64 Device = 0;
  u64 Inode = 0;
};

// One entry of a folder listing (a find record).
struct TDirEntry {
  std::string Name;
  TFileInfo Info;
};

// An open file. Move-only ownership through std::unique_ptr; closing happens
// in the destructor.
class IFile {
 public:
  virtual ~IFile() = default;
  virtual const std::string& Path() const = 0;
  // Fewer bytes than asked only at the end of the file; EInOutError on failure.
  virtual std::size_t Read(std::span<u8> buffer) = 0;
  // Returns the bytes written. A short count means the write failed part way
  // (a full disk, a quota); LastError() then holds the reason.
  virtual std::size_t Write(std::span<const u8> data) = 0;
  // Returns the new position; EInOutError on failure.
  virtual i64 Seek(i64 offset, TSeekOrigin origin) = 0;
  virtual i64 Size() = 0;
  virtual void SetSize(i64 size) = 0;
  virtual TFileTime LastWriteTime() = 0;
  // What the open descriptor refers to (fstat): the file actually read,
  // even when another file has since been renamed over its path.
  virtual TFileInfo Info() = 0;
  // Sets the last-write (and last-access) time on the open descriptor.
  virtual void SetLastWriteTime(TFileTime time) = 0;
  // Flushes the file's data to the device (fsync); EInOutError on failure.
  virtual void Sync() = 0;
  // Gives the file the permission bits `mode` (at most 0777) on the open
  // descriptor; false (LastError()) when the system refuses.
  virtual bool SetMode(u32 mode) = 0;
  virtual int LastError() const = 0;
};

// A folder held open. What is made and found through it stays in that
// folder, whatever is renamed or linked meanwhile on the path that led to
// it. Every name given to it is one component without "/", and a symbolic
// link standing at that name is never followed.
class IFolder {
 public:
  virtual ~IFolder() = default;
  // The path the folder was reached by (no trailing "/" but for the root),
  // for messages and events.
  virtual const std::string& Path() const = 0;
  // The folder `relative` below this one ("a/b": no empty, "." or ".."
  // component, no leading "/"; "" is this folder again), its missing levels
  // made when `create`. No symbolic link is followed on the way, the last
  // level included: meeting one fails with ELOOP, a file in the way with
  // ENOTDIR, a path longer than the system takes with ENAMETOOLONG. nullptr
  // on failure, LastError() telling why.
  virtual std::unique_ptr<IFolder> OpenFolder(std::string_view relative, bool create) = 0;
  // As IFileSystem::CreateNew, for a name in this folder. Throws EFCreateError.
  virtual std::unique_ptr<IFile> CreateNew(const std::string& name) = 0;
  // Does not follow a link at the name.
  virtual std::optional<TFileInfo> LStat(const std::string& name) = 0;
  // Replaces `to` atomically when it exists (a link at `to` is replaced).
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  virtual bool Delete(const std::string& name) = 0;
  // Gives the folder itself the permission bits `mode` (at most 0777).
  virtual bool SetMode(u32 mode) = 0;
  virtual int LastError() const = 0;
};

// An exclusive lock held on an open file; released when destroyed. Other
// processes (and other opens in this one) that ask for the same file's lock
// are refused until then, whatever else this process opens or closes.
class IFileLock {
 public:
  virtual ~IFileLock() = default;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // Throws EFOpenError (read modes) or EFCreateError (Create) with the path
  // and the system's text.
  virtual std::unique_ptr<IFile> Open(const std::string& path, TOpenMode mode) = 0;
  // Creates a new file that must not exist yet, never following a symbolic
  // link at that place (O_CREAT|O_EXCL|O_NOFOLLOW). Throws EFCreateError.
  virtual std::unique_ptr<IFile> CreateNew(const std::string& path) = 0;

  // Follows symbolic links.
  virtual std::optional<TFileInfo> Stat(const std::string& path) = 0;
  // Does not follow a final symbolic link; a dangling link exists.
  virtual std::optional<TFileInfo> LStat(const std::string& path) = 0;

  // DOS attributes on Linux: read-only <-> no write permission for anyone,
  // directory <-> a folder, archive reads as set for every regular file.
  // Hidden, system and a cleared archive bit have no effect on disk.
  virtual bool SetAttributes(const std::string& path, u32 attributes) = 0;
  virtual bool SetLastWriteTime(const std::string& path, TFileTime time) = 0;
  // Gives `to` the access rights of `from` (a rewritten archive keeps the
  // original's mode).
  virtual bool CopyAccessRights(const std::string& from, const std::string& to) = 0;
  // Lets everyone who may read the file also run it (a self-extracting
  // archive).
  virtual bool MakeExecutable(const std::string& path) = 0;
  // The rights a newly created file gets (0666 less the umask): for a file
  // that began as a private temporary file and becomes a user's document.
  virtual bool SetDefaultAccessRights(const std::string& path) = 0;

  virtual bool DeleteFile(const std::string& path) = 0;
  // Replaces `to` atomically when it exists (a link at `to` is replaced, not
  // followed).
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  // Creates one folder; its parent must exist.
  virtual bool CreateFolder(const std::string& path) = 0;
  virtual bool RemoveFolder(const std::string& path) = 0;

  virtual std::string CurrentFolder() = 0;
  virtual bool SetCurrentFolder(const std::string& path) = 0;
  // Absolute, symlink-free form of an existing path; empty when it fails.
  virtual std::string RealPath(const std::string& path) = 0;

  // Every entry of a folder but "." and "..", in the order the system lists
  // them. False when the folder cannot be read, or an entry in it cannot be
  // looked at (LastError() says why).
  virtual bool ListFolder(const std::string& path, std::vector<TDirEntry>& entries) = 0;

  // $TMPDIR when it names a folder, else /tmp; ends in "/".
  virtual std::string TempFolder() = 0;
  // Creates an empty file with a new unique name "<folder>/<prefix>XXXXXX" and
  // returns its path. Throws EFCreateError.
  virtual std::string CreateUniqueFile(const std::string& folder, const std::string& prefix) = 0;
  // Makes a rename inside the folder durable (fsync of the folder).
  virtual bool SyncFolder(const std::string& path) = 0;

  // Takes the exclusive lock of `path` without waiting, creating the file
  // when it is missing (never through a symbolic link); the file is left in
  // place afterwards. nullptr while another holder has it (LastError() is
  // then EWOULDBLOCK). Throws EFCreateError when the file cannot be opened.
  virtual std::unique_ptr<IFileLock> TryLockFile(const std::string& path) = 0;
  // Whether this process may write the existing file (its permissions, a
  // read-only file system). False sets LastError().
  virtual bool MayWrite(const std::string& path) = 0;
  // Opens an existing folder by its path; links on the way are followed, as
  // in any path the user names. nullptr on failure (LastError()).
  virtual std::unique_ptr<IFolder> OpenFolder(const std::string& path) = 0;
  // The process's file-creation mask (umask): the permission bits that a
  // restored mode loses, as with every file the process creates.
  virtual u32 CreationMask() = 0;

  // errno of the last failed call made through this object on this thread.
  virtual int LastError() const = 0;
};

}  // namespace vz
