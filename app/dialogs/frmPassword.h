// TfrmPassword: the prompt for the password of a member that cannot be
// deciphered with the one in use.
#pragma once

#include <string>

#include "app/dialogs/Prompt.h"

class QLabel;
class QLineEdit;

namespace vz {

// Asks for the password of a member that cannot be deciphered with the one
// in use. OK (the box's text, trimmed; empty is allowed), "&Skip" (mrNo) or
// "Skip &All" (mrNoToAll).
class TfrmPassword : public TPrompt {
  Q_OBJECT
 public:
  explicit TfrmPassword(QWidget* parent = nullptr);

  // The member's name, shown as stored.
  void SetFileName(const std::string& name);
  // "*" for each character typed.
  void MaskPassword();
  std::string Password() const;

  void butOKClick();

 private:
  QLabel* lblFileName;
  QLineEdit* edtPassword;
};

}  // namespace vz
