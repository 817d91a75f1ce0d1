// TfrmRefreshOptions, the dialog of the Refresh command, which zips an
// archive again from the folder it was made from: the source folder, all or
// the selected members, and the method. PrepareRefreshOptions loads the
// engine from the archive's folder record; ApplyRefreshOptions hands the
// answers over.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/core/CFI.h"
#include "app/core/OpInfo.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ShellTree.h"
#include "engine/writer/ZipEngine.h"

class QRadioButton;

namespace vz {

struct TRefreshSetup {
  std::string SourcePath;
  bool SelectedEnabled = false;
};

struct TRefreshAnswers {
  bool Selected = false;
  TZipAction Method = TZipAction::zaUpdate;
  std::string Path;  // the source folder, trimmed
};

// Finds the record of the engine's archive: without one, warns "Compressed
// File Information for <name> could not be found!" and answers nullopt.
// Otherwise sets the engine's RootDir, path mode, Recurse and PackLevel and
// TOpInfo.SourcePath from it. A damaged record's number raises
// EConvertError.
std::optional<TRefreshSetup> PrepareRefreshOptions(const TAppContext& App, TCFI& Records,
                                                   TZipEngine& Engine, TOpInfo& OpInfo,
                                                   int SelectedCount);

// `SelectedNames`: the stored names of the rows selected in the main list;
// `MemberCount`: the archive's members. May ask whether to save a changed
// source folder.
void ApplyRefreshOptions(const TAppContext& App, const TRefreshAnswers& Answers,
                         const std::vector<std::string>& SelectedNames, int MemberCount,
                         TZipEngine& Engine, TOpInfo& OpInfo);

class TfrmRefreshOptions : public TVzDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 1990;

  TfrmRefreshOptions(const TAppContext& App, IHelpService& Help, TShellNamespace& Shell,
                     QWidget* parent = nullptr);

  void Prepare(const TRefreshSetup& Setup);
  TRefreshAnswers Answers() const;

  // Closes with OK only when the source folder can be made current.
  void butRefreshClick();
  void radDoAllClick();
  void radSelectedClick();
  void edtPathChange();
  void stBrowseMouseDown(const QModelIndex& index, Qt::MouseButton button);
  void stBrowseDblClick();

 private:
  QWidget* tsGeneral = nullptr;
  TPathEdit* edtPath = nullptr;
  TShellTree* stBrowse = nullptr;
  QRadioButton* radDoAll = nullptr;
  QRadioButton* radSelected = nullptr;
  QRadioButton* radReplaceOldAddNew = nullptr;
  QRadioButton* radReplaceOld = nullptr;
  QRadioButton* radReplaceNoVersion = nullptr;
  std::unique_ptr<TPageFill> FFill;
};

}  // namespace vz
