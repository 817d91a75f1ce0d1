// The fake platform delegates to the real file system inside its scratch
// folder and layers drives, faults and records on top, so behaviour that the
// fake does not change is exactly the real one.
#include "platform/fake/FakePlatform.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "platform/Errors.h"
#include "platform/posix/PosixDrives.h"

namespace vz {
namespace {

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

std::string AbsolutePath(const std::string& path) {
  char cwd[PATH_MAX];
  return NormalisePath(path, ::getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/");
}

i64 BytesBelow(const std::string& folder) {
  std::error_code ec;
  i64 total = 0;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec)) total += static_cast<i64>(it->file_size(ec));
  }
  return total;
}

class TFakeFile : public IFile {
 public:
  TFakeFile(std::unique_ptr<IFile> real, TFakeFileSystem& owner)
      : FReal(std::move(real)), FOwner(owner) {}

  const std::string& Path() const override { return FReal->Path(); }

  std::size_t Read(std::span<u8> buffer) override {
    const std::size_t n = FReal->Read(buffer);
    FOwner.CountRead(n);
    return n;
  }

  std::size_t Write(std::span<const u8> data) override {
    int error = 0;
    // Bytes that overwrite the file take no new room on the drive.
    const i64 position = FReal->Seek(0, TSeekOrigin::Current);
    const i64 overwrite = std::max<i64>(0, FReal->Size() - position);
    const std::size_t allowed = FOwner.AllowWrite(Path(), data.size(), overwrite, error);
    const std::size_t n = FReal->Write(data.first(allowed));
    if (n < data.size()) FLastError = error != 0 ? error : FReal->LastError();
    return n;
  }

  i64 Seek(i64 offset, TSeekOrigin origin) override { return FReal->Seek(offset, origin); }
  i64 Size() override { return FReal->Size(); }
  void SetSize(i64 size) override { FReal->SetSize(size); }
  TFileTime LastWriteTime() override { return FReal->LastWriteTime(); }
  TFileInfo Info() override { return FReal->Info(); }
  void SetLastWriteTime(TFileTime time) override { FReal->SetLastWriteTime(time); }
  void Sync() override { FReal->Sync(); }
  bool SetMode(u32 mode) override { return FReal->SetMode(mode); }
  int LastError() const override { return FLastError != 0 ? FLastError : FReal->LastError(); }

 private:
  std::unique_ptr<IFile> FReal;
  TFakeFileSystem& FOwner;
  int FLastError = 0;
};

}  // namespace

// A real folder held open, with the fake's faults and records on what is
// made, renamed and deleted through it.
class TFakeFolder : public IFolder {
 public:
  TFakeFolder(std::unique_ptr<IFolder> real, TFakeFileSystem& owner)
      : FReal(std::move(real)), FOwner(owner) {}

  const std::string& Path() const override { return FReal->Path(); }

  std::unique_ptr<IFolder> OpenFolder(std::string_view relative, bool create) override {
    FLastError = 0;
    auto folder = FReal->OpenFolder(relative, false);
    if (!folder && create && FReal->LastError() == ENOENT &&
        FOwner.CreateDenied(WithSlash(Path()) + std::string(relative))) {
      FLastError = EACCES;
      return nullptr;
    }
    if (!folder && create) folder = FReal->OpenFolder(relative, true);
    if (!folder) return nullptr;
    return std::make_unique<TFakeFolder>(std::move(folder), FOwner);
  }

  std::unique_ptr<IFile> CreateNew(const std::string& name) override {
    FLastError = 0;
    const std::string path = WithSlash(Path()) + name;
    if (FOwner.CreateDenied(path)) {
      FLastError = EACCES;
      throw EFCreateError(path, EACCES,
                          "Cannot create file \"" + path + "\": " + SystemErrorText(EACCES));
    }
    return std::make_unique<TFakeFile>(FReal->CreateNew(name), FOwner);
  }

  std::optional<TFileInfo> LStat(const std::string& name) override { return FReal->LStat(name); }

  bool Rename(const std::string& from, const std::string& to) override {
    FLastError = 0;
    if (FOwner.FFailingRenames > 0) {
      --FOwner.FFailingRenames;
      FLastError = FOwner.FRenameError;
      return false;
    }
    if (!FReal->Rename(from, to)) return false;
    FOwner.Renamed.emplace_back(WithSlash(Path()) + from, WithSlash(Path()) + to);
    return true;
  }

  bool Delete(const std::string& name) override {
    FLastError = 0;
    if (!FReal->Delete(name)) return false;
    FOwner.Deleted.push_back(WithSlash(Path()) + name);
    return true;
  }

  bool SetMode(u32 mode) override { return FReal->SetMode(mode); }
  int LastError() const override { return FLastError != 0 ? FLastError : FReal->LastError(); }

 private:
  std::unique_ptr<IFolder> FReal;
  TFakeFileSystem& FOwner;
  int FLastError = 0;
};

// ---------------------------------------------------------------- drives

TFakeDrive& TFakeDrives::AddDrive(TFakeDrive drive) {
  drive.MountPoint = WithSlash(drive.MountPoint);
  FDrives.push_back(std::move(drive));
  FMediums[FDrives.back().MountPoint] = 1;
  return FDrives.back();
}

TFakeDrive* TFakeDrives::Find(const std::string& drive) {
  const std::string key = WithSlash(drive);
  for (auto& d : FDrives) {
    if (d.MountPoint == key) return &d;
  }
  return nullptr;
}

std::string TFakeDrives::ChangeMedium(const std::string& drive, std::optional<std::string> label) {
  TFakeDrive* d = Find(drive);
  if (d == nullptr) return {};
  const std::string folder = d->MountPoint.substr(0, d->MountPoint.size() - 1);
  const std::string shelf = folder + ".medium" + std::to_string(FMediums[d->MountPoint]++);
  std::filesystem::rename(folder, shelf);
  std::filesystem::create_directory(folder);
  d->Label = std::move(label);
  return WithSlash(shelf);
}

int TFakeDrives::Mediums(const std::string& drive) {
  return FMediums[WithSlash(drive)];
}

std::string TFakeDrives::DriveOf(const std::string& path) {
  const std::string full = WithSlash(AbsolutePath(path));
  const TFakeDrive* best = nullptr;
  for (const auto& d : FDrives) {
    if (full.rfind(d.MountPoint, 0) == 0 &&
        (best == nullptr || d.MountPoint.size() > best->MountPoint.size())) {
      best = &d;
    }
  }
  return best != nullptr ? best->MountPoint : "/";
}

TDriveType TFakeDrives::DriveType(const std::string& drive) {
  const TFakeDrive* d = Find(drive);
  return d != nullptr ? d->Type : TDriveType::Fixed;
}

bool TFakeDrives::IsFloppy(const std::string& drive) {
  const TFakeDrive* d = Find(drive);
  return d != nullptr && d->Floppy;
}

i64 TFakeDrives::FreeSpace(const std::string& drive) {
  const TFakeDrive* d = Find(drive);
  if (d == nullptr) return DefaultFreeBytes;
  if (d->Capacity < 0) return d->FreeBytes;
  return std::max<i64>(0, d->Capacity - BytesBelow(d->MountPoint));
}

std::optional<std::string> TFakeDrives::VolumeLabel(const std::string& drive) {
  const TFakeDrive* d = Find(drive);
  if (d == nullptr || !d->Label) return std::nullopt;
  return d->Label->substr(0, 11);
}

bool TFakeDrives::SetVolumeLabel(const std::string& drive, const std::string& label) {
  TFakeDrive* d = Find(drive);
  if (d == nullptr || !d->LabelWritable) {
    FLastError = ENOTSUP;
    return false;
  }
  d->Label = label.substr(0, 11);
  LabelsWritten.push_back(d->MountPoint + "=" + *d->Label);
  return true;
}

std::vector<std::string> TFakeDrives::MountPoints() {
  std::vector<std::string> points{"/"};
  for (const auto& d : FDrives) points.push_back(d.MountPoint);
  return points;
}

// ---------------------------------------------------------------- files

void TFakeFileSystem::FailWritesAfter(i64 bytes, int error) {
  FWriteBudget = bytes;
  FWriteError = error;
}

void TFakeFileSystem::FailNthWrite(int n, int error) {
  FFailingWrite = WriteCalls + n;
  FFailingWriteError = error;
}

void TFakeFileSystem::FailReadsAfter(i64 bytes, int error) {
  FReadBudget = bytes;
  FReadError = error;
}

void TFakeFileSystem::FailRenames(int count, int error) {
  FFailingRenames = count;
  FRenameError = error;
}

void TFakeFileSystem::FailListing(const std::string& folder, int error) {
  FFailingListings[AbsolutePath(folder)] = error;
}

void TFakeFileSystem::ClearFaults() {
  FFailingListings.clear();
  FWriteBudget = -1;
  FFailingWrite = 0;
  FReadBudget = -1;
  FFailingRenames = 0;
  DenyCreateBelow.clear();
}

std::size_t TFakeFileSystem::AllowWrite(const std::string& path, std::size_t wanted, i64 overwrite,
                                        int& error) {
  ++WriteCalls;
  if (FFailingWrite != 0 && WriteCalls == FFailingWrite) {
    error = FFailingWriteError;
    return 0;
  }
  std::size_t allowed = wanted;
  if (FWriteBudget >= 0) {
    if (static_cast<i64>(allowed) > FWriteBudget) {
      allowed = static_cast<std::size_t>(FWriteBudget);
      error = FWriteError;
    }
    FWriteBudget -= static_cast<i64>(allowed);
  }
  const std::string drive = FDrives.DriveOf(path);
  if (const TFakeDrive* d = FDrives.Find(drive); d != nullptr && d->Capacity >= 0) {
    const i64 room = FDrives.FreeSpace(drive) + overwrite;
    if (static_cast<i64>(allowed) > room) {
      allowed = static_cast<std::size_t>(std::max<i64>(0, room));
      error = ENOSPC;
    }
  }
  return allowed;
}

void TFakeFileSystem::CountRead(std::size_t bytes) {
  if (FReadBudget < 0) return;
  if (static_cast<i64>(bytes) > FReadBudget) {
    FReadBudget = -1;
    throw EInOutError("", FReadError, "Read error: " + SystemErrorText(FReadError));
  }
  FReadBudget -= static_cast<i64>(bytes);
}

bool TFakeFileSystem::CreateDenied(const std::string& path) {
  if (DenyCreateBelow.empty()) return false;
  const std::string full = AbsolutePath(path);
  const std::string prefix = WithSlash(AbsolutePath(DenyCreateBelow));
  if (WithSlash(full).rfind(prefix, 0) != 0) return false;
  FLastError = EACCES;
  return true;
}

std::string TFakeFileSystem::Key(const std::string& path) {
  std::string real = FReal.RealPath(path);
  return real.empty() ? AbsolutePath(path) : real;
}

u32 TFakeFileSystem::AdjustAttributes(const std::string& path, u32 attributes) {
  const auto it = FExtraAttributes.find(Key(path));
  if (it == FExtraAttributes.end()) return attributes;
  constexpr u32 kKept = faAttr::Hidden | faAttr::SysFile | faAttr::Archive;
  return (attributes & ~kKept) | (it->second & kKept);
}

std::unique_ptr<IFile> TFakeFileSystem::Open(const std::string& path, TOpenMode mode) {
  FLastError = 0;  // an injected failure answers only for its own call
  if (mode == TOpenMode::Create && CreateDenied(path)) {
    throw EFCreateError(path, EACCES,
                        "Cannot create file \"" + path + "\": " + SystemErrorText(EACCES));
  }
  auto file = std::make_unique<TFakeFile>(FReal.Open(path, mode), *this);
  if (mode != TOpenMode::Create && AfterOpenForReading) AfterOpenForReading(path);
  return file;
}

std::unique_ptr<IFile> TFakeFileSystem::CreateNew(const std::string& path) {
  FLastError = 0;  // an injected failure answers only for its own call
  if (CreateDenied(path)) {
    throw EFCreateError(path, EACCES,
                        "Cannot create file \"" + path + "\": " + SystemErrorText(EACCES));
  }
  return std::make_unique<TFakeFile>(FReal.CreateNew(path), *this);
}

std::optional<TFileInfo> TFakeFileSystem::Stat(const std::string& path) {
  auto info = FReal.Stat(path);
  if (info) info->Attributes = AdjustAttributes(path, info->Attributes);
  return info;
}

std::optional<TFileInfo> TFakeFileSystem::LStat(const std::string& path) {
  auto info = FReal.LStat(path);
  if (info && !info->IsSymlink) info->Attributes = AdjustAttributes(path, info->Attributes);
  return info;
}

bool TFakeFileSystem::SetAttributes(const std::string& path, u32 attributes) {
  if (!FReal.SetAttributes(path, attributes)) return false;
  FExtraAttributes[Key(path)] = attributes;
  return true;
}

bool TFakeFileSystem::SetLastWriteTime(const std::string& path, TFileTime time) {
  return FReal.SetLastWriteTime(path, time);
}

bool TFakeFileSystem::CopyAccessRights(const std::string& from, const std::string& to) {
  return FReal.CopyAccessRights(from, to);
}

bool TFakeFileSystem::MakeExecutable(const std::string& path) {
  return FReal.MakeExecutable(path);
}

bool TFakeFileSystem::SetDefaultAccessRights(const std::string& path) {
  return FReal.SetDefaultAccessRights(path);
}

bool TFakeFileSystem::DeleteFile(const std::string& path) {
  FLastError = 0;  // an injected failure answers only for its own call
  const std::string key = Key(path);
  if (!FReal.DeleteFile(path)) return false;
  FExtraAttributes.erase(key);
  Deleted.push_back(path);
  return true;
}

bool TFakeFileSystem::RenameFile(const std::string& from, const std::string& to) {
  FLastError = 0;  // an injected failure answers only for its own call
  if (FFailingRenames > 0) {
    --FFailingRenames;
    FLastError = FRenameError;
    return false;
  }
  const std::string fromKey = Key(from);
  if (!FReal.RenameFile(from, to)) return false;
  if (const auto it = FExtraAttributes.find(fromKey); it != FExtraAttributes.end()) {
    const u32 bits = it->second;
    FExtraAttributes.erase(it);
    FExtraAttributes[Key(to)] = bits;
  }
  Renamed.emplace_back(from, to);
  return true;
}

bool TFakeFileSystem::CreateFolder(const std::string& path) {
  FLastError = 0;  // an injected failure answers only for its own call
  if (CreateDenied(path)) return false;
  return FReal.CreateFolder(path);
}

bool TFakeFileSystem::RemoveFolder(const std::string& path) {
  return FReal.RemoveFolder(path);
}
std::string TFakeFileSystem::CurrentFolder() {
  return FReal.CurrentFolder();
}
bool TFakeFileSystem::SetCurrentFolder(const std::string& path) {
  return FReal.SetCurrentFolder(path);
}
std::string TFakeFileSystem::RealPath(const std::string& path) {
  return FReal.RealPath(path);
}

bool TFakeFileSystem::ListFolder(const std::string& path, std::vector<TDirEntry>& entries) {
  FLastError = 0;  // an injected failure answers only for its own call
  if (const auto it = FFailingListings.find(AbsolutePath(path)); it != FFailingListings.end()) {
    entries.clear();
    FLastError = it->second;
    return false;
  }
  if (!FReal.ListFolder(path, entries)) return false;
  for (auto& entry : entries) {
    entry.Info.Attributes = AdjustAttributes(WithSlash(path) + entry.Name, entry.Info.Attributes);
  }
  return true;
}

std::string TFakeFileSystem::TempFolder() {
  return TempFolderPath;
}

std::string TFakeFileSystem::CreateUniqueFile(const std::string& folder,
                                              const std::string& prefix) {
  if (CreateDenied(WithSlash(folder) + prefix)) {
    throw EFCreateError(
        folder, EACCES,
        "Cannot create a temporary file in \"" + folder + "\": " + SystemErrorText(EACCES));
  }
  return FReal.CreateUniqueFile(folder, prefix);
}

bool TFakeFileSystem::SyncFolder(const std::string& path) {
  return FReal.SyncFolder(path);
}

std::unique_ptr<IFileLock> TFakeFileSystem::TryLockFile(const std::string& path) {
  FLastError = 0;  // an injected failure answers only for its own call
  if (CreateDenied(path) && !FReal.LStat(path)) {
    throw EFCreateError(path, EACCES,
                        "Cannot create file \"" + path + "\": " + SystemErrorText(EACCES));
  }
  return FReal.TryLockFile(path);
}

bool TFakeFileSystem::MayWrite(const std::string& path) {
  FLastError = 0;
  const auto info = FReal.Stat(path);
  if (info && (info->UnixMode & 0222) == 0) {
    FLastError = EACCES;
    return false;
  }
  return FReal.MayWrite(path);
}

std::unique_ptr<IFolder> TFakeFileSystem::OpenFolder(const std::string& path) {
  FLastError = 0;
  auto real = FReal.OpenFolder(path);
  if (!real) return nullptr;
  return std::make_unique<TFakeFolder>(std::move(real), *this);
}

int TFakeFileSystem::LastError() const {
  return FLastError != 0 ? FLastError : FReal.LastError();
}

// ---------------------------------------------------------------- random

void TFakeRandom::Fill(std::span<u8> bytes) {
  for (auto& b : bytes) {
    State = State * 1103515245u + 12345u;
    b = static_cast<u8>(State >> 16);
    Given.push_back(b);
  }
}

// ---------------------------------------------------------------- bundle

TFakePlatform::TFakePlatform(IHost& host)
    : FPlatform{Files, Drives, Clock, Random, host, Environment, Settings, Processes, Shell, Mail} {
  std::string pattern = TPosixFileSystem().TempFolder() + "vzfake-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw EVarnelError("Cannot create the fake platform's folder: " + SystemErrorText(errno));
  }
  FRoot = pattern + "/";
  std::filesystem::create_directory(FRoot + "tmp");
  Files.TempFolderPath = FRoot + "tmp/";
  std::filesystem::create_directory(FRoot + "bin");
  Environment.ProgramPath = FRoot + "bin/zip";
  Environment.DataFolder = FRoot + "data/";
  Environment.ConfigFolder = FRoot + "config/";
  Environment.Files = &Files;
  Shell.TrashFolder = FRoot + "trash/";
}

TFakePlatform::~TFakePlatform() {
  std::error_code ec;
  // Read-only files and folders made by tests must not stop the clean-up.
  for (auto it = std::filesystem::recursive_directory_iterator(FRoot, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(FRoot, ec);
}

TFakeDrive& TFakePlatform::AddDrive(const std::string& name, TDriveType type, bool floppy,
                                    std::optional<std::string> label, i64 capacity) {
  const std::string folder = FRoot + name;
  std::filesystem::create_directories(folder);
  TFakeDrive drive;
  drive.MountPoint = folder;
  drive.Type = type;
  drive.Floppy = floppy;
  drive.Label = std::move(label);
  drive.Capacity = capacity;
  return Drives.AddDrive(std::move(drive));
}

}  // namespace vz
