// TfrmMain: the text pane (a member's text, the readme shown when an archive
// opens) and the hand-off of an archive to the virus scanner.
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <memory>

#include "app/FileListModel.h"
#include "app/MainWindow.h"
#include "app/OperationRunner.h"
#include "app/ScopeExit.h"
#include "app/TextPane.h"
#include "app/core/AppInfo.h"
#include "app/core/Helpers.h"
#include "app/core/OpInfo.h"
#include "app/dialogs/frmAVScan.h"
#include "platform/Errors.h"

namespace vz {

void TfrmMain::ShowInTextPane(const std::string& MemberName) {
  if (MemberName.empty()) return;
  const TScopeExit done([this] {
    FProgress->setValue(0);
    StatusBarMsg("");
  });
  TCappedStream stream(kTextPaneCapacity);
  int extracted = 0;
  FRunner->Run([&] { extracted = ZipEngine.UnZipToStream(stream, MemberName); });
  if (extracted != 1) return;
  const std::vector<u8>& kept = stream.Kept();
  QString text = DecodeMemberText({reinterpret_cast<const char*>(kept.data()), kept.size()});
  if (stream.Cut()) {
    text += QStringLiteral("\n\n[The text is cut here: only the first %1 of %2 are shown.]")
                .arg(QString::fromStdString(FormatSize(kTextPaneCapacity)),
                     QString::fromStdString(FormatSize(stream.Size())));
  }
  FTextLabel->setText(QString::fromStdString(MemberName));
  FText->setPlainText(text);
}

void TfrmMain::ShowReadme() {
  if (IsMultiDisk()) return;
  const int rows = FFileModel->rowCount();
  const auto extensionOf = [](const QString& caption) {
    const QString suffix = QFileInfo(caption).suffix().toLower();
    return suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
  };
  int found = -1;
  for (int row = 0; row < rows && found < 0; ++row) {
    const QString caption = FFileModel->Caption(row);
    if (caption.toLower().contains(QLatin1String("read")) &&
        extensionOf(caption) != QLatin1String(".doc")) {
      found = row;
    }
  }
  for (int row = 0; row < rows && found < 0; ++row) {
    if (extensionOf(FFileModel->Caption(row)) == QLatin1String(".txt")) found = row;
  }
  if (found < 0) return;
  const QModelIndex index = FFileModel->index(found, 0);
  ShowInTextPane(FFileModel->data(index, TFileListModel::FullNameRole).toString().toStdString());
}

void TfrmMain::ClearTextPane() {
  FTextLabel->clear();
  FText->clear();
}

void TfrmMain::ScanArchive(bool WithWindow) {
  TBusyCursor busy(FApp.Platform.Host);
  bool picked = false;
  if (ZipEngine.ZipName().empty()) {
    const auto file = FApp.Platform.Host.OpenFileDialog("Open", kArchiveFilter,
                                                        FApp.Platform.Files.CurrentFolder());
    if (file) {
      ZipEngine.SetZipName(*file);
      picked = true;
    }
  }
  std::unique_ptr<TfrmAVScan> window;
  if (!ZipEngine.ZipName().empty()) {
    repaint();
    const std::string message = "Scanning " + ZipEngine.ZipName() + "...";
    if (WithWindow) {
      window = std::make_unique<TfrmAVScan>(this);
      window->setWindowTitle(QString::fromStdString(FApp.Globals.AppTitle));
      window->SetMessage(QString::fromStdString(message));
      window->show();
      window->repaint();
    } else {
      StatusBarMsg(message);
    }
    const auto program = FApp.Platform.Files.Stat(FAppInfo.AntiVirus);
    if (!FAppInfo.AntiVirus.empty() && program && !program->IsDirectory) {
      RunScanner();
      repaint();
    } else {
      ShowWarning(FApp, "The path for the anti-virus application is not valid!");
    }
    StatusBarMsg("");
    const QString fileName = QFileInfo(QString::fromStdString(ZipEngine.ZipName())).fileName();
    if (picked && AskYesNo(FApp, "Do you want to open " + fileName.toStdString() + "?", true)) {
      window.reset();
      FOpInfo.Reset();
      FOpInfo.OpKind = TOpKind::Open;
      FOpInfo.IsSFX = IsSfxName(ZipEngine.ZipName());
      const std::string name = ZipEngine.ZipName();
      ResetEngine();
      ZipEngine.SetZipName(name);
      OpenIntoView();
    }
  }
  window.reset();
  StatusBarMsg("");
}

// The scanner gets its parameters and then the archive's path as one more
// argument of its own, so no character of the path can change what is run.
bool TfrmMain::RunScanner() {
  TCommand command;
  command.Program = FAppInfo.AntiVirus;
  command.Arguments = SplitCommandLine(FAppInfo.AVParameters);
  command.Arguments.push_back(ZipEngine.ZipName());
  command.WorkingFolder =
      QFileInfo(QString::fromStdString(FAppInfo.AntiVirus)).absolutePath().toStdString();
  command.Show = FAppInfo.RunMinimized ? TShowState::Minimized : TShowState::Normal;
  IProcesses& processes = FApp.Platform.Processes;
  bool started = false;
  int error = 0;
  FRunner->Run([&] {
    int exitCode = 0;
    started = processes.RunAndWait(command, exitCode);
    if (!started) error = processes.LastError();
  });
  if (!started) ShowWarning(FApp, SystemErrorText(error));
  return started;
}

}  // namespace vz
