// TfrmMain: the commands that manage archive files (moving them to the
// trash, mailing the open one), the properties of the archive or a member,
// the options, formatting, and the Help menu.
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMenu>

#include "app/FileListModel.h"
#include "app/FileView.h"
#include "app/HelpWindow.h"
#include "app/Icons.h"
#include "app/MainWindow.h"
#include "app/MemberEdits.h"
#include "app/OperationRunner.h"
#include "app/QtHost.h"
#include "app/core/AppErrors.h"
#include "app/core/AppInfo.h"
#include "app/core/Email.h"
#include "app/core/Helpers.h"
#include "app/core/OpInfo.h"
#include "app/dialogs/frmAbout.h"
#include "app/dialogs/frmOptions.h"
#include "app/dialogs/frmProperties.h"
#include "platform/Errors.h"
#include "platform/FileHelpers.h"

#ifndef VZ_VERSION
#define VZ_VERSION "unknown"
#endif

namespace vz {
namespace {

// The web command's page unless the settings name another (HomePage).
constexpr char kDefaultHomePage[] = "https://varnel.example/zip/";

}  // namespace

void TfrmMain::ConnectFileCommands() {
  const auto on = [this](const char* name, std::function<void()> slot) {
    connect(Action(QLatin1String(name)), &QAction::triggered, this,
            [this, slot = std::move(slot)] { Guarded(slot); });
  };
  on("mnuViewFile", [this] { ViewSelected(); });
  on("popViewFile", [this] { ViewSelected(); });
  on("mnuDeletecurrentzipfile", [this] { mnuDeletecurrentzipfileClick(); });
  on("mnuDeleteZipfiles", [this] { mnuDeleteZipfilesClick(); });
  on("mnuSend", [this] { mnuSendClick(); });
  on("mnuProperties", [this] { mnuPropertiesClick(); });
  on("popProperties", [this] { popPropertiesClick(); });
  on("mnuOptions", [this] { mnuOptionsClick(); });
  on("mnuHelpFinder", [this] { mnuHelpFinderClick(); });
  on("mnuVarnel", [this] { mnuVarnelClick(); });
  on("mnuAbout", [this] { mnuAboutClick(); });
  FEdits = new TMemberEdits(FApp.Platform.Files, this);
  FEdits->OnSaved = [this](TMemberEdit& edit) { MemberSaved(edit); };
  // No question while an operation runs or another dialog waits.
  FEdits->CanAsk = [this] { return !FRunner->Busy() && !QApplication::activeModalWidget(); };
  OpenFilesDialog = [this](const std::string& Title, const std::string& Filter) {
    std::vector<std::string> files;
    const QStringList chosen = QFileDialog::getOpenFileNames(
        this, QString::fromStdString(Title),
        QString::fromStdString(FApp.Platform.Files.CurrentFolder()), QtFileFilter(Filter));
    for (const QString& file : chosen) files.push_back(file.toStdString());
    return files;
  };
}

// ---------------------------------------------------------------- archive files

void TfrmMain::mnuDeletecurrentzipfileClick() {
  const std::string name = ZipEngine.ZipName();
  mnuCloseClick();
  int error = 0;
  if (!DeleteToRecycleBin(FApp, {name}, true, &error)) ShowWarning(FApp, SystemErrorText(error));
}

void TfrmMain::mnuDeleteZipfilesClick() {
  TBusyCursor busy(FApp.Platform.Host);
  mnuCloseClick();
  const std::vector<std::string> files = OpenFilesDialog("Delete Zipfile(s)", kArchiveFilter);
  if (files.empty()) return;
  int error = 0;
  if (!DeleteToRecycleBin(FApp, files, true, &error)) ShowWarning(FApp, SystemErrorText(error));
}

// The mail program's compose window gets the open archive as its one
// attachment and the archive's file name as the subject.
void TfrmMain::mnuSendClick() {
  if (!emSend) emSend = std::make_unique<TEmail>(FApp.Platform.Mail, FApp.Platform.Files);
  emSend->Attachment = {ZipEngine.ZipName()};
  emSend->Subject = FileNameOf(ZipEngine.ZipName());
  int result = mapi::Success;
  try {
    StatusBarMsg("Opening the mail program...");
    FRunner->Run([this, &result] { result = emSend->SendMail(); });
    StatusBarMsg("");
  } catch (const EMAPIunavailable&) {
    StatusBarMsg("");
    ShowInfo(FApp, std::string("Mail is not available on this computer.") + CRCR +
                       "See the help topic 'Setting up mail' for details.");
    return;
  }
  // The compose window's own cancel is the user's choice, not a failure.
  if (result != mapi::Success && result != mapi::UserAbort) {
    ShowWarning(FApp, "The mail program could not be started.");
  }
}

// ---------------------------------------------------------------- properties

void TfrmMain::mnuPropertiesClick() {
  ShowProperties(ZipEngine.ZipName(), false);
}

void TfrmMain::popPropertiesClick() {
  const std::vector<int> rows = FFiles->SelectedRows();
  if (rows.empty()) return;
  const QModelIndex index = FFileModel->index(rows.front(), 0);
  const std::string name =
      FFileModel->data(index, TFileListModel::FullNameRole).toString().toStdString();
  if (!name.empty()) ShowProperties(name, true);
}

void TfrmMain::ShowProperties(const std::string& Name, bool Member) {
  TBusyCursor busy(FApp.Platform.Host);
  StatusBarMsg("Creating property report...");
  repaint();
  const TNumberFormat numbers = UserNumberFormat();
  std::optional<TPropertiesContent> content;
  if (Member) {
    if (ZipEngine.Count() > 0) content = MemberProperties(FApp, ZipEngine, Name, numbers);
  } else {
    content = ArchiveProperties(FApp, ZipEngine, numbers);
  }
  StatusBarMsg("");
  if (!content) return;
  TfrmProperties form(FApp, Help(), this);
  form.Fill(*content, FAppInfo.GridLines, FOpInfo.IsSFX);
  if (ExecModal(form) != QDialog::Accepted || FOpInfo.IsSFX) return;
  if (SetChangedComment(ZipEngine, content->Member, form.Comment()) && ZipEngine.IsModified()) {
    StatusBarMsg("Writing the comment...");
    FRunner->Run([this] { ZipEngine.CommitModified(); });
    StatusBarMsg("");
  }
}

// ---------------------------------------------------------------- options

void TfrmMain::mnuOptionsClick() {
  TfrmOptions form(FApp, Help(), this);
  form.Prepare(FAppInfo);
  if (ExecModal(form) == QDialog::Accepted) ApplyOptions(form.Answers(), FAppInfo);
  UpdateCommands();
}

// Linux offers no format dialog to hand the drive to; the user is told
// where formatting is done instead of being told the drive cannot be.
void TfrmMain::mnuFormatClick(const std::string& drive) {
  ShowWarning(FApp, "Varnel Zip cannot format disks." + std::string(CRCR) + "Format " + drive +
                        " with your desktop's disk utility, then try again.");
}

// ---------------------------------------------------------------- help menu

void TfrmMain::mnuHelpFinderClick() {
  FHelp->ShowTopic(0);
}

std::string TfrmMain::HomePage() const {
  auto key = FApp.Platform.Settings.OpenKey(SettingsKeyOf(FApp.Globals.AppKey), false);
  const std::string page = key ? key->ReadString("HomePage").value_or("") : std::string();
  return page.empty() ? kDefaultHomePage : page;
}

void TfrmMain::mnuVarnelClick() {
  IShell& shell = FApp.Platform.Shell;
  if (!shell.OpenDocument(HomePage())) ShowWarning(FApp, SystemErrorText(shell.LastError()));
}

void TfrmMain::mnuAboutClick() {
  TfrmAbout about(AppIcon(), QString::fromStdString(FApp.Globals.AppTitle),
                  QString::fromStdString(FApp.Globals.AboutNotice), QStringLiteral(VZ_VERSION),
                  this);
  ExecModal(about);
}

}  // namespace vz
