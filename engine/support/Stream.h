// The general stream every archive and member byte moves through, with a
// memory stream (the caller's buffer for extracting to memory and zipping from
// memory) and a file stream over the platform's open files.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "platform/FileSystem.h"

namespace vz {

class TStream {
 public:
  virtual ~TStream() = default;
  // Fewer bytes than asked only at the end of the stream.
  virtual std::size_t Read(std::span<u8> buffer) = 0;
  // Fewer bytes than asked means the write failed.
  virtual std::size_t Write(std::span<const u8> data) = 0;
  virtual i64 Seek(i64 offset, TSeekOrigin origin) = 0;
  virtual i64 Size();
  virtual void SetSize(i64 size) = 0;

  i64 Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(i64 position) { Seek(position, TSeekOrigin::Begin); }
  // The whole buffer or EInOutError naming the stream.
  void WriteBuffer(std::span<const u8> data);
  // Exactly buffer.size() bytes or EFatalUnzipError.
  void ReadBuffer(std::span<u8> buffer);
  // Copies `count` bytes (all when count < 0) from `source` at its position.
  i64 CopyFrom(TStream& source, i64 count);
  // A name for error messages.
  virtual std::string Name() const { return "stream"; }
  // The error code behind the last short write (errno), 0 when unknown.
  virtual int LastWriteError() const { return 0; }
};

class TMemoryStream : public TStream {
 public:
  std::size_t Read(std::span<u8> buffer) override;
  std::size_t Write(std::span<const u8> data) override;
  i64 Seek(i64 offset, TSeekOrigin origin) override;
  i64 Size() override { return static_cast<i64>(FData.size()); }
  void SetSize(i64 size) override;
  std::string Name() const override { return "memory stream"; }

  const std::vector<u8>& Memory() const { return FData; }
  void Clear();

 private:
  std::vector<u8> FData;
  std::size_t FPosition = 0;
};

// An open platform file seen as a stream; owns the file.
class TFileStream : public TStream {
 public:
  explicit TFileStream(std::unique_ptr<IFile> file) : FFile(std::move(file)) {}
  std::size_t Read(std::span<u8> buffer) override { return FFile->Read(buffer); }
  std::size_t Write(std::span<const u8> data) override { return FFile->Write(data); }
  i64 Seek(i64 offset, TSeekOrigin origin) override { return FFile->Seek(offset, origin); }
  i64 Size() override { return FFile->Size(); }
  void SetSize(i64 size) override { FFile->SetSize(size); }
  std::string Name() const override { return FFile->Path(); }
  int LastWriteError() const override { return FFile->LastError(); }

  IFile& File() { return *FFile; }

 private:
  std::unique_ptr<IFile> FFile;
};

}  // namespace vz
