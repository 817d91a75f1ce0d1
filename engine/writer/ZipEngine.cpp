// The zip operation's frame: settings, the steps of PerformZip, the finish
// that puts the new archive in place, and the failure path that leaves the
// old one untouched.
#include "engine/writer/ZipEngine.h"

#include <cerrno>
#include <cstdio>

#include "engine/codecs/Deflate.h"
#include "engine/format/ZipNames.h"
#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "engine/writer/ZipOperation.h"

namespace vz {

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
  if (IsModified()) {
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
  TUnZipEngine::SetZipName(value);
}

// ---------------------------------------------------------------- operations

int TZipEngine::PerformDelete() {
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
  CancelOperation = false;
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
  TZipOperation op;
  RunOperation(op);
  return op.Count;
}

void TZipEngine::CommitModified() {
  if (!IsModified()) return;
  FilesList.clear();
  PerformZip();
  FEndCentral.Modified = false;
  ReadZip();
}

std::string TZipEngine::TempFolder() const {
  if (!TempPath.empty()) {
    if (const auto info = FPlatform.Files.Stat(TempPath); info && info->IsDirectory) {
      return IncludeTrailingSlash(TempPath);
    }
  }
  return FPlatform.Files.TempFolder();
}

std::string TZipEngine::StoredDirectory(const std::string& fileName) const {
  std::string folder = IncludeTrailingSlash(ExtractFilePath(fileName));
  if (FRelativePaths && !RootDir().empty()) {
    if (folder.rfind(RootDir(), 0) == 0) folder.erase(0, RootDir().size());
  } else if (!FStoreVolumes) {
    folder.erase(0, ExtractDrive(folder).size());
    if (!folder.empty() && folder[0] == '/') folder.erase(0, 1);
  }
  // "." and ".." have no place in a stored name: another program would
  // resolve them outside its destination.
  std::string clean(!folder.empty() && folder[0] == '/' ? 1 : 0, '/');
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
  BuildView(TZipSortMode::ByNone);

  const bool spanning = MultiMode() != TMultiMode::mmNone;
  const auto existing = FPlatform.Files.Stat(ZipName());
  if (spanning && existing) {
    throw EVarnelError(ZipName() + ": an archive can only be split over disks when it is made;"
                                   " it exists already");
  }
  if (spanning) StartSpanning(op);
  if (!FDeleting && !FFromStream && !FilesList.empty()) ExpandFilesList(op);
  if (FFromStream) op.TotalBytes = FSourceStreamFromCaller->Size();

  FDeflater = std::make_unique<TDeflater>();
  try {
    op.ArchiveExisted = existing.has_value();
    if (!op.ArchiveExisted) {
      op.OutputName = ZipName();
      CreateOutput(op);
    } else {
      OpenZip();
      if (FEndCentral.ThisDisk != 0 || SliceCount() > 1) {
        throw EVarnelError(ZipName() + ": a multi-disk archive cannot be changed");
      }
      op.OutputName = UniqueTempName(FPlatform.Files, TempFolder());
      CreateOutput(op);
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
    WriteCentralDirectory(op);
    op.Output->Commit();
    op.Output->Handle().Sync();
    op.Output.reset();
  } catch (...) {
    FailureCleanup(op);
    throw;
  }
  FDeflater.reset();
  Finish(op);
}

void TZipEngine::CreateOutput(TZipOperation& op) {
  if (MultiMode() == TMultiMode::mmBlocks) {
    char extension[32];
    std::snprintf(extension, sizeof extension, ".%03d", op.Disk + 1);
    op.OutputName = ChangeFileExt(op.OutputName, extension);
  }
  op.Output = std::make_unique<TLFNFileStream>(FPlatform.Files, op.OutputName, TOpenMode::Create);
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
    const std::string beside = UniqueTempName(files, folder.empty() ? "." : folder);
    try {
      CopyFileContents(files, finished, beside);
    } catch (...) {
      files.DeleteFile(beside);
      throw;
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
  throw EInOutError(target, code,
                    FileErrorMessage(target, code) + " (the new archive is kept as " + finished +
                        ")");
}

void TZipEngine::Finish(TZipOperation& op) {
  if (op.ArchiveExisted && !FStubStream) {
    const std::string name = ZipName();
    ClearZip();
    AssignZipName(name);
  }
  if (MultiMode() == TMultiMode::mmBlocks) FinishBlocks(op);
  if (op.ArchiveExisted) {
    ReplaceFile(op.OutputName, FAlternateOutput.empty() ? ZipName() : FAlternateOutput);
  }
  // Sources go only now that the new archive is safely in place.
  for (const auto& name : op.DisposeList) {
    bool skip = false;
    Fire(OnDisposeFile, *this, name, skip);
    if (!skip) FPlatform.Files.DeleteFile(name);
  }
  if (!FStubStream) {
    AdoptCatalogue(std::move(op.NewCatalogue), op.NewEnd);
    RememberArchiveDate();
    BuildView(SortMode);
  }
  NumDisks = op.Disk + 1;
}

}  // namespace vz
