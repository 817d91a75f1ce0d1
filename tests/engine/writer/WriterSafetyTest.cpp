// What a rewrite must never do, whoever else touches the archive: two
// writers taking turns through the lock beside the archive, an archive
// changed behind the engine's back, a link, a read-only or damaged archive,
// a missing temporary folder, a full disk, and the current folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "engine/format/ByteOrder.h"
#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "platform/posix/PosixFileSystem.h"
#include "tests/engine/writer/WriterFixture.h"

namespace vz {
namespace {

class WriterSafetyTest : public test::TKeptArchiveFixture {
 protected:
  // Another process's hold on the archive's lock, as a second writer sees it.
  std::unique_ptr<IFileLock> HoldLock() {
    auto lock = Other.TryLockFile(TZipEngine::LockFileName(Archive));
    EXPECT_NE(lock, nullptr);
    return lock;
  }

  TPosixFileSystem Other;
};

TEST_F(WriterSafetyTest, TheLockFileStaysBesideTheArchive) {
  EXPECT_EQ(TZipEngine::LockFileName("/data/out.zip"), "/data/.out.zip.lock");
  EXPECT_TRUE(test::FileExists(Path(".keep.zip.lock")));
  // The lock is free again once the operation is over.
  EXPECT_NE(Other.TryLockFile(Path(".keep.zip.lock")), nullptr);
}

TEST_F(WriterSafetyTest, TheLockSurvivesClosingAnotherDescriptorOfTheFile) {
  const std::string lockName = Path("some.lock");
  auto held = Fake.Files.TryLockFile(lockName);
  ASSERT_NE(held, nullptr);
  // A record lock would be gone now: any close of the file drops it.
  Fake.Files.Open(lockName, TOpenMode::ReadDenyNone).reset();
  EXPECT_EQ(Other.TryLockFile(lockName), nullptr);
  EXPECT_EQ(Other.LastError(), EWOULDBLOCK);
  held.reset();
  EXPECT_NE(Other.TryLockFile(lockName), nullptr);
}

TEST_F(WriterSafetyTest, WithoutWaitingALockedArchiveFailsAtOnce) {
  const auto lock = HoldLock();
  auto engine = RelativeEngine(Archive);
  engine->WaitForLock = false;
  engine->Dispose = true;
  engine->FilesList = {Src + "random.bin"};
  try {
    engine->PerformZip();
    FAIL();
  } catch (const EArchiveLocked& e) {
    EXPECT_NE(std::string(e.what()).find(".keep.zip.lock"), std::string::npos) << e.what();
  }
  ExpectUnchanged();
  EXPECT_TRUE(test::FileExists(Src + "random.bin"));
}

// The directory read before the operation must describe the file that was
// read: another writer that renames its archive into place just after our
// open (and before anything else of ours) must not make the old directory
// pass for current, or our rewrite would drop that writer's members.
TEST_F(WriterSafetyTest, AnArchiveReplacedJustAfterOurOpenIsReadAgain) {
  auto engine = RelativeEngine(Archive);
  bool replaced = false;
  Fake.Files.AfterOpenForReading = [&](const std::string& path) {
    if (replaced || path != Archive) return;
    replaced = true;
    auto other = RelativeEngine(Archive);
    other->FilesList = {Src + "random.bin"};
    EXPECT_EQ(other->PerformZip(), 1);
  };
  engine->ReadZip();
  Fake.Files.AfterOpenForReading = nullptr;
  ASSERT_TRUE(replaced);
  test::WriteFileText(Src + "late.txt", "late");
  engine->FilesList = {Src + "late.txt"};
  EXPECT_EQ(engine->PerformZip(), 1);
  EXPECT_EQ(Names(Archive),
            (std::vector<std::string>{"text.txt", "empty", "random.bin", "late.txt"}));
}

TEST_F(WriterSafetyTest, AWaitingWriterGoesOnWhenTheLockIsFreed) {
  auto lock = HoldLock();
  auto engine = RelativeEngine(Archive);
  int told = 0;
  engine->OnWaitForLock = [&](TZipEngine&, const std::string& name) {
    ++told;
    EXPECT_EQ(name, Path(".keep.zip.lock"));
    lock.reset();
  };
  engine->FilesList = {Src + "random.bin"};
  EXPECT_EQ(engine->PerformZip(), 1);
  EXPECT_EQ(told, 1);
  EXPECT_EQ(Names(Archive), (std::vector<std::string>{"text.txt", "empty", "random.bin"}));
}

TEST_F(WriterSafetyTest, CancellingAWaitingWriterChangesNothing) {
  const auto lock = HoldLock();
  auto engine = RelativeEngine(Archive);
  engine->OnWaitForLock = [](TZipEngine& sender, const std::string&) {
    sender.CancelOperation = true;
  };
  engine->FilesList = {Src + "random.bin"};
  EXPECT_THROW(engine->PerformZip(), EUserCanceled);
  ExpectUnchanged();
}

TEST_F(WriterSafetyTest, AnArchiveReplacedSinceItWasReadIsReadAgain) {
  // The other writer's archive has the same size and time as the one read:
  // only the file's identity tells them apart.
  auto other = RelativeEngine(Path("other.zip"));
  test::WriteFileBytes(Src + "twin.txx", test::ReadFileBytes(Src + "text.txt"));
  other->FilesList = {Src + "twin.txx", Src + "empty"};
  ASSERT_EQ(other->PerformZip(), 2);
  ASSERT_EQ(std::filesystem::file_size(Path("other.zip")), Original.size());
  auto engine = RelativeEngine(Archive);
  engine->ReadZip();
  const auto time = std::filesystem::last_write_time(Archive);
  std::filesystem::rename(Path("other.zip"), Archive);
  std::filesystem::last_write_time(Archive, time);
  engine->FilesList = {Src + "random.bin"};
  EXPECT_EQ(engine->PerformZip(), 1);
  EXPECT_EQ(Names(Archive), (std::vector<std::string>{"twin.txx", "empty", "random.bin"}));
  EXPECT_EQ(Member(Archive, "twin.txx"), test::ReadFileBytes(Src + "text.txt"));
}

TEST_F(WriterSafetyTest, AnArchiveChangedDuringTheRewriteIsLeftToTheOtherProgram) {
  auto engine = RelativeEngine(Archive);
  engine->Dispose = true;
  std::vector<u8> theirs;
  engine->OnEndZip = [&](TZipEngine&, const std::string&, u32, u32, i64) {
    // A program that takes no lock writes the archive anew meanwhile.
    theirs = Original;
    theirs.push_back(0);
    test::WriteFileBytes(Archive + ".new", theirs);
    std::filesystem::rename(Archive + ".new", Archive);
  };
  engine->FilesList = {Src + "random.bin"};
  try {
    engine->PerformZip();
    FAIL();
  } catch (const EVarnelError& e) {
    EXPECT_NE(std::string(e.what()).find("another program changed the archive"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(test::ReadFileBytes(Archive), theirs);
  EXPECT_TRUE(TempFiles().empty());
  EXPECT_TRUE(test::FileExists(Src + "random.bin"));  // nothing disposed
}

TEST_F(WriterSafetyTest, AnArchiveReachedThroughALinkIsUpdatedWhereItPoints) {
  const std::string link = Path("link.zip");
  ASSERT_EQ(::symlink(Archive.c_str(), link.c_str()), 0);
  auto engine = RelativeEngine(link);
  engine->FilesList = {Src + "random.bin"};
  EXPECT_EQ(engine->PerformZip(), 1);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Names(Archive), (std::vector<std::string>{"text.txt", "empty", "random.bin"}));
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(WriterSafetyTest, AReadOnlyArchiveIsRefusedByName) {
  ASSERT_EQ(::chmod(Archive.c_str(), 0444), 0);
  for (const bool deleting : {false, true}) {
    auto engine = RelativeEngine(Archive);
    engine->FilesList = {deleting ? "empty" : Src + "random.bin"};
    try {
      deleting ? engine->PerformDelete() : engine->PerformZip();
      FAIL();
    } catch (const EFCreateError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(Archive + ": the archive may not be written", 0), 0u)
          << e.what();
    }
    ExpectUnchanged();
  }
}

TEST_F(WriterSafetyTest, ADamagedArchiveIsNotUpdatedButStillRepaired) {
  // The directory and end record cut off: the members are found by their
  // own headers only.
  const std::vector<u8> cut(Original.begin(), Original.end() - 30);
  test::WriteFileBytes(Archive, cut);
  auto engine = RelativeEngine(Archive);
  engine->IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  engine->FilesList = {Src + "random.bin"};
  try {
    engine->PerformZip();
    FAIL();
  } catch (const EVarnelError& e) {
    EXPECT_NE(std::string(e.what()).find("repair it first"), std::string::npos) << e.what();
  }
  EXPECT_EQ(test::ReadFileBytes(Archive), cut);
  EXPECT_TRUE(TempFiles().empty());
  TZipEngine repairer(Services());
  repairer.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  EXPECT_EQ(repairer.RepairArchive(Archive, Path("fixed.zip")), 0);
  EXPECT_EQ(Names(Path("fixed.zip")), (std::vector<std::string>{"text.txt", "empty"}));
}

TEST_F(WriterSafetyTest, AMissingTemporaryFolderIsAnError) {
  auto engine = RelativeEngine(Archive);
  engine->TempPath = Path("no-such-folder");
  engine->FilesList = {Src + "random.bin"};
  try {
    engine->PerformZip();
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Code(), ENOENT);
    EXPECT_NE(std::string(e.what()).find("no-such-folder"), std::string::npos) << e.what();
  }
  ExpectUnchanged();
}

TEST_F(WriterSafetyTest, AFullDiskIsReportedAsAFullDiskWhereverItStrikes) {
  // Every budget ends the writing at another place: in a member's data, in
  // the buffered bytes flushed before a header is fixed, in the directory;
  // the first budget that is enough ends the loop.
  int failures = 0;
  for (i64 budget = 0; budget < 1'000'000; budget += 1499) {
    auto engine = RelativeEngine(Archive);
    engine->FilesList = {Src + "sub/run.dat", Src + "random.bin", Src + "sub/deeper/small.txt"};
    Fake.Files.FailWritesAfter(budget, ENOSPC);
    try {
      engine->PerformZip();
      break;
    } catch (const EInOutError& e) {
      ++failures;
      EXPECT_EQ(e.Code(), ENOSPC) << budget;
      EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos)
          << budget << ": " << e.what();
    }
    Fake.Files.ClearFaults();
    ExpectUnchanged();
  }
  EXPECT_GT(failures, 5);
}

TEST_F(WriterSafetyTest, ANewArchiveThatCannotBeCopiedIntoPlaceIsNamed) {
  // The archive lives on a small drive; the new one is built elsewhere and
  // must be copied over, for which the drive has no room.
  TFakeDrive& small = Fake.AddDrive("small", TDriveType::Fixed, false, std::nullopt, 1 << 20);
  const std::string archive = small.MountPoint + "keep.zip";
  test::WriteFileBytes(archive, Original);
  small.Capacity = static_cast<i64>(Original.size()) + 2000;
  auto engine = RelativeEngine(archive);
  engine->FilesList = {Src + "random.bin"};
  Fake.Files.FailRenames(1, EXDEV);
  try {
    engine->PerformZip();
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Code(), ENOSPC);
    const std::string text = e.what();
    const auto kept = text.find("the new archive is kept as ");
    ASSERT_NE(kept, std::string::npos) << text;
    const std::string copy = text.substr(kept + 27, text.size() - kept - 28);
    EXPECT_EQ(ExtractFilePath(copy), Fake.Files.TempFolder());
    EXPECT_EQ(Names(copy), (std::vector<std::string>{"text.txt", "empty", "random.bin"}));
  }
  EXPECT_EQ(test::ReadFileBytes(archive), Original);
  std::vector<std::string> beside;
  for (const auto& e : std::filesystem::directory_iterator(small.MountPoint)) {
    beside.push_back(e.path().filename().string());
  }
  std::sort(beside.begin(), beside.end());
  EXPECT_EQ(beside, (std::vector<std::string>{".keep.zip.lock", "keep.zip"}));
}

TEST_F(WriterSafetyTest, RelativeNamesAreResolvedOnceAndTheCurrentFolderIsKept) {
  const std::string saved = std::filesystem::current_path();
  std::filesystem::current_path(Src);
  auto engine = std::make_unique<TZipEngine>(Services());
  engine->SetZipName(Path("rel.zip"));
  engine->SetStorePaths(true);
  engine->SetRelativePaths(true);
  engine->SetRootDir(".");
  engine->Recurse = false;
  engine->FilesList = {"text.txt", "sub/run.dat", ">sub/deeper/*.txt"};
  // Whatever the caller does with the current folder while the operation
  // runs, the names keep meaning what they meant when it began.
  engine->OnStartZipInfo = [&](TZipEngine&, int, i64, TEndCentral&, bool&) {
    std::filesystem::current_path(Fake.Root());
  };
  int added = 0;
  EXPECT_NO_THROW(added = engine->PerformZip());
  const std::string after = std::filesystem::current_path();
  std::filesystem::current_path(Src);
  auto again = std::make_unique<TZipEngine>(Services());
  again->SetZipName(Path("rel2.zip"));
  again->SetRelativePaths(true);
  again->SetRootDir(".");
  again->FilesList = {"empty"};
  EXPECT_NO_THROW(again->PerformZip());
  const std::string untouched = std::filesystem::current_path();
  std::filesystem::current_path(saved);
  EXPECT_EQ(added, 3);
  EXPECT_EQ(after, ExcludeTrailingSlash(Fake.Root()));  // the handler's, not the engine's
  EXPECT_EQ(untouched, ExcludeTrailingSlash(Src));
  EXPECT_EQ(Names(Path("rel.zip")),
            (std::vector<std::string>{"text.txt", "sub/run.dat", "sub/deeper/small.txt"}));
}

}  // namespace
}  // namespace vz
