// The archive commands driven end to end: the real window and engine on the
// fake platform, real archives in the scratch folder, and a script for
// every dialog and prompt. Each dialog is shown, filled through its
// controls and closed by its own button, as a user would.
#pragma once

#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTreeView>

#include <climits>
#include <map>

#include "app/FileListModel.h"
#include "app/FileView.h"
#include "app/FolderModel.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ShellTree.h"
#include "engine/support/PathUtils.h"
#include "tests/app/window/WindowFixture.h"
#include "tests/support/TestFiles.h"

namespace vz::test {

class CommandsFixture : public WindowFixture {
 public:
  using TScript = std::function<int(QDialog&)>;

  CommandsFixture() {
    char cwd[PATH_MAX];
    FStartFolder = ::getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
    Home = Fake.Root() + "home";
    MakeFolders(Home + "/Desktop");
    MakeFolders(Home + "/Documents");
    Out = Fake.Root() + "out/";
  }
  ~CommandsFixture() override { [[maybe_unused]] const int rc = ::chdir(FStartFolder.c_str()); }

  // The window with its dialogs' folder trees in the scratch home, every
  // dialog answered from Scripts (by its name, in order) and each report
  // read into Report.
  TfrmMain& MakeCommandWindow() {
    TfrmMain& window = MakeWindow();
    window.SetShellLocations(ShellLocationsFrom(
        Fake.Files, Home,
        {{"XDG_DESKTOP_DIR", Home + "/Desktop"}, {"XDG_DOCUMENTS_DIR", Home + "/Documents"}}));
    DialogScript = [this](QDialog& dialog) {
      auto& queue = Scripts[dialog.objectName()];
      if (!queue.empty()) {
        const TScript script = std::move(queue.front());
        queue.pop_front();
        return script(dialog);
      }
      if (dialog.objectName() == QLatin1String("frmReport")) {
        ReadReport(dialog);
        return static_cast<int>(QDialog::Accepted);
      }
      return 0;
    };
    window.show();
    return window;
  }

  void Trigger(const char* name) { Window->Action(QLatin1String(name))->trigger(); }
  void OpenArchive(const std::string& path) {
    Host.FileDialogAnswers.push_back(path);
    Trigger("mnuOpen");
  }
  // Selects the rows captioned so in the list (ctrl-click each).
  void SelectRows(std::initializer_list<const char*> captions) {
    TFileView* files = Window->findChild<TFileView*>(QStringLiteral("lvFiles"));
    files->SelectionModel()->clearSelection();
    const TFileListModel& model = Window->FileListModel();
    for (const char* caption : captions) {
      for (int row = 0; row < model.rowCount(); ++row) {
        if (model.Caption(row) == QLatin1String(caption)) {
          files->SelectionModel()->select(model.index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
      }
    }
  }
  void SelectFolder(const char* caption) {
    Window->SelectNode(Window->Tree()->FindCaption(QLatin1String(caption)));
  }
  QString Status() const {
    return Window->findChild<QLabel*>(QStringLiteral("StatusText"))->text();
  }

  // ---- dialogs ----
  static void Show(QDialog& dialog) {
    dialog.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  }
  template <typename TWidget>
  static TWidget* Child(const QObject& parent, const char* name) {
    auto* child = parent.findChild<TWidget*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  static void Click(const QObject& dialog, const char* name) {
    Child<QAbstractButton>(dialog, name)->click();
  }
  static void Type(const QObject& dialog, const char* name, const std::string& text) {
    Child<QLineEdit>(dialog, name)->setText(QString::fromStdString(text));
  }
  static bool Settled(const TShellTree& tree) {
    return QTest::qWaitFor([&] { return !tree.Model().Busy(); }, 10000);
  }
  // The answer a dialog's own button gave.
  static int Result(const QDialog& dialog) { return dialog.result(); }
  // The Unzip dialog answered with `folder` as the destination.
  void UnzipTo(const std::string& folder) {
    Scripts["frmUnzipOptions"].push_back([folder](QDialog& dialog) {
      Child<TPathEdit>(dialog, "edtPath")->SetPath(folder);
      Click(dialog, "butUnzip");
      return Result(dialog);
    });
  }
  // The Password dialog answered with `password`, typed twice.
  void NewPassword(const std::string& password) {
    Scripts["frmPasswordOptions"].push_back([password](QDialog& dialog) {
      Type(dialog, "edtPassword", password);
      Type(dialog, "edtConfirmPassword", password);
      Click(dialog, "butEncrypt");
      return Result(dialog);
    });
  }

  // ---- the report ----
  void ReadReport(QDialog& dialog) {
    Report.clear();
    ReportProblems.clear();
    const auto* results = Child<QTableView>(dialog, "lvResults")->model();
    for (int row = 0; row < results->rowCount(); ++row) {
      Report[results->index(row, 0).data().toString().toStdString()] =
          results->index(row, 1).data().toString().toStdString();
    }
    const auto* problems = Child<QTableView>(dialog, "lvProblemFiles")->model();
    ReportAction = problems->headerData(1, Qt::Horizontal).toString().toStdString();
    for (int row = 0; row < problems->rowCount(); ++row) {
      ReportProblems.push_back(problems->index(row, 0).data().toString().toStdString() + "|" +
                               problems->index(row, 1).data().toString().toStdString() + "|" +
                               problems->index(row, 2).data().toString().toStdString());
    }
    ++Reports;
  }

  // ---- archives as another reader sees them ----
  std::vector<std::string> Names(const std::string& archive) {
    TUnZipEngine engine(Fake.Services());
    engine.SetZipName(archive);
    engine.ReadZip();
    std::vector<std::string> names;
    for (int i = 0; i < engine.Count(); ++i) names.push_back(engine.FullName(i));
    return names;
  }
  // The member's bytes as Info-ZIP's unzip gives them (it matches the name
  // exactly); "<failed>" when it cannot.
  static std::string Content(const std::string& archive, const std::string& member,
                             const std::string& password = "") {
    const TCommandResult result =
        RunCommand("/usr/bin/unzip -p " +
                   (password.empty() ? std::string() : "-P " + ShellQuote(password) + " ") +
                   ShellQuote(archive) + " " + ShellQuote(member) + " 2>/dev/null");
    return result.ExitCode == 0 ? result.Output : "<failed>";
  }
  static int InfoZipTest(const std::string& archive, const std::string& password = "") {
    return RunCommand("/usr/bin/unzip -tqq " +
                      (password.empty() ? std::string() : "-P " + ShellQuote(password) + " ") +
                      ShellQuote(archive))
        .ExitCode;
  }
  std::vector<std::string> TempFilesLeft() {
    std::vector<TDirEntry> entries;
    Fake.Files.ListFolder(Fake.Files.TempFolder(), entries);
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.Name);
    return names;
  }

  std::string Home;
  std::string Out;  // ends in "/"
  std::map<QString, std::deque<TScript>> Scripts;
  std::map<std::string, std::string> Report;  // report item -> result
  std::vector<std::string> ReportProblems;    // name|action|message
  std::string ReportAction;
  int Reports = 0;

 private:
  std::string FStartFolder;
};

}  // namespace vz::test
