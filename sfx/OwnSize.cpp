// The slot that holds the stub's own size. It is volatile so that the
// compiler reads the stamped digits from the file instead of folding in the
// placeholder it was built with.
#include "sfx/OwnSize.h"

extern "C" {
extern volatile const char vnsfx32_own_size[];
__attribute__((
    used)) volatile const char vnsfx32_own_size[sfx::kOwnSizeMarkerBytes + sfx::kOwnSizeDigits] =
    VNSFX32_OWN_SIZE_MARKER "0";
}

namespace sfx {

unsigned long long RecordedOwnSize() {
  unsigned long long size = 0;
  for (std::size_t i = 0; i < kOwnSizeDigits; ++i) {
    const char c = vnsfx32_own_size[kOwnSizeMarkerBytes + i];
    if (c < '0' || c > '9') break;
    size = size * 10 + static_cast<unsigned long long>(c - '0');
  }
  return size;
}

}  // namespace sfx
