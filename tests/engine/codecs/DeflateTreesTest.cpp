// The Huffman builder of the compressor: complete, length-limited prefix
// codes whose lengths follow the frequencies, for every alphabet size.
#include "engine/codecs/DeflateTrees.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vz::deflate {
namespace {

struct TTreeCase {
  std::string Name;
  std::vector<u32> Freqs;
  int MaxBits;
};

void PrintTo(const TTreeCase& c, std::ostream* os) {
  *os << c.Name;
}

std::vector<u32> Fibonacci(std::size_t count, std::size_t symbols) {
  std::vector<u32> freqs(symbols, 0);
  u32 a = 1;
  u32 b = 1;
  for (std::size_t i = 0; i < count; ++i) {
    freqs[i] = a;
    const u32 next = a + b;
    a = b;
    b = next;
  }
  return freqs;
}

std::vector<u32> Uniform(std::size_t used, std::size_t symbols) {
  std::vector<u32> freqs(symbols, 0);
  for (std::size_t i = 0; i < used; ++i) freqs[i * symbols / used] = 5;
  return freqs;
}

class HuffmanBuilder : public ::testing::TestWithParam<TTreeCase> {};

TEST_P(HuffmanBuilder, BuildsACompleteLimitedCodeOrderedByFrequency) {
  const TTreeCase& c = GetParam();
  THuffmanBuilder builder;
  std::vector<u8> lengths(c.Freqs.size(), 0xEE);
  const int maxCode = builder.BuildLengths(c.Freqs, c.MaxBits, lengths);

  int present = 0;
  int highest = -1;
  for (std::size_t n = 0; n < c.Freqs.size(); ++n) {
    if (c.Freqs[n] != 0) {
      ++present;
      highest = static_cast<int>(n);
    }
  }
  // Fewer than two symbols: stand-ins make two codes (the next symbol above a
  // lone 0 or 1, else symbol 0).
  const int expectedMax = present >= 2   ? highest
                          : present == 0 ? 1
                          : highest < 2  ? highest + 1
                                         : highest;
  EXPECT_EQ(maxCode, expectedMax);

  // Every occurring symbol has a code within the limit; lengths only grow as
  // frequencies fall; the code is complete (Kraft sum exactly 1).
  u64 kraft = 0;
  int coded = 0;
  for (std::size_t n = 0; n < c.Freqs.size(); ++n) {
    ASSERT_LE(lengths[n], c.MaxBits) << n;
    if (c.Freqs[n] != 0) {
      EXPECT_GE(lengths[n], 1) << n;
    }
    if (lengths[n] != 0) {
      ++coded;
      kraft += u64{1} << (c.MaxBits - lengths[n]);
    }
    for (std::size_t m = 0; m < c.Freqs.size(); ++m) {
      if (c.Freqs[n] > c.Freqs[m] && c.Freqs[m] != 0) {
        EXPECT_LE(lengths[n], lengths[m]) << n << "," << m;
      }
    }
  }
  EXPECT_EQ(coded, std::max(present, 2));
  EXPECT_EQ(kraft, u64{1} << c.MaxBits);

  // Canonical codes: no code is a prefix of another.
  std::vector<u16> codes(c.Freqs.size());
  AssignCanonicalCodes(lengths, codes);
  for (std::size_t n = 0; n < codes.size(); ++n) {
    for (std::size_t m = 0; m < codes.size(); ++m) {
      if (n == m || lengths[n] == 0 || lengths[m] == 0 || lengths[n] > lengths[m]) continue;
      const u32 mask = (1u << lengths[n]) - 1;  // codes are stored bit-reversed
      EXPECT_NE(codes[n] & mask, codes[m] & mask) << n << " prefixes " << m;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Alphabets, HuffmanBuilder,
    ::testing::Values(
        // 30 Fibonacci weights would need a depth of 29: limited to 15.
        TTreeCase{"FibonacciLiterals", Fibonacci(30, kLitLenCodes), kMaxCodeBits},
        TTreeCase{"FibonacciDistances", Fibonacci(25, kDistCodes), kMaxCodeBits},
        // The bit-length tree's limit is 7.
        TTreeCase{"FibonacciBitLengths", Fibonacci(19, kBitLengthCodes), kMaxBitLengthBits},
        TTreeCase{"UniformLiterals", Uniform(kLitLenCodes, kLitLenCodes), kMaxCodeBits},
        TTreeCase{"SparseLiterals", Uniform(40, kLitLenCodes), kMaxCodeBits},
        TTreeCase{"NoSymbols", std::vector<u32>(kDistCodes, 0), kMaxCodeBits},
        TTreeCase{"OnlySymbol0",
                  [] {
                    std::vector<u32> f(kDistCodes, 0);
                    f[0] = 9;
                    return f;
                  }(),
                  kMaxCodeBits},
        TTreeCase{"OnlySymbol1",
                  [] {
                    std::vector<u32> f(kDistCodes, 0);
                    f[1] = 9;
                    return f;
                  }(),
                  kMaxCodeBits},
        TTreeCase{"OnlyEndOfBlock",
                  [] {
                    std::vector<u32> f(kLitLenCodes, 0);
                    f[kEndOfBlock] = 1;
                    return f;
                  }(),
                  kMaxCodeBits},
        TTreeCase{"TwoSymbols",
                  [] {
                    std::vector<u32> f(kBitLengthCodes, 0);
                    f[3] = 100;
                    f[17] = 1;
                    return f;
                  }(),
                  kMaxBitLengthBits}),
    [](const ::testing::TestParamInfo<TTreeCase>& p) { return p.param.Name; });

}  // namespace
}  // namespace vz::deflate
