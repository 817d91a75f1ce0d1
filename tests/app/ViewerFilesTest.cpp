// Viewing's files: which members go to the text pane, the names members get
// on disk, the private folder (its mode, one folder per member) and its
// removal, which never follows a link out of it.
#include "app/core/ViewerFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/FileHelpers.h"
#include "tests/app/AppFixture.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

struct TTextCase {
  const char* Name;
  bool Text;
};

class TextMember : public ::testing::TestWithParam<TTextCase> {};

TEST_P(TextMember, FollowsTheExtensionRule) {
  EXPECT_EQ(IsTextMember(GetParam().Name), GetParam().Text) << GetParam().Name;
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, TextMember,
    ::testing::Values(TTextCase{"notes.ini", true}, TTextCase{"README", true},
                      TTextCase{"docs/Makefile", true}, TTextCase{"setup.in", true},
                      TTextCase{"FILE_ID.DIZ", true}, TTextCase{"read.me", true},
                      TTextCase{"photo.bmp", false}, TTextCase{"report.doc", false},
                      TTextCase{"archive.tar.gz", false}, TTextCase{"notes.txt/photo.bmp", false},
                      TTextCase{"photos.v1/readme", true}, TTextCase{"a.t", true},
                      TTextCase{"script.sh", false}, TTextCase{".profile", false}));

struct TNameCase {
  std::string Stored;
  std::string Safe;
};

class SafeName : public ::testing::TestWithParam<TNameCase> {};

TEST_P(SafeName, KeepsTheFileNameAndNothingElse) {
  EXPECT_EQ(SafeFileName(GetParam().Stored), GetParam().Safe);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SafeName,
    ::testing::Values(TNameCase{"docs/photo.bmp", "photo.bmp"},
                      TNameCase{"C:\\dos\\a.exe", "a.exe"}, TNameCase{"Grüße.odt", "Grüße.odt"},
                      TNameCase{"a\x01\x1f\x7f.txt", "a___.txt"},
                      TNameCase{"bad\xff\xfe.png", "bad__.png"}, TNameCase{"dir/", "member"},
                      TNameCase{"..", "member"}, TNameCase{"x/.", "member"},
                      TNameCase{"-rf", "-rf"},
                      TNameCase{std::string(300, 'a') + ".jpeg", std::string(250, 'a') + ".jpeg"},
                      // never half a character
                      TNameCase{std::string(254, 'a') + "\xc3\xa4" + std::string(50, 'b'),
                                std::string(254, 'a')}));

class ViewerFilesTest : public test::AppFixture {
 protected:
  static u32 ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
  }
};

TEST_F(ViewerFilesTest, EachMemberGetsAPrivateFolderOfItsOwn) {
  ::umask(0);  // the laxest mask still leaves nothing open to others
  TViewerFolder viewing(App);
  EXPECT_TRUE(viewing.Root().empty());
  std::string first;
  std::string second;
  int error = 0;
  auto one = viewing.NewMemberFolder(first, error);
  auto two = viewing.NewMemberFolder(second, error);
  ::umask(022);
  ASSERT_TRUE(one && two) << error;
  const std::string root = viewing.Root();
  EXPECT_EQ(FolderOf(root.substr(0, root.size() - 1)), Fake.Files.TempFolder());
  EXPECT_TRUE(FileNameOf(root.substr(0, root.size() - 1)).starts_with(kViewerFolderPrefix));
  EXPECT_NE(first, second);
  EXPECT_TRUE(first.starts_with(root) && second.starts_with(root));
  EXPECT_EQ(ModeOf(root), 0700u);
  EXPECT_EQ(ModeOf(first), 0700u);
  EXPECT_EQ(ModeOf(second), 0700u);
  // Two members of one name from different stored folders.
  one->CreateNew("a.txt");
  two->CreateNew("a.txt");
  EXPECT_TRUE(test::FileExists(first + "a.txt"));
  EXPECT_TRUE(test::FileExists(second + "a.txt"));
}

TEST_F(ViewerFilesTest, APlantedNameIsNeverTaken) {
  // Every name the random bytes give first is already there, as a link.
  const u32 state = Fake.Random.State;
  TViewerFolder probe(App);
  std::string member;
  int error = 0;
  ASSERT_TRUE(probe.NewMemberFolder(member, error));
  const std::string taken = probe.Root().substr(0, probe.Root().size() - 1);
  std::filesystem::remove_all(taken);
  std::filesystem::create_directory_symlink(Path("elsewhere"), taken);
  Fake.Random.State = state;
  TViewerFolder viewing(App);
  ASSERT_TRUE(viewing.NewMemberFolder(member, error));
  EXPECT_NE(viewing.Root(), probe.Root());
  EXPECT_FALSE(std::filesystem::exists(Path("elsewhere")));
}

TEST_F(ViewerFilesTest, RemovingAViewedFileTakesItsFolderButFollowsNoLink) {
  TViewerFolder viewing(App);
  std::string first;
  std::string second;
  int error = 0;
  ASSERT_TRUE(viewing.NewMemberFolder(first, error));
  ASSERT_TRUE(viewing.NewMemberFolder(second, error));
  test::WriteFileText(first + "photo.bmp", "x");
  test::WriteFileText(first + "photo.bmp~", "editor's backup");
  test::MakeFolders(first + ".cache/deeper");
  test::MakeFolders(Path("outside"));
  test::WriteFileText(Path("outside/keep.txt"), "keep");
  std::filesystem::create_directory_symlink(Path("outside"), first + "link");
  test::WriteFileText(second + "other.bmp", "y");

  EXPECT_TRUE(RemoveViewedFile(Fake.Files, first + "photo.bmp"));
  EXPECT_FALSE(std::filesystem::exists(first));
  EXPECT_TRUE(test::FileExists(Path("outside/keep.txt")));
  EXPECT_TRUE(std::filesystem::exists(viewing.Root()));  // the other member is still there

  EXPECT_TRUE(RemoveViewedFile(Fake.Files, second + "other.bmp"));
  EXPECT_FALSE(std::filesystem::exists(viewing.Root()));
}

TEST_F(ViewerFilesTest, AFileOutsideTheLayoutIsDeletedAlone) {
  test::MakeFolders(Path("tmp/7"));
  test::WriteFileText(Path("tmp/7/a.txt"), "a");
  test::WriteFileText(Path("tmp/7/b.txt"), "b");
  EXPECT_TRUE(RemoveViewedFile(Fake.Files, Path("tmp/7/a.txt")));
  EXPECT_FALSE(test::FileExists(Path("tmp/7/a.txt")));
  EXPECT_TRUE(test::FileExists(Path("tmp/7/b.txt")));
  EXPECT_TRUE(RemoveViewedFile(Fake.Files, Path("tmp/7/missing.txt")));
}

TEST_F(ViewerFilesTest, TheViewerGetsThePathAsItsOneArgument) {
  const TCommand command = ViewerCommand("/usr/bin/xdg-open", "/tmp/x/1/a b;$(rm).bmp");
  EXPECT_EQ(command.Program, "/usr/bin/xdg-open");
  EXPECT_EQ(command.Arguments, std::vector<std::string>{"/tmp/x/1/a b;$(rm).bmp"});
}

}  // namespace
}  // namespace vz
