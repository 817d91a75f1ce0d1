// Deflate64: hand-made streams for its own codes (length code 285 with 16
// extra bits, distance codes 30 and 31, the 64 KiB history), and members that
// 7-Zip compressed with it.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/support/Crc32.h"
#include "tests/engine/codecs/DecodeHarness.h"
#include "tests/engine/codecs/DeflateWriter.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

using test::TDeflateWriter;

test::TDecodeResult Inflated64(std::span<const u8> compressed, std::size_t size) {
  return test::Decode({.Method = 9, .UncompressedSize = static_cast<u32>(size)}, compressed);
}

void AppendMatch(std::vector<u8>& data, u32 length, u32 distance) {
  for (u32 i = 0; i < length; ++i) data.push_back(data[data.size() - distance]);
}

TDeflateWriter Writer64() {
  TDeflateWriter w;
  w.Deflate64 = true;
  return w;
}

// Two stored blocks of random bytes, so the history holds more than 64 KiB.
std::vector<u8> StoredHead(TDeflateWriter& w, std::size_t size, u32 seed) {
  const auto head = test::RandomBytes(size, seed);
  const std::size_t half = size / 2;
  w.Stored(std::span(head).first(half), false);
  w.Stored(std::span(head).subspan(half), false);
  return head;
}

struct TMatchCase {
  const char* Name;
  std::vector<std::pair<u32, u32>> Matches;  // length, distance
};

class Deflate64Matches : public testing::TestWithParam<TMatchCase> {};

// Each case decodes through both fixed and dynamic blocks, with a literal
// between matches so the fast loop and the checked path both meet them.
TEST_P(Deflate64Matches, DecodeAsTheirLengthsAndDistancesSay) {
  for (const bool dynamic : {false, true}) {
    TDeflateWriter w = Writer64();
    auto expected = StoredHead(w, 70000, 21);
    if (dynamic) {
      // 226 codes of 8 bits and 60 of 9: complete.
      std::vector<u8> litLen(286, 9);
      std::fill_n(litLen.begin(), 226, u8{8});
      w.DynamicHeader(true, litLen, std::vector<u8>(32, 5));
    } else {
      w.FixedHeader(true);
    }
    u8 k = 0;
    for (const auto& [length, distance] : GetParam().Matches) {
      w.Match(length, distance);
      AppendMatch(expected, length, distance);
      w.Literal(++k);
      expected.push_back(k);
    }
    w.EndOfBlock();
    const auto r = Inflated64(w.Bytes(), expected.size());
    EXPECT_EQ(r.Data.size(), expected.size()) << (dynamic ? "dynamic" : "fixed");
    EXPECT_TRUE(r.Data == expected) << (dynamic ? "dynamic" : "fixed");
    EXPECT_EQ(r.Crc, Crc32Of(expected));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, Deflate64Matches,
    testing::Values(
        TMatchCase{"LongestRunOfOneByte", {{65538, 1}, {65538, 1}}},
        TMatchCase{"LengthsAroundTheDeflateLimit", {{258, 5}, {259, 5}, {260, 300}, {3, 1}}},
        TMatchCase{"Distance65536", {{300, 65536}, {5, 65536}, {65538, 65536}}},
        TMatchCase{"DistanceCodes30And31", {{40, 32769}, {40, 49152}, {40, 49153}, {40, 65535}}},
        TMatchCase{"LongMatchesFarBackAcrossFlushes",
                   {{40000, 49153}, {65000, 60000}, {70, 2}, {65538, 17}}},
        TMatchCase{"ManyShortFarMatches",
                   [] {
                     std::vector<std::pair<u32, u32>> m;
                     for (u32 i = 0; i < 2000; ++i)
                       m.emplace_back(3 + i % 300, 65536 - i * 29 % 4000);
                     return m;
                   }()}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST(Deflate64, ADistanceBeforeTheFirstByteStopsDecoding) {
  for (const u32 length : {10u, 1000u}) {
    TDeflateWriter w = Writer64();
    w.FixedHeader(true);
    for (int i = 0; i < 100; ++i) w.Literal('a');
    w.Match(length, 101);
    w.EndOfBlock();
    const auto r = Inflated64(w.Bytes(), 100 + length);
    EXPECT_LT(r.Data.size(), 100u + length) << length;
  }
}

TEST(Deflate64, ALongMatchStopsAtTheDeclaredSize) {
  TDeflateWriter w = Writer64();
  w.FixedHeader(true);
  w.Literal('z');
  w.Match(65538, 1);
  w.EndOfBlock();
  const auto r = Inflated64(w.Bytes(), 20000);
  EXPECT_TRUE(r.TooBig);
  EXPECT_EQ(r.Data, std::vector<u8>(20000, 'z'));
}

// Plain deflate keeps its meaning of code 285 and refuses codes 30 and 31.
TEST(Deflate64, PlainInflateKeepsDeflatesCodes) {
  TDeflateWriter w;
  w.FixedHeader(true);
  w.Literal('q');
  w.LitLenSymbol(285);  // 258, no extra bits
  w.DistanceSymbol(0);
  w.EndOfBlock();
  EXPECT_EQ(test::Inflated(w.Bytes(), 259).Data, std::vector<u8>(259, 'q'));
  const auto as64 = Inflated64(w.Bytes(), 259);
  EXPECT_NE(as64.Data, std::vector<u8>(259, 'q'));

  TDeflateWriter far;
  auto expected = StoredHead(far, 40000, 3);
  far.FixedHeader(true);
  far.LitLenSymbol(257);
  far.DistanceSymbol(30);
  far.Bits.PutBits(0, 14);
  far.EndOfBlock();
  AppendMatch(expected, 3, 32769);
  EXPECT_EQ(Inflated64(far.Bytes(), expected.size()).Data, expected);
  EXPECT_LT(test::Inflated(far.Bytes(), static_cast<u32>(expected.size())).Data.size(),
            expected.size());
}

// ---------------------------------------------------------------- 7-Zip

struct TPeerCase {
  const char* Name;
  std::vector<u8> (*Make)();
};

std::vector<u8> Text() {
  return test::TextBytes(300000, 5);
}
// Random blocks repeated 33 to 64 KiB later: only Deflate64's distances
// reach them.
std::vector<u8> FarRepeats() {
  std::vector<u8> data;
  for (u32 i = 0; i < 8; ++i) {
    const auto block = test::RandomBytes(1000, i);
    data.insert(data.end(), block.begin(), block.end());
    const auto gap = test::RandomBytes(33000 + i * 3900, 100 + i);
    data.insert(data.end(), gap.begin(), gap.end());
    data.insert(data.end(), block.begin(), block.end());
  }
  return data;
}
std::vector<u8> LongRuns() {
  std::vector<u8> data(400000, 0);
  for (std::size_t i = 0; i < data.size(); i += 100000) data[i] = 7;
  return data;
}

class Deflate64From7Zip : public testing::TestWithParam<TPeerCase> {};

TEST_P(Deflate64From7Zip, DecodesToTheOriginal) {
  if (!test::HaveProgram("7z")) GTEST_SKIP() << "7z is not installed";
  const test::TTempFolder folder;
  const auto data = GetParam().Make();
  test::WriteFileBytes(folder.Path() + "/data.bin", data);
  const auto members =
      test::MembersMadeBy(folder, "7z a -tzip -mm=Deflate64 -mx=9 a.zip data.bin", "a.zip");
  ASSERT_EQ(members.size(), 1u);
  ASSERT_EQ(members[0].Header.CompressionMethod, 9);
  const auto r = Inflated64(members[0].Data, data.size());
  EXPECT_TRUE(r.Data == data);
  EXPECT_EQ(r.Crc, members[0].Header.Crc32);
  EXPECT_FALSE(r.TooBig);
}

INSTANTIATE_TEST_SUITE_P(Peers, Deflate64From7Zip,
                         testing::Values(TPeerCase{"Text", Text},
                                         TPeerCase{"FarRepeats", FarRepeats},
                                         TPeerCase{"LongRuns", LongRuns}),
                         [](const auto& p) { return std::string(p.param.Name); });

}  // namespace
}  // namespace vz
