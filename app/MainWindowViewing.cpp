// TfrmMain: View File. Text members go to the text pane; any other member is
// extracted whole into a folder of its own in the private viewing folder and
// handed to the viewer as one argument. A password typed to view a member is
// forgotten once the command ends, so the next view asks again.
#include <QProgressBar>

#include "app/FileListModel.h"
#include "app/FileView.h"
#include "app/MainWindow.h"
#include "app/OperationRunner.h"
#include "app/ScopeExit.h"
#include "app/core/AppInfo.h"
#include "app/core/Helpers.h"
#include "app/core/OpInfo.h"
#include "app/core/ViewerFiles.h"
#include "engine/support/Stream.h"
#include "platform/Errors.h"

namespace vz {
namespace {

constexpr u32 kOwnerOnly = 0600;

// Removes a viewed file that never reached its viewer, on every way out.
class TUnviewedFile {
 public:
  TUnviewedFile(IFileSystem& files, std::string path) : FFiles(files), FPath(std::move(path)) {}
  ~TUnviewedFile() {
    if (!FKept) RemoveViewedFile(FFiles, FPath);
  }
  TUnviewedFile(const TUnviewedFile&) = delete;
  TUnviewedFile& operator=(const TUnviewedFile&) = delete;
  void Keep() { FKept = true; }

 private:
  IFileSystem& FFiles;
  std::string FPath;
  bool FKept = false;
};

}  // namespace

void TfrmMain::ViewSelected() {
  const std::vector<int> rows = FFiles->SelectedRows();
  if (rows.empty()) return;
  std::vector<std::string> names;
  for (const int row : rows) {
    const QModelIndex index = FFileModel->index(row, 0);
    const QString name = FFileModel->data(index, TFileListModel::FullNameRole).toString();
    if (!name.isEmpty()) names.push_back(name.toStdString());  // folder rows have none
  }
  FOpInfo.Reset();
  FOpInfo.OpKind = TOpKind::Unzip;
  const std::string archive = ZipEngine.ZipName();
  ResetEngine();
  ZipEngine.SetZipName(archive);
  const TScopeExit forgetPassword([this] { ZipEngine.Password.clear(); });
  OpenArchive();
  for (const std::string& name : names) {
    if (IsTextMember(name)) {
      ShowInTextPane(name);
    } else {
      ViewInViewer(name);
    }
  }
}

std::optional<std::string> TfrmMain::ExtractForViewing(const std::string& name) {
  if (!FViewerFolder) FViewerFolder = std::make_unique<TViewerFolder>(FApp);
  std::string folderPath;
  int error = 0;
  const auto folder = FViewerFolder->NewMemberFolder(folderPath, error);
  if (!folder) {
    ShowWarning(FApp, SystemErrorText(error));
    return std::nullopt;
  }
  const std::string fileName = SafeFileName(name);
  const std::string path = folderPath + fileName;
  TUnviewedFile unviewed(FApp.Platform.Files, path);
  int extracted = 0;
  try {
    TFileStream stream(folder->CreateNew(fileName));
    stream.File().SetMode(kOwnerOnly);
    FOpInfo.Reset();
    FOpInfo.OpKind = TOpKind::Unzip;
    FRunner->Run([&] { extracted = ZipEngine.UnZipToStream(stream, name); });
  } catch (const EFCreateError&) {
    return std::nullopt;  // as when the system gives no temporary file: nothing to view
  }
  if (extracted != 1) return std::nullopt;
  unviewed.Keep();
  return path;
}

void TfrmMain::ViewInViewer(const std::string& name) {
  TBusyCursor busy(FApp.Platform.Host);
  const TScopeExit done([this] {
    FProgress->setValue(0);
    StatusBarMsg("");
  });
  const std::optional<std::string> path = ExtractForViewing(name);
  if (!path) return;
  const int processId = FApp.Platform.Processes.Start(ViewerCommand(FAppInfo.FileViewer, *path));
  if (processId == 0 && AskYesNo(FApp,
                                 std::string("The file viewer could not be opened!") + CRCR +
                                     "Would you like to use the text viewer?",
                                 true)) {
    ShowInTextPane(name);
  }
  FAppInfo.AddTempFile(processId, *path);
  if (processId != 0) WatchEdit(name, *path);
}

}  // namespace vz
