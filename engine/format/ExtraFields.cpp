#include "engine/format/ExtraFields.h"

#include <algorithm>

#include "engine/format/ByteOrder.h"
#include "engine/support/Crc32.h"
#include "platform/CodePage.h"

namespace vz {

std::optional<std::span<const u8>> FindExtraField(std::span<const u8> extra, u16 tag) {
  std::size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    const u16 id = GetLE16(extra, pos);
    const std::size_t length = GetLE16(extra, pos + 2);
    if (pos + 4 + length > extra.size()) return std::nullopt;
    if (id == tag) return extra.subspan(pos + 4, length);
    pos += 4 + length;
  }
  return std::nullopt;
}

std::optional<std::string> UnicodeExtraField(std::span<const u8> extra, u16 tag,
                                             std::string_view stored) {
  const auto field = FindExtraField(extra, tag);
  if (!field || field->size() <= 5 || (*field)[0] != 1) return std::nullopt;
  const auto storedBytes = std::span(reinterpret_cast<const u8*>(stored.data()), stored.size());
  if (GetLE32(*field, 1) != Crc32Of(storedBytes)) return std::nullopt;
  const auto text = field->subspan(5);
  std::string value(text.begin(), text.end());
  if (!IsValidUtf8(value)) return std::nullopt;
  return value;
}

std::optional<TAesField> AesExtraField(std::span<const u8> extra) {
  const auto field = FindExtraField(extra, kAesTag);
  if (!field || field->size() < 7 || (*field)[2] != 'A' || (*field)[3] != 'E') return std::nullopt;
  return TAesField{GetLE16(*field, 0), (*field)[4], GetLE16(*field, 5)};
}

bool ReadZip64ExtraField(std::span<const u8> extra, TZip64Need need, TZip64Values& values,
                         bool local) {
  if (!need.Any()) return true;
  const auto field = FindExtraField(extra, kZip64Tag);
  if (!field) return false;
  // A local header's field carries both sizes (the format asks for it), but
  // a writer that put only the saturated one is read by the general rule.
  if (local && (need.Uncompressed || need.Compressed) && field->size() >= 16) {
    need.Uncompressed = true;
    need.Compressed = true;
  }
  if (field->size() < need.Bytes()) return false;
  std::size_t at = 0;
  const auto next = [&](std::size_t width) {
    const u64 v = width == 8 ? GetLE64(*field, at) : GetLE32(*field, at);
    at += width;
    return v;
  };
  if (need.Uncompressed) values.Uncompressed = next(8);
  if (need.Compressed) values.Compressed = next(8);
  if (need.Offset) values.Offset = next(8);
  if (need.Disk) values.Disk = static_cast<u32>(next(4));
  return true;
}

std::vector<u8> MakeZip64ExtraField(const TZip64Values& values, TZip64Need need) {
  if (!need.Any()) return {};
  std::vector<u8> field(4 + need.Bytes());
  PutLE16(field, 0, kZip64Tag);
  PutLE16(field, 2, static_cast<u16>(need.Bytes()));
  std::size_t at = 4;
  const auto put = [&](u64 v, bool wanted) {
    if (!wanted) return;
    PutLE64(field, at, v);
    at += 8;
  };
  put(values.Uncompressed, need.Uncompressed);
  put(values.Compressed, need.Compressed);
  put(values.Offset, need.Offset);
  if (need.Disk) PutLE32(field, at, values.Disk);
  return field;
}

std::vector<u8> WithoutZip64ExtraField(std::span<const u8> extra) {
  std::vector<u8> kept;
  std::size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    const std::size_t length = GetLE16(extra, pos + 2);
    const std::size_t end = std::min(extra.size(), pos + 4 + length);
    if (GetLE16(extra, pos) != kZip64Tag)
      kept.insert(kept.end(), extra.begin() + static_cast<std::ptrdiff_t>(pos),
                  extra.begin() + static_cast<std::ptrdiff_t>(end));
    pos = end;
  }
  // Trailing bytes too few for a field header go along as they were.
  if (pos < extra.size())
    kept.insert(kept.end(), extra.begin() + static_cast<std::ptrdiff_t>(pos), extra.end());
  return kept;
}

}  // namespace vz
