// The figures every front end shows the same way: percentages (entry rates
// and every progress figure) and sizes. They live here, below the engine
// and the front ends, so that vzip and the window read alike without one
// front end depending on the other.
#pragma once

#include <string>

#include "platform/Locale.h"
#include "platform/Types.h"

namespace vz {

// done * 100 / total rounded to nearest, halves to even, at most 100; 0 when
// total is 0 or less.
int Percent(i64 total, i64 done);

// 1,048,576 bytes and more: megabytes with up to two decimals, "1.5MB";
// 1,024 and more: whole kilobytes, "1KB"; below: "1,023". Rounded to nearest,
// halves up; digits grouped by threes.
std::string FormatSize(i64 Bytes, const TNumberFormat& Format);
// With the user's separators.
std::string FormatSize(i64 Bytes);

}  // namespace vz
