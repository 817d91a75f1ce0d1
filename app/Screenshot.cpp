// vz_screenshot OUTPUT.png [ARCHIVE [FOLDER]]: renders the main window, with
// the archive open (and the folder captioned FOLDER selected, its readme in
// the text pane), into a PNG, as a person would see it on a display. Runs on
// the offscreen platform unless QT_QPA_PLATFORM says otherwise, and keeps
// its settings in a scratch folder, so the user's own stay untouched.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTreeView>
#include <cstdio>

#include "app/FolderModel.h"
#include "app/MainWindow.h"
#include "app/QtHost.h"
#include "app/core/AppInfo.h"
#include "app/core/CFI.h"
#include "app/core/OpInfo.h"
#include "platform/posix/PosixPlatform.h"

int main(int argc, char** argv) {
  using namespace vz;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir home;
  qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
  qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
  QApplication application(argc, argv);
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() < 2) {
    std::fprintf(stderr, "usage: vz_screenshot OUTPUT.png [ARCHIVE [FOLDER]]\n");
    return 2;
  }
  TQtHost host;
  // A message box here would wait for a click that never comes.
  host.ExecMessageBox = [](QMessageBox& box) {
    std::fprintf(stderr, "%s\n", qPrintable(box.text()));
    return QMessageBox::Ok;
  };
  TPosixPlatform platform(host);
  TAppGlobals globals = InitGlobals(platform.Services().Environment);
  globals.AppDir = home.path().toStdString() + "/";
  const TAppContext app{platform.Services(), globals};
  TCFI cfi(app);
  TAppInfo appInfo(app, {1024, 768});
  TOpInfo opInfo;
  TfrmMain window({app, appInfo, opInfo, cfi}, arguments.mid(2, 1));
  host.SetParentWindow(&window);
  window.resize(760, 520);
  window.show();
  window.FormShow();
  if (arguments.size() > 3 && window.Tree()) {
    const int folder = window.Tree()->FindCaption(arguments[3]);
    if (folder >= 0) {
      window.SelectNode(folder);
      window.findChild<QTreeView*>(QStringLiteral("tvFolders"))
          ->expand(window.FolderModel().IndexOfNode(folder));
      window.ShowReadme();
    }
  }
  QApplication::processEvents();
  if (!window.grab().save(arguments[1])) {
    std::fprintf(stderr, "vz_screenshot: cannot write %s\n", qPrintable(arguments[1]));
    return 1;
  }
  return 0;
}
