#include "app/dialogs/DialogSupport.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStackedLayout>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/dialogs/ShellItem.h"

namespace vz {

std::string Trim(std::string_view text) {
  const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

QString Trim(const QString& text) {
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && text[first].unicode() <= ' ') ++first;
  while (last > first && text[last - 1].unicode() <= ' ') --last;
  return text.mid(first, last - first);
}

void TWidgetFocus::SetFocus() {
  if (FWidget) FWidget->setFocus(Qt::OtherFocusReason);
}

void TPathEdit::SetPath(const std::string& path) {
  FBytes = path;
  FShown = DisplayText(path);
  setText(FShown);
}

std::string TPathEdit::Path() const {
  return text() == FShown ? FBytes : TextBytes(text());
}

void UpdateLongTextHint(QLineEdit& edit, const QString& text) {
  const bool wide = edit.fontMetrics().horizontalAdvance(text) > edit.width() - 5;
  edit.setToolTip(wide ? text : QString());
}

QWidget* PlaceFor(QWidget* target) {
  auto* place = new QWidget;
  auto* layout = new QVBoxLayout(place);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(target);
  return place;
}

TPageFill::TPageFill(QWidget* page, QWidget* content, QWidget* place, QWidget* target)
    : FStack(new QStackedLayout(page)), FFull(new QWidget), FPlace(place), FTarget(target) {
  FStack->addWidget(content);
  auto* layout = new QVBoxLayout(FFull);
  layout->setContentsMargins(0, 0, 0, 0);
  FStack->addWidget(FFull);
}

bool TPageFill::Filled() const {
  return FStack->currentWidget() == FFull;
}

void TPageFill::Toggle() {
  const bool fill = !Filled();
  (fill ? FFull : FPlace)->layout()->addWidget(FTarget);
  FStack->setCurrentWidget(fill ? FFull : FStack->widget(0));
  FTarget->show();
  FTarget->setFocus(Qt::OtherFocusReason);
}

TVzDialog::TVzDialog(const TAppContext& App, IHelpService& Help, int HelpContext,
                     const QString& Caption, QWidget* parent)
    : QDialog(parent), FApp(App), FHelp(Help), FHelpContext(HelpContext) {
  setWindowTitle(Caption);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setModal(true);
}

QPushButton* TVzDialog::MakeButton(const char* name, const QString& caption) {
  auto* button = Named<QPushButton>(name, caption);
  button->setAutoDefault(false);
  return button;
}

void TVzDialog::Arrange(QTabWidget* pages, QPushButton* defaultButton, bool withCancel) {
  FPages = pages;
  FHelpButton = MakeButton("butHelp", QStringLiteral("&Help"));
  defaultButton->setDefault(true);
  connect(FHelpButton, &QPushButton::clicked, this, [this] { butHelpClick(); });
  auto* buttons = new QVBoxLayout;
  buttons->addSpacing(pages->tabBar()->sizeHint().height());
  buttons->addWidget(defaultButton);
  if (withCancel) {
    FCancel = MakeButton("butCancel", QStringLiteral("&Cancel"));
    connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(FCancel);
  }
  buttons->addWidget(FHelpButton);
  buttons->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(pages, 1);
  layout->addLayout(buttons);
  InstallDialogHelp(*this, FHelp, FHelpContext);
}

void TVzDialog::Warn(QWidget* page, const std::string& message, QWidget* focus) {
  if (FPages != nullptr && page != nullptr) FPages->setCurrentWidget(page);
  TWidgetFocus target(focus);
  ShowWarning(FApp, message, focus != nullptr ? &target : nullptr);
}

void TVzDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (FShown) return;
  FShown = true;
  // A fixed border: the size the controls ask for, kept while a tree takes
  // its whole page.
  setFixedSize(sizeHint());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  FormShow();
}

QSlider* AddLevelTrackBar(QBoxLayout& layout, const QString& rightCaption) {
  auto* trackBar = Named<QSlider>("TrackBar", Qt::Horizontal);
  trackBar->setRange(1, 9);
  trackBar->setSingleStep(1);
  trackBar->setPageStep(1);
  trackBar->setTickInterval(1);
  trackBar->setTickPosition(QSlider::TicksBothSides);
  trackBar->setValue(6);
  layout.addWidget(trackBar);
  auto* ends = new QHBoxLayout;
  ends->addWidget(new QLabel(QStringLiteral("Less compression (Faster)")));
  ends->addStretch(1);
  ends->addWidget(new QLabel(rightCaption));
  layout.addLayout(ends);
  return trackBar;
}

void MaskPasswords(QLineEdit& first, QLineEdit& second) {
  for (QLineEdit* edit : {&first, &second}) {
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
  }
}

QComboBox* AddEncryptionSelector(QFormLayout& form, int current) {
  auto* box = new QComboBox;
  box->setObjectName(QStringLiteral("cbEncryption"));
  box->addItems({QStringLiteral("Traditional (ZIP 2.0)"), QStringLiteral("AES-128"),
                 QStringLiteral("AES-256")});
  box->setCurrentIndex(current >= 0 && current < box->count() ? current : 0);
  auto* label = new QLabel(QStringLiteral("En&cryption"));
  label->setObjectName(QStringLiteral("lblEncryption"));
  label->setBuddy(box);
  form.addRow(label, box);
  auto* note = new QLabel(
      QStringLiteral("Windows Explorer opens only traditional encryption; AES, much stronger, "
                     "needs 7-Zip, WinZip or this program."));
  note->setObjectName(QStringLiteral("lblEncryptionNote"));
  note->setWordWrap(true);
  form.addRow(QString(), note);
  return box;
}

bool TrimmedPasswordsMatch(QLineEdit& password, QLineEdit& confirmation) {
  password.setText(Trim(password.text()));
  confirmation.setText(Trim(confirmation.text()));
  return password.text() == confirmation.text();
}

void ResetPasswords(QLineEdit& password, QLineEdit& confirmation) {
  password.clear();
  confirmation.clear();
  password.setFocus();
}

}  // namespace vz
