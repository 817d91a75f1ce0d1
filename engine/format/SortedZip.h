// TSortedZip: archive entries in one of the eight orders, kept by insertion.
// The writer collects a new archive's entries in one (ByNone, owning,
// duplicates rejected); the reader's catalogue (ZipCatalogue.h) sorts its
// rows into exactly the order that inserting them here gives.
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
};

// Compressed size as a percentage of the uncompressed size, rounded halves to
// even, at most 100; 0 for an empty entry.
int Rate(const TZipHeaderInfo& entry);

}  // namespace vz
