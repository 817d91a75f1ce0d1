// The Zip64 extra field, the Zip64 end record and its locator: values past
// 32 bits round-trip, records that need none stay plain, and hostile values
// end in EDamagedRecord.
#include <gtest/gtest.h>

#include "engine/format/ByteOrder.h"
#include "engine/format/ExtraFields.h"
#include "engine/format/ZipHeaderInfo.h"
#include "engine/support/Exceptions.h"
#include "tests/support/ZipBuilder.h"

namespace vz {
namespace {

using test::TZipBuilder;

constexpr u64 kBig = 0x123456789ull;

struct TFieldCase {
  const char* Name;
  TZip64Need Need;
  std::vector<u64> Stored;  // the field's 8-byte values
  std::optional<u32> Disk;
  bool Local;
  bool Ok;
  TZip64Values Expected;
};

class Zip64FieldTest : public testing::TestWithParam<TFieldCase> {};

TEST_P(Zip64FieldTest, TakesOnlyTheSaturatedValuesInOrder) {
  const TFieldCase& c = GetParam();
  // Another field before it must be stepped over.
  std::vector<u8> extra = {0x55, 0x54, 1, 0, 7};
  const auto field = TZipBuilder::Zip64Field(c.Stored, c.Disk);
  extra.insert(extra.end(), field.begin(), field.end());
  TZip64Values values;
  ASSERT_EQ(ReadZip64ExtraField(extra, c.Need, values, c.Local), c.Ok);
  if (!c.Ok) return;
  EXPECT_EQ(values.Uncompressed, c.Expected.Uncompressed);
  EXPECT_EQ(values.Compressed, c.Expected.Compressed);
  EXPECT_EQ(values.Offset, c.Expected.Offset);
  EXPECT_EQ(values.Disk, c.Expected.Disk);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Zip64FieldTest,
    testing::Values(
        TFieldCase{"AllFour", {true, true, true, true}, {1, 2, 3}, 4, false, true, {1, 2, 3, 4}},
        TFieldCase{
            "OffsetOnly", {false, false, true, false}, {kBig}, {}, false, true, {0, 0, kBig, 0}},
        TFieldCase{"CompressedAndDisk",
                   {false, true, false, true},
                   {kBig},
                   9,
                   false,
                   true,
                   {0, kBig, 0, 9}},
        TFieldCase{"ShorterThanNeeded", {true, true, true, false}, {1, 2}, {}, false, false, {}},
        TFieldCase{"DiskMissing", {false, false, false, true}, {}, {}, false, false, {}},
        // A local header's field holds both sizes even when one is saturated.
        TFieldCase{"LocalHoldsBoth",
                   {false, true, false, false},
                   {5, kBig},
                   {},
                   true,
                   true,
                   {5, kBig, 0, 0}},
        TFieldCase{"LocalWithOneValue",
                   {false, true, false, false},
                   {kBig},
                   {},
                   true,
                   true,
                   {0, kBig, 0, 0}},
        TFieldCase{"NothingNeeded", {}, {}, {}, false, true, {}}),
    [](const auto& param) { return std::string(param.param.Name); });

TEST(Zip64Field, MissingFieldAndOneCutShortAreRefused) {
  TZip64Values values;
  EXPECT_FALSE(ReadZip64ExtraField({}, {true, false, false, false}, values));
  std::vector<u8> cut = TZipBuilder::Zip64Field({1, 2});
  cut.resize(cut.size() - 1);  // its length runs past the block
  EXPECT_FALSE(ReadZip64ExtraField(cut, {true, false, false, false}, values));
}

TEST(Zip64Field, RemovedFromABlockThatKeepsItsOtherFields) {
  std::vector<u8> extra = TZipBuilder::Zip64Field({1});
  const std::vector<u8> other = {0x55, 0x54, 1, 0, 7};
  extra.insert(extra.end(), other.begin(), other.end());
  EXPECT_EQ(WithoutZip64ExtraField(extra), other);
  EXPECT_EQ(WithoutZip64ExtraField(other), other);
}

TZipHeaderInfo EntryWith(u64 size, u64 compressed, u64 offset) {
  TZipHeaderInfo e;
  e.SetFilename("big.bin");
  e.UncompressedSize = size;
  e.CompressedSize = compressed;
  e.RelativeOffset = offset;
  return e;
}

struct TRoundTrip {
  const char* Name;
  u64 Size;
  u64 Compressed;
  u64 Offset;
  u16 FieldBytes;  // of the central record's Zip64 field, data only
};

class Zip64CentralTest : public testing::TestWithParam<TRoundTrip> {};

TEST_P(Zip64CentralTest, SaturatesExactlyWhatDoesNotFit) {
  const TRoundTrip& c = GetParam();
  TZipHeaderInfo e = EntryWith(c.Size, c.Compressed, c.Offset);
  TMemoryStream stream;
  e.WriteCentral(stream);
  const auto& bytes = stream.Memory();
  ASSERT_EQ(bytes.size(), kCentralHeaderSize + 7 + (c.FieldBytes ? 4u + c.FieldBytes : 0u));
  EXPECT_EQ(GetLE16(bytes, 6), c.FieldBytes ? kVersionNeededZip64 : kVersionNeeded);
  EXPECT_EQ(GetLE32(bytes, 20) == kSaturated32, c.Compressed >= kSaturated32);
  EXPECT_EQ(GetLE32(bytes, 24) == kSaturated32, c.Size >= kSaturated32);
  EXPECT_EQ(GetLE32(bytes, 42) == kSaturated32, c.Offset >= kSaturated32);
  stream.SetPosition(0);
  TZipHeaderInfo r;
  ASSERT_TRUE(r.ReadCentral(stream, {}));
  EXPECT_EQ(r.UncompressedSize, c.Size);
  EXPECT_EQ(r.CompressedSize, c.Compressed);
  EXPECT_EQ(r.RelativeOffset, c.Offset);
}

INSTANTIATE_TEST_SUITE_P(Cases, Zip64CentralTest,
                         testing::Values(TRoundTrip{"Plain", 100, 50, 0xFFFFFFFE, 0},
                                         TRoundTrip{"SizeAt4GiB", 0xFFFFFFFF, 10, 0, 8},
                                         TRoundTrip{"BothSizes", kBig, kBig - 5, 3, 16},
                                         TRoundTrip{"OffsetOnly", 1, 1, kBig, 8},
                                         TRoundTrip{"All", kBig, kBig, kBig, 24}),
                         [](const auto& param) { return std::string(param.param.Name); });

TEST(Zip64Local, ReservedHeaderHoldsBothSizesAndReadsBack) {
  for (const u64 size : {u64{12}, kBig}) {
    TZipHeaderInfo e = EntryWith(size, size / 2, 0);
    e.LocalZip64 = true;
    TMemoryStream stream;
    e.WriteLocal(stream);
    EXPECT_EQ(e.ExtraFieldLength, 20);
    EXPECT_EQ(GetLE16(stream.Memory(), 4), kVersionNeededZip64);
    EXPECT_EQ(GetLE32(stream.Memory(), 18), kSaturated32);
    stream.SetPosition(0);
    TZipHeaderInfo r;
    ASSERT_TRUE(r.ReadLocal(stream, {}, true));
    EXPECT_TRUE(r.LocalZip64);
    EXPECT_EQ(r.UncompressedSize, size);
    EXPECT_EQ(r.CompressedSize, size / 2);
    EXPECT_EQ(r.DescriptorSize(), kZip64DescriptorSize);
    EXPECT_EQ(stream.Position(), static_cast<i64>(stream.Size()));
  }
}

TEST(Zip64Local, SizeThatOutgrowsAPlainHeaderIsRefused) {
  TZipHeaderInfo e = EntryWith(kBig, 1, 0);
  TMemoryStream stream;
  EXPECT_THROW(e.WriteLocal(stream), EZipLimitError);
}

TEST(Zip64Central, SaturatedFieldWithoutItsValueIsADamagedRecord) {
  TZipHeaderInfo e = EntryWith(kBig, 5, 0);
  TMemoryStream stream;
  e.WriteCentral(stream);
  std::vector<u8> bytes = stream.Memory();
  PutLE16(bytes, 30 + 0, 0);  // the extra length: the field is gone
  bytes.resize(kCentralHeaderSize + 7);
  TMemoryStream cut;
  cut.WriteBuffer(bytes);
  cut.SetPosition(0);
  TZipHeaderInfo r;
  EXPECT_THROW(r.ReadCentral(cut, {}), EDamagedRecord);
}

TEST(Zip64End, WrittenOnlyWhenAValueDoesNotFitAndReadBack) {
  TEndCentral plain;
  plain.TotalEntries = plain.EntriesThisDisk = 0xFFFE;
  plain.CentralDirSize = 0xFFFE * 46;
  plain.CentralDirOffset = 0xFFFFFFFE;
  EXPECT_FALSE(plain.NeedsZip64());
  TMemoryStream small;
  plain.WriteTo(small);
  EXPECT_EQ(small.Size(), kEndCentralSize);

  TEndCentral e;
  e.TotalEntries = e.EntriesThisDisk = 70000;
  e.CentralDirSize = 70000 * 50;
  TMemoryStream stream;
  stream.WriteBuffer(std::vector<u8>(e.CentralDirSize, 0));  // where the directory stands
  e.WriteTo(stream);
  EXPECT_EQ(e.Size(), kEndCentralSize + kZip64EndSize + kZip64LocatorSize);
  TEndCentral r;
  ASSERT_TRUE(r.FindIn(stream));
  EXPECT_TRUE(r.Zip64);
  EXPECT_EQ(r.Zip64EndPos, e.CentralDirSize);
  EXPECT_EQ(r.TotalEntries, 70000u);
  EXPECT_EQ(r.EntriesThisDisk, 70000u);
  EXPECT_EQ(r.CentralDirSize, e.CentralDirSize);
  EXPECT_EQ(r.CentralDirOffset, 0u);
  const auto& bytes = stream.Memory();
  EXPECT_EQ(GetLE16(bytes, bytes.size() - 12), 0xFFFF);  // the plain count saturated
}

TEST(Zip64End, FoundBeforeItsLocatorWhenAStubMovedIt) {
  TZipBuilder b;
  b.AppendText(std::string(1000, 's'));  // a stub put in front afterwards
  b.AppendText(std::string(460, 'd'));   // the "directory"
  b.AddZip64End(10, 0, 460, 460);        // the locator still says 460
  b.AddEnd({}, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
  TMemoryStream stream;
  stream.WriteBuffer(b.Bytes);
  TEndCentral r;
  ASSERT_TRUE(r.FindIn(stream));
  EXPECT_EQ(r.Zip64EndPos, 1460u);
  EXPECT_EQ(r.OffsetShift, 1000u);
  EXPECT_EQ(r.CentralDirOffset, 1000u);
  EXPECT_EQ(r.TotalEntries, 10u);
}

struct THostileEnd {
  const char* Name;
  u64 Entries;
  u64 Offset;
  u64 Size;
  std::optional<u64> Locator;
  bool NoRecord = false;  // nothing stands before the locator either
};

class Zip64HostileEndTest : public testing::TestWithParam<THostileEnd> {};

TEST_P(Zip64HostileEndTest, IsADamagedRecord) {
  const THostileEnd& c = GetParam();
  TZipBuilder b;
  b.AppendText(std::string(460, 'd'));
  const u64 record = b.AddZip64End(c.Entries, c.Offset, c.Size, c.Locator);
  if (c.NoRecord) b.Bytes[record] = 'Q';
  b.AddEnd({}, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
  TMemoryStream stream;
  stream.WriteBuffer(b.Bytes);
  TEndCentral r;
  EXPECT_THROW(r.FindIn(stream), EDamagedRecord);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Zip64HostileEndTest,
    testing::Values(THostileEnd{"RecordPastTheFile", 1, 0, 46, 0x7FFFFFFFFFFFull, true},
                    THostileEnd{"LocatorNamesNoRecord", 1, 0, 46, 3, true},
                    THostileEnd{"DirectoryPastTheRecord", 1, 400, 100, {}},
                    THostileEnd{"SizeThatOverflowsTheOffset", 1, ~u64{0} - 10, 100, {}},
                    THostileEnd{"CountTheDirectoryCannotHold", 11, 0, 460, {}},
                    THostileEnd{"HugeCount", ~u64{0}, 0, 460, {}}),
    [](const auto& param) { return std::string(param.param.Name); });

}  // namespace
}  // namespace vz
