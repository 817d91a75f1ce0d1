// View File in the window: which members go to the text pane and which to
// the viewer, the files handed over (whole, private, one folder each), the
// viewer's records and their clean-up at exit, the fall-back to the text
// pane, and the commands and clicks that view.
#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "app/FileListModel.h"
#include "app/FileView.h"
#include "app/core/CommaText.h"
#include "app/core/ViewerFiles.h"
#include "platform/FileHelpers.h"
#include "tests/app/window/WindowFixture.h"
#include "tests/support/TestFiles.h"

namespace vz::test {
namespace {

constexpr char kViewer[] = "/usr/bin/some-viewer";

class ViewingTest : public WindowFixture {
 protected:
  TfrmMain& OpenWith(const std::vector<TBuildMember>& members) {
    Archive = WriteArchive("view.zip", members);
    TfrmMain& window = MakeWindow({QString::fromStdString(Archive)});
    AppInfo->FileViewer = kViewer;
    window.FormShow();
    window.UpdateCommands();
    return window;
  }
  // Selects the rows of the listed folder captioned so.
  void Select(TfrmMain& window, const QStringList& captions) {
    auto* files = window.findChild<TFileView*>(QStringLiteral("lvFiles"));
    files->SelectionModel()->clearSelection();
    const TFileListModel& model = window.FileListModel();
    for (int row = 0; row < model.rowCount(); ++row) {
      if (!captions.contains(model.Caption(row))) continue;
      files->SelectionModel()->select(model.index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }
  QString Pane(TfrmMain& window) {
    return window.findChild<QPlainTextEdit*>(QStringLiteral("redTextViewer"))->toPlainText();
  }
  // The file handed to the viewer by the n-th start.
  std::string Handed(std::size_t n) {
    EXPECT_GT(Fake.Processes.Started.size(), n);
    if (Fake.Processes.Started.size() <= n) return {};
    const TCommand& command = Fake.Processes.Started[n].Command;
    EXPECT_EQ(command.Program, kViewer);
    EXPECT_EQ(command.Arguments.size(), 1u);
    EXPECT_FALSE(Fake.Processes.Started[n].Waited);
    return command.Arguments.empty() ? std::string() : command.Arguments[0];
  }

  std::string Archive;
};

struct TViewCase {
  const char* Name;
  bool Text;
};

class ViewByExtension : public ViewingTest, public ::testing::WithParamInterface<TViewCase> {};

TEST_P(ViewByExtension, TextPaneOrViewer) {
  const TViewCase& c = GetParam();
  TfrmMain& window = OpenWith({Stored("zzz.bin", "other"), Stored(c.Name, "the member's bytes")});
  Select(window, {QString::fromLatin1(c.Name)});
  window.Action(QStringLiteral("mnuViewFile"))->trigger();
  if (c.Text) {
    EXPECT_EQ(Pane(window), "the member's bytes");
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("lblTextViewer"))->text(), c.Name);
    EXPECT_TRUE(Fake.Processes.Started.empty());
    EXPECT_TRUE(AppInfo->TempFiles.empty());
    return;
  }
  const std::string path = Handed(0);
  EXPECT_EQ(FileNameOf(path), c.Name);
  EXPECT_EQ(ReadFileText(path), "the member's bytes");
  EXPECT_TRUE(path.starts_with(Fake.Files.TempFolder() + kViewerFolderPrefix)) << path;
  EXPECT_EQ(FileMode(FolderOf(path)), 0700u);
  EXPECT_EQ(FileMode(FolderOf(FolderOf(path).substr(0, FolderOf(path).size() - 1))), 0700u);
  EXPECT_EQ(FileMode(path), 0600u);
  ASSERT_EQ(AppInfo->TempFiles.size(), 1u);
  EXPECT_EQ(SplitCommaText(AppInfo->TempFiles[0]),
            (std::vector<std::string>{std::to_string(Fake.Processes.Started[0].ProcessId), path}));
  EXPECT_TRUE(Host.Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Members, ViewByExtension,
                         ::testing::Values(TViewCase{"notes.ini", true}, TViewCase{"README", true},
                                           TViewCase{"setup.in", true},
                                           TViewCase{"FILE_ID.DIZ", true},
                                           TViewCase{"photo.bmp", false},
                                           TViewCase{"Report.DOC", false},
                                           TViewCase{"data.tar.gz", false}),
                         [](const auto& param) {
                           std::string name = param.param.Name;
                           for (char& ch : name) {
                             if (ch == '.') ch = '_';
                           }
                           return name;
                         });

TEST_F(ViewingTest, TwoSelectedMembersGiveTwoViewersAndTwoRecords) {
  TfrmMain& window = OpenWith({Stored("a.png", "first"), Stored("b.png", "second")});
  Select(window, {"a.png", "b.png"});
  window.findChild<QToolButton*>(QStringLiteral("tbViewFile"))->click();
  ASSERT_EQ(Fake.Processes.Started.size(), 2u);
  EXPECT_EQ(ReadFileText(Handed(0)), "first");
  EXPECT_EQ(ReadFileText(Handed(1)), "second");
  EXPECT_NE(FolderOf(Handed(0)), FolderOf(Handed(1)));
  EXPECT_EQ(AppInfo->TempFiles.size(), 2u);
}

TEST_F(ViewingTest, MembersOfOneNameFromTwoFoldersNeverMeet) {
  TfrmMain& window = OpenWith({Stored("a/photo.bmp", "from a"), Stored("b/photo.bmp", "from b")});
  for (const char* folder : {"a", "b"}) {
    window.SelectNode(window.Tree()->FindCaption(QString::fromLatin1(folder)));
    Select(window, {"photo.bmp"});
    window.Action(QStringLiteral("popViewFile"))->trigger();
  }
  EXPECT_EQ(ReadFileText(Handed(0)), "from a");
  EXPECT_EQ(ReadFileText(Handed(1)), "from b");
}

TEST_F(ViewingTest, ADoubleClickOnAMemberViewsIt) {
  TfrmMain& window = OpenWith({Stored("docs/x.txt", "x"), Stored("pic.gif", "gif")});
  window.show();
  QApplication::processEvents();
  auto* details = window.findChild<QTableView*>(QStringLiteral("lvFilesDetails"));
  ASSERT_EQ(window.FileListModel().Caption(1), "pic.gif");
  const QPoint row = details->visualRect(details->model()->index(1, 0)).center();
  QTest::mouseClick(details->viewport(), Qt::LeftButton, {}, row);
  QTest::mouseDClick(details->viewport(), Qt::LeftButton, {}, row);
  ASSERT_EQ(Fake.Processes.Started.size(), 1u);
  EXPECT_EQ(FileNameOf(Handed(0)), "pic.gif");
}

TEST_F(ViewingTest, AViewerThatCannotStartOffersTheTextPane) {
  TfrmMain& window = OpenWith({Stored("image.png", "not really a picture")});
  Fake.Processes.FailStart = ENOENT;
  Host.MessageAnswers = {TMsgResult::Yes};
  Select(window, {"image.png"});
  window.ViewSelected();
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Host.Messages[0].Text,
            "The file viewer could not be opened!\r\rWould you like to use the text viewer?");
  EXPECT_EQ(Host.Messages[0].DefaultButton, TMsgResult::Yes);
  EXPECT_EQ(Pane(window), "not really a picture");
  ASSERT_EQ(AppInfo->TempFiles.size(), 1u);
  EXPECT_TRUE(AppInfo->TempFiles[0].starts_with("0,"));
}

TEST_F(ViewingTest, AMemberThatFailsItsCheckIsNeitherHandedOverNorLeftBehind) {
  TBuildMember damaged = Stored("broken.bmp", "bytes");
  damaged.Crc = 0x12345678;
  TfrmMain& window = OpenWith({damaged});
  Select(window, {"broken.bmp"});
  window.ViewSelected();
  EXPECT_TRUE(Fake.Processes.Started.empty());
  EXPECT_TRUE(AppInfo->TempFiles.empty());
  std::vector<TDirEntry> left;
  ASSERT_TRUE(Fake.Files.ListFolder(Fake.Files.TempFolder(), left));
  for (const TDirEntry& entry : left) {
    std::vector<TDirEntry> inside;
    Fake.Files.ListFolder(Fake.Files.TempFolder() + entry.Name, inside);
    EXPECT_TRUE(inside.empty()) << entry.Name;
  }
}

// At exit no viewer is signalled: the file of an ended viewer goes at once,
// that of a viewer still open at the next start, with the private folder.
TEST_F(ViewingTest, ExitRemovesWhatNoViewerHoldsAndTheRestAtTheNextStart) {
  TfrmMain& window = OpenWith({Stored("done.png", "1"), Stored("open.png", "2")});
  Select(window, {"done.png", "open.png"});
  window.ViewSelected();
  const std::string done = Handed(0);
  const std::string open = Handed(1);
  Fake.Processes.Exit(Fake.Processes.Started[0].ProcessId);
  CloseWindow();
  EXPECT_TRUE(Fake.Processes.Terminated.empty());
  EXPECT_FALSE(std::filesystem::exists(FolderOf(done)));
  EXPECT_TRUE(FileExists(open));

  MakeWindow();  // the next start
  EXPECT_FALSE(std::filesystem::exists(FolderOf(open)));
  const std::string root = FolderOf(FolderOf(open).substr(0, FolderOf(open).size() - 1));
  EXPECT_FALSE(std::filesystem::exists(root));
}

}  // namespace
}  // namespace vz::test
