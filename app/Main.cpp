// zip: the windowed program of Varnel Zip. Builds the program-wide objects
// (services, settings, operation record, folder-archive records), then the
// main window, which opens the archive named last on the command line once
// it is shown.
#include <QApplication>
#include <QScreen>
#include <QTimer>

#include "app/HelpWindow.h"
#include "app/Icons.h"
#include "app/MainWindow.h"
#include "app/QtHost.h"
#include "app/core/AppErrors.h"
#include "app/core/AppInfo.h"
#include "app/core/CFI.h"
#include "app/core/OpInfo.h"
#include "platform/posix/PosixPlatform.h"

int main(int argc, char** argv) {
  using namespace vz;
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kAppTitle));
  QApplication::setDesktopFileName(QStringLiteral("varnel-zip"));
  QApplication::setWindowIcon(AppIcon());

  TQtHost host;
  TPosixPlatform platform(host);
  const TAppGlobals globals = InitGlobals(platform.Services().Environment);
  const TAppContext app{platform.Services(), globals};
  std::unique_ptr<TCFI> cfi;
  try {
    cfi = std::make_unique<TCFI>(app);
  } catch (const ECFIError& e) {
    host.MessageBox({e.what(), globals.AppTitle, TMsgButtons::Ok, TMsgIcon::Error, TMsgResult::Ok});
    return 1;
  }
  const QRect screen = QApplication::primaryScreen()->availableGeometry();
  TAppInfo appInfo(app, {screen.width(), screen.height()});
  TOpInfo opInfo;
  THelpService help;
  TfrmMain window({app, appInfo, opInfo, *cfi, &help}, QApplication::arguments().mid(1));
  host.SetParentWindow(&window);
  window.show();
  QTimer::singleShot(0, &window, &TfrmMain::FormShow);
  return QApplication::exec();
}
