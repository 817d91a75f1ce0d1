// The fake platform for tests: the real file system inside a private scratch
// folder, plus everything a test needs to control that a real machine will
// not give on demand: drives of every kind with labels and capacities (a
// folder per drive), a fixed clock, repeatable random bytes, fault injection
// (a failing Nth write, a full disk, failing reads, renames and creates) and a
// record of what was asked.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/fake/FakeServices.h"
#include "platform/posix/PosixFileSystem.h"

namespace vz {

struct TFakeDrive {
  std::string MountPoint;  // a real folder, ending in "/"
  TDriveType Type = TDriveType::Fixed;
  bool Floppy = false;
  std::optional<std::string> Label;
  bool LabelWritable = true;
  // Bytes the medium holds; free space is this minus the bytes of the files
  // on it. -1: the free space is FreeBytes instead.
  i64 Capacity = -1;
  i64 FreeBytes = -1;  // used when Capacity is -1; -1 means "unknown"
};

class TFakeDrives : public IDrives {
 public:
  TFakeDrive& AddDrive(TFakeDrive drive);
  TFakeDrive* Find(const std::string& drive);
  // Takes the present medium out (its files move to a new sibling folder,
  // whose path is returned) and puts an empty one in with the given label.
  std::string ChangeMedium(const std::string& drive, std::optional<std::string> label);
  // The number of mediums a drive has had (1 + ChangeMedium calls).
  int Mediums(const std::string& drive);

  std::string DriveOf(const std::string& path) override;
  TDriveType DriveType(const std::string& drive) override;
  bool IsFloppy(const std::string& drive) override;
  i64 FreeSpace(const std::string& drive) override;
  std::optional<std::string> VolumeLabel(const std::string& drive) override;
  bool SetVolumeLabel(const std::string& drive, const std::string& label) override;
  std::vector<std::string> MountPoints() override;
  int LastError() const override { return FLastError; }

  // Free space of drives that were not added (the rest of the machine).
  i64 DefaultFreeBytes = i64{1} << 40;
  std::vector<std::string> LabelsWritten;  // "<drive>=<label>", in order

 private:
  std::deque<TFakeDrive> FDrives;  // stable addresses for AddDrive's result
  std::map<std::string, int> FMediums;
  int FLastError = 0;
};

class TFakeFileSystem : public IFileSystem {
 public:
  explicit TFakeFileSystem(TFakeDrives& drives) : FDrives(drives) {}

  // Folders opened from now on resolve below themselves one component at a
  // time, the way the real one goes where it has no openat2.
  void ResolveByComponents(bool on) { FReal.ResolveByComponents = on; }

  // ---- fault injection (all off by default) ----
  // After `bytes` more bytes have been written (over all files), writes come
  // up short with `error`.
  void FailWritesAfter(i64 bytes, int error);
  // The n-th Write call from now (1-based) writes nothing and fails.
  void FailNthWrite(int n, int error);
  // After `bytes` more bytes have been read, reads throw EInOutError.
  void FailReadsAfter(i64 bytes, int error);
  // The next `count` renames fail with `error`.
  void FailRenames(int count, int error);
  // Creating files and folders (Open Create, CreateNew, CreateUniqueFile,
  // CreateFolder, and the same through a folder held open) below this
  // folder fails with EACCES; empty turns it off.
  std::string DenyCreateBelow;
  // Listing this folder fails with `error` (as an unreadable folder does
  // for an ordinary user, whatever user the test runs as).
  void FailListing(const std::string& folder, int error);
  void ClearFaults();
  // Runs after every successful read-mode Open, with the path: lets a test
  // act (another writer, say) between an open and what follows it.
  std::function<void(const std::string& path)> AfterOpenForReading;

  // ---- records ----
  std::vector<std::string> Deleted;
  std::vector<std::pair<std::string, std::string>> Renamed;
  int WriteCalls = 0;

  // ---- IFileSystem ----
  std::unique_ptr<IFile> Open(const std::string& path, TOpenMode mode) override;
  std::unique_ptr<IFile> CreateNew(const std::string& path) override;
  std::optional<TFileInfo> Stat(const std::string& path) override;
  std::optional<TFileInfo> LStat(const std::string& path) override;
  // Unlike Linux, the fake keeps the hidden, system and archive bits, so
  // attribute filters can be tested.
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
  // Judged by the permission bits alone, so that a test run as root sees a
  // read-only file as an ordinary user would.
  bool MayWrite(const std::string& path) override;
  // Folders held open keep the faults and records of the paths below them.
  std::unique_ptr<IFolder> OpenFolder(const std::string& path) override;
  u32 CreationMask() override { return FReal.CreationMask(); }
  int LastError() const override;

  std::string TempFolderPath;  // set by TFakePlatform

  // Used by the fake's open files.
  std::size_t AllowWrite(const std::string& path, std::size_t wanted, i64 overwrite, int& error);
  void CountRead(std::size_t bytes);

 private:
  friend class TFakeFolder;
  bool CreateDenied(const std::string& path);
  std::string Key(const std::string& path);
  u32 AdjustAttributes(const std::string& path, u32 attributes);

  TFakeDrives& FDrives;
  TPosixFileSystem FReal;
  std::map<std::string, u32> FExtraAttributes;  // real path -> Hidden|SysFile|Archive
  i64 FWriteBudget = -1;
  int FWriteError = 0;
  int FFailingWrite = 0;
  int FFailingWriteError = 0;
  i64 FReadBudget = -1;
  int FReadError = 0;
  int FFailingRenames = 0;
  int FRenameError = 0;
  std::map<std::string, int> FFailingListings;  // absolute folder without "/" -> errno
  int FLastError = 0;
};

class TFakeClock : public IClock {
 public:
  TFileTime Now() override { return Time; }
  TFileTime Time = std::chrono::system_clock::from_time_t(1'700'000'000);  // 2023-11-14
};

// Repeatable bytes; Given records every byte handed out.
class TFakeRandom : public IRandom {
 public:
  void Fill(std::span<u8> bytes) override;
  u32 State = 12345;
  std::vector<u8> Given;
};

// Owns a scratch folder (removed with everything in it at destruction) and the
// fake services; the host is the test's. The environment's folders, the
// program file's place and the trash lie in the scratch folder:
// <root>/bin/ (the program's folder, made), <root>/data/, <root>/config/ and
// <root>/trash/ (made when needed).
class TFakePlatform {
 public:
  explicit TFakePlatform(IHost& host);
  ~TFakePlatform();
  TFakePlatform(const TFakePlatform&) = delete;
  TFakePlatform& operator=(const TFakePlatform&) = delete;

  const TPlatform& Services() const { return FPlatform; }
  // The scratch folder, ending in "/".
  const std::string& Root() const { return FRoot; }
  // Creates <root>/<name>/ and registers it as a drive.
  TFakeDrive& AddDrive(const std::string& name, TDriveType type, bool floppy = false,
                       std::optional<std::string> label = std::nullopt, i64 capacity = -1);

  TFakeDrives Drives;
  TFakeFileSystem Files{Drives};
  TFakeClock Clock;
  TFakeRandom Random;
  TFakeEnvironment Environment;
  TFakeSettingsStore Settings;
  TFakeProcesses Processes;
  TFakeShell Shell{Files};
  TFakeMail Mail;

 private:
  std::string FRoot;
  TPlatform FPlatform;
};

}  // namespace vz
