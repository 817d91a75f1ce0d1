// One contract, run against the real file system and the fake, so the fake
// cannot drift from what tests rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Errors.h"
#include "platform/fake/FakePlatform.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/ScriptedHost.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

// Both fixtures work below a scratch folder of the fake platform (which
// removes it afterwards); only the file-system object differs.
struct TPosixSubject {
  TPosixFileSystem Files;
  IFileSystem& Get(TFakePlatform&) { return Files; }
};
struct TFakeSubject {
  IFileSystem& Get(TFakePlatform& fake) { return fake.Files; }
};

template <typename T>
class FileSystemContract : public ::testing::Test {
 protected:
  test::TScriptedHost Host;
  TFakePlatform Fake{Host};
  T Subject;
  IFileSystem& Fs() { return Subject.Get(Fake); }
  std::string Path(const std::string& name) { return Fake.Root() + name; }
};

using Subjects = ::testing::Types<TPosixSubject, TFakeSubject>;
TYPED_TEST_SUITE(FileSystemContract, Subjects);

std::vector<u8> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TYPED_TEST(FileSystemContract, CreateWriteSeekRead) {
  auto& fs = this->Fs();
  const std::string path = this->Path("a.bin");
  {
    auto file = fs.Open(path, TOpenMode::Create);
    const auto data = Bytes("hello, world");
    EXPECT_EQ(file->Write(data), data.size());
    EXPECT_EQ(file->Size(), 12);
    EXPECT_EQ(file->Seek(7, TSeekOrigin::Begin), 7);
    EXPECT_EQ(file->Write(Bytes("W")), 1u);
    EXPECT_EQ(file->Seek(-5, TSeekOrigin::End), 7);
  }
  auto file = fs.Open(path, TOpenMode::ReadDenyWrite);
  std::vector<u8> buffer(64);
  EXPECT_EQ(file->Read(buffer), 12u);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 12), "hello, World");
  EXPECT_EQ(file->Read(buffer), 0u);
}

TYPED_TEST(FileSystemContract, CreateTruncatesAnExistingFile) {
  auto& fs = this->Fs();
  const std::string path = this->Path("t.bin");
  test::WriteFileText(path, "0123456789");
  fs.Open(path, TOpenMode::Create);
  EXPECT_EQ(fs.Stat(path)->Size, 0);
}

TYPED_TEST(FileSystemContract, OpeningAMissingFileThrowsWithTheSystemText) {
  try {
    this->Fs().Open(this->Path("missing"), TOpenMode::ReadDenyNone);
    FAIL() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Code(), ENOENT);
    EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos);
  }
}

TYPED_TEST(FileSystemContract, CreateNewNeverFollowsALink) {
  auto& fs = this->Fs();
  const std::string target = this->Path("target");
  const std::string link = this->Path("link");
  test::WriteFileText(target, "keep");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  EXPECT_THROW(fs.CreateNew(link), EFCreateError);
  EXPECT_THROW(fs.CreateNew(target), EFCreateError);
  EXPECT_EQ(test::ReadFileText(target), "keep");
  auto file = fs.CreateNew(this->Path("fresh"));
  EXPECT_EQ(file->Size(), 0);
}

TYPED_TEST(FileSystemContract, StatAndLStatSeeLinksDifferently) {
  auto& fs = this->Fs();
  const std::string link = this->Path("dangling");
  ASSERT_EQ(::symlink("nowhere", link.c_str()), 0);
  EXPECT_FALSE(fs.Stat(link));
  ASSERT_TRUE(fs.LStat(link));
  EXPECT_TRUE(fs.LStat(link)->IsSymlink);
}

TYPED_TEST(FileSystemContract, AttributesMapToPermissions) {
  auto& fs = this->Fs();
  const std::string path = this->Path("ro.txt");
  test::WriteFileText(path, "x");
  auto info = fs.Stat(path);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->Attributes, faAttr::Archive);
  ASSERT_TRUE(fs.SetAttributes(path, faAttr::ReadOnly | faAttr::Archive));
  EXPECT_TRUE(fs.Stat(path)->Attributes & faAttr::ReadOnly);
  ASSERT_TRUE(fs.SetAttributes(path, faAttr::Archive));
  EXPECT_FALSE(fs.Stat(path)->Attributes & faAttr::ReadOnly);
  EXPECT_EQ(fs.Stat(this->Fake.Root())->Attributes & faAttr::Directory, faAttr::Directory);
}

TYPED_TEST(FileSystemContract, LastWriteTimeRoundTrips) {
  auto& fs = this->Fs();
  const std::string path = this->Path("dated");
  test::WriteFileText(path, "x");
  const TFileTime when = std::chrono::system_clock::from_time_t(1'234'567'890);
  ASSERT_TRUE(fs.SetLastWriteTime(path, when));
  EXPECT_EQ(fs.Stat(path)->LastWrite, when);
  {
    auto file = fs.Open(path, TOpenMode::ReadWrite);
    file->SetLastWriteTime(when + std::chrono::seconds(2));
  }
  EXPECT_EQ(fs.Stat(path)->LastWrite, when + std::chrono::seconds(2));
}

TYPED_TEST(FileSystemContract, AccessRightsForArchivesAndPrograms) {
  auto& fs = this->Fs();
  const std::string original = this->Path("original"), copy = this->Path("copy");
  test::WriteFileText(original, "x");
  test::WriteFileText(copy, "y");
  ASSERT_EQ(::chmod(original.c_str(), 0640), 0);
  ASSERT_EQ(::chmod(copy.c_str(), 0600), 0);
  ASSERT_TRUE(fs.CopyAccessRights(original, copy));
  struct stat st {};
  ASSERT_EQ(::stat(copy.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  ASSERT_TRUE(fs.MakeExecutable(copy));  // runnable by whoever may read it
  ASSERT_EQ(::stat(copy.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u);
  const mode_t mask = ::umask(022);
  ::umask(mask);
  ASSERT_TRUE(fs.SetDefaultAccessRights(copy));
  ASSERT_EQ(::stat(copy.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask);
  EXPECT_FALSE(fs.CopyAccessRights(this->Path("missing"), copy));
}

TYPED_TEST(FileSystemContract, RenameReplacesAndDeleteRemoves) {
  auto& fs = this->Fs();
  const std::string a = this->Path("a"), b = this->Path("b");
  test::WriteFileText(a, "new");
  test::WriteFileText(b, "old");
  ASSERT_TRUE(fs.RenameFile(a, b));
  EXPECT_EQ(test::ReadFileText(b), "new");
  EXPECT_FALSE(fs.Stat(a));
  ASSERT_TRUE(fs.DeleteFile(b));
  EXPECT_FALSE(fs.DeleteFile(b));
  EXPECT_EQ(fs.LastError(), ENOENT);
}

TYPED_TEST(FileSystemContract, FoldersAndListing) {
  auto& fs = this->Fs();
  const std::string folder = this->Path("dir");
  ASSERT_TRUE(fs.CreateFolder(folder));
  EXPECT_FALSE(fs.CreateFolder(this->Path("no/such/parent")));
  test::WriteFileText(folder + "/one.txt", "1");
  test::WriteFileText(folder + "/two", "22");
  ASSERT_TRUE(fs.CreateFolder(folder + "/sub"));
  std::vector<TDirEntry> entries;
  ASSERT_TRUE(fs.ListFolder(folder, entries));
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.Name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one.txt", "sub", "two"}));
  for (const auto& e : entries) {
    if (e.Name == "two") {
      EXPECT_EQ(e.Info.Size, 2);
    }
    if (e.Name == "sub") {
      EXPECT_TRUE(e.Info.IsDirectory);
    }
  }
  EXPECT_FALSE(fs.ListFolder(this->Path("nothing"), entries));
}

TYPED_TEST(FileSystemContract, CurrentFolderChangesAndComesBack) {
  auto& fs = this->Fs();
  const std::string before = fs.CurrentFolder();
  ASSERT_TRUE(fs.SetCurrentFolder(this->Fake.Root()));
  EXPECT_EQ(fs.CurrentFolder() + "/", fs.RealPath(this->Fake.Root()) + "/");
  ASSERT_TRUE(fs.SetCurrentFolder(before));
}

TYPED_TEST(FileSystemContract, UniqueFilesAreNewAndEmpty) {
  auto& fs = this->Fs();
  const std::string one = fs.CreateUniqueFile(this->Fake.Root(), "VLZ");
  const std::string two = fs.CreateUniqueFile(this->Fake.Root(), "VLZ");
  EXPECT_NE(one, two);
  EXPECT_EQ(std::filesystem::path(one).filename().string().rfind("VLZ", 0), 0u);
  EXPECT_EQ(fs.Stat(one)->Size, 0);
  EXPECT_THROW(fs.CreateUniqueFile(this->Path("missing-folder"), "VLZ"), EFCreateError);
}

TYPED_TEST(FileSystemContract, TempFolderEndsInASlashAndExists) {
  const std::string temp = this->Fs().TempFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '/');
  EXPECT_TRUE(this->Fs().Stat(temp)->IsDirectory);
}

}  // namespace
}  // namespace vz
