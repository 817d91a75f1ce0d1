// vz_sfx_stamp FILE: writes FILE's size in decimal into the own-size slot of
// the stub it holds, so that the stub knows where an attached archive
// starts. The file keeps its length; the marker must occur exactly once.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "sfx/OwnSize.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vz_sfx_stamp FILE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "vz_sfx_stamp: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::string_view marker = VNSFX32_OWN_SIZE_MARKER;
  const std::size_t at = bytes.find(marker);
  if (at == std::string::npos || bytes.find(marker, at + 1) != std::string::npos ||
      at + marker.size() + sfx::kOwnSizeDigits > bytes.size()) {
    std::fprintf(stderr, "vz_sfx_stamp: %s holds no single own-size slot\n", argv[1]);
    return 1;
  }
  std::string field = std::to_string(bytes.size());
  if (field.size() > sfx::kOwnSizeDigits) return 1;
  field.resize(sfx::kOwnSizeDigits, '\0');

  std::fstream out(argv[1], std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>(at + marker.size()));
  out.write(field.data(), static_cast<std::streamsize>(field.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "vz_sfx_stamp: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
