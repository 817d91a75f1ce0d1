// The stub's own file size, recorded inside the stub after linking (the
// stub's "string 2"). The slot is the marker followed by a field of
// kOwnSizeDigits bytes: the decimal size, then zero bytes. vz_sfx_stamp
// finds the one marker in the finished file and writes the file's size into
// the field without changing the file's length.
#pragma once

#include <cstddef>

// A macro so that the marker's bytes appear in the stub exactly once, in the
// slot itself, and the stamping tool and the tests spell it the same way.
#define VNSFX32_OWN_SIZE_MARKER "VNSFX32:OWN-SIZE:"

namespace sfx {

inline constexpr std::size_t kOwnSizeMarkerBytes = sizeof(VNSFX32_OWN_SIZE_MARKER) - 1;
inline constexpr std::size_t kOwnSizeDigits = 16;

// The recorded size; 0 for a stub that was never stamped.
unsigned long long RecordedOwnSize();

}  // namespace sfx
