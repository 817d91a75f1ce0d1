#include "engine/support/DirSearch.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include "engine/support/PathUtils.h"
#include "platform/Errors.h"
#include "platform/fake/FakePlatform.h"
#include "tests/support/ScriptedHost.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

class DirSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Root = Fake.Root() + "src/";
    for (const char* f : {"a.c", "z.c", "readme", "notes.txt", "sub/b.c", "sub/deep/c.c",
                          "sub/deep/d.h", ".hidden/e.c", "other/logs/x.log", "more/logs/y.log",
                          "more/nologs/z.log"}) {
      const std::string path = Root + f;
      test::MakeFolders(ExtractFilePath(path));
      test::WriteFileText(path, f);
    }
  }

  std::vector<std::string> All(const std::string& start, bool recurse, const std::string& mask) {
    TDirSearch search(Fake.Files, start, recurse, mask);
    std::vector<std::string> found;
    while (auto f = search.Next()) found.push_back(f->Path.substr(Root.size()));
    return found;
  }

  // The oracle: a depth-first walk over the platform's own listing order.
  void Walk(const std::string& folder, const std::string& rel, std::vector<std::string>& out,
            const std::string& ext) {
    std::vector<TDirEntry> entries;
    Fake.Files.ListFolder(folder, entries);
    for (const auto& e : entries) {
      if (e.Info.IsDirectory) {
        if (e.Name[0] != '.') Walk(folder + e.Name + "/", rel + e.Name + "/", out, ext);
      } else if (ExtractFileExt(e.Name) == ext) {
        out.push_back(rel + e.Name);
      }
    }
  }

  test::TScriptedHost Host;
  TFakePlatform Fake{Host};
  std::string Root;
};

TEST_F(DirSearchTest, RecursionIsDepthFirstInListingOrder) {
  std::vector<std::string> expected;
  Walk(Root, "", expected, ".c");
  EXPECT_EQ(All(Root, true, "*.c"), expected);
  EXPECT_EQ(expected.size(), 4u);  // a.c z.c sub/b.c sub/deep/c.c; not .hidden/e.c
}

TEST_F(DirSearchTest, WithoutRecursionOnlyTheStartFolder) {
  auto found = All(Root, false, "*.c");
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"a.c", "z.c"}));
}

TEST_F(DirSearchTest, StarDotStarCoversNamesWithoutAnExtension) {
  auto found = All(Root, false, "*.*");
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"a.c", "notes.txt", "readme", "z.c"}));
}

TEST_F(DirSearchTest, FolderPatternsChooseSubfolders) {
  auto found = All(Root + "*/logs/", false, "*.log");
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"more/logs/y.log", "other/logs/x.log"}));
  EXPECT_TRUE(All(Root + "nothing*/", true, "*").empty());
}

TEST_F(DirSearchTest, MissingFolderYieldsNothing) {
  EXPECT_TRUE(All(Root + "missing/", true, "*.*").empty());
}

TEST_F(DirSearchTest, AnyDepthIsSearchedButLinkedFoldersAreNotFollowed) {
  std::string deep = Root + "chain/";
  for (int i = 0; i < 25; ++i) deep += "l" + std::to_string(i) + "/";
  test::MakeFolders(deep);
  test::WriteFileText(deep + "bottom.c", "x");
  // A link back to the top would repeat the tree at every level.
  ASSERT_EQ(::symlink(Root.c_str(), (Root + "sub/loop").c_str()), 0);
  const auto found = All(Root, true, "*.c");
  EXPECT_EQ(std::count(found.begin(), found.end(), "a.c"), 1);
  EXPECT_EQ(std::count_if(found.begin(), found.end(),
                          [](const std::string& f) { return f.ends_with("l24/bottom.c"); }),
            1);
}

TEST(PathUtils, SplittingNames) {
  EXPECT_EQ(ExtractFilePath("/a/b/c.txt"), "/a/b/");
  EXPECT_EQ(ExtractFileName("/a/b/c.txt"), "c.txt");
  EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
  EXPECT_EQ(ExtractFileExt("x.tar.gz"), ".gz");
  EXPECT_EQ(ChangeFileExt("/d/archive.zip", ".exe"), "/d/archive.exe");
  EXPECT_EQ(ChangeFileExt("/d/archive", ".001"), "/d/archive.001");
  EXPECT_EQ(ExcludeTrailingSlash("/"), "/");
  EXPECT_EQ(ExcludeTrailingSlash("/a/"), "/a");
  EXPECT_EQ(ExtractDrive("C:/data/x"), "C:");
  EXPECT_EQ(ExtractDrive("//server/share/x"), "//server/share");
  EXPECT_EQ(ExtractDrive("/data/x"), "");
}

TEST(PathUtils, ForceDirectoriesMakesEveryLevel) {
  test::TScriptedHost host;
  TFakePlatform fake(host);
  ForceDirectories(fake.Files, fake.Root() + "x/y/z/");
  EXPECT_TRUE(fake.Files.Stat(fake.Root() + "x/y/z")->IsDirectory);
  ForceDirectories(fake.Files, fake.Root() + "x/y/z");  // already there
  try {
    ForceDirectories(fake.Files, "");
    FAIL();
  } catch (const EVarnelError& e) {
    EXPECT_STREQ(e.what(), "Unable to create directory");
  }
  test::WriteFileText(fake.Root() + "file", "x");
  EXPECT_THROW(ForceDirectories(fake.Files, fake.Root() + "file/sub"), EInOutError);
}

}  // namespace
}  // namespace vz
