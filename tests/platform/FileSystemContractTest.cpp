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
// The same two where the system has no openat2: folders resolved one
// component at a time.
struct TPosixByComponentsSubject {
  TPosixByComponentsSubject() { Files.ResolveByComponents = true; }
  TPosixFileSystem Files;
  IFileSystem& Get(TFakePlatform&) { return Files; }
};
struct TFakeByComponentsSubject {
  IFileSystem& Get(TFakePlatform& fake) {
    fake.Files.ResolveByComponents(true);
    return fake.Files;
  }
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

using Subjects = ::testing::Types<TPosixSubject, TFakeSubject, TPosixByComponentsSubject,
                                  TFakeByComponentsSubject>;
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

// ---- folders held open ----

struct TBelowCase {
  const char* Relative;
  bool Create;
  int Error;  // 0: opens
};

TYPED_TEST(FileSystemContract, FoldersBelowAreReachedWithoutFollowingLinks) {
  auto& fs = this->Fs();
  test::MakeFolders(this->Path("root/a/b"));
  test::MakeFolders(this->Path("elsewhere"));
  test::WriteFileText(this->Path("root/file"), "f");
  std::filesystem::create_symlink(this->Path("elsewhere"), this->Path("root/link"));
  std::filesystem::create_symlink(this->Path("root/a"), this->Path("root/a/inner"));
  std::filesystem::create_symlink(this->Path("nowhere"), this->Path("root/dangling"));
  const auto root = fs.OpenFolder(this->Path("root"));
  ASSERT_NE(root, nullptr);
  const std::string tooLong(300, 'n');
  const std::vector<TBelowCase> cases = {{"", false, 0},
                                         {"a/b", false, 0},
                                         {"a//b/./", false, 0},
                                         {"a/new/deeper", true, 0},
                                         {"a/missing", false, ENOENT},
                                         {"link", false, ELOOP},
                                         {"link/x", true, ELOOP},
                                         {"a/inner/b", false, ELOOP},
                                         {"dangling/x", true, ELOOP},
                                         {"file/x", true, ENOTDIR},
                                         {"..", false, EXDEV},
                                         {"a/../a", false, EXDEV},
                                         {tooLong.c_str(), true, ENAMETOOLONG}};
  for (const TBelowCase& c : cases) {
    SCOPED_TRACE(c.Relative);
    const auto folder = root->OpenFolder(c.Relative, c.Create);
    if (c.Error == 0) {
      ASSERT_NE(folder, nullptr) << root->LastError();
      EXPECT_TRUE(std::filesystem::is_directory(folder->Path()));
    } else {
      EXPECT_EQ(folder, nullptr);
      EXPECT_EQ(root->LastError(), c.Error);
    }
  }
  EXPECT_TRUE(std::filesystem::is_directory(this->Path("root/a/new/deeper")));
  EXPECT_EQ(root->OpenFolder("a/new/deeper", false)->Path(), this->Path("root/a/new/deeper"));
  EXPECT_TRUE(std::filesystem::is_empty(this->Path("elsewhere")));
  EXPECT_FALSE(std::filesystem::exists(this->Path("nowhere")));
  // Longer than a path may be, though each level would fit.
  std::string deep;
  for (int i = 0; i < 2100; ++i) deep += "d/";
  EXPECT_EQ(root->OpenFolder(deep, true), nullptr);
  EXPECT_EQ(root->LastError(), ENAMETOOLONG);
}

TYPED_TEST(FileSystemContract, TheFolderAsNamedMayBeReachedThroughALink) {
  auto& fs = this->Fs();
  test::MakeFolders(this->Path("real/in"));
  std::filesystem::create_symlink(this->Path("real"), this->Path("alias"));
  const auto folder = fs.OpenFolder(this->Path("alias/in/"));
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->Path(), this->Path("alias/in"));
  EXPECT_EQ(fs.OpenFolder(this->Path("missing")), nullptr);
  EXPECT_EQ(fs.LastError(), ENOENT);
}

TYPED_TEST(FileSystemContract, FilesAreMadeRenamedAndDeletedThroughAFolder) {
  auto& fs = this->Fs();
  test::MakeFolders(this->Path("f"));
  test::WriteFileText(this->Path("victim"), "precious");
  std::filesystem::create_symlink(this->Path("victim"), this->Path("f/link"));
  const auto folder = fs.OpenFolder(this->Path("f"));
  ASSERT_NE(folder, nullptr);
  {
    auto file = folder->CreateNew("new.txt");
    EXPECT_EQ(file->Path(), this->Path("f/new.txt"));
    EXPECT_EQ(file->Write(Bytes("new")), 3u);
  }
  // A link at the name is there, not followed; a name must be one component.
  for (const auto& [name, error] : std::vector<std::pair<std::string, int>>{
           {"new.txt", EEXIST}, {"link", EEXIST}, {"a/b", EINVAL}, {"..", EINVAL}}) {
    SCOPED_TRACE(name);
    try {
      folder->CreateNew(name);
      ADD_FAILURE() << "no exception";
    } catch (const EFCreateError& e) {
      EXPECT_EQ(e.Code(), error);
    }
  }
  EXPECT_TRUE(folder->LStat("link")->IsSymlink);
  EXPECT_FALSE(folder->LStat("missing"));
  EXPECT_TRUE(folder->Rename("new.txt", "link"));
  EXPECT_FALSE(folder->LStat("link")->IsSymlink);
  EXPECT_EQ(test::ReadFileText(this->Path("f/link")), "new");
  EXPECT_EQ(test::ReadFileText(this->Path("victim")), "precious");
  EXPECT_FALSE(folder->Rename("link", "../out"));
  EXPECT_EQ(folder->LastError(), EINVAL);
  EXPECT_TRUE(folder->Delete("link"));
  EXPECT_FALSE(folder->Delete("link"));
  EXPECT_EQ(folder->LastError(), ENOENT);
}

TYPED_TEST(FileSystemContract, ModesAreSetOnDescriptors) {
  auto& fs = this->Fs();
  const mode_t saved = ::umask(027);
  EXPECT_EQ(fs.CreationMask(), 027u);
  ::umask(saved);
  EXPECT_EQ(fs.CreationMask(), static_cast<u32>(saved));
  test::MakeFolders(this->Path("m"));
  const auto folder = fs.OpenFolder(this->Path("m"));
  ASSERT_NE(folder, nullptr);
  auto file = folder->CreateNew("x");
  // At most 0777: never set-user-id, set-group-id or sticky.
  EXPECT_TRUE(file->SetMode(07751));
  EXPECT_EQ(test::FileMode(this->Path("m/x")), 0751u);
  EXPECT_TRUE(folder->SetMode(0500));
  EXPECT_EQ(test::FileMode(this->Path("m")), 0500u);
  EXPECT_TRUE(folder->SetMode(0700));
}

}  // namespace
}  // namespace vz
