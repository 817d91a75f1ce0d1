// Member names between their stored form and the in-memory form.
//
// In memory a name is the bytes a Linux file of that name has, with "/"
// between folders; its directory part is empty or ends in "/". That is UTF-8
// wherever the archive says which characters the name holds, and the stored
// bytes themselves where it does not: such a name is extracted byte for byte
// and only shown with replacement characters (DisplayName).
//
// Reading: a name with flag bit 11 is UTF-8; otherwise an Info-ZIP Unicode
// Path field (0x7075) whose CRC matches the stored name gives it; otherwise a
// name made on a host other than DOS, OS/2 and Windows that is valid UTF-8 is
// UTF-8; otherwise DOS and Windows names are code page 437 and others are
// their bytes. A chosen code page replaces the last two rules. Only names
// from DOS and Windows hosts use "\" between folders and ":" after a drive;
// anywhere else both are ordinary characters. Member comments follow the
// same rules (0x6375).
//
// Writing: pure ASCII as it is; any other name that is valid UTF-8 is UTF-8
// with flag bit 11; a name that is not is stored as its bytes, without it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/CodePage.h"
#include "platform/Types.h"

namespace vz {

// MS-DOS/FAT, OS/2 HPFS, Windows NTFS and VFAT: the hosts whose names use
// "\" and an OEM code page.
bool MadeOnDosHost(u16 versionMadeBy);

// The name or comment bytes of one record and what the record says of them.
struct TStoredText {
  std::string_view Bytes;
  u16 Flags = 0;
  u16 VersionMadeBy = 0;
  // The text of a Unicode Path or Unicode Comment field whose CRC matched.
  const std::string* Unicode = nullptr;
};

// The choices a user is offered for names without flag bit 11; any other
// character set iconv knows is accepted too.
inline constexpr std::array<std::string_view, 11> kNameEncodings{
    "Auto",   "UTF-8", "CP437",     "CP850", "CP866", "CP1251",
    "CP1252", "GBK",   "Shift_JIS", "Big5",  "EUC-KR"};

// How names and comments without flag bit 11 are read: the rules above
// ("Auto", or empty), as UTF-8, or in one character set.
class TNameDecoder {
 public:
  TNameDecoder() = default;
  // Throws EVarnelError "Unknown character set: X" for a set iconv lacks.
  explicit TNameDecoder(std::string_view encoding);

  // "Auto" for the rules, else the encoding as it was given.
  const std::string& Encoding() const { return FEncoding; }
  bool IsAuto() const { return FEncoding == "Auto"; }

  // The in-memory name: folders separated by "/".
  std::string DecodeName(const TStoredText& stored) const;
  // A member comment: the same rules, no separators.
  std::string DecodeText(const TStoredText& stored) const;

 private:
  std::string FEncoding = "Auto";
  bool FUtf8 = false;
  std::optional<TCharsetDecoder> FCharset;
};

// Whether the name is stored with flag bit 11: it is valid UTF-8 and not
// pure ASCII.
bool NeedsUtf8Flag(std::string_view name);
bool IsAscii(std::string_view text);

// The name as a text that can be shown: each byte that is no part of a
// valid UTF-8 character becomes U+FFFD.
std::string DisplayName(std::string_view name);

struct TSplitName {
  std::string Directory;  // empty or ends in "/" (or in a drive's ":")
  std::string Filename;   // after the last "/" or drive
};
// `drives`: the name comes from DOS or Windows, where a ":" ends a drive
// ("C:x.txt"); anywhere else it is an ordinary character of a file name.
TSplitName SplitStoredName(std::string_view name, bool drives = true);

// ASCII letters folded; every other byte compared as it is.
int CompareTextNoCase(std::string_view a, std::string_view b);
bool SameTextNoCase(std::string_view a, std::string_view b);
std::string LowerCaseAscii(std::string_view text);
std::string UpperCaseAscii(std::string_view text);

}  // namespace vz
