// The two sinks vzip hands to the engine's extraction into a stream: one that
// keeps nothing (testing) and one that is standard output (printing). Both
// are write-only and know only their own position.
#pragma once

#include "engine/support/Stream.h"

namespace vz::cli {

class TDiscardStream : public TStream {
 public:
  std::size_t Read(std::span<u8>) override { return 0; }
  std::size_t Write(std::span<const u8> data) override;
  i64 Seek(i64 offset, TSeekOrigin origin) override;
  i64 Size() override { return FWritten; }
  void SetSize(i64 size) override { FWritten = size; }
  std::string Name() const override { return "test output"; }

 private:
  i64 FWritten = 0;
};

class TStdoutStream : public TStream {
 public:
  std::size_t Read(std::span<u8>) override { return 0; }
  // A short count when the descriptor refuses (a closed pipe, a full disk).
  std::size_t Write(std::span<const u8> data) override;
  i64 Seek(i64 offset, TSeekOrigin origin) override;
  i64 Size() override { return FWritten; }
  void SetSize(i64) override {}
  std::string Name() const override { return "standard output"; }
  int LastWriteError() const override { return FError; }

 private:
  i64 FWritten = 0;
  int FError = 0;
};

}  // namespace vz::cli
