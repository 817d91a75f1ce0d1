#include "app/dialogs/frmDiskPrompt.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace vz {

TDiskPrompt::TDiskPrompt(QWidget* parent, const QString& formName, const QString& pictureName,
                         const QString& labelName, int labelWidth)
    : QDialog(parent),
      FPicture(new QLabel(this)),
      FLabel(new QLabel(this)),
      FOK(new QPushButton(QStringLiteral("&OK"), this)),
      FCancel(new QPushButton(QStringLiteral("&Cancel"), this)) {
  setObjectName(formName);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::WindowContextHelpButtonHint);
  FPicture->setObjectName(pictureName);
  FPicture->setFixedSize(32, 32);
  FPicture->setAutoFillBackground(true);
  FPicture->setBackgroundRole(QPalette::Button);
  FLabel->setObjectName(labelName);
  FLabel->setMinimumWidth(labelWidth);
  FOK->setObjectName(QStringLiteral("butOK"));
  FOK->setDefault(true);
  FCancel->setObjectName(QStringLiteral("butCancel"));
  connect(FOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(12, 12, 12, 12);
  grid->setHorizontalSpacing(12);
  grid->addWidget(FPicture, 0, 0, Qt::AlignTop);
  grid->addWidget(FLabel, 0, 1, Qt::AlignVCenter);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* button : {FOK, FCancel}) {
    button->setFixedWidth(75);
    buttons->addWidget(button);
  }
  buttons->addStretch();
  grid->addLayout(buttons, 1, 0, 1, 2);
  grid->setSizeConstraint(QLayout::SetFixedSize);
}

void TDiskPrompt::SetDriveIcon(const QIcon& icon) {
  QPixmap picture(32, 32);
  picture.fill(palette().color(QPalette::Button));
  QPainter painter(&picture);
  painter.drawPixmap(0, 0, icon.pixmap(32, 32));
  painter.end();
  FPicture->setPixmap(picture);
}

void TDiskPrompt::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  FOK->setFocus();
}

TfrmGetNextDisk::TfrmGetNextDisk(QWidget* parent)
    : TDiskPrompt(parent, QStringLiteral("frmGetNextDisk"), QStringLiteral("ImgDrive"),
                  QStringLiteral("lblGetNextDisk"), 165) {}

TfrmGetLastDisk::TfrmGetLastDisk(QWidget* parent)
    : TDiskPrompt(parent, QStringLiteral("frmGetLastDisk"), QStringLiteral("imgDrive"),
                  QStringLiteral("lblGetLastDisk"), 236) {
  Label()->setText(QStringLiteral("Please insert the last disk of the multi-part disk set."));
}

}  // namespace vz
