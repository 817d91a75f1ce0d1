// The shared table builder: which codes it accepts, and that every code of
// an accepted one decodes to its symbol, through sub-tables where needed.
#include "engine/codecs/HuffmanTable.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/BitWriter.h"

namespace vz {
namespace {

std::vector<u32> Symbols(std::size_t n) {
  std::vector<u32> symbols(n);
  for (std::size_t s = 0; s < n; ++s) symbols[s] = huff::Symbol(static_cast<u32>(s), 0, 0);
  return symbols;
}

bool Builds(const std::vector<u8>& lengths, TIncompleteCode incomplete) {
  std::vector<u32> table(4096);
  return BuildHuffmanTable(lengths, Symbols(lengths.size()), 7, incomplete, table);
}

struct TAcceptCase {
  const char* Name;
  std::vector<u8> Lengths;
  bool Reject, AllowSingle, Allow;  // accepted under each rule
};

const TAcceptCase kAcceptCases[] = {
    {"Complete", {1, 2, 3, 3}, true, true, true},
    {"AllUnused", {0, 0, 0}, true, true, true},
    {"OneCodeOfOneBit", {0, 1, 0}, false, true, true},
    {"OneCodeOfTwoBits", {0, 2, 0}, false, false, true},
    {"ThreeOfTwoBits", {2, 2, 2}, false, false, true},
    {"Oversubscribed", {1, 1, 1}, false, false, false},
    {"OversubscribedDeep",
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 16, 16},
     false,
     false,
     false},
    {"LongerThan16", {1, 17}, false, false, false},
};

class HuffmanAccept : public testing::TestWithParam<TAcceptCase> {};

TEST_P(HuffmanAccept, FollowsTheIncompleteCodeRule) {
  const auto& c = GetParam();
  EXPECT_EQ(Builds(c.Lengths, TIncompleteCode::Reject), c.Reject);
  EXPECT_EQ(Builds(c.Lengths, TIncompleteCode::AllowSingle), c.AllowSingle);
  EXPECT_EQ(Builds(c.Lengths, TIncompleteCode::Allow), c.Allow);
}

INSTANTIATE_TEST_SUITE_P(Cases, HuffmanAccept, testing::ValuesIn(kAcceptCases),
                         [](const auto& param) { return std::string(param.param.Name); });

// Decodes the next symbol from `bits` (lowest bit first) as a decoder does.
std::pair<u32, unsigned> LookUp(const std::vector<u32>& table, unsigned primaryBits, u64 bits) {
  u32 entry = table[bits & huff::LowMask(primaryBits)];
  unsigned used = 0;
  if ((entry & huff::kSubTable) != 0) {
    used = primaryBits;
    entry =
        table[huff::Value(entry) + ((bits >> primaryBits) & huff::LowMask(huff::CodeBits(entry)))];
  }
  EXPECT_EQ(entry & huff::kInvalid, 0u);
  return {huff::Value(entry), used + huff::DropBits(entry)};
}

// Random complete codes: split random leaves of a one-leaf tree until the
// alphabet is used up; then send every symbol and decode it back.
TEST(HuffmanTable, EveryCodeOfRandomCompleteCodesDecodes) {
  std::mt19937 random(5);
  for (int round = 0; round < 300; ++round) {
    const unsigned maxBits = round % 2 == 0 ? 15 : 16;
    const std::size_t symbols = 2 + random() % 287;
    const unsigned primaryBits = 5 + round % 7;
    std::vector<u8> leaves = {0};
    while (leaves.size() < symbols) {
      const std::size_t pick = random() % leaves.size();
      if (leaves[pick] >= maxBits) continue;
      ++leaves[pick];
      leaves.push_back(leaves[pick]);
    }
    std::shuffle(leaves.begin(), leaves.end(), random);
    std::vector<u32> table((std::size_t{1} << primaryBits) +
                           MaxSubTableEntries(symbols, primaryBits, maxBits));
    ASSERT_TRUE(
        BuildHuffmanTable(leaves, Symbols(symbols), primaryBits, TIncompleteCode::Reject, table))
        << round;
    const auto codes = test::CanonicalCodes(leaves);
    for (std::size_t s = 0; s < symbols; ++s) {
      test::TBitWriter w;
      w.PutCode(codes[s], leaves[s]);
      w.PutBits(static_cast<u32>(random()), 32);
      u64 bits = 0;
      for (std::size_t i = 0; i < 5; ++i) bits |= static_cast<u64>(w.Bytes()[i]) << (8 * i);
      const auto [symbol, used] = LookUp(table, primaryBits, bits);
      ASSERT_EQ(symbol, s) << round;
      ASSERT_EQ(used, leaves[s]) << round;
    }
  }
}

// A table too small for the sub-tables a code needs is refused, never
// overrun (the sanitizers watch the exact-size vectors): success holds down
// to some size above the primary table and fails below it.
TEST(HuffmanTable, RefusesATableTooSmallForItsSubTables) {
  std::vector<u8> lengths = {1, 2, 3, 4, 5, 8};
  for (int group = 0; group < 56; ++group) lengths.insert(lengths.end(), {12, 13, 14, 15, 15});
  const std::size_t bound = (1u << 11) + MaxSubTableEntries(288, 11, 15);
  std::size_t smallest = bound + 1;
  for (std::size_t size = bound; size >= (1u << 11); --size) {
    std::vector<u32> table(size);
    const bool built =
        BuildHuffmanTable(lengths, Symbols(lengths.size()), 11, TIncompleteCode::Reject, table);
    if (!built) break;
    smallest = size;
  }
  EXPECT_GT(smallest, std::size_t{1} << 11);
  EXPECT_LE(smallest, bound);
  for (std::size_t size = 1u << 11; size < smallest; ++size) {
    std::vector<u32> table(size);
    EXPECT_FALSE(
        BuildHuffmanTable(lengths, Symbols(lengths.size()), 11, TIncompleteCode::Reject, table));
  }
}

TEST(HuffmanTable, UnusedPatternsOfAnAcceptedIncompleteCodeAreInvalid) {
  std::vector<u32> table(32);
  ASSERT_TRUE(
      BuildHuffmanTable(std::vector<u8>{0, 1}, Symbols(2), 5, TIncompleteCode::AllowSingle, table));
  for (u32 i = 0; i < 32; ++i) {
    EXPECT_EQ((table[i] & huff::kInvalid) != 0, (i & 1) != 0) << i;
  }
}

}  // namespace
}  // namespace vz
