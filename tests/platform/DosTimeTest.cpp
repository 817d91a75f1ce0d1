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

}  // namespace
}  // namespace vz
