// Archives with Zip64 records, built byte by byte: saturated central fields
// taken from the Zip64 field, the Zip64 end record, a stub put in front, the
// 64-bit data descriptor, and hostile Zip64 values, which end in clear
// errors without allocating by what they declare.
#include "tests/engine/reader/ExtractFixture.h"
#include "tests/support/ZipBuilder.h"

namespace vz {
namespace {

using test::TBuildMember;
using test::TZipBuilder;

TBuildMember Stored(const std::string& name, const std::string& data) {
  TBuildMember m;
  m.Name = name;
  m.Data.assign(data.begin(), data.end());
  return m;
}

// A member whose central record saturates both sizes and the offset, as
// Info-ZIP's "zip -fz" and Python's force_zip64 write them.
TBuildMember Wide(const std::string& name, const std::string& data, u64 offset) {
  TBuildMember m = Stored(name, data);
  m.CompressedSize = m.UncompressedSize = m.OffsetField = 0xFFFFFFFF;
  m.LocalExtra = TZipBuilder::Zip64Field({data.size(), data.size()});
  m.CentralExtra = TZipBuilder::Zip64Field({data.size(), data.size(), offset});
  return m;
}

std::vector<u8> WideArchive() {
  // Offsets: the first local header at 0, the second after the first's
  // 30 + 5 + 20 + 5 bytes.
  return TZipBuilder::Zip64Archive({Wide("a.txt", "hello", 0), Wide("b.txt", "world", 60)});
}

class Zip64ReadTest : public test::TExtractFixture {
 protected:
  std::string All() {
    TMemoryStream stream;
    Engine.UnZipToStream(stream, "*");
    const auto& bytes = stream.Memory();
    return {bytes.begin(), bytes.end()};
  }
};

TEST_F(Zip64ReadTest, SaturatedFieldsAndTheEndRecordAreReadFromTheirZip64Records) {
  Open(WideArchive());
  Engine.ReadZip();
  ASSERT_EQ(Engine.Count(), 2);
  EXPECT_FALSE(Engine.Rebuilt());
  EXPECT_TRUE(Engine.EndCentral().Zip64);
  EXPECT_EQ(Engine.EndCentral().TotalEntries, 2u);
  EXPECT_EQ(Engine.UncompressedSize(1), 5u);
  EXPECT_EQ(Engine.Entry(1).RelativeOffset, 60u);
  Engine.CheckLocalHeaders = true;
  EXPECT_EQ(All(), "helloworld");
}

TEST_F(Zip64ReadTest, StubInFrontMovesEveryOffsetByItsSize) {
  std::vector<u8> archive(5000, 'S');
  const auto zip = WideArchive();
  archive.insert(archive.end(), zip.begin(), zip.end());
  Open(archive);
  Engine.ReadZip();
  ASSERT_EQ(Engine.Count(), 2);
  EXPECT_FALSE(Engine.Rebuilt());
  EXPECT_EQ(Engine.EndCentral().OffsetShift, 5000u);
  EXPECT_EQ(Engine.Entry(0).RelativeOffset, 5000u);
  EXPECT_EQ(Engine.Entry(1).RelativeOffset, 5060u);
  EXPECT_EQ(All(), "helloworld");
}

TEST_F(Zip64ReadTest, RebuildStepsOverA64BitDescriptor) {
  // A member streamed with a Zip64 local field: zeros in the header, the
  // sizes in a 24-byte descriptor after the data; no directory at all.
  TBuildMember first = Stored("one", "abc");
  first.Flags = kFlagDataDescriptor;
  first.CompressedSize = first.UncompressedSize = 0xFFFFFFFF;
  first.LocalExtra = TZipBuilder::Zip64Field({3, 3});
  TZipBuilder b;
  b.AddLocal(first);
  b.Le32(kDataDescriptorSignature);
  b.Le32(0x352441C2);  // CRC-32 of "abc"
  b.Le64(3);
  b.Le64(3);
  b.AddLocal(Stored("two", "de"));
  Engine.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  Open(b.Bytes);
  Engine.ReadZip();
  EXPECT_TRUE(Engine.Rebuilt());
  ASSERT_EQ(Engine.Count(), 2);
  EXPECT_EQ(Engine.FullName(1), "two");
}

// ---- hostile values ---------------------------------------------------------

struct THostileCase {
  const char* Name;
  std::function<std::vector<u8>()> Make;
  const char* Says;  // part of the error
};

class Zip64HostileTest : public test::TExtractFixture,
                         public testing::WithParamInterface<THostileCase> {};

TEST_P(Zip64HostileTest, RefusedWithAClearError) {
  Open(GetParam().Make());
  try {
    Engine.ReadZip();
    Engine.DoAll = true;
    Engine.UnZip();
    FAIL() << "read without complaint";
  } catch (const EDamagedRecord& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().Says), std::string::npos) << e.what();
  }
  EXPECT_EQ(Engine.Count(), 0);
}

std::vector<u8> WithCentral(const std::vector<u8>& centralExtra) {
  TBuildMember m = Wide("a.txt", "hello", 0);
  m.CentralExtra = centralExtra;
  return TZipBuilder::Zip64Archive({m});
}

// One plain member, and a Zip64 end record with this count and directory
// size (default: the real one).
std::vector<u8> WithZip64End(u64 entries, std::optional<u64> size) {
  TZipBuilder b;
  const u32 local = b.AddLocal(Stored("a", "1"));
  const u32 central = b.Position();
  b.AddCentral(Stored("a", "1"), local);
  b.AddZip64End(entries, central, size.value_or(b.Position() - central));
  b.AddEnd({}, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
  return b.Bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Zip64HostileTest,
    testing::Values(THostileCase{"FieldShorterThanTheSaturatedValues",
                                 [] {
                                   return WithCentral(TZipBuilder::Zip64Field({5, 5}));
                                 },
                                 "missing or too short"},
                    THostileCase{"NoField", [] { return WithCentral({}); }, "missing or too short"},
                    THostileCase{
                        "OffsetPastAnyFile",
                        [] {
                          return WithCentral(TZipBuilder::Zip64Field({5, 5, ~u64{0} - 20}));
                        },
                        "past any file"},
                    THostileCase{"SizeThatOverflowsItsOffset",
                                 [] {
                                   return WithCentral(TZipBuilder::Zip64Field({5, ~u64{0}, 0}));
                                 },
                                 "past any file"},
                    THostileCase{"CountTheDirectoryCannotHold",
                                 [] { return WithZip64End(u64{1} << 40, std::nullopt); },
                                 "more than its directory"},
                    THostileCase{"DirectoryPastTheRecord",
                                 [] { return WithZip64End(1, u64{1} << 30); }, "runs past it"}),
    [](const auto& param) { return std::string(param.param.Name); });

}  // namespace
}  // namespace vz
