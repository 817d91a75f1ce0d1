#include "app/dialogs/frmAbout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vz {

TfrmAbout::TfrmAbout(const QIcon& Icon, const QString& Title, const QString& Notice,
                     const QString& Version, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About ") + Title);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  auto* imgIcon = new QLabel;
  imgIcon->setObjectName(QStringLiteral("imgIcon"));
  imgIcon->setPixmap(Icon.pixmap(48, 48));
  imgIcon->setAlignment(Qt::AlignTop);
  auto* lblTitle = new QLabel(Title);
  lblTitle->setObjectName(QStringLiteral("lblTitle"));
  QFont big = lblTitle->font();
  big.setPointSizeF(big.pointSizeF() * 1.5);
  big.setBold(true);
  lblTitle->setFont(big);
  auto* lblVersion = new QLabel(QStringLiteral("Version ") + Version);
  lblVersion->setObjectName(QStringLiteral("lblVersion"));
  auto* lblNotice = new QLabel(Notice);
  lblNotice->setObjectName(QStringLiteral("lblNotice"));
  lblNotice->setWordWrap(true);
  lblNotice->setMinimumWidth(260);
  auto* butOK = new QPushButton(QStringLiteral("&OK"));
  butOK->setObjectName(QStringLiteral("butOK"));
  butOK->setDefault(true);
  connect(butOK, &QPushButton::clicked, this, &QDialog::accept);

  auto* text = new QVBoxLayout;
  text->addWidget(lblTitle);
  text->addWidget(lblVersion);
  text->addSpacing(8);
  text->addWidget(lblNotice);
  text->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addWidget(imgIcon);
  top->addSpacing(12);
  top->addLayout(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(butOK, 0, Qt::AlignRight);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace vz
