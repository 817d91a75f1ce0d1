// TfrmPasswordOptions, the dialog of the Password command, which puts a new
// password on all members or the selected ones: the password twice and the
// choice of members. PasswordTargets gives the command its sorted names.
#pragma once

#include <string>
#include <vector>

#include "app/dialogs/DialogSupport.h"
#include "engine/writer/ZipEngine.h"

class QComboBox;
class QRadioButton;

namespace vz {

struct TPasswordAnswers {
  bool Selected = false;
  std::string Password;  // trimmed, possibly empty
  TZipEncryption Encryption = TZipEncryption::Traditional;
};

// The members to re-encrypt, sorted without regard to case: the selected
// rows' stored names, or every member's full stored name.
std::vector<std::string> PasswordTargets(const TPasswordAnswers& Answers,
                                         const std::vector<std::string>& SelectedNames,
                                         const TUnZipEngine& Engine);

class TfrmPasswordOptions : public TVzDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 2040;

  TfrmPasswordOptions(const TAppContext& App, IHelpService& Help, QWidget* parent = nullptr);

  // "Selected &files" enabled and checked when rows are selected; "*" for
  // each character when the settings mask passwords; the encryption last
  // chosen (TZipEncryption's value).
  void Prepare(int SelectedCount, bool MaskPasswords, int Encryption = 0);
  TPasswordAnswers Answers() const;

  void butEncryptClick();
  void butResetClick();

 private:
  QRadioButton* radDoAll = nullptr;
  QRadioButton* radSelected = nullptr;
  QLineEdit* edtPassword = nullptr;
  QLineEdit* edtConfirmPassword = nullptr;
  QComboBox* cbEncryption = nullptr;
};

// The picture of a key (the theme's, else one drawn here).
QPixmap KeyPicture(int size);

}  // namespace vz
