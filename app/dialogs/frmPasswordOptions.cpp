#include "app/dialogs/frmPasswordOptions.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "app/dialogs/ShellItem.h"
#include "engine/format/ZipNames.h"

namespace vz {

std::vector<std::string> PasswordTargets(const TPasswordAnswers& Answers,
                                         const std::vector<std::string>& SelectedNames,
                                         const TUnZipEngine& Engine) {
  std::vector<std::string> names;
  if (Answers.Selected) {
    names = SelectedNames;
  } else {
    for (int i = 0; i < Engine.Count(); ++i) names.push_back(Engine.FullName(i));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int order = CompareTextNoCase(a, b);
    return order != 0 ? order < 0 : a < b;
  });
  return names;
}

QPixmap KeyPicture(int size) {
  const QIcon themed = QIcon::fromTheme(QStringLiteral("dialog-password"));
  if (!themed.isNull()) return themed.pixmap(size);
  QPixmap picture(size, size);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 32.0, size / 32.0);
  painter.setPen(QPen(QColor(120, 90, 20), 1.5));
  painter.setBrush(QColor(230, 190, 60));
  QPainterPath key;
  key.addEllipse(QRectF(3, 9, 13, 13));
  key.addRect(QRectF(14, 14, 15, 4));
  key.addRect(QRectF(22, 18, 3, 5));
  key.addRect(QRectF(26, 18, 3, 4));
  painter.drawPath(key.simplified());
  painter.setBrush(Qt::white);
  painter.drawEllipse(QRectF(6.5, 13.5, 4, 4));
  return picture;
}

TfrmPasswordOptions::TfrmPasswordOptions(const TAppContext& App, IHelpService& Help,
                                         QWidget* parent)
    : TVzDialog(App, Help, kHelpContext, QStringLiteral("Password"), parent) {
  setObjectName(QStringLiteral("frmPasswordOptions"));
  auto* tsGeneral = Named<QWidget>("tsGeneral");
  auto* picture = Named<QLabel>("imgKey");
  picture->setPixmap(KeyPicture(48));
  picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  auto* gpOperateOn = Named<QGroupBox>("gpOperateOn", QStringLiteral("Encryp&t..."));
  radDoAll = Named<QRadioButton>("radDoAll", QStringLiteral("&All files"));
  radSelected = Named<QRadioButton>("radSelected", QStringLiteral("Selected &files"));
  radDoAll->setChecked(true);
  radSelected->setEnabled(false);
  auto* groupLayout = new QVBoxLayout(gpOperateOn);
  groupLayout->addWidget(radDoAll);
  groupLayout->addWidget(radSelected);

  edtPassword = Named<QLineEdit>("edtPassword");
  edtConfirmPassword = Named<QLineEdit>("edtConfirmPassword");
  auto* passwordLabel = Named<QLabel>("lblPassword", QStringLiteral("&Enter a password"));
  auto* confirmLabel = Named<QLabel>("lblConfirmPassword", QStringLiteral("Confirm &password"));
  passwordLabel->setBuddy(edtPassword);
  confirmLabel->setBuddy(edtConfirmPassword);
  auto* butReset = MakeButton("butReset", QStringLiteral("&Reset"));
  connect(butReset, &QPushButton::clicked, this, &TfrmPasswordOptions::butResetClick);
  auto* form = new QFormLayout;
  form->addRow(passwordLabel, edtPassword);
  form->addRow(confirmLabel, edtConfirmPassword);
  form->addRow(QString(), butReset);
  cbEncryption = AddEncryptionSelector(*form, 0);

  auto* right = new QVBoxLayout;
  right->addWidget(gpOperateOn);
  right->addLayout(form);
  right->addStretch(1);
  auto* layout = new QHBoxLayout(tsGeneral);
  layout->addWidget(picture);
  layout->addLayout(right, 1);

  auto* pages = Named<QTabWidget>("PageControl");
  pages->addTab(tsGeneral, QStringLiteral("General"));
  auto* butEncrypt = MakeButton("butEncrypt", QStringLiteral("&OK"));
  connect(butEncrypt, &QPushButton::clicked, this, &TfrmPasswordOptions::butEncryptClick);
  Arrange(pages, butEncrypt);
  edtPassword->setFocus();
}

void TfrmPasswordOptions::Prepare(int SelectedCount, bool MaskPasswords, int Encryption) {
  if (Encryption >= 0 && Encryption < cbEncryption->count()) {
    cbEncryption->setCurrentIndex(Encryption);
  }
  if (SelectedCount > 0) {
    radSelected->setEnabled(true);
    radSelected->setChecked(true);
  }
  if (MaskPasswords) vz::MaskPasswords(*edtPassword, *edtConfirmPassword);
}

void TfrmPasswordOptions::butEncryptClick() {
  if (TrimmedPasswordsMatch(*edtPassword, *edtConfirmPassword)) {
    accept();
  } else {
    Warn(nullptr, "Passwords do not match!", edtPassword);
  }
}

void TfrmPasswordOptions::butResetClick() {
  ResetPasswords(*edtPassword, *edtConfirmPassword);
}

TPasswordAnswers TfrmPasswordOptions::Answers() const {
  return {radSelected->isChecked(), TextBytes(edtPassword->text()),
          static_cast<TZipEncryption>(cbEncryption->currentIndex())};
}

}  // namespace vz
