#include "app/dialogs/frmOptions.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/dialogs/ShellItem.h"
#include "platform/FileHelpers.h"

namespace vz {
namespace {

constexpr int kDefaultLevel = 6;

// A path box with its label above it and the "..." browse button beside it.
QWidget* PathRow(const QString& label, TPathEdit* edit, QPushButton* browse) {
  auto* row = new QWidget;
  auto* layout = new QVBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* caption = new QLabel(label);
  caption->setWordWrap(true);
  caption->setBuddy(edit);
  layout->addWidget(caption);
  browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(browse->text()) + 20);
  auto* line = new QHBoxLayout;
  line->addWidget(edit, 1);
  line->addWidget(browse);
  layout->addLayout(line);
  return row;
}

}  // namespace

TfrmOptions::TfrmOptions(const TAppContext& App, IHelpService& Help, QWidget* parent)
    : TVzDialog(App, Help, kHelpGeneral, QStringLiteral("Options"), parent), FHelp(Help) {
  auto* pages = Named<QTabWidget>("PageControl");
  pages->addTab(BuildGeneral(), QStringLiteral("General"));
  pages->addTab(BuildAntiVirus(), QStringLiteral("Anti-virus"));
  pages->addTab(BuildViewer(), QStringLiteral("Viewer"));
  pages->setMinimumWidth(400);
  auto* butOK = MakeButton("butOK", QStringLiteral("&OK"));
  connect(butOK, &QPushButton::clicked, this, &TfrmOptions::butOKClick);
  Arrange(pages, butOK);
  // The Help button opens the topic of the page shown.
  FHelpButton->disconnect(this);
  connect(FHelpButton, &QPushButton::clicked, this, &TfrmOptions::butHelpClick);
  SetHelpContext(tsGeneral, kHelpGeneral);
  SetHelpContext(tsAntiVirus, kHelpAntiVirus);
  SetHelpContext(tsViewer, kHelpViewer);
  chkPasswordChar->setFocus();
}

QWidget* TfrmOptions::BuildGeneral() {
  tsGeneral = Named<QWidget>("tsGeneral");
  auto* grpLevel = Named<QGroupBox>("grpLevel", QStringLiteral("Default compression &level "));
  auto* levelLayout = new QVBoxLayout(grpLevel);
  TrackBar = AddLevelTrackBar(*levelLayout, QStringLiteral("More Compression (Slower)"));
  auto* butReset = MakeButton("butReset", QStringLiteral("&Reset"));
  connect(butReset, &QPushButton::clicked, this, &TfrmOptions::butResetClick);
  levelLayout->addWidget(butReset, 0, Qt::AlignRight);

  auto* grpPassword = Named<QGroupBox>("grpPassword", QStringLiteral("&Password display"));
  chkPasswordChar = Named<QCheckBox>("chkPasswordChar", QStringLiteral("&Use password character"));
  auto* passwordLayout = new QVBoxLayout(grpPassword);
  passwordLayout->addWidget(chkPasswordChar);

  auto* layout = new QVBoxLayout(tsGeneral);
  layout->addWidget(grpLevel);
  layout->addWidget(grpPassword);
  layout->addStretch(1);
  return tsGeneral;
}

QWidget* TfrmOptions::BuildAntiVirus() {
  tsAntiVirus = Named<QWidget>("tsAntiVirus");
  edtAntiVirus = Named<TPathEdit>("edtAntiVirus");
  auto* butBrowseAntiVirus = MakeButton("butBrowseAntiVirus", QStringLiteral("..."));
  butBrowseAntiVirus->setToolTip(QStringLiteral("Browse..."));
  connect(butBrowseAntiVirus, &QPushButton::clicked, this, &TfrmOptions::butBrowseAntiVirusClick);
  connect(edtAntiVirus, &QLineEdit::textChanged, this, &TfrmOptions::edtAntiVirusChange);
  edtParameters = Named<QLineEdit>("edtParameters");
  auto* parametersLabel = new QLabel(QStringLiteral("Enter command-line &parameters."));
  parametersLabel->setBuddy(edtParameters);
  chkAutoScan =
      Named<QCheckBox>("chkAutoScan", QStringLiteral("Automatically &scan zipfiles when opened"));
  chkRunMinimized = Named<QCheckBox>("chkRunMinimized", QStringLiteral("Run &minimized"));
  chkAutoScan->setEnabled(false);
  chkRunMinimized->setEnabled(false);

  auto* layout = new QVBoxLayout(tsAntiVirus);
  layout->addWidget(PathRow(
      QStringLiteral("&Enter the path and executable filename for your anti-virus program."),
      edtAntiVirus, butBrowseAntiVirus));
  layout->addWidget(parametersLabel);
  layout->addWidget(edtParameters);
  layout->addWidget(chkAutoScan);
  layout->addWidget(chkRunMinimized);
  layout->addStretch(1);
  return tsAntiVirus;
}

QWidget* TfrmOptions::BuildViewer() {
  tsViewer = Named<QWidget>("tsViewer");
  edtViewer = Named<TPathEdit>("edtViewer");
  auto* butBrowseViewer = MakeButton("butBrowseViewer", QStringLiteral("..."));
  butBrowseViewer->setToolTip(QStringLiteral("Browse..."));
  connect(butBrowseViewer, &QPushButton::clicked, this, &TfrmOptions::butBrowseViewerClick);
  connect(edtViewer, &QLineEdit::textChanged, this, &TfrmOptions::edtViewerChange);
  auto* layout = new QVBoxLayout(tsViewer);
  layout->addWidget(PathRow(
      QStringLiteral("&Enter the path and executable filename for your file viewer program."),
      edtViewer, butBrowseViewer));
  layout->addStretch(1);
  return tsViewer;
}

void TfrmOptions::Prepare(const TAppInfo& Settings) {
  chkPasswordChar->setChecked(Settings.PasswordChar);
  TrackBar->setValue(Settings.DefCompressLevel);
  edtAntiVirus->SetPath(Settings.AntiVirus);
  chkAutoScan->setEnabled(!Settings.AntiVirus.empty());
  edtParameters->setText(DisplayText(Settings.AVParameters));
  chkRunMinimized->setChecked(Settings.RunMinimized);
  chkAutoScan->setChecked(Settings.AutoScan);
  edtViewer->SetPath(Settings.FileViewer);
}

TOptionsAnswers TfrmOptions::Answers() const {
  TOptionsAnswers answers;
  answers.AutoScan = chkAutoScan->isChecked();
  answers.AntiVirus = edtAntiVirus->Path();
  answers.AVParameters = TextBytes(edtParameters->text());
  answers.DefCompressLevel = TrackBar->value();
  answers.FileViewer = edtViewer->Path();
  answers.PasswordChar = chkPasswordChar->isChecked();
  answers.RunMinimized = chkRunMinimized->isChecked();
  return answers;
}

bool TfrmOptions::CheckProgram(QWidget* page, TPathEdit& edit) {
  const std::string path = edit.Path();
  if (path.empty()) return true;
  const auto info = App().Platform.Files.Stat(path);
  if (info && !info->IsDirectory) return true;
  Warn(page, FileNameOf(path) + " does not exist!", &edit);
  return false;
}

void TfrmOptions::butOKClick() {
  edtAntiVirus->SetPath(Trim(edtAntiVirus->Path()));
  if (!CheckProgram(tsAntiVirus, *edtAntiVirus)) return;
  edtParameters->setText(Trim(edtParameters->text()));
  edtViewer->SetPath(Trim(edtViewer->Path()));
  if (!CheckProgram(tsViewer, *edtViewer)) return;
  accept();
}

void TfrmOptions::edtAntiVirusChange() {
  UpdateLongTextHint(*edtAntiVirus, edtAntiVirus->text());
  const bool program = !Trim(edtAntiVirus->text()).isEmpty();
  if (!program) chkAutoScan->setChecked(false);
  chkAutoScan->setEnabled(program);
  chkRunMinimized->setEnabled(program);
}

void TfrmOptions::edtViewerChange() {
  UpdateLongTextHint(*edtViewer, edtViewer->text());
}

void TfrmOptions::Browse(TPathEdit& edit, const std::string& title) {
  const TPlatform& platform = App().Platform;
  TBusyCursor busy(platform.Host);
  const auto file =
      platform.Host.OpenFileDialog(title, kProgramFilter, platform.Files.CurrentFolder());
  if (file) edit.SetPath(*file);
}

void TfrmOptions::butBrowseAntiVirusClick() {
  Browse(*edtAntiVirus, "Browse for AntiVirus Application");
}

void TfrmOptions::butBrowseViewerClick() {
  Browse(*edtViewer, "Browse for File Viewer Application");
}

void TfrmOptions::butResetClick() {
  TrackBar->setValue(kDefaultLevel);
}

void TfrmOptions::butHelpClick() {
  FHelp.ShowTopic(HelpContextOf(FPages->currentWidget()));
}

void ApplyOptions(const TOptionsAnswers& Answers, TAppInfo& Settings) {
  Settings.AutoScan = Answers.AutoScan;
  Settings.AntiVirus = Answers.AntiVirus;
  Settings.AVParameters = Answers.AVParameters;
  Settings.DefCompressLevel = Answers.DefCompressLevel;
  Settings.SetFileViewer(Answers.FileViewer);
  Settings.PasswordChar = Answers.PasswordChar;
  Settings.RunMinimized = Answers.RunMinimized;
  Settings.SaveSettings(true);
}

}  // namespace vz
