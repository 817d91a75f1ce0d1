// Drag and drop with file managers: an archive dropped on an empty window
// opens, drops the window cannot take are refused, and members dragged out
// arrive as file URLs to whole copies in the private folder.
#include <QApplication>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "app/FileListModel.h"
#include "app/FileView.h"
#include "app/core/ViewerFiles.h"
#include "platform/FileHelpers.h"
#include "tests/app/window/WindowFixture.h"
#include "tests/support/TestFiles.h"

namespace vz::test {
namespace {

class DragDropTest : public WindowFixture {
 protected:
  static std::unique_ptr<QMimeData> Urls(const QStringList& urls) {
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> list;
    for (const QString& url : urls) list << QUrl(url);
    mime->setUrls(list);
    return mime;
  }
  static QString FileUrl(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path)).toString();
  }
  // Drags `mime` over the window and drops it there; answers whether the
  // window took it.
  static bool Drop(TfrmMain& window, const QMimeData& mime) {
    const QPoint centre = window.rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&window, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(centre), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&window, &drop);
    QApplication::processEvents();
    return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
  }
  static QModelIndexList SelectedIndexes(TfrmMain& window) {
    return window.findChild<TFileView*>(QStringLiteral("lvFiles"))
        ->SelectionModel()
        ->selectedIndexes();
  }
};

TEST_F(DragDropTest, AnArchiveDroppedOnAnEmptyWindowOpens) {
  const std::string path = WriteArchive("dropped.zip", {Stored("readme.txt", "hello")});
  TfrmMain& window = MakeWindow();
  ASSERT_TRUE(window.acceptDrops());
  EXPECT_TRUE(Drop(window, *Urls({FileUrl(path)})));
  ASSERT_NE(window.Tree(), nullptr);
  EXPECT_EQ(window.windowTitle().toStdString(), "Varnel Zip - " + path);
  EXPECT_EQ(OpInfo.OpKind, TOpKind::Open);
}

TEST_F(DragDropTest, DropsOfOtherThingsAreRefused) {
  TfrmMain& window = MakeWindow();
  EXPECT_FALSE(Drop(window, *Urls({QStringLiteral("https://example.org/a.zip")})));
  QMimeData text;
  text.setText(QStringLiteral("/tmp/a.zip"));
  EXPECT_FALSE(Drop(window, text));
  const std::string a = WriteArchive("a.zip", {Stored("a.txt", "a")});
  // Two archives at once open neither.
  EXPECT_TRUE(Drop(window, *Urls({FileUrl(a), FileUrl(a)})));
  EXPECT_EQ(window.Tree(), nullptr);
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(DragDropTest, MembersDraggedOutArriveAsWholeFiles) {
  const std::string path = WriteArchive(
      "out.zip",
      {Stored("docs/x.txt", "x"), Stored("one.txt", "first"), Stored("two.bin", "second")});
  TfrmMain& window = MakeWindow({QString::fromStdString(path)});
  window.FormShow();
  const TFileListModel& model = window.FileListModel();
  ASSERT_EQ(model.Caption(0), "docs");
  EXPECT_FALSE(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsDragEnabled));
  EXPECT_TRUE(model.flags(model.index(1, 0)).testFlag(Qt::ItemIsDragEnabled));
  EXPECT_EQ(model.mimeTypes(), QStringList{"text/uri-list"});
  EXPECT_EQ(model.supportedDragActions(), Qt::CopyAction);
  window.findChild<TFileView*>(QStringLiteral("lvFiles"))->SelectAllRows();

  std::unique_ptr<QMimeData> mime(model.mimeData(SelectedIndexes(window)));
  ASSERT_NE(mime, nullptr);
  EXPECT_TRUE(mime->hasFormat(QStringLiteral("text/uri-list")));
  const QList<QUrl> urls = mime->urls();
  ASSERT_EQ(urls.size(), 2);  // the folder row stays behind
  const std::string first = urls[0].toLocalFile().toStdString();
  const std::string second = urls[1].toLocalFile().toStdString();
  EXPECT_EQ(FileNameOf(first), "one.txt");
  EXPECT_EQ(ReadFileText(first), "first");
  EXPECT_EQ(ReadFileText(second), "second");
  EXPECT_TRUE(first.starts_with(Fake.Files.TempFolder() + kViewerFolderPrefix));
  EXPECT_EQ(AppInfo->TempFiles.size(), 2u);
  EXPECT_TRUE(Fake.Processes.Started.empty());

  CloseWindow();  // nobody holds them: they go at exit
  EXPECT_FALSE(FileExists(first));
  EXPECT_FALSE(FileExists(second));
}

TEST_F(DragDropTest, AMemberThatCannotBeExtractedIsNotDragged) {
  TBuildMember damaged = Stored("bad.bin", "bytes");
  damaged.Crc = 1;
  const std::string path = WriteArchive("bad.zip", {damaged});
  TfrmMain& window = MakeWindow({QString::fromStdString(path)});
  window.FormShow();
  window.findChild<TFileView*>(QStringLiteral("lvFiles"))->SelectAllRows();
  std::unique_ptr<QMimeData> mime(window.FileListModel().mimeData(SelectedIndexes(window)));
  EXPECT_EQ(mime, nullptr);
  EXPECT_TRUE(AppInfo->TempFiles.empty());
}

}  // namespace
}  // namespace vz::test
