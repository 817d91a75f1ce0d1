#include "engine/support/BufferStream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "engine/support/Exceptions.h"

namespace vz {

TS_BufferStream::TS_BufferStream(TStream& wrapped) : FWrapped(wrapped), FEnd(kBufferSize) {}

TS_BufferStream::~TS_BufferStream() {
  if (FState == TState::Writing) {
    try {
      Flush();
    } catch (...) {
      // A destructor cannot report; Commit() is the checked path.
    }
  }
}

i64 TS_BufferStream::Adjustment() const {
  switch (FState) {
    case TState::Reading:
      return FCurrent - FEnd;
    case TState::Writing:
      return FCurrent;
    case TState::Idle:
      break;
  }
  return 0;
}

bool TS_BufferStream::Refill() {
  const i64 at = FWrappedPos;
  FWrappedPos = -1;  // unknown should the read throw
  const std::size_t n = FWrapped.Read(FBuffer);
  FWrappedPos = Advanced(at, n);
  FCurrent = 0;
  FEnd = static_cast<i64>(n);
  FState = n > 0 ? TState::Reading : TState::Idle;
  AfterRefill();
  return n > 0;
}

std::size_t TS_BufferStream::FlushCounted() {
  const auto pending = static_cast<std::size_t>(std::max<i64>(FCurrent, 0));
  const i64 at = FWrappedPos;
  FWrappedPos = -1;
  const std::size_t written = FWrapped.Write(FBuffer.first(pending));
  FWrappedPos = Advanced(at, written);
  if (written != pending) {
    FWriteError = FWrapped.LastWriteError() != 0 ? FWrapped.LastWriteError() : EIO;
  }
  FCurrent = 0;
  FState = TState::Idle;
  AfterFlush();
  return written;
}

bool TS_BufferStream::Flush() {
  const auto pending = static_cast<std::size_t>(std::max<i64>(FCurrent, 0));
  return FlushCounted() == pending;
}

void TS_BufferStream::Commit() {
  if (FState == TState::Writing && !Flush()) {
    throw EInOutError(Name(), FWriteError, FileErrorMessage(Name(), FWriteError));
  }
  if (FWriteError != 0) {
    throw EInOutError(Name(), FWriteError, FileErrorMessage(Name(), FWriteError));
  }
}

void TS_BufferStream::AfterRefill() {
  if (OnRefill) OnRefill(*this);
}

void TS_BufferStream::AfterFlush() {
  if (OnFlush) OnFlush(*this);
}

std::size_t TS_BufferStream::Read(std::span<u8> buffer) {
  if (FState == TState::Writing) {
    Flush();
    FCurrent = -1;
  }
  std::size_t done = 0;
  while (done < buffer.size()) {
    if (FCurrent < 0 || FCurrent >= FEnd || FState != TState::Reading) {
      if (buffer.size() - done >= static_cast<std::size_t>(kBufferSize)) {
        // A large read bypasses the empty buffer; the position stays exact.
        const i64 at = FWrappedPos;
        FWrappedPos = -1;
        const std::size_t n = FWrapped.Read(buffer.subspan(done));
        FWrappedPos = Advanced(at, n);
        done += n;
        FCurrent = -1;
        FState = TState::Idle;
        break;
      }
      if (!Refill()) break;
    }
    const auto n = std::min(buffer.size() - done, static_cast<std::size_t>(FEnd - FCurrent));
    std::memcpy(buffer.data() + done, FBuffer.data() + FCurrent, n);
    FCurrent += static_cast<i64>(n);
    done += n;
  }
  return done;
}

std::size_t TS_BufferStream::Write(std::span<const u8> data) {
  if (FState != TState::Writing) {
    // Pending read-ahead is dropped: the wrapped stream goes back to where
    // the caller is, and output starts there.
    if (FState == TState::Reading) {
      const i64 logical = WrappedPos() + Adjustment();
      FWrapped.Seek(logical, TSeekOrigin::Begin);
      FWrappedPos = logical;
    }
    FCurrent = 0;
    FEnd = kBufferSize;
    FState = TState::Idle;
  }
  std::size_t done = 0;
  while (done < data.size()) {
    if (FCurrent == 0 && data.size() - done >= static_cast<std::size_t>(kBufferSize)) {
      // Nothing is pending, so a large write goes straight through.
      const auto rest = data.subspan(done);
      const i64 at = FWrappedPos;
      FWrappedPos = -1;
      const std::size_t written = FWrapped.Write(rest);
      FWrappedPos = Advanced(at, written);
      if (written != rest.size()) {
        FWriteError = FWrapped.LastWriteError() != 0 ? FWrapped.LastWriteError() : EIO;
      }
      FState = TState::Idle;
      return done + written;
    }
    const auto n = std::min(data.size() - done, static_cast<std::size_t>(FEnd - FCurrent));
    std::memcpy(FBuffer.data() + FCurrent, data.data() + done, n);
    FCurrent += static_cast<i64>(n);
    done += n;
    FState = TState::Writing;
    if (FCurrent == FEnd) {
      const std::size_t written = FlushCounted();
      if (written < static_cast<std::size_t>(kBufferSize)) {
        // Report the lost bytes as not written; bytes of earlier calls that
        // were lost with them surface through Commit().
        const std::size_t lost = static_cast<std::size_t>(kBufferSize) - written;
        return done > lost ? done - lost : 0;
      }
    }
    FEnd = kBufferSize;
  }
  if (FCurrent == 0) FState = TState::Idle;
  return done;
}

i64 TS_BufferStream::Seek(i64 offset, TSeekOrigin origin) {
  const i64 logical = WrappedPos() + Adjustment();
  i64 target = 0;
  switch (origin) {
    case TSeekOrigin::Begin:
      target = offset;
      break;
    case TSeekOrigin::Current:
      target = logical + offset;
      break;
    case TSeekOrigin::End:
      target = Size() - std::llabs(offset);
      break;
    default: {
      std::string text = kInvalidSeekOriginMessage;
      text.replace(text.find("%d"), 2, std::to_string(static_cast<int>(origin)));
      throw EVarnelError(text);
    }
  }
  if (target == logical) return target;
  if (FState == TState::Reading) {
    // A target inside the read-ahead is served from it: record parsers skip
    // short fields and come back to records just read.
    const i64 bufferStart = WrappedPos() - FEnd;
    if (target >= bufferStart && target < WrappedPos()) {
      FCurrent = target - bufferStart;
      return target;
    }
  }
  // Output that cannot be written is the write's failure (a full disk, an
  // I/O error), reported with its reason, not a fault of the seek.
  if (FState == TState::Writing && !Flush()) {
    throw EInOutError(Name(), FWriteError, FileErrorMessage(Name(), FWriteError));
  }
  FWrappedPos = -1;
  FWrapped.Seek(target, TSeekOrigin::Begin);
  FWrappedPos = target;
  FCurrent = -1;
  FState = TState::Idle;
  return target;
}

i64 TS_BufferStream::Size() {
  return std::max(FWrapped.Size(), WrappedPos() + Adjustment());
}

void TS_BufferStream::SetSize(i64 size) {
  // Output that cannot be written is the write's failure (a full disk, an
  // I/O error), reported with its reason, not a fault of the seek.
  if (FState == TState::Writing && !Flush()) {
    throw EInOutError(Name(), FWriteError, FileErrorMessage(Name(), FWriteError));
  }
  const i64 logical = WrappedPos() + Adjustment();
  FWrappedPos = -1;
  FWrapped.SetSize(size);
  FWrapped.Seek(std::min(logical, size), TSeekOrigin::Begin);
  FWrappedPos = std::min(logical, size);
  FCurrent = -1;
  FState = TState::Idle;
}

void TS_BufferStream::PutBack(u8 byte) {
  if (FCurrent <= 0) throw EStreamError(kPutbackOverflowMessage);
  FBuffer[static_cast<std::size_t>(--FCurrent)] = byte;
}

}  // namespace vz
