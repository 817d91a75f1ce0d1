// TS_BufferStream: an 8 KB buffer in front of another stream, so that the
// record parser, the decoders and the compressor touch the system once per
// block. TLFNFileStream is the same over a platform file that it owns.
//
// The buffer is either a read-ahead window (state Reading: bytes
// [FCurrent, FEnd) are still unread, so the caller's logical position is the
// wrapped position minus that count), or pending output (state Writing: bytes
// [0, FCurrent) are not yet written, so the logical position is the wrapped
// position plus that count), or nothing (Idle).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/support/Stream.h"

namespace vz {

// The stream's three messages.
inline constexpr const char* kSeekErrorMessage = "Seek error";
inline constexpr const char* kInvalidSeekOriginMessage = "Invalid seek origin (%d)";
inline constexpr const char* kPutbackOverflowMessage = "Putback overflow";

class TS_BufferStream : public TStream {
 public:
  enum class TState : u8 { Idle = 0, Reading = 1, Writing = 2 };
  static constexpr i32 kBufferSize = 8192;

  // `wrapped` is not owned and must outlive this stream.
  explicit TS_BufferStream(TStream& wrapped);
  // Flushes pending output; a short final flush is not reported (call
  // Commit() where it matters).
  ~TS_BufferStream() override;
  TS_BufferStream(const TS_BufferStream&) = delete;
  TS_BufferStream& operator=(const TS_BufferStream&) = delete;

  std::size_t Read(std::span<u8> buffer) override;
  std::size_t Write(std::span<const u8> data) override;
  i64 Seek(i64 offset, TSeekOrigin origin) override;
  i64 Size() override;
  void SetSize(i64 size) override;
  std::string Name() const override { return FWrapped.Name(); }
  int LastWriteError() const override { return FWriteError; }

  // Reads one byte; -1 at the end.
  int ReadByte() {
    if (FCurrent >= 0 && FCurrent < FEnd && FState == TState::Reading)
      return FBuffer[static_cast<std::size_t>(FCurrent++)];
    u8 b = 0;
    return Read(std::span(&b, 1)) == 1 ? b : -1;
  }

  void PutBack(u8 byte);
  // Writes pending output; false when the wrapped stream took fewer bytes.
  bool Flush();
  // Fills the buffer from the wrapped stream; false when nothing came.
  bool Refill();
  // Writes pending output or throws EInOutError naming the stream.
  void Commit();

  TState State() const { return FState; }
  std::function<void(TS_BufferStream&)> OnRefill;
  std::function<void(TS_BufferStream&)> OnFlush;

 protected:
  virtual void AfterRefill();
  virtual void AfterFlush();

 private:
  i64 Adjustment() const;
  // The wrapped stream's position, kept here so that asking for the logical
  // position costs no system call; -1 until first needed or after a failure.
  // Reading and writing carry a known position on but never ask for an
  // unknown one: a file written once from its start (every extracted member)
  // then costs no seek at all.
  i64 WrappedPos() {
    if (FWrappedPos < 0) FWrappedPos = FWrapped.Position();
    return FWrappedPos;
  }
  static i64 Advanced(i64 at, std::size_t moved) {
    return at < 0 ? -1 : at + static_cast<i64>(moved);
  }
  std::size_t FlushCounted();

  TStream& FWrapped;
  // Left uninitialised: a stream is made for each extracted member, and
  // clearing 8 KB for a member of a few hundred bytes costs more than its
  // decoding.
  std::unique_ptr<u8[]> FBufferStore = std::make_unique_for_overwrite<u8[]>(kBufferSize);
  std::span<u8> FBuffer{FBufferStore.get(), static_cast<std::size_t>(kBufferSize)};
  i64 FCurrent = -1;  // index into FBuffer; -1: nothing buffered, no position known
  i64 FEnd;
  TState FState = TState::Idle;
  int FWriteError = 0;
  i64 FWrappedPos = -1;
};

namespace detail {
// Opens the file before the buffered base is built around it, and closes it
// after that base has flushed (base-from-member: it comes first in the bases).
struct TLFNFileHolder {
  TLFNFileHolder(IFileSystem& files, const std::string& fileName, TOpenMode mode)
      : FFileStream(files.Open(fileName, mode)) {}
  explicit TLFNFileHolder(std::unique_ptr<IFile> file) : FFileStream(std::move(file)) {}
  TFileStream FFileStream;
};
}  // namespace detail

class TLFNFileStream : private detail::TLFNFileHolder, public TS_BufferStream {
 public:
  // Opens or creates `fileName` through the platform. Throws EFOpenError or
  // EFCreateError with the system's text.
  TLFNFileStream(IFileSystem& files, const std::string& fileName, TOpenMode mode)
      : detail::TLFNFileHolder(files, fileName, mode),
        TS_BufferStream(FFileStream),
        FFileName(fileName) {}

  // Takes over a file that is already open (one made by CreateNew, say).
  explicit TLFNFileStream(std::unique_ptr<IFile> file)
      : detail::TLFNFileHolder(std::move(file)),
        TS_BufferStream(FFileStream),
        FFileName(FFileStream.File().Path()) {}

  // The open file, for its date and for flushing to disk.
  IFile& Handle() { return FFileStream.File(); }
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
};

}  // namespace vz
