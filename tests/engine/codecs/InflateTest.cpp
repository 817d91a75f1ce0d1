// Inflate: hand-made streams for the cases peers never produce, and streams
// from Python's zlib over sizes, kinds of data, levels and strategies.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/support/Crc32.h"
#include "tests/engine/codecs/DecodeHarness.h"
#include "tests/engine/codecs/DeflateWriter.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

using test::Inflated;
using test::TDeflateWriter;

std::vector<u8> Repeated(std::vector<u8> data, std::size_t extra, std::size_t distance) {
  for (std::size_t i = 0; i < extra; ++i) data.push_back(data[data.size() - distance]);
  return data;
}

TEST(Inflate, AnEmptyFixedBlockMakesAnEmptyMemberWithCrcZero) {
  TDeflateWriter w;
  w.FixedHeader(true);
  w.EndOfBlock();
  const auto r = Inflated(w.Bytes(), 0);
  EXPECT_TRUE(r.Data.empty());
  EXPECT_EQ(r.Crc, 0u);
  EXPECT_FALSE(r.TooBig);
}

// Stored blocks of at most 60000 bytes each.
void StoredPieces(TDeflateWriter& w, std::span<const u8> data) {
  for (std::size_t at = 0; at < data.size(); at += 60000) {
    w.Stored(data.subspan(at, std::min<std::size_t>(60000, data.size() - at)), false);
  }
}

TEST(Inflate, Distance32768ReachesAcrossTheSlide) {
  // 200000 stored bytes come close to the first slide of the history (at
  // 224768); every match then copies from exactly a history back, and the
  // matches run over the slide.
  const auto head = test::RandomBytes(200000, 11);
  TDeflateWriter w;
  StoredPieces(w, head);
  w.FixedHeader(true);
  for (int i = 0; i < 150; ++i) w.Match(258, 32768);
  w.Literal('x');
  w.Match(3, 32768);
  w.EndOfBlock();
  auto expected = Repeated(head, 150 * 258, 32768);
  expected.push_back('x');
  expected = Repeated(expected, 3, 32768);
  const auto r = Inflated(w.Bytes(), static_cast<u32>(expected.size()));
  EXPECT_EQ(r.Data, expected);
  EXPECT_FALSE(r.TooBig);
}

// Long distances from every position of the window, before, across and
// after the first slide of the history (at 224768).
TEST(Inflate, LongDistancesDecodeFromEveryWindowPosition) {
  const auto head = test::RandomBytes(180000, 16);
  TDeflateWriter w;
  StoredPieces(w, head);
  w.FixedHeader(true);
  auto expected = head;
  for (u32 k = 0; k < 700; ++k) {
    const u32 length = 3 + k * 7 % 256;
    const u32 distance = 32768 - k * 13 % 400;
    w.Match(length, distance);
    expected = Repeated(expected, length, distance);
    w.Literal(static_cast<u8>(k));
    expected.push_back(static_cast<u8>(k));
  }
  w.EndOfBlock();
  const auto r = Inflated(w.Bytes(), static_cast<u32>(expected.size()));
  EXPECT_TRUE(r.Data == expected);
}

TEST(Inflate, EveryLengthAndDistanceCodeDecodes) {
  const auto head = test::RandomBytes(33000, 12);
  std::vector<std::pair<u32, u32>> matches;
  for (u32 length = 3; length <= 258; ++length)
    matches.emplace_back(length, 1 + length * 97 % 32768);
  for (u32 distance = 1; distance <= 32768; distance = distance * 3 / 2 + 1) {
    for (u32 length : {3u, 7u, 8u, 15u, 16u, 17u, 31u, 32u, 33u, 100u}) {
      matches.emplace_back(length, distance);
    }
  }
  TDeflateWriter w;
  w.Stored(head, false);
  w.FixedHeader(true);
  auto expected = head;
  for (const auto& [length, distance] : matches) {
    w.Match(length, distance);
    expected = Repeated(expected, length, distance);
    w.Literal(static_cast<u8>(length));
    expected.push_back(static_cast<u8>(length));
  }
  w.EndOfBlock();
  const auto r = Inflated(w.Bytes(), static_cast<u32>(expected.size()));
  EXPECT_EQ(r.Data, expected);
}

TEST(Inflate, MoreDataThanTheStoredSizeStopsThere) {
  const auto data = test::TextBytes(50000, 13);
  TDeflateWriter w;
  w.Stored(data, true);
  const auto r = Inflated(w.Bytes(), 30000);
  EXPECT_TRUE(r.TooBig);
  EXPECT_EQ(r.Data, std::vector<u8>(data.begin(), data.begin() + 30000));
  EXPECT_EQ(r.Crc, Crc32Of(std::span(data).first(30000)));
}

TEST(Inflate, TrailingBytesAfterTheLastBlockAreIgnored) {
  const auto data = test::TextBytes(1000, 14);
  TDeflateWriter w;
  w.Stored(data, true);
  auto stream = w.Bytes();
  stream.insert(stream.end(), 100, 0xEE);
  const auto r = Inflated(stream, 1000);
  EXPECT_EQ(r.Data, data);
  EXPECT_FALSE(r.TooBig);
}

// A code for one distance only has one bit and leaves the other pattern
// unused; the format allows it (and zlib accepts it).
TEST(Inflate, ASingleOneBitDistanceCodeIsAccepted) {
  std::vector<u8> litLen(257, 0);
  litLen['a'] = 1;
  litLen[256] = 2;
  litLen.push_back(2);  // length 3, code 257
  TDeflateWriter w;
  w.DynamicHeader(true, litLen, {0, 0, 0, 1});  // distance code 3: distance 4
  for (int i = 0; i < 4; ++i) w.Literal('a');
  w.Match(3, 4);
  w.EndOfBlock();
  const auto r = Inflated(w.Bytes(), 7);
  EXPECT_EQ(r.Data, std::vector<u8>(7, 'a'));
}

// The longest codes everywhere: runs of one to three literals of 11 bits
// (the longest that one lookup resolves) or 15, lengths of 15 bits plus 5
// extra and distances of 15 plus 13, so that the fast loop spends the most
// bits that it allows between refills. Long enough to cross input blocks
// and to slide the history more than once.
TEST(Inflate, TheLongestCodesDecodeInEveryOrder) {
  // Lengths 1, 2, ... 14, 15, 15: complete codes.
  std::vector<u8> litLen(285, 0);
  const u16 litLenChain[] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h',
                             'i', 'j', 'x', 256, 'y', 'z', 'w', 284};
  std::vector<u8> dist(30, 0);
  const u16 distChain[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 28, 29};
  for (u8 i = 0; i < 16; ++i) {
    litLen[litLenChain[i]] = static_cast<u8>(std::min(i + 1, 15));
    dist[distChain[i]] = static_cast<u8>(std::min(i + 1, 15));
  }
  auto expected = test::RandomBytes(33000, 17);
  TDeflateWriter w;
  w.Stored(expected, false);
  w.DynamicHeader(true, litLen, dist);
  for (u32 k = 0; k < 3000; ++k) {
    for (u32 i = 0; i < k % 4; ++i) {
      const u8 byte = (k + i) % 5 == 0 ? 'w' : (k + i) % 7 == 0 ? 'a' : 'x';
      w.Literal(byte);
      expected.push_back(byte);
    }
    const u32 length = 227 + k * 7 % 31;
    const u32 distance = 32768 - k * 37 % 8192;
    w.Match(length, distance);
    for (u32 i = 0; i < length; ++i) expected.push_back(expected[expected.size() - distance]);
  }
  w.EndOfBlock();
  const auto r = Inflated(w.Bytes(), static_cast<u32>(expected.size()));
  EXPECT_FALSE(r.TooBig);
  EXPECT_TRUE(r.Data == expected) << "decoded data differs";
  EXPECT_EQ(r.Crc, Crc32Of(expected));
}

// Corrupt streams: decoding stops where the damage is and nothing more is
// written, so the member fails its CRC check. Each stream first decodes
// 100 good bytes in an earlier block.
struct TBrokenCase {
  const char* Name;
  void (*Write)(TDeflateWriter&);
};

void BrokenDynamic(TDeflateWriter& w, u32 litLenCount, u32 distCount,
                   std::vector<test::TCodeLengthSymbol> symbols) {
  w.DynamicHeaderRaw(true, litLenCount, distCount, symbols);
  w.Bits.PutBits(0, 32);
}

std::vector<test::TCodeLengthSymbol> Lengths(std::vector<u8> lengths) {
  std::vector<test::TCodeLengthSymbol> symbols;
  for (const u8 l : lengths) symbols.push_back({l});
  return symbols;
}

std::vector<u8> GoodLitLen() {
  std::vector<u8> litLen(257, 9);
  litLen.resize(258, 9);
  for (int s = 0; s < 256 - 2; ++s) litLen[static_cast<std::size_t>(s)] = 8;
  return litLen;  // 254 x 8 + 4 x 9 bits: complete
}

const TBrokenCase kBroken[] = {
    {"StoredLengthWithBadComplement",
     [](TDeflateWriter& w) { w.Stored(test::RandomBytes(50, 1), true, u16{0x1234}); }},
    {"BlockTypeThree", [](TDeflateWriter& w) { w.Bits.PutBits(7, 3), w.Bits.PutBits(0, 32); }},
    {"FixedLengthCode286",
     [](TDeflateWriter& w) { w.FixedHeader(true), w.LitLenSymbol(286), w.Bits.PutBits(0, 20); }},
    {"FixedDistanceCode30",
     [](TDeflateWriter& w) {
       w.FixedHeader(true), w.LitLenSymbol(257), w.DistanceSymbol(30), w.Bits.PutBits(0, 20);
     }},
    {"DistancePastTheStart",
     [](TDeflateWriter& w) { w.FixedHeader(true), w.Match(3, 101), w.EndOfBlock(); }},
    {"TooManyLengthCodes", [](TDeflateWriter& w) { BrokenDynamic(w, 287, 1, {}); }},
    {"TooManyDistanceCodes", [](TDeflateWriter& w) { BrokenDynamic(w, 257, 31, {}); }},
    {"RepeatWithNothingBefore",
     [](TDeflateWriter& w) {
       BrokenDynamic(w, 257, 1, {{16, 0}});
     }},
    {"RepeatPastTheLastLength",
     [](TDeflateWriter& w) {
       auto s = Lengths(std::vector<u8>(250, 8));
       s.push_back({18, 127});
       BrokenDynamic(w, 257, 1, s);
     }},
    {"OversubscribedLengths",
     [](TDeflateWriter& w) {
       auto lengths = GoodLitLen();
       lengths[0] = 7;
       lengths.push_back(1);
       BrokenDynamic(w, 258, 1, Lengths(lengths));
     }},
    {"IncompleteLengths",
     [](TDeflateWriter& w) {
       auto lengths = GoodLitLen();
       lengths[0] = 9;
       lengths.push_back(1);
       BrokenDynamic(w, 258, 1, Lengths(lengths));
     }},
    {"NoEndOfBlockCode",
     [](TDeflateWriter& w) {
       std::vector<u8> lengths(257, 8);
       lengths[256] = 0;
       lengths.push_back(1);
       BrokenDynamic(w, 257, 1, Lengths(lengths));
     }},
    {"EndsInsideABlock",
     [](TDeflateWriter& w) {
       w.FixedHeader(true);
       for (int i = 0; i < 10; ++i) w.Literal('z');
     }},
};

class InflateBroken : public testing::TestWithParam<TBrokenCase> {};

TEST_P(InflateBroken, StopsAndWritesNothingMore) {
  const auto good = test::TextBytes(100, 15);
  TDeflateWriter w;
  w.Stored(good, false);
  GetParam().Write(w);
  const auto r = Inflated(w.Bytes(), 5000);
  EXPECT_LE(r.Data.size(), good.size());
  EXPECT_FALSE(r.TooBig);
  EXPECT_NE(r.BytesWritten, 5000u);
}

INSTANTIATE_TEST_SUITE_P(Cases, InflateBroken, testing::ValuesIn(kBroken),
                         [](const auto& param) { return std::string(param.param.Name); });

// --- Streams from Python's zlib -------------------------------------------

enum class TKind { Random, Text, Runs, Zeros, Mixed };

std::vector<u8> MakeData(TKind kind, std::size_t size, u32 seed) {
  switch (kind) {
    case TKind::Random:
      return test::RandomBytes(size, seed);
    case TKind::Text:
      return test::TextBytes(size, seed);
    case TKind::Zeros:
      return std::vector<u8>(size, 0);
    case TKind::Runs: {
      const auto noise = test::RandomBytes(size + 16, seed);
      std::vector<u8> out;
      for (std::size_t i = 0; out.size() < size; i += 2) {
        const std::size_t run = 1 + (noise[i] * 13u + noise[i + 1]) % 3000;
        out.insert(out.end(), std::min(run, size - out.size()), noise[i + 1]);
      }
      return out;
    }
    case TKind::Mixed: {
      // Text and noise, with earlier stretches copied from far back.
      const auto text = test::TextBytes(size, seed);
      const auto noise = test::RandomBytes(size, seed + 1);
      std::vector<u8> out;
      while (out.size() < size) {
        const std::size_t at = out.size();
        const std::size_t n = std::min<std::size_t>(size - at, 1000 + at % 3000);
        if (at > 32000 && at % 3 == 0) {
          for (std::size_t i = 0; i < n; ++i) out.push_back(out[at - 32000 + i % 500]);
        } else {
          const auto& from = at % 2 == 0 ? text : noise;
          out.insert(out.end(), from.begin() + static_cast<std::ptrdiff_t>(at),
                     from.begin() + static_cast<std::ptrdiff_t>(at + n));
        }
      }
      return out;
    }
  }
  return {};
}

// Every kind of data is compressed by one Python run (CTest runs each test in
// a process of its own) at these sizes and settings: zlib's level and
// strategy, or strategy 100: the default with a sync flush every 7000 bytes.
constexpr std::size_t kPeerSizes[] = {0, 1, 16000, 16001, 32768, 65535, 65536, 250000};
constexpr std::pair<int, int> kPeerSettings[] = {{0, 0}, {1, 0}, {6, 0}, {9, 0},  {6, 1},
                                                 {6, 2}, {6, 3}, {6, 4}, {6, 100}};

class InflatePeer : public testing::TestWithParam<TKind> {};

TEST_P(InflatePeer, DecodesWhatPythonsZlibCompressed) {
  if (!test::HaveProgram("python3")) GTEST_SKIP() << "python3 is not available";
  test::TTempFolder folder;
  std::vector<std::vector<u8>> inputs;
  std::string list;
  for (const std::size_t size : kPeerSizes) {
    for (const auto& [level, strategy] : kPeerSettings) {
      const std::string name = std::to_string(inputs.size());
      inputs.push_back(MakeData(GetParam(), size, static_cast<u32>(inputs.size())));
      test::WriteFileBytes(folder.Path() + "/" + name + ".in", inputs.back());
      list += name + " " + std::to_string(level) + " " + std::to_string(strategy) + "\n";
    }
  }
  test::WriteFileText(folder.Path() + "/cases.txt", list);
  const std::string program = "import zlib\nd = '" + folder.Path() + R"('
for line in open(d + '/cases.txt'):
    i, level, strategy = line.split()
    data = open(d + '/' + i + '.in', 'rb').read()
    flush_every = 7000 if strategy == '100' else len(data) + 1
    c = zlib.compressobj(int(level), zlib.DEFLATED, -15, 9, 0 if strategy == '100' else int(strategy))
    out = b''
    for at in range(0, len(data), flush_every):
        out += c.compress(data[at:at + flush_every])
        if flush_every <= len(data):
            out += c.flush(zlib.Z_SYNC_FLUSH)
    out += c.flush()
    open(d + '/' + i + '.df', 'wb').write(out)
)";
  std::string output;
  ASSERT_TRUE(test::RunPython(folder, program, &output)) << output;
  std::size_t index = 0;
  for (const std::size_t size : kPeerSizes) {
    for (const auto& [level, strategy] : kPeerSettings) {
      SCOPED_TRACE("size " + std::to_string(size) + ", level " + std::to_string(level) +
                   ", strategy " + std::to_string(strategy));
      const auto& expected = inputs[index];
      const auto r =
          Inflated(test::ReadFileBytes(folder.Path() + "/" + std::to_string(index) + ".df"),
                   static_cast<u32>(expected.size()));
      ++index;
      EXPECT_FALSE(r.TooBig);
      EXPECT_EQ(r.BytesWritten, expected.size());
      EXPECT_TRUE(r.Data == expected) << "decoded data differs";
      EXPECT_EQ(r.Crc, Crc32Of(expected));
    }
  }
}

std::string KindName(const testing::TestParamInfo<TKind>& info) {
  static const char* kNames[] = {"Random", "Text", "Runs", "Zeros", "Mixed"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Kinds, InflatePeer,
                         testing::Values(TKind::Random, TKind::Text, TKind::Runs, TKind::Zeros,
                                         TKind::Mixed),
                         KindName);

// Output piles up after the history until it reaches the slide point (the
// history, 32768 or 65536 bytes, plus twelve 16000-byte chunks); then the
// whole chunks go out and the last history's worth of bytes moves to the
// window's start, and the next slide comes 192000 bytes later. The fast loop
// runs on over the slide point into spare room. These streams cross the first
// slide at chosen offsets and the next once after, with literals, runs, and
// matches whose sources lie a whole history back, across the slide.
constexpr std::size_t kRunBytes = 192000;
std::size_t FirstSlide(bool deflate64) {
  return (deflate64 ? 65536 : 32768) + kRunBytes;
}

struct TSlideCase {
  bool Deflate64;
  std::size_t Lead;   // stored bytes before the first coded symbol, at
                      // least the history (the longest distance)
  std::size_t Total;  // the member's size
};

struct TSlideStream {
  std::vector<u8> Stream;
  std::vector<u8> Data;
};

TSlideStream SlideStream(const TSlideCase& c) {
  TSlideStream r;
  r.Data = test::RandomBytes(c.Lead, static_cast<u32>(c.Lead));
  TDeflateWriter w;
  w.Deflate64 = c.Deflate64;
  StoredPieces(w, r.Data);
  w.FixedHeader(true);
  const u32 longest = c.Deflate64 ? 65536 : 32768;
  for (u32 k = 0; r.Data.size() < c.Total; ++k) {
    const std::size_t room = c.Total - r.Data.size();
    if (room >= 3) {
      const auto length = static_cast<u32>(std::min<std::size_t>(3 + k * 37 % 256, room));
      const u32 distances[] = {1 + k % 20, longest - k % 300, 20 + k * 131 % 2000,
                               longest - 1000 + k % 1000};
      const u32 distance = distances[k % 4];
      w.Match(length, distance);
      for (u32 i = 0; i < length; ++i) r.Data.push_back(r.Data[r.Data.size() - distance]);
    }
    if (r.Data.size() < c.Total) {
      w.Literal(static_cast<u8>(k));
      r.Data.push_back(static_cast<u8>(k));
    }
  }
  w.EndOfBlock();
  r.Stream = w.Bytes();
  return r;
}

test::TDecodeResult DecodeSlide(const TSlideCase& c, std::span<const u8> stream) {
  return test::Decode(
      {.Method = static_cast<u16>(c.Deflate64 ? 9 : 8), .UncompressedSize = c.Total}, stream);
}

class InflateSlide : public testing::TestWithParam<TSlideCase> {};

TEST_P(InflateSlide, DecodesAcrossTheSlides) {
  const auto r = SlideStream(GetParam());
  const auto d = DecodeSlide(GetParam(), r.Stream);
  ASSERT_EQ(d.Data.size(), r.Data.size());
  EXPECT_TRUE(d.Data == r.Data);
  EXPECT_EQ(d.Crc, Crc32Of(r.Data));
  EXPECT_FALSE(d.TooBig);
}

// Cut short anywhere, the stream gives a prefix of its data and no more (all
// of it when only the end-of-block code is lost and the last bytes went out
// at a slide).
TEST_P(InflateSlide, CutShortGivesAPrefix) {
  const auto r = SlideStream(GetParam());
  for (std::size_t cut = r.Stream.size() - 1; cut > r.Stream.size() / 2; cut -= 997) {
    const auto d = DecodeSlide(GetParam(), std::span(r.Stream).first(cut));
    ASSERT_LE(d.Data.size(), r.Data.size()) << cut;
    if (cut < r.Stream.size() - 1) {
      ASSERT_LT(d.Data.size(), r.Data.size()) << cut;
    }
    EXPECT_TRUE(std::equal(d.Data.begin(), d.Data.end(), r.Data.begin())) << cut;
  }
}

std::vector<TSlideCase> SlideCases() {
  std::vector<TSlideCase> cases;
  for (const bool d64 : {false, true}) {
    const std::size_t first = FirstSlide(d64);
    const std::size_t second = first + kRunBytes;
    for (const std::size_t before : {1, 2, 3, 17, 64, 257, 258, 259, 260, 261, 300, 1000}) {
      cases.push_back({d64, first - before, second + 1234});
    }
    // Members that end at, just before and just after a slide and the
    // output side's chunks.
    for (const std::size_t total :
         {first - 1, first, first + 1, second, second + 1, first + 16000, first + 15999}) {
      cases.push_back({d64, d64 ? 65636u : 32868u, total});
    }
  }
  return cases;
}

std::string SlideCaseName(const testing::TestParamInfo<TSlideCase>& info) {
  return std::string(info.param.Deflate64 ? "Deflate64" : "Deflate") + "_Lead" +
         std::to_string(info.param.Lead) + "_Total" + std::to_string(info.param.Total);
}

INSTANTIATE_TEST_SUITE_P(Offsets, InflateSlide, testing::ValuesIn(SlideCases()), SlideCaseName);

}  // namespace
}  // namespace vz
