#include "app/dialogs/frmAVScan.h"

#include <QFontMetrics>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace vz {

TfrmAVScan::TfrmAVScan(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint), FPanel(new QLabel(this)) {
  setObjectName(QStringLiteral("frmAVScan"));
  FPanel->setObjectName(QStringLiteral("pnlFileName"));
  FPanel->setAlignment(Qt::AlignCenter);
  FPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  FPanel->setLineWidth(2);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(FPanel);
  resize(104, 61);
}

void TfrmAVScan::SetMessage(const QString& text) {
  FPanel->setText(text);
  if (isVisible()) FitToMessage();
}

void TfrmAVScan::FitToMessage() {
  const int width = QFontMetrics(font()).horizontalAdvance(FPanel->text()) + 36;
  resize(width, height());
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TfrmAVScan::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FitToMessage();
}

}  // namespace vz
