// What the text pane shows of a member: its bytes as UTF-8, each byte that
// is not part of a valid UTF-8 sequence read as code page 437 (the text of
// DOS-era archives), and no more than the first 4 MiB of it.
#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

#include "engine/support/Stream.h"

namespace vz {

inline constexpr i64 kTextPaneCapacity = i64{4} << 20;

// A stream that keeps the first `capacity` bytes written to it and only
// counts the rest, so a huge member shown in the pane costs no more memory
// than its first part. Positions and sizes are those of the whole text.
class TCappedStream : public TStream {
 public:
  explicit TCappedStream(i64 capacity) : FCapacity(capacity) {}
  std::size_t Read(std::span<u8> buffer) override;
  std::size_t Write(std::span<const u8> data) override;
  i64 Seek(i64 offset, TSeekOrigin origin) override;
  i64 Size() override { return FSize; }
  void SetSize(i64 size) override;
  std::string Name() const override { return "text pane"; }

  const std::vector<u8>& Kept() const { return FKept; }
  bool Cut() const { return FSize > static_cast<i64>(FKept.size()); }

 private:
  i64 FCapacity;
  std::vector<u8> FKept;
  i64 FSize = 0;
  i64 FPosition = 0;
};

QString DecodeMemberText(std::string_view bytes);

}  // namespace vz
