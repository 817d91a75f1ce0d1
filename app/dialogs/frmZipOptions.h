// TfrmZipOptions, the dialog of the New command: the new archive's name and
// folder, the files or folder to put in, how much of their paths to store,
// a password for every member, the compression level and a self-extracting
// copy. It only collects and checks; the command hands the answers to the
// engine with ApplyZipOptions.
#pragma once

#include <string>
#include <vector>

#include "app/core/AppInfo.h"
#include "app/core/OpInfo.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ShellTree.h"
#include "engine/writer/ZipEngine.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QRadioButton;
class QSlider;

namespace vz {

struct TPickedItem {
  std::string Path;  // full path, the bytes on disk
  bool IsFolder = false;
};

// What the dialog returns with OK.
struct TZipOptionsAnswers {
  std::vector<TPickedItem> SelectedFiles;  // lvFiles' selection, in list order
  std::string Folder;                      // stFolders' folder; empty: none
  bool IncludeSubfolders = true;
  std::string Path;      // the destination folder, trimmed
  std::string FileName;  // the archive's file name, ending in ".zip"
  int StoreIndex = 2;    // the checked button of gbStore, 0 to 3
  bool CreateSFXEnabled = true;
  bool CreateSFX = false;
  std::string Password;                                     // trimmed
  TZipEncryption Encryption = TZipEncryption::Traditional;  // with a password
  int PackLevel = 6;
};

class TfrmZipOptions : public TVzDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 2000;

  TfrmZipOptions(const TAppContext& App, IHelpService& Help, TShellNamespace& Shell,
                 QWidget* parent = nullptr);

  // The compression level and the encryption preset and, when asked, "*"
  // in both password boxes.
  void Prepare(int PackLevel, bool MaskPasswords, int Encryption = 0);
  TZipOptionsAnswers Answers() const;

  // Checks everything in order and closes with OK when all passed.
  void butZipClick();
  void butResetClick();
  void edtFileNameChange();
  void edtPathChange();
  void stBrowseMouseDown(const QModelIndex& index, Qt::MouseButton button);
  void stBrowseDblClick();
  void stFoldersDblClick();
  void stFoldersClick();
  void lvFilesClick();
  // Folders before files, then names case-insensitively by the locale.
  static bool lvFilesCompare(const TShellItem& a, const TShellItem& b);

 private:
  QWidget* BuildGeneral(TShellNamespace& shell);
  QWidget* BuildFiles(TShellNamespace& shell);
  QWidget* BuildSecurity();
  QWidget* BuildCompression();
  bool CheckName(const std::string& name);
  bool ConfirmReplace(const std::string& path);
  bool EnterFolder(const std::string& folder);
  bool CheckSelection();
  bool CheckPasswords();

  QWidget* tsGeneral = nullptr;
  QWidget* tsFiles = nullptr;
  QWidget* tsSecurity = nullptr;
  QWidget* tsCompression = nullptr;
  QLineEdit* edtFileName = nullptr;
  TPathEdit* edtPath = nullptr;
  QGroupBox* gbStore = nullptr;
  std::vector<QRadioButton*> FStoreButtons;  // in their order in gbStore
  QCheckBox* chkCreateSFX = nullptr;
  TShellTree* stBrowse = nullptr;
  TShellTree* stFolders = nullptr;
  TShellListView* lvFiles = nullptr;
  QWidget* pnlShellView = nullptr;
  QCheckBox* chkInclude = nullptr;
  QLineEdit* edtPassword = nullptr;
  QLineEdit* edtConfirmPassword = nullptr;
  QComboBox* cbEncryption = nullptr;
  QSlider* TrackBar = nullptr;
  std::unique_ptr<TPageFill> FGeneralFill;
  std::unique_ptr<TPageFill> FFilesFill;
};

// Before the dialog shows: the default compression level, the password
// mask and the encryption last chosen, from the settings.
void PrepareZipOptions(TfrmZipOptions& Form, const TAppInfo& Settings);

// The New command's hand-over of the answers to the engine and the
// operation record: the files (a folder picked in the list as its whole
// contents), the archive name, the path mode with its root, the folder
// record, the self-extracting wish, password, level, and spanning when the
// archive goes to a floppy-style drive.
void ApplyZipOptions(const TZipOptionsAnswers& Answers, TZipEngine& Engine, TOpInfo& OpInfo,
                     IDrives& Drives);

}  // namespace vz
