// DOS date/time words and calendar date-times, both in local time.
//
// A DOS date/time is one 32-bit value, time in the low 16 bits: seconds/2
// (bits 0-4), minutes (5-10), hours (11-15), day (16-20), month (21-24),
// years since 1980 (25-31).
//
// TDateTime is the calendar value: days since 1899-12-30 with the
// time of day as the fraction. It is what date sorting compares and what the
// folder-archive records store.
#pragma once

#include <optional>

#include "platform/FileSystem.h"

namespace vz {

using TDateTime = double;

struct TDosFields {
  int Year = 1980;
  int Month = 1;
  int Day = 1;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
};

TDosFields UnpackDosDateTime(u32 value);
// Packs fields that are assumed in range (seconds are halved).
u32 PackDosDateTime(const TDosFields& fields);
// The clamp every date/time read from an archive or a file goes through:
// out-of-range fields are replaced (hour > 24 -> 24, minute > 59 -> 59,
// second > 59 -> 59, year > 2099 -> 2099, month into 1..12, day 0 -> 1) and
// the value repacked; a value with every field in range is kept bit for bit.
u32 NormaliseDosDateTime(u32 value);

// The file time as a local DOS date/time. Odd seconds round up so the stored
// time is never earlier than the file; times outside 1980..2107 are clamped.
u32 FileTimeToDosDateTime(TFileTime time);
// nullopt when the value is not a real calendar moment.
std::optional<TFileTime> DosDateTimeToFileTime(u32 value);

// nullopt when a field is out of range (hour 24, 31 February, ...).
std::optional<TDateTime> DosDateTimeToDateTime(u32 value);
TDateTime FileTimeToDateTime(TFileTime time);
TDateTime EncodeDateTime(const TDosFields& fields);

}  // namespace vz
