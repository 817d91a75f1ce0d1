#include "tests/support/CheckBytes.h"

#include "engine/codecs/ZipCipher.h"

namespace vz::test {
namespace {

struct TReader {
  const std::vector<u8>& Bytes;
  bool Has(std::size_t at, std::size_t n) const {
    return at <= Bytes.size() && n <= Bytes.size() - at;
  }
  u32 U16(std::size_t at) const { return static_cast<u32>(Bytes[at] | Bytes[at + 1] << 8); }
  u32 U32(std::size_t at) const { return U16(at) | U16(at + 2) << 16; }
};

}  // namespace

bool PassesSomeCheckByte(const std::vector<u8>& archive, const std::string& password) {
  const TReader r{archive};
  std::size_t end = archive.size() >= 22 ? archive.size() - 22 : archive.size();
  while (end < archive.size() && r.U32(end) != 0x06054B50) {
    if (end == 0) return false;
    --end;
  }
  if (end >= archive.size()) return false;
  std::size_t at = r.U32(end + 16);
  for (u32 n = r.U16(end + 10); n > 0 && r.Has(at, 46) && r.U32(at) == 0x02014B50; --n) {
    const u32 flags = r.U16(at + 8);
    const u8 check = (flags & 8) != 0 ? static_cast<u8>(r.U16(at + 12) >> 8)    // time, high byte
                                      : static_cast<u8>(r.U32(at + 16) >> 24);  // CRC, high byte
    const std::size_t local = r.U32(at + 42);
    at += 46 + r.U16(at + 28) + r.U16(at + 30) + r.U16(at + 32);
    if ((flags & 1) == 0 || !r.Has(local, 30)) continue;
    const std::size_t data = local + 30 + r.U16(local + 26) + r.U16(local + 28);
    if (!r.Has(data, 12)) continue;
    std::vector<u8> header(archive.begin() + static_cast<std::ptrdiff_t>(data),
                           archive.begin() + static_cast<std::ptrdiff_t>(data + 12));
    TZipCipher cipher;
    cipher.InitKeys(password);
    cipher.Decrypt(header);
    if (header[11] == check) return true;
  }
  return false;
}

std::string PasswordFailingEveryCheck(const std::vector<u8>& archive) {
  for (int n = 0;; ++n) {
    std::string candidate = n == 0 ? "wrong" : "wrong" + std::to_string(n);
    if (!PassesSomeCheckByte(archive, candidate)) return candidate;
  }
}

}  // namespace vz::test
