#include "platform/Figures.h"

namespace vz {
namespace {

std::string Grouped(u64 value, const std::string& separator) {
  std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

}  // namespace

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

std::string FormatSize(i64 Bytes, const TNumberFormat& Format) {
  constexpr u64 kKilo = 1024;
  constexpr u64 kMega = 1024 * 1024;
  const bool negative = Bytes < 0;
  // The magnitude of INT64_MIN does not fit an i64, so negate as unsigned.
  const u64 magnitude = negative ? ~static_cast<u64>(Bytes) + 1 : static_cast<u64>(Bytes);
  const std::string sign = negative ? "-" : "";
  if (negative || magnitude < kKilo) return sign + Grouped(magnitude, Format.ThousandSeparator);
  if (magnitude < kMega) {
    return Grouped((magnitude + kKilo / 2) / kKilo, Format.ThousandSeparator) + "KB";
  }
  // Hundredths of a megabyte, rounded, without forming magnitude * 100.
  const u64 hundredths = magnitude / kMega * 100 + (magnitude % kMega * 100 + kMega / 2) / kMega;
  std::string text = Grouped(hundredths / 100, Format.ThousandSeparator);
  const u64 fraction = hundredths % 100;
  if (fraction != 0) {
    text += Format.DecimalSeparator;
    text += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
  }
  return text + "MB";
}

std::string FormatSize(i64 Bytes) {
  static const TNumberFormat kUserFormat = UserNumberFormat();
  return FormatSize(Bytes, kUserFormat);
}

}  // namespace vz
