#include "app/dialogs/frmZipOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/dialogs/BrowsePane.h"
#include "engine/support/PathUtils.h"

namespace vz {
namespace {

// Kept as it is, so that archive names stay usable on Windows too.
constexpr std::string_view kForbiddenNameChars = "\"*/:<>?\\|";

std::string WithSlash(const std::string& folder) {
  return !folder.empty() && folder.back() == '/' ? folder : folder + "/";
}

// The name without its extension. A leading dot starts a hidden name, not
// an extension, so ".backup" stays a name.
std::string WithoutExtension(const std::string& name) {
  const auto dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// The root that stored full paths hang from: a DOS drive when the name has
// one, else the file-system root.
std::string RootOf(const std::string& path) {
  const std::string drive = ExtractDrive(path);
  if (!drive.empty()) return drive + "/";
  return !path.empty() && path.front() == '/' ? "/" : std::string();
}

}  // namespace

TfrmZipOptions::TfrmZipOptions(const TAppContext& App, IHelpService& Help, TShellNamespace& Shell,
                               QWidget* parent)
    : TVzDialog(App, Help, kHelpContext, QStringLiteral("New"), parent) {
  setObjectName(QStringLiteral("frmZipOptions"));
  auto* pages = Named<QTabWidget>("PageControl");
  pages->addTab(BuildGeneral(Shell), QStringLiteral("General"));
  pages->addTab(BuildFiles(Shell), QStringLiteral("Files"));
  pages->addTab(BuildSecurity(), QStringLiteral("Security"));
  pages->addTab(BuildCompression(), QStringLiteral("Compression"));
  auto* butZip = MakeButton("butZip", QStringLiteral("&Zip"));
  connect(butZip, &QPushButton::clicked, this, &TfrmZipOptions::butZipClick);
  Arrange(pages, butZip);
  edtFileName->setFocus();
}

QWidget* TfrmZipOptions::BuildGeneral(TShellNamespace& shell) {
  tsGeneral = Named<QWidget>("tsGeneral");
  edtFileName = Named<QLineEdit>("edtFileName");
  auto* fileNameLabel =
      Named<QLabel>("lblFileName", QStringLiteral("&Enter a filename without a file extension"));
  fileNameLabel->setBuddy(edtFileName);
  TBrowsePane pane =
      MakeBrowsePane(shell, QStringLiteral("Enter an existing or new destination &folder"),
                     QStringLiteral("&Browse for a destination folder"), true);
  edtPath = pane.Path;
  stBrowse = pane.Tree;
  gbStore = Named<QGroupBox>("gbStore", QStringLiteral("&Store..."));
  auto* storeLayout = new QVBoxLayout(gbStore);
  const std::pair<const char*, const char*> buttons[] = {
      {"radStoreVolumes", "&Volume and path information"},
      {"radStorePaths", "&Path information"},
      {"radRelativePaths", "&Relative path information"},
      {"radNoPathInfo", "&No path information"}};
  for (const auto& [name, caption] : buttons) {
    FStoreButtons.push_back(Named<QRadioButton>(name, QString::fromLatin1(caption)));
    storeLayout->addWidget(FStoreButtons.back());
  }
  FStoreButtons[2]->setChecked(true);
  chkCreateSFX =
      Named<QCheckBox>("chkCreateSFX", QStringLiteral("Create a &self-extracting zipfile"));

  QWidget* content = BrowsePageContent(pane, {fileNameLabel, edtFileName}, {gbStore, chkCreateSFX});
  FGeneralFill = std::make_unique<TPageFill>(tsGeneral, content, pane.TreePlace, stBrowse);

  connect(edtFileName, &QLineEdit::textChanged, this, &TfrmZipOptions::edtFileNameChange);
  connect(edtPath, &QLineEdit::textChanged, this, &TfrmZipOptions::edtPathChange);
  connect(stBrowse, &TShellTree::ItemMouseDown, this, &TfrmZipOptions::stBrowseMouseDown);
  connect(stBrowse, &TShellTree::EmptySpaceDoubleClicked, this, &TfrmZipOptions::stBrowseDblClick);
  return tsGeneral;
}

QWidget* TfrmZipOptions::BuildFiles(TShellNamespace& shell) {
  tsFiles = Named<QWidget>("tsFiles");
  auto* message = Named<QLabel>(
      "lblSelectFilesMsg",
      QStringLiteral("Select the file(s) or folder you want to zip.  To include all subfolders "
                     "within a folder, check 'Include subfolders'."));
  message->setWordWrap(true);
  lvFiles = Named<TShellListView>("lvFiles", shell);
  lvFiles->Model().Less = &TfrmZipOptions::lvFilesCompare;
  stFolders = Named<TShellTree>("stFolders", shell);
  stFolders->SetFileSystemOnly(true);
  stFolders->SetIncludeHidden(true);
  stFolders->SetListView(lvFiles);
  auto* foldersLabel = Named<QLabel>("lblFolders", QStringLiteral("&Browse for files or folders"));
  foldersLabel->setBuddy(stFolders);

  pnlShellView = Named<QWidget>("pnlShellView");
  auto* splitter = Named<QSplitter>("splShellView", Qt::Horizontal);
  auto* leftPane = new QWidget;
  auto* leftLayout = new QVBoxLayout(leftPane);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->addWidget(foldersLabel);
  leftLayout->addWidget(stFolders, 1);
  splitter->addWidget(leftPane);
  splitter->addWidget(lvFiles);
  splitter->setStretchFactor(1, 1);
  auto* panelLayout = new QVBoxLayout(pnlShellView);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  panelLayout->addWidget(splitter);
  chkInclude = Named<QCheckBox>("chkInclude", QStringLiteral("&Include subfolders"));
  chkInclude->setChecked(true);

  auto* content = new QWidget;
  auto* layout = new QVBoxLayout(content);
  QWidget* place = PlaceFor(pnlShellView);
  layout->addWidget(message);
  layout->addWidget(place, 1);
  layout->addWidget(chkInclude);
  FFilesFill = std::make_unique<TPageFill>(tsFiles, content, place, pnlShellView);

  connect(stFolders, &TShellTree::Clicked, this, &TfrmZipOptions::stFoldersClick);
  connect(stFolders, &TShellTree::EmptySpaceDoubleClicked, this,
          &TfrmZipOptions::stFoldersDblClick);
  connect(lvFiles, &TShellListView::Clicked, this, &TfrmZipOptions::lvFilesClick);
  stFolders->Load();
  return tsFiles;
}

QWidget* TfrmZipOptions::BuildSecurity() {
  tsSecurity = Named<QWidget>("tsSecurity");
  edtPassword = Named<QLineEdit>("edtPassword");
  edtConfirmPassword = Named<QLineEdit>("edtConfirmPassword");
  auto* butReset = MakeButton("butReset", QStringLiteral("&Reset"));
  connect(butReset, &QPushButton::clicked, this, &TfrmZipOptions::butResetClick);
  auto* form = new QFormLayout;
  auto* passwordLabel = Named<QLabel>("lblPassword", QStringLiteral("&Enter a password"));
  auto* confirmLabel = Named<QLabel>("lblConfirmPassword", QStringLiteral("Confirm &password"));
  passwordLabel->setBuddy(edtPassword);
  confirmLabel->setBuddy(edtConfirmPassword);
  form->addRow(passwordLabel, edtPassword);
  form->addRow(confirmLabel, edtConfirmPassword);
  form->addRow(QString(), butReset);
  cbEncryption = AddEncryptionSelector(*form, 0);
  auto* layout = new QVBoxLayout(tsSecurity);
  layout->addLayout(form);
  for (const char* text :
       {"Entering a password here will encrypt every file using the same password; hence, "
        "protecting the entire zipfile.",
        "Press the 'Help' button for information on protecting individual files."}) {
    auto* label = new QLabel(QString::fromLatin1(text));
    label->setWordWrap(true);
    layout->addWidget(label);
  }
  layout->addStretch(1);
  return tsSecurity;
}

QWidget* TfrmZipOptions::BuildCompression() {
  tsCompression = Named<QWidget>("tsCompression");
  auto* layout = new QVBoxLayout(tsCompression);
  layout->addStretch(1);
  TrackBar = AddLevelTrackBar(*layout, QStringLiteral("More compression (Slower)"));
  layout->addStretch(1);
  return tsCompression;
}

void TfrmZipOptions::Prepare(int PackLevel, bool MaskPasswords, int Encryption) {
  TrackBar->setValue(PackLevel);
  if (Encryption >= 0 && Encryption < cbEncryption->count()) {
    cbEncryption->setCurrentIndex(Encryption);
  }
  if (MaskPasswords) vz::MaskPasswords(*edtPassword, *edtConfirmPassword);
}

// ---------------------------------------------------------------- checks

void TfrmZipOptions::butZipClick() {
  std::string folder = Trim(edtPath->Path());
  const std::string absolute = AbsoluteFolder(App().Platform.Files, folder);
  if (absolute != folder) {
    folder = absolute;
    edtPath->SetPath(folder);
  }
  const std::string name = Trim(TextBytes(edtFileName->text()));
  bool goAhead = CheckName(name);
  const std::string base = WithoutExtension(name);
  if (goAhead) {
    goAhead = ConfirmReplace(WithSlash(folder) + base + ".zip");
    // Asked whatever the answer about the archive was.
    if (chkCreateSFX->isEnabled() && chkCreateSFX->isChecked() &&
        !ConfirmReplace(WithSlash(folder) + base + ".exe")) {
      goAhead = false;
    }
  }
  goAhead = goAhead && EnterFolder(folder) && CheckSelection() && CheckPasswords();
  if (!goAhead) return;
  edtFileName->setText(DisplayText(base + ".zip"));
  accept();
}

bool TfrmZipOptions::CheckName(const std::string& name) {
  if (name.empty()) {
    Warn(tsGeneral, "Filename required!", edtFileName);
    return false;
  }
  bool valid = true;
  for (const char c : name) {
    if (kForbiddenNameChars.find(c) == std::string_view::npos) continue;
    Warn(tsGeneral, name + " is not a valid filename!", edtFileName);
    valid = false;
  }
  return valid;
}

bool TfrmZipOptions::ConfirmReplace(const std::string& path) {
  IFileSystem& files = App().Platform.Files;
  if (!files.LStat(path)) return true;
  const std::string fileName = ExtractFileName(path);
  if (!AskYesNo(
          App(),
          std::string("File already exist!") + CRCR + "Do you want to overwrite " + fileName + "?",
          false)) {
    FPages->setCurrentWidget(tsGeneral);
    edtFileName->setFocus();
    return false;
  }
  if (files.DeleteFile(path)) return true;
  Warn(tsGeneral, "Could not replace " + fileName + "!", edtFileName);
  return false;
}

bool TfrmZipOptions::EnterFolder(const std::string& folder) {
  IFileSystem& files = App().Platform.Files;
  if (files.SetCurrentFolder(folder)) return true;
  FPages->setCurrentWidget(tsGeneral);
  TWidgetFocus focus(edtPath);
  if (EnsureFolder(App(), folder, true, &focus)) {
    files.SetCurrentFolder(folder);  // the new folder is current too
    return true;
  }
  edtPath->setFocus();
  return false;
}

bool TfrmZipOptions::CheckSelection() {
  if ((stFolders->SelectedItem() != nullptr && !stFolders->SelectedPath().empty()) ||
      !lvFiles->SelectedItems().empty()) {
    return true;
  }
  Warn(tsFiles, "No file(s) or folder selected!", stFolders);
  return false;
}

bool TfrmZipOptions::CheckPasswords() {
  if (TrimmedPasswordsMatch(*edtPassword, *edtConfirmPassword)) return true;
  Warn(tsSecurity, "Passwords do not match!", edtPassword);
  return false;
}

// ---------------------------------------------------------------- handlers

void TfrmZipOptions::butResetClick() {
  ResetPasswords(*edtPassword, *edtConfirmPassword);
}

void TfrmZipOptions::edtFileNameChange() {
  UpdateLongTextHint(*edtFileName, edtFileName->text());
}

void TfrmZipOptions::edtPathChange() {
  UpdatePathHint(*edtPath);
}

void TfrmZipOptions::stBrowseMouseDown(const QModelIndex& index, Qt::MouseButton button) {
  CopyNodePath(*stBrowse, index, button, *edtPath);
}

void TfrmZipOptions::stBrowseDblClick() {
  FGeneralFill->Toggle();
}

void TfrmZipOptions::stFoldersDblClick() {
  FFilesFill->Toggle();
}

void TfrmZipOptions::stFoldersClick() {
  chkInclude->setEnabled(true);
}

void TfrmZipOptions::lvFilesClick() {
  const auto selected = lvFiles->SelectedItems();
  if (selected.empty()) {
    chkInclude->setEnabled(true);
    return;
  }
  const TShellItem& first = *selected.front();
  chkInclude->setEnabled(first.Data.IsFolder);
  if (first.Data.IsFolder) stFolders->FollowChild(first.Data.Path);
}

bool TfrmZipOptions::lvFilesCompare(const TShellItem& a, const TShellItem& b) {
  if (a.Data.IsFolder != b.Data.IsFolder) return a.Data.IsFolder;
  return CaptionLess(a, b);
}

TZipOptionsAnswers TfrmZipOptions::Answers() const {
  TZipOptionsAnswers answers;
  for (const TShellItem* item : lvFiles->SelectedItems()) {
    answers.SelectedFiles.push_back({item->Data.Path, item->Data.IsFolder});
  }
  answers.Folder = stFolders->SelectedPath();
  answers.IncludeSubfolders = chkInclude->isChecked();
  answers.Path = Trim(edtPath->Path());
  answers.FileName = Trim(TextBytes(edtFileName->text()));
  for (std::size_t i = 0; i < FStoreButtons.size(); ++i) {
    if (FStoreButtons[i]->isChecked()) answers.StoreIndex = static_cast<int>(i);
  }
  answers.CreateSFXEnabled = chkCreateSFX->isEnabled();
  answers.CreateSFX = chkCreateSFX->isChecked();
  answers.Password = TextBytes(Trim(edtPassword->text()));
  answers.Encryption = static_cast<TZipEncryption>(cbEncryption->currentIndex());
  answers.PackLevel = TrackBar->value();
  return answers;
}

// ---------------------------------------------------------------- hand-over

void PrepareZipOptions(TfrmZipOptions& Form, const TAppInfo& Settings) {
  Form.Prepare(Settings.DefCompressLevel, Settings.PasswordChar, Settings.Encryption);
}

void ApplyZipOptions(const TZipOptionsAnswers& Answers, TZipEngine& Engine, TOpInfo& OpInfo,
                     IDrives& Drives) {
  std::string first;  // the first thing picked; its folder roots the paths
  const bool pickedInList = !Answers.SelectedFiles.empty();
  if (pickedInList) {
    // A folder picked in the list stands for its contents, recursed as the
    // "Include subfolders" box says; the engine leaves bare folders out.
    for (const TPickedItem& item : Answers.SelectedFiles) {
      Engine.FilesList.push_back(item.IsFolder ? (Answers.IncludeSubfolders ? ">" : "|") +
                                                     WithSlash(item.Path) + "*.*"
                                               : item.Path);
    }
    first = Answers.SelectedFiles.front().Path;
  } else if (!Answers.Folder.empty()) {
    first = WithSlash(Answers.Folder) + "*.*";
    Engine.FilesList.push_back(first);
  }
  Engine.SetZipName(WithSlash(Answers.Path) + Answers.FileName);
  switch (Answers.StoreIndex) {
    case 0:
      Engine.SetStoreVolumes(true);
      break;
    case 1:
      Engine.SetStorePaths(true);
      Engine.SetRootDir(RootOf(first));
      break;
    case 2:
      Engine.SetRelativePaths(true);
      Engine.SetRootDir(ExtractFilePath(first));
      break;
    default:
      Engine.SetRootDir(ExtractFilePath(first));
      break;
  }
  // After the path mode, which would switch recursion on for relative paths
  // whatever the box said.
  if (!pickedInList && !Answers.Folder.empty()) Engine.Recurse = Answers.IncludeSubfolders;
  OpInfo.SaveFolderRecord = true;
  OpInfo.SourcePath = ExtractFilePath(first);
  if (Answers.CreateSFXEnabled) OpInfo.CreateSFX = Answers.CreateSFX;
  Engine.Password = Answers.Password;
  Engine.Encryption = Answers.Encryption;
  Engine.PackLevel = Answers.PackLevel;
  if (Drives.IsFloppy(Drives.DriveOf(Engine.ZipName()))) {
    Engine.MultiZipInfo().MultiMode = TMultiMode::mmSpan;
  }
}

}  // namespace vz
