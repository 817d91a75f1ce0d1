// The user's number punctuation, read from the locale the environment names
// (LC_ALL, LC_NUMERIC, LANG), whatever the process's own C locale is.
#pragma once

#include <string>

namespace vz {

struct TNumberFormat {
  std::string ThousandSeparator = ",";
  std::string DecimalSeparator = ".";
};

// A locale that defines no thousands separator (C, POSIX) keeps ","; the
// program's size pattern always groups digits.
TNumberFormat UserNumberFormat();

}  // namespace vz
