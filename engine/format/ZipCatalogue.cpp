#include "engine/format/ZipCatalogue.h"

#include <algorithm>
#include <limits>
#include <numeric>

#include "engine/format/ExtraFields.h"
#include "engine/support/Exceptions.h"
#include "platform/DosTime.h"
#include "platform/Figures.h"

namespace vz {
namespace {

constexpr u64 kRowValueLimit = std::numeric_limits<u32>::max();
constexpr u64 kRowLimit = static_cast<u64>(std::numeric_limits<int>::max()) - 1;

// A name as one or two pieces of text, compared as their concatenation.
struct TNameParts {
  std::string_view Head;
  std::string_view Tail;
};

u8 Folded(char c) {
  const auto b = static_cast<u8>(c);
  return b >= 'A' && b <= 'Z' ? static_cast<u8>(b + ('a' - 'A')) : b;
}

// The order of the case-folded bytes, unsigned, as std::string compares
// them: the order that the sort by name has always used.
bool FoldedLess(TNameParts a, TNameParts b) {
  std::string_view x = a.Head;
  std::string_view y = b.Head;
  bool xTail = false;
  bool yTail = false;
  while (true) {
    if (x.empty() && !xTail) {
      x = a.Tail;
      xTail = true;
    }
    if (y.empty() && !yTail) {
      y = b.Tail;
      yTail = true;
    }
    const std::size_t n = std::min(x.size(), y.size());
    if (n == 0) return x.empty() && !y.empty();
    for (std::size_t i = 0; i < n; ++i) {
      if (x[i] == y[i]) continue;  // most names share a long prefix
      const u8 cx = Folded(x[i]);
      const u8 cy = Folded(y[i]);
      if (cx != cy) return cx < cy;
    }
    x.remove_prefix(n);
    y.remove_prefix(n);
  }
}

// Fields whose values the engine needs without going back to the archive:
// it cannot decipher an AES member without its field, and names and
// comments are decoded again (another character set) from the Unicode ones.
bool NeedsExtraAtHand(std::span<const u8> extra) {
  if (extra.empty()) return false;
  for (const u16 tag : {kAesTag, kUnicodePathTag, kUnicodeCommentTag}) {
    if (FindExtraField(extra, tag)) return true;
  }
  return false;
}

}  // namespace

void TZipCatalogue::Reserve(u64 entries, u64 nameBytes) {
  FRows.reserve(static_cast<std::size_t>(std::min(entries, kRowLimit)));
  // Untouched reserved bytes are address space, not memory in use.
  FArena.reserve(static_cast<std::size_t>(std::min(nameBytes, kRowValueLimit)));
}

const TZipCatalogue::TRow& TZipCatalogue::Row(int row) const {
  if (row < 0 || row >= Count()) throw EListError::IndexOutOfRange(row);
  return FRows[static_cast<std::size_t>(row)];
}

bool TZipCatalogue::Fits(const TZipHeaderInfo& e) const {
  const std::size_t nameLength = e.FDirectory.size() + e.FFilename.size();
  const std::size_t stored = e.FKeepStored ? e.FStoredName.size() : 0;
  return std::max({e.CompressedSize, e.UncompressedSize, e.RelativeOffset, e.CentralOffset}) <=
             kRowValueLimit &&
         nameLength <= 0xFFFF && !e.FileComment && (!e.FKeepStored || stored == e.FilenameLength) &&
         FArena.size() + nameLength + stored <= kRowValueLimit && !NeedsExtraAtHand(e.CentralExtra);
}

TZipCatalogue::TRow TZipCatalogue::Encode(const TZipHeaderInfo& e, const TRow* previous) {
  TRow r;
  r.FileDate = e.FileDate;
  r.Crc32 = e.Crc32;
  r.CompressedSize = static_cast<u32>(e.CompressedSize);
  r.UncompressedSize = static_cast<u32>(e.UncompressedSize);
  r.RelativeOffset = static_cast<u32>(e.RelativeOffset);
  r.CentralOffset = static_cast<u32>(e.CentralOffset);
  r.ExternalAttributes = e.ExternalAttributes;
  r.NameLength = static_cast<u16>(e.FDirectory.size() + e.FFilename.size());
  r.DirectoryLength = static_cast<u16>(e.FDirectory.size());
  r.FilenameLength = e.FilenameLength;
  r.VersionMadeBy = e.VersionMadeBy;
  r.VersionNeeded = e.VersionNeeded;
  r.Flags = e.Flags;
  r.CompressionMethod = e.CompressionMethod;
  r.ExtraFieldLength = e.ExtraFieldLength;
  r.FileCommentLength = e.FileCommentLength;
  r.DiskNumberStart = e.DiskNumberStart;
  r.InternalAttributes = e.InternalAttributes;
  const bool apart = e.FKeepStored && e.FStoredName != e.FullName();
  r.Bits = static_cast<u8>((e.Selected ? kSelected : 0) | (e.FKeepStored ? kKeepStored : 0) |
                           (apart ? kStoredApart : 0) | (e.LocalZip64 ? kLocalZip64 : 0));
  // A replaced entry (a comment set, names decoded again) keeps its bytes
  // in the arena when they did not change.
  if (previous != nullptr && (previous->Bits & kKept) == 0 &&
      previous->DirectoryLength == r.DirectoryLength && previous->NameLength == r.NameLength &&
      (previous->Bits & kStoredApart) == (r.Bits & kStoredApart) &&
      previous->FilenameLength == r.FilenameLength) {
    const std::string_view name = Arena(previous->Name, previous->NameLength);
    if (name.substr(0, r.DirectoryLength) == e.FDirectory &&
        name.substr(r.DirectoryLength) == e.FFilename &&
        (!apart ||
         Arena(previous->Name + previous->NameLength, r.FilenameLength) == e.FStoredName)) {
      r.Name = previous->Name;
      return r;
    }
  }
  r.Name = static_cast<u32>(FArena.size());
  FArena.insert(FArena.end(), e.FDirectory.begin(), e.FDirectory.end());
  FArena.insert(FArena.end(), e.FFilename.begin(), e.FFilename.end());
  if (apart) FArena.insert(FArena.end(), e.FStoredName.begin(), e.FStoredName.end());
  return r;
}

int TZipCatalogue::Append(const TZipHeaderInfo& entry) {
  if (FRows.size() >= kRowLimit) {
    throw EZipLimitError("More members than one catalogue can list");
  }
  if (Fits(entry)) {
    FRows.push_back(Encode(entry, nullptr));
  } else {
    TRow r;
    r.Name = static_cast<u32>(FKept.size());
    r.Bits = static_cast<u8>(kKept | (entry.Selected ? kSelected : 0));
    FKept.push_back(entry);
    FRows.push_back(r);
  }
  return Count() - 1;
}

void TZipCatalogue::Replace(int row, const TZipHeaderInfo& entry) {
  const TRow previous = Row(row);
  TRow& r = FRows[static_cast<std::size_t>(row)];
  if (Fits(entry)) {
    r = Encode(entry, &previous);
  } else if ((previous.Bits & kKept) != 0) {
    FKept[previous.Name] = entry;
    r.Bits = static_cast<u8>(kKept | (entry.Selected ? kSelected : 0));
  } else {
    r.Name = static_cast<u32>(FKept.size());
    r.Bits = static_cast<u8>(kKept | (entry.Selected ? kSelected : 0));
    FKept.push_back(entry);
  }
}

TZipHeaderInfo TZipCatalogue::Entry(int row) const {
  const TRow& r = Row(row);
  if (const TZipHeaderInfo* kept = Kept(r)) {
    TZipHeaderInfo e = *kept;
    e.Selected = (r.Bits & kSelected) != 0;
    return e;
  }
  TZipHeaderInfo e;
  e.VersionMadeBy = r.VersionMadeBy;
  e.VersionNeeded = r.VersionNeeded;
  e.Flags = r.Flags;
  e.CompressionMethod = r.CompressionMethod;
  e.FileDate = r.FileDate;
  e.Crc32 = r.Crc32;
  e.CompressedSize = r.CompressedSize;
  e.UncompressedSize = r.UncompressedSize;
  e.FilenameLength = r.FilenameLength;
  e.ExtraFieldLength = r.ExtraFieldLength;
  e.FileCommentLength = r.FileCommentLength;
  e.DiskNumberStart = r.DiskNumberStart;
  e.InternalAttributes = r.InternalAttributes;
  e.ExternalAttributes = r.ExternalAttributes;
  e.RelativeOffset = r.RelativeOffset;
  e.CentralOffset = r.CentralOffset;
  e.Selected = (r.Bits & kSelected) != 0;
  e.LocalZip64 = (r.Bits & kLocalZip64) != 0;
  const std::string_view name = Arena(r.Name, r.NameLength);
  e.FDirectory.assign(name.substr(0, r.DirectoryLength));
  e.FFilename.assign(name.substr(r.DirectoryLength));
  if ((r.Bits & kKeepStored) != 0) {
    e.FKeepStored = true;
    e.FStoredName.assign(
        (r.Bits & kStoredApart) != 0 ? Arena(r.Name + r.NameLength, r.FilenameLength) : name);
  }
  return e;
}

std::string TZipCatalogue::FullName(int row) const {
  const TRow& r = Row(row);
  if (const TZipHeaderInfo* kept = Kept(r)) return kept->FullName();
  return std::string(Arena(r.Name, r.NameLength));
}

std::string_view TZipCatalogue::Directory(int row) const {
  const TRow& r = Row(row);
  if (const TZipHeaderInfo* kept = Kept(r)) return kept->Directory();
  return Arena(r.Name, r.DirectoryLength);
}

std::string_view TZipCatalogue::Filename(int row) const {
  const TRow& r = Row(row);
  if (const TZipHeaderInfo* kept = Kept(r)) return kept->Filename();
  return Arena(r.Name + r.DirectoryLength, r.NameLength - r.DirectoryLength);
}

// The accessors of one field: the row's value, or the kept entry's.
#define VZ_ROW_FIELD(Type, Field)                                 \
  Type TZipCatalogue::Field(int row) const {                      \
    const TRow& r = Row(row);                                     \
    if (const TZipHeaderInfo* kept = Kept(r)) return kept->Field; \
    return r.Field;                                               \
  }
VZ_ROW_FIELD(u64, CompressedSize)
VZ_ROW_FIELD(u64, UncompressedSize)
VZ_ROW_FIELD(u64, RelativeOffset)
VZ_ROW_FIELD(u16, DiskNumberStart)
VZ_ROW_FIELD(u32, FileDate)
VZ_ROW_FIELD(u32, Crc32)
VZ_ROW_FIELD(u16, Flags)
VZ_ROW_FIELD(u16, CompressionMethod)
#undef VZ_ROW_FIELD

bool TZipCatalogue::HasComment(int row) const {
  const TRow& r = Row(row);
  if (const TZipHeaderInfo* kept = Kept(r)) return kept->HasComment();
  return r.FileCommentLength != 0;
}

bool TZipCatalogue::Selected(int row) const {
  return (Row(row).Bits & kSelected) != 0;
}

void TZipCatalogue::SetSelected(int row, bool selected) {
  Row(row);  // range check
  u8& bits = FRows[static_cast<std::size_t>(row)].Bits;
  bits = static_cast<u8>(selected ? bits | kSelected : bits & ~kSelected);
}

int TZipCatalogue::FindPosition(u16 disk, u64 offset) const {
  int lo = 0;
  int hi = Count();
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    const u16 d = DiskNumberStart(mid);
    if (d < disk || (d == disk && RelativeOffset(mid) < offset)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo < Count() && DiskNumberStart(lo) == disk && RelativeOffset(lo) == offset) return lo;
  return -1;
}

void TZipCatalogue::SortByPosition() {
  const auto before = [this](u32 a, u32 b) {
    const auto x = static_cast<int>(a);
    const auto y = static_cast<int>(b);
    const u16 dx = DiskNumberStart(x);
    const u16 dy = DiskNumberStart(y);
    return dx != dy ? dx < dy : RelativeOffset(x) < RelativeOffset(y);
  };
  const auto n = static_cast<u32>(FRows.size());
  bool ordered = true;
  for (u32 i = 1; i < n && ordered; ++i) ordered = before(i - 1, i);
  if (ordered) return;  // the usual directory: nothing to move
  std::vector<u32> order(n);
  std::iota(order.rbegin(), order.rend(), 0u);
  std::stable_sort(order.begin(), order.end(), before);
  // Row i becomes the old row order[i], moved along each cycle in place.
  constexpr u32 kDone = std::numeric_limits<u32>::max();
  for (u32 i = 0; i < n; ++i) {
    if (order[i] == kDone) continue;
    const TRow first = FRows[i];
    u32 at = i;
    while (true) {
      const u32 from = order[at];
      order[at] = kDone;
      if (from == i) {
        FRows[at] = first;
        break;
      }
      FRows[at] = FRows[from];
      at = from;
    }
  }
}

std::vector<u32> TZipCatalogue::SortedRows(TZipSortMode mode) const {
  if (mode == TZipSortMode::ByNone) return {};
  std::vector<u32> rows(FRows.size());
  // Insertion puts a new entry before its equals where the comparison can
  // report equality (names, rate), and after them where it never does
  // (date and sizes): a stable sort of the reversed rows gives the first,
  // of the rows as they are the second.
  const bool reversed = mode == TZipSortMode::ByName || mode == TZipSortMode::ByFileName ||
                        mode == TZipSortMode::ByDirectoryName || mode == TZipSortMode::ByRate;
  if (reversed) {
    std::iota(rows.rbegin(), rows.rend(), 0u);
  } else {
    std::iota(rows.begin(), rows.end(), 0u);
  }
  const auto sortBy = [&rows](auto key, auto less) {
    std::stable_sort(rows.begin(), rows.end(), [&](u32 a, u32 b) {
      return less(key(static_cast<int>(a)), key(static_cast<int>(b)));
    });
  };
  const auto greater = [](auto a, auto b) { return a > b; };
  // Where no name holds a capital letter (and every name is in the arena,
  // in one piece) folding changes nothing, and the bytes compare at once.
  const bool caseFree = FKept.empty() && std::none_of(FArena.begin(), FArena.end(),
                                                      [](char c) { return c >= 'A' && c <= 'Z'; });
  const auto byName = [&](auto key) {
    if (caseFree) {
      sortBy(key, [](TNameParts a, TNameParts b) { return a.Head < b.Head; });
    } else {
      sortBy(key, FoldedLess);
    }
  };
  switch (mode) {
    case TZipSortMode::ByName:
      byName([this](int r) {
        const TRow& row = FRows[static_cast<std::size_t>(r)];
        return Kept(row) != nullptr ? TNameParts{Directory(r), Filename(r)}
                                    : TNameParts{Arena(row.Name, row.NameLength), {}};
      });
      break;
    case TZipSortMode::ByFileName:
      byName([this](int r) { return TNameParts{Filename(r), {}}; });
      break;
    case TZipSortMode::ByDirectoryName:
      byName([this](int r) { return TNameParts{Directory(r), {}}; });
      break;
    case TZipSortMode::ByDate:
      sortBy([this](int r) { return DosDateTimeToDateTime(FileDate(r)).value_or(0.0); }, greater);
      break;
    case TZipSortMode::ByCompressedSize:
      sortBy([this](int r) { return CompressedSize(r); }, greater);
      break;
    case TZipSortMode::ByUnCompressedSize:
      sortBy([this](int r) { return UncompressedSize(r); }, greater);
      break;
    case TZipSortMode::ByRate:
      sortBy(
          [this](int r) {
            return Percent(static_cast<i64>(UncompressedSize(r)),
                           static_cast<i64>(CompressedSize(r)));
          },
          greater);
      break;
    case TZipSortMode::ByNone:
      break;
  }
  return rows;
}

}  // namespace vz
