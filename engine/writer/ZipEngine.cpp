// The zip operation's frame: settings, the steps of PerformZip, the finish
// that puts the new archive in place, and the failure path that leaves the
// old one untouched.
#include "engine/writer/ZipEngine.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "engine/codecs/Deflate.h"
#include "engine/format/ZipNames.h"
#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "engine/support/Wildcard.h"
#include "engine/writer/ZipOperation.h"
#include "platform/FileHelpers.h"

namespace vz {
namespace {

constexpr auto kLockPollInterval = std::chrono::milliseconds(50);
constexpr auto kLockWaitNotice = std::chrono::seconds(1);

bool SameFile(const TFileInfo& a, const TFileInfo& b) {
  return a.Device == b.Device && a.Inode == b.Inode && a.Size == b.Size &&
         a.LastWrite == b.LastWrite;
}

// The part of `folder` below the deepest folder it shares with `root`
// (both absolute, ending in "/"): "/a/x/" against the root "/a/b/" gives
// "x/", so a file beside the root folder is stored as zip stores "../x/f".
std::string BelowCommonFolder(const std::string& folder, const std::string& root) {
  std::size_t common = 0;
  for (std::size_t i = 0; i < folder.size() && i < root.size() && folder[i] == root[i]; ++i) {
    if (folder[i] == '/') common = i + 1;
  }
  return folder.substr(common);
}

}  // namespace

TZipEngine::TZipEngine(const TPlatform& platform) : TUnZipEngine(platform) {}

TZipEngine::~TZipEngine() = default;

// ---------------------------------------------------------------- settings

void TZipEngine::SetStorePaths(bool value) {
  if (value == FStorePaths) return;
  FStorePaths = value;
  if (!value) {
    FStoreVolumes = false;
    FRelativePaths = false;
  }
}

void TZipEngine::SetRelativePaths(bool value) {
  if (value == FRelativePaths) return;
  FRelativePaths = value;
  if (value) {
    FStorePaths = true;
    Recurse = true;
  }
}

void TZipEngine::SetStoreVolumes(bool value) {
  if (value == FStoreVolumes) return;
  FStoreVolumes = value;
  if (value) FStorePaths = true;
}

void TZipEngine::SetZipName(const std::string& value) {
  if (value == ZipName()) return;
  WritePendingComments();
  TUnZipEngine::SetZipName(value);
}

void TZipEngine::WritePendingComments() {
  if (!IsModified()) return;
  const TOperationScope operation(*this);
  const auto saved = FilesList;
  FilesList.clear();
  try {
    PerformZip();
  } catch (...) {
    FilesList = saved;
    throw;
  }
  FilesList = saved;
  FEndCentral.Modified = false;
}

// ---------------------------------------------------------------- operations

int TZipEngine::PerformDelete() {
  const TOperationScope operation(*this);
  FDeleting = true;
  struct TReset {
    bool& Flag;
    ~TReset() { Flag = false; }
  } reset{FDeleting};
  TZipOperation op;
  RunOperation(op);
  return op.Deleted;
}

int TZipEngine::PerformZipFromStream(TStream& stream, const std::string& name) {
  const TOperationScope operation(*this);
  FFromStream = true;
  FSourceStreamFromCaller = &stream;
  struct TReset {
    TZipEngine& Engine;
    ~TReset() {
      Engine.FFromStream = false;
      Engine.FSourceStreamFromCaller = nullptr;
    }
  } reset{*this};
  stream.Seek(0, TSeekOrigin::Begin);
  FilesList = {name};
  const int count = PerformZip();
  CloseZip();
  return count;
}

int TZipEngine::PerformZip() {
  const TOperationScope operation(*this);
  TZipOperation op;
  RunOperation(op);
  return op.Count;
}

void TZipEngine::CommitModified() {
  if (!IsModified()) return;
  const TOperationScope operation(*this);
  FilesList.clear();
  PerformZip();
  FEndCentral.Modified = false;
  ReadZip();
}

std::string TZipEngine::LockFileName(const std::string& archive) {
  return ExtractFilePath(archive) + "." + ExtractFileName(archive) + ".lock";
}

std::string TZipEngine::TempFolder() const {
  if (TempPath.empty()) return FPlatform.Files.TempFolder();
  // A folder the user named that is not there is a mistake to report, not
  // a reason to put the archive's copy somewhere else.
  const auto info = FPlatform.Files.Stat(TempPath);
  if (!info || !info->IsDirectory) {
    const int code = info ? ENOTDIR : FPlatform.Files.LastError();
    throw EFOpenError(TempPath, code,
                      TempPath + ": the folder for temporary files " +
                          (info ? "is not a folder" : "cannot be used: " + SystemErrorText(code)));
  }
  return IncludeTrailingSlash(TempPath);
}

std::string TZipEngine::StoredDirectory(const std::string& fileName) const {
  std::string folder = IncludeTrailingSlash(ExtractFilePath(fileName));
  if (!StoredFolder.empty()) {
    // With relative paths, a file below the root keeps its path below it
    // inside the stored folder: a folder added there keeps its tree.
    const bool below = FRelativePaths && !FRoot.empty() && folder.rfind(FRoot, 0) == 0;
    folder = IncludeTrailingSlash(StoredFolder) + (below ? folder.substr(FRoot.size()) : "");
  } else if (FRelativePaths && !FRoot.empty()) {
    // Outside the root, only the part below the folder both share is kept,
    // never a climb out of it ("../") or the whole path from "/".
    folder = folder.rfind(FRoot, 0) == 0 ? folder.substr(FRoot.size())
                                         : BelowCommonFolder(folder, FRoot);
  } else if (!FStoreVolumes) {
    folder.erase(0, ExtractDrive(folder).size());
    if (!folder.empty() && folder[0] == '/') folder.erase(0, 1);
  }
  // "." and ".." have no place in a stored name: another program would
  // resolve them outside its destination. A folder of the archive itself
  // may be a share ("//server/share/"), whose leading slashes stay.
  const std::size_t slashes = std::min(folder.find_first_not_of('/'), folder.size());
  std::string clean(StoredFolder.empty() ? std::min<std::size_t>(slashes, 1) : slashes, '/');
  std::size_t start = 0;
  while (start < folder.size()) {
    const auto end = folder.find('/', start);
    const std::string part = folder.substr(start, end - start);
    if (!part.empty() && part != "." && part != "..") {
      clean.append(part);
      clean.push_back('/');
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return clean;
}

// ---------------------------------------------------------------- the operation

void TZipEngine::ResolvePaths(TZipOperation& op) {
  op.Folder = FPlatform.Files.CurrentFolder();
  if (op.Folder.empty()) {
    const int code = FPlatform.Files.LastError();
    throw EInOutError(".", code, "The current folder cannot be found: " + SystemErrorText(code));
  }
  const auto absolute = [&](const std::string& path) { return NormalisePath(path, op.Folder); };
  FRoot = RootDir().empty() ? std::string() : IncludeTrailingSlash(absolute(RootDir()));
  if (FDeleting || FFromStream) return;
  for (std::string& line : FilesList) {
    if (line.empty()) continue;
    const bool prefixed = HasPatternChars(line) && (line[0] == '|' || line[0] == '>');
    std::string path = prefixed ? line.substr(1) : line;
    // A bare name belongs to RootDir; everything else to the current folder.
    if (path.find_first_of("/:") == std::string::npos) path = FRoot + path;
    if (path.empty() || path[0] != '/') {
      const bool folderPattern = !path.empty() && path.back() == '/';
      path = absolute(path);
      if (folderPattern) path = IncludeTrailingSlash(path);
    }
    line = (prefixed ? line.substr(0, 1) : std::string()) + path;
  }
}

std::string TZipEngine::ArchivePath() const {
  // A link is updated where it points, and stays a link.
  std::string real = FPlatform.Files.RealPath(ZipName());
  if (!real.empty()) return real;
  const std::string folder = ExtractFilePath(ZipName());
  real = FPlatform.Files.RealPath(folder.empty() ? "." : folder);
  return real.empty() ? ZipName() : IncludeTrailingSlash(real) + ExtractFileName(ZipName());
}

std::unique_ptr<IFileLock> TZipEngine::LockArchive(const std::string& archive) {
  const std::string lockName = LockFileName(archive);
  const auto start = std::chrono::steady_clock::now();
  bool told = false;
  while (true) {
    std::unique_ptr<IFileLock> lock;
    try {
      lock = FPlatform.Files.TryLockFile(lockName);
    } catch (const EFileError&) {
      // Writing elsewhere from an archive in a folder we may not write
      // (repairing, making a self-extractor) needs no lock.
      if (!FAlternateOutput.empty()) return nullptr;
      throw;
    }
    if (lock) return lock;
    if (!WaitForLock) {
      throw EArchiveLocked(ZipName() + ": another program is changing the archive (it holds " +
                           lockName + "); nothing was done");
    }
    if (!told && std::chrono::steady_clock::now() - start >= kLockWaitNotice) {
      told = true;
      Fire(OnWaitForLock, *this, lockName);
    }
    std::this_thread::sleep_for(kLockPollInterval);
    CheckCancel();
  }
}

void TZipEngine::OpenExistingArchive(TZipOperation& op) {
  const bool replacing = FAlternateOutput.empty();
  if (replacing && !FPlatform.Files.MayWrite(op.Target)) {
    const int code = FPlatform.Files.LastError();
    throw EFCreateError(ZipName(), code,
                        ZipName() + ": the archive may not be written (" + SystemErrorText(code) +
                            "); it was left as it is");
  }
  op.Identity = FPlatform.Files.Stat(op.Target);
  // Reads the directory again when another writer changed the archive
  // since it was read.
  OpenZip();
  if (FEndCentral.ThisDisk != 0 || SliceCount() > 1) {
    throw EVarnelError(ZipName() + ": a multi-disk archive cannot be changed");
  }
  if (replacing && Rebuilt()) {
    throw EVarnelError(ZipName() +
                       ": the archive is damaged (its directory is missing or cut off; the "
                       "members were found by their own headers); repair it first, and change "
                       "the repaired copy. The archive was left as it is");
  }
}

void TZipEngine::CheckArchiveUnchanged(const TZipOperation& op) {
  const auto now = FPlatform.Files.Stat(op.Target);
  if (!now || !op.Identity || !SameFile(*now, *op.Identity)) {
    throw EVarnelError(ZipName() +
                       ": another program changed the archive while it was being rewritten; "
                       "it was left as that program made it, and nothing of this operation "
                       "was kept");
  }
}

void TZipEngine::RunOperation(TZipOperation& op) {
  const TZipSortMode savedSort = SortMode;
  const bool savedKeepOpen = KeepZipOpen;
  struct TRestore {
    TZipEngine& Engine;
    TZipSortMode Sort;
    bool KeepOpen;
    ~TRestore() {
      Engine.SortMode = Sort;
      Engine.KeepZipOpen = KeepOpen;
      Engine.CloseZip();
    }
  } restore{*this, savedSort, savedKeepOpen};
  KeepZipOpen = true;

  ResolvePaths(op);
  const std::string tempFolder = TempFolder();
  op.Target = ArchivePath();
  const bool spanning = MultiMode() != TMultiMode::mmNone;
  if (spanning && FPlatform.Files.Stat(op.Target)) {
    throw EVarnelError(ZipName() +
                       ": an archive can only be split over disks when it is made;"
                       " it exists already");
  }
  if (spanning) StartSpanning(op);
  if (!FDeleting && !FFromStream && !FilesList.empty()) ExpandFilesList(op);
  if (FFromStream) op.TotalBytes = op.LargestFile = FSourceStreamFromCaller->Size();
  if (spanning) RefuseZip64Spanning(op);

  const auto lock = LockArchive(op.Target);
  FDeflater = std::make_unique<TDeflater>();
  try {
    op.ArchiveExisted = FPlatform.Files.Stat(op.Target).has_value();
    if (!op.ArchiveExisted) {
      CreateOutput(op, ZipName());
      if (WorkerCount() > 1) StartPipeline(op, FilesList);
    } else {
      OpenExistingArchive(op);
      CreateOutput(op, UniqueTempName(FPlatform.Files, tempFolder));
      CopyAndUpdateMembers(op);
    }
    if (!FDeleting && !FilesList.empty()) {
      bool stopNow = false;
      Fire(OnStartZipInfo, *this, static_cast<int>(FilesList.size()), op.TotalBytes, op.NewEnd,
           stopNow);
      if (stopNow) throw EUserCanceled("User canceled Zip operation.");
      const auto names = FilesList;
      for (const auto& name : names) ZipOneFile(op, name);
    }
    op.Pipeline.reset();
    WriteCentralDirectory(op);
    op.Output->Commit();
    op.Output->Handle().Sync();
    op.Output.reset();
    // The point of no return is next: a cancel that came while the last
    // bytes went out still leaves the old archive as it was.
    CheckCancel();
    if (op.ArchiveExisted && FAlternateOutput.empty()) CheckArchiveUnchanged(op);
  } catch (...) {
    FailureCleanup(op);
    throw;
  }
  FDeflater.reset();
  Finish(op);
}

int TZipEngine::WorkerCount() const {
  if (Workers > 0) return Workers;
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// Only plain archives are compressed ahead: a spanned member's disk is
// chosen as it is written, and a stream of the caller's is read once.
void TZipEngine::StartPipeline(TZipOperation& op, std::vector<std::string> plan) {
  if (FDeleting || FFromStream || MultiMode() != TMultiMode::mmNone || plan.empty() ||
      PackLevel <= 0) {
    return;
  }
  op.Pipeline = std::make_unique<TCompressionPipeline>(FPlatform.Files, WorkerCount(), PackLevel,
                                                       std::move(plan), CancelOperation);
  op.Pipeline->Feed();
}

void TZipEngine::CreateOutput(TZipOperation& op, const std::string& name) {
  std::string outputName = name;
  if (MultiMode() == TMultiMode::mmBlocks) {
    char extension[32];
    std::snprintf(extension, sizeof extension, ".%03d", op.Disk + 1);
    outputName = ChangeFileExt(outputName, extension);
    op.Output = std::make_unique<TLFNFileStream>(FPlatform.Files, outputName, TOpenMode::Create);
  } else if (!op.ArchiveExisted) {
    // Exclusively: should a program that takes no lock have made the
    // archive meanwhile, its file is not written over.
    op.Output = std::make_unique<TLFNFileStream>(FPlatform.Files.CreateNew(outputName));
  } else {
    op.Output = std::make_unique<TLFNFileStream>(FPlatform.Files, outputName, TOpenMode::Create);
  }
  // Only a file this operation made is removed on failure.
  op.OutputName = outputName;
  if (FStubStream) {
    FStubStream->Seek(0, TSeekOrigin::Begin);
    op.Output->CopyFrom(*FStubStream, -1);
  }
  op.NewCatalogue = std::make_unique<TSortedZip>(TDuplicates::DuplicatesRejected, true);
  if (op.ArchiveExisted) {
    if (FEndCentral.HasComment() && !FEndCentral.ZipComment) LoadZipComment();
    op.NewEnd.Assign(FEndCentral);
    op.NewEnd.TotalEntries = 0;
    op.NewEnd.EntriesThisDisk = 0;
  }
}

void TZipEngine::FailureCleanup(TZipOperation& op) {
  op.Pipeline.reset();
  FDeflater.reset();
  op.SpanWork.reset();
  if (!op.SpanWorkName.empty()) FPlatform.Files.DeleteFile(op.SpanWorkName);
  op.Source.reset();
  op.Output.reset();
  if (!op.OutputName.empty()) FPlatform.Files.DeleteFile(op.OutputName);
}

void TZipEngine::ReplaceFile(const std::string& finished, const std::string& target) {
  IFileSystem& files = FPlatform.Files;
  const std::string folder = ExtractFilePath(target);
  // Whatever stops the new archive on its way into place, the complete copy
  // is named, so that no finished archive lies about unmentioned.
  const auto kept = [&](int code, const std::string& text) {
    throw EInOutError(target, code, text + " (the new archive is kept as " + finished + ")");
  };
  // The new archive takes the old one's rights, or a new file's.
  if (!files.CopyAccessRights(target, finished)) files.SetDefaultAccessRights(finished);
  if (files.RenameFile(finished, target)) {
    files.SyncFolder(folder.empty() ? "." : folder);
    return;
  }
  int code = files.LastError();
  if (code == EXDEV) {
    // Another file system: a complete, flushed copy beside the target first,
    // so the target is only ever replaced by a finished archive.
    std::string beside;
    try {
      beside = UniqueTempName(files, folder.empty() ? "." : folder);
      CopyFileContents(files, finished, beside);
    } catch (const EVarnelError& e) {
      if (!beside.empty()) files.DeleteFile(beside);
      const auto* fileError = dynamic_cast<const EFileError*>(&e);
      kept(fileError != nullptr ? fileError->Code() : EIO, e.what());
    }
    if (!files.CopyAccessRights(target, beside)) files.SetDefaultAccessRights(beside);
    if (files.RenameFile(beside, target)) {
      files.SyncFolder(folder.empty() ? "." : folder);
      files.DeleteFile(finished);
      return;
    }
    code = files.LastError();
    files.DeleteFile(beside);
  }
  kept(code, FileErrorMessage(target, code));
}

void TZipEngine::DisposeSources(const TZipOperation& op) {
  for (const auto& name : op.DisposeList) {
    bool skip = false;
    Fire(OnDisposeFile, *this, name, skip);
    if (skip) continue;
    // An empty folder stored as a folder entry goes with its files.
    if (!name.empty() && name.back() == '/') {
      FPlatform.Files.RemoveFolder(ExcludeTrailingSlash(name));
    } else {
      FPlatform.Files.DeleteFile(name);
    }
  }
}

void TZipEngine::Finish(TZipOperation& op) {
  if (MultiMode() == TMultiMode::mmBlocks) FinishBlocks(op);
  if (op.ArchiveExisted) {
    ReplaceFile(op.OutputName, FAlternateOutput.empty() ? op.Target : FAlternateOutput);
  }
  // Only now is the old catalogue stale: when the new archive could not be
  // put in place, the old one is still there and the caller's view with it.
  if (op.ArchiveExisted && !FStubStream) {
    const std::string name = ZipName();
    ClearZip();
    AssignZipName(name);
  }
  // Sources go only now that the new archive is safely in place.
  DisposeSources(op);
  if (!FStubStream) {
    if (op.ArchiveExisted && FAlternateOutput.empty()) DropZipStream();
    AdoptCatalogue(*op.NewCatalogue, op.NewEnd);
    op.NewCatalogue.reset();
    RememberArchiveDate();
    BuildView(SortMode);
  }
  NumDisks = op.Disk + 1;
}

}  // namespace vz
