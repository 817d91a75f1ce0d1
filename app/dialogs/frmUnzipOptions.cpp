#include "app/dialogs/frmUnzipOptions.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/dialogs/BrowsePane.h"
#include "engine/support/PathUtils.h"

namespace vz {

TUnzipSetup PrepareUnzipOptions(const TUnZipEngine& Engine, int SelectedCount) {
  TUnzipSetup setup;
  setup.DefaultFolder = IncludeTrailingSlash(ExtractFilePath(Engine.ZipName()));
  setup.SelectedEnabled = SelectedCount > 0;
  const int count = Engine.Count();
  for (int i = 0; i < count && !setup.StoredPathsEnabled; ++i) {
    setup.StoredPathsEnabled = !Engine.Pathname(i).empty();
  }
  if (!setup.StoredPathsEnabled) return setup;
  for (int i = 0; i < count && setup.StoredDrive.empty(); ++i) {
    setup.StoredDrive = ExtractDrive(Engine.Pathname(i));
  }
  if (!setup.StoredDrive.empty()) return setup;  // no place for a drive here
  for (int i = 0; i < count; ++i) {
    const std::string folder = Engine.Pathname(i);
    if (!folder.empty() && folder.front() == '/') {
      setup.StoredVolumeEnabled = true;
      setup.DefaultFolder = folder;
      break;
    }
  }
  return setup;
}

void ApplyUnzipOptions(const TUnzipAnswers& Answers, const TUnzipSetup& Setup,
                       const std::vector<std::string>& SelectedNames, TUnZipEngine& Engine) {
  if (Answers.DoAll) {
    Engine.DoAll = true;
  } else {
    Engine.FilesList.insert(Engine.FilesList.end(), SelectedNames.begin(), SelectedNames.end());
  }
  switch (Answers.Use) {
    case TStoredUse::Volume:
      Engine.RecreateDirs = true;  // each stored folder is its own destination
      break;
    case TStoredUse::Paths:
      Engine.RecreateDirs = true;
      Engine.SetDestDir(Answers.Path);
      if (!Setup.StoredDrive.empty()) Engine.SetRootDir(Setup.StoredDrive);
      break;
    case TStoredUse::None:
      Engine.SetDestDir(Answers.Path);
      break;
  }
  if (Answers.AlwaysOverwrite) Engine.OverwriteMode = TUZOverwriteMode::Always;
}

TfrmUnzipOptions::TfrmUnzipOptions(const TAppContext& App, IHelpService& Help,
                                   TShellNamespace& Shell, QWidget* parent)
    : TVzDialog(App, Help, kHelpContext, QStringLiteral("Unzip"), parent) {
  setObjectName(QStringLiteral("frmUnzipOptions"));
  tsGeneral = Named<QWidget>("tsGeneral");
  TBrowsePane pane =
      MakeBrowsePane(Shell, QStringLiteral("&Enter an existing or new destination folder"),
                     QStringLiteral("&Browse for a destination folder"), false);
  edtPath = pane.Path;
  stBrowse = pane.Tree;

  auto* gpUnzip = Named<QGroupBox>("gpUnzip", QStringLiteral("U&nzip..."));
  radDoAll = Named<QRadioButton>("radDoAll", QStringLiteral("&All files"));
  radSelected = Named<QRadioButton>("radSelected", QStringLiteral("Selected &files"));
  radDoAll->setChecked(true);
  radSelected->setEnabled(false);
  auto* unzipLayout = new QVBoxLayout(gpUnzip);
  unzipLayout->addWidget(radDoAll);
  unzipLayout->addWidget(radSelected);
  chkAlwaysOverwrite =
      Named<QCheckBox>("chkAlwaysOverwrite", QStringLiteral("Always &overwrite existing files"));

  auto* gbUse = Named<QGroupBox>("gbUse", QStringLiteral("Use the zipfile's &stored..."));
  radStoredVolume =
      Named<QRadioButton>("radStoredVolume", QStringLiteral("&Volume and path information"));
  radStoredPaths = Named<QRadioButton>("radStoredPaths", QStringLiteral("&Path information"));
  radNoStoredPaths =
      Named<QRadioButton>("radNoStoredPaths", QStringLiteral("&No path information"));
  radStoredVolume->setEnabled(false);
  radStoredPaths->setEnabled(false);
  radNoStoredPaths->setChecked(true);
  auto* useLayout = new QVBoxLayout(gbUse);
  for (QRadioButton* button : {radStoredVolume, radStoredPaths, radNoStoredPaths}) {
    useLayout->addWidget(button);
    connect(button, &QRadioButton::toggled, this, [this](bool checked) {
      if (checked) radStoredClick();
    });
  }

  QWidget* content = BrowsePageContent(pane, {}, {gpUnzip, chkAlwaysOverwrite, gbUse});
  FFill = std::make_unique<TPageFill>(tsGeneral, content, pane.TreePlace, stBrowse);

  connect(edtPath, &QLineEdit::textChanged, this, &TfrmUnzipOptions::edtPathChange);
  connect(stBrowse, &TShellTree::ItemMouseDown, this, &TfrmUnzipOptions::stBrowseMouseDown);
  connect(stBrowse, &TShellTree::EmptySpaceDoubleClicked, this,
          &TfrmUnzipOptions::stBrowseDblClick);

  auto* pages = Named<QTabWidget>("PageControl");
  pages->addTab(tsGeneral, QStringLiteral("General"));
  auto* butUnzip = MakeButton("butUnzip", QStringLiteral("&Unzip"));
  connect(butUnzip, &QPushButton::clicked, this, &TfrmUnzipOptions::butUnzipClick);
  Arrange(pages, butUnzip);
  edtPath->setFocus();
}

void TfrmUnzipOptions::Prepare(const TUnzipSetup& Setup) {
  DefaultFolder = Setup.DefaultFolder;
  const std::pair<QRadioButton*, bool> steps[] = {{radSelected, Setup.SelectedEnabled},
                                                  {radStoredPaths, Setup.StoredPathsEnabled},
                                                  {radStoredVolume, Setup.StoredVolumeEnabled}};
  for (const auto& [button, enable] : steps) {
    if (!enable) continue;
    button->setEnabled(true);
    button->setChecked(true);
  }
  radStoredClick();
}

void TfrmUnzipOptions::radStoredClick() {
  const bool volume = radStoredVolume->isChecked();
  edtPath->setEnabled(!volume);
  QPalette colours = edtPath->palette();
  colours.setColor(QPalette::Base, palette().color(volume ? QPalette::Button : QPalette::Base));
  edtPath->setPalette(colours);
  if (volume) edtPath->SetPath(DefaultFolder);
}

void TfrmUnzipOptions::FormShow() {
  edtPath->SetPath(DefaultFolder);
}

void TfrmUnzipOptions::butUnzipClick() {
  const std::string folder = AbsoluteFolder(App().Platform.Files, Trim(edtPath->Path()));
  edtPath->SetPath(folder);
  if (EnsureCurrentFolder(App(), folder, true, edtPath)) accept();
}

void TfrmUnzipOptions::edtPathChange() {
  UpdatePathHint(*edtPath);
}

void TfrmUnzipOptions::stBrowseMouseDown(const QModelIndex& index, Qt::MouseButton button) {
  CopyNodePath(*stBrowse, index, button, *edtPath);
}

void TfrmUnzipOptions::stBrowseDblClick() {
  FFill->Toggle();
}

TUnzipAnswers TfrmUnzipOptions::Answers() const {
  TUnzipAnswers answers;
  answers.DoAll = radDoAll->isChecked();
  answers.Use = radStoredVolume->isChecked()  ? TStoredUse::Volume
                : radStoredPaths->isChecked() ? TStoredUse::Paths
                                              : TStoredUse::None;
  answers.AlwaysOverwrite = chkAlwaysOverwrite->isChecked();
  answers.Path = Trim(edtPath->Path());
  return answers;
}

}  // namespace vz
