// What testing an archive finds before decoding (methods, local headers
// against the directory), and the private folder members are decoded into.
#include <sys/stat.h>

#include "app/core/MemberCheck.h"
#include "app/core/PrivateFolder.h"
#include "engine/format/ByteOrder.h"
#include "tests/app/AppFixture.h"
#include "tests/support/TestFiles.h"
#include "tests/support/ZipBuilder.h"

namespace vz::test {
namespace {

TBuildMember Member(const std::string& name, const std::string& data) {
  TBuildMember member;
  member.Name = name;
  member.Data.assign(data.begin(), data.end());
  return member;
}

struct THeaderCase {
  const char* Name;
  std::size_t Offset;  // of the local header field changed in a.txt's record
  std::vector<u8> Bytes;
  std::string Reason;  // "" when nothing disagrees
};

class HeaderDisagreements : public AppFixture, public ::testing::WithParamInterface<THeaderCase> {};

// a.txt holds "abcd" at offset 0; its local header's fields are changed
// one at a time.
TEST_P(HeaderDisagreements, AreFoundFieldByField) {
  const THeaderCase& c = GetParam();
  auto bytes = TZipBuilder::Archive({Member("a.txt", "abcd"), Member("b.txt", "b")});
  std::copy(c.Bytes.begin(), c.Bytes.end(), bytes.begin() + static_cast<long>(c.Offset));
  WriteFileBytes(Path("h.zip"), bytes);
  TUnZipEngine engine(Fake.Services());
  engine.SetZipName(Path("h.zip"));
  engine.ReadZip();
  const auto faults = CheckMembers(Fake.Files, engine);
  if (c.Reason.empty()) {
    EXPECT_TRUE(faults.empty());
    return;
  }
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].Index, 0);
  EXPECT_EQ(faults[0].Reason, c.Reason);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, HeaderDisagreements,
    ::testing::Values(
        THeaderCase{"Agreeing", 0, {}, ""},
        THeaderCase{"Name", 30, {'A'}, "the local header names it A.txt"},
        THeaderCase{"Method", 8, {8}, "the local header gives method 8, the directory 0"},
        THeaderCase{"Encryption", 6, {1}, "the local header says it is encrypted"},
        THeaderCase{"Crc",
                    14,
                    {0, 0, 0, 0},
                    "the local header gives CRC 00000000, the directory "
                    "ED82CD11"},
        THeaderCase{"CompressedSize",
                    18,
                    {9},
                    "the local header gives compressed size 9, the "
                    "directory 4"},
        // With a data descriptor the header leaves CRC and sizes to it.
        THeaderCase{"DescriptorFlag", 6, {8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, ""},
        THeaderCase{"NoHeaderThere",
                    0,
                    {'P', 'K', 9, 9},
                    "no local header where the directory "
                    "places it"}),
    [](const auto& test) { return std::string(test.param.Name); });

// Saturated size fields are compared through their Zip64 fields, past 4 GiB.
TEST_F(AppFixture, Zip64SizesOfTheLocalHeaderAreCompared) {
  const auto archive = [&](u64 localSize) {
    TBuildMember m = Member("a.txt", "abcd");
    m.UncompressedSize = m.CompressedSize = 0xFFFFFFFF;
    m.LocalExtra = TZipBuilder::Zip64Field({localSize, 4});
    m.CentralExtra = TZipBuilder::Zip64Field({4, 4});
    WriteFileBytes(Path("z.zip"), TZipBuilder::Archive({m}));
    TUnZipEngine engine(Fake.Services());
    engine.SetZipName(Path("z.zip"));
    engine.ReadZip();
    return CheckMembers(Fake.Files, engine);
  };
  EXPECT_TRUE(archive(4).empty());
  const auto faults = archive(5'000'000'000);
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].Reason, "the local header gives uncompressed size 5000000000, the directory 4");
}

TEST_F(AppFixture, PrivateFolderIsTheUsersAloneAndGoesWithEverythingInIt) {
  std::string path;
  {
    TPrivateFolder folder(Fake.Files);
    path = folder.Path();
    ASSERT_EQ(path.back(), '/');
    EXPECT_EQ(path.rfind(Fake.Files.TempFolder(), 0), 0u);
    EXPECT_EQ(FileMode(path), 0700u);
    MakeFolders(path + "a/b/c");
    WriteFileText(path + "a/b/c/deep.txt", "deep");
    WriteFileText(path + "top.txt", "top");
    // A link to a file outside is removed, never what it points to.
    WriteFileText(Path("outside.txt"), "keep");
    ASSERT_EQ(::symlink(Path("outside.txt").c_str(), (path + "a/link").c_str()), 0);
    ASSERT_EQ(::symlink(Fake.Root().c_str(), (path + "a/folderlink").c_str()), 0);
  }
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(ReadFileText(Path("outside.txt")), "keep");
  std::vector<TDirEntry> left;
  Fake.Files.ListFolder(Fake.Files.TempFolder(), left);
  EXPECT_TRUE(left.empty());
}

}  // namespace
}  // namespace vz::test
