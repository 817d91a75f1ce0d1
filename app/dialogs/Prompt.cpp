#include "app/dialogs/Prompt.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "app/dialogs/DialogSupport.h"

namespace vz {

TPrompt::TPrompt(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::WindowContextHelpButtonHint);
}

void TPrompt::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  if (FFirstFocus) FFirstFocus->setFocus();
}

QLabel* QuestionPicture() {
  auto* picture = Named<QLabel>("imgQuestion");
  picture->setPixmap(QApplication::style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32));
  picture->setFixedSize(32, 32);
  return picture;
}

QPushButton* PromptButton(const char* name, const QString& caption) {
  auto* button = Named<QPushButton>(name, caption);
  button->setMinimumWidth(75);
  return button;
}

}  // namespace vz
