// The base of the small prompts an operation's event handlers show (the
// password prompt, the overwrite prompt) and the modal results they close
// with (QDialog::done); closing the window gives mrNone, which changes
// nothing.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace vz {

// The modal results the prompts close with.
enum TModalResult : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrRetry = 4,
  mrYes = 6,
  mrNo = 7,
  mrNoToAll = 9,
  mrYesToAll = 10,
};

// A fixed dialog with the system menu and the context-help button, centred
// on the screen; the caller sets the caption.
class TPrompt : public QDialog {
  Q_OBJECT
 public:
  explicit TPrompt(QWidget* parent);

 protected:
  void showEvent(QShowEvent* event) override;
  // The first control to take the focus when shown.
  QWidget* FFirstFocus = nullptr;
};

// The question-mark picture, imgQuestion.
QLabel* QuestionPicture();
// A prompt's button, at least 75 pixels wide.
QPushButton* PromptButton(const char* name, const QString& caption);

}  // namespace vz
