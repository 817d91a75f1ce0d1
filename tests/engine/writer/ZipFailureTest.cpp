// Failures never touch an existing archive: cancels, vanished sources,
// unwritable temporary folders, full disks, failing renames, size limits.
#include <fcntl.h>
#include <unistd.h>

#include <functional>

#include "engine/support/Exceptions.h"
#include "tests/engine/writer/WriterFixture.h"

namespace vz {
namespace {

using ZipFailureTest = test::TKeptArchiveFixture;

TEST_F(ZipFailureTest, CancelInStartZipInfo) {
  auto engine = RelativeEngine(Archive);
  engine->Dispose = true;
  engine->OnStartZipInfo = [](TZipEngine&, int, i64, TEndCentral&, bool& stop) { stop = true; };
  engine->FilesList = {Src + "random.bin"};
  try {
    engine->PerformZip();
    FAIL();
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled Zip operation.");
  }
  ExpectUnchanged();
  EXPECT_TRUE(test::FileExists(Src + "random.bin"));  // nothing disposed
}

TEST_F(ZipFailureTest, CancelWhileWriting) {
  auto engine = RelativeEngine(Archive);
  engine->OnFilePercentDone = [&](TUnZipEngine& sender, int) { sender.CancelOperation = true; };
  engine->FilesList = {Src + "sub/run.dat"};
  try {
    engine->PerformZip();
    FAIL();
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User Aborted Operation");
  }
  ExpectUnchanged();
}

TEST_F(ZipFailureTest, VanishedSourceIsLeftOutWithoutAnEvent) {
  auto engine = RelativeEngine(Archive);
  engine->OnStartZipInfo = [&](TZipEngine&, int, i64, TEndCentral&, bool&) {
    ::unlink((Src + "random.bin").c_str());
  };
  int skipped = 0;
  engine->OnSkippingFile = [&](TUnZipEngine&, TSkipReason, int) { ++skipped; };
  engine->FilesList = {Src + "random.bin", Src + "sub/run.dat"};
  EXPECT_EQ(engine->PerformZip(), 1);
  EXPECT_EQ(skipped, 0);
  EXPECT_EQ(Names(Archive), (std::vector<std::string>{"text.txt", "empty", "sub/run.dat"}));
}

TEST_F(ZipFailureTest, UnwritableTemporaryFolder) {
  Fake.Files.DenyCreateBelow = Fake.Files.TempFolder();
  auto engine = RelativeEngine(Archive);
  engine->FilesList = {Src + "random.bin"};
  EXPECT_THROW(engine->PerformZip(), EFCreateError);
  ExpectUnchanged();
}

TEST_F(ZipFailureTest, DiskFullWhileWritingTheNewArchive) {
  auto engine = RelativeEngine(Archive);
  engine->FilesList = {Src + "sub/run.dat", Src + "random.bin"};
  Fake.Files.FailWritesAfter(2000, ENOSPC);
  try {
    engine->PerformZip();
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Code(), ENOSPC);
  }
  Fake.Files.ClearFaults();
  ExpectUnchanged();
}

TEST_F(ZipFailureTest, NewArchiveThatFailsIsRemoved) {
  auto engine = RelativeEngine(Path("fresh.zip"));
  engine->OnStartZip = [](TZipEngine&, const std::string&, TZipHeaderInfo&, bool&) {
    throw EUserCanceled("stop");
  };
  engine->FilesList = {Src + "random.bin"};
  EXPECT_THROW(engine->PerformZip(), EUserCanceled);
  EXPECT_FALSE(test::FileExists(Path("fresh.zip")));
}

TEST_F(ZipFailureTest, RenameAcrossFileSystemsCopiesBesideTheArchiveFirst) {
  auto engine = RelativeEngine(Archive);
  engine->FilesList = {Src + "random.bin"};
  Fake.Files.FailRenames(1, EXDEV);
  EXPECT_EQ(engine->PerformZip(), 1);
  EXPECT_EQ(Names(Archive), (std::vector<std::string>{"text.txt", "empty", "random.bin"}));
  EXPECT_TRUE(TempFiles().empty());
  // The copy went to a temporary name in the archive's folder and was
  // renamed from there.
  ASSERT_EQ(Fake.Files.Renamed.size(), 1u);
  EXPECT_EQ(Fake.Files.Renamed[0].first.rfind(Fake.Root() + "VLZ", 0), 0u);
  EXPECT_EQ(Fake.Files.Renamed[0].second, Archive);
}

TEST_F(ZipFailureTest, FailingReplacementKeepsBothArchives) {
  auto engine = RelativeEngine(Archive);
  engine->Dispose = true;
  engine->FilesList = {Src + "random.bin"};
  Fake.Files.FailRenames(2, EIO);
  EXPECT_THROW(engine->PerformZip(), EInOutError);
  EXPECT_EQ(test::ReadFileBytes(Archive), Original);
  // The finished new archive stays where it was built, and no source was
  // disposed of.
  ASSERT_EQ(TempFiles().size(), 1u);
  EXPECT_TRUE(test::FileExists(Src + "random.bin"));
}

// A zip that fails or is cancelled leaves the caller's view of the archive
// as it was: same entries, same order (here by name, unlike the archive's).
struct TViewCase {
  const char* Name;
  std::function<void(TFakePlatform&, TZipEngine&)> Arrange;
};

class FailedZipKeepsTheView : public ZipFailureTest,
                              public testing::WithParamInterface<TViewCase> {};

TEST_P(FailedZipKeepsTheView, SameRowsInTheSameOrder) {
  auto engine = RelativeEngine(Archive);
  engine->SortMode = TZipSortMode::ByName;
  engine->ReadZip();
  ASSERT_EQ(engine->FullName(0), "empty");
  GetParam().Arrange(Fake, *engine);
  engine->FilesList = {Src + "random.bin"};
  EXPECT_ANY_THROW(engine->PerformZip());
  ASSERT_EQ(engine->Count(), 2);
  EXPECT_EQ(engine->FullName(0), "empty");
  EXPECT_EQ(engine->FullName(1), "text.txt");
  EXPECT_EQ(test::ReadFileBytes(Archive), Original);
}

INSTANTIATE_TEST_SUITE_P(Failures, FailedZipKeepsTheView,
                         testing::Values(TViewCase{"Cancel",
                                                   [](TFakePlatform&, TZipEngine& engine) {
                                                     engine.OnFilePercentDone =
                                                         [](TUnZipEngine& sender, int) {
                                                           sender.CancelOperation = true;
                                                         };
                                                   }},
                                         TViewCase{"ReplacementFails",
                                                   [](TFakePlatform& fake, TZipEngine&) {
                                                     fake.Files.FailRenames(2, EIO);
                                                   }}),
                         [](const auto& p) { return std::string(p.param.Name); });

// Disks carry no Zip64 records: a file that may need them is refused before
// the first disk is made.
TEST_F(ZipFailureTest, SpanningAFileOf4GiBIsRefusedBeforeAnythingIsWritten) {
  const std::string huge = Src + "huge.bin";
  const int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, 0x100000000LL), 0);  // sparse: no real disk use
  ::close(fd);
  TZipEngine engine(Services());
  engine.SetZipName(Path("split.zip"));
  engine.MultiZipInfo().MultiMode = TMultiMode::mmBlocks;
  engine.FilesList = {huge};
  try {
    engine.PerformZip();
    FAIL();
  } catch (const EZipLimitError& e) {
    EXPECT_NE(std::string(e.what()).find("no Zip64 records on disks"), std::string::npos);
  }
  EXPECT_FALSE(test::FileExists(Path("split.zip")));
  EXPECT_FALSE(test::FileExists(Path("split.001")));
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ZipFailureTest, The65536thMemberBringsAZip64EndRecord) {
  TZipEngine engine(Services());
  engine.SetZipName(Path("many.zip"));
  // One member per name through the stream form would rewrite the archive
  // every time; build the 65535 members by hand instead.
  std::vector<test::TBuildMember> members(65535);
  for (std::size_t i = 0; i < members.size(); ++i) members[i].Name = std::to_string(i);
  test::WriteFileBytes(Path("many.zip"), test::TZipBuilder::Archive(members));
  engine.SetRootDir(Src);
  engine.FilesList = {Src + "empty"};
  EXPECT_EQ(engine.PerformZip(), 1);
  TUnZipEngine reader(Services());
  reader.SetZipName(Path("many.zip"));
  reader.ReadZip();
  EXPECT_EQ(reader.Count(), 65536);
  EXPECT_TRUE(reader.EndCentral().Zip64);
  EXPECT_EQ(reader.EndCentral().TotalEntries, 65536u);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ZipFailureTest, SpanningAnExistingArchiveIsRefused) {
  auto engine = RelativeEngine(Archive);
  engine->MultiZipInfo().MultiMode = TMultiMode::mmBlocks;
  engine->FilesList = {Src + "random.bin"};
  EXPECT_THROW(engine->PerformZip(), EVarnelError);
  ExpectUnchanged();
}

}  // namespace
}  // namespace vz
