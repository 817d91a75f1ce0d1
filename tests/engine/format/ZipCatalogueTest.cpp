// The compact catalogue gives back every entry as it was stored: rows for
// the ordinary ones, whole entries for those that do not fit a row, and no
// extra field it need not keep.
#include "engine/format/ZipCatalogue.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/codecs/WinZipAes.h"
#include "engine/format/ExtraFields.h"
#include "engine/support/Exceptions.h"
#include "tests/support/ZipBuilder.h"

namespace vz {
namespace {

constexpr u16 kDos = 0x0014;
const std::vector<u8> kTimeField = {0x55, 0x54, 5, 0, 1, 0x10, 0x20, 0x30, 0x40};

// An entry as the reader makes it from a central record.
TZipHeaderInfo Read(const test::TBuildMember& m, u32 offset) {
  test::TZipBuilder b;
  b.AddCentral(m, offset);
  TMemoryStream stream;
  stream.WriteBuffer(b.Bytes);
  stream.SetPosition(0);
  TZipHeaderInfo e;
  EXPECT_TRUE(e.ReadCentral(stream, {}));
  return e;
}

test::TBuildMember Member(const std::string& name) {
  test::TBuildMember m;
  m.Name = name;
  m.Data = {1, 2, 3};
  m.Method = 8;
  m.Crc = 0xCAFEBABE;
  m.UncompressedSize = 70000;
  m.InternalAttributes = 1;
  m.ExternalAttributes = 0x81A40000;
  m.VersionMadeBy = 0x031E;
  return m;
}

struct TKeepCase {
  const char* Name;
  std::function<TZipHeaderInfo()> Make;
  bool ExtraKept;  // the record's extra field is in the entry given back
};

void ExpectSame(const TZipHeaderInfo& got, const TZipHeaderInfo& want, bool extraKept) {
  EXPECT_EQ(got.Directory(), want.Directory());
  EXPECT_EQ(got.Filename(), want.Filename());
  EXPECT_EQ(got.StoredName(), want.StoredName());
  EXPECT_EQ(got.FileComment, want.FileComment);
  EXPECT_EQ(got.CentralExtra, extraKept ? want.CentralExtra : std::vector<u8>());
  EXPECT_EQ(got.Selected, want.Selected);
  EXPECT_EQ(got.LocalZip64, want.LocalZip64);
  EXPECT_EQ(got.CentralOffset, want.CentralOffset);
  EXPECT_EQ(got.ExtraFieldLength, want.ExtraFieldLength);
  // Every other field, and the name's bytes and flags, as written again.
  TZipHeaderInfo a = got;
  TZipHeaderInfo b = want;
  b.CentralExtra = a.CentralExtra;
  EXPECT_EQ(a.CentralRecord(), b.CentralRecord());
}

class CatalogueKeeps : public ::testing::TestWithParam<TKeepCase> {};

TEST_P(CatalogueKeeps, EntriesComeBackAsTheyWere) {
  const TKeepCase& c = GetParam();
  const TZipHeaderInfo want = c.Make();
  TZipCatalogue catalogue;
  catalogue.Append(Read(Member("first.txt"), 0));
  const int row = catalogue.Append(want);
  catalogue.Append(Read(Member("last.txt"), 900));
  ExpectSame(catalogue.Entry(row), want, c.ExtraKept);
  EXPECT_EQ(catalogue.FullName(row), want.FullName());
  EXPECT_EQ(catalogue.Directory(row), want.Directory());
  EXPECT_EQ(catalogue.Filename(row), want.Filename());
  EXPECT_EQ(catalogue.CompressedSize(row), want.CompressedSize);
  EXPECT_EQ(catalogue.UncompressedSize(row), want.UncompressedSize);
  EXPECT_EQ(catalogue.RelativeOffset(row), want.RelativeOffset);
  EXPECT_EQ(catalogue.DiskNumberStart(row), want.DiskNumberStart);
  EXPECT_EQ(catalogue.FileDate(row), want.FileDate);
  EXPECT_EQ(catalogue.Crc32(row), want.Crc32);
  EXPECT_EQ(catalogue.Flags(row), want.Flags);
  EXPECT_EQ(catalogue.CompressionMethod(row), want.CompressionMethod);
  EXPECT_EQ(catalogue.HasComment(row), want.HasComment());
  EXPECT_EQ(catalogue.Selected(row), want.Selected);
  // Its neighbours are untouched.
  EXPECT_EQ(catalogue.FullName(row - 1), "first.txt");
  EXPECT_EQ(catalogue.FullName(row + 1), "last.txt");
  EXPECT_EQ(catalogue.RelativeOffset(row + 1), 900u);
  // And so it stays when it is put back in place of another.
  catalogue.Replace(row + 1, want);
  ExpectSame(catalogue.Entry(row + 1), want, c.ExtraKept);
  catalogue.Replace(row, catalogue.Entry(row - 1));
  EXPECT_EQ(catalogue.FullName(row), "first.txt");
  EXPECT_EQ(catalogue.RelativeOffset(row), 0u);
}

TZipHeaderInfo Plain() {
  test::TBuildMember m = Member("dir/sub/file.txt");
  m.CentralExtra = kTimeField;
  m.Comment = "not loaded";
  m.Disk = 3;
  TZipHeaderInfo e = Read(m, 4321);
  e.CentralOffset = 0xFFFFFFFF;  // the largest that fits a row
  return e;
}

TZipHeaderInfo CodePage() {
  test::TBuildMember m = Member(
      "caf\x82/\x81"
      "ber.txt");  // café/über in code page 437
  m.VersionMadeBy = kDos;
  return Read(m, 77);
}

TZipHeaderInfo Zip64(u64 compressed, u64 size, u64 offset, u64 central) {
  test::TBuildMember m = Member("big.iso");
  m.CompressedSize = m.UncompressedSize = m.OffsetField = 0xFFFFFFFF;
  m.CentralExtra = test::TZipBuilder::Zip64Field({size, compressed, offset});
  TZipHeaderInfo e = Read(m, 0);
  e.CentralOffset = central;
  return e;
}

TZipHeaderInfo Aes() {
  test::TBuildMember m = Member("secret.txt");
  m.Method = kMethodAes;
  m.Flags = kFlagEncrypted;
  m.CentralExtra = {0x01, 0x99, 7, 0, 2, 0, 'A', 'E', 3, 8, 0};
  m.CentralExtra.insert(m.CentralExtra.end(), kTimeField.begin(), kTimeField.end());
  return Read(m, 10);
}

TZipHeaderInfo UnicodeName() {
  test::TBuildMember m = Member("caf\x82.txt");
  m.VersionMadeBy = kDos;
  const std::string utf8 = "caf\xC3\xA9.txt";
  std::vector<u8> field = {0x75, 0x70, static_cast<u8>(5 + utf8.size()), 0, 1};
  const u32 crc = 0xA7A5A2D4;  // of the stored name, checked by nobody here
  for (int i = 0; i < 4; ++i) field.push_back(static_cast<u8>(crc >> (8 * i)));
  field.insert(field.end(), utf8.begin(), utf8.end());
  m.CentralExtra = field;
  return Read(m, 10);
}

TZipHeaderInfo LoadedComment() {
  test::TBuildMember m = Member("noted.txt");
  m.Comment = "a comment";
  TZipHeaderInfo e = Read(m, 10);
  e.FileComment = "a comment";
  return e;
}

TZipHeaderInfo LongName() {
  // Decoded from code page 437, 40,000 stored bytes become 80,000.
  test::TBuildMember m = Member(std::string(40000, '\x82'));
  m.VersionMadeBy = kDos;
  return Read(m, 10);
}

TZipHeaderInfo Marked() {
  TZipHeaderInfo e;
  e.SetDirectory("new");
  e.SetFilename("\xC3\xA9t\xC3\xA9.txt");  // named here: stored as its own bytes
  e.Selected = true;
  e.LocalZip64 = true;
  e.UncompressedSize = 12;
  return e;
}

INSTANTIATE_TEST_SUITE_P(
    ZipCatalogue, CatalogueKeeps,
    ::testing::Values(
        TKeepCase{"PlainRowDropsItsExtraField", Plain, false},
        TKeepCase{"CodePageNameKeepsItsStoredBytes", CodePage, false},
        TKeepCase{"CompressedSizePast4GiB", [] { return Zip64(u64{5} << 32, 7, 8, 9); }, true},
        TKeepCase{"SizePast4GiB", [] { return Zip64(7, 0x100000000, 8, 9); }, true},
        TKeepCase{"OffsetPast4GiB", [] { return Zip64(7, 7, (u64{1} << 40) + 3, 9); }, true},
        TKeepCase{"CentralRecordPast4GiB", [] { return Zip64(7, 7, 8, u64{6} << 32); }, true},
        TKeepCase{"AesFieldKeptAtHand", Aes, true},
        TKeepCase{"UnicodeNameFieldKeptAtHand", UnicodeName, true},
        TKeepCase{"LoadedCommentKept", LoadedComment, false},
        TKeepCase{"NameLongerThanARowHolds", LongName, false},
        TKeepCase{"MarksAndOwnName", Marked, false}),
    [](const auto& c) { return std::string(c.param.Name); });

TEST(ZipCatalogue, FindsRowsByPosition) {
  TZipCatalogue catalogue;
  const u64 far = (u64{1} << 33) + 5;
  for (const auto& [disk, offset] :
       std::vector<std::pair<u16, u64>>{{0, 0}, {0, 100}, {0, far}, {1, 0}, {1, 50}}) {
    TZipHeaderInfo e;
    e.DiskNumberStart = disk;
    e.RelativeOffset = offset;
    catalogue.Append(e);
  }
  EXPECT_EQ(catalogue.FindPosition(0, 100), 1);
  EXPECT_EQ(catalogue.FindPosition(0, far), 2);
  EXPECT_EQ(catalogue.FindPosition(1, 0), 3);
  EXPECT_EQ(catalogue.FindPosition(1, 50), 4);
  EXPECT_EQ(catalogue.FindPosition(0, 50), -1);
  EXPECT_EQ(catalogue.FindPosition(2, 0), -1);
  EXPECT_EQ(catalogue.FindPosition(0, far - (u64{1} << 32)), -1);  // the same low 32 bits
}

TEST(ZipCatalogue, MarksAndIndicesOutOfRange) {
  TZipCatalogue catalogue;
  catalogue.Append(Plain());
  catalogue.Append(LoadedComment());
  for (int row = 0; row < 2; ++row) {
    catalogue.SetSelected(row, true);
    EXPECT_TRUE(catalogue.Entry(row).Selected);
    catalogue.SetSelected(row, false);
    EXPECT_FALSE(catalogue.Selected(row));
  }
  EXPECT_THROW(catalogue.Entry(2), EListError);
  EXPECT_THROW(catalogue.SetSelected(-1, true), EListError);
  EXPECT_THROW(catalogue.FullName(2), EListError);
}

}  // namespace
}  // namespace vz
