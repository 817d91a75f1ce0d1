// The extra-field blocks of local and central records: a run of fields, each
// a 16-bit tag and a 16-bit length before its data. The reader looks into
// four of them: the Zip64 extended information (0x0001), which holds the
// sizes, offset and disk that do not fit their plain fields, Info-ZIP's Unicode Path (0x7075) and
// Unicode Comment (0x6375), which give a name or comment as UTF-8 beside a stored form in a code
// page, and the AE-x encryption field (0x9901) of AES-encrypted members.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Types.h"

namespace vz {

inline constexpr u16 kZip64Tag = 0x0001;
inline constexpr u16 kUnicodePathTag = 0x7075;
inline constexpr u16 kUnicodeCommentTag = 0x6375;
inline constexpr u16 kAesTag = 0x9901;

// The data of the first field with `tag`. A field whose length runs past the
// block ends the search: nothing after it can be trusted.
std::optional<std::span<const u8>> FindExtraField(std::span<const u8> extra, u16 tag);

// The UTF-8 text of a Unicode Path or Unicode Comment field: version 1, the
// CRC-32 of the stored form, then the text. Only when that CRC matches
// `stored` (an older tool may have changed the name and left the field) and
// the text is valid UTF-8 and not empty.
std::optional<std::string> UnicodeExtraField(std::span<const u8> extra, u16 tag,
                                             std::string_view stored);

// What the AE-x field of an AES-encrypted member (method 99) says.
struct TAesField {
  u16 Version = 0;  // 1: AE-1 (with CRC), 2: AE-2 (without)
  u8 Strength = 0;  // 1, 2, 3: AES-128, AES-192, AES-256
  u16 Method = 0;   // the compression method of the data inside
};
std::optional<TAesField> AesExtraField(std::span<const u8> extra);

// The values of a Zip64 field, and which of them it holds: exactly those
// whose plain fields are saturated, in this order, sizes and offset 8 bytes
// each, the disk 4.
struct TZip64Values {
  u64 Uncompressed = 0;
  u64 Compressed = 0;
  u64 Offset = 0;
  u32 Disk = 0;
};
struct TZip64Need {
  bool Uncompressed = false;
  bool Compressed = false;
  bool Offset = false;
  bool Disk = false;
  bool Any() const { return Uncompressed || Compressed || Offset || Disk; }
  std::size_t Bytes() const {
    return (Uncompressed ? 8u : 0u) + (Compressed ? 8u : 0u) + (Offset ? 8u : 0u) +
           (Disk ? 4u : 0u);
  }
};
// Fills in `values` the fields `need` names from the Zip64 field of
// `extra`; false when there is no such field or it is shorter than those
// fields need. A local header's field holds both sizes whenever it holds
// one; `local` reads it so.
bool ReadZip64ExtraField(std::span<const u8> extra, TZip64Need need, TZip64Values& values,
                         bool local = false);
// A whole Zip64 field (tag and length included) with the values `need`
// names; empty when it names none.
std::vector<u8> MakeZip64ExtraField(const TZip64Values& values, TZip64Need need);
// The extra-field block without its Zip64 field(s).
std::vector<u8> WithoutZip64ExtraField(std::span<const u8> extra);

}  // namespace vz
