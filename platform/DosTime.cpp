#include "platform/DosTime.h"

#include <ctime>

namespace vz {
namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidCalendar(const TDosFields& f) {
  return f.Month >= 1 && f.Month <= 12 && f.Day >= 1 && f.Day <= DaysInMonth(f.Year, f.Month) &&
         f.Hour < 24 && f.Minute < 60 && f.Second < 60;
}

// Days from 1899-12-30 to the given date (proleptic Gregorian).
long DaysSinceEpoch1899(int year, int month, int day) {
  // Days from 0001-01-01 via the usual civil-from-days arithmetic.
  const int y = month <= 2 ? year - 1 : year;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int mp = (month + 9) % 12;
  const int doy = (153 * mp + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long daysSince1970 = static_cast<long>(era) * 146097 + doe - 719468;
  return daysSince1970 + 25569;  // 1899-12-30 .. 1970-01-01
}

}  // namespace

TDosFields UnpackDosDateTime(u32 value) {
  TDosFields f;
  f.Second = static_cast<int>(value & 0x1F) * 2;
  f.Minute = static_cast<int>((value >> 5) & 0x3F);
  f.Hour = static_cast<int>((value >> 11) & 0x1F);
  f.Day = static_cast<int>((value >> 16) & 0x1F);
  f.Month = static_cast<int>((value >> 21) & 0x0F);
  f.Year = 1980 + static_cast<int>((value >> 25) & 0x7F);
  return f;
}

u32 PackDosDateTime(const TDosFields& f) {
  const auto field = [](int v, int bits) { return static_cast<u32>(v) & ((1u << bits) - 1); };
  return field(f.Second / 2, 5) | field(f.Minute, 6) << 5 | field(f.Hour, 5) << 11 |
         field(f.Day, 5) << 16 | field(f.Month, 4) << 21 | field(f.Year - 1980, 7) << 25;
}

u32 FileTimeToDosDateTime(TFileTime time) {
  std::time_t t = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::seconds>(time));
  if (time > std::chrono::system_clock::from_time_t(t)) ++t;  // fractions round up too
  if (t & 1) ++t;
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return PackDosDateTime({});
  TDosFields f{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  if (f.Year < 1980) return PackDosDateTime({});
  if (f.Year > 2107) return PackDosDateTime({2107, 12, 31, 23, 59, 58});
  if (f.Second > 58) f.Second = 58;  // a leap second
  return PackDosDateTime(f);
}

std::optional<TFileTime> DosDateTimeToFileTime(u32 value) {
  const TDosFields f = UnpackDosDateTime(value);
  if (!IsValidCalendar(f)) return std::nullopt;
  std::tm tm{};
  tm.tm_year = f.Year - 1900;
  tm.tm_mon = f.Month - 1;
  tm.tm_mday = f.Day;
  tm.tm_hour = f.Hour;
  tm.tm_min = f.Minute;
  tm.tm_sec = f.Second;
  tm.tm_isdst = -1;
  const std::time_t t = mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  return std::chrono::system_clock::from_time_t(t);
}

TDateTime EncodeDateTime(const TDosFields& f) {
  return static_cast<double>(DaysSinceEpoch1899(f.Year, f.Month, f.Day)) +
         (f.Hour * 3600.0 + f.Minute * 60.0 + f.Second) / 86400.0;
}

std::optional<TDateTime> DosDateTimeToDateTime(u32 value) {
  const TDosFields f = UnpackDosDateTime(value);
  if (!IsValidCalendar(f)) return std::nullopt;
  return EncodeDateTime(f);
}

TDateTime FileTimeToDateTime(TFileTime time) {
  const std::time_t t = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::seconds>(time));
  std::tm tm{};
  localtime_r(&t, &tm);
  return EncodeDateTime(
      {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec});
}

u32 NormaliseDosDateTime(u32 value) {
  TDosFields f = UnpackDosDateTime(value);
  bool replaced = false;
  const auto clampAbove = [&replaced](int& field, int limit) {
    if (field > limit) field = limit, replaced = true;
  };
  const auto clampBelow = [&replaced](int& field, int limit) {
    if (field < limit) field = limit, replaced = true;
  };
  clampAbove(f.Hour, 24);
  clampAbove(f.Minute, 59);
  clampAbove(f.Second, 59);
  clampAbove(f.Year, 2099);
  clampAbove(f.Month, 12);
  clampBelow(f.Month, 1);
  clampBelow(f.Day, 1);
  return replaced ? PackDosDateTime(f) : value;
}

}  // namespace vz
