#include "sfx/Central.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace sfx {
namespace {

constexpr u32 kEndSignature = 0x06054B50;
constexpr u32 kCentralSignature = 0x02014B50;
constexpr u32 kZip64EndSignature = 0x06064B50;
constexpr u32 kZip64LocatorSignature = 0x07064B50;
constexpr std::size_t kEndBytes = 22;
constexpr std::size_t kCentralBytes = 46;
constexpr std::size_t kEndSearch = kEndBytes + 65535;

bool ReadAt(int fd, u64 position, u8* buffer, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, buffer + got, size - got, static_cast<off_t>(position + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

// The end record's position, the last one in the search window; false
// when there is none.
bool FindEnd(int fd, u64 archiveOffset, u64 fileSize, u64& endPos, std::array<u8, kEndBytes>& end) {
  if (fileSize < archiveOffset + kEndBytes) return false;
  const u64 span = fileSize - archiveOffset < kEndSearch ? fileSize - archiveOffset : kEndSearch;
  static std::array<u8, kEndSearch> tail;
  if (!ReadAt(fd, fileSize - span, tail.data(), static_cast<std::size_t>(span))) return false;
  for (u64 at = span - kEndBytes + 1; at-- > 0;) {
    if (GetLE32(&tail[static_cast<std::size_t>(at)]) != kEndSignature) continue;
    endPos = fileSize - span + at;
    for (std::size_t i = 0; i < kEndBytes; ++i) end[i] = tail[static_cast<std::size_t>(at) + i];
    return true;
  }
  return false;
}

// A Zip64 end record right before its locator, which stands right before
// the end record: it gives the directory's size and offset, and the
// directory ends where it begins. Looked for where it stands, not where the
// locator says, so that a stub in front changes nothing.
bool ReadZip64End(int fd, u64 archiveOffset, u64 endPos, u64& size, u64& offset,
                  u64& directoryEnd) {
  if (endPos < archiveOffset + 20 + 56) return false;
  std::array<u8, 20> locator{};
  std::array<u8, 56> record{};
  const u64 at = endPos - 20 - 56;
  if (!ReadAt(fd, endPos - 20, locator.data(), locator.size()) ||
      GetLE32(locator.data()) != kZip64LocatorSignature ||
      !ReadAt(fd, at, record.data(), record.size()) ||
      GetLE32(record.data()) != kZip64EndSignature) {
    return false;
  }
  size = GetLE64(&record[40]);
  offset = GetLE64(&record[48]);
  directoryEnd = at;
  return true;
}

// The offset a central record keeps in its Zip64 field, after the sizes it
// saturates; ~0 when the field is missing or short.
u64 Zip64Offset(int fd, u64 extraStart, u16 extraLength, u32 skip) {
  for (u32 pos = 0; pos + 4 <= extraLength;) {
    std::array<u8, 4> field{};
    if (!ReadAt(fd, extraStart + pos, field.data(), field.size())) break;
    const u16 length = GetLE16(&field[2]);
    if (GetLE16(&field[0]) == 1) {
      std::array<u8, 8> value{};
      if (skip + 8 > length || !ReadAt(fd, extraStart + pos + 4 + skip, value.data(), 8)) break;
      return GetLE64(value.data());
    }
    pos += 4u + length;
  }
  return ~u64{0};
}

bool IsDosHost(u16 madeBy) {
  const u8 host = static_cast<u8>(madeBy >> 8);
  return host == 0 || host == 6 || host == 11 || host == 14;
}

}  // namespace

void TCentralIndex::Load(int fd, u64 archiveOffset) {
  FEntries.Clear();
  FNext = 0;
  struct stat info {};
  u64 endPos = 0;
  std::array<u8, kEndBytes> end{};
  if (::fstat(fd, &info) != 0 ||
      !FindEnd(fd, archiveOffset, static_cast<u64>(info.st_size), endPos, end)) {
    return;
  }
  u64 size = GetLE32(&end[12]);
  u64 offset = GetLE32(&end[16]);
  u64 directoryEnd = endPos;
  ReadZip64End(fd, archiveOffset, endPos, size, offset, directoryEnd);
  if (size > directoryEnd - archiveOffset) return;
  const u64 start = directoryEnd - size;
  if (offset > start) return;
  // Where the directory really starts, less where it says it starts: what
  // every offset in it must be moved by.
  const u64 shift = start - offset;
  std::array<u8, kCentralBytes> record{};
  for (u64 at = start; at + kCentralBytes <= directoryEnd;) {
    if (!ReadAt(fd, at, record.data(), record.size()) ||
        GetLE32(record.data()) != kCentralSignature) {
      break;
    }
    u64 local = GetLE32(&record[42]);
    if (local == 0xFFFFFFFF) {
      const u32 skip = (GetLE32(&record[24]) == 0xFFFFFFFF ? 8u : 0u) +
                       (GetLE32(&record[20]) == 0xFFFFFFFF ? 8u : 0u);
      local =
          Zip64Offset(fd, at + kCentralBytes + GetLE16(&record[28]), GetLE16(&record[30]), skip);
    }
    FEntries.Push({local + shift, GetLE16(&record[4]), GetLE32(&record[38])});
    at += kCentralBytes + GetLE16(&record[28]) + GetLE16(&record[30]) + GetLE16(&record[32]);
  }
}

i64 TCentralIndex::UnixMode(u64 localHeader, bool folder) const {
  const std::size_t count = FEntries.Count();
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t i = (FNext + k) % count;
    const TEntry& entry = FEntries[i];
    if (entry.LocalHeader != localHeader) continue;
    FNext = i + 1;
    const u32 mode = entry.External >> 16;
    const u32 type = mode & 0170000;
    if (IsDosHost(entry.MadeBy) || mode == 0 ||
        (type != 0 && type != (folder ? 0040000u : 0100000u))) {
      return -1;
    }
    return mode & 0777;
  }
  return -1;
}

}  // namespace sfx
