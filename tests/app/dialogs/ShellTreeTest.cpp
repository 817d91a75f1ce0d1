// The shell folder tree and its list on a scratch folder tree: order,
// hidden folders, files, links that lead into loops, names that are not
// UTF-8, large folders read in batches, the desktop with "Computer", and a
// removable medium read afresh on every expand.
#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <filesystem>
#include <fstream>

#include "tests/app/dialogs/DialogFixture.h"

namespace vz {
namespace {

using test::MakeFolders;
using test::WriteFileText;

class ShellTreeTest : public test::DialogFixture {
 protected:
  // Documents: alpha/, Beta/, Zulu/ (with inner/), .secret/, notes.txt,
  // loop -> . , up -> .. , side -> Zulu, and a folder whose name is not UTF-8.
  ShellTreeTest() {
    Docs = Home + "/Documents";
    for (const char* name : {"alpha", "Beta", "Zulu/inner", ".secret"})
      MakeFolders(Docs + "/" + name);
    WriteFileText(Docs + "/notes.txt", "x");
    WriteFileText(Docs + "/Zulu/z.txt", "z");
    std::filesystem::create_directory_symlink(".", Docs + "/loop");
    std::filesystem::create_directory_symlink("..", Docs + "/up");
    std::filesystem::create_directory_symlink("Zulu", Docs + "/side");
    MakeFolders(Docs + "/bad\xff");
  }

  std::unique_ptr<TShellTree> MakeTree(TSpecialFolders root, bool includeHidden) {
    auto tree = std::make_unique<TShellTree>(*Shell);
    tree->SetFileSystemOnly(true);
    tree->SetIncludeHidden(includeHidden);
    tree->SetRootFolder(root);
    tree->Load();
    EXPECT_TRUE(Settled(*tree));
    return tree;
  }

  static QStringList Captions(const QAbstractItemModel& model, const QModelIndex& parent = {}) {
    QStringList captions;
    for (int row = 0; row < model.rowCount(parent); ++row) {
      captions << model.index(row, 0, parent).data().toString();
    }
    return captions;
  }

  std::string Docs;
};

TEST_F(ShellTreeTest, ReadsUserDirsAssignments) {
  const auto dirs = ParseUserDirs(
      "# written by xdg-user-dirs-update\n"
      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
      "  XDG_MUSIC_DIR=\"/srv/m\\\"x\"\r\n"
      "XDG_VIDEOS_DIR=\"relative\"\n"
      "OTHER=\"/x\"\n",
      "/home/u");
  EXPECT_EQ(dirs.size(), 2u);
  EXPECT_EQ(dirs.at("XDG_DESKTOP_DIR"), "/home/u/Schreibtisch");
  EXPECT_EQ(dirs.at("XDG_MUSIC_DIR"), "/srv/m\"x");
  // A folder that does not exist falls back to home and is not listed.
  const TShellLocations places = ShellLocationsFrom(Fake.Files, Home, dirs);
  EXPECT_EQ(places.Desktop, Home);
  EXPECT_TRUE(places.UserFolders.empty());
  EXPECT_EQ(Locations.Desktop, Home + "/Desktop");
  EXPECT_EQ(Locations.UserFolders, std::vector<std::string>{Home + "/Documents"});
}

class ShellTreeHiddenTest : public ShellTreeTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ShellTreeHiddenTest, ShowsFoldersSortedWithoutCaseAndHiddenOnesOnlyWhenAsked) {
  const bool hidden = GetParam();
  auto tree = MakeTree(TSpecialFolders::sfPersonal, hidden);
  QAbstractItemModelTester tester(&tree->Model(),
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  const QModelIndex root = tree->Model().RootIndex();
  EXPECT_EQ(root.data().toString(), "Documents");
  EXPECT_EQ(tree->SelectedPath(), Docs);  // the root is selected at start
  const QStringList captions = Captions(tree->Model(), root);
  EXPECT_EQ(captions.contains(".secret"), hidden);
  EXPECT_FALSE(captions.contains("notes.txt"));  // the tree holds folders only
  EXPECT_LT(captions.indexOf("alpha"), captions.indexOf("Beta"));
  EXPECT_LT(captions.indexOf("Beta"), captions.indexOf("Zulu"));
  EXPECT_TRUE(captions.contains("loop") && captions.contains("side"));
}

INSTANTIATE_TEST_SUITE_P(Hidden, ShellTreeHiddenTest, ::testing::Bool());

TEST_F(ShellTreeTest, ShowsLinksIntoLoopsButNeverEntersThem) {
  auto tree = MakeTree(TSpecialFolders::sfPersonal, false);
  TShellTreeModel& model = tree->Model();
  const QModelIndex root = model.RootIndex();
  for (const char* name : {"loop", "up"}) {
    const QModelIndex link = ChildCaptioned(model, root, name);
    ASSERT_TRUE(link.isValid()) << name;
    EXPECT_TRUE(model.ItemAt(link)->Data.IsLoop) << name;
    EXPECT_FALSE(model.hasChildren(link)) << name;
    tree->expand(link);
    EXPECT_TRUE(Settled(*tree));
    EXPECT_EQ(model.rowCount(link), 0) << name;
  }
  // A link to a sibling is entered; a link inside it back to the root is a
  // loop again, through the link's real place.
  std::filesystem::create_directory_symlink("../..", Docs + "/Zulu/inner/back");
  const QModelIndex side = ChildCaptioned(model, root, "side");
  EXPECT_FALSE(model.ItemAt(side)->Data.IsLoop);
  tree->expand(side);
  ASSERT_TRUE(Settled(*tree));
  const QModelIndex inner = ChildCaptioned(model, side, "inner");
  ASSERT_TRUE(inner.isValid());
  tree->expand(inner);
  ASSERT_TRUE(Settled(*tree));
  const QModelIndex back = ChildCaptioned(model, inner, "back");
  ASSERT_TRUE(back.isValid());
  EXPECT_TRUE(model.ItemAt(back)->Data.IsLoop);
}

TEST_F(ShellTreeTest, KeepsTheBytesOfANameThatIsNotUtf8) {
  auto tree = MakeTree(TSpecialFolders::sfPersonal, false);
  const QModelIndex bad = ChildCaptioned(tree->Model(), tree->Model().RootIndex(),
                                         QString::fromUtf8("bad\xEF\xBF\xBD"));
  ASSERT_TRUE(bad.isValid());
  EXPECT_EQ(bad.data(ShellRole::Path).toByteArray().toStdString(), Docs + "/bad\xff");
  EXPECT_EQ(bad.data(Qt::ToolTipRole).toString(), DisplayText(Docs + "/bad\xff"));
  tree->setCurrentIndex(bad);
  EXPECT_EQ(tree->SelectedPath(), Docs + "/bad\xff");
}

class ShellListTest : public ShellTreeTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ShellListTest, FillsTheListWithTheSelectedFolderAndPathsAndFolderFlags) {
  const bool fileSystemOnly = GetParam();
  auto tree = MakeTree(TSpecialFolders::sfPersonal, false);
  TShellListView list(*Shell);
  QAbstractItemModelTester tester(&list.Model(),
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  list.Model().Less = [](const TShellItem& a, const TShellItem& b) {
    return a.Data.IsFolder != b.Data.IsFolder ? a.Data.IsFolder : a.Caption < b.Caption;
  };
  tree->SetFileSystemOnly(fileSystemOnly);
  tree->SetListView(&list);
  const QModelIndex zulu = ChildCaptioned(tree->Model(), tree->Model().RootIndex(), "Zulu");
  tree->setCurrentIndex(zulu);
  ASSERT_TRUE(Settled(list));
  // Without FileSystemOnly only folders pass, as in the shell.
  ASSERT_EQ(list.Model().Count(), fileSystemOnly ? 2 : 1);
  EXPECT_EQ(list.Model().Item(0).Caption, "inner");
  EXPECT_TRUE(list.Model().Item(0).Data.IsFolder);
  EXPECT_EQ(list.Model().Item(0).Data.Path, Docs + "/Zulu/inner");
  if (fileSystemOnly) {
    EXPECT_EQ(list.Model().Item(1).Data.Path, Docs + "/Zulu/z.txt");
    EXPECT_FALSE(list.Model().Item(1).Data.IsFolder);
  }
}

INSTANTIATE_TEST_SUITE_P(FileSystemOnly, ShellListTest, ::testing::Bool());

TEST_F(ShellTreeTest, ReadsALargeFolderInBatchesWhileTheDialogRuns) {
  const std::string big = Fake.Root() + "big";
  MakeFolders(big);
  // Enough for several batches; files are slow to make on some disks.
  constexpr int kFiles = 2'000;
  for (int i = 0; i < kFiles; ++i) std::ofstream(big + "/f" + std::to_string(i) + ".dat");
  TShellListView list(*Shell);
  list.Model().FileSystemOnly = true;
  QSignalSpy batches(&list.Model(), &QAbstractItemModel::rowsInserted);
  TShellItem folder;
  folder.Data.Path = big;
  folder.Data.IsFolder = true;
  list.Model().Fill(folder);
  // Fill returns at once: the entries come later, from the reader's thread.
  EXPECT_TRUE(list.Model().Busy());
  EXPECT_EQ(list.Model().Count(), 0);
  ASSERT_TRUE(Settled(list));
  EXPECT_EQ(list.Model().Count(), kFiles);
  EXPECT_GE(batches.count(), kFiles / static_cast<int>(TFolderReader::kBatchSize));
}

TEST_F(ShellTreeTest, OpensComputerOnTheDesktopWithTheRemovableMediaBelowIt) {
  Fake.AddDrive("usb", TDriveType::Removable, false, "STICK");
  Fake.AddDrive("disk", TDriveType::Fixed);
  MakeFolders(Home + "/Desktop/Projects");
  auto tree = MakeTree(TSpecialFolders::sfDesktop, false);
  TShellTreeModel& model = tree->Model();
  const QModelIndex root = model.RootIndex();
  EXPECT_EQ(root.data().toString(), "Desktop");
  EXPECT_EQ(model.ItemAt(root)->Data.Path, Home + "/Desktop");
  EXPECT_EQ(Captions(model, root), QStringList({"Home", "Documents", "Computer", "Projects"}));
  const TShellItem* selected = tree->SelectedItem();
  ASSERT_NE(selected, nullptr);
  EXPECT_EQ(selected->Caption, "Computer");
  EXPECT_EQ(selected->Data.Path, kNotFileSystem);
  EXPECT_EQ(tree->SelectedPath(), "");  // outside the file system
  EXPECT_TRUE(tree->isExpanded(tree->currentIndex()));
  EXPECT_EQ(Captions(model, tree->currentIndex()), QStringList({"File System", "STICK"}));
}

TEST_F(ShellTreeTest, ReadsARemovableMediumAfreshOnEveryExpand) {
  TFakeDrive& drive = Fake.AddDrive("usb", TDriveType::Removable, false, "STICK");
  MakeFolders(drive.MountPoint + "one");
  auto tree = MakeTree(TSpecialFolders::sfDrives, false);
  TShellTreeModel& model = tree->Model();
  const QModelIndex stick = ChildCaptioned(model, model.RootIndex(), "STICK");
  ASSERT_TRUE(stick.isValid());
  EXPECT_TRUE(model.ItemAt(stick)->Data.IsRemovable);
  tree->expand(stick);
  ASSERT_TRUE(Settled(*tree));
  EXPECT_EQ(Captions(model, stick), QStringList({"one"}));
  MakeFolders(drive.MountPoint + "two");
  tree->collapse(stick);
  EXPECT_EQ(model.rowCount(stick), 0);
  EXPECT_TRUE(model.hasChildren(stick));
  tree->expand(stick);
  ASSERT_TRUE(Settled(*tree));
  EXPECT_EQ(Captions(model, stick), QStringList({"one", "two"}));
}

TEST_F(ShellTreeTest, ReportsPressesOnItemsAndDoubleClicksOnEmptySpace) {
  auto tree = MakeTree(TSpecialFolders::sfPersonal, false);
  tree->resize(300, 400);
  tree->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(tree.get()));
  QSignalSpy presses(tree.get(), &TShellTree::ItemMouseDown);
  QSignalSpy empty(tree.get(), &TShellTree::EmptySpaceDoubleClicked);
  const QModelIndex beta = ChildCaptioned(tree->Model(), tree->Model().RootIndex(), "Beta");
  ClickRow(*tree, beta);
  ASSERT_EQ(presses.count(), 1);
  EXPECT_EQ(presses[0][0].toModelIndex(), beta);
  EXPECT_EQ(tree->SelectedPath(), Docs + "/Beta");
  const QRect rect = tree->visualRect(beta);
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {},
                     QPoint(rect.left() + 24, rect.center().y()));
  EXPECT_EQ(empty.count(), 0);
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {},
                     QPoint(rect.right() - 5, rect.center().y()));
  EXPECT_EQ(empty.count(), 1);  // right of the caption
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {},
                     QPoint(20, tree->viewport()->height() - 5));
  EXPECT_EQ(empty.count(), 2);  // below the last item
}

}  // namespace
}  // namespace vz
