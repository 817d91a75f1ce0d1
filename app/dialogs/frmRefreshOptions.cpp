#include "app/dialogs/frmRefreshOptions.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/dialogs/BrowsePane.h"
#include "engine/support/PathUtils.h"

namespace vz {

std::optional<TRefreshSetup> PrepareRefreshOptions(const TAppContext& App, TCFI& Records,
                                                   TZipEngine& Engine, TOpInfo& OpInfo,
                                                   int SelectedCount) {
  if (!Records.Find(Engine.ZipName())) {
    ShowWarning(App, "Compressed File Information for " + ExtractFileName(Engine.ZipName()) +
                         " could not be found!");
    return std::nullopt;
  }
  Engine.SetRootDir(Records.RootDir);
  OpInfo.SourcePath = Records.SourcePath;
  switch (Records.PathMode) {
    case TPathMode::StoreVolumes:
      Engine.SetStoreVolumes(true);
      break;
    case TPathMode::StorePaths:
      Engine.SetStorePaths(true);
      break;
    case TPathMode::RelativePaths:
      Engine.SetRelativePaths(true);
      break;
    case TPathMode::NoPaths:
      break;
  }
  Engine.Recurse = Records.Recurse != 0;
  Engine.PackLevel = Records.PackLevel;
  return TRefreshSetup{OpInfo.SourcePath, SelectedCount > 0};
}

void ApplyRefreshOptions(const TAppContext& App, const TRefreshAnswers& Answers,
                         const std::vector<std::string>& SelectedNames, int MemberCount,
                         TZipEngine& Engine, TOpInfo& OpInfo) {
  if (Answers.Selected && !SelectedNames.empty()) {
    for (const std::string& name : SelectedNames) {
      Engine.FilesList.push_back(Engine.RootDir() + name);
      ++OpInfo.Requested;
    }
  } else {
    const bool slash = !Answers.Path.empty() && Answers.Path.back() == '/';
    Engine.FilesList.push_back(Answers.Path + (slash ? "*.*" : "/*.*"));
    OpInfo.Requested = MemberCount;
  }
  Engine.ZipAction = Answers.Method;
  if (Answers.Path != OpInfo.SourcePath &&
      AskYesNo(App,
               std::string("Source path information has been changed.") + CRCR +
                   "Old source path:\t" + OpInfo.SourcePath + "\rNew source path:\t" +
                   Answers.Path + CRCR + "Do you want to save the changed information?",
               true)) {
    OpInfo.SaveFolderRecord = true;
  }
  OpInfo.SourcePath = Answers.Path;
}

TfrmRefreshOptions::TfrmRefreshOptions(const TAppContext& App, IHelpService& Help,
                                       TShellNamespace& Shell, QWidget* parent)
    : TVzDialog(App, Help, kHelpContext, QStringLiteral("Refresh"), parent) {
  setObjectName(QStringLiteral("frmRefreshOptions"));
  tsGeneral = Named<QWidget>("tsGeneral");
  TBrowsePane pane = MakeBrowsePane(Shell, QStringLiteral("Change &source folder"),
                                    QStringLiteral("&Browse for source folder"), false);
  edtPath = pane.Path;
  stBrowse = pane.Tree;

  auto* gpRefresh = Named<QGroupBox>("gpRefresh", QStringLiteral("Refre&sh..."));
  radDoAll = Named<QRadioButton>("radDoAll", QStringLiteral("&All files"));
  radSelected = Named<QRadioButton>("radSelected", QStringLiteral("Selected &files"));
  radDoAll->setChecked(true);
  radSelected->setEnabled(false);
  auto* refreshLayout = new QVBoxLayout(gpRefresh);
  refreshLayout->addWidget(radDoAll);
  refreshLayout->addWidget(radSelected);
  connect(radDoAll, &QRadioButton::clicked, this, &TfrmRefreshOptions::radDoAllClick);
  connect(radSelected, &QRadioButton::clicked, this, &TfrmRefreshOptions::radSelectedClick);

  auto* method = Named<QGroupBox>("GroupBox1", QStringLiteral("&Method"));
  radReplaceOldAddNew = Named<QRadioButton>(
      "radReplaceOldAddNew", QStringLiteral("Replace older files and add &new files"));
  radReplaceOld = Named<QRadioButton>("radReplaceOld", QStringLiteral("Replace &older files"));
  radReplaceNoVersion = Named<QRadioButton>("radReplaceNoVersion",
                                            QStringLiteral("Re&place/add (no version checking)"));
  radReplaceOldAddNew->setChecked(true);
  auto* methodLayout = new QVBoxLayout(method);
  for (QRadioButton* button : {radReplaceOldAddNew, radReplaceOld, radReplaceNoVersion}) {
    methodLayout->addWidget(button);
  }

  QWidget* content = BrowsePageContent(pane, {}, {gpRefresh, method});
  FFill = std::make_unique<TPageFill>(tsGeneral, content, pane.TreePlace, stBrowse);

  connect(edtPath, &QLineEdit::textChanged, this, &TfrmRefreshOptions::edtPathChange);
  connect(stBrowse, &TShellTree::ItemMouseDown, this, &TfrmRefreshOptions::stBrowseMouseDown);
  connect(stBrowse, &TShellTree::EmptySpaceDoubleClicked, this,
          &TfrmRefreshOptions::stBrowseDblClick);

  auto* pages = Named<QTabWidget>("PageControl");
  pages->addTab(tsGeneral, QStringLiteral("General"));
  auto* butRefresh = MakeButton("butRefresh", QStringLiteral("&Refresh"));
  connect(butRefresh, &QPushButton::clicked, this, &TfrmRefreshOptions::butRefreshClick);
  Arrange(pages, butRefresh);
  edtPath->setFocus();
}

void TfrmRefreshOptions::Prepare(const TRefreshSetup& Setup) {
  edtPath->SetPath(Setup.SourcePath);
  if (!Setup.SelectedEnabled) return;
  radSelected->setEnabled(true);
  radSelected->setChecked(true);
  radSelectedClick();
}

void TfrmRefreshOptions::radDoAllClick() {
  radReplaceOldAddNew->setEnabled(true);
  radReplaceOldAddNew->setChecked(true);
}

void TfrmRefreshOptions::radSelectedClick() {
  radReplaceOldAddNew->setEnabled(false);
  radReplaceOld->setChecked(true);
}

void TfrmRefreshOptions::butRefreshClick() {
  // A source must be named: an empty box is not taken for the current folder.
  std::string folder = Trim(edtPath->Path());
  if (!folder.empty()) folder = AbsoluteFolder(App().Platform.Files, folder);
  edtPath->SetPath(folder);
  if (EnsureCurrentFolder(App(), folder, false, edtPath)) accept();
}

void TfrmRefreshOptions::edtPathChange() {
  UpdatePathHint(*edtPath);
}

void TfrmRefreshOptions::stBrowseMouseDown(const QModelIndex& index, Qt::MouseButton button) {
  CopyNodePath(*stBrowse, index, button, *edtPath);
}

void TfrmRefreshOptions::stBrowseDblClick() {
  FFill->Toggle();
}

TRefreshAnswers TfrmRefreshOptions::Answers() const {
  TRefreshAnswers answers;
  answers.Selected = radSelected->isChecked();
  answers.Method = radReplaceOld->isChecked()         ? TZipAction::zaFreshen
                   : radReplaceNoVersion->isChecked() ? TZipAction::zaReplace
                                                      : TZipAction::zaUpdate;
  answers.Path = Trim(edtPath->Path());
  return answers;
}

}  // namespace vz
