// The folder model and the list model over a snapshot: Qt's model checks,
// the list's order and cells, the ratio rule, and the filter.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QTemporaryDir>

#include "app/FileListModel.h"
#include "app/FolderModel.h"

namespace vz {
namespace {

TMemberSource Member(std::string directory, std::string file, u32 size = 100, u32 packed = 50,
                     bool encrypted = false) {
  return {std::move(directory), std::move(file), 45000.25, packed, size, encrypted, true, 1};
}

std::shared_ptr<const TArchiveTree> Sample() {
  return TArchiveTree::Build({Member("", "b.txt"), Member("", "A.txt", 100, 0),
                              Member("zeta/", "z.txt"), Member("Alpha/", "q.txt", 10, 4, true),
                              Member("", "C.TXT", 5000, 22), Member("C:/x/", "d.txt")});
}

TEST(Models, PassQtsModelChecks) {
  TFolderModel folders;
  TFileListModel files;
  QAbstractItemModelTester folderCheck(&folders,
                                       QAbstractItemModelTester::FailureReportingMode::Fatal);
  QAbstractItemModelTester fileCheck(&files, QAbstractItemModelTester::FailureReportingMode::Fatal);
  const auto tree = Sample();
  folders.SetTree(tree);
  files.SetTree(tree);
  files.SetColumns(true);
  for (int node : tree->PreOrder()) {
    folders.SetSelectedNode(node);
    files.Fill(node);
  }
  files.Fill(tree->Roots().back());
  files.SetFilter(QStringLiteral("*.txt"));
  files.SetFilter(QStringLiteral("zz"));
  files.SetFilter(QString());
  files.SetColumns(false);
  files.ClearColumns();
  files.Clear();
  folders.SetTree(nullptr);
  files.SetTree(nullptr);
  EXPECT_EQ(folders.rowCount(), 0);
}

// The root of Sample(): its folder first, captions case-blind.
TEST(Models, ListsFoldersFirstThenCaptions) {
  const auto tree = Sample();
  TFileListModel files;
  files.SetTree(tree);
  files.SetColumns(false);
  files.Fill(tree->FindCaption(QString::fromLatin1(kDestinationFolder)));
  QStringList captions;
  for (int row = 0; row < files.rowCount(); ++row) captions << files.Caption(row);
  EXPECT_EQ(captions, (QStringList{"Alpha", "zeta", "A.txt", "b.txt", "C.TXT"}));
  EXPECT_LT(lvFilesCompare(*tree, files.RowAt(1), files.RowAt(2)), 0);
  EXPECT_GT(lvFilesCompare(*tree, files.RowAt(4), files.RowAt(0)), 0);
  EXPECT_EQ(lvFilesCompare(*tree, files.RowAt(3), files.RowAt(3)), 0);
}

TEST(Models, CellsOfFileAndFolderRows) {
  const auto tree = Sample();
  TFileListModel files;
  files.SetTree(tree);
  files.SetColumns(false);
  files.Fill(tree->FindCaption(QStringLiteral("Alpha")));
  ASSERT_EQ(files.rowCount(), 1);
  const auto cell = [&](int column, int role = Qt::DisplayRole) {
    return files.data(files.index(0, column), role);
  };
  EXPECT_EQ(cell(0).toString(), "q.txt");
  EXPECT_EQ(cell(2).toString(), "10");
  EXPECT_EQ(cell(3).toString(), "4");
  EXPECT_EQ(cell(4).toString(), "2.5 :1");
  EXPECT_EQ(cell(0, TFileListModel::FullNameRole).toString(), "Alpha/q.txt");
  EXPECT_EQ(cell(0, TFileListModel::StateImageRole).toInt(), 0);
  EXPECT_TRUE(files.HasStateImages());
  EXPECT_FALSE(cell(1).toString().isEmpty());  // Modified
  EXPECT_EQ(files.headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), "Ratio");

  files.Fill(tree->Roots().back());
  EXPECT_TRUE(files.data(files.index(0, 0), TFileListModel::IsFolderRole).toBool());
  EXPECT_TRUE(files.data(files.index(0, 2)).toString().isEmpty());
  EXPECT_TRUE(files.data(files.index(0, 0), TFileListModel::FullNameRole).toString().isEmpty());
  // A.txt was stored in 0 bytes: no ratio, though the rows around it have one.
  EXPECT_EQ(files.data(files.index(2, 4)).toString(), "");
  EXPECT_EQ(files.data(files.index(3, 4)).toString(), "2 :1");
}

TEST(Models, ColumnsWithAndWithoutType) {
  TFileListModel files;
  files.SetColumns(true);
  QStringList headers;
  for (int c = 0; c < files.columnCount(); ++c) {
    headers << files.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  }
  EXPECT_EQ(headers, (QStringList{"Name", "Type", "Modified", "Size", "Compressed", "Ratio"}));
  files.ClearColumns();
  EXPECT_EQ(files.columnCount(), 0);
}

struct TRatioCase {
  u32 Uncompressed, Compressed;
  const char* Text;
};
class RatioRule : public ::testing::TestWithParam<TRatioCase> {};

TEST_P(RatioRule, HashPointHashHashColonOne) {
  EXPECT_EQ(RatioText(GetParam().Uncompressed, GetParam().Compressed, {",", "."}).toStdString(),
            GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RatioRule,
                         ::testing::Values(TRatioCase{100, 50, "2 :1"}, TRatioCase{3, 2, "1.5 :1"},
                                           TRatioCase{5000, 22, "227.27 :1"},
                                           TRatioCase{15, 17, ".88 :1"},
                                           TRatioCase{1000, 1, "1000 :1"}, TRatioCase{0, 10, ""},
                                           TRatioCase{10, 0, ""}));

TEST(Models, DecimalSeparatorOfTheUser) {
  EXPECT_EQ(RatioText(3, 2, {".", ","}), "1,5 :1");
}

TEST(Models, FilterNarrowsByPartOrPatternIgnoringCase) {
  const auto tree = Sample();
  TFileListModel files;
  files.SetTree(tree);
  files.SetColumns(false);
  files.Fill(tree->Roots().back());
  const auto captions = [&] {
    QStringList list;
    for (int row = 0; row < files.rowCount(); ++row) list << files.Caption(row);
    return list;
  };
  files.SetFilter(QStringLiteral("A"));
  EXPECT_EQ(captions(), (QStringList{"Alpha", "zeta", "A.txt"}));
  files.SetFilter(QStringLiteral("?.TXT"));
  EXPECT_EQ(captions(), (QStringList{"A.txt", "b.txt", "C.TXT"}));
  files.SetFilter(QStringLiteral("*ph*"));
  EXPECT_EQ(captions(), (QStringList{"Alpha"}));
  files.SetFilter(QString());
  EXPECT_EQ(files.rowCount(), 5);
}

// With a folder-archive record the files are looked up where they came from.
TEST(Models, FolderArchiveLayoutAsksTheDisk) {
  QTemporaryDir root;
  QFile file(root.filePath(QStringLiteral("zeta/z.txt")));
  ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("zeta")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("text");
  file.close();
  const auto tree = Sample();
  TFileListModel files;
  files.SetTree(tree);
  files.SetColumns(true);
  files.Fill(tree->FindCaption(QStringLiteral("zeta")), root.path() + QLatin1Char('/'));
  EXPECT_EQ(files.Caption(0), "z.txt");  // the name on disk, not a proper-cased one
  EXPECT_FALSE(files.data(files.index(0, 1)).toString().isEmpty());
  files.Fill(tree->FindCaption(QStringLiteral("Alpha")), root.path() + QLatin1Char('/'));
  EXPECT_EQ(files.Caption(0), "q.txt");  // not on disk
  EXPECT_TRUE(files.data(files.index(0, 1)).toString().isEmpty());
}

}  // namespace
}  // namespace vz
