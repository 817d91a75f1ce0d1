// TfrmMain: drag and drop with file managers. A file dropped on an empty
// window is opened as an archive; files dropped on an open archive go into
// the selected folder. Members dragged out of the list are first extracted
// whole into the private folder (off the user-interface thread, any password
// asked before the drag begins) and then offered as file URLs, which file
// managers take under X11 and Wayland alike.
#include <QDropEvent>
#include <QMimeData>
#include <QProgressBar>
#include <QTimer>
#include <QUrl>

#include "app/FileListModel.h"
#include "app/MainWindow.h"
#include "app/OperationRunner.h"
#include "app/ScopeExit.h"
#include "app/core/AppInfo.h"
#include "app/core/OpInfo.h"

namespace vz {
namespace {

// The local paths a drag carries; nothing unless every item is a local file.
std::vector<std::string> LocalPaths(const QMimeData* mime) {
  std::vector<std::string> paths;
  if (mime == nullptr || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) return {};
    paths.push_back(url.toLocalFile().toStdString());
  }
  return paths;
}

// Drops reach the window wherever they land, since its views take none.
class TDropTarget : public QObject {
 public:
  explicit TDropTarget(TfrmMain& window) : QObject(&window), FWindow(window) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != &FWindow) return false;
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (Acceptable(*drag)) {
          drag->setDropAction(Qt::CopyAction);
          drag->accept();
        } else {
          drag->ignore();
        }
        return true;
      }
      case QEvent::Drop:
        Dropped(*static_cast<QDropEvent*>(event));
        return true;
      default:
        return false;
    }
  }

 private:
  // Members of our own list dragged back in are no new files.
  bool Acceptable(const QDropEvent& event) const {
    return event.source() == nullptr && !FWindow.Runner().Busy() &&
           !LocalPaths(event.mimeData()).empty();
  }

  void Dropped(QDropEvent& event) {
    if (!Acceptable(event)) {
      event.ignore();
      return;
    }
    event.setDropAction(Qt::CopyAction);
    event.accept();
    // Once the drop is over: the program that dragged must not wait for the
    // questions and the work that follow.
    QTimer::singleShot(0, &FWindow, [window = &FWindow, paths = LocalPaths(event.mimeData())] {
      window->Guarded([&] { window->DropFiles(paths); });
    });
  }

  TfrmMain& FWindow;
};

}  // namespace

void TfrmMain::InstallDragAndDrop() {
  setAcceptDrops(true);
  installEventFilter(new TDropTarget(*this));
  FFileModel->OnDragMembers = [this](const std::vector<std::string>& names) {
    return DragMembers(names);
  };
}

void TfrmMain::DropFiles(const std::vector<std::string>& Paths) {
  if (Paths.empty()) return;
  activateWindow();
  if (!FTree) {
    const auto info = FApp.Platform.Files.Stat(Paths.front());
    if (Paths.size() == 1 && info && info->IsRegular) OpenFile(Paths.front());
    return;
  }
  AddFiles(Paths);
}

QMimeData* TfrmMain::DragMembers(const std::vector<std::string>& FullNames) {
  QList<QUrl> urls;
  Guarded([&] {
    TBusyCursor busy(FApp.Platform.Host);
    const TScopeExit done([this] {
      ZipEngine.Password.clear();
      FProgress->setValue(0);
      StatusBarMsg("");
    });
    FOpInfo.Reset();
    FOpInfo.OpKind = TOpKind::Unzip;
    const std::string archive = ZipEngine.ZipName();
    ResetEngine();
    ZipEngine.SetZipName(archive);
    OpenArchive();
    for (const std::string& name : FullNames) {
      const std::optional<std::string> path = ExtractForViewing(name);
      if (!path) continue;
      // Removed at exit: the program it was dropped on has its own copy.
      FAppInfo.AddTempFile(0, *path);
      urls << QUrl::fromLocalFile(QString::fromStdString(*path));
    }
  });
  if (urls.isEmpty()) return nullptr;
  auto* mime = new QMimeData;
  mime->setUrls(urls);
  return mime;
}

}  // namespace vz
