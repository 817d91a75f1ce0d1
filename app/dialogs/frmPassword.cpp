#include "app/dialogs/frmPassword.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ShellItem.h"

namespace vz {

TfrmPassword::TfrmPassword(QWidget* parent)
    : TPrompt(parent),
      lblFileName(Named<QLabel>("lblFileName")),
      edtPassword(Named<QLineEdit>("edtPassword")) {
  setObjectName(QStringLiteral("frmPassword"));
  auto* required =
      Named<QLabel>("lblPasswordRequired", QStringLiteral("A password is required for"));
  lblFileName->setFixedWidth(220);
  lblFileName->setTextFormat(Qt::PlainText);
  auto* enter = Named<QLabel>("lblEnterPassword", QStringLiteral("Enter Password"));
  enter->setBuddy(edtPassword);
  edtPassword->setMaxLength(100);
  auto* butOK = PromptButton("butOK", QStringLiteral("&OK"));
  butOK->setDefault(true);
  auto* butSkip = PromptButton("butSkip", QStringLiteral("&Skip"));
  auto* butSkipAll = PromptButton("butSkipAll", QStringLiteral("Skip &All"));
  connect(butOK, &QPushButton::clicked, this, &TfrmPassword::butOKClick);
  connect(butSkip, &QPushButton::clicked, this, [this] { done(mrNo); });
  connect(butSkipAll, &QPushButton::clicked, this, [this] { done(mrNoToAll); });

  auto* text = new QVBoxLayout;
  text->addWidget(required);
  text->addWidget(lblFileName);
  text->addSpacing(6);
  text->addWidget(enter);
  text->addWidget(edtPassword);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* button : {butOK, butSkip, butSkipAll}) buttons->addWidget(button);
  auto* grid = new QGridLayout(this);
  grid->setHorizontalSpacing(12);
  grid->addWidget(QuestionPicture(), 0, 0, Qt::AlignTop);
  grid->addLayout(text, 0, 1);
  grid->addLayout(buttons, 1, 0, 1, 2);
  grid->setSizeConstraint(QLayout::SetFixedSize);
  FFirstFocus = edtPassword;
}

void TfrmPassword::SetFileName(const std::string& name) {
  lblFileName->setText(DisplayText(name));
}

void TfrmPassword::MaskPassword() {
  edtPassword->setEchoMode(QLineEdit::Password);
}

std::string TfrmPassword::Password() const {
  return TextBytes(edtPassword->text());
}

void TfrmPassword::butOKClick() {
  edtPassword->setText(Trim(edtPassword->text()));
  done(mrOk);
}

}  // namespace vz
