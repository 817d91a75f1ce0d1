// Splitting a new archive over disks: block files of fixed size in one
// folder (archive.001, archive.002, ...), or removable disks changed while
// the operation runs. A local header never straddles two disks, member data
// may, and each central record and the end record lie whole on one disk.
#include <cstdio>

#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "engine/writer/ZipEngine.h"
#include "engine/writer/ZipOperation.h"

namespace vz {
namespace {

constexpr const char* kCanceled = "User canceled Zip operation.";

}  // namespace

void TZipEngine::StartSpanning(TZipOperation& op) {
  if (MultiMode() == TMultiMode::mmBlocks) {
    op.Capacity = FMultiZipInfo.FirstBlockSize;
    if (op.Capacity <= 0 || FMultiZipInfo.BlockSize <= 0) {
      throw EVarnelError("Block sizes must be positive");
    }
    return;
  }
  // Without someone to change the disks, or room to put anything on the
  // first one, nothing can be written.
  if (!OnGetNextDisk) throw EUserCanceled(kCanceled);
  op.Capacity = FPlatform.Drives.FreeSpace(FPlatform.Drives.DriveOf(ZipName()));
  if (op.Capacity <= 0) throw EUserCanceled(kCanceled);
}

// A set of disks carries no Zip64 records: members that might need them
// are refused while nothing is written yet. (Only a new archive is split,
// so the files to add are all its members.)
void TZipEngine::RefuseZip64Spanning(const TZipOperation& op) {
  if (FilesList.size() < 0xFFFF && !NeedsZip64Header(op.LargestFile)) return;
  throw EZipLimitError(ZipName() +
                       ": an archive split over disks holds at most 65534 members and files "
                       "under 4 GiB (no Zip64 records on disks)");
}

i64 TZipEngine::RoomLeft(TZipOperation& op) {
  return op.Capacity - op.Output->Size();
}

void TZipEngine::LabelDisk(TZipOperation& op) {
  if (!FMultiZipInfo.WriteDiskLabels) return;
  const std::string drive = FPlatform.Drives.DriveOf(op.OutputName);
  if (!FPlatform.Drives.IsFloppy(drive)) return;
  char label[32];
  std::snprintf(label, sizeof label, "PKBACK# %03d", op.Disk + 1);
  // A drive that takes no label still holds a good disk; readers can be
  // told not to check labels.
  FPlatform.Drives.SetVolumeLabel(drive, label);
}

void TZipEngine::NextDisk(TZipOperation& op) {
  switch (MultiMode()) {
    case TMultiMode::mmNone:
      return;
    case TMultiMode::mmBlocks: {
      op.Output->Commit();
      op.Output->Handle().Sync();
      op.Output.reset();
      ++op.Disk;
      char extension[32];
      std::snprintf(extension, sizeof extension, ".%03d", op.Disk + 1);
      op.OutputName = ChangeFileExt(op.OutputName, extension);
      op.Capacity = FMultiZipInfo.BlockSize;
      break;
    }
    case TMultiMode::mmSpan: {
      op.Output->Commit();
      op.Output->Handle().Sync();
      op.Output.reset();
      LabelDisk(op);
      std::string name = op.OutputName;
      Fire(OnGetNextDisk, *this, op.Disk + 2, name);
      if (name.empty()) throw EUserCanceled(kCanceled);
      ++op.Disk;
      op.OutputName = name;
      op.Capacity = FPlatform.Drives.FreeSpace(FPlatform.Drives.DriveOf(name));
      if (op.Capacity <= 0) throw EUserCanceled(kCanceled);
      break;
    }
  }
  op.CentralRecordsThisDisk = 0;
  op.Output = std::make_unique<TLFNFileStream>(FPlatform.Files, op.OutputName, TOpenMode::Create);
}

void TZipEngine::CopyWorkStreamToDisks(TZipOperation& op) {
  op.SpanWork->Commit();
  i64 remaining = op.SpanWork->Size();
  op.SpanWork->Seek(0, TSeekOrigin::Begin);
  if (RoomLeft(op) <= 0) NextDisk(op);
  while (remaining > 0) {
    const i64 piece = std::min(RoomLeft(op), remaining);
    op.Output->CopyFrom(*op.SpanWork, piece);
    remaining -= piece;
    CheckCancel();
    if (remaining > 0 || RoomLeft(op) <= 0) NextDisk(op);
  }
}

void TZipEngine::FinishBlocks(TZipOperation& op) {
  if (op.Disk == 0) {
    // Everything fitted in the first block: it takes the archive's name.
    if (!FPlatform.Files.RenameFile(op.OutputName, ZipName())) {
      const int code = FPlatform.Files.LastError();
      throw EInOutError(ZipName(), code, FileErrorMessage(ZipName(), code));
    }
    return;
  }
  AssignZipName(op.OutputName);
}

}  // namespace vz
