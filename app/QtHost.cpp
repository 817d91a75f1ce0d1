#include "app/QtHost.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>

#include "app/UiThread.h"

namespace vz {
namespace {

QMessageBox::Icon IconOf(TMsgIcon icon) {
  switch (icon) {
    case TMsgIcon::Error:
      return QMessageBox::Critical;
    case TMsgIcon::Warning:
      return QMessageBox::Warning;
    case TMsgIcon::Information:
      return QMessageBox::Information;
    case TMsgIcon::Question:
      return QMessageBox::Question;
    case TMsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ButtonsOf(TMsgButtons buttons) {
  switch (buttons) {
    case TMsgButtons::Ok:
      return QMessageBox::Ok;
    case TMsgButtons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case TMsgButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case TMsgButtons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

QMessageBox::StandardButton ButtonOf(TMsgResult result) {
  switch (result) {
    case TMsgResult::Ok:
      return QMessageBox::Ok;
    case TMsgResult::Cancel:
      return QMessageBox::Cancel;
    case TMsgResult::Yes:
      return QMessageBox::Yes;
    case TMsgResult::No:
      return QMessageBox::No;
  }
  return QMessageBox::Ok;
}

TMsgResult ResultOf(QMessageBox::StandardButton button, TMsgButtons buttons) {
  switch (button) {
    case QMessageBox::Ok:
      return TMsgResult::Ok;
    case QMessageBox::Yes:
      return TMsgResult::Yes;
    case QMessageBox::No:
      return TMsgResult::No;
    default:
      // Closed without a button: what Esc would answer.
      return buttons == TMsgButtons::YesNo ? TMsgResult::No
             : buttons == TMsgButtons::Ok  ? TMsgResult::Ok
                                           : TMsgResult::Cancel;
  }
}

// Under the "Programs" filter a file dialog lists folders and the files
// that may be run, which no name pattern can tell on Linux.
class TProgramFilter : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;
  void SetProgramsOnly(bool on) {
    FProgramsOnly = on;
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!FProgramsOnly || files == nullptr) return true;
    // Looked at on disk: the model may not have gathered the file's
    // details yet when it first lists the name.
    const QFileInfo info(files->filePath(files->index(row, 0, parent)));
    return info.isDir() || info.isExecutable();
  }

 private:
  bool FProgramsOnly = true;
};

constexpr char kProgramsFilterName[] = "Programs";

QString PickFile(QWidget* parent, const QString& title, const QString& folder,
                 const QString& filter) {
  if (!filter.startsWith(QLatin1String(kProgramsFilterName))) {
    return QFileDialog::getOpenFileName(parent, title, folder, filter);
  }
  QFileDialog dialog(parent, title, folder, filter);
  dialog.setOption(QFileDialog::DontUseNativeDialog);  // the filter needs Qt's own dialog
  dialog.setFileMode(QFileDialog::ExistingFile);
  auto* programs = new TProgramFilter(&dialog);
  dialog.setProxyModel(programs);
  // The filter box of Qt's own dialog says which filter is chosen.
  if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
    QObject::connect(types, &QComboBox::currentTextChanged, programs, [programs](const QString& f) {
      programs->SetProgramsOnly(f.startsWith(QLatin1String(kProgramsFilterName)));
    });
  }
  return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

}  // namespace

QString MessageText(const std::string& text) {
  QString result = QString::fromStdString(text);
  result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return result;
}

std::unique_ptr<QMessageBox> MakeMessageBox(const TMessageBox& box, QWidget* parent) {
  auto result =
      std::make_unique<QMessageBox>(IconOf(box.Icon), QString::fromStdString(box.Caption),
                                    MessageText(box.Text), ButtonsOf(box.Buttons), parent);
  result->setDefaultButton(ButtonOf(box.DefaultButton));
  return result;
}

QString QtFileFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& pattern : patterns) {
      if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
    }
    filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return filters.join(QStringLiteral(";;"));
}

TNormalCursor::TNormalCursor() : FPushed(QApplication::overrideCursor() != nullptr) {
  if (FPushed) QApplication::setOverrideCursor(Qt::ArrowCursor);
}

TNormalCursor::~TNormalCursor() {
  if (FPushed) QApplication::restoreOverrideCursor();
}

QWidget* TQtHost::Parent() const {
  return FParent ? FParent.data() : QApplication::activeWindow();
}

TMsgResult TQtHost::MessageBox(const TMessageBox& box) {
  TMsgResult result = TMsgResult::Cancel;
  RunOnUiThread([&] {
    QApplication::beep();
    const TNormalCursor pointer;
    auto dialog = MakeMessageBox(box, Parent());
    const auto button = ExecMessageBox ? ExecMessageBox(*dialog)
                                       : static_cast<QMessageBox::StandardButton>(dialog->exec());
    result = ResultOf(button, box.Buttons);
  });
  return result;
}

std::optional<std::string> TQtHost::OpenFileDialog(const std::string& title,
                                                   const std::string& filter,
                                                   const std::string& initialFolder) {
  std::optional<std::string> result;
  RunOnUiThread([&] {
    const TNormalCursor pointer;
    const QString file = PickFile(Parent(), QString::fromStdString(title),
                                  QString::fromStdString(initialFolder), QtFileFilter(filter));
    if (!file.isEmpty()) result = file.toStdString();
  });
  return result;
}

std::optional<std::string> TQtHost::FolderDialog(const std::string& startFolder) {
  std::optional<std::string> result;
  RunOnUiThread([&] {
    const TNormalCursor pointer;
    const QString folder =
        QFileDialog::getExistingDirectory(Parent(), QString(), QString::fromStdString(startFolder));
    if (!folder.isEmpty()) result = folder.toStdString();
  });
  return result;
}

void TQtHost::SetBusy(bool busy) {
  const auto apply = [busy] {
    if (busy) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
      QApplication::restoreOverrideCursor();
    }
  };
  // Not a question: from an operation's thread it is queued (in order), and
  // the operation goes on.
  if (OnUserInterfaceThread() || !QCoreApplication::instance()) {
    apply();
  } else {
    PostToUiThread(apply);
  }
}

void TQtHost::ProcessMessages() {
  if (OnUserInterfaceThread()) QCoreApplication::processEvents();
}

}  // namespace vz
