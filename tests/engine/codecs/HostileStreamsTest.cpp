// Random, mutated and endless streams for every decoder: none may crash,
// read or write out of bounds (the sanitizer builds watch), write more than
// the stored size, or fail to end. Where Python's zlib fully decodes a
// mutated deflate stream, inflate must give the same bytes.
#include <gtest/gtest.h>

#include <random>

#include "tests/engine/codecs/DecodeHarness.h"
#include "tests/engine/codecs/DeflateWriter.h"
#include "tests/engine/codecs/ImplodeWriter.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

struct TMethod {
  const char* Name;
  u16 Method;
  u16 Flags;
};

const TMethod kMethods[] = {
    {"Stored", 0, 0},      {"Shrunk", 1, 0},      {"Reduced1", 2, 0},    {"Reduced2", 3, 0},
    {"Reduced3", 4, 0},    {"Reduced4", 5, 0},    {"Imploded4K2", 6, 0}, {"Imploded8K2", 6, 2},
    {"Imploded4K3", 6, 4}, {"Imploded8K3", 6, 6}, {"Deflated", 8, 0},
};

// A valid stream of the method and what it decodes to, as a starting point
// for damage: real archives' members for shrink and reduce, hand-made
// streams for the rest.
struct TValid {
  std::vector<u8> Stream;
  std::vector<u8> Data;
};

TValid ValidStream(const TMethod& m) {
  const auto text = test::TextBytes(5000, 31);
  switch (m.Method) {
    case 0:
      return {text, text};
    case 6:
      return {test::ImplodeStream(test::ImplodeTokens(text, m.Flags), m.Flags,
                                  test::DefaultImplodeTrees(m.Flags)),
              text};
    case 8: {
      // A fixed block of greedy matches and literals, then the text stored.
      test::TDeflateWriter w;
      w.FixedHeader(false);
      std::size_t at = 0;
      for (const auto& t : test::ImplodeTokens(text, 4)) {
        if (t.IsLiteral) {
          w.Literal(text[at++]);
          continue;
        }
        const u32 length = std::min<u32>(t.Length, 258);
        w.Match(length, t.Distance);
        for (u32 i = length; i < t.Length; ++i) w.Literal(text[at + i]);
        at += t.Length;
      }
      w.EndOfBlock();
      w.Stored(text, true);
      auto twice = text;
      twice.insert(twice.end(), text.begin(), text.end());
      return {w.Bytes(), twice};
    }
    default: {
      const auto member =
          m.Method == 1 ? test::LegacyMember("Zip.shrink.zip", "TECT.TXT")
                        : test::LegacyMember("Zip.reduce" + std::to_string(m.Method - 1) + ".zip",
                                             "TEST.EXE");
      const auto r = test::Decode(
          {.Method = m.Method, .UncompressedSize = member.Header.UncompressedSize}, member.Data);
      return {member.Data, r.Crc == member.Header.Crc32 ? r.Data : std::vector<u8>{}};
    }
  }
}

void Damage(std::vector<u8>& s, std::mt19937& random) {
  if (s.empty()) return;
  switch (random() % 5) {
    case 0:
      for (u32 n = 1 + random() % 8; n > 0; --n)
        s[random() % s.size()] ^= static_cast<u8>(1u << (random() % 8));
      break;
    case 1:
      for (u32 n = 1 + random() % 4; n > 0; --n) s[random() % s.size()] = static_cast<u8>(random());
      break;
    case 2:
      s.resize(random() % s.size());
      break;
    case 3: {
      const std::size_t at = random() % s.size();
      std::fill(s.begin() + static_cast<std::ptrdiff_t>(at),
                s.begin() + static_cast<std::ptrdiff_t>(std::min(s.size(), at + 1 + random() % 64)),
                0);
      break;
    }
    default: {
      const std::size_t at = random() % s.size();
      const std::size_t n = std::min<std::size_t>(1 + random() % 100, s.size() - at);
      const std::vector<u8> slice(s.begin() + static_cast<std::ptrdiff_t>(at),
                                  s.begin() + static_cast<std::ptrdiff_t>(at + n));
      s.insert(s.begin() + static_cast<std::ptrdiff_t>(random() % s.size()), slice.begin(),
               slice.end());
    }
  }
}

void ExpectSafe(const test::TDecodeResult& r, u32 size, bool nullSink) {
  EXPECT_TRUE(r.KnownMethod);
  EXPECT_LE(r.BytesWritten, size);
  if (!nullSink) {
    EXPECT_EQ(r.Data.size(), r.BytesWritten);
  }
}

class HostileStreams : public testing::TestWithParam<TMethod> {};

TEST_P(HostileStreams, RandomBytesNeverPassTheStoredSize) {
  const auto& m = GetParam();
  std::mt19937 random(m.Method * 16u + m.Flags);
  for (int round = 0; round < 60; ++round) {
    const std::size_t length = random() % 3 == 0 ? random() % 16 : random() % 20000;
    const auto stream = test::RandomBytes(length, static_cast<u32>(random()));
    const u32 size = std::array<u32, 4>{0, 1, 1000, 300000}[random() % 4];
    const auto r =
        test::Decode({.Method = m.Method, .Flags = m.Flags, .UncompressedSize = size}, stream);
    ExpectSafe(r, size, false);
  }
}

TEST_P(HostileStreams, DamagedStreamsNeverPassTheStoredSize) {
  const auto& m = GetParam();
  std::mt19937 random(1000 + m.Method * 16u + m.Flags);
  const auto valid = ValidStream(m);
  const auto size = static_cast<u32>(valid.Data.size());
  ASSERT_GT(size, 0u);
  ASSERT_TRUE(
      test::Decode({.Method = m.Method, .Flags = m.Flags, .UncompressedSize = size}, valid.Stream)
          .Data == valid.Data);
  for (int round = 0; round < 150; ++round) {
    auto stream = valid.Stream;
    for (u32 n = 1 + random() % 3; n > 0; --n) Damage(stream, random);
    const u32 limit = round % 5 == 0 ? size / 3 : size;
    const auto r =
        test::Decode({.Method = m.Method, .Flags = m.Flags, .UncompressedSize = limit}, stream);
    ExpectSafe(r, limit, false);
  }
}

// No input can make a decoder run on: with the largest stored size every
// decoder must stop on its own once the data runs out.
TEST_P(HostileStreams, EndsWhenTheInputEndsWhateverTheStoredSize) {
  const auto& m = GetParam();
  for (const u8 fill : {u8{0x00}, u8{0xFF}, u8{0x5A}}) {
    const std::vector<u8> stream(50000, fill);
    const auto r = test::Decode(
        {.Method = m.Method, .Flags = m.Flags, .UncompressedSize = 0xFFFFFFFF, .NullSink = true},
        stream);
    ExpectSafe(r, 0xFFFFFFFF, true);
    EXPECT_LT(r.BytesWritten, 200'000'000u) << int{fill};
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, HostileStreams, testing::ValuesIn(kMethods),
                         [](const auto& param) { return std::string(param.param.Name); });

// Damaged deflate streams against Python's zlib: where zlib reaches the end
// of the last block, inflate must produce exactly the same bytes.
TEST(HostileDeflate, AgreesWithPythonsZlibOnDamagedStreams) {
  if (!test::HaveProgram("python3")) GTEST_SKIP() << "python3 is not available";
  test::TTempFolder folder;
  const auto text = test::TextBytes(30000, 32);
  const std::vector<std::string> origins = {"6 0", "9 1", "6 4", "1 3", "0 0"};
  std::string program = "import zlib\nd = '" + folder.Path() + "'\n" +
                        "data = open(d + '/data', 'rb').read()\n"
                        "for i, s in enumerate([";
  for (const auto& o : origins) program += "'" + o + "',";
  program += R"(]):
    level, strategy = map(int, s.split())
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
    open(d + '/origin%d' % i, 'wb').write(c.compress(data) + c.flush())
)";
  test::WriteFileBytes(folder.Path() + "/data", text);
  std::string output;
  ASSERT_TRUE(test::RunPython(folder, program, &output)) << output;

  std::mt19937 random(77);
  std::vector<std::vector<u8>> damaged;
  for (std::size_t o = 0; o < origins.size(); ++o) {
    const auto origin = test::ReadFileBytes(folder.Path() + "/origin" + std::to_string(o));
    for (int round = 0; round < 120; ++round) {
      auto stream = origin;
      Damage(stream, random);
      test::WriteFileBytes(folder.Path() + "/damaged" + std::to_string(damaged.size()), stream);
      damaged.push_back(stream);
    }
  }
  const std::string check = "import zlib\nd = '" + folder.Path() + "'\nfor i in range(" +
                            std::to_string(damaged.size()) + R"():
    o = zlib.decompressobj(-15)
    try:
        out = o.decompress(open(d + '/damaged%d' % i, 'rb').read())
        ok = o.eof
    except zlib.error:
        ok = False
    if ok:
        open(d + '/plain%d' % i, 'wb').write(out)
)";
  ASSERT_TRUE(test::RunPython(folder, check, &output)) << output;
  int agreed = 0;
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    const std::string plain = folder.Path() + "/plain" + std::to_string(i);
    if (!test::FileExists(plain)) {
      ExpectSafe(test::Inflated(damaged[i], 30000), 30000, false);
      continue;
    }
    const auto expected = test::ReadFileBytes(plain);
    const auto r = test::Inflated(damaged[i], static_cast<u32>(expected.size()));
    EXPECT_TRUE(r.Data == expected) << "damaged stream " << i;
    EXPECT_FALSE(r.TooBig);
    ++agreed;
  }
  EXPECT_GT(agreed, 100);  // much damage leaves a valid stream (stored data, literals)
}

}  // namespace
}  // namespace vz
