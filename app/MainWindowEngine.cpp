// TfrmMain: the engine's reset to fixed defaults before each command, and
// the engine events that reading an archive raises (an incomplete archive,
// the next disk of a set). Each event runs its handler on the
// user-interface thread; the operation's thread waits for the answer.
#include <QApplication>
#include <QLabel>

#include "app/Icons.h"
#include "app/MainWindow.h"
#include "app/UiThread.h"
#include "app/core/AppInfo.h"
#include "app/core/OpInfo.h"
#include "app/dialogs/frmDiskPrompt.h"

namespace vz {

void TfrmMain::ResetEngine() {
  ZipEngine.ClearZip();
  ZipEngine.SetDestDir("");
  ZipEngine.Dispose = false;
  ZipEngine.DoAll = false;
  ZipEngine.DoProcessMessages = false;
  ZipEngine.FilesList.clear();
  ZipEngine.IncompleteZipMode = TIncompleteZipMode::izAssumeMulti;
  ZipEngine.KeepZipOpen = false;
  TMultiZipInfo multi;
  multi.BlockSize = 1457600;
  multi.FirstBlockSize = 1457600;
  multi.MultiMode = TMultiMode::mmNone;
  multi.CheckDiskLabels = false;
  multi.WriteDiskLabels = true;
  ZipEngine.SetMultiZipInfo(multi);
  ZipEngine.OverwriteMode = TUZOverwriteMode::Prompt;
  ZipEngine.PackLevel = FAppInfo.DefCompressLevel;
  ZipEngine.Password.clear();
  ZipEngine.Encryption = TZipEncryption::Traditional;
  ZipEngine.RecreateDirs = false;
  ZipEngine.Recurse = false;
  ZipEngine.SetStorePaths(false);  // clears RelativePaths and StoreVolumes too
  ZipEngine.RetainAttributes = true;
  ZipEngine.SetRootDir("");
  ZipEngine.SortMode = TZipSortMode::ByNone;
  ZipEngine.ZipAction = TZipAction::zaUpdate;
  ZipEngine.StoredFolder.clear();
  SetEngineNameEncoding(ZipEngine, FNameEncoding);
}

void TfrmMain::ConnectEngineEvents() {
  ZipEngine.OnInCompleteZip = [this](TUnZipEngine&, TIncompleteZipMode& IncompleteMode) {
    RunOnUiThread([&] { ZipEngineInCompleteZip(IncompleteMode); });
  };
  ZipEngine.OnGetNextDisk = [this](TUnZipEngine&, int NextDisk, std::string& FName) {
    RunOnUiThread([&] { ZipEngineGetNextDisk(NextDisk, FName); });
  };
  ConnectOperationEvents();
}

// Only an archive on a floppy-style drive can be one disk of a set; any other
// without its end record is taken as damaged.
void TfrmMain::ZipEngineInCompleteZip(TIncompleteZipMode& IncompleteMode) {
  IDrives& drives = FApp.Platform.Drives;
  if (!drives.IsFloppy(drives.DriveOf(ZipEngine.ZipName()))) {
    IncompleteMode = TIncompleteZipMode::izAssumeBad;
  }
}

void TfrmMain::ZipEngineGetNextDisk(int NextDisk, std::string& FName) {
  FOpInfo.DisksUsed = NextDisk;
  IDrives& drives = FApp.Platform.Drives;
  const std::string drive = drives.DriveOf(ZipEngine.ZipName());
  for (;;) {
    TfrmGetNextDisk prompt(this);
    prompt.setWindowTitle(QString::fromStdString(FApp.Globals.AppTitle));
    prompt.Label()->setText(QStringLiteral("Please insert disk %1").arg(NextDisk));
    prompt.SetDriveIcon(DriveIcon());
    if (!AskForDisk(prompt)) {
      FName.clear();
      return;
    }
    if (FOpInfo.OpKind != TOpKind::Unzip) return;
    // A disk whose label ends in another disk's number is the wrong one.
    const std::string label = drives.VolumeLabel(drive).value_or("");
    if (label.empty()) return;
    const QString tail = QString::fromStdString(label).right(3);
    bool isNumber = false;
    const int number = tail.toInt(&isNumber);
    if (!isNumber || number == 0 || number == NextDisk) return;
  }
}

bool TfrmMain::AskForDisk(TDiskPrompt& prompt) {
  FOpenPrompt = &prompt;
  const bool ok = ExecPrompt ? ExecPrompt(prompt) : prompt.exec() == QDialog::Accepted;
  FOpenPrompt = nullptr;
  return ok;
}

// The large picture of the archive's drive.
QIcon TfrmMain::DriveIcon() const {
  IDrives& drives = FApp.Platform.Drives;
  const std::string drive = drives.DriveOf(ZipEngine.ZipName());
  if (drives.IsFloppy(drive)) return ThemeIcon(QStringLiteral("media-floppy"));
  switch (drives.DriveType(drive)) {
    case TDriveType::Removable:
      return ThemeIcon(QStringLiteral("drive-removable-media"));
    case TDriveType::CdRom:
      return ThemeIcon(QStringLiteral("media-optical"));
    case TDriveType::Remote:
      return ThemeIcon(QStringLiteral("network-server"));
    default:
      return ThemeIcon(QStringLiteral("drive-harddisk"));
  }
}

}  // namespace vz
