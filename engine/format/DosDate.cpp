#include "engine/format/DosDate.h"


namespace vz {

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

int Percent(i64 total, i64 done) {
  if (total <= 0 || done <= 0) return 0;
  if (done >= total) return 100;
  // done < total < 2^63, and no real size comes near 2^57, so done * 100
  // fits in 64 bits.
  const u64 scaled = static_cast<u64>(done) * 100;
  const auto whole = static_cast<u64>(total);
  u64 quotient = scaled / whole;
  const u64 twiceRest = (scaled % whole) * 2;
  if (twiceRest > whole || (twiceRest == whole && (quotient & 1) != 0)) ++quotient;
  return static_cast<int>(quotient);
}

}  // namespace vz
