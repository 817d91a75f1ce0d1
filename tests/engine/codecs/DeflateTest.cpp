// The deflate compressor against Python's zlib as the reference inflater:
// round trips over every level and the sizes around the window's edges,
// the stored fall-back, the text/binary estimate, header flags, read and
// write routines that split or fail, and the size reached at level 6.
#include "engine/codecs/Deflate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/support/Exceptions.h"
#include "platform/fake/FakePlatform.h"
#include "tests/support/ScriptedHost.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

struct TCompressed {
  std::vector<u8> Bytes;
  u64 Returned = 0;
  TZipHeaderInfo Header;
};

// Delivers `data` in pieces of the sizes in `pieces`, cyclically (all that
// is asked for when `pieces` is empty).
TDeflateRead ReaderOf(const std::vector<u8>& data, std::vector<std::size_t> pieces = {}) {
  return
      [&data, pieces, pos = std::size_t{0}, turn = std::size_t{0}](std::span<u8> buffer) mutable {
        std::size_t n = std::min(buffer.size(), data.size() - pos);
        if (!pieces.empty()) n = std::min(n, pieces[turn++ % pieces.size()]);
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(pos), n, buffer.begin());
        pos += n;
        return n;
      };
}

TCompressed Compress(TDeflater& deflater, const std::vector<u8>& data, int level,
                     std::vector<std::size_t> pieces = {}) {
  TCompressed result;
  result.Header.InternalAttributes = 2;
  const TDeflateWrite write = [&result](std::span<const u8> bytes) {
    result.Bytes.insert(result.Bytes.end(), bytes.begin(), bytes.end());
  };
  result.Returned = deflater.CompressMember(result.Header, level, ReaderOf(data, std::move(pieces)),
                                            write, "member.bin");
  return result;
}

bool HavePython() {
  return test::HaveProgram("python3");
}

// Inflates each raw deflate stream with Python's zlib; nullopt for a stream
// that it rejects, that does not end, or that has bytes after its end.
std::vector<std::optional<std::vector<u8>>> PythonInflate(
    const std::string& folder, const std::vector<std::vector<u8>>& streams) {
  std::string names;
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const std::string name = folder + "stream" + std::to_string(i);
    test::WriteFileBytes(name, streams[i]);
    names += " " + test::ShellQuote(name);
  }
  const std::string script =
      "import sys, zlib\n"
      "for name in sys.argv[1:]:\n"
      "    d = zlib.decompressobj(-15)\n"
      "    try:\n"
      "        out = d.decompress(open(name, 'rb').read()) + d.flush()\n"
      "    except zlib.error:\n"
      "        continue\n"
      "    if d.eof and not d.unused_data:\n"
      "        open(name + '.out', 'wb').write(out)\n";
  const auto run = test::RunCommand("python3 -c " + test::ShellQuote(script) + names);
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  std::vector<std::optional<std::vector<u8>>> results;
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const std::string out = folder + "stream" + std::to_string(i) + ".out";
    if (test::FileExists(out)) {
      results.emplace_back(test::ReadFileBytes(out));
    } else {
      results.emplace_back(std::nullopt);
    }
  }
  return results;
}

std::size_t PythonDeflatedSize(const std::string& folder, const std::vector<u8>& data, int level) {
  const std::string name = folder + "reference.in";
  test::WriteFileBytes(name, data);
  const std::string script =
      "import sys, zlib\n"
      "c = zlib.compressobj(" +
      std::to_string(level) +
      ", zlib.DEFLATED, -15)\n"
      "print(len(c.compress(open(sys.argv[1], 'rb').read()) + c.flush()))\n";
  const auto run =
      test::RunCommand("python3 -c " + test::ShellQuote(script) + " " + test::ShellQuote(name));
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  return std::stoul(run.Output);
}

// The block types of a raw deflate stream and its matches, read by a small
// Python walker over the stream's codes (RFC 1951, section 3.2).
struct TStreamShape {
  std::vector<int> BlockTypes;                 // 0 stored, 1 fixed, 2 dynamic
  std::map<std::pair<u32, u32>, u64> Matches;  // (length, distance) -> count
  u64 Literals = 0;
};

const char* const kStreamWalker = R"PY(
import sys
data = open(sys.argv[1], 'rb').read() + bytes(8)
pos = 0
def bits(n):
    global pos
    v = (int.from_bytes(data[pos >> 3:(pos >> 3) + 4], 'little') >> (pos & 7)) & ((1 << n) - 1)
    pos += n
    return v
def table(lengths):
    counts = [0] * 16
    for l in lengths: counts[l] += 1
    counts[0] = 0
    code, first = 0, [0] * 16
    for l in range(1, 16):
        code = (code + counts[l - 1]) << 1
        first[l] = code
    t = {}
    for s, l in enumerate(lengths):
        if l:
            t[(l, first[l])] = s
            first[l] += 1
    return t
def decode(t):
    code = 0
    for l in range(1, 16):
        code = (code << 1) | bits(1)
        s = t.get((l, code))
        if s is not None: return s
    raise ValueError('bad code')
LBASE = [3,4,5,6,7,8,9,10,11,13,15,17,19,23,27,31,35,43,51,59,67,83,99,115,131,163,195,227,258]
LEXT = [0]*8 + [1]*4 + [2]*4 + [3]*4 + [4]*4 + [5]*4 + [0]
DBASE = [1,2,3,4,5,7,9,13,17,25,33,49,65,97,129,193,257,385,513,769,1025,1537,2049,3073,
         4097,6145,8193,12289,16385,24577]
DEXT = [0,0,0,0,1,1,2,2,3,3,4,4,5,5,6,6,7,7,8,8,9,9,10,10,11,11,12,12,13,13]
ORDER = [16,17,18,0,8,7,9,6,10,5,11,4,12,3,13,2,14,1,15]
FIXED = (table([8]*144 + [9]*112 + [7]*24 + [8]*8), table([5]*30))
matches, literals, final = {}, 0, 0
while not final:
    final, kind = bits(1), bits(2)
    print('block', kind)
    if kind == 0:
        pos = (pos + 7) & ~7
        n = bits(16); bits(16); pos += 8 * n
        continue
    if kind == 1:
        lt, dt = FIXED
    else:
        hlit, hdist, hclen = bits(5) + 257, bits(5) + 1, bits(4) + 4
        cl = [0] * 19
        for i in range(hclen): cl[ORDER[i]] = bits(3)
        ct, lens = table(cl), []
        while len(lens) < hlit + hdist:
            s = decode(ct)
            if s < 16: lens.append(s)
            elif s == 16: lens += [lens[-1]] * (3 + bits(2))
            elif s == 17: lens += [0] * (3 + bits(3))
            else: lens += [0] * (11 + bits(7))
        lt, dt = table(lens[:hlit]), table(lens[hlit:])
    while True:
        s = decode(lt)
        if s < 256:
            literals += 1
            continue
        if s == 256: break
        length = LBASE[s - 257] + bits(LEXT[s - 257])
        d = decode(dt)
        key = (length, DBASE[d] + bits(DEXT[d]))
        matches[key] = matches.get(key, 0) + 1
print('literals', literals)
for (l, d), c in sorted(matches.items()): print('match', l, d, c)
)PY";

TStreamShape WalkStream(const std::string& folder, const std::vector<u8>& stream) {
  const std::string name = folder + "walk.in";
  test::WriteFileBytes(name, stream);
  const auto run = test::RunCommand("python3 -c " + test::ShellQuote(kStreamWalker) + " " +
                                    test::ShellQuote(name));
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  TStreamShape shape;
  std::istringstream lines(run.Output);
  std::string word;
  while (lines >> word) {
    if (word == "block") {
      int type = -1;
      lines >> type;
      shape.BlockTypes.push_back(type);
    } else if (word == "literals") {
      lines >> shape.Literals;
    } else if (word == "match") {
      u32 length = 0;
      u32 distance = 0;
      u64 count = 0;
      lines >> length >> distance >> count;
      shape.Matches[{length, distance}] = count;
    }
  }
  return shape;
}

// ---- data ----

enum class TKind { Text, Random, Run, Periodic, Records, Shifting, Reaches };

constexpr std::size_t kPeriod = 10007;

// Random bytes with copies placed at the edges of what the matchers reach:
// three bytes 4096 and 4097 back (the limit of a short match), twelve bytes
// 32506 back (the farthest a match may lie) and 32507 and 32768 back.
std::vector<u8> ReachesData(std::size_t size) {
  auto data = test::RandomBytes(size, 16);
  constexpr std::size_t kDistances[] = {4096, 4097, 32506, 32507, 32768};
  std::size_t n = 0;
  for (std::size_t at = 33000; at + 16 < size; at += 997, ++n) {
    const std::size_t distance = kDistances[n % std::size(kDistances)];
    const std::size_t length = distance < 5000 ? 3 : 12;
    for (std::size_t k = 0; k < length; ++k) data[at + k] = data[at - distance + k];
  }
  return data;
}

std::vector<u8> MakeData(TKind kind, std::size_t size) {
  switch (kind) {
    case TKind::Shifting: {
      // Text and letters of a 16-letter alphabet taking turns every 20000
      // bytes: the statistics change where the blocks should end.
      const auto text = test::TextBytes(size, 14);
      const auto noise = test::RandomBytes(size, 15);
      std::vector<u8> data(size);
      for (std::size_t i = 0; i < size; ++i)
        data[i] = (i / 20000) % 2 == 0 ? text[i] : static_cast<u8>('A' + (noise[i] & 15));
      return data;
    }
    case TKind::Reaches:
      return ReachesData(size);
    case TKind::Text:
      return test::TextBytes(size, 11);
    case TKind::Random:
      return test::RandomBytes(size, 12);
    case TKind::Run:
      return std::vector<u8>(size, 'x');
    case TKind::Periodic: {
      // A random block repeated: every match lies kPeriod back, so after
      // the first block the data compresses only if matches keep being
      // found across window slides.
      const auto block = test::RandomBytes(kPeriod, 13);
      std::vector<u8> data(size);
      for (std::size_t i = 0; i < size; ++i) data[i] = block[i % kPeriod];
      return data;
    }
    case TKind::Records: {
      // Binary records: little-endian counters, type bytes, some noise.
      const auto noise = test::RandomBytes(size, 14);
      std::vector<u8> data(size);
      for (std::size_t i = 0; i < size; ++i) {
        const std::size_t record = i / 16;
        const std::size_t field = i % 16;
        data[i] = field < 4    ? static_cast<u8>(record >> (8 * field))
                  : field < 6  ? static_cast<u8>(0x80 | (record % 7))
                  : field < 12 ? static_cast<u8>(noise[i] & 0x83)
                               : u8{0};
      }
      return data;
    }
  }
  return {};
}

const char* KindName(TKind kind) {
  switch (kind) {
    case TKind::Text:
      return "Text";
    case TKind::Random:
      return "Random";
    case TKind::Run:
      return "Run";
    case TKind::Periodic:
      return "Periodic";
    case TKind::Records:
      return "Records";
    case TKind::Shifting:
      return "Shifting";
    case TKind::Reaches:
      return "Reaches";
  }
  return "?";
}

class DeflateFixture {
 protected:
  test::TScriptedHost Host;
  TFakePlatform Platform{Host};
  TDeflater Deflater;
};

// ---- round trips over every level, sizes and kinds of data ----

struct TRoundTripCase {
  TKind Kind;
  std::size_t Size;
};

std::ostream& operator<<(std::ostream& os, const TRoundTripCase& c) {
  return os << KindName(c.Kind) << "/" << c.Size;
}

class DeflateRoundTrip : public DeflateFixture, public ::testing::TestWithParam<TRoundTripCase> {};

// Every level's stream inflates (or, when stored, is) the input; the return
// value is the byte count written; no diagnostic appears. Per kind, the
// size and the text flag follow what the data is.
TEST_P(DeflateRoundTrip, EveryLevelReproducesTheInput) {
  if (!HavePython()) GTEST_SKIP() << "python3 not available";
  const auto [kind, size] = GetParam();
  const auto data = MakeData(kind, size);
  std::vector<TCompressed> results;
  std::vector<std::vector<u8>> streams;
  for (int level = 0; level <= 9; ++level) {
    results.push_back(Compress(Deflater, data, level));
    streams.push_back(results.back().Bytes);
  }
  const auto inflated = PythonInflate(Platform.Root(), streams);

  for (int level = 0; level <= 9; ++level) {
    SCOPED_TRACE("level " + std::to_string(level));
    const TCompressed& r = results[static_cast<std::size_t>(level)];
    EXPECT_EQ(r.Returned, r.Bytes.size());
    if (r.Header.CompressionMethod == 0) {
      EXPECT_EQ(r.Bytes, data);
    } else {
      EXPECT_EQ(r.Header.CompressionMethod, 8);
      ASSERT_TRUE(inflated[static_cast<std::size_t>(level)].has_value());
      EXPECT_EQ(*inflated[static_cast<std::size_t>(level)], data);
    }
    if (size == 0 || level == 0) {
      EXPECT_EQ(r.Header.CompressionMethod, 0);
    }
    if (size == 0) {
      EXPECT_EQ(r.Header.InternalAttributes, 1);
    }
    if (level == 0 || size < 1000) continue;

    switch (kind) {
      case TKind::Text:
        EXPECT_EQ(r.Header.InternalAttributes, 1);
        EXPECT_LT(r.Bytes.size(), size / 2);
        break;
      case TKind::Random:
        EXPECT_EQ(r.Header.InternalAttributes, 0);
        if (size <= 16001) {
          // One block that does not shrink: the member is stored raw.
          EXPECT_EQ(r.Header.CompressionMethod, 0);
        } else if (size >= 65535) {
          // Several blocks, which go out as stored blocks.
          EXPECT_EQ(r.Header.CompressionMethod, 8);
        }
        EXPECT_LE(r.Bytes.size(), size + 5 * (size / 32767 + 1));
        break;
      case TKind::Run:
        EXPECT_EQ(r.Header.InternalAttributes, 1);
        EXPECT_LT(r.Bytes.size(), size / 50);
        break;
      case TKind::Periodic:
        EXPECT_EQ(r.Header.InternalAttributes, 0);
        EXPECT_LT(r.Bytes.size(), std::min(size, kPeriod) + size / 50 + 100);
        break;
      case TKind::Records:
        EXPECT_EQ(r.Header.InternalAttributes, 0);
        EXPECT_LT(r.Bytes.size(), size / 2);
        break;
      case TKind::Shifting:
        EXPECT_EQ(r.Header.InternalAttributes, 1);
        EXPECT_LT(r.Bytes.size(), size / 2);
        break;
      case TKind::Reaches:
        EXPECT_EQ(r.Header.InternalAttributes, 0);
        EXPECT_LE(r.Bytes.size(), size + 5 * (size / 32767 + 1));
        break;
    }
  }
}

std::vector<TRoundTripCase> RoundTripCases() {
  std::vector<TRoundTripCase> cases;
  // 65275 and up pass the point where the window slides (65274).
  const std::size_t sizes[] = {0, 1, 16000, 16001, 32768, 65535, 65536, 65275, 300000};
  for (const TKind kind : {TKind::Text, TKind::Random, TKind::Run, TKind::Periodic})
    for (const std::size_t size : sizes) cases.push_back({kind, size});
  cases.push_back({TKind::Records, 100000});
  // Blocks ending at chunk boundaries, and matches at the edges of reach,
  // across window slides.
  for (const std::size_t size : {4096, 65536, 200000}) cases.push_back({TKind::Shifting, size});
  for (const std::size_t size : {65536, 200000}) cases.push_back({TKind::Reaches, size});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(KindsAndSizes, DeflateRoundTrip, ::testing::ValuesIn(RoundTripCases()),
                         [](const ::testing::TestParamInfo<TRoundTripCase>& p) {
                           return std::string(KindName(p.param.Kind)) + "_" +
                                  std::to_string(p.param.Size);
                         });

// ---- per level ----

class DeflateLevel : public DeflateFixture, public ::testing::TestWithParam<int> {};

// Bits 1-2 carry the level (0-2: 4, 8-9: 2, else none); others stay.
TEST_P(DeflateLevel, SetsTheLevelFlagBitsOnly) {
  const int level = GetParam();
  const u16 expected = level <= 2 ? 4 : level >= 8 ? 2 : 0;
  const auto data = MakeData(TKind::Text, 5000);
  for (const u16 before : {u16{0x0000}, u16{0x0807}, u16{0xFFFF}}) {
    TZipHeaderInfo header;
    header.Flags = before;
    Deflater.CompressMember(
        header, level, ReaderOf(data), [](std::span<const u8>) {}, "f");
    EXPECT_EQ(header.Flags & 0x6, expected) << before;
    EXPECT_EQ(header.Flags & ~0x6, before & ~0x6) << before;
  }
}

// However the read routine splits the input, the stream is the same as
// when everything asked for is delivered.
TEST_P(DeflateLevel, OddReadPiecesGiveTheSameStream) {
  const int level = GetParam();
  std::vector<u8> data = MakeData(TKind::Text, 150000);
  const auto noise = MakeData(TKind::Random, 40000);
  data.insert(data.begin() + 70000, noise.begin(), noise.end());
  const TCompressed whole = Compress(Deflater, data, level);
  const TCompressed pieces = Compress(Deflater, data, level, {1, 7, 3, 300, 2, 4099, 5});
  EXPECT_EQ(pieces.Bytes, whole.Bytes);
  EXPECT_EQ(pieces.Header.InternalAttributes, whole.Header.InternalAttributes);
  EXPECT_EQ(pieces.Header.CompressionMethod, whole.Header.CompressionMethod);
}

// One object compresses member after member: the output for a member does
// not depend on what came before it.
TEST_P(DeflateLevel, ReusedObjectGivesTheSameStreamAsAFreshOne) {
  const int level = GetParam();
  // The second member is the start of the first, so what follows its end in
  // the window, if left over, continues it and would lengthen the last
  // match candidates.
  const auto first = MakeData(TKind::Text, 60000);
  const std::vector<u8> second(first.begin(), first.begin() + 20000);
  Compress(Deflater, first, level);
  const TCompressed reused = Compress(Deflater, second, level);
  TDeflater fresh;
  const TCompressed clean = Compress(fresh, second, level);
  EXPECT_EQ(reused.Bytes, clean.Bytes);
}

// A run of one byte is coded as matches of 258: at distance 1 by the lazy
// levels, which hash every string; by the fast ones at distance 1 once and
// then at 258, since they skip hashing inside matches longer than their
// insert limit. Position 0 is no match source (a link of 0 means none), so
// two literals come first; only the last match is shorter.
TEST_P(DeflateLevel, LongRunIsCodedAsMatchesOf258) {
  if (!HavePython()) GTEST_SKIP() << "python3 not available";
  const int level = GetParam();
  const std::size_t size = 100000;
  const std::vector<u8> data(size, 0x41);
  const TCompressed r = Compress(Deflater, data, level);
  const TStreamShape shape = WalkStream(Platform.Root(), r.Bytes);
  const u64 full = (size - 2) / 258;
  const auto rest = static_cast<u32>((size - 2) % 258);
  std::map<std::pair<u32, u32>, u64> expected;
  if (level >= 4) {
    expected = {{{258, 1}, full}, {{rest, 1}, 1}};
  } else {
    expected = {{{258, 1}, 1}, {{258, 258}, full - 1}, {{rest, 258}, 1}};
  }
  EXPECT_EQ(shape.Matches, expected);
  EXPECT_EQ(shape.Literals, 2u);
}

// Text goes out in dynamic blocks; a few items (a short run) in a fixed
// block, which needs no trees; data that does not compress in stored
// blocks (the last block may be too small to be worth it).
TEST_P(DeflateLevel, BlockTypeFollowsTheData) {
  if (!HavePython()) GTEST_SKIP() << "python3 not available";
  const int level = GetParam();
  const TStreamShape text =
      WalkStream(Platform.Root(), Compress(Deflater, MakeData(TKind::Text, 100000), level).Bytes);
  ASSERT_FALSE(text.BlockTypes.empty());
  for (const int type : text.BlockTypes) EXPECT_EQ(type, 2);

  const TStreamShape shortRun =
      WalkStream(Platform.Root(), Compress(Deflater, MakeData(TKind::Run, 300), level).Bytes);
  EXPECT_EQ(shortRun.BlockTypes, std::vector<int>{1});

  const TStreamShape random =
      WalkStream(Platform.Root(), Compress(Deflater, MakeData(TKind::Random, 200000), level).Bytes);
  ASSERT_GE(random.BlockTypes.size(), 6u);
  for (std::size_t i = 0; i + 1 < random.BlockTypes.size(); ++i) EXPECT_EQ(random.BlockTypes[i], 0);
}

// A 3-byte match more than 4096 bytes back costs more than its literals, so
// no level takes one; nearer ones are taken from level 4 on, while the fast
// levels look for matches of four bytes and more only. Eight near copies
// follow bytes of every kind, so a hash that looked past the three bytes
// would miss some: levels 7-9 chain every three-byte string and find all
// eight; levels 4-6 keep only the latest string of each three-byte hash,
// which another may have replaced.
TEST_P(DeflateLevel, ShortMatchesOnlyNearAndAboveLevel3) {
  if (!HavePython()) GTEST_SKIP() << "python3 not available";
  const int level = GetParam();
  auto data = test::RandomBytes(20000, 31);
  const auto plant = [&](std::size_t at, std::size_t from) {
    for (std::size_t k = 0; k < 3; ++k) data[at + k] = data[from + k];
    data[at + 3] = static_cast<u8>(data[from + 3] + 1);
  };
  plant(12000, 2000);                                                           // 10000 back
  for (std::size_t i = 0; i < 8; ++i) plant(17000 + 300 * i, 14500 + 300 * i);  // 2500 back
  data.insert(data.end(), 30000, 'x');  // so that the member is not stored
  const TStreamShape shape = WalkStream(Platform.Root(), Compress(Deflater, data, level).Bytes);
  bool farShort = false;
  for (const auto& [key, count] : shape.Matches) farShort |= key.first == 3 && key.second > 4096;
  EXPECT_FALSE(farShort);
  const auto near = shape.Matches.find({3, 2500});
  const u64 nearCount = near == shape.Matches.end() ? 0 : near->second;
  if (level >= 7) {
    EXPECT_EQ(nearCount, 8u);
  } else if (level >= 4) {
    EXPECT_GE(nearCount, 6u);
  } else {
    EXPECT_EQ(nearCount, 0u);
  }
}

// A block ends at a chunk boundary (every 4096 items) where coding the two
// parts apart saves more than a new header costs. Text followed by letters
// of a 16-letter alphabet, about 10000 + 20000 items, fit one block of 32768
// items but code better in two or more; 80000 bytes of text alone stay one
// block.
TEST_P(DeflateLevel, BlocksEndWhereTheStatisticsChange) {
  if (!HavePython()) GTEST_SKIP() << "python3 not available";
  const int level = GetParam();
  const auto noise = test::RandomBytes(30000, 22);
  std::vector<u8> letters(noise.size());
  for (std::size_t i = 0; i < noise.size(); ++i)
    letters[i] = static_cast<u8>('A' + (noise[i] & 15));
  std::vector<u8> mixed = test::TextBytes(40000, 23);
  mixed.insert(mixed.end(), letters.begin(), letters.begin() + 20000);

  const TStreamShape changing = WalkStream(Platform.Root(), Compress(Deflater, mixed, level).Bytes);
  EXPECT_GE(changing.BlockTypes.size(), 2u);
  const TStreamShape steady =
      WalkStream(Platform.Root(), Compress(Deflater, test::TextBytes(80000, 24), level).Bytes);
  EXPECT_EQ(steady.BlockTypes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Levels1To9, DeflateLevel, ::testing::Range(1, 10));

// ---- level 0 ----

TEST(DeflateStore, LevelZeroCopiesTheBytesAndJudgesTheFirst32K) {
  TDeflater deflater;
  // Binary beyond the first 32 KB does not change a text verdict.
  auto data = MakeData(TKind::Text, 40000);
  const auto noise = MakeData(TKind::Random, 60000);
  data.insert(data.end(), noise.begin(), noise.end());
  const TCompressed r = Compress(deflater, data, 0, {1000, 3});
  EXPECT_EQ(r.Header.CompressionMethod, 0);
  EXPECT_EQ(r.Header.InternalAttributes, 1);
  EXPECT_EQ(r.Bytes, data);
  EXPECT_EQ(r.Returned, data.size());
  const TCompressed binary = Compress(deflater, noise, 0);
  EXPECT_EQ(binary.Header.InternalAttributes, 0);
}

// ---- failing routines ----

struct TWriteFailed : std::runtime_error {
  TWriteFailed() : std::runtime_error("disk full") {}
};

class DeflateFailure : public DeflateFixture, public ::testing::TestWithParam<int> {};

TEST_P(DeflateFailure, WriteErrorPropagatesAndTheObjectStaysUsable) {
  if (!HavePython()) GTEST_SKIP() << "python3 not available";
  const int level = GetParam();
  const auto data = MakeData(TKind::Text, 400000);
  std::size_t written = 0;
  const TDeflateWrite failing = [&written](std::span<const u8> bytes) {
    written += bytes.size();
    if (written > 1000) throw TWriteFailed();
  };
  TZipHeaderInfo header;
  EXPECT_THROW(Deflater.CompressMember(header, level, ReaderOf(data), failing, "f"), TWriteFailed);

  const TCompressed after = Compress(Deflater, data, level);
  if (level == 0) {
    EXPECT_EQ(after.Bytes, data);
  } else {
    const auto inflated = PythonInflate(Platform.Root(), {after.Bytes});
    ASSERT_TRUE(inflated[0].has_value());
    EXPECT_EQ(*inflated[0], data);
  }
}

// The failing read routine fills its buffer before it throws; what it left
// in the window must not shape the next member's stream.
TEST_P(DeflateFailure, ReadErrorPropagatesAndLeavesNoTrace) {
  const int level = GetParam();
  const auto data = MakeData(TKind::Text, 60000);
  std::size_t calls = 0;
  std::size_t pos = 0;
  const TDeflateRead failing = [&](std::span<u8> buffer) -> std::size_t {
    const std::size_t n = std::min(buffer.size(), data.size() - pos);
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(pos), n, buffer.begin());
    if (++calls == 2) throw EUserCanceled("User Aborted Operation");
    pos += std::min<std::size_t>(n, 100);
    return std::min<std::size_t>(n, 100);
  };
  TZipHeaderInfo header;
  EXPECT_THROW(Deflater.CompressMember(
                   header, level, failing, [](std::span<const u8>) {}, "f"),
               EUserCanceled);

  const int next = level == 0 ? 6 : level;
  const std::vector<u8> member(data.begin(), data.begin() + 20000);
  TDeflater fresh;
  EXPECT_EQ(Compress(Deflater, member, next).Bytes, Compress(fresh, member, next).Bytes);
}

INSTANTIATE_TEST_SUITE_P(Levels, DeflateFailure, ::testing::Values(0, 1, 6, 9));

// ---- one object, member after member ----

// Between members the object clears only the hash heads the last member
// set, when it was small; a head it misses points into the next member and
// changes its stream. Members are cut from one stream of text with a random
// byte every 23, so rare strings recur at the same positions in the next
// member cut at the same place: a missed head is there a candidate at
// distance 0, which a clean object never sees. Zeros after a member's bytes
// repeat what the last strings of an equal member without them hashed.
enum class TFailAt { Nothing, Read, Write };

struct TMemberStep {
  int Level = 0;
  std::size_t Size;  // bytes of the stream, from From on
  std::size_t From = 0;
  std::size_t Zeros = 0;  // zero bytes after them
  TFailAt Fail = TFailAt::Nothing;
};

struct TSequenceCase {
  std::string Name;
  std::vector<TMemberStep> Steps;
};

std::ostream& operator<<(std::ostream& os, const TSequenceCase& c) {
  return os << c.Name;
}

constexpr std::size_t kLimit = TDeflater::kRehashLimit;
constexpr std::size_t kSlides = 70000;  // past the point where the window slides

std::vector<u8> StepBytes(const TMemberStep& step) {
  static const std::vector<u8> stream = [] {
    auto data = test::TextBytes(2 * kSlides, 21);
    const auto noise = test::RandomBytes(data.size(), 22);
    for (std::size_t i = 0; i < data.size(); i += 23) data[i] = noise[i];
    return data;
  }();
  const auto first = stream.begin() + static_cast<std::ptrdiff_t>(step.From);
  std::vector<u8> bytes(first, first + static_cast<std::ptrdiff_t>(step.Size));
  bytes.resize(step.Size + step.Zeros, 0);
  return bytes;
}

// Delivers `bytes`; a failing read stops 100 bytes short, fills the whole
// buffer offered next with 0xA5 and throws. A member larger than the window
// has then hashed and slid before the failure.
TDeflateRead FailingReaderOf(const std::vector<u8>& bytes) {
  const std::size_t stop = bytes.size() - std::min<std::size_t>(bytes.size(), 100);
  return [&bytes, stop, pos = std::size_t{0}](std::span<u8> buffer) mutable -> std::size_t {
    if (pos == stop) {
      std::fill(buffer.begin(), buffer.end(), u8{0xA5});
      throw EUserCanceled("User Aborted Operation");
    }
    const std::size_t n = std::min(buffer.size(), stop - pos);
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(pos), n, buffer.begin());
    pos += n;
    return n;
  };
}

// The member's stream, or nullopt when the read or write routine threw.
std::optional<TCompressed> CompressStep(TDeflater& deflater, const TMemberStep& step) {
  const std::vector<u8> bytes = StepBytes(step);
  TCompressed result;
  std::size_t calls = 0;
  const TDeflateWrite write = [&](std::span<const u8> out) {
    // A small member's stream goes out in one write, after all its strings
    // were hashed.
    if (step.Fail == TFailAt::Write && ++calls == 1) throw TWriteFailed();
    result.Bytes.insert(result.Bytes.end(), out.begin(), out.end());
  };
  try {
    const TDeflateRead read = step.Fail == TFailAt::Read ? FailingReaderOf(bytes) : ReaderOf(bytes);
    result.Returned = deflater.CompressMember(result.Header, step.Level, read, write, "m");
  } catch (const EUserCanceled&) {
    return std::nullopt;
  } catch (const TWriteFailed&) {
    return std::nullopt;
  }
  return result;
}

class DeflateSequence : public ::testing::TestWithParam<TSequenceCase> {};

TEST_P(DeflateSequence, ReusedObjectMatchesAFreshOnePerMember) {
  TDeflater reused;
  for (std::size_t i = 0; i < GetParam().Steps.size(); ++i) {
    const TMemberStep& step = GetParam().Steps[i];
    SCOPED_TRACE("member " + std::to_string(i) + ": level " + std::to_string(step.Level) + ", " +
                 std::to_string(step.Size) + "+" + std::to_string(step.Zeros) + " bytes");
    // A head left over can give a match onto the string itself, which the
    // compressor refuses with EInvalidMatch.
    std::optional<TCompressed> got;
    ASSERT_NO_THROW(got = CompressStep(reused, step));
    if (step.Fail != TFailAt::Nothing) {
      EXPECT_FALSE(got.has_value()) << "the failure did not happen";
      continue;
    }
    ASSERT_TRUE(got.has_value());
    TDeflater fresh;
    const auto expected = CompressStep(fresh, step);
    ASSERT_TRUE(expected.has_value());
    EXPECT_EQ(got->Bytes, expected->Bytes);
    EXPECT_EQ(got->Returned, expected->Returned);
    EXPECT_EQ(got->Header.CompressionMethod, expected->Header.CompressionMethod);
    EXPECT_EQ(got->Header.InternalAttributes, expected->Header.InternalAttributes);
  }
}

std::vector<TSequenceCase> SequenceCases() {
  std::vector<TSequenceCase> cases;
  // One level throughout, sizes on both sides of the limit.
  const std::vector<TMemberStep> sizes = {{.Size = 100},
                                          {.Size = 100},
                                          {.Size = 0},
                                          {.Size = 1},
                                          {.Size = 3},
                                          {.Size = 5},
                                          {.Size = 300},
                                          {.Size = 300, .Zeros = 20},
                                          {.Size = 47},
                                          {.Size = 47, .Zeros = 20},
                                          {.Size = 1013},
                                          {.Size = 1013, .Zeros = 20},
                                          {.Size = kLimit - 1},
                                          {.Size = kLimit},
                                          {.Size = kLimit - 1, .Zeros = 1},
                                          {.Size = kLimit + 1},
                                          {.Size = kLimit - 1},
                                          {.Size = 20000},
                                          {.Size = kLimit},
                                          {.Size = 300}};
  for (const int level : {1, 3, 4, 6, 7, 9}) {
    TSequenceCase c{"Level" + std::to_string(level), sizes};
    for (TMemberStep& step : c.Steps) step.Level = level;
    cases.push_back(std::move(c));
  }
  // The hash kind changes from member to member: four-byte strings alone
  // (1, 3), with the near table (4, 6), three-byte rolling (7, 9); stored
  // members (0) in between overwrite the window with other bytes.
  cases.push_back(
      {"KindsAlternate", {{6, kLimit}, {1, kLimit},     {6, kLimit},
                          {9, kLimit}, {4, kLimit - 1}, {7, kLimit},
                          {3, 5},      {6, kLimit},     {.Level = 0, .Size = kLimit, .From = 5000},
                          {6, kLimit}, {9, 1000},       {.Level = 0, .Size = 1000, .From = 5000},
                          {9, 1000},   {9, 1},          {0, 3},
                          {1, 0},      {4, kLimit},     {9, kLimit},
                          {6, 1},      {3, kLimit}}});
  // Members large enough to slide the window, each followed by a small one.
  cases.push_back({"SlidesThenSmall",
                   {{6, kSlides},
                    {6, kLimit},
                    {9, kSlides},
                    {9, kLimit},
                    {1, kSlides},
                    {4, kLimit},
                    {7, 20000},
                    {6, 100}}});
  // A failed member leaves its heads and its window to the next one.
  cases.push_back({"FailuresThenNormal",
                   {{.Level = 6, .Size = kLimit, .Fail = TFailAt::Read},
                    {6, kLimit},
                    {.Level = 9, .Size = 100, .Fail = TFailAt::Read},
                    {9, 100},
                    {.Level = 1, .Size = kSlides, .Fail = TFailAt::Read},
                    {1, kLimit},
                    {.Level = 6, .Size = kSlides, .Fail = TFailAt::Read},
                    {6, kLimit},
                    {.Level = 0, .Size = kLimit, .Fail = TFailAt::Read},
                    {7, kLimit},
                    {.Level = 4, .Size = kLimit, .Fail = TFailAt::Write},
                    {4, kLimit},
                    {.Level = 9, .Size = kLimit, .Fail = TFailAt::Write},
                    {6, kLimit}}});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Sequences, DeflateSequence, ::testing::ValuesIn(SequenceCases()),
                         [](const ::testing::TestParamInfo<TSequenceCase>& p) {
                           return p.param.Name;
                         });

// ---- size against the reference ----

class DeflateSize : public DeflateFixture, public ::testing::TestWithParam<TKind> {};

TEST_P(DeflateSize, Level6IsWithinOnePercentOfZlib) {
  if (!HavePython()) GTEST_SKIP() << "python3 not available";
  const auto data = MakeData(GetParam(), 500000);
  const TCompressed ours = Compress(Deflater, data, 6);
  const std::size_t reference = PythonDeflatedSize(Platform.Root(), data, 6);
  EXPECT_LE(static_cast<double>(ours.Bytes.size()), static_cast<double>(reference) * 1.01)
      << ours.Bytes.size() << " vs " << reference;
}

INSTANTIATE_TEST_SUITE_P(Kinds, DeflateSize,
                         ::testing::Values(TKind::Text, TKind::Records, TKind::Periodic),
                         [](const ::testing::TestParamInfo<TKind>& p) {
                           return std::string(KindName(p.param));
                         });

}  // namespace
}  // namespace vz
