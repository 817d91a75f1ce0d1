// TfrmMain: the archive commands of the File, Edit and Tools menus (New,
// Unzip, Refresh, Self-extracting, Add Files, Remove Files, Password,
// Repair, Test Zipfile), the repair offer of Open, and the steps they share:
// the zip with its folder record, the report, the self-extracting copy.
// Every command runs in RunCommand's frame; engine work runs on the
// operation's thread through RunEngine.
#include <QAction>
#include <QFileDialog>
#include <QProgressBar>

#include "app/FileListModel.h"
#include "app/FileView.h"
#include "app/MainWindow.h"
#include "app/OperationRunner.h"
#include "app/QtHost.h"
#include "app/RecentFiles.h"
#include "app/TextPane.h"
#include "app/core/AppInfo.h"
#include "app/core/CFI.h"
#include "app/core/Helpers.h"
#include "app/core/MemberCheck.h"
#include "app/core/PrivateFolder.h"
#include "app/dialogs/HelpService.h"
#include "app/dialogs/ShellNamespace.h"
#include "app/dialogs/frmPasswordOptions.h"
#include "app/dialogs/frmRefreshOptions.h"
#include "app/dialogs/frmReport.h"
#include "app/dialogs/frmUnzipOptions.h"
#include "app/dialogs/frmZipOptions.h"
#include "engine/format/ZipNames.h"
#include "engine/support/PathUtils.h"
#include "engine/support/Wildcard.h"
#include "platform/Errors.h"

namespace vz {
namespace {

// The deepest folder ("/"-ended) that holds both folders.
std::string CommonFolder(const std::string& a, const std::string& b) {
  std::size_t end = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size() && a[i] == b[i]; ++i) {
    if (a[i] == '/') end = i + 1;
  }
  return a.substr(0, end);
}

// The end of an engine operation as the user sees it: the bar back at 0
// and "Done", however the operation ended.
class TOperationEnd {
 public:
  TOperationEnd(QProgressBar& bar, std::function<void()> done)
      : FBar(bar), FDone(std::move(done)) {}
  ~TOperationEnd() {
    FBar.setValue(0);
    FDone();
  }
  TOperationEnd(const TOperationEnd&) = delete;
  TOperationEnd& operator=(const TOperationEnd&) = delete;

 private:
  QProgressBar& FBar;
  std::function<void()> FDone;
};

bool IsFolderName(const std::string& name) {
  return !name.empty() && name.back() == '/';
}

// A name that a file decoded below a folder gets back when it is zipped
// relative to that folder: no absolute path, no empty, "." or ".."
// component. Another name would come back as another member.
bool NameComesBack(std::string_view name) {
  if (name.empty() || name.front() == '/') return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    const auto end = name.find('/', start);
    const auto part = name.substr(start, end == std::string_view::npos ? end : end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return true;
}

}  // namespace

void TfrmMain::ConnectArchiveCommands() {
  const auto on = [this](const char* name, void (TfrmMain::*command)()) {
    connect(Action(QLatin1String(name)), &QAction::triggered, this,
            [this, command] { Guarded([this, command] { (this->*command)(); }); });
  };
  on("mnuNew", &TfrmMain::mnuNewClick);
  on("mnuUnzip", &TfrmMain::mnuUnzipClick);
  on("popUnzipSelected", &TfrmMain::mnuUnzipClick);
  on("mnuRefreshZipfile", &TfrmMain::mnuRefreshZipfileClick);
  on("mnuSFX", &TfrmMain::mnuSFXClick);
  on("mnuAddFiles", &TfrmMain::mnuAddFilesClick);
  on("mnuRemoveFiles", &TfrmMain::mnuRemoveFilesClick);
  on("popRemoveFiles", &TfrmMain::mnuRemoveFilesClick);
  on("mnuPassword", &TfrmMain::mnuPasswordClick);
  on("popPassword", &TfrmMain::mnuPasswordClick);
  on("mnuRepair", &TfrmMain::mnuRepairClick);
  on("mnuTestZipfile", &TfrmMain::mnuTestZipfileClick);
}

// ---------------------------------------------------------------- the frame

void TfrmMain::RunCommand(TOpKind Kind, bool KeepArchive, const std::function<void()>& Body) {
  TBusyCursor busy(FApp.Platform.Host);
  const TOperationEnd end(*FProgress, [this] {
    FProgress->setRange(0, 100);
    FProgress->setValue(0);
    StatusBarMsg("");
    UpdateCommands();
  });
  // A self-extracting program stays one for the commands that keep it open:
  // it cannot be changed.
  const bool sfx = KeepArchive && FOpInfo.IsSFX;
  FOpInfo.Reset();
  FOpInfo.OpKind = Kind;
  FOpInfo.IsSFX = sfx;
  const std::string name = ZipEngine.ZipName();
  ResetEngine();
  try {
    if (KeepArchive) ZipEngine.SetZipName(name);
    Body();
  } catch (const EUserCanceled&) {
  } catch (const std::exception& e) {
    ShowWarning(FApp, e.what());
  }
}

void TfrmMain::RunEngine(const std::function<void()>& work) {
  // A cancel asked for after the last operation had ended stops nothing.
  ZipEngine.CancelOperation = false;
  FRunner->Run(work);
}

bool TfrmMain::Operate(const std::function<void()>& work) {
  try {
    RunEngine(work);
    return true;
  } catch (const EUserCanceled&) {
    throw;
  } catch (const std::exception& e) {
    ShowWarning(FApp, e.what());
    return false;
  }
}

void TfrmMain::RefreshView() {
  try {
    OpenArchive();
  } catch (const EUserCanceled&) {
    throw;
  } catch (...) {
    FPendingTree.reset();
    ClearTree();
    ClearList();
    ClearTextPane();
    throw;
  }
  BuildFolderTree();
  FillFileList();
}

int TfrmMain::ExecModal(QDialog& dialog) {
  const TNormalCursor pointer;
  QDialog* const outer = FOpenDialog;
  FOpenDialog = &dialog;
  struct TForget {
    QDialog*& Open;
    QDialog* Outer;
    ~TForget() { Open = Outer; }
  } forget{FOpenDialog, outer};
  return ExecDialog ? ExecDialog(dialog) : dialog.exec();
}

TShellNamespace& TfrmMain::Shell() {
  if (!FShell) {
    FShell = std::make_shared<TShellNamespace>(
        FApp.Platform,
        FShellLocations ? *FShellLocations : ReadShellLocations(FApp.Platform.Files));
  }
  return *FShell;
}

void TfrmMain::SetShellLocations(TShellLocations locations) {
  FShellLocations = std::move(locations);
  FShell.reset();
}

// The stored names of the selected member rows, and with `withFolders` a
// pattern for everything below each selected folder row.
std::vector<std::string> TfrmMain::SelectedMemberNames(bool withFolders) const {
  std::vector<std::string> names;
  if (!FTree) return names;
  for (const int row : FFiles->SelectedRows()) {
    const TListRow listRow = FFileModel->RowAt(row);
    if (!listRow.IsFolder()) {
      names.push_back(FTree->FullName(listRow.Member()));
    } else if (withFolders) {
      names.push_back(FTree->FolderPath(listRow.Node()) + "*");
    }
  }
  return names;
}

// What the selected rows hold when extracted: members, and everything below
// the selected folders.
i64 TfrmMain::SelectedBytes() const {
  i64 total = 0;
  if (!FTree) return total;
  std::vector<int> folders;
  for (const int row : FFiles->SelectedRows()) {
    const TListRow listRow = FFileModel->RowAt(row);
    if (listRow.IsFolder()) {
      folders.push_back(listRow.Node());
    } else {
      total += FTree->Member(listRow.Member()).UncompressedSize;
    }
  }
  while (!folders.empty()) {
    const TFolderNode& node = FTree->Node(folders.back());
    folders.pop_back();
    for (const int member : node.Members) total += FTree->Member(member).UncompressedSize;
    folders.insert(folders.end(), node.Children.begin(), node.Children.end());
  }
  return total;
}

// ---------------------------------------------------------------- shared steps

bool TfrmMain::DoZip() {
  StatusBarMsg("Initializing...");
  bool ok = false;
  {
    const TOperationEnd end(*FProgress, [this] { StatusBarMsg(""); });
    ok = Operate([this] { ZipEngine.PerformZip(); });
  }
  if (ok && FOpInfo.SaveFolderRecord && FOpInfo.Processed > 0) SaveFolderRecord();
  return ok;
}

void TfrmMain::SaveFolderRecord() {
  try {
    FCFI.Find(ZipEngine.ZipName());
    FCFI.Name = ZipEngine.ZipName();
    FCFI.RootDir = ZipEngine.RootDir();
    FCFI.SourcePath = FOpInfo.SourcePath;
    FCFI.PathMode =
        PathModeOf(ZipEngine.StoreVolumes(), ZipEngine.RelativePaths(), ZipEngine.StorePaths());
    FCFI.Recurse = ZipEngine.Recurse ? 1 : 0;
    FCFI.PackLevel = ZipEngine.PackLevel;
    FCFI.RecordVersion = 1;
    FCFI.Save();
  } catch (const std::exception& e) {
    // The archive is made; only its record for refreshing is missing.
    ShowWarning(FApp, e.what());
  }
}

void TfrmMain::ShowReport(TReportKind Kind) {
  StatusBarMsg("Creating report...");
  const auto content =
      BuildReport(FApp, Kind, FOpInfo, ZipEngine, &FCFI, UserNumberFormat(), QLocale::system());
  StatusBarMsg("");
  if (!content) return;
  TfrmReport form(FApp, Help(), this);
  form.Fill(*content, FAppInfo.GridLines);
  ExecModal(form);
}

bool TfrmMain::MakeSelfExtracting(bool MoveWithoutAsking) {
  StatusBarMsg("Creating self-extracting zipfile...");
  const TOperationEnd end(*FProgress, [this] { StatusBarMsg(""); });
  const std::string stub = FApp.Globals.AppDir + "vnsfx32";
  RunEngine([this, &stub] { ZipEngine.BuildSelfExtractor(stub); });
  const std::string archive = ZipEngine.ZipName();
  const std::string program = ChangeFileExt(archive, ".exe");
  bool move = MoveWithoutAsking;
  if (!move) {
    repaint();
    move = AskYesNo(FApp,
                    ExtractFileName(program) + " successfully created." + CRCR +
                        "Do you want to move " + ExtractFileName(archive) + " to the Trash?",
                    false);
  }
  if (move) {
    int error = 0;
    if (!DeleteToRecycleBin(FApp, {archive}, false, &error)) {
      ShowWarning(FApp, SystemErrorText(error));
    }
  }
  try {
    if (FCFI.Find(archive)) {
      if (move) {
        FCFI.MoveTo(program);
      } else {
        FCFI.SaveAs(program);
      }
    }
  } catch (const std::exception& e) {
    ShowWarning(FApp, e.what());
  }
  ZipEngine.ClearZip();
  ZipEngine.SetZipName(program);
  return FApp.Platform.Files.Stat(program).has_value();
}

// ---------------------------------------------------------------- New

void TfrmMain::mnuNewClick() {
  RunCommand(TOpKind::NewArchive, false, [this] {
    ClearList();
    ClearTree();
    ClearTextPane();
    repaint();
    UpdateCommands();
    TfrmZipOptions form(FApp, Help(), Shell(), this);
    PrepareZipOptions(form, FAppInfo);
    if (ExecModal(form) != QDialog::Accepted) return;
    FAppInfo.Encryption = static_cast<int>(form.Answers().Encryption);
    ApplyZipOptions(form.Answers(), ZipEngine, FOpInfo, FApp.Platform.Drives);
    DoZip();
    if (!FApp.Platform.Files.Stat(ZipEngine.ZipName())) return;  // nothing was made
    if (FOpInfo.CreateSFX && ZipEngine.MultiZipInfo().MultiMode == TMultiMode::mmNone) {
      try {
        FOpInfo.IsSFX = MakeSelfExtracting(true);
      } catch (const EUserCanceled&) {
        throw;
      } catch (const std::exception& e) {
        ShowWarning(FApp, e.what());  // the archive itself is made; it opens
      }
    }
    RefreshView();
    AddToRecentFiles(FApp.Platform, ZipEngine.ZipName());
    ShowReport(TReportKind::Zipped);
  });
}

// ---------------------------------------------------------------- Open's repair offer

void TfrmMain::OfferRepair() {
  const std::string name = ZipEngine.ZipName();
  if (AskYesNo(FApp,
               "Cannot open " + ExtractFileName(name) + "!" + CRCR +
                   "Would you like to try to repair this file?",
               true)) {
    Repair(name);
  }
}

// ---------------------------------------------------------------- Unzip

bool TfrmMain::EnoughFreeSpace() {
  std::string target = ZipEngine.DestDir();
  for (int i = 0; i < ZipEngine.Count() && target.empty(); ++i) {
    const std::string folder = ZipEngine.Pathname(i);
    if (!folder.empty() && folder[0] == '/') target = folder;
  }
  if (target.empty()) return true;  // no place to look at before extracting
  IDrives& drives = FApp.Platform.Drives;
  const std::string root = drives.DriveOf(target);
  if (drives.DriveType(root) == TDriveType::Remote) return true;
  const i64 free = drives.FreeSpace(root);
  if (free < 0) {
    ShowWarning(FApp, SystemErrorText(drives.LastError()));
    return false;
  }
  i64 required = 0;
  if (ZipEngine.DoAll) {
    for (int i = 0; i < ZipEngine.Count(); ++i) required += ZipEngine.UncompressedSize(i);
  } else {
    required = SelectedBytes();
  }
  if (free > required) return true;
  ShowWarning(FApp, std::string("Not enough disk free space!") + CRCR + "Required space:\t" +
                        FormatSize(required) + "\rDisk free space:\t" + FormatSize(free) + CRCR +
                        "Free up atleast " + FormatSize(required - free) +
                        " of disk space and try again.");
  return false;
}

void TfrmMain::mnuUnzipClick() {
  RunCommand(TOpKind::Unzip, true, [this] {
    OpenArchive();
    FPendingTree.reset();  // the view is not rebuilt after extracting
    const TUnzipSetup setup =
        PrepareUnzipOptions(ZipEngine, static_cast<int>(FFiles->SelectedRows().size()));
    TfrmUnzipOptions form(FApp, Help(), Shell(), this);
    form.Prepare(setup);
    if (ExecModal(form) != QDialog::Accepted) return;
    ApplyUnzipOptions(form.Answers(), setup, SelectedMemberNames(true), ZipEngine);
    if (!EnoughFreeSpace()) return;
    StatusBarMsg("Initializing...");
    {
      const TOperationEnd end(*FProgress, [this] { StatusBarMsg(""); });
      Operate([this] { ZipEngine.UnZip(); });
    }
    ShowReport(TReportKind::Unzipped);
  });
}

// ---------------------------------------------------------------- Refresh

void TfrmMain::mnuRefreshZipfileClick() {
  RunCommand(TOpKind::Refresh, true, [this] {
    RunEngine([this] { ZipEngine.ReadZip(); });
    const std::vector<std::string> selected = SelectedMemberNames(false);
    const auto setup = PrepareRefreshOptions(FApp, FCFI, ZipEngine, FOpInfo,
                                             static_cast<int>(FFiles->SelectedRows().size()));
    if (!setup) return;
    TfrmRefreshOptions form(FApp, Help(), Shell(), this);
    form.Prepare(*setup);
    if (ExecModal(form) != QDialog::Accepted) return;
    ApplyRefreshOptions(FApp, form.Answers(), selected, ZipEngine.Count(), ZipEngine, FOpInfo);
    DoZip();
    RefreshView();
    ShowReport(TReportKind::Zipped);
  });
}

// ---------------------------------------------------------------- Self-extracting

void TfrmMain::mnuSFXClick() {
  RunCommand(TOpKind::SelfExtracting, true, [this] {
    const std::string program = ChangeFileExt(ZipEngine.ZipName(), ".exe");
    if (const auto existing = FApp.Platform.Files.LStat(program)) {
      if (!AskYesNo(FApp,
                    std::string("File already exist!") + CRCR + "Do you want to overwrite " +
                        ExtractFileName(program) + "?",
                    false)) {
        return;
      }
      // The old program is replaced only by a complete new one, so it is
      // not deleted first; a folder of that name cannot be replaced at all.
      if (existing->IsDirectory) {
        ShowWarning(FApp, "Could not replace " + ExtractFileName(program) + "!");
        return;
      }
    }
    if (!MakeSelfExtracting(false)) return;
    FOpInfo.IsSFX = true;
    RefreshView();
  });
}

// ---------------------------------------------------------------- Add Files

bool TfrmMain::AskAddFiles(std::vector<std::string>& files) {
  if (AddFilesDialog) {
    files = AddFilesDialog(FApp.Platform.Files.CurrentFolder());
    return !files.empty();
  }
  const TNormalCursor pointer;
  QFileDialog dialog(this, QStringLiteral("Add Files"),
                     QString::fromStdString(FApp.Platform.Files.CurrentFolder()));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setOption(QFileDialog::ReadOnly);
  dialog.setProperty("HelpContext", 1970);
  const QStringList filters = QtFileFilter(kArchiveFilter).split(QStringLiteral(";;"));
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.value(3));
  if (dialog.exec() != QDialog::Accepted) return false;
  for (const QString& file : dialog.selectedFiles()) files.push_back(file.toStdString());
  return !files.empty();
}

// The folder selected in the tree, ending in "/" ("" for the archive's
// root); a shell root that is no folder is refused with a warning.
std::optional<std::string> TfrmMain::AddTargetFolder() {
  const int node = SelectedNode();
  if (!FTree || node < 0) return std::nullopt;
  const std::string folder = FTree->FolderPath(node);
  if (folder == kNotFileSystem) {
    ShowWarning(FApp, "'" + FTree->Node(node).Caption.toStdString() +
                          "' is not part of the file system!" + CRCR + "Select another folder.");
    return std::nullopt;
  }
  return folder.empty() ? folder : IncludeTrailingSlash(folder);
}

void TfrmMain::mnuAddFilesClick() {
  if (!AddTargetFolder()) return;
  std::vector<std::string> files;
  {
    TBusyCursor busy(FApp.Platform.Host);
    if (!AskAddFiles(files)) return;
  }
  AddFiles(files);
}

void TfrmMain::AddFiles(const std::vector<std::string>& Files) {
  const std::optional<std::string> target = AddTargetFolder();
  if (!target || Files.empty()) return;
  const std::string& folder = *target;
  repaint();
  StatusBarMsg("Checking for existing file(s)...");
  RunCommand(TOpKind::AddFiles, true, [this, &folder, &Files] {
    RunEngine([this] { ZipEngine.ReadZip(); });
    std::set<std::string> members;
    for (int i = 0; i < ZipEngine.Count(); ++i) members.insert(ZipEngine.FullName(i));
    // A member of exactly that name in that folder: on Linux a.txt and
    // A.txt are two files, and only the same name would be replaced. A
    // folder (dropped from a file manager) is added with its tree, and
    // asked about once when that folder of the archive holds anything.
    std::vector<std::string> kept;
    std::string root;  // the folder all added paths lie in
    bool folders = false;
    for (const std::string& path : Files) {
      const auto info = FApp.Platform.Files.Stat(path);
      const bool isFolder = info && info->IsDirectory;
      const std::string item = isFolder ? ExcludeTrailingSlash(path) : path;
      const std::string name = ExtractFileName(item);
      const std::string below = folder + name + "/";
      const auto next = members.lower_bound(below);
      const bool exists = isFolder ? next != members.end() && next->starts_with(below)
                                   : members.count(folder + name) != 0;
      if (exists && !AskYesNo(FApp,
                              std::string("File already exist!") + CRCR +
                                  "Do you want to overwrite, " + name + "?",
                              true)) {
        continue;
      }
      kept.push_back(isFolder ? ">" + item + "/*" : item);
      root = root.empty() ? ExtractFilePath(item) : CommonFolder(root, ExtractFilePath(item));
      folders = folders || isFolder;
    }
    if (kept.empty()) return;
    // One rewrite replaces the members the user agreed to and adds the new
    // files: a failure or a cancel leaves the archive as it was.
    ZipEngine.FilesList = kept;
    ZipEngine.ZipAction = TZipAction::zaReplace;
    if (folders) {
      // Each file's path below the folder they were added from is kept.
      ZipEngine.SetRelativePaths(true);
      ZipEngine.SetRootDir(root);
    } else {
      ZipEngine.SetStorePaths(!folder.empty());
    }
    ZipEngine.StoredFolder = folder;
    FAddFolder = folder;
    DoZip();
    RefreshView();
    ShowReport(TReportKind::Zipped);
  });
}

// ---------------------------------------------------------------- Remove Files

void TfrmMain::mnuRemoveFilesClick() {
  RunCommand(TOpKind::RemoveFiles, true, [this] {
    const std::vector<int> rows = FFiles->SelectedRows();
    if (rows.empty()) {
      ShowWarning(FApp, "No files have been selected!");
      return;
    }
    const std::string question =
        rows.size() == 1
            ? "Are you sure you want to remove " + FFileModel->Caption(rows.front()).toStdString() +
                  "?"
            : "Are you sure you want to remove these " + std::to_string(rows.size()) + " files?";
    if (!AskYesNo(FApp, question, true)) return;
    StatusBarMsg("Removing File(s)...");
    ZipEngine.FilesList = SelectedMemberNames(false);
    int removed = 0;
    if (!ZipEngine.FilesList.empty()) {
      const TOperationEnd end(*FProgress, [this] { StatusBarMsg(""); });
      Operate([this, &removed] { removed = ZipEngine.PerformDelete(); });
    }
    const auto selected = static_cast<int>(rows.size());
    if (removed < selected) {
      ShowWarning(FApp, std::to_string(selected - removed) + " file(s) could not be removed!");
    }
    RefreshView();
  });
}

// ---------------------------------------------------------------- Password

// Every chosen member is decoded into a private folder, one after the
// other, with the usual password prompts (a password typed for one member
// is tried first on the next); then one rewrite replaces each member that
// was decoded by its file, enciphered with the new password. A failure or a
// cancel at any point leaves the archive as it was, and the decoded files go
// with the folder on every path.
void TfrmMain::ReencryptMembers(const std::vector<std::string>& names, const std::string& password,
                                TZipEncryption encryption) {
  const auto count = static_cast<int>(names.size());
  FOpInfo.Requested = count;
  FProgressSteps = 0;
  FProgress->setRange(0, 2 * count);
  TPrivateFolder decoded(FApp.Platform.Files);
  ZipEngine.KeepZipOpen = false;
  ZipEngine.DoAll = count == ZipEngine.Count();
  ZipEngine.FilesList = ZipEngine.DoAll ? std::vector<std::string>{} : names;
  ZipEngine.RecreateDirs = true;
  ZipEngine.SetDestDir(decoded.Path());
  ZipEngine.OverwriteMode = TUZOverwriteMode::Never;
  ZipEngine.Password.clear();
  StatusBarMsg("Initializing...");
  RunEngine([this] { ZipEngine.UnZip(); });
  // Only a member decoded exactly where its name leads can be put back
  // under that name.
  std::vector<std::string> files;
  for (const std::string& name : names) {
    if (!NameComesBack(name)) continue;
    const auto info = FApp.Platform.Files.LStat(decoded.Path() + name);
    if (info && info->IsRegular) files.push_back(decoded.Path() + name);
  }
  if (!files.empty()) {
    ZipEngine.FilesList = files;
    ZipEngine.Password = password;
    ZipEngine.Encryption = encryption;
    ZipEngine.ZipAction = TZipAction::zaReplace;
    ZipEngine.SetRootDir(decoded.Path());
    ZipEngine.SetRelativePaths(true);
    ZipEngine.Recurse = false;
    FOpInfo.Processed = 0;
    DoZip();
  }
  ZipEngine.Password.clear();
  ZipEngine.Encryption = TZipEncryption::Traditional;
  if (FOpInfo.Processed < count) {
    ShowWarning(FApp, std::to_string(count - FOpInfo.Processed) +
                          " file(s) could not be given the new password!");
  }
}

void TfrmMain::mnuPasswordClick() {
  RunCommand(TOpKind::ChangePassword, true, [this] {
    RunEngine([this] { ZipEngine.ReadZip(); });
    const std::vector<std::string> selected = SelectedMemberNames(false);
    TfrmPasswordOptions form(FApp, Help(), this);
    form.Prepare(static_cast<int>(selected.size()), FAppInfo.PasswordChar, FAppInfo.Encryption);
    if (ExecModal(form) != QDialog::Accepted) return;
    const TPasswordAnswers answers = form.Answers();
    FAppInfo.Encryption = static_cast<int>(answers.Encryption);
    std::vector<std::string> names = PasswordTargets(answers, selected, ZipEngine);
    // A folder entry holds nothing to encipher.
    std::erase_if(names, IsFolderName);
    if (names.empty()) return;
    ReencryptMembers(names, answers.Password, answers.Encryption);
    RefreshView();
  });
}

// ---------------------------------------------------------------- Repair

void TfrmMain::mnuRepairClick() {
  Repair("");
}

void TfrmMain::Repair(const std::string& FileName) {
  std::string name = FileName;
  if (name.empty()) {
    TBusyCursor busy(FApp.Platform.Host);
    const auto chosen = FApp.Platform.Host.OpenFileDialog("Open", kArchiveFilter,
                                                          FApp.Platform.Files.CurrentFolder());
    if (!chosen) {
      UpdateCommands();
      StatusBarMsg("");
      return;
    }
    name = *chosen;
  }
  StatusBarMsg("Reading " + name + "...");
  RunCommand(TOpKind::Open, false, [this, &name] {
    const std::string extension = ExtractFileExt(name);
    const std::string fixed = name.substr(0, name.size() - extension.size()) + "_Fixed" + extension;
    bool written = false;
    try {
      RunEngine([this, &name, &fixed] { ZipEngine.RepairArchive(name, fixed); });
      written = true;
    } catch (const EUserCanceled&) {
      throw;
    } catch (const std::exception&) {
      // Nothing was written; an older repaired copy stays as it was.
    }
    ResetEngine();
    if (written) {
      ZipEngine.SetZipName(fixed);
      try {
        OpenArchive();
      } catch (const EUserCanceled&) {
        throw;
      } catch (const std::exception&) {
        FPendingTree.reset();
      }
    }
    if (!FPendingTree || FPendingTree->MemberCount() == 0) {
      FPendingTree.reset();
      if (written) FApp.Platform.Files.DeleteFile(fixed);
      ResetEngine();
      ClearTree();
      ClearList();
      ClearTextPane();
      ShowWarning(FApp, ExtractFileName(name) + " could not be repaired!" + CRCR +
                            "Acquire a new copy of this zipfile.  If the new copy is also "
                            "damaged,\rcontact the zipfile's author.");
      return;
    }
    const int saved = FPendingTree->MemberCount();
    StatusBarMsg("Opening " + fixed + "...");
    BuildFolderTree();
    FillFileList();
    ShowReadme();
    FOpInfo.Processed = saved;
    AddToRecentFiles(FApp.Platform, fixed);
  });
}

// ---------------------------------------------------------------- Test Zipfile

// Decodes the members the patterns choose into a stream that keeps nothing,
// after comparing every member's local header with its central record. The
// members that failed, with why, end in FTestFaults.
void TfrmMain::TestMembers(const std::vector<std::string>& patterns) {
  FTestFaults.clear();
  FTestUndecodable.clear();
  FTestDone.clear();
  RunEngine([this] {
    for (const TMemberFault& fault : CheckMembers(FApp.Platform.Files, ZipEngine)) {
      FTestFaults[fault.Index].push_back(fault.Reason);
      if (fault.Undecodable) FTestUndecodable.insert(fault.Index);
    }
  });
  TCappedStream sink(0);
  StatusBarMsg("Initializing...");
  const TOperationEnd end(*FProgress, [this] { StatusBarMsg(""); });
  Operate([this, &patterns, &sink] {
    for (const std::string& pattern : patterns) ZipEngine.UnZipToStream(sink, pattern);
  });
}

// The members the patterns choose, as the engine's extraction matches them
// (case ignored); folder entries hold nothing to test.
std::set<int> TfrmMain::ChosenMembers(const std::vector<std::string>& patterns) const {
  std::vector<std::string> lower;
  for (const std::string& pattern : patterns) lower.push_back(LowerCaseAscii(pattern));
  std::set<int> chosen;
  for (int i = 0; i < ZipEngine.Count(); ++i) {
    const std::string name = ZipEngine.FullName(i);
    if (IsFolderName(name)) continue;
    const std::string key = LowerCaseAscii(name);
    for (const std::string& pattern : lower) {
      if (Match(pattern, key)) {
        chosen.insert(i);
        break;
      }
    }
  }
  return chosen;
}

void TfrmMain::mnuTestZipfileClick() {
  RunCommand(TOpKind::Test, true, [this] {
    OpenArchive();
    FPendingTree.reset();
    std::vector<std::string> patterns = SelectedMemberNames(true);
    if (patterns.empty()) patterns = {"*"};
    const std::set<int> chosen = ChosenMembers(patterns);
    FOpInfo.Requested = static_cast<int>(chosen.size());
    TestMembers(patterns);
    // One line per chosen member that failed, with every reason found.
    for (const auto& [index, reasons] : FTestFaults) {
      if (chosen.count(index) == 0) continue;
      std::string text;
      for (const std::string& reason : reasons) text += (text.empty() ? "" : "; ") + reason;
      FOpInfo.AddProblem(ZipEngine.FullName(index), false, text);
    }
    ShowReport(TReportKind::Tested);
  });
}

}  // namespace vz
