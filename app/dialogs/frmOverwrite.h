// TfrmOverwrite: the prompt for a member whose target file exists.
#pragma once

#include <string>

#include "app/core/AppGlobals.h"
#include "app/dialogs/Prompt.h"

class QLabel;
class QLineEdit;

namespace vz {

// Asks what to do with a member whose target file exists: "&Overwrite"
// (mrYes), "&Skip" (mrNo), "Overwrite &All" (mrYesToAll), "S&kip All"
// (mrNoToAll), or a new name for this file, checked first (mrRetry).
class TfrmOverwrite : public TPrompt {
  Q_OBJECT
 public:
  TfrmOverwrite(const TAppContext& App, QWidget* parent = nullptr);

  // "<name> already exists!" and the question.
  void SetFileName(const std::string& name);
  // The folder a new name is looked up in: the member's target folder.
  void SetTargetFolder(const std::string& folder) { FTargetFolder = folder; }
  std::string NewFileName() const;

  // Enter in the new-name box does the same.
  void butRenameClick();

 private:
  const TAppContext& FApp;
  std::string FTargetFolder;
  QLabel* lblFileName;
  QLineEdit* edtNewFileName;
};

}  // namespace vz
