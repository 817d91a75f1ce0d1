// TfrmMain: layout, start-up (FormCreate, FormShow) and shut-down
// (FormClose, the destructor).
#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/FileListModel.h"
#include "app/FileView.h"
#include "app/FolderModel.h"
#include "app/HelpWindow.h"
#include "app/Icons.h"
#include "app/MemberEdits.h"
#include "app/OperationRunner.h"
#include "app/Placement.h"
#include "app/RecentFiles.h"
#include "app/core/AppInfo.h"
#include "app/core/CFI.h"
#include "app/core/Email.h"
#include "app/core/Helpers.h"
#include "app/core/OpInfo.h"
#include "app/core/ViewerFiles.h"

namespace vz {

TfrmMain::TfrmMain(const TMainServices& services, QStringList arguments, QWidget* parent)
    : QMainWindow(parent),
      ZipEngine(services.App.Platform),
      FApp(services.App),
      FAppInfo(services.AppInfo),
      FOpInfo(services.OpInfo),
      FCFI(services.CFI),
      FArguments(std::move(arguments)),
      FHelp(services.Help) {
  if (FHelp == nullptr) {
    FOwnHelp = std::make_unique<THelpService>();
    FHelp = FOwnHelp.get();
  }
  FormCreate();
}

TfrmMain::~TfrmMain() {
  // FormDestroy. An operation still running here would outlive its
  // engine; closeEvent waits for it, so only a window destroyed without
  // being closed can get here busy, and then the cancel is all there is.
  if (FRunner->Busy()) ZipEngine.CancelOperation = true;
  ClearTree();
  ClearList();
}

void TfrmMain::FormCreate() {
  TBusyCursor busy(FApp.Platform.Host);
  setObjectName(QStringLiteral("frmMain"));
  setWindowIcon(AppIcon());
  FRunner = new TOperationRunner(this);
  FProgressGate = new TProgressGate(this);
  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreatePopupMenu();
  CreateLayout();
  CreateStatusBar();
  ConnectViewSignals();
  BuildFormatMenu();
  ConnectCommands();
  ConnectFileCommands();
  ConnectEngineEvents();
  InstallHelp();
  InstallDragAndDrop();
  ResetEngine();
  FAppInfo.LoadSettings();
  FNameEncoding = LoadNameEncoding(FApp.Platform.Settings, SettingsKeyOf(FApp.Globals.AppKey));
  ApplySettings();
  UpdateTitle();
  UpdateCommands();
}

void TfrmMain::CreateLayout() {
  FFolderModel = new TFolderModel(this);
  FFileModel = new TFileListModel(this);

  FFolders = new QTreeView;
  FFolders->setObjectName(QStringLiteral("tvFolders"));
  FFolders->setHeaderHidden(true);
  FFolders->setIndentation(19);
  FFolders->setIconSize(QSize(16, 16));
  FFolders->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FFolders->setUniformRowHeights(true);
  FFolders->setModel(FFolderModel);
  SetHelpContext(FFolders, 230);

  FFilter = new QLineEdit;
  FFilter->setObjectName(QStringLiteral("edtFilter"));
  FFilter->setPlaceholderText(QStringLiteral("Filter (Ctrl+F)"));
  FFilter->setClearButtonEnabled(true);
  FFilter->installEventFilter(this);
  FFiles = new TFileView;
  FFiles->SetModel(FFileModel);
  SetHelpContext(FFiles, 240);
  auto* listPane = new QWidget;
  auto* listLayout = new QVBoxLayout(listPane);
  listLayout->setContentsMargins(0, 0, 0, 0);
  listLayout->setSpacing(2);
  listLayout->addWidget(FFilter);
  listLayout->addWidget(FFiles);

  FVertical = new QSplitter(Qt::Horizontal);
  FVertical->setObjectName(QStringLiteral("splVertical"));
  FVertical->setHandleWidth(3);
  FVertical->setChildrenCollapsible(false);
  FVertical->addWidget(FFolders);
  FVertical->addWidget(listPane);
  FVertical->setStretchFactor(1, 1);
  FViewPanes = new QWidget;
  FViewPanes->setObjectName(QStringLiteral("pnlViewPanes"));
  auto* panesLayout = new QVBoxLayout(FViewPanes);
  panesLayout->setContentsMargins(0, 0, 0, 0);
  panesLayout->addWidget(FVertical);

  auto* textPane = new QWidget;
  textPane->setObjectName(QStringLiteral("pnlTextViewer"));
  auto* nameBar = new QFrame;
  nameBar->setObjectName(QStringLiteral("pnlFileName"));
  nameBar->setFrameStyle(QFrame::Panel | QFrame::Raised);
  FTextLabel = new QLabel;
  FTextLabel->setObjectName(QStringLiteral("lblTextViewer"));
  auto* nameLayout = new QVBoxLayout(nameBar);
  nameLayout->setContentsMargins(4, 1, 4, 1);
  nameLayout->addWidget(FTextLabel);
  nameBar->setFixedHeight(std::max(19, FTextLabel->sizeHint().height() + 4));
  FText = new QPlainTextEdit;
  FText->setObjectName(QStringLiteral("redTextViewer"));
  FText->setReadOnly(true);
  FText->setLineWrapMode(QPlainTextEdit::NoWrap);
  FText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  FText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  SetHelpContext(FText, 250);
  auto* textLayout = new QVBoxLayout(textPane);
  textLayout->setContentsMargins(0, 0, 0, 0);
  textLayout->setSpacing(0);
  textLayout->addWidget(nameBar);
  textLayout->addWidget(FText);
  textPane->setMinimumHeight(55);
  FViewPanes->setMinimumHeight(55);

  FHorizontal = new QSplitter(Qt::Vertical);
  FHorizontal->setObjectName(QStringLiteral("splHorizontal"));
  FHorizontal->setHandleWidth(3);
  FHorizontal->setChildrenCollapsible(false);
  FHorizontal->addWidget(FViewPanes);
  FHorizontal->addWidget(textPane);
  FHorizontal->setStretchFactor(1, 1);
  setCentralWidget(FHorizontal);
}

void TfrmMain::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar"));
  SetHelpContext(bar, 260);
  auto* panel = new QWidget;
  panel->setObjectName(QStringLiteral("pnlProgress"));
  panel->setFixedWidth(193);
  auto* layout = new QHBoxLayout(panel);
  layout->setContentsMargins(0, 2, 0, 0);
  layout->setSpacing(2);
  FProgress = new QProgressBar;
  FProgress->setObjectName(QStringLiteral("ProgressBar"));
  FProgress->setRange(0, 100);
  FProgress->setValue(0);
  FProgress->setTextVisible(false);
  FCancelButton = new QPushButton(QStringLiteral("Cancel"));
  FCancelButton->setObjectName(QStringLiteral("butCancelOperation"));
  FCancelButton->setToolTip(QStringLiteral("Stop the running operation (Esc)"));
  FCancelButton->hide();
  layout->addWidget(FProgress, 1);
  layout->addWidget(FCancelButton);
  bar->addWidget(panel);
  FStatus = new QLabel;
  FStatus->setObjectName(QStringLiteral("StatusText"));
  bar->addWidget(FStatus, 1);

  FRunner->SetCancelButton(FCancelButton);
  FRunner->OnCancel = [this] { ZipEngine.CancelOperation = true; };
  connect(FCancelButton, &QPushButton::clicked, FRunner, &TOperationRunner::Cancel);
  connect(FRunner, &TOperationRunner::BusyChanged, this, [this](bool busy) {
    FCancelButton->setVisible(busy);
    if (!busy) FProgressGate->Flush();
  });
  connect(FRunner, &TOperationRunner::Finished, this, [this] {
    if (FCloseAfterOperation) close();
  });
  FProgressGate->OnPercent = [this](int percent) { FProgress->setValue(percent); };
  FProgressGate->OnStatus = [this](const std::string& text) { StatusBarMsg(text); };
}

void TfrmMain::ApplySettings() {
  Action(QStringLiteral("mnuGridLines"))->setChecked(FAppInfo.GridLines);
  Action(QStringLiteral("mnuToolbar"))->setChecked(FAppInfo.MainToolBar);
  static const char* const styles[] = {"mnuLargeIcons", "mnuSmallIcons", "mnuList", "mnuDetails"};
  FAppInfo.ViewStyle = std::clamp(FAppInfo.ViewStyle, 0, 3);
  Action(QLatin1String(styles[FAppInfo.ViewStyle]))->setChecked(true);
  Action(QLatin1String(InfoOf(FNameEncoding).ObjectName))->setChecked(true);
  FFiles->SetGridLines(FAppInfo.GridLines);
  FFiles->SetViewStyle(FAppInfo.ViewStyle);
  FToolBar->setVisible(FAppInfo.MainToolBar);
  const int height = std::max(FAppInfo.HSplitterPos, 0);
  FHorizontal->setSizes({height, std::max(FAppInfo.MainFormPlacement.Bounds.Height - height, 55)});
  FVertical->setSizes(
      {FAppInfo.VSplitterPos,
       std::max(FAppInfo.MainFormPlacement.Bounds.Width - FAppInfo.VSplitterPos, 1)});
  TWindowGeometry geometry(*this, FAppInfo.MainFormPlacement);
  FAppInfo.ApplyFormPlacement(geometry);
}

void TfrmMain::UpdateTitle() {
  const QString title = QString::fromStdString(FApp.Globals.AppTitle);
  if (FTree) {
    const QString full =
        title + QStringLiteral(" - ") + QString::fromStdString(ZipEngine.ZipName());
    setWindowTitle(full);
  } else {
    setWindowTitle(title);
  }
}

void TfrmMain::FormShow() {
  bool shown = false;
  try {
    std::string name;
    if (!FArguments.isEmpty()) {
      name = TrueCasePath(FApp, FArguments.last().toStdString());
      ZipEngine.SetZipName(name);
    }
    if (!name.empty()) {
      FOpInfo.IsSFX = IsSfxName(name);
      if (FAppInfo.AutoScan) ScanArchive(true);
      OpenArchive();
      BuildFolderTree();
      FillFileList();
      shown = true;
      ShowReadme();
      AddToRecentFiles(FApp.Platform, ZipEngine.ZipName());
    }
  } catch (const EUserCanceled&) {
  } catch (const std::exception& e) {
    if (!shown) {
      ClearTree();
      ClearList();
      ClearTextPane();
    }
    ReportError(e.what());
  }
  UpdateCommands();
  StatusBarMsg("");
}

void TfrmMain::FormClose() {
  FCFI.RegistryKey = FApp.Globals.AppKey;
  try {
    FCFI.Clean({[this](const std::string& text) { StatusBarMsg(text); },
                [this](int percent) { FProgress->setValue(percent); }});
  } catch (const std::exception&) {
    // Cleaning is housekeeping: a record file that cannot be written now
    // must not keep the window from closing or the settings from being saved.
  }
  TWindowGeometry geometry(*this, FAppInfo.MainFormPlacement);
  FAppInfo.StoreFormPlacement(geometry);
  FAppInfo.SaveSettings(false);
  SaveNameEncoding(FApp.Platform.Settings, SettingsKeyOf(FApp.Globals.AppKey), FNameEncoding);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (FRunner->Busy()) {
    // Cancel, and close once the operation's thread has ended.
    FCloseAfterOperation = true;
    FRunner->Cancel();
    event->ignore();
    return;
  }
  if (!FClosing) {
    FClosing = true;
    FormClose();
  }
  event->accept();
}

void TfrmMain::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const EUserCanceled&) {
  } catch (const std::exception& e) {
    ReportError(e.what());
  }
}

void TfrmMain::ReportError(const std::string& message) {
  FApp.Platform.Host.MessageBox(
      {message, FApp.Globals.AppTitle, TMsgButtons::Ok, TMsgIcon::Error, TMsgResult::Ok});
}

void TfrmMain::StatusBarMsg(const std::string& Text) {
  FStatus->setText(Text.empty() ? QStringLiteral("Done") : QString::fromStdString(Text));
}

}  // namespace vz
