// Splitting new archives over block files and removable disks, and reading
// them back.
#include <cstdio>
#include <filesystem>

#include "engine/format/ByteOrder.h"
#include "engine/support/Exceptions.h"
#include "tests/engine/writer/WriterFixture.h"

namespace vz {
namespace {

class SpanningTest : public test::TWriterFixture {
 protected:
  std::unique_ptr<TZipEngine> BlockEngine(const std::string& archive, i32 first, i32 block) {
    auto engine = RelativeEngine(archive);
    engine->MultiZipInfo().MultiMode = TMultiMode::mmBlocks;
    engine->MultiZipInfo().FirstBlockSize = first;
    engine->MultiZipInfo().BlockSize = block;
    return engine;
  }

  // Reads a blocked set back: every member byte-identical with its source.
  void ExpectReadsBack(const std::string& last, const std::string& stem, int blocks) {
    TZipEngine reader(Services());
    reader.OnGetNextDisk = [&](TUnZipEngine&, int disk, std::string& name) {
      char extension[16];
      std::snprintf(extension, sizeof extension, ".%03d", disk);
      name = stem + extension;
    };
    reader.SetZipName(last);
    reader.ReadZip();
    EXPECT_EQ(reader.NumDisks, blocks);
    ASSERT_EQ(reader.Count(), static_cast<int>(Sources.size()));
    EXPECT_EQ(reader.ZipComment(), "");
    reader.DoAll = true;
    reader.RecreateDirs = true;
    reader.SetDestDir(Path("out"));
    EXPECT_EQ(reader.UnZip(), static_cast<int>(Sources.size()));
    for (const auto& name : Sources) {
      EXPECT_EQ(test::ReadFileBytes(Path("out/") + name), test::ReadFileBytes(Src + name)) << name;
    }
    std::filesystem::remove_all(Path("out"));
  }

  std::vector<std::string> Sources{"text.txt", "random.bin", "empty", "sub/deeper/small.txt"};
  std::vector<std::string> FullSources() {
    std::vector<std::string> full;
    for (const auto& s : Sources) full.push_back(Src + s);
    return full;
  }
};

TEST_F(SpanningTest, BlocksOfAThousandAndFiveHundredBytes) {
  auto engine = BlockEngine(Path("set.zip"), 1000, 500);
  engine->FilesList = FullSources();
  ASSERT_EQ(engine->PerformZip(), 4);
  int blocks = 0;
  for (int n = 1;; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "set.%03d", n);
    if (!test::FileExists(Path(name))) break;
    const auto size = test::ReadFileBytes(Path(name)).size();
    EXPECT_LE(size, n == 1 ? 1000u : 500u) << name;
    blocks = n;
  }
  ASSERT_GT(blocks, 2);
  char last[32];
  std::snprintf(last, sizeof last, "set.%03d", blocks);
  EXPECT_EQ(engine->ZipName(), Path(last));
  EXPECT_FALSE(test::FileExists(Path("set.zip")));
  ExpectReadsBack(Path(last), Path("set"), blocks);
}

TEST_F(SpanningTest, EverythingInTheFirstBlockKeepsThePlainName) {
  auto engine = BlockEngine(Path("small.zip"), 1 << 20, 1000);
  engine->FilesList = FullSources();
  ASSERT_EQ(engine->PerformZip(), 4);
  EXPECT_EQ(engine->ZipName(), Path("small.zip"));
  EXPECT_FALSE(test::FileExists(Path("small.001")));
  EXPECT_EQ(Names(Path("small.zip")).size(), 4u);
  ExpectPeersAccept(Path("small.zip"));
}

// Every first-block size around the members' and records' lengths, so that
// headers, data and central records end exactly at disk ends.
TEST_F(SpanningTest, RecordsLandingExactlyAtDiskEnds) {
  Sources = {"empty", "sub/deeper/small.txt", "random.bin"};
  for (i32 first = 60; first < 400; first += 7) {
    SCOPED_TRACE(first);
    std::filesystem::remove_all(Path("edge"));
    test::MakeFolders(Path("edge"));
    auto engine = BlockEngine(Path("edge/e.zip"), first, 200 + first % 5);
    engine->FilesList = FullSources();
    ASSERT_EQ(engine->PerformZip(), 3);
    const std::string last = engine->ZipName();
    int blocks = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Path("edge"))) {
      // The writers' lock file stays beside the parts.
      if (entry.path().filename().string()[0] != '.') ++blocks;
    }
    ExpectReadsBack(last, Path("edge/e"), blocks);
    if (HasFailure()) break;
  }
}

TEST_F(SpanningTest, RemovableDisksAreAskedForAndLabelled) {
  auto& drive = Fake.AddDrive("a", TDriveType::Removable, true, "OLD", 1500);
  const std::string archive = drive.MountPoint + "span.zip";
  auto engine = RelativeEngine(archive);
  engine->MultiZipInfo().MultiMode = TMultiMode::mmSpan;
  std::vector<std::string> shelves;
  std::vector<int> asked;
  engine->OnGetNextDisk = [&](TUnZipEngine&, int disk, std::string& name) {
    asked.push_back(disk);
    shelves.push_back(Fake.Drives.ChangeMedium(drive.MountPoint, std::nullopt));
    EXPECT_EQ(name, archive);
  };
  engine->FilesList = FullSources();
  ASSERT_EQ(engine->PerformZip(), 4);
  const int disks = static_cast<int>(asked.size()) + 1;
  ASSERT_GT(disks, 2);
  for (int i = 0; i < static_cast<int>(asked.size()); ++i)
    EXPECT_EQ(asked[static_cast<std::size_t>(i)], i + 2);
  // Every disk was labelled with its number as it was finished.
  ASSERT_EQ(Fake.Drives.LabelsWritten.size(), static_cast<std::size_t>(disks));
  for (int i = 0; i < disks; ++i) {
    char label[32];
    std::snprintf(label, sizeof label, "=PKBACK# %03d", i + 1);
    EXPECT_TRUE(Fake.Drives.LabelsWritten[static_cast<std::size_t>(i)].ends_with(label));
  }
  // Read the set back, changing disks as asked (the last one is in the drive).
  shelves.push_back(Fake.Drives.ChangeMedium(drive.MountPoint, std::nullopt));
  const auto putIn = [&](int disk) {
    std::filesystem::remove_all(drive.MountPoint);
    std::filesystem::copy(shelves[static_cast<std::size_t>(disk - 1)], drive.MountPoint);
    char label[32];
    std::snprintf(label, sizeof label, "PKBACK# %03d", disk);
    drive.Label = label;
  };
  putIn(disks);
  TZipEngine reader(Services());
  reader.OnGetNextDisk = [&](TUnZipEngine&, int disk, std::string& name) {
    putIn(disk);
    name = archive;
  };
  reader.SetZipName(archive);
  reader.ReadZip();
  EXPECT_EQ(reader.MultiMode(), TMultiMode::mmSpan);
  ASSERT_EQ(reader.Count(), 4);
  reader.DoAll = true;
  reader.RecreateDirs = true;
  reader.SetDestDir(Path("out"));
  EXPECT_EQ(reader.UnZip(), 4);
  for (const auto& name : Sources) {
    EXPECT_EQ(test::ReadFileBytes(Path("out/") + name), test::ReadFileBytes(Src + name)) << name;
  }
}

TEST_F(SpanningTest, SpanningWithoutAHandlerOrWithoutRoomIsCancelled) {
  auto& drive = Fake.AddDrive("b", TDriveType::Removable, true, "X", 1000);
  for (const bool handler : {false, true}) {
    auto engine = RelativeEngine(drive.MountPoint + "x.zip");
    engine->MultiZipInfo().MultiMode = TMultiMode::mmSpan;
    if (handler) {
      drive.Capacity = -1;
      drive.FreeBytes = -1;  // unknown free space
      engine->OnGetNextDisk = [](TUnZipEngine&, int, std::string&) {};
    }
    engine->FilesList = FullSources();
    try {
      engine->PerformZip();
      FAIL();
    } catch (const EUserCanceled& e) {
      EXPECT_STREQ(e.what(), "User canceled Zip operation.");
    }
    EXPECT_FALSE(test::FileExists(drive.MountPoint + "x.zip"));
  }
}

TEST_F(SpanningTest, EmptyNameFromTheHandlerCancelsAndRemovesTheCurrentDisk) {
  auto& drive = Fake.AddDrive("c", TDriveType::Removable, false, "X", 2000);
  auto engine = RelativeEngine(drive.MountPoint + "x.zip");
  engine->MultiZipInfo().MultiMode = TMultiMode::mmSpan;
  int calls = 0;
  std::string firstDisk;
  engine->OnGetNextDisk = [&](TUnZipEngine&, int, std::string& name) {
    if (++calls == 2) {
      name.clear();
      return;
    }
    firstDisk = Fake.Drives.ChangeMedium(drive.MountPoint, std::nullopt);
  };
  engine->FilesList = FullSources();
  EXPECT_THROW(engine->PerformZip(), EUserCanceled);
  EXPECT_EQ(calls, 2);
  EXPECT_TRUE(test::FileExists(firstDisk + "x.zip"));          // finished disks stay
  EXPECT_FALSE(test::FileExists(drive.MountPoint + "x.zip"));  // the current one goes
  EXPECT_TRUE(Fake.Drives.LabelsWritten.empty());              // not a floppy-style drive
}

}  // namespace
}  // namespace vz
