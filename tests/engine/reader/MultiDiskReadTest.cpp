// Reading archives split over several disks: block files in one folder, and
// removable media (fake drives) whose labels name the disk.
#include <cstdio>

#include "engine/reader/UnZipEngine.h"
#include "engine/support/Exceptions.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/ZipBuilder.h"

namespace vz {
namespace {

using test::TBuildMember;
using test::TEndFields;
using test::TZipBuilder;

TBuildMember Member(const std::string& name, const std::string& data, u16 disk,
                    const std::string& comment = "") {
  TBuildMember m;
  m.Name = name;
  m.Data.assign(data.begin(), data.end());
  m.Disk = disk;
  m.Comment = comment;
  return m;
}

// Disk 0: the first member; disk 1: the second member and the start of the
// central directory; disk 2: the rest of the directory and the end record.
std::vector<std::vector<u8>> ThreeDisks() {
  const TBuildMember one = Member("one.txt", "first member", 0, "comment one");
  const TBuildMember two = Member("two.txt", "second", 1, "comment two");
  TZipBuilder disk0, disk1, disk2;
  disk0.AddLocal(one);
  const u32 twoOffset = disk1.AddLocal(two);
  const u32 central = disk1.Position();
  disk1.AddCentral(one, 0);
  disk2.AddCentral(two, twoOffset);
  TEndFields end;
  end.ThisDisk = 2;
  end.CentralStartDisk = 1;
  end.EntriesThisDisk = 1;
  end.Comment = "set comment";
  disk2.AddEnd(end, 2, central, (disk1.Position() - central) + disk2.Position());
  return {disk0.Bytes, disk1.Bytes, disk2.Bytes};
}

class MultiDiskReadTest : public test::TEngineFixture {};

TEST_F(MultiDiskReadTest, BlockFilesAreAskedForByNumber) {
  const auto disks = ThreeDisks();
  for (std::size_t i = 0; i < disks.size(); ++i) Put("set.00" + std::to_string(i + 1), disks[i]);
  TUnZipEngine engine(Services());
  std::vector<int> asked;
  engine.OnGetNextDisk = [&](TUnZipEngine&, int disk, std::string& name) {
    asked.push_back(disk);
    name = Path("set.00" + std::to_string(disk));
  };
  engine.SetZipName(Path("set.003"));
  engine.ReadZip();
  EXPECT_EQ(engine.MultiMode(), TMultiMode::mmBlocks);
  // The directory starts on disk 2 and runs on to disk 3.
  EXPECT_EQ(asked, (std::vector<int>{2, 3}));
  ASSERT_EQ(engine.Count(), 2);
  EXPECT_EQ(engine.NumDisks, 3);
  EXPECT_EQ(engine.DiskNo(0), 1);
  EXPECT_EQ(engine.DiskNo(1), 2);
  // Comments of a multi-disk set were loaded while each disk was at hand.
  asked.clear();
  EXPECT_EQ(engine.FileComment(0), "comment one");
  EXPECT_EQ(engine.FileComment(1), "comment two");
  EXPECT_EQ(engine.ZipComment(), "set comment");
  EXPECT_TRUE(asked.empty());
}

TEST_F(MultiDiskReadTest, WithoutAHandlerTheDiskRequestIsCancelled) {
  const auto disks = ThreeDisks();
  TUnZipEngine engine(Services());
  engine.SetZipName(Put("set.003", disks[2]));
  try {
    engine.ReadZip();
    FAIL();
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled loading new disk.");
  }
}

TEST_F(MultiDiskReadTest, EmptyNameCancelsAndMissingFilesAreAskedAgain) {
  const auto disks = ThreeDisks();
  TUnZipEngine engine(Services());
  int calls = 0;
  engine.OnGetNextDisk = [&](TUnZipEngine&, int, std::string& name) {
    ++calls;
    name = calls == 1 ? Path("nothing.002") : "";
  };
  engine.SetZipName(Put("set.003", disks[2]));
  EXPECT_THROW(engine.ReadZip(), EUserCanceled);
  EXPECT_EQ(calls, 2);
}

TEST_F(MultiDiskReadTest, RemovableDisksAreCheckedByTheirLabels) {
  const auto disks = ThreeDisks();
  auto& drive = Fake.AddDrive("floppy", TDriveType::Removable, true, "PKBACK# 003");
  const std::string name = drive.MountPoint + "archive.zip";
  test::WriteFileBytes(name, disks[2]);
  TUnZipEngine engine(Services());
  std::vector<std::string> labelsSeen;
  bool wrongFirst = true;
  engine.OnGetNextDisk = [&](TUnZipEngine&, int disk, std::string& fname) {
    // The user puts a disk in: first the wrong one, then the right one.
    const int insert = wrongFirst ? 1 : disk;
    wrongFirst = false;
    char label[16];
    std::snprintf(label, sizeof label, "PKBACK# %03d", insert);
    drive.Label = label;
    labelsSeen.push_back(label);
    test::WriteFileBytes(name, disks[static_cast<std::size_t>(insert - 1)]);
    fname = name;
  };
  engine.SetZipName(name);
  engine.ReadZip();
  EXPECT_EQ(engine.MultiMode(), TMultiMode::mmSpan);
  ASSERT_EQ(engine.Count(), 2);
  EXPECT_EQ(engine.FullName(1), "two.txt");
  // Disk 2 was asked for twice (the wrong disk went in first), then disk 3.
  EXPECT_EQ(labelsSeen, (std::vector<std::string>{"PKBACK# 001", "PKBACK# 002", "PKBACK# 003"}));
}

TEST_F(MultiDiskReadTest, LabelCheckCanBeSwitchedOff) {
  const auto disks = ThreeDisks();
  auto& drive = Fake.AddDrive("usb", TDriveType::Removable, false, "NO NUMBER");
  const std::string name = drive.MountPoint + "archive.zip";
  test::WriteFileBytes(name, disks[2]);
  TUnZipEngine engine(Services());
  engine.SetCheckDiskLabels(false);
  int calls = 0;
  engine.OnGetNextDisk = [&](TUnZipEngine&, int disk, std::string& fname) {
    ++calls;
    test::WriteFileBytes(name, disks[static_cast<std::size_t>(disk - 1)]);
    fname = name;
  };
  engine.SetZipName(name);
  engine.ReadZip();
  EXPECT_EQ(engine.Count(), 2);
  EXPECT_EQ(calls, 2);
}

TEST_F(MultiDiskReadTest, EndRecordSayingDiskZeroIsNeverMultiDisk) {
  TBuildMember m = Member("x", "y", 5);  // a member claiming another disk
  TUnZipEngine engine(Services());
  engine.SetZipName(Put("single.zip", TZipBuilder::Archive({m})));
  engine.ReadZip();
  EXPECT_EQ(engine.MultiMode(), TMultiMode::mmNone);
  EXPECT_EQ(engine.NumDisks, 1);
  EXPECT_EQ(engine.Count(), 1);
}

}  // namespace
}  // namespace vz
