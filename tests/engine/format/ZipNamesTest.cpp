// How stored names and comments are read (flag bit 11, the Unicode Path and
// Comment fields, the host that made the member, a chosen code page) and
// written back, and what the extra fields and method numbers say.
#include "engine/format/ZipNames.h"

#include <gtest/gtest.h>

#include "engine/format/ByteOrder.h"
#include "engine/format/ExtraFields.h"
#include "engine/format/ZipHeaderInfo.h"
#include "engine/support/Crc32.h"
#include "engine/support/Exceptions.h"
#include "tests/support/ZipBuilder.h"

namespace vz {
namespace {

constexpr u16 kDos = 0x0014;
constexpr u16 kOs2 = 0x0614;
constexpr u16 kNtfs = 0x0B14;
constexpr u16 kVfat = 0x0E14;
constexpr u16 kUnix = 0x0314;
constexpr u16 kMac = 0x1314;

const std::string kPrivetUtf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет
const std::string kPrivetCp866 = "\x8F\xE0\xA8\xA2\xA5\xE2";
const std::string kSoUtf8 = "\xE3\x82\xBD";  // ソ, 0x83 0x5C in code page 932

struct TDecodeCase {
  const char* Name;
  std::string Stored;
  u16 Flags;
  u16 MadeBy;
  std::string Encoding;  // "" for the rules
  std::string Expected;
};

class NameDecoding : public testing::TestWithParam<TDecodeCase> {};

TEST_P(NameDecoding, FollowsTheRules) {
  const TDecodeCase& c = GetParam();
  const TNameDecoder decoder(c.Encoding);
  EXPECT_EQ(decoder.DecodeName({c.Stored, c.Flags, c.MadeBy, nullptr}), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    ZipNames, NameDecoding,
    testing::Values(
        TDecodeCase{"Utf8FlagOnADosName", kPrivetUtf8, kFlagUtf8, kDos, "", kPrivetUtf8},
        TDecodeCase{"UnixUtf8WithoutFlag", "s/" + kPrivetUtf8 + ".txt", 0, kUnix, "",
                    "s/" + kPrivetUtf8 + ".txt"},
        TDecodeCase{"MacUtf8WithoutFlag", kPrivetUtf8, 0, kMac, "", kPrivetUtf8},
        TDecodeCase{"DosCp437", "caf\x82.txt", 0, kDos, "", "caf\xC3\xA9.txt"},
        TDecodeCase{"Os2Cp437", "\x81", 0, kOs2, "", "\xC3\xBC"},
        TDecodeCase{"NtfsCp437", "\xE1", 0, kNtfs, "", "\xC3\x9F"},
        TDecodeCase{"VfatCp437", "\x8E", 0, kVfat, "", "\xC3\x84"},
        // Windows names are code page 437 even when the bytes would pass as UTF-8.
        TDecodeCase{"DosBytesThatLookLikeUtf8", "\xC3\xA9", 0, kDos, "",
                    "\xE2\x94\x9C\xE2\x8C\x90"},
        TDecodeCase{"UnixLatin1KeepsItsBytes", "caf\xE9.txt", 0, kUnix, "", "caf\xE9.txt"},
        TDecodeCase{"DosBackslashSeparates", "dir\\sub\\f.txt", 0, kNtfs, "", "dir/sub/f.txt"},
        TDecodeCase{"UnixBackslashIsACharacter", "back\\slash.txt", 0, kUnix, "",
                    "back\\slash.txt"},
        TDecodeCase{"Utf8FlagKeepsUnixBackslash", "a\\b", kFlagUtf8, kUnix, "", "a\\b"},
        TDecodeCase{"ChosenCp866", kPrivetCp866, 0, kDos, "CP866", kPrivetUtf8},
        TDecodeCase{"ChosenSetForEveryHost", kPrivetCp866, 0, kUnix, "cp866", kPrivetUtf8},
        TDecodeCase{"Cp932TrailByteIsNoSeparator", "dir\\\x83\\.txt", 0, kDos, "CP932",
                    "dir/" + kSoUtf8 + ".txt"},
        TDecodeCase{"ShiftJisIsWindowsCodePage932", "a\\\x83\\", 0, kDos, "Shift_JIS",
                    "a/" + kSoUtf8},
        TDecodeCase{"NoTextOfTheSetKeepsItsBytes", "x\xFF", 0, kDos, "CP932", "x\xFF"},
        TDecodeCase{"ChosenUtf8", "\xC3\xA9", 0, kDos, "UTF-8", "\xC3\xA9"},
        TDecodeCase{"SevenBitSet", "\x1B$B%=\x1B(B.txt", 0, kUnix, "ISO-2022-JP", kSoUtf8 + ".txt"},
        TDecodeCase{"FlagWinsOverTheChoice", kPrivetUtf8, kFlagUtf8, kDos, "CP866", kPrivetUtf8},
        TDecodeCase{"AutoByName", "caf\x82", 0, kDos, "Auto", "caf\xC3\xA9"}),
    [](const testing::TestParamInfo<TDecodeCase>& p) { return std::string(p.param.Name); });

TEST(ZipNames, UnknownCharacterSetIsRefusedByName) {
  try {
    TNameDecoder decoder("NO-SUCH-SET");
    FAIL();
  } catch (const EVarnelError& e) {
    EXPECT_STREQ(e.what(), "Unknown character set: NO-SUCH-SET");
  }
  for (const std::string_view choice : kNameEncodings) {
    EXPECT_NO_THROW(TNameDecoder{choice}) << choice;
  }
}

TEST(ZipNames, UnicodeTextWinsUnlessTheFlagIsSet) {
  const std::string unicode = kPrivetUtf8;
  const TNameDecoder decoder;
  EXPECT_EQ(decoder.DecodeName({"\x8F", 0, kDos, &unicode}), kPrivetUtf8);
  EXPECT_EQ(decoder.DecodeName({"x", kFlagUtf8, kDos, &unicode}), "x");
}

TEST(ZipNames, DisplayReplacesOnlyInvalidBytes) {
  EXPECT_EQ(DisplayName("caf\xE9.txt"), "caf\xEF\xBF\xBD.txt");
  EXPECT_EQ(DisplayName(kPrivetUtf8), kPrivetUtf8);
  EXPECT_EQ(DisplayName("plain"), "plain");
}

TEST(ZipNames, OnlyNonAsciiUtf8NeedsTheFlag) {
  EXPECT_TRUE(
      NeedsUtf8Flag("\xC3\xBC"
                    "ber.txt"));
  EXPECT_FALSE(NeedsUtf8Flag("plain.txt"));
  EXPECT_FALSE(NeedsUtf8Flag("caf\xE9.txt"));
}

// ---- extra fields ----

std::vector<u8> Field(u16 tag, const std::vector<u8>& data) {
  test::TZipBuilder b;
  b.Le16(tag);
  b.Le16(static_cast<u16>(data.size()));
  b.Append(data);
  return b.Bytes;
}

std::vector<u8> UnicodeField(u16 tag, const std::string& stored, const std::string& text,
                             u8 version = 1) {
  test::TZipBuilder b;
  b.Bytes.push_back(version);
  b.Le32(Crc32Of(std::span(reinterpret_cast<const u8*>(stored.data()), stored.size())));
  b.AppendText(text);
  return Field(tag, b.Bytes);
}

TEST(ExtraFields, UnicodePathCountsOnlyWhenItMatchesTheStoredName) {
  std::vector<u8> extra = Field(0x000A, std::vector<u8>(32, 0));  // NTFS times first
  const auto unicode = UnicodeField(kUnicodePathTag, "\x8F", kPrivetUtf8);
  extra.insert(extra.end(), unicode.begin(), unicode.end());
  EXPECT_EQ(UnicodeExtraField(extra, kUnicodePathTag, "\x8F"), kPrivetUtf8);
  // The name was changed by a tool that left the field behind.
  EXPECT_EQ(UnicodeExtraField(extra, kUnicodePathTag, "\x90"), std::nullopt);
  EXPECT_EQ(UnicodeExtraField(extra, kUnicodeCommentTag, "\x8F"), std::nullopt);
  EXPECT_EQ(UnicodeExtraField(UnicodeField(kUnicodePathTag, "a", "b", 2), kUnicodePathTag, "a"),
            std::nullopt);
  EXPECT_EQ(UnicodeExtraField(UnicodeField(kUnicodePathTag, "a", "\xFF"), kUnicodePathTag, "a"),
            std::nullopt);
}

TEST(ExtraFields, LengthsPastTheBlockEndTheSearch) {
  std::vector<u8> extra = UnicodeField(kUnicodePathTag, "a", "b");
  extra[2] = 0xFF;  // the field claims 255 bytes
  EXPECT_EQ(FindExtraField(extra, kUnicodePathTag), std::nullopt);
  EXPECT_EQ(FindExtraField(std::vector<u8>{0x75, 0x70, 0}, kUnicodePathTag), std::nullopt);
  EXPECT_EQ(FindExtraField({}, kUnicodePathTag), std::nullopt);
}

// ---- entries: stored forms and methods ----

TZipHeaderInfo ReadBack(const test::TBuildMember& m, const TNameDecoder& names = TNameDecoder()) {
  test::TZipBuilder b;
  b.AddCentral(m, 0);
  TMemoryStream stream;
  stream.WriteBuffer(b.Bytes);
  stream.SetPosition(0);
  TZipHeaderInfo r;
  EXPECT_TRUE(r.ReadCentral(stream, {}, names));
  return r;
}

TEST(ZipHeaderInfo, ACodePageNameIsWrittenBackAsItWasRead) {
  test::TBuildMember m;
  m.Name = "dir\\caf\x82.txt";
  m.VersionMadeBy = kDos;
  TZipHeaderInfo r = ReadBack(m);
  EXPECT_EQ(r.FullName(), "dir/caf\xC3\xA9.txt");
  TMemoryStream out;
  r.WriteCentral(out);
  EXPECT_EQ(std::string(out.Memory().begin() + 46, out.Memory().end()), m.Name);
  EXPECT_EQ(GetLE16(out.Memory(), 8) & kFlagUtf8, 0);
  // A changed name is stored as its own bytes.
  r.SetFilename("caf\xC3\xA9-2.txt");
  EXPECT_EQ(r.StoredName(), "dir/caf\xC3\xA9-2.txt");
  EXPECT_NE(r.Flags & kFlagUtf8, 0);
}

TEST(ZipHeaderInfo, NamesAreDecodedAgainInAnotherCodePage) {
  test::TBuildMember m;
  m.Name = kPrivetCp866 + ".txt";
  TZipHeaderInfo r = ReadBack(m);
  EXPECT_NE(r.FullName(), kPrivetUtf8 + ".txt");
  r.DecodeName(TNameDecoder("CP866"));
  EXPECT_EQ(r.FullName(), kPrivetUtf8 + ".txt");
  EXPECT_EQ(r.StoredName(), m.Name);
  r.DecodeName(TNameDecoder());
  EXPECT_EQ(r.FullName(), "\xC3\x85\xCE\xB1\xC2\xBF\xC3\xB3\xC3\x91\xCE\x93.txt");
}

TEST(ZipHeaderInfo, UnicodePathAndCommentFieldsAreRead) {
  test::TBuildMember m;
  m.Name = "\x8F.txt";
  m.Comment = "\x8F";
  m.CentralExtra = UnicodeField(kUnicodePathTag, m.Name, kPrivetUtf8 + ".txt");
  const auto comment = UnicodeField(kUnicodeCommentTag, m.Comment, kPrivetUtf8);
  m.CentralExtra.insert(m.CentralExtra.end(), comment.begin(), comment.end());
  TZipHeaderInfo r = ReadBack(m);
  EXPECT_EQ(r.FullName(), kPrivetUtf8 + ".txt");
  r.FileComment = m.Comment;
  EXPECT_EQ(r.DecodedComment(TNameDecoder()), kPrivetUtf8);
  r.FileComment = "\x90";  // a comment the field no longer describes: code page 437
  EXPECT_EQ(r.DecodedComment(TNameDecoder()), "\xC3\x89");
}

struct TMethodCase {
  const char* Name;
  u16 Method;
  std::vector<u8> Extra;
  std::string Expected;
  std::string Encryption;
  std::optional<std::string> Unsupported;
};

class MethodNames : public testing::TestWithParam<TMethodCase> {};

TEST_P(MethodNames, NameTheMethodAndEncryptionAndTellWhatCannotBeDecoded) {
  const TMethodCase& c = GetParam();
  test::TBuildMember m;
  m.Name = "x";
  m.Method = c.Method;
  m.Flags = c.Method == kMethodAes ? kFlagEncrypted : 0;
  m.CentralExtra = c.Extra;
  const TZipHeaderInfo r = ReadBack(m);
  EXPECT_EQ(r.MethodName(), c.Expected);
  EXPECT_EQ(r.EncryptionName(), c.Encryption);
  EXPECT_EQ(r.UnsupportedMethod(), c.Unsupported);
}

std::vector<u8> AesField(u8 strength, u16 method = 8, u8 version = 2) {
  return Field(kAesTag, {version, 0, 'A', 'E', strength, static_cast<u8>(method), 0});
}

const std::optional<std::string> kDecodable;

INSTANTIATE_TEST_SUITE_P(
    ZipHeaderInfo, MethodNames,
    testing::Values(
        TMethodCase{"Stored", 0, {}, "Stored", "", kDecodable},
        TMethodCase{"Imploded", 6, {}, "Imploded", "", kDecodable},
        TMethodCase{"Deflated", 8, {}, "Deflated", "", kDecodable},
        TMethodCase{"Tokenized", 7, {}, "Tokenized", "", "Tokenized"},
        TMethodCase{"Deflate64", 9, {}, "Deflate64", "", kDecodable},
        TMethodCase{"BZip2", 12, {}, "BZip2", "", kDecodable},
        TMethodCase{"Lzma", 14, {}, "LZMA", "", kDecodable},
        TMethodCase{"Zstandard", 93, {}, "Zstandard", "", kDecodable},
        TMethodCase{"Xz", 95, {}, "XZ", "", kDecodable},
        TMethodCase{"Ppmd", 98, {}, "PPMd", "", "PPMd"},
        TMethodCase{"Aes128", kMethodAes, AesField(1), "Deflated", "AES-128", kDecodable},
        TMethodCase{"Aes192Ae1", kMethodAes, AesField(2, 0, 1), "Stored", "AES-192", kDecodable},
        TMethodCase{"Aes256Lzma", kMethodAes, AesField(3, 14), "LZMA", "AES-256", kDecodable},
        TMethodCase{"Aes256Ppmd", kMethodAes, AesField(3, 98), "PPMd", "AES-256", "PPMd"},
        TMethodCase{"AesStrength4", kMethodAes, AesField(4), "AES", "AES", "AES"},
        TMethodCase{"AesVersion3", kMethodAes, AesField(3, 8, 3), "AES", "AES", "AES"},
        TMethodCase{"AesWithoutItsField", kMethodAes, {}, "AES", "AES", "AES"},
        TMethodCase{"Unnamed", 200, {}, "Method200", "", "Method200"}),
    [](const testing::TestParamInfo<TMethodCase>& p) { return std::string(p.param.Name); });

TEST(ZipHeaderInfo, TraditionalEncryptionIsNamed) {
  test::TBuildMember m;
  m.Name = "x";
  m.Flags = kFlagEncrypted;
  const TZipHeaderInfo r = ReadBack(m);
  EXPECT_EQ(r.EncryptionName(), "traditional");
  EXPECT_EQ(r.UnsupportedMethod(), std::nullopt);
}

TEST(ZipHeaderInfo, StrongEncryptionCannotBeDecoded) {
  test::TBuildMember m;
  m.Name = "x";
  m.Method = 8;
  m.Flags = kFlagEncrypted | kFlagStrongEncryption;
  EXPECT_EQ(ReadBack(m).UnsupportedMethod(), "strong encryption");
}

}  // namespace
}  // namespace vz
