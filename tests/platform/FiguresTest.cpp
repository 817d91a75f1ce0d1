// The figures both front ends show: percentages and sizes.
#include "platform/Figures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

namespace vz {
namespace {

struct TPercentCase {
  i64 Total, Done;
  int Expected;
};

class PercentTest : public ::testing::TestWithParam<TPercentCase> {};

TEST_P(PercentTest, RoundsHalvesToEvenAndCapsAt100) {
  const auto& c = GetParam();
  EXPECT_EQ(Percent(c.Total, c.Done), c.Expected) << c.Total << " " << c.Done;
}

INSTANTIATE_TEST_SUITE_P(Cases, PercentTest,
                         ::testing::Values(TPercentCase{0, 5, 0}, TPercentCase{-3, 1, 0},
                                           TPercentCase{200, 1, 0},  // 0.5 -> 0
                                           TPercentCase{200, 3, 2},  // 1.5 -> 2
                                           TPercentCase{200, 5, 2},  // 2.5 -> 2
                                           TPercentCase{200, 7, 4},  // 3.5 -> 4
                                           TPercentCase{3, 1, 33}, TPercentCase{3, 2, 67},
                                           TPercentCase{100, 150, 100},
                                           TPercentCase{i64{1} << 40, i64{1} << 39, 50},
                                           TPercentCase{10, 10, 100}));

struct TSizeCase {
  i64 Bytes;
  std::string Comma;   // "," thousands, "." decimals
  std::string Period;  // "." thousands, "," decimals
  friend void PrintTo(const TSizeCase& c, std::ostream* os) { *os << c.Bytes; }
};

class FormatSizeTest : public ::testing::TestWithParam<TSizeCase> {};

TEST_P(FormatSizeTest, UsesTheUnitAndTheSeparators) {
  EXPECT_EQ(FormatSize(GetParam().Bytes, TNumberFormat{",", "."}), GetParam().Comma);
  EXPECT_EQ(FormatSize(GetParam().Bytes, TNumberFormat{".", ","}), GetParam().Period);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, FormatSizeTest,
    ::testing::Values(
        TSizeCase{0, "0", "0"}, TSizeCase{999, "999", "999"}, TSizeCase{1023, "1,023", "1.023"},
        TSizeCase{1024, "1KB", "1KB"}, TSizeCase{1535, "1KB", "1KB"}, TSizeCase{1536, "2KB", "2KB"},
        TSizeCase{1048575, "1,024KB", "1.024KB"}, TSizeCase{1048576, "1MB", "1MB"},
        TSizeCase{1572864, "1.5MB", "1,5MB"}, TSizeCase{1310720, "1.25MB", "1,25MB"},
        TSizeCase{1048576 + 10486, "1.01MB", "1,01MB"}, TSizeCase{1048576 + 5242, "1MB", "1MB"},
        TSizeCase{1073741824, "1,024MB", "1.024MB"}, TSizeCase{-2000, "-2,000", "-2.000"},
        TSizeCase{INT64_MAX, "8,796,093,022,208MB", "8.796.093.022.208MB"},
        TSizeCase{INT64_MIN, "-9,223,372,036,854,775,808", "-9.223.372.036.854.775.808"}));

}  // namespace
}  // namespace vz
