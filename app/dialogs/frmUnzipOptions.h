// TfrmUnzipOptions, the dialog of the Unzip command: the destination folder,
// all members or the selected ones, overwriting, and how much of the stored
// folders is used. PrepareUnzipOptions reads what the open archive allows;
// ApplyUnzipOptions hands the answers to the engine.
//
// On Linux a stored folder is restored "where it was" ("&Volume and path
// information") when it is absolute (/home/...). A folder with a DOS drive
// or a network share (C:\Data\, \\server\share\) has no such place here, so
// for those archives that choice stays disabled and "&Path information",
// which takes the drive off, is the default.
#pragma once

#include <string>
#include <vector>

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ShellTree.h"
#include "engine/reader/UnZipEngine.h"

class QCheckBox;
class QGroupBox;
class QRadioButton;

namespace vz {

// What the open archive and the main list allow, worked out before showing.
struct TUnzipSetup {
  std::string DefaultFolder;  // the archive's folder, or the first absolute stored folder
  bool SelectedEnabled = false;
  bool StoredPathsEnabled = false;
  bool StoredVolumeEnabled = false;
  // The first drive (C:, //server/share) found in a stored folder; the
  // engine takes it off every stored folder.
  std::string StoredDrive;
};

enum class TStoredUse : u8 { Volume = 0, Paths = 1, None = 2 };

struct TUnzipAnswers {
  bool DoAll = true;
  TStoredUse Use = TStoredUse::None;
  bool AlwaysOverwrite = false;
  std::string Path;  // the destination folder, trimmed
};

// `SelectedCount`: rows selected in the main window's list.
TUnzipSetup PrepareUnzipOptions(const TUnZipEngine& Engine, int SelectedCount);

// `SelectedNames`: the stored names of the selected rows, in list order.
void ApplyUnzipOptions(const TUnzipAnswers& Answers, const TUnzipSetup& Setup,
                       const std::vector<std::string>& SelectedNames, TUnZipEngine& Engine);

class TfrmUnzipOptions : public TVzDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 2010;

  TfrmUnzipOptions(const TAppContext& App, IHelpService& Help, TShellNamespace& Shell,
                   QWidget* parent = nullptr);

  std::string DefaultFolder;

  // Takes over the setup's folder and enables and checks its choices.
  void Prepare(const TUnzipSetup& Setup);
  TUnzipAnswers Answers() const;

  void butUnzipClick();
  // With "&Volume and path information" the folder box is greyed and shows
  // DefaultFolder.
  void radStoredClick();
  void edtPathChange();
  void stBrowseMouseDown(const QModelIndex& index, Qt::MouseButton button);
  void stBrowseDblClick();

 protected:
  void FormShow() override;

 private:
  QWidget* tsGeneral = nullptr;
  TPathEdit* edtPath = nullptr;
  TShellTree* stBrowse = nullptr;
  QRadioButton* radDoAll = nullptr;
  QRadioButton* radSelected = nullptr;
  QCheckBox* chkAlwaysOverwrite = nullptr;
  QRadioButton* radStoredVolume = nullptr;
  QRadioButton* radStoredPaths = nullptr;
  QRadioButton* radNoStoredPaths = nullptr;
  std::unique_ptr<TPageFill> FFill;
};

}  // namespace vz
