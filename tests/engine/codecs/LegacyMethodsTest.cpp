// Shrink, reduce and implode: members of real archives made by other
// programs, and hand-made streams for what those lack.
#include <gtest/gtest.h>

#include <string_view>

#include "engine/support/Crc32.h"
#include "engine/format/ZipHeaderInfo.h"
#include "tests/engine/codecs/DecodeHarness.h"
#include "tests/engine/codecs/ImplodeWriter.h"
#include "tests/support/BitWriter.h"
#include "tests/support/Sha256.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

std::vector<u8> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

// --- Real archives ---------------------------------------------------------

struct TFixtureMember {
  const char* Archive;
  const char* Member;
  u16 Method;
  u32 Compressed;
  u32 Size;
  u32 Crc;
  const char* Sha256;
};

// From tests/data/legacy/README.md.
const TFixtureMember kFixtures[] = {
    {"SHRUNK.ZIP", "TEST1.XML", 1, 66, 76, 0x393a497a,
     "1f155fbeed0dc3b21ee30e7a648c98ba1123083b814a58ad852d37447a608f0e"},
    {"SHRUNK.ZIP", "TEST2.XML", 1, 76, 81, 0xd19abf92,
     "2402e6ef55b5f8886f6632078f50a23cbc73ece37aac7951e77c2a4098acdf5f"},
    {"imploding-4Kdict-2trees.zip", "HEADER.TXT", 6, 555, 818, 0x3222d8c7,
     "fdb715b10947e98f8bfb104194f9be0cda1b809391a8dc2100d78a25c06c7812"},
    {"imploding-8Kdict-3trees.zip", "LICENSE.TXT", 6, 4131, 11560, 0x495fc599,
     "3ddf9be5c28fe27dad143a5dc76eea25222ad1dd68934a047064e56ed2fa40c5"},
    {"Zip.shrink.zip", "TECT.TXT", 1, 5391, 15498, 0x9bd160fa,
     "4d581d93d369f6e1c9b295ff38d82dabd577f927dfaf0c35818c015c85e322d9"},
    {"Zip.shrink.zip", "TEST.EXE", 1, 25138, 45056, 0xcfb109c8,
     "8557928804f57ecc340b3bb38b095a3607474ec8deb0076f316fcfe02b562106"},
    {"Zip.shrink.zip", "TEST.JPG", 0, 40372, 40372, 0x088814e3,
     "b251c7501fb0f55dd4a92feabe0a6f5733bc40a02679498155fae9b30138fc53"},
    {"Zip.reduce1.zip", "TECT.TXT", 1, 5391, 15498, 0x9bd160fa,
     "4d581d93d369f6e1c9b295ff38d82dabd577f927dfaf0c35818c015c85e322d9"},
    {"Zip.reduce1.zip", "TEST.EXE", 2, 22064, 45056, 0xcfb109c8,
     "8557928804f57ecc340b3bb38b095a3607474ec8deb0076f316fcfe02b562106"},
    {"Zip.reduce1.zip", "TEST.JPG", 2, 39261, 40372, 0x088814e3,
     "b251c7501fb0f55dd4a92feabe0a6f5733bc40a02679498155fae9b30138fc53"},
    {"Zip.reduce2.zip", "TECT.TXT", 1, 5391, 15498, 0x9bd160fa,
     "4d581d93d369f6e1c9b295ff38d82dabd577f927dfaf0c35818c015c85e322d9"},
    {"Zip.reduce2.zip", "TEST.EXE", 3, 21563, 45056, 0xcfb109c8,
     "8557928804f57ecc340b3bb38b095a3607474ec8deb0076f316fcfe02b562106"},
    {"Zip.reduce2.zip", "TEST.JPG", 3, 39253, 40372, 0x088814e3,
     "b251c7501fb0f55dd4a92feabe0a6f5733bc40a02679498155fae9b30138fc53"},
    {"Zip.reduce3.zip", "TECT.TXT", 1, 5391, 15498, 0x9bd160fa,
     "4d581d93d369f6e1c9b295ff38d82dabd577f927dfaf0c35818c015c85e322d9"},
    {"Zip.reduce3.zip", "TEST.EXE", 4, 21423, 45056, 0xcfb109c8,
     "8557928804f57ecc340b3bb38b095a3607474ec8deb0076f316fcfe02b562106"},
    {"Zip.reduce3.zip", "TEST.JPG", 4, 39252, 40372, 0x088814e3,
     "b251c7501fb0f55dd4a92feabe0a6f5733bc40a02679498155fae9b30138fc53"},
    {"Zip.reduce4.zip", "TECT.TXT", 1, 5391, 15498, 0x9bd160fa,
     "4d581d93d369f6e1c9b295ff38d82dabd577f927dfaf0c35818c015c85e322d9"},
    {"Zip.reduce4.zip", "TEST.EXE", 5, 21271, 45056, 0xcfb109c8,
     "8557928804f57ecc340b3bb38b095a3607474ec8deb0076f316fcfe02b562106"},
    {"Zip.reduce4.zip", "TEST.JPG", 5, 39201, 40372, 0x088814e3,
     "b251c7501fb0f55dd4a92feabe0a6f5733bc40a02679498155fae9b30138fc53"},
    {"Zip.implode.zip", "EXE/TEST.EXE", 6, 19828, 45056, 0xcfb109c8,
     "8557928804f57ecc340b3bb38b095a3607474ec8deb0076f316fcfe02b562106"},
    {"Zip.implode.zip", "JPG/TEST.JPG", 0, 40372, 40372, 0x088814e3,
     "b251c7501fb0f55dd4a92feabe0a6f5733bc40a02679498155fae9b30138fc53"},
    {"Zip.implode.zip", "\xCE\x93\xC3\x91\xC3\x9F\xCE\x93.txt", 6, 2942, 15498, 0x9bd160fa,
     "4d581d93d369f6e1c9b295ff38d82dabd577f927dfaf0c35818c015c85e322d9"},
};

class LegacyArchive : public testing::TestWithParam<TFixtureMember> {};

TEST_P(LegacyArchive, MemberDecodesToItsPublishedContent) {
  const auto& row = GetParam();
  const auto members =
      test::LocalMembers(test::ReadFileBytes(test::TestDataDir() + "/legacy/" + row.Archive));
  const auto found = std::find_if(members.begin(), members.end(),
                                  [&](const auto& m) { return m.Header.FullName() == row.Member; });
  ASSERT_NE(found, members.end()) << row.Member;
  ASSERT_EQ(found->Header.CompressionMethod, row.Method);
  ASSERT_EQ(found->Header.CompressedSize, row.Compressed);
  ASSERT_EQ(found->Header.UncompressedSize, row.Size);
  const auto r = test::Decode(
      {.Method = row.Method, .Flags = found->Header.Flags, .UncompressedSize = row.Size},
      found->Data);
  EXPECT_TRUE(r.KnownMethod);
  EXPECT_FALSE(r.TooBig);
  EXPECT_EQ(r.Data.size(), row.Size);
  EXPECT_EQ(r.Crc, row.Crc);
  EXPECT_EQ(test::Sha256Hex(r.Data), row.Sha256);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, LegacyArchive, testing::ValuesIn(kFixtures),
                         [](const auto& param) { return "Row" + std::to_string(param.index); });

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(test::Sha256Hex(Bytes("abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(test::Sha256Hex(Bytes("")),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(test::Sha256Hex(std::vector<u8>(1000, 'a')),
            "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

// Kinds of data for the implode round trips.
std::vector<std::pair<const char*, std::vector<u8>>> Samples() {
  std::vector<u8> runs;
  for (int i = 0; runs.size() < 20000; ++i)
    runs.insert(runs.end(), 1 + i * 37 % 300, static_cast<u8>(i));
  return {{"Text", test::TextBytes(60000, 21)},
          {"Random", test::RandomBytes(6000, 22)},
          {"Runs", runs},
          {"Empty", {}},
          {"OneByte", {144}}};
}

// --- Shrink ------------------------------------------------------------------

TEST(Unshrink, APartialClearFreesOnlyLeavesAndTheFreedCodesAreReused) {
  // Codes: A B 257(AB) 258(BA) A, clear (frees 259 ABB and 260 BAA, the
  // leaves), C 259(now AC) 260(now CA) 261(ACC) 263 (not yet defined: the
  // previous string plus its first byte) 258 (BA survived the clear).
  test::TBitWriter w;
  for (const u32 code : {65u, 66u, 257u, 258u, 65u, 256u, 2u, 67u, 259u, 260u, 261u, 263u, 258u}) {
    w.PutBits(code, 9);
  }
  const auto expected = Bytes("ABABBAACACCAACCACCABA");
  const auto r = test::Decode({.Method = 1, .UncompressedSize = 21}, w.Bytes());
  EXPECT_EQ(std::string(r.Data.begin(), r.Data.end()), "ABABBAACACCAACCACCABA");
  EXPECT_EQ(r.Crc, Crc32Of(expected));
}

TEST(Unshrink, StopsAtCorruptCodes) {
  const std::vector<std::vector<u32>> streams = {
      {65, 66, 67, 300},                                         // a code never defined
      {65, 66, 67, 256, 1, 256, 1, 256, 1, 256, 1, 256, 1, 70},  // past 13 bits
      {65, 66, 67, 256, 7, 70},                                  // unknown control code
      {65, 66, 67, 256, 2, 258},                                 // freed by the clear
  };
  for (const auto& codes : streams) {
    test::TBitWriter w;
    unsigned bits = 9;
    for (std::size_t i = 0; i < codes.size(); ++i) {
      w.PutBits(codes[i], bits);
      if (i > 0 && codes[i - 1] == 256 && codes[i] == 1) ++bits;
    }
    const auto r = test::Decode({.Method = 1, .UncompressedSize = 100}, w.Bytes());
    EXPECT_LT(r.BytesWritten, 4u) << codes.back();
    EXPECT_FALSE(r.TooBig);
  }
  // A first code that is not a byte.
  EXPECT_EQ(
      test::Decode({.Method = 1, .UncompressedSize = 2}, std::vector<u8>{0x41, 0x85}).BytesWritten,
      0u);
}

// --- Reduce ------------------------------------------------------------------

TEST(Unreduce, AMatchBeforeTheStartCopiesZeros) {
  test::TBitWriter w;
  for (int i = 0; i < 256; ++i) w.PutBits(0, 6);  // no follower sets
  // 'A', 'B', then DLE with V = 0x12 (factor 4: length 2 + 3, high 1) and
  // distance byte 0: 257 back, before the start.
  for (const u32 b : {0x41u, 0x42u, 144u, 0x12u, 0x00u, 0x43u, 144u, 0u}) w.PutBits(b, 8);
  const std::vector<u8> expected = {0x41, 0x42, 0, 0, 0, 0, 0, 0x43, 144};
  const auto r = test::Decode({.Method = 5, .UncompressedSize = 9}, w.Bytes());
  EXPECT_EQ(r.Data, expected);
}

// --- Implode -----------------------------------------------------------------

class ExplodeRoundTrip : public testing::TestWithParam<u16> {};

TEST_P(ExplodeRoundTrip, DecodesWhatTheTestEncoderImploded) {
  const u16 flags = GetParam();
  for (const auto& [name, data] : Samples()) {
    const auto stream = test::ImplodeStream(test::ImplodeTokens(data, flags), flags,
                                            test::DefaultImplodeTrees(flags));
    const auto r = test::Decode(
        {.Method = 6, .Flags = flags, .UncompressedSize = static_cast<u32>(data.size())}, stream);
    EXPECT_TRUE(r.Data == data) << name;
    EXPECT_FALSE(r.TooBig) << name;
  }
}

// Flag bit 1: 8 KiB dictionary; bit 2: three trees. The archives above have
// 4K/2 and 8K/3 only.
INSTANTIATE_TEST_SUITE_P(Variants, ExplodeRoundTrip, testing::Values(0, 2, 4, 6),
                         [](const auto& param) {
                           return std::string((param.param & 2) != 0 ? "Dict8K" : "Dict4K") +
                                  ((param.param & 4) != 0 ? "ThreeTrees" : "TwoTrees");
                         });

TEST(Explode, AMatchBeforeTheStartCopiesZeros) {
  const std::vector<test::TImplodeToken> tokens = {
      {true, 'a'}, {false, 0, 4, 3000}, {true, 'b'}, {false, 0, 2, 2}};
  const auto stream = test::ImplodeStream(tokens, 0, test::DefaultImplodeTrees(0));
  const auto r = test::Decode({.Method = 6, .UncompressedSize = 8}, stream);
  EXPECT_EQ(r.Data, (std::vector<u8>{'a', 0, 0, 0, 0, 'b', 0, 'b'}));
}

// Members above 200000 compressed bytes decode their distances through a
// wider table; both sides of the boundary must decode alike.
TEST(Explode, DecodesAlikeOnBothSidesOfThe200000ByteBoundary) {
  const auto data = test::TextBytes(40000, 24);
  for (const u16 flags : {u16{2}, u16{4}}) {
    const auto stream = test::ImplodeStream(test::ImplodeTokens(data, flags), flags,
                                            test::DefaultImplodeTrees(flags));
    for (const std::size_t size : {200000, 200001}) {
      auto padded = stream;
      padded.resize(size, 0);
      const auto r = test::Decode(
          {.Method = 6, .Flags = flags, .UncompressedSize = static_cast<u32>(data.size())}, padded);
      EXPECT_TRUE(r.Data == data) << flags << "/" << size;
    }
  }
}

TEST(Explode, RejectsTreesThatDoNotCoverTheAlphabet) {
  const auto data = test::TextBytes(2000, 25);
  auto stream = test::ImplodeStream(test::ImplodeTokens(data, 0), 0, test::DefaultImplodeTrees(0));
  const auto decode = [&](const std::vector<u8>& s) {
    return test::Decode({.Method = 6, .UncompressedSize = 2000}, s).BytesWritten;
  };
  ASSERT_EQ(decode(stream), 2000u);
  auto shortTree = stream;
  shortTree[0] = static_cast<u8>(shortTree[0] - 1);  // one group fewer
  EXPECT_EQ(decode(shortTree), 0u);
  auto longTree = stream;
  longTree[1] = static_cast<u8>(longTree[1] + 0x10);  // first group one longer
  EXPECT_EQ(decode(longTree), 0u);
}

}  // namespace
}  // namespace vz
