// The fake's own controls: drives, mediums, quotas and injected faults.
#include "platform/fake/FakePlatform.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/Errors.h"
#include "tests/support/ScriptedHost.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

class FakePlatformTest : public ::testing::Test {
 protected:
  test::TScriptedHost Host;
  TFakePlatform Fake{Host};
};

std::vector<u8> Zeros(std::size_t n) { return std::vector<u8>(n); }

TEST_F(FakePlatformTest, DrivesHaveTypesLabelsAndMountPoints) {
  auto& floppy = Fake.AddDrive("a", TDriveType::Removable, true, "PKBACK# 001", 1440);
  Fake.AddDrive("net", TDriveType::Remote);
  const std::string inside = floppy.MountPoint + "sub/archive.zip";
  EXPECT_EQ(Fake.Drives.DriveOf(inside), floppy.MountPoint);
  EXPECT_EQ(Fake.Drives.DriveType(floppy.MountPoint), TDriveType::Removable);
  EXPECT_TRUE(Fake.Drives.IsFloppy(floppy.MountPoint));
  EXPECT_EQ(Fake.Drives.VolumeLabel(floppy.MountPoint), "PKBACK# 001");
  EXPECT_EQ(Fake.Drives.DriveType(Fake.Root() + "net/"), TDriveType::Remote);
  EXPECT_EQ(Fake.Drives.DriveOf("/usr/bin"), "/");
  EXPECT_EQ(Fake.Drives.DriveType("/"), TDriveType::Fixed);
}

TEST_F(FakePlatformTest, CapacityLimitsWritesAndFreeSpace) {
  auto& drive = Fake.AddDrive("disk", TDriveType::Removable, false, std::nullopt, 1000);
  EXPECT_EQ(Fake.Drives.FreeSpace(drive.MountPoint), 1000);
  auto file = Fake.Files.Open(drive.MountPoint + "big", TOpenMode::Create);
  EXPECT_EQ(file->Write(Zeros(600)), 600u);
  EXPECT_EQ(Fake.Drives.FreeSpace(drive.MountPoint), 400);
  EXPECT_EQ(file->Write(Zeros(600)), 400u);
  EXPECT_EQ(file->LastError(), ENOSPC);
  EXPECT_EQ(Fake.Drives.FreeSpace(drive.MountPoint), 0);
}

TEST_F(FakePlatformTest, ChangingTheMediumEmptiesTheDrive) {
  auto& drive = Fake.AddDrive("b", TDriveType::Removable, true, "ONE", 1000);
  test::WriteFileText(drive.MountPoint + "part", "first disk");
  const std::string shelf = Fake.Drives.ChangeMedium(drive.MountPoint, "TWO");
  EXPECT_EQ(test::ReadFileText(shelf + "part"), "first disk");
  EXPECT_FALSE(test::FileExists(drive.MountPoint + "part"));
  EXPECT_EQ(Fake.Drives.VolumeLabel(drive.MountPoint), "TWO");
  EXPECT_EQ(Fake.Drives.FreeSpace(drive.MountPoint), 1000);
  EXPECT_EQ(Fake.Drives.Mediums(drive.MountPoint), 2);
}

TEST_F(FakePlatformTest, LabelsAreWrittenOnlyWhereWritable) {
  auto& drive = Fake.AddDrive("a", TDriveType::Removable, true);
  EXPECT_TRUE(Fake.Drives.SetVolumeLabel(drive.MountPoint, "PKBACK# 002"));
  EXPECT_EQ(Fake.Drives.LabelsWritten, std::vector<std::string>{drive.MountPoint + "=PKBACK# 002"});
  drive.LabelWritable = false;
  EXPECT_FALSE(Fake.Drives.SetVolumeLabel(drive.MountPoint, "X"));
  EXPECT_EQ(Fake.Drives.LastError(), ENOTSUP);
}

TEST_F(FakePlatformTest, InjectedWriteFaults) {
  auto file = Fake.Files.Open(Fake.Root() + "f", TOpenMode::Create);
  Fake.Files.FailNthWrite(2, EIO);
  EXPECT_EQ(file->Write(Zeros(10)), 10u);
  EXPECT_EQ(file->Write(Zeros(10)), 0u);
  EXPECT_EQ(file->LastError(), EIO);
  EXPECT_EQ(file->Write(Zeros(10)), 10u);
  Fake.Files.FailWritesAfter(15, ENOSPC);
  EXPECT_EQ(file->Write(Zeros(10)), 10u);
  EXPECT_EQ(file->Write(Zeros(10)), 5u);
  EXPECT_EQ(file->LastError(), ENOSPC);
}

TEST_F(FakePlatformTest, InjectedReadRenameAndCreateFaults) {
  const std::string path = Fake.Root() + "r";
  test::WriteFileBytes(path, Zeros(100));
  auto file = Fake.Files.Open(path, TOpenMode::ReadDenyNone);
  Fake.Files.FailReadsAfter(50, EIO);
  std::vector<u8> buffer(40);
  EXPECT_EQ(file->Read(buffer), 40u);
  EXPECT_THROW(file->Read(buffer), EInOutError);

  Fake.Files.FailRenames(1, EXDEV);
  EXPECT_FALSE(Fake.Files.RenameFile(path, path + "2"));
  EXPECT_EQ(Fake.Files.LastError(), EXDEV);
  EXPECT_TRUE(Fake.Files.RenameFile(path, path + "2"));
  ASSERT_EQ(Fake.Files.Renamed.size(), 1u);

  Fake.Files.DenyCreateBelow = Fake.Root() + "locked";
  test::MakeFolders(Fake.Root() + "locked");
  EXPECT_THROW(Fake.Files.Open(Fake.Root() + "locked/x", TOpenMode::Create), EFCreateError);
  EXPECT_THROW(Fake.Files.CreateUniqueFile(Fake.Root() + "locked", "VLZ"), EFCreateError);
}

TEST_F(FakePlatformTest, KeepsTheArchiveBitThatLinuxDoesNot) {
  const std::string path = Fake.Root() + "flagged";
  test::WriteFileText(path, "x");
  EXPECT_TRUE(Fake.Files.Stat(path)->Attributes & faAttr::Archive);
  ASSERT_TRUE(Fake.Files.SetAttributes(path, faAttr::Hidden));
  EXPECT_EQ(Fake.Files.Stat(path)->Attributes, faAttr::Hidden);
  ASSERT_TRUE(Fake.Files.RenameFile(path, path + ".moved"));
  EXPECT_EQ(Fake.Files.Stat(path + ".moved")->Attributes, faAttr::Hidden);
}

TEST_F(FakePlatformTest, ClockAndRandomAreRepeatable) {
  const TFileTime t = Fake.Clock.Now();
  EXPECT_EQ(Fake.Clock.Now(), t);
  Fake.Clock.Time += std::chrono::hours(1);
  EXPECT_EQ(Fake.Clock.Now() - t, std::chrono::hours(1));
  TFakeRandom a, b;
  std::vector<u8> x(16), y(16);
  a.Fill(x);
  b.Fill(y);
  EXPECT_EQ(x, y);
  EXPECT_EQ(a.Given.size(), 16u);
}

}  // namespace
}  // namespace vz
