// TfrmMain: the program's main window. It owns the archive engine and shows
// the open archive as a folder tree (tvFolders), the selected folder's rows
// (lvFiles, four view styles over one model) and a text pane, with the
// status bar and its progress bar below.
//
// The class is split by concern: MainWindow.cpp (layout, start-up and
// shut-down), MainWindowActions.cpp (menus, toolbar, pop-up menu, which
// command is enabled when), MainWindowView.cpp (opening an archive into the
// tree and the list, view settings), MainWindowText.cpp (text pane, readme,
// virus scan), MainWindowEngine.cpp (engine reset and the engine events
// that opening needs), MainWindowCommands.cpp (the archive commands),
// MainWindowEvents.cpp (the events of their operations), MainWindowViewing.cpp
// (View File and the hand-off to the viewer), MainWindowFiles.cpp (deleting
// archives, mail, properties, options, the Help menu), MainWindowHelp.cpp
// (F1, What's This texts), MainWindowDrag.cpp and MainWindowEdits.cpp (drag
// and drop, members edited in a viewer). Engine operations run on a worker
// through TOperationRunner; the views only ever read a TArchiveTree snapshot.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/ArchiveTree.h"
#include "app/NameEncoding.h"
#include "app/core/AppGlobals.h"
#include "app/core/OpInfo.h"
#include "app/dialogs/ShellLocations.h"
#include "engine/writer/ZipEngine.h"

class QAction;
class QDialog;
class QMimeData;
class QActionGroup;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QToolButton;
class QTreeView;
class QPushButton;
class QDialog;

namespace vz {

class IHelpService;
class TAppInfo;
class TCFI;
class TEmail;
class TMemberEdits;
struct TMemberEdit;
class THelpService;
class TViewerFolder;
class TFileListModel;
class TFileView;
class TFolderModel;
class TOpInfo;
class TOperationRunner;
class TProgressGate;
class TDiskPrompt;
class TShellNamespace;
class IHelpService;
enum class TReportKind : int;

// The filter of the archive file dialogs.
inline constexpr char kArchiveFilter[] =
    "Zipfile|*.zip|Self Extracting File|*.exe|Zipfile or Self Exracting File|*.zip;*.exe|"
    "Any File|*.*";

// What the window works with; all outlive it.
struct TMainServices {
  const TAppContext& App;
  TAppInfo& AppInfo;
  TOpInfo& OpInfo;
  TCFI& CFI;
  // F1, the Help buttons and Help Finder; without one the window makes
  // its own help window.
  IHelpService* Help = nullptr;
};

class TfrmMain : public QMainWindow {
  Q_OBJECT
 public:
  // FormCreate runs here. `arguments`: the command line after the program's
  // name; its last entry names the archive FormShow opens.
  TfrmMain(const TMainServices& services, QStringList arguments, QWidget* parent = nullptr);
  ~TfrmMain() override;

  TZipEngine ZipEngine;

  // ---- start-up and shut-down ----
  void FormShow();
  // Records cleaned, placement and settings saved (from closeEvent).
  void FormClose();

  // ---- the archive view ----
  // Reads the directory of ZipName on a worker, asking for the last disk of
  // a set while the read says the archive is incomplete. EUserCanceled
  // "User canceled loading new disk." when that prompt is cancelled.
  void OpenArchive();
  void BuildFolderTree();
  void FillFileList();
  void ClearTree();
  void ClearList();
  void SetColumns(bool WithType);
  void UpdateCommands();
  void ToggleMaxTextPane();
  void StatusBarMsg(const std::string& Text);
  bool IsMultiDisk() const;
  // A self-extracting archive: its extension, lower-cased, is ".exe".
  static bool IsSfxName(const std::string& name);
  // The engine to fixed defaults before each command.
  void ResetEngine();

  // ---- text pane and virus scan ----
  void ShowInTextPane(const std::string& MemberName);
  void ShowReadme();
  void ClearTextPane();
  void ScanArchive(bool WithWindow);

  // ---- View > Name encoding: the one place a choice is applied ----
  void ApplyNameEncoding(TNameEncoding encoding);
  TNameEncoding NameEncoding() const { return FNameEncoding; }

  // ---- for the commands, the tests and the benchmark ----
  QAction* Action(const QString& name) const;
  // The snapshot BuildFolderTree shows next, for callers that read the
  // directory on their own; without one it takes a snapshot itself.
  void SetPendingTree(std::shared_ptr<const TArchiveTree> tree) { FPendingTree = std::move(tree); }
  const std::shared_ptr<const TArchiveTree>& Tree() const { return FTree; }
  TFolderModel& FolderModel() const { return *FFolderModel; }
  TFileListModel& FileListModel() const { return *FFileModel; }
  TOperationRunner& Runner() const { return *FRunner; }
  int SelectedNode() const;
  void SelectNode(int node);
  // The prompt now open (the last-disk or next-disk prompt), else nullptr.
  TDiskPrompt* OpenPrompt() const { return FOpenPrompt; }
  // Runs a command's handler: EUserCanceled ends it silently, any other
  // error is reported in a message box (the general error report).
  void Guarded(const std::function<void()>& handler);
  void ReportError(const std::string& message);
  // Shows a disk prompt and answers whether OK was chosen; tests replace it.
  std::function<bool(TDiskPrompt&)> ExecPrompt;

  // ---- archive commands (MainWindowCommands.cpp) ----
  // Each runs in RunCommand's frame: TOpInfo reset with the command's
  // kind, the engine reset (keeping the open archive's name where the
  // command works on it), its dialog, the engine's work on a worker thread
  // while the window stays painted and Esc or Cancel stops it, the view
  // rebuilt, the report. The busy cursor goes and "Done" is shown on every
  // path; EUserCanceled ends a command silently, any other error is a
  // warning.
  void mnuNewClick();
  void mnuUnzipClick();
  void mnuRefreshZipfileClick();
  void mnuSFXClick();
  void mnuAddFilesClick();
  // Adds files (full paths) into the folder selected in the tree, asking
  // about each member of the same name there: what Add Files does after its
  // dialog, and what a drop of files on the window does.
  void AddFiles(const std::vector<std::string>& Files);
  void mnuRemoveFilesClick();
  void mnuPasswordClick();
  // Asks for the damaged archive.
  void mnuRepairClick();
  // Writes <name>_Fixed.<ext> from what can be found in `FileName` and
  // opens it; a repair that finds nothing leaves no such file.
  void Repair(const std::string& FileName);
  // Decodes every member (or the selected ones) without writing, and lists
  // each member that failed and why.
  void mnuTestZipfileClick();
  // The zip operation with its status and warnings; writes the folder
  // record when asked. False when it failed (after the warning).
  bool DoZip();
  void ShowReport(TReportKind Kind);
  // The self-extracting copy of the open archive, which then becomes the
  // open archive; true when the copy exists.
  bool MakeSelfExtracting(bool MoveWithoutAsking);
  // Shows a dialog or prompt modally and answers its result (a modal
  // result of the prompts, or QDialog::Accepted); tests replace it.
  std::function<int(QDialog&)> ExecDialog;
  // The files to add ("Add Files", several may be chosen); tests replace it.
  std::function<std::vector<std::string>(const std::string& Folder)> AddFilesDialog;
  // The dialog or prompt now open, else nullptr.
  QDialog* OpenDialog() const { return FOpenDialog; }
  // Where the dialogs' folder trees start; the user's own by default.
  void SetShellLocations(TShellLocations locations);
  // ---- viewing, file management, properties, options and help ----
  // View File: text members into the text pane, the others extracted into
  // the private folder and handed to the viewer.
  void ViewSelected();
  void mnuDeletecurrentzipfileClick();
  void mnuDeleteZipfilesClick();
  void mnuSendClick();
  void mnuPropertiesClick();
  void popPropertiesClick();
  void mnuOptionsClick();
  void mnuFormatClick(const std::string& drive);
  void mnuHelpFinderClick();
  void mnuVarnelClick();
  void mnuAboutClick();
  IHelpService& Help() const { return *FHelp; }
  // The web page of the web command: the setting HomePage, else ours.
  std::string HomePage() const;
  // ---- drag and drop ----
  // Paths dropped from a file manager: on an empty window one archive is
  // opened; with an archive open they go into the selected folder.
  void DropFiles(const std::vector<std::string>& Paths);
  // The data of a drag that carries these members: each extracted whole
  // into the private folder, as file URLs; nullptr when none could be.
  QMimeData* DragMembers(const std::vector<std::string>& FullNames);
  // Members handed to a viewer, watched for saves.
  TMemberEdits& MemberEdits() const { return *FEdits; }
  // Open with the file already chosen: the scan when the options ask for
  // it, the read and the view.
  void OpenFile(const std::string& File);
  // The files chosen in a file dialog that takes several; tests replace it.
  std::function<std::vector<std::string>(const std::string& Title, const std::string& Filter)>
      OpenFilesDialog;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // MainWindow.cpp
  void FormCreate();
  void CreateLayout();
  void CreateStatusBar();
  void ApplySettings();
  void UpdateTitle();
  // MainWindowActions.cpp
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreatePopupMenu();
  void BuildFormatMenu();
  void ConnectCommands();
  void lvFilesChange();
  // MainWindowView.cpp
  void ConnectViewSignals();
  void tvFoldersCurrentChanged();
  void lvFilesClick();
  void lvFilesDblClick();
  void lvFilesMouseDown(const QPoint& position);
  void splHorizontalMoved();
  void splVerticalMoved();
  void SetViewStyle(int style);
  void SetGridLines(bool on);
  void SetToolBarVisible(bool on);
  void FocusFilter();
  void mnuOpenClick();
  // Reads ZipName (errors swallowed) and shows it, or an empty view when
  // it cannot be read; the tail of Open and of opening a scanned archive.
  // False when it cannot be read.
  bool OpenIntoView();
  void mnuCloseClick();
  void mnuSelectAllClick();
  // MainWindowEngine.cpp
  void ConnectEngineEvents();
  void ZipEngineInCompleteZip(TIncompleteZipMode& IncompleteMode);
  void ZipEngineGetNextDisk(int NextDisk, std::string& FName);
  bool AskForDisk(TDiskPrompt& prompt);
  QIcon DriveIcon() const;
  // MainWindowText.cpp
  bool RunScanner();
  // MainWindowCommands.cpp
  void ConnectArchiveCommands();
  void RunCommand(TOpKind Kind, bool KeepArchive, const std::function<void()>& Body);
  // Engine work on the worker thread, from a clear cancel flag.
  void RunEngine(const std::function<void()>& work);
  // RunEngine; an error other than EUserCanceled becomes a warning and
  // false.
  bool Operate(const std::function<void()>& work);
  // Reads the archive again and shows it, keeping the selected folder.
  void RefreshView();
  int ExecModal(QDialog& dialog);
  TShellNamespace& Shell();
  std::vector<std::string> SelectedMemberNames(bool withFolders) const;
  i64 SelectedBytes() const;
  bool EnoughFreeSpace();
  void SaveFolderRecord();
  void OfferRepair();
  bool AskAddFiles(std::vector<std::string>& files);
  std::optional<std::string> AddTargetFolder();
  void ReencryptMembers(const std::vector<std::string>& names, const std::string& password,
                        TZipEncryption encryption);
  void TestMembers(const std::vector<std::string>& patterns);
  std::set<int> ChosenMembers(const std::vector<std::string>& patterns) const;
  // MainWindowEvents.cpp
  void ConnectOperationEvents();
  void ZipEngineTotalPercentDone(int Percent);
  void ZipEngineStartZipInfo(int NumFiles);
  void ZipEngineStartZip(const std::string& FName, TZipHeaderInfo& ZipHeader);
  void ZipEngineEndZip();
  void ZipEngineNoSuchFile(const std::string& FName);
  void ZipEngineStartUnZipInfo(int NumFiles);
  void ZipEngineStartUnZip(int FileIndex, const std::string& FName, bool& Skip);
  void ZipEngineEndUnZip(int FileIndex);
  void ZipEnginePromptForOverwrite(bool& OverWriteIt, int FileIndex, std::string& FName);
  void ZipEngineBadPassword(int FileIndex, std::string& NewPassword);
  void ZipEngineBadCRC(int FileIndex);
  void ZipEngineSkippingFile(TSkipReason Reason, int FileIndex);
  // A step of the bar in commands that count members, not bytes.
  void StepProgress();
  // MainWindowViewing.cpp
  void ViewInViewer(const std::string& name);
  // The member extracted whole into a new folder of the private folder:
  // its path, or nullopt (nothing left behind) when it was not extracted.
  std::optional<std::string> ExtractForViewing(const std::string& name);
  // MainWindowDrag.cpp
  void InstallDragAndDrop();
  // MainWindowEdits.cpp
  void WatchEdit(const std::string& name, const std::string& path);
  void MemberSaved(TMemberEdit& edit);
  void ReplaceMember(TMemberEdit& edit);
  // MainWindowFiles.cpp
  void ConnectFileCommands();
  void ShowProperties(const std::string& Name, bool Member);
  // MainWindowHelp.cpp
  void InstallHelp();

  const TAppContext& FApp;
  TAppInfo& FAppInfo;
  TOpInfo& FOpInfo;
  TCFI& FCFI;
  QStringList FArguments;

  std::shared_ptr<const TArchiveTree> FTree;
  // The snapshot the last read took on its thread, until BuildFolderTree
  // shows it.
  std::shared_ptr<const TArchiveTree> FPendingTree;
  bool FBuildingTree = false;
  bool FHasFolderRecord = false;
  std::string FFolderRootDir;
  TNameEncoding FNameEncoding = TNameEncoding::Auto;
  bool FCloseAfterOperation = false;
  bool FClosing = false;
  TDiskPrompt* FOpenPrompt = nullptr;
  QDialog* FOpenDialog = nullptr;
  // Shared pointers, so that the window's own files need not know the types.
  std::shared_ptr<TShellNamespace> FShell;
  std::optional<TShellLocations> FShellLocations;
  // What the operation's handlers read off the user-interface thread, set
  // before the operation starts.
  std::string FAddFolder;              // Add Files: the folder new members go to
  std::atomic<int> FProgressSteps{0};  // members counted so far
  // Test Zipfile: the reasons each member failed, by view index; the
  // members whose method cannot be decoded; the members done with (passed
  // or failed), which a second pattern naming them does not test again.
  std::map<int, std::vector<std::string>> FTestFaults;
  std::set<int> FTestUndecodable;
  std::set<int> FTestDone;
  IHelpService* FHelp = nullptr;
  std::unique_ptr<THelpService> FOwnHelp;
  std::unique_ptr<TEmail> emSend;
  std::unique_ptr<TViewerFolder> FViewerFolder;
  TMemberEdits* FEdits = nullptr;

  std::map<QString, QAction*> FActions;
  QActionGroup* FViewStyles = nullptr;
  QActionGroup* FEncodings = nullptr;
  QToolBar* FToolBar = nullptr;
  QMenu* FToolsMenu = nullptr;
  QMenu* FPopup = nullptr;
  QSplitter* FHorizontal = nullptr;  // splHorizontal: upper pane over text pane
  QSplitter* FVertical = nullptr;    // splVertical: tree beside list
  QWidget* FViewPanes = nullptr;
  QTreeView* FFolders = nullptr;
  TFileView* FFiles = nullptr;
  QLineEdit* FFilter = nullptr;
  QLabel* FTextLabel = nullptr;
  QPlainTextEdit* FText = nullptr;
  QProgressBar* FProgress = nullptr;
  QPushButton* FCancelButton = nullptr;
  QLabel* FStatus = nullptr;
  TFolderModel* FFolderModel = nullptr;
  TFileListModel* FFileModel = nullptr;
  TOperationRunner* FRunner = nullptr;
  TProgressGate* FProgressGate = nullptr;
};

}  // namespace vz
