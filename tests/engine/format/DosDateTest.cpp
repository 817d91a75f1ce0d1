#include "engine/format/DosDate.h"

#include <gtest/gtest.h>

namespace vz {
namespace {

u32 Dos(int y, int mo, int d, int h, int mi, int s) { return PackDosDateTime({y, mo, d, h, mi, s}); }

TEST(DosDateClamp, ValidValuesAreKeptBitForBit) {
  const u32 v = Dos(2024, 2, 29, 23, 59, 58);
  EXPECT_EQ(NormaliseDosDateTime(v), v);
  // Hour 24 is in range for the clamp (it only fails later conversions).
  const u32 h24 = Dos(2001, 1, 1, 24, 0, 0);
  EXPECT_EQ(NormaliseDosDateTime(h24), h24);
  // Day 31 of a 30-day month is not the clamp's business either.
  const u32 d31 = Dos(2001, 4, 31, 0, 0, 0);
  EXPECT_EQ(NormaliseDosDateTime(d31), d31);
}

TEST(DosDateClamp, MonthAndDayZeroBecomeFirstOfJanuary) {
  const TDosFields f = UnpackDosDateTime(NormaliseDosDateTime(Dos(2010, 0, 0, 12, 34, 56)));
  EXPECT_EQ(f.Year, 2010);
  EXPECT_EQ(f.Month, 1);
  EXPECT_EQ(f.Day, 1);
  EXPECT_EQ(f.Hour, 12);
  EXPECT_EQ(f.Minute, 34);
  EXPECT_EQ(f.Second, 56);
}

TEST(DosDateClamp, FieldsAboveTheirRangeAreCapped) {
  // Raw fields: hour 25, minute 61, seconds field 31 (62 s), month 15,
  // year field 127 (2107).
  const u32 raw = 31u | 61u << 5 | 25u << 11 | 5u << 16 | 15u << 21 | 127u << 25;
  const TDosFields f = UnpackDosDateTime(NormaliseDosDateTime(raw));
  EXPECT_EQ(f.Hour, 24);
  EXPECT_EQ(f.Minute, 59);
  EXPECT_EQ(f.Second, 58);  // 59 stored as 59 / 2
  EXPECT_EQ(f.Month, 12);
  EXPECT_EQ(f.Year, 2099);
  EXPECT_EQ(f.Day, 5);
}

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
                                           TPercentCase{200, 1, 0},   // 0.5 -> 0
                                           TPercentCase{200, 3, 2},   // 1.5 -> 2
                                           TPercentCase{200, 5, 2},   // 2.5 -> 2
                                           TPercentCase{200, 7, 4},   // 3.5 -> 4
                                           TPercentCase{3, 1, 33}, TPercentCase{3, 2, 67},
                                           TPercentCase{100, 150, 100},
                                           TPercentCase{i64{1} << 40, i64{1} << 39, 50},
                                           TPercentCase{10, 10, 100}));

}  // namespace
}  // namespace vz
