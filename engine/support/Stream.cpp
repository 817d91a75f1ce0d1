#include "engine/support/Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/support/Exceptions.h"

namespace vz {

i64 TStream::Size() {
  const i64 position = Seek(0, TSeekOrigin::Current);
  const i64 size = Seek(0, TSeekOrigin::End);
  Seek(position, TSeekOrigin::Begin);
  return size;
}

void TStream::WriteBuffer(std::span<const u8> data) {
  if (Write(data) != data.size()) {
    const int code = LastWriteError() != 0 ? LastWriteError() : EIO;
    throw EInOutError(Name(), code, FileErrorMessage(Name(), code));
  }
}

void TStream::ReadBuffer(std::span<u8> buffer) {
  if (Read(buffer) != buffer.size()) throw EFatalUnzipError();
}

i64 TStream::CopyFrom(TStream& source, i64 count) {
  std::vector<u8> buffer(65536);
  i64 done = 0;
  while (count < 0 || done < count) {
    const std::size_t want =
        count < 0 ? buffer.size()
                  : static_cast<std::size_t>(std::min<i64>(count - done, static_cast<i64>(buffer.size())));
    const std::size_t got = source.Read(std::span(buffer).first(want));
    if (got == 0) {
      if (count < 0) break;
      throw EFatalUnzipError();
    }
    WriteBuffer(std::span(buffer).first(got));
    done += static_cast<i64>(got);
  }
  return done;
}

std::size_t TMemoryStream::Read(std::span<u8> buffer) {
  if (FPosition >= FData.size()) return 0;
  const std::size_t n = std::min(buffer.size(), FData.size() - FPosition);
  std::memcpy(buffer.data(), FData.data() + FPosition, n);
  FPosition += n;
  return n;
}

std::size_t TMemoryStream::Write(std::span<const u8> data) {
  if (data.empty()) return 0;
  if (FPosition + data.size() > FData.size()) FData.resize(FPosition + data.size());
  std::memcpy(FData.data() + FPosition, data.data(), data.size());
  FPosition += data.size();
  return data.size();
}

i64 TMemoryStream::Seek(i64 offset, TSeekOrigin origin) {
  i64 target = offset;
  if (origin == TSeekOrigin::Current) target = static_cast<i64>(FPosition) + offset;
  if (origin == TSeekOrigin::End) target = static_cast<i64>(FData.size()) + offset;
  if (target < 0) throw EStreamError("Seek error");
  FPosition = static_cast<std::size_t>(target);
  return target;
}

void TMemoryStream::SetSize(i64 size) {
  FData.resize(static_cast<std::size_t>(size));
  FPosition = std::min(FPosition, FData.size());
}

void TMemoryStream::Clear() {
  FData.clear();
  FPosition = 0;
}

}  // namespace vz
