// Sizes and offsets are compared as the unsigned values they are: a signed
// 32-bit difference would put members of 2 GiB and more, and entries past
// 2 GiB in an archive, out of order.
#include "engine/format/SortedZip.h"

#include <algorithm>

#include "engine/format/ZipNames.h"
#include "platform/DosTime.h"
#include "platform/Figures.h"

namespace vz {
namespace {

TDateTime DateKey(const TZipHeaderInfo* e) {
  return DosDateTimeToDateTime(e->FileDate).value_or(0.0);
}

// Compares directory + file name of both without building the strings.
int CompareNames(const TZipHeaderInfo& e, const TZipHeaderInfo& k) {
  const std::string& ed = e.Directory();
  const std::string& kd = k.Directory();
  const std::size_t common = std::min(ed.size(), kd.size());
  if (const int c = CompareTextNoCase(std::string_view(ed).substr(0, common),
                                      std::string_view(kd).substr(0, common));
      c != 0) {
    return c;
  }
  // One directory is a prefix of the other: continue into the longer one's
  // remainder against the shorter one's file name.
  if (ed.size() == kd.size()) return CompareTextNoCase(e.Filename(), k.Filename());
  if (ed.size() < kd.size()) {
    return CompareTextNoCase(e.Filename(), kd.substr(common) + k.Filename());
  }
  return CompareTextNoCase(ed.substr(common) + e.Filename(), k.Filename());
}

// +1 when k's key is strictly greater (k goes first), else -1.
template <typename V>
int Descending(V existing, V key) {
  return key > existing ? 1 : -1;
}

}  // namespace

int Rate(const TZipHeaderInfo& entry) {
  // Both are below 2^62: the reader refuses larger ones.
  return Percent(static_cast<i64>(entry.UncompressedSize), static_cast<i64>(entry.CompressedSize));
}

int TSortedZip::Compare(const TZipHeaderInfo& e, const TZipHeaderInfo& k) const {
  switch (SortMode) {
    case TZipSortMode::ByName:
      return CompareNames(e, k);
    case TZipSortMode::ByFileName:
      return CompareTextNoCase(e.Filename(), k.Filename());
    case TZipSortMode::ByDirectoryName:
      return CompareTextNoCase(e.Directory(), k.Directory());
    case TZipSortMode::ByDate:
      return Descending(DateKey(&e), DateKey(&k));
    case TZipSortMode::ByCompressedSize:
      return Descending(e.CompressedSize, k.CompressedSize);
    case TZipSortMode::ByUnCompressedSize:
      return Descending(e.UncompressedSize, k.UncompressedSize);
    case TZipSortMode::ByRate:
      return Rate(k) - Rate(e);
    case TZipSortMode::ByNone:
      if (e.DiskNumberStart != k.DiskNumberStart) {
        return static_cast<int>(e.DiskNumberStart) - static_cast<int>(k.DiskNumberStart);
      }
      if (e.RelativeOffset == k.RelativeOffset) return 0;
      return e.RelativeOffset < k.RelativeOffset ? -1 : 1;
  }
  return -1;
}

}  // namespace vz
