// The clamp every date/time read from an archive goes through, and the
// rounded percentage used for rates and progress.
#pragma once

#include "platform/DosTime.h"

namespace vz {

// Out-of-range fields are replaced (hour > 24 -> 24, minute > 59 -> 59,
// second > 59 -> 59, year > 2099 -> 2099, month into 1..12, day 0 -> 1) and
// the value repacked; a value with every field in range is kept bit for bit.
u32 NormaliseDosDateTime(u32 value);

// done * 100 / total rounded to nearest, halves to even, at most 100; 0 when
// total is 0 or less.
int Percent(i64 total, i64 done);

}  // namespace vz
