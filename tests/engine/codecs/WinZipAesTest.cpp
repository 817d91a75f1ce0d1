// WinZip AES: members 7-Zip enciphered (AES-128, -192 and -256, deflated and
// stored) read back, a wrong password and a changed byte caught; members
// enciphered here in an archive that 7-Zip tests and extracts; the key
// stream the same however the data is cut into pieces.
#include <gtest/gtest.h>

#include <optional>

#include "engine/support/Crc32.h"
#include "engine/codecs/Deflate.h"
#include "engine/codecs/WinZipAes.h"
#include "engine/format/ByteOrder.h"
#include "platform/Host.h"
#include "tests/engine/codecs/DecodeHarness.h"
#include "tests/support/TestFiles.h"
#include "tests/support/ZipBuilder.h"

namespace vz {
namespace {

constexpr u16 kAesMethod = 99;

std::optional<TAesExtraField> FindAesField(std::span<const u8> extra) {
  while (extra.size() >= 4) {
    const u16 id = GetLE16(extra, 0);
    const u16 size = GetLE16(extra, 2);
    if (extra.size() < 4u + size) break;
    if (id == kAesExtraFieldId) return ParseAesExtraField(extra.subspan(4, size));
    extra = extra.subspan(4u + size);
  }
  return std::nullopt;
}

// Deciphers a member's data in pieces of `piece` bytes; nullopt when the
// verifier refuses the password.
std::optional<std::vector<u8>> Decipher(TWinZipAes& aes, TAesStrength strength,
                                        std::string_view password, std::span<const u8> stored,
                                        std::size_t piece) {
  if (!aes.StartReading(strength, password, stored.first(AesHeaderBytes(strength)))) {
    return std::nullopt;
  }
  std::vector<u8> data(stored.begin() + static_cast<std::ptrdiff_t>(AesHeaderBytes(strength)),
                       stored.end() - kAesMacSize);
  for (std::size_t at = 0; at < data.size(); at += piece) {
    aes.Decrypt(std::span(data).subspan(at, std::min(piece, data.size() - at)));
  }
  return data;
}

struct TSevenZipCase {
  const char* Name;
  const char* Options;
  TAesStrength Strength;
};

class AesFrom7Zip : public testing::TestWithParam<TSevenZipCase> {};

TEST_P(AesFrom7Zip, ReadsBackAndCatchesWrongPasswordsAndChangedBytes) {
  if (!test::HaveProgram("7z")) GTEST_SKIP() << "7z is not installed";
  const test::TTempFolder folder;
  const auto big = test::TextBytes(60000, 7);
  const std::vector<u8> small = {'s', 'h', 'o', 'r', 't'};
  test::WriteFileBytes(folder.Path() + "/big.txt", big);
  test::WriteFileBytes(folder.Path() + "/small.txt", small);
  const auto members = test::MembersMadeBy(
      folder, std::string("7z a -tzip -psecret ") + GetParam().Options + " a.zip big.txt small.txt",
      "a.zip");
  ASSERT_EQ(members.size(), 2u);
  for (const auto& m : members) {
    SCOPED_TRACE(m.Header.FullName());
    const auto& expected = m.Header.FullName() == "big.txt" ? big : small;
    ASSERT_EQ(m.Header.CompressionMethod, kAesMethod);
    const auto field = FindAesField(m.Extra);
    ASSERT_TRUE(field.has_value());
    EXPECT_EQ(field->Strength, GetParam().Strength);
    ASSERT_EQ(m.Data.size(), m.Header.CompressedSize);

    TWinZipAes aes;
    const auto plain = Decipher(aes, field->Strength, "secret", m.Data, 1000 + m.Data.size() % 7);
    ASSERT_TRUE(plain.has_value());
    EXPECT_TRUE(aes.Authentic(std::span(m.Data).last(kAesMacSize)));
    const auto r = test::Decode(
        {.Method = field->Method, .UncompressedSize = static_cast<u32>(expected.size())}, *plain);
    EXPECT_TRUE(r.Data == expected);
    if (field->Version == kAesVersion1) {
      EXPECT_EQ(r.Crc, m.Header.Crc32);
    }

    // A wrong password fails the verifier, or in one case of 65536 the code.
    for (const char* wrong : {"Secret", "secret ", "", "secreT"}) {
      TWinZipAes other;
      const auto garbled = Decipher(other, field->Strength, wrong, m.Data, 4096);
      EXPECT_TRUE(!garbled || !other.Authentic(std::span(m.Data).last(kAesMacSize))) << wrong;
    }
    // One changed byte of enciphered data, or of the code, fails the code.
    const std::size_t header = AesHeaderBytes(field->Strength);
    for (const std::size_t at : {header, m.Data.size() - kAesMacSize - 1, m.Data.size() - 1}) {
      auto changed = m.Data;
      changed[at] ^= 0x01;
      TWinZipAes again;
      ASSERT_TRUE(Decipher(again, field->Strength, "secret", changed, 16000).has_value());
      EXPECT_FALSE(again.Authentic(std::span(changed).last(kAesMacSize))) << at;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Peers, AesFrom7Zip,
    testing::Values(TSevenZipCase{"Aes256Deflated", "-mem=AES256", TAesStrength::Aes256},
                    TSevenZipCase{"Aes128Deflated", "-mem=AES128", TAesStrength::Aes128},
                    TSevenZipCase{"Aes192Deflated", "-mem=AES192", TAesStrength::Aes192},
                    TSevenZipCase{"Aes256Stored", "-mem=AES256 -mm=Copy", TAesStrength::Aes256},
                    TSevenZipCase{"Aes128Stored", "-mem=AES128 -mm=Copy", TAesStrength::Aes128}),
    [](const auto& p) { return std::string(p.param.Name); });

// ---------------------------------------------------------------- writing

// Our deflate's output and the method it chose (it stores what would grow).
std::vector<u8> Deflated(const std::vector<u8>& data, u16& method) {
  TDeflater deflater;
  TZipHeaderInfo header;
  std::vector<u8> out;
  std::size_t done = 0;
  deflater.CompressMember(
      header, 6,
      [&](std::span<u8> buffer) {
        const std::size_t n = std::min(buffer.size(), data.size() - done);
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(done), n, buffer.begin());
        done += n;
        return n;
      },
      [&](std::span<const u8> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); },
      "member");
  method = header.CompressionMethod;
  return out;
}

// A member as a writer makes it: AE-1 with its CRC from 20 bytes on, AE-2
// without one below.
test::TBuildMember AesMember(const std::string& name, const std::vector<u8>& plain, u16 method,
                             TAesStrength strength, u8 saltSeed) {
  const bool ae1 = plain.size() >= 20;
  std::vector<u8> data = method == 8 ? Deflated(plain, method) : plain;
  const auto salt = test::RandomBytes(AesSaltBytes(strength), saltSeed);
  TWinZipAes aes;
  std::vector<u8> stored = aes.StartWriting(strength, "pass word", salt);
  aes.Encrypt(data);
  stored.insert(stored.end(), data.begin(), data.end());
  const auto code = aes.AuthenticationCode();
  stored.insert(stored.end(), code.begin(), code.end());
  test::TBuildMember m;
  m.Name = name;
  m.Method = kAesMethod;
  m.Flags = 1;
  m.Crc = ae1 ? Crc32Of(plain) : 0;
  m.UncompressedSize = static_cast<u32>(plain.size());
  m.Data = stored;
  const auto field = AesExtraFieldData({ae1 ? kAesVersion1 : kAesVersion2, strength, method});
  m.LocalExtra = {0x01, 0x99, static_cast<u8>(field.size()), 0x00};
  m.LocalExtra.insert(m.LocalExtra.end(), field.begin(), field.end());
  m.CentralExtra = m.LocalExtra;
  return m;
}

TEST(WinZipAes, MembersEncipheredHereTestAndExtractWith7Zip) {
  if (!test::HaveProgram("7z")) GTEST_SKIP() << "7z is not installed";
  const test::TTempFolder folder;
  const auto big = test::TextBytes(50000, 9);
  const std::vector<u8> tiny = {'t', 'i', 'n', 'y'};
  const std::vector<u8> edge(20, 'e');
  const auto archive = test::TZipBuilder::Archive({
      AesMember("big-256-deflated.txt", big, 8, TAesStrength::Aes256, 1),
      AesMember("big-128-stored.txt", big, 0, TAesStrength::Aes128, 2),
      AesMember("tiny-256.txt", tiny, 8, TAesStrength::Aes256, 3),
      AesMember("tiny-128-stored.txt", tiny, 0, TAesStrength::Aes128, 4),
      AesMember("edge-192.txt", edge, 0, TAesStrength::Aes192, 5),
      AesMember("empty.txt", {}, 0, TAesStrength::Aes256, 6),
  });
  const std::string path = folder.Path() + "/a.zip";
  test::WriteFileBytes(path, archive);
  const auto tested = test::RunCommand("7z t -p'pass word' " + test::ShellQuote(path));
  EXPECT_EQ(tested.ExitCode, 0) << tested.Output;
  EXPECT_NE(test::RunCommand("7z t -p'pass words' " + test::ShellQuote(path)).ExitCode, 0);
  const auto extracted = test::RunCommand("cd " + test::ShellQuote(folder.Path()) +
                                          " && 7z x -p'pass word' -oout a.zip");
  ASSERT_EQ(extracted.ExitCode, 0) << extracted.Output;
  EXPECT_EQ(test::ReadFileBytes(folder.Path() + "/out/big-256-deflated.txt"), big);
  EXPECT_EQ(test::ReadFileBytes(folder.Path() + "/out/big-128-stored.txt"), big);
  EXPECT_EQ(test::ReadFileBytes(folder.Path() + "/out/tiny-256.txt"), tiny);
  EXPECT_EQ(test::ReadFileBytes(folder.Path() + "/out/edge-192.txt"), edge);
  EXPECT_TRUE(test::ReadFileBytes(folder.Path() + "/out/empty.txt").empty());
}

// The counter runs on across calls: any cut of the data gives the same bytes
// and the same code, in both directions.
TEST(WinZipAes, PiecesOfAnySizeGiveTheSameBytesAndCode) {
  const auto plain = test::RandomBytes(70000, 12);
  const auto salt = test::RandomBytes(16, 13);
  TWinZipAes whole;
  const auto header = whole.StartWriting(TAesStrength::Aes256, "pieces", salt);
  auto reference = plain;
  whole.Encrypt(reference);
  const auto referenceCode = whole.AuthenticationCode();
  for (const std::size_t piece : {1u, 15u, 16u, 17u, 4095u, 4096u, 4097u, 16000u, 65536u}) {
    TWinZipAes writer;
    EXPECT_EQ(writer.StartWriting(TAesStrength::Aes256, "pieces", salt), header);
    auto data = plain;
    for (std::size_t at = 0; at < data.size(); at += piece)
      writer.Encrypt(std::span(data).subspan(at, std::min(piece, data.size() - at)));
    EXPECT_TRUE(data == reference) << piece;
    EXPECT_EQ(writer.AuthenticationCode(), referenceCode) << piece;

    TWinZipAes reader;
    ASSERT_TRUE(reader.StartReading(TAesStrength::Aes256, "pieces", header));
    for (std::size_t at = 0; at < data.size(); at += piece)
      reader.Decrypt(std::span(data).subspan(at, std::min(piece, data.size() - at)));
    EXPECT_TRUE(data == plain) << piece;
    EXPECT_TRUE(reader.Authentic(referenceCode)) << piece;
  }
}

TEST(WinZipAes, ExtraFieldRoundTripsAndRefusesOtherVendors) {
  const TAesExtraField field{kAesVersion1, TAesStrength::Aes192, 12};
  const auto bytes = AesExtraFieldData(field);
  EXPECT_EQ(ParseAesExtraField(bytes), field);
  for (const std::size_t at : {0u, 2u, 3u, 4u}) {
    auto changed = bytes;
    changed[at] = at == 4 ? 4 : 'X';
    EXPECT_FALSE(ParseAesExtraField(changed).has_value()) << at;
  }
  EXPECT_FALSE(ParseAesExtraField(std::span(bytes).first(6)).has_value());
}

}  // namespace
}  // namespace vz
