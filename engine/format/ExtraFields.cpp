#include "engine/format/ExtraFields.h"

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

}  // namespace vz
