// The reader's catalogue: extra fields and comments stay in the archive
// until asked for, the rows stand in the order of the local headers
// whatever the directory's order, and declared counts allocate nothing the
// file does not hold.
#include "tests/engine/reader/ExtractFixture.h"
#include "tests/support/ZipBuilder.h"

namespace vz {
namespace {

using test::TBuildMember;
using test::TZipBuilder;

const std::vector<u8> kTimeField = {0x55, 0x54, 5, 0, 1, 0x10, 0x20, 0x30, 0x40};
const std::vector<u8> kAesField = {0x01, 0x99, 7, 0, 2, 0, 'A', 'E', 3, 8, 0};

class CatalogueRead : public test::TExtractFixture {
 protected:
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (int i = 0; i < Engine.Count(); ++i) out.push_back(Engine.FullName(i));
    return out;
  }
};

TEST_F(CatalogueRead, ExtraFieldsAndCommentsAreReadWhenAskedFor) {
  TBuildMember z = test::StoredMember("z.txt", "zz");
  z.CentralExtra = kTimeField;
  z.Comment = "last by name";
  TBuildMember m = test::StoredMember("m.txt", "mm");
  TBuildMember a = test::StoredMember("a.txt", "aa");
  a.Method = kMethodAes;
  a.Flags = kFlagEncrypted;
  a.CentralExtra = kAesField;
  a.CentralExtra.insert(a.CentralExtra.end(), kTimeField.begin(), kTimeField.end());
  a.Comment = "first by name";
  Open(TZipBuilder::Archive({z, m, a}));
  Engine.SortMode = TZipSortMode::ByName;
  Engine.ReadZip();
  ASSERT_EQ(Names(), (std::vector<std::string>{"a.txt", "m.txt", "z.txt"}));
  // Not at hand, but read from the record.
  EXPECT_EQ(Engine.Entry(2).ExtraFieldLength, kTimeField.size());
  EXPECT_TRUE(Engine.Entry(2).CentralExtra.empty());
  EXPECT_EQ(Engine.CentralExtra(2), kTimeField);
  EXPECT_TRUE(Engine.CentralExtra(1).empty());
  // An AES member's field is kept: it cannot be deciphered without.
  EXPECT_EQ(Engine.Entry(0).CentralExtra, a.CentralExtra);
  EXPECT_EQ(Engine.CentralExtra(0), a.CentralExtra);
  EXPECT_EQ(Engine.EncryptionName(0), "AES-256");
  EXPECT_EQ(Engine.MethodName(0), "Deflated");
  // Comments by view position, kept once loaded.
  EXPECT_FALSE(Engine.Entry(2).FileComment);
  EXPECT_EQ(Engine.FileComment(2), "last by name");
  EXPECT_EQ(Engine.Entry(2).FileComment, "last by name");
  EXPECT_EQ(Engine.FileComment(0), "first by name");
  EXPECT_EQ(Engine.FileComment(1), "");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "m.txt", "z.txt"}));
  EXPECT_EQ(Engine.Entry(2).ExtraFieldLength, kTimeField.size());
}

TEST_F(CatalogueRead, RowsFollowTheLocalHeadersWhateverTheDirectorysOrder) {
  TZipBuilder b;
  const TBuildMember a = test::StoredMember("a", "first");
  const TBuildMember c = test::StoredMember("c", "second");
  const u32 atA = b.AddLocal(a);
  const u32 atC = b.AddLocal(c);
  const u32 central = b.Position();
  TBuildMember shared = a;  // a second record for a's data
  shared.Name = "b";
  b.AddCentral(c, atC);
  b.AddCentral(a, atA);
  b.AddCentral(shared, atA);
  b.AddEnd({}, 3, central, b.Position() - central);
  Open(b.Bytes);
  Engine.ReadZip();
  // Of two records for one header the later comes first, as ever.
  EXPECT_EQ(Names(), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(Engine.Entry(2).RelativeOffset, atC);
  Engine.SortMode = TZipSortMode::ByName;
  Engine.ClearZip();
  Open(b.Bytes);
  Engine.ReadZip();
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Engine.UncompressedSize(2), 6u);
}

struct THostileCount {
  const char* Name;
  u16 Declared;
  u32 DirectorySize;  // 0: the real one
  bool Rebuilt;
};

class HostileCount : public CatalogueRead, public ::testing::WithParamInterface<THostileCount> {};

TEST_P(HostileCount, ListsWhatTheFileHolds) {
  const THostileCount& c = GetParam();
  TZipBuilder b;
  std::vector<TBuildMember> members;
  std::vector<u32> offsets;
  for (const char* name : {"one", "two", "three"}) {
    members.push_back(test::StoredMember(name, name));
    offsets.push_back(b.AddLocal(members.back()));
  }
  const u32 central = b.Position();
  for (std::size_t i = 0; i < members.size(); ++i) b.AddCentral(members[i], offsets[i]);
  test::TEndFields end;
  end.TotalEntries = end.EntriesThisDisk = c.Declared;
  if (c.DirectorySize != 0) end.CentralSize = c.DirectorySize;
  b.AddEnd(end, 3, central, b.Position() - central);
  Open(b.Bytes);
  Engine.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  Engine.ReadZip();
  EXPECT_EQ(Names(), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(Engine.Rebuilt(), c.Rebuilt);
}

INSTANTIATE_TEST_SUITE_P(
    CatalogueRead, HostileCount,
    ::testing::Values(THostileCount{"MoreThanTheDirectoryHolds", 65534, 0, true},
                      THostileCount{"AndADirectoryOf4GiB", 65534, 0xFFFFFF00, true},
                      THostileCount{"TrueCountInADirectoryOf4GiB", 3, 0xFFFFFF00, false}),
    [](const auto& c) { return std::string(c.param.Name); });

}  // namespace
}  // namespace vz
