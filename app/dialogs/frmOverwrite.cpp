#include "app/dialogs/frmOverwrite.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/core/Helpers.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ShellItem.h"
#include "engine/support/PathUtils.h"

namespace vz {
namespace {

// The characters no file name of the program may hold.
constexpr std::string_view kInvalidNameCharacters = "\"*/:<>?\\|";

}  // namespace

TfrmOverwrite::TfrmOverwrite(const TAppContext& App, QWidget* parent)
    : TPrompt(parent),
      FApp(App),
      lblFileName(Named<QLabel>("lblFileName")),
      edtNewFileName(Named<QLineEdit>("edtNewFileName")) {
  setObjectName(QStringLiteral("frmOverwrite"));
  lblFileName->setFixedWidth(300);
  lblFileName->setWordWrap(true);
  lblFileName->setTextFormat(Qt::PlainText);
  auto* butOverwrite = PromptButton("butOverwrite", QStringLiteral("&Overwrite"));
  auto* butSkip = PromptButton("butSkip", QStringLiteral("&Skip"));
  auto* butOverwriteAll = PromptButton("butOverwriteAll", QStringLiteral("Overwrite &All"));
  auto* butSkipAll = PromptButton("butSkipAll", QStringLiteral("S&kip All"));
  connect(butOverwrite, &QPushButton::clicked, this, [this] { done(mrYes); });
  connect(butSkip, &QPushButton::clicked, this, [this] { done(mrNo); });
  connect(butOverwriteAll, &QPushButton::clicked, this, [this] { done(mrYesToAll); });
  connect(butSkipAll, &QPushButton::clicked, this, [this] { done(mrNoToAll); });

  auto* gbRename = Named<QGroupBox>("gbRename", QStringLiteral("&Enter a new filename"));
  auto* butRename = PromptButton("butRename", QStringLiteral("&Rename"));
  // Enter in the box renames: the box holds the focus when the prompt opens.
  butRename->setDefault(true);
  connect(butRename, &QPushButton::clicked, this, &TfrmOverwrite::butRenameClick);
  auto* renameLayout = new QHBoxLayout(gbRename);
  renameLayout->addWidget(edtNewFileName, 1);
  renameLayout->addWidget(butRename);

  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {butOverwrite, butSkip, butOverwriteAll, butSkipAll}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  auto* grid = new QGridLayout(this);
  grid->setHorizontalSpacing(12);
  grid->addWidget(QuestionPicture(), 0, 0, Qt::AlignTop);
  grid->addWidget(lblFileName, 0, 1);
  grid->addLayout(buttons, 1, 0, 1, 2);
  grid->addWidget(gbRename, 2, 0, 1, 2);
  grid->setSizeConstraint(QLayout::SetFixedSize);
  FFirstFocus = edtNewFileName;
}

void TfrmOverwrite::SetFileName(const std::string& name) {
  lblFileName->setText(DisplayText(name + " already exists!\n\n"
                                          "Do you want to; overwrite the file, skip the file, "
                                          "or rename the file?"));
}

std::string TfrmOverwrite::NewFileName() const {
  return TextBytes(edtNewFileName->text());
}

void TfrmOverwrite::butRenameClick() {
  edtNewFileName->setText(Trim(edtNewFileName->text()));
  TWidgetFocus focus(edtNewFileName);
  const std::string name = NewFileName();
  if (name.empty()) {
    ShowWarning(FApp, "Invalid file name!", &focus);
    return;
  }
  if (name.find_first_of(kInvalidNameCharacters) != std::string::npos) {
    ShowWarning(FApp,
                std::string("Invalid file name!") + CRCR + "\" * / : < > ? \\ | are not allowed.",
                &focus);
    return;
  }
  // The target folder, not the current one: extraction never changes the
  // process's current folder. "." and ".." are there too, so never taken.
  if (FApp.Platform.Files.LStat(IncludeTrailingSlash(FTargetFolder) + name)) {
    ShowWarning(FApp, "File already exists!", &focus);
    return;
  }
  done(mrRetry);
}

}  // namespace vz
