// Runs with TZ=UTC (set by CTest), so local time is UTC here.
#include "platform/DosTime.h"

#include <gtest/gtest.h>

namespace vz {
namespace {

TFileTime At(std::time_t t) { return std::chrono::system_clock::from_time_t(t); }

TEST(DosTime, PacksAndUnpacksFields) {
  const TDosFields f{2025, 4, 11, 13, 33, 2};
  const u32 value = PackDosDateTime(f);
  EXPECT_EQ(value, 0x5A8B6C21u);
  const TDosFields back = UnpackDosDateTime(value);
  EXPECT_EQ(back.Year, 2025);
  EXPECT_EQ(back.Month, 4);
  EXPECT_EQ(back.Day, 11);
  EXPECT_EQ(back.Hour, 13);
  EXPECT_EQ(back.Minute, 33);
  EXPECT_EQ(back.Second, 2);
}

TEST(DosTime, FileTimesConvertInLocalTime) {
  // 2001-09-09 01:46:40 UTC
  const u32 dos = FileTimeToDosDateTime(At(1'000'000'000));
  const TDosFields f = UnpackDosDateTime(dos);
  EXPECT_EQ(f.Year, 2001);
  EXPECT_EQ(f.Month, 9);
  EXPECT_EQ(f.Day, 9);
  EXPECT_EQ(f.Hour, 1);
  EXPECT_EQ(f.Minute, 46);
  EXPECT_EQ(f.Second, 40);
  EXPECT_EQ(DosDateTimeToFileTime(dos), At(1'000'000'000));
}

TEST(DosTime, OddSecondsRoundUpToTheNextStep) {
  const u32 dos = FileTimeToDosDateTime(At(1'000'000'001));
  EXPECT_EQ(DosDateTimeToFileTime(dos), At(1'000'000'002));
}

TEST(DosTime, TimesOutsideTheDosRangeAreClamped) {
  EXPECT_EQ(UnpackDosDateTime(FileTimeToDosDateTime(At(0))).Year, 1980);
  const TDosFields late = UnpackDosDateTime(FileTimeToDosDateTime(At(5'000'000'000)));
  EXPECT_EQ(late.Year, 2107);
  EXPECT_EQ(late.Month, 12);
}

TEST(DosTime, InvalidCalendarValuesDoNotConvert) {
  EXPECT_FALSE(DosDateTimeToDateTime(PackDosDateTime({2020, 2, 30, 0, 0, 0})));
  EXPECT_FALSE(DosDateTimeToDateTime(PackDosDateTime({2020, 1, 1, 24, 0, 0})));
  EXPECT_FALSE(DosDateTimeToFileTime(PackDosDateTime({2020, 13, 1, 0, 0, 0})));
  EXPECT_TRUE(DosDateTimeToDateTime(PackDosDateTime({2020, 2, 29, 23, 59, 58})));
}

TEST(DosTime, DateTimeIsDaysSince1899) {
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1980, 1, 1, 12, 0, 0}), 29221.5);
  EXPECT_DOUBLE_EQ(*DosDateTimeToDateTime(PackDosDateTime({2000, 3, 1, 6, 0, 0})), 36586.25);
  EXPECT_DOUBLE_EQ(FileTimeToDateTime(At(0)), 25569.0);
}

// ---- the clamp of values read from archives ----

u32 Dos(int y, int mo, int d, int h, int mi, int s) {
  return PackDosDateTime({y, mo, d, h, mi, s});
}

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

}  // namespace
}  // namespace vz
