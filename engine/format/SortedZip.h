// TSortedZip: archive entries in one of the eight orders. The engine keeps
// the physical catalogue (ByNone, owning, duplicates rejected) and a view in
// the chosen sort order that only refers to the catalogue's entries.
#pragma once

#include "engine/format/SortedObjectList.h"
#include "engine/format/ZipHeaderInfo.h"

namespace vz {

enum class TZipSortMode : u8 {
  ByName = 0,
  ByFileName = 1,
  ByDirectoryName = 2,
  ByDate = 3,
  ByCompressedSize = 4,
  ByUnCompressedSize = 5,
  ByRate = 6,
  ByNone = 7,
};

class TSortedZip : public TSortedObjectList<TZipHeaderInfo> {
 public:
  TSortedZip(TDuplicates duplicates, bool ownsItems, TZipSortMode mode = TZipSortMode::ByNone)
      : TSortedObjectList(duplicates, ownsItems), SortMode(mode) {}

  TZipSortMode SortMode;

  // Names ascending (case-insensitive); date, sizes and rate descending;
  // ByNone by disk, then local-header offset.
  int Compare(const TZipHeaderInfo& existing, const TZipHeaderInfo& key) const override;

  // A view (not owning, duplicates accepted) holding `entries` in exactly
  // the order that adding them one by one would give, built in O(n log n).
  static std::unique_ptr<TSortedZip> BuildView(const std::vector<TZipHeaderInfo*>& entries,
                                               TZipSortMode mode);
};

// Compressed size as a percentage of the uncompressed size, rounded halves to
// even, at most 100; 0 for an empty entry.
int Rate(const TZipHeaderInfo& entry);

}  // namespace vz
