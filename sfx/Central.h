// What the local headers do not hold: each member's host and external
// attributes, from the central directory, for restoring Unix modes. The
// walk itself never depends on it; a missing or damaged directory only
// means that no mode is restored.
#pragma once

#include "sfx/SfxTypes.h"

namespace sfx {

class TCentralIndex {
 public:
  // Reads the directory of the archive at archiveOffset in fd. Offsets in
  // it count from the archive's start, or from the file's when a tool
  // adjusted them; the directory's own place tells which.
  void Load(int fd, u64 archiveOffset);
  // The permission bits stored for the member whose local header is at
  // localHeader (a file position): only for Unix-like hosts, only for a
  // regular file or a folder as asked, never set-user-id, set-group-id or
  // sticky. -1 when there are none.
  i64 UnixMode(u64 localHeader, bool folder) const;

 private:
  struct TEntry {
    u64 LocalHeader;
    u16 MadeBy;
    u32 External;
  };
  TGrowable<TEntry> FEntries;
  mutable std::size_t FNext = 0;  // members mostly come in directory order
};

}  // namespace sfx
