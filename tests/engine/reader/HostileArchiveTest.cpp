// Damaged and hostile directories: the reader never crashes, never reads out
// of bounds, always finishes, and reports failure as one of its errors.
#include <random>

#include "engine/reader/UnZipEngine.h"
#include "engine/support/Exceptions.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/ZipBuilder.h"

namespace vz {
namespace {

using test::TBuildMember;
using test::TEndFields;
using test::TZipBuilder;

TBuildMember Member(const std::string& name, const std::string& data) {
  TBuildMember m;
  m.Name = name;
  m.Data.assign(data.begin(), data.end());
  return m;
}

class HostileArchiveTest : public test::TEngineFixture {
 protected:
  // Opens, lists everything including comments; returns the entry count or
  // -1 when the reader refused the archive with one of its errors.
  int ListAll(const std::vector<u8>& bytes) {
    TUnZipEngine engine(Services());
    engine.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
    engine.SetZipName(Put("hostile.zip", bytes));
    try {
      engine.ReadZip();
      for (int i = 0; i < engine.Count(); ++i) {
        (void)engine.FullName(i);
        (void)engine.FileComment(i);
        (void)engine.DateTime(i);
      }
      (void)engine.ZipComment();
      return engine.Count();
    } catch (const EVarnelError&) {
      return -1;
    }
  }

  std::vector<u8> Plain() {
    return TZipBuilder::Archive({Member("one", "1111"), Member("two", "22")}, "cmt");
  }
};

TEST_F(HostileArchiveTest, EntryCountLargerThanTheFileCouldHold) {
  TZipBuilder b;
  const u32 first = b.AddLocal(Member("one", "1"));
  const u32 central = b.Position();
  b.AddCentral(Member("one", "1"), first);
  TEndFields end;
  end.TotalEntries = 65535;
  end.EntriesThisDisk = 65535;
  b.AddEnd(end, 1, central, b.Position() - central);
  EXPECT_EQ(ListAll(b.Bytes), 1);
}

TEST_F(HostileArchiveTest, TwoEntriesAtOneOffsetAreListed) {
  // Members that share their data are refused when extracted, not when read.
  TZipBuilder b;
  const u32 first = b.AddLocal(Member("one", "1"));
  const u32 central = b.Position();
  b.AddCentral(Member("one", "1"), first);
  b.AddCentral(Member("again", "1"), first);
  b.AddEnd(TEndFields(), 2, central, b.Position() - central);
  EXPECT_EQ(ListAll(b.Bytes), 2);
}

TEST_F(HostileArchiveTest, LengthsAndOffsetsPastTheEnd) {
  // Name, extra and comment lengths that run past the file.
  {
    TBuildMember m = Member("n", "x");
    TZipBuilder b;
    b.AddLocal(m);
    const u32 central = b.Position();
    b.AddCentral(m, 0);
    b.Bytes[central + 28] = 0xFF;  // name length 0xFF01
    b.Bytes[central + 29] = 0xFF;
    b.AddEnd(TEndFields(), 1, central, 60);
    EXPECT_GE(ListAll(b.Bytes), 0);
  }
  {
    TBuildMember m = Member("e", "x");
    m.CentralExtra = {1, 0, 200, 0};  // a sub-field claiming 200 bytes
    TZipBuilder b;
    b.AddLocal(m);
    const u32 central = b.Position();
    b.AddCentral(m, 0);
    b.Bytes[central + 30] = 0xF0;  // extra length far past the end
    b.Bytes[central + 31] = 0xFF;
    b.AddEnd(TEndFields(), 1, central, 60);
    EXPECT_GE(ListAll(b.Bytes), 0);
  }
  {
    TBuildMember m = Member("c", "x");
    TZipBuilder b;
    b.AddLocal(m);
    const u32 central = b.Position();
    b.AddCentral(m, 0);
    b.Bytes[central + 32] = 0xFF;  // comment length 0xFFFF, bytes missing
    b.Bytes[central + 33] = 0xFF;
    b.AddEnd(TEndFields(), 1, central, 60);
    EXPECT_GE(ListAll(b.Bytes), 0);
  }
  {
    TEndFields end;
    end.CentralOffset = 0xFFFFFFF0u;  // central directory beyond the file
    TZipBuilder b;
    b.AddLocal(Member("x", "y"));
    b.AddEnd(end, 1, 0, 0);
    EXPECT_EQ(ListAll(b.Bytes), 1);  // rebuilt from the local header
  }
  {
    TBuildMember m = Member("far", "x");
    TZipBuilder b;
    b.AddLocal(m);
    const u32 central = b.Position();
    b.AddCentral(m, 0x7FFFFFF0u);  // local header beyond the file
    b.AddEnd(TEndFields(), 1, central, 50);
    EXPECT_EQ(ListAll(b.Bytes), 1);  // listing still works
  }
  {
    TEndFields end;
    end.CommentLength = 0xFFFF;  // comment longer than the file
    TZipBuilder b;
    b.AddEnd(end, 0, 0, 0);
    EXPECT_EQ(ListAll(b.Bytes), 0);
  }
}

TEST_F(HostileArchiveTest, DirectoryThatBreaksOffIsRecoveredFromLocalHeaders) {
  auto bytes = Plain();
  // The second central record's signature is destroyed.
  const std::size_t second = 2 * 30 + 3 + 4 + 3 + 2 + 46 + 3;
  ASSERT_EQ(bytes[second], 'P');
  bytes[second] = 'Q';
  TUnZipEngine engine(Services());
  engine.SetZipName(Put("broken.zip", bytes));
  engine.ReadZip();
  EXPECT_TRUE(engine.Rebuilt());
  ASSERT_EQ(engine.Count(), 2);
  EXPECT_EQ(engine.FullName(1), "two");
}

TEST_F(HostileArchiveTest, LongCommentsSeveralSignaturesAndTrailingJunk) {
  const std::string longComment(65535, 'c');
  auto withComment = TZipBuilder::Archive({Member("a", "1")}, longComment);
  EXPECT_EQ(ListAll(withComment), 1);
  auto junk = Plain();
  junk.insert(junk.end(), 1000, 'j');
  EXPECT_EQ(ListAll(junk), 2);
  auto twice = Plain();
  const auto again = Plain();
  twice.insert(twice.end(), again.end() - 25, again.end());  // a second end record
  EXPECT_GE(ListAll(twice), 0);
}

TEST_F(HostileArchiveTest, EmptyAndTinyFiles) {
  EXPECT_EQ(ListAll({}), 0);
  EXPECT_EQ(ListAll({'P', 'K', 5, 6}), 0);
  EXPECT_EQ(ListAll({'P', 'K', 3, 4, 0, 0}), 0);
}

// Damage to the Zip64 records: end record, locator, and the fields of
// saturated central sizes and offsets, as well as plain archives.
class RandomDamage : public HostileArchiveTest, public testing::WithParamInterface<bool> {};

TEST_P(RandomDamage, NeverCrashes) {
  std::mt19937 rng(1234);
  TBuildMember withExtra = Member("dir/file.txt", "some data here");
  withExtra.LocalExtra = {0x55, 0x54, 5, 0, 1, 2, 3, 4, 5};
  withExtra.Comment = "a member comment";
  std::vector<TBuildMember> members = {withExtra, Member("b", "2"), Member("c/", "")};
  if (GetParam()) {
    members[1].UncompressedSize = members[1].CompressedSize = members[1].OffsetField = 0xFFFFFFFF;
    members[1].CentralExtra = TZipBuilder::Zip64Field({1, 1, 30 + 12 + 9 + 14});
  }
  const auto base =
      GetParam() ? TZipBuilder::Zip64Archive(members) : TZipBuilder::Archive(members, "zc");
  ASSERT_EQ(ListAll(base), 3);
  for (int round = 0; round < 400; ++round) {
    auto bytes = base;
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits; ++e) bytes[rng() % bytes.size()] = static_cast<u8>(rng());
    if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
    // Every entry comes from a record of at least 30 bytes in the file.
    EXPECT_LE(ListAll(bytes), static_cast<int>(bytes.size() / 30));
  }
}

INSTANTIATE_TEST_SUITE_P(Archives, RandomDamage, testing::Values(false, true),
                         [](const auto& param) { return param.param ? "Zip64" : "Plain"; });

}  // namespace
}  // namespace vz
