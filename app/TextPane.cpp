#include "app/TextPane.h"

#include <algorithm>
#include <cstring>

#include "platform/CodePage.h"

namespace vz {

std::size_t TCappedStream::Read(std::span<u8> buffer) {
  const i64 available = std::max<i64>(static_cast<i64>(FKept.size()) - FPosition, 0);
  const auto count =
      static_cast<std::size_t>(std::min<i64>(available, static_cast<i64>(buffer.size())));
  if (count > 0) std::memcpy(buffer.data(), FKept.data() + FPosition, count);
  FPosition += static_cast<i64>(count);
  return count;
}

std::size_t TCappedStream::Write(std::span<const u8> data) {
  const i64 end = FPosition + static_cast<i64>(data.size());
  const i64 keptEnd = std::min(end, FCapacity);
  if (keptEnd > FPosition) {
    if (static_cast<i64>(FKept.size()) < keptEnd) FKept.resize(static_cast<std::size_t>(keptEnd));
    std::memcpy(FKept.data() + FPosition, data.data(),
                static_cast<std::size_t>(keptEnd - FPosition));
  }
  FPosition = end;
  FSize = std::max(FSize, end);
  return data.size();
}

i64 TCappedStream::Seek(i64 offset, TSeekOrigin origin) {
  const i64 base = origin == TSeekOrigin::Begin     ? 0
                   : origin == TSeekOrigin::Current ? FPosition
                                                    : FSize;
  FPosition = std::max<i64>(base + offset, 0);
  return FPosition;
}

void TCappedStream::SetSize(i64 size) {
  FSize = std::max<i64>(size, 0);
  if (static_cast<i64>(FKept.size()) > std::min(FSize, FCapacity)) {
    FKept.resize(static_cast<std::size_t>(std::min(FSize, FCapacity)));
  }
}

QString DecodeMemberText(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t pos = 0; pos < bytes.size();) {
    const TUtf8Step step = NextUtf8(bytes, pos);
    if (step.Valid) {
      text.append(bytes.substr(pos, step.Length));
    } else {
      text += OemToUtf8(bytes.substr(pos, 1));
    }
    pos += step.Length;
  }
  return QString::fromStdString(text);
}

}  // namespace vz
