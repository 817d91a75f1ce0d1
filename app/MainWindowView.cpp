// TfrmMain: opening an archive into the view (OpenArchive, BuildFolderTree,
// FillFileList), the tree and list handlers, and the View menu's settings.
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSplitter>
#include <QTableView>
#include <QToolBar>
#include <QTreeView>

#include "app/FileListModel.h"
#include "app/FileView.h"
#include "app/FolderModel.h"
#include "app/MainWindow.h"
#include "app/OperationRunner.h"
#include "app/RecentFiles.h"
#include "app/core/AppInfo.h"
#include "app/core/CFI.h"
#include "app/core/Helpers.h"
#include "app/core/OpInfo.h"
#include "app/dialogs/frmDiskPrompt.h"

namespace vz {
bool TfrmMain::IsSfxName(const std::string& name) {
  return QFileInfo(QString::fromStdString(name)).suffix().toLower() == QLatin1String("exe");
}

bool TfrmMain::IsMultiDisk() const {
  return FTree && FTree->IsMultiDisk();
}

void TfrmMain::OpenArchive() {
  FPendingTree.reset();
  if (ZipEngine.ZipName().empty()) return;
  const std::string name = ZipEngine.ZipName();
  for (;;) {
    try {
      FRunner->Run([this, &name] {
        ZipEngine.ClearZip();
        ZipEngine.SetZipName(name);
        ZipEngine.ReadZip();
        FPendingTree = TArchiveTree::FromEngine(ZipEngine);
      });
      return;
    } catch (const EIncompleteZip&) {
      TfrmGetLastDisk prompt(this);
      prompt.setWindowTitle(QString::fromStdString(FApp.Globals.AppTitle));
      prompt.SetDriveIcon(DriveIcon());
      const bool ok = AskForDisk(prompt);
      repaint();
      if (!ok) throw EUserCanceled("User canceled loading new disk.");
    }
  }
}

void TfrmMain::BuildFolderTree() {
  StatusBarMsg("Opening zipfile...");
  const int selected = SelectedNode();
  const QString remembered = selected >= 0 ? FTree->Node(selected).Caption : QString();
  const bool byPath = selected >= 0 && !FTree->Node(selected).NotFileSystem;
  const std::string rememberedPath = byPath ? FTree->FolderPath(selected) : std::string();
  std::shared_ptr<const TArchiveTree> tree = std::move(FPendingTree);
  if (!tree) FRunner->Run([this, &tree] { tree = TArchiveTree::FromEngine(ZipEngine); });
  FFolders->setUpdatesEnabled(false);
  if (FTree) ClearTree();
  FTree = std::move(tree);
  ZipEngine.SortMode = TZipSortMode::ByDirectoryName;
  {
    const QSignalBlocker quiet(FFolders->selectionModel());
    FFolderModel->SetTree(FTree);
    FFileModel->SetTree(FTree);
  }
  UpdateTitle();
  // The folder that was selected, or the nearest one above it that is still
  // there; a shell root ("Computer") by its caption.
  int node = byPath                 ? FTree->FindFolder(rememberedPath)
             : remembered.isEmpty() ? -1
                                    : FTree->FindCaption(remembered);
  const int firstRoot = FTree->Roots().empty() ? -1 : FTree->Roots().front();
  if (node < 0 || node == firstRoot) {
    node = firstRoot;
    for (int root : FTree->Roots()) FFolders->expand(FFolderModel->IndexOfNode(root));
  }
  FBuildingTree = true;
  SelectNode(node);
  FBuildingTree = false;
  FFolders->setUpdatesEnabled(true);
  StatusBarMsg("");
  ClearList();
  FHasFolderRecord = FCFI.Find(ZipEngine.ZipName());
  SetColumns(FHasFolderRecord);
}

void TfrmMain::FillFileList() {
  StatusBarMsg("Opening folder...");
  ClearList();
  QString rootDir;
  if (FHasFolderRecord) {
    ZipEngine.SetRootDir(FCFI.RootDir);
    rootDir = QString::fromStdString(ZipEngine.RootDir());
  }
  {
    const QSignalBlocker quiet(FFilter);
    FFilter->clear();
  }
  FFileModel->SetFilter(QString());
  FFileModel->Fill(SelectedNode(), rootDir);
  StatusBarMsg("");
  lvFilesChange();
}

void TfrmMain::ClearList() {
  FFileModel->Clear();
  lvFilesChange();
}

void TfrmMain::ClearTree() {
  FTree.reset();
  FHasFolderRecord = false;
  FFolderModel->SetTree(nullptr);
  FFileModel->SetTree(nullptr);
  FFileModel->ClearColumns();
  UpdateTitle();
}

void TfrmMain::SetColumns(bool WithType) {
  FFileModel->SetColumns(WithType);
  std::vector<int> widths{150, 130, 75, 75, 55};
  if (WithType) widths.insert(widths.begin() + 1, 150);
  FFiles->SetColumnWidths(widths);
}

int TfrmMain::SelectedNode() const {
  return FFolderModel->NodeOf(FFolders->currentIndex());
}

void TfrmMain::SelectNode(int node) {
  const QModelIndex index = FFolderModel->IndexOfNode(node);
  FFolders->setCurrentIndex(index);
  if (index.isValid()) FFolders->scrollTo(index);
  FFolderModel->SetSelectedNode(node);
}

// Pressing on a node (or moving to it with the keys) lists its folder.
void TfrmMain::tvFoldersCurrentChanged() {
  FFolderModel->SetSelectedNode(SelectedNode());
  if (FBuildingTree) return;
  TBusyCursor busy(FApp.Platform.Host);
  FillFileList();
}

// A click that leaves one folder row selected opens that folder.
void TfrmMain::lvFilesClick() {
  const std::vector<int> rows = FFiles->SelectedRows();
  if (rows.size() != 1) return;
  const TListRow row = FFileModel->RowAt(rows.front());
  if (row.IsFolder()) SelectNode(row.Node());
}

// A folder row was already opened by the click; one member is viewed.
void TfrmMain::lvFilesDblClick() {
  const std::vector<int> rows = FFiles->SelectedRows();
  if (rows.size() != 1 || FFileModel->RowAt(rows.front()).IsFolder()) return;
  if (Action(QStringLiteral("mnuViewFile"))->isEnabled()) Guarded([this] { ViewSelected(); });
}

void TfrmMain::lvFilesMouseDown(const QPoint& position) {
  QAbstractItemView* view = FFiles->CurrentView();
  const QModelIndex index = view->indexAt(view->viewport()->mapFrom(FFiles, position));
  if (!index.isValid() || FFileModel->RowAt(index.row()).IsFolder()) return;
  if (!view->selectionModel()->isRowSelected(index.row(), {})) {
    view->selectionModel()->select(index,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  FPopup->popup(QCursor::pos());
}

void TfrmMain::splHorizontalMoved() {
  if (FViewPanes->isVisible()) FAppInfo.HSplitterPos = FHorizontal->sizes().value(0);
}

void TfrmMain::splVerticalMoved() {
  FAppInfo.VSplitterPos = FVertical->sizes().value(0);
}

void TfrmMain::ToggleMaxTextPane() {
  QAction* action = Action(QStringLiteral("mnuMaxTextPane"));
  if (FViewPanes->isHidden()) {
    FViewPanes->show();
    const int total = FHorizontal->height();
    FHorizontal->setSizes({FAppInfo.HSplitterPos, std::max(total - FAppInfo.HSplitterPos, 55)});
    action->setChecked(false);
  } else {
    FViewPanes->hide();
    action->setChecked(true);
  }
}

void TfrmMain::SetViewStyle(int style) {
  FAppInfo.ViewStyle = style;
  FFiles->SetViewStyle(style);
  static const char* const names[] = {"mnuLargeIcons", "mnuSmallIcons", "mnuList", "mnuDetails"};
  Action(QLatin1String(names[std::clamp(style, 0, 3)]))->setChecked(true);
}

void TfrmMain::SetGridLines(bool on) {
  FAppInfo.GridLines = on;
  FFiles->SetGridLines(on);
  Action(QStringLiteral("mnuGridLines"))->setChecked(on);
}

void TfrmMain::SetToolBarVisible(bool on) {
  FAppInfo.MainToolBar = on;
  FToolBar->setVisible(on);
  Action(QStringLiteral("mnuToolbar"))->setChecked(on);
}

void TfrmMain::FocusFilter() {
  FFilter->setFocus(Qt::ShortcutFocusReason);
  FFilter->selectAll();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FFilter && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    FFilter->clear();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::ConnectViewSignals() {
  connect(FFolders->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { tvFoldersCurrentChanged(); });
  connect(FFiles, &TFileView::RowClicked, this, [this] { lvFilesClick(); });
  connect(FFiles, &TFileView::RowDoubleClicked, this, [this] { lvFilesDblClick(); });
  connect(FFiles, &TFileView::RightButtonPressed, this,
          [this](const QPoint& position) { lvFilesMouseDown(position); });
  connect(FHorizontal, &QSplitter::splitterMoved, this, [this] { splHorizontalMoved(); });
  connect(FVertical, &QSplitter::splitterMoved, this, [this] { splVerticalMoved(); });
  connect(FFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
    FFileModel->SetFilter(text);
    lvFilesChange();
  });
}

void TfrmMain::ApplyNameEncoding(TNameEncoding encoding) {
  FNameEncoding = encoding;
  Action(QLatin1String(InfoOf(encoding).ObjectName))->setChecked(true);
  try {
    SetEngineNameEncoding(ZipEngine, encoding);
    if (!FTree) return;
    OpenArchive();
    BuildFolderTree();
    FillFileList();
  } catch (const EUserCanceled&) {
  } catch (const std::exception& e) {
    ShowWarning(FApp, e.what());
  }
  UpdateCommands();
}

// Open: the dialog, the scan, the read and the view, and the offer to
// repair an archive that cannot be read.
void TfrmMain::mnuOpenClick() {
  std::optional<std::string> file;
  {
    TBusyCursor busy(FApp.Platform.Host);
    file = FApp.Platform.Host.OpenFileDialog("Open", kArchiveFilter,
                                             FApp.Platform.Files.CurrentFolder());
  }
  if (file) OpenFile(*file);
}

void TfrmMain::OpenFile(const std::string& File) {
  TBusyCursor busy(FApp.Platform.Host);
  repaint();
  FOpInfo.Reset();
  FOpInfo.OpKind = TOpKind::Open;
  FOpInfo.IsSFX = IsSfxName(File);
  ResetEngine();
  try {
    ZipEngine.SetZipName(File);
    if (FAppInfo.AutoScan) ScanArchive(false);
  } catch (const std::exception&) {
  }
  if (OpenIntoView()) {
    AddToRecentFiles(FApp.Platform, ZipEngine.ZipName());
  } else {
    OfferRepair();
  }
}

bool TfrmMain::OpenIntoView() {
  bool read = true;
  try {
    StatusBarMsg("Opening " + ZipEngine.ZipName() + "...");
    OpenArchive();
  } catch (const EUserCanceled&) {
    FPendingTree.reset();
  } catch (const std::exception&) {
    FPendingTree.reset();
    read = false;
  }
  // Nothing found in what should have been a directory is no archive; an
  // archive that says it is empty is one.
  if (FPendingTree && FPendingTree->MemberCount() == 0 && ZipEngine.Rebuilt()) {
    FPendingTree.reset();
    read = false;
  }
  if (!FPendingTree) {
    ClearTree();
    ClearList();
    ClearTextPane();
  } else {
    BuildFolderTree();
    FillFileList();
    ClearTextPane();
    ShowReadme();
    if (FViewPanes->isHidden()) ToggleMaxTextPane();
  }
  UpdateCommands();
  StatusBarMsg("");
  return read;
}

void TfrmMain::mnuCloseClick() {
  ResetEngine();
  FOpInfo.Reset();
  ClearTree();
  ClearList();
  ClearTextPane();
  UpdateCommands();
}

void TfrmMain::mnuSelectAllClick() {
  if (FFileModel->rowCount() == 0) return;
  FFiles->SelectAllRows();
  FFiles->CurrentView()->setFocus();
}

}  // namespace vz
