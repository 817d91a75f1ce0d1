#include "cli/Streams.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "engine/support/BufferStream.h"
#include "engine/support/Exceptions.h"

namespace vz::cli {
namespace {

// Only the position may be asked for: neither sink can go back.
i64 TellOnly(i64 position, i64 offset, TSeekOrigin origin) {
  if (offset == 0 && origin != TSeekOrigin::Begin) return position;
  if (origin == TSeekOrigin::Begin && offset == position) return position;
  throw EStreamError(kSeekErrorMessage);
}

}  // namespace

std::size_t TDiscardStream::Write(std::span<const u8> data) {
  FWritten += static_cast<i64>(data.size());
  return data.size();
}

i64 TDiscardStream::Seek(i64 offset, TSeekOrigin origin) {
  // Nothing is kept, so any position is as good as another.
  const i64 base = origin == TSeekOrigin::Begin ? 0 : FWritten;
  FWritten = std::max<i64>(0, base + offset);
  return FWritten;
}

std::size_t TStdoutStream::Write(std::span<const u8> data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      FError = errno;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  FWritten += static_cast<i64>(done);
  return done;
}

i64 TStdoutStream::Seek(i64 offset, TSeekOrigin origin) {
  return TellOnly(FWritten, offset, origin);
}

}  // namespace vz::cli
