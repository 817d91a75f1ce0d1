// The folder tree built from stored paths: roots, drive and share parts by
// made-by host, one node per distinct folder, deep paths without recursion,
// and the collation order of captions.
#include <gtest/gtest.h>

#include "app/ArchiveTree.h"

namespace vz {
namespace {

TMemberSource Dos(std::string directory, std::string file = "f.txt") {
  return {std::move(directory), std::move(file), 45000.5, 10, 20, false, true, 1};
}
TMemberSource Unix(std::string directory, std::string file = "f.txt") {
  TMemberSource m = Dos(std::move(directory), std::move(file));
  m.DosHost = false;
  return m;
}

// The tree in order, one line per node: indent, caption, [folder path].
std::string Outline(const TArchiveTree& tree) {
  std::string text;
  for (int node : tree.PreOrder()) {
    int depth = 0;
    for (int p = tree.Node(node).Parent; p >= 0; p = tree.Node(p).Parent) ++depth;
    text += std::string(static_cast<std::size_t>(depth), ' ') +
            tree.Node(node).Caption.toStdString() + " [" + tree.FolderPath(node) + "]\n";
  }
  return text;
}

struct TTreeCase {
  const char* Name;
  std::vector<TMemberSource> Members;
  const char* Expected;
};

class TreeShape : public ::testing::TestWithParam<TTreeCase> {};

TEST_P(TreeShape, FollowsTheStoredPaths) {
  const auto tree = TArchiveTree::Build(GetParam().Members);
  EXPECT_EQ(Outline(*tree), GetParam().Expected);
  for (int m = 0; m < tree->MemberCount(); ++m) {
    const TMemberSource& source = GetParam().Members[static_cast<std::size_t>(m)];
    EXPECT_EQ(tree->FullName(m), source.Directory + source.Filename);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, TreeShape,
    ::testing::Values(TTreeCase{"NoPaths", {Dos(""), Dos("", "g.txt")}, "Destination Folder []\n"},
                      TTreeCase{
                          "Plain",
                          {Dos("docs/old/"), Dos("DOCS/"), Dos("src/")},
                          "Destination Folder []\n docs [docs/]\n  old [docs/old/]\n DOCS [DOCS/]\n"
                          " src [src/]\n"},
                      TTreeCase{"Drive",
                                {Dos("C:/A/B/"), Dos("C:/A/C/")},
                                "Computer [NotFileSystem]\n C: [C:/]\n  A [C:/A/]\n   B [C:/A/B/]\n"
                                "   C [C:/A/C/]\n"},
                      TTreeCase{"Network",
                                {Dos("//srv/share/x/")},
                                "Network [NotFileSystem]\n srv [//srv/]\n  share [//srv/share/]\n"
                                "   x [//srv/share/x/]\n"},
                      TTreeCase{"Mixed",
                                {Dos("d:/work/"), Dos("//host/pub/"), Dos("notes/"), Dos("")},
                                "Computer [NotFileSystem]\n d: [d:/]\n  work [d:/work/]\n"
                                "Network [NotFileSystem]\n host [//host/]\n  pub [//host/pub/]\n"
                                "Destination Folder []\n notes [notes/]\n"},
                      // Made on Unix: "C:" is a folder name, "\" an ordinary character.
                      TTreeCase{"UnixMade",
                                {Unix("C:/x/"), Unix("//srv/share/"), Unix("", "a\\b.txt")},
                                "Destination Folder []\n  [/]\n   [//]\n   srv [//srv/]\n"
                                "    share [//srv/share/]\n C: [C:/]\n  x [C:/x/]\n"},
                      TTreeCase{"DriveWithoutSlash",
                                {Dos("C:"), Dos("C:/y/")},
                                "Computer [NotFileSystem]\n C: [C:]\n C: [C:/]\n  y [C:/y/]\n"}),
    [](const auto& test) { return std::string(test.param.Name); });

TEST(ArchiveTree, MembersListedUnderTheirFolderOnly) {
  const auto tree = TArchiveTree::Build({Dos("a/", "x.txt"), Dos("a/", ""), Dos("", "r.txt")});
  const int a = tree->FindCaption(QStringLiteral("a"));
  ASSERT_GE(a, 0);
  EXPECT_EQ(tree->Node(a).Members, std::vector<int>{0});  // the folder entry has no row
  EXPECT_EQ(tree->Node(tree->Roots()[0]).Members, std::vector<int>{2});
  EXPECT_TRUE(tree->HasStoredPaths());
}

TEST(ArchiveTree, MultiDiskWhenAnyMemberIsOnALaterDisk) {
  auto second = Dos("");
  EXPECT_FALSE(TArchiveTree::Build({second})->IsMultiDisk());
  second.DiskNo = 2;
  EXPECT_TRUE(TArchiveTree::Build({Dos(""), second})->IsMultiDisk());
}

TEST(ArchiveTree, TwentyThousandLevelsBuildWithoutRecursion) {
  std::string path;
  for (int i = 0; i < 20000; ++i) path += "d/";
  const auto tree = TArchiveTree::Build({Dos(path), Dos("d/e/")});
  EXPECT_EQ(tree->NodeCount(), 20002);
  EXPECT_EQ(static_cast<int>(tree->PreOrder().size()), tree->NodeCount());
  EXPECT_EQ(tree->FolderPath(tree->Member(0).Node), path);
  EXPECT_EQ(tree->FindCaption(QStringLiteral("e")), tree->Member(1).Node);
}

TEST(ArchiveTree, DrivePartsComeOnlyFromDosHosts) {
  EXPECT_EQ(DrivePartOf("C:/x/", true), TDrivePart::Drive);
  EXPECT_EQ(DrivePartOf("C:/x/", false), TDrivePart::None);
  EXPECT_EQ(DrivePartOf("//s/h/", true), TDrivePart::Network);
  EXPECT_EQ(DrivePartOf("//s/", true), TDrivePart::None);   // no share
  EXPECT_EQ(DrivePartOf("///h/", true), TDrivePart::None);  // no server
  EXPECT_EQ(DrivePartOf("1:/x/", true), TDrivePart::None);
}

TEST(ArchiveTree, ChildrenAndMembersInCaseBlindOrder) {
  const auto tree = TArchiveTree::Build(
      {Dos("", "b.txt"), Dos("", "A.txt"), Dos("zeta/"), Dos("Alpha/"), Dos("", "c.TXT")});
  const TFolderNode& root = tree->Node(tree->Roots()[0]);
  std::vector<std::string> names;
  for (int child : root.Children) names.push_back(tree->Node(child).Caption.toStdString());
  for (int member : root.Members) names.push_back(tree->Member(member).Filename);
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "zeta", "A.txt", "b.txt", "c.TXT"}));
}

TEST(CollationRanks, IgnoreCaseAndKeepTiesInOrder) {
  const std::vector<QString> captions{"b", "A", "a", "C", "B"};
  EXPECT_EQ(CollationRanks(captions), (std::vector<int>{2, 0, 1, 4, 3}));
}

}  // namespace
}  // namespace vz
