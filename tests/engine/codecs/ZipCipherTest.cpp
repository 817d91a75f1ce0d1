#include "engine/codecs/ZipCipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/support/TestFiles.h"

namespace vz {
namespace {

TEST(ZipCipher, EmptyPasswordLeavesTheInitialKeys) {
  TZipCipher c;
  c.Key0 = 1;
  c.InitKeys("");
  EXPECT_EQ(c.Key0, 0x12345678u);
  EXPECT_EQ(c.Key1, 0x23456789u);
  EXPECT_EQ(c.Key2, 0x34567890u);
}

TEST(ZipCipher, EncryptThenDecryptRestoresTheData) {
  const auto plain = test::RandomBytes(1000, 11);
  TZipCipher enc;
  enc.InitKeys("secret");
  auto data = plain;
  enc.Encrypt(std::span(data));
  EXPECT_NE(data, plain);
  TZipCipher dec;
  dec.InitKeys("secret");
  dec.Decrypt(data);
  EXPECT_EQ(data, plain);
  TZipCipher wrong;
  wrong.InitKeys("Secret");
  auto again = plain;
  enc.InitKeys("secret");
  enc.Encrypt(std::span(again));
  wrong.Decrypt(again);
  EXPECT_NE(again, plain);
}

// The buffer loops keep the keys in locals; they must leave the keys and the
// bytes exactly as the byte-at-a-time steps do, also when a member's data
// arrives in pieces (the input side's 16000-byte blocks, or shorter ones).
class ZipCipherPieces : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ZipCipherPieces, BufferLoopsEqualByteSteps) {
  const std::size_t piece = GetParam();
  const auto plain = test::RandomBytes(3 * piece + 7, static_cast<u32>(piece));
  TZipCipher bytewise;
  bytewise.InitKeys("pieces");
  std::vector<u8> expected;
  for (const u8 b : plain) expected.push_back(bytewise.Encrypt(b));

  TZipCipher enc;
  enc.InitKeys("pieces");
  TZipCipher dec;
  dec.InitKeys("pieces");
  auto data = plain;
  for (std::size_t at = 0; at < data.size(); at += piece) {
    const auto part = std::span(data).subspan(at, std::min(piece, data.size() - at));
    enc.Encrypt(part);
    ASSERT_TRUE(std::equal(part.begin(), part.end(), expected.begin() + static_cast<long>(at)));
    dec.Decrypt(part);
  }
  EXPECT_EQ(data, plain);
  for (const TZipCipher* c : {&enc, &dec}) {
    EXPECT_EQ(c->Key0, bytewise.Key0);
    EXPECT_EQ(c->Key1, bytewise.Key1);
    EXPECT_EQ(c->Key2, bytewise.Key2);
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, ZipCipherPieces,
                         ::testing::Values(1, 2, 12, 15999, 16000, 16001));

// The archive below was written by Info-ZIP /usr/bin/zip -P secret (one stored
// member "a.txt" holding "hello\n"): decrypting its 12-byte header must end
// in the CRC's top byte, and its data must come out as written.
TEST(ZipCipher, DecryptsInfoZipOutputBitForBit) {
  if (!test::HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "zip not installed";
  const std::string dir = ::testing::TempDir() + "vz-cipher";
  test::MakeFolders(dir);
  test::WriteFileText(dir + "/a.txt", "hello\n");
  const auto r = test::RunCommand("cd " + test::ShellQuote(dir) +
                                  " && rm -f x.zip && /usr/bin/zip -q -0 -P secret x.zip a.txt");
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  const auto zip = test::ReadFileBytes(dir + "/x.zip");
  const std::size_t dataStart = 30 + 5;  // no extra field with -0 from a plain file? check below
  const u16 extra = static_cast<u16>(zip[28] | zip[29] << 8);
  std::vector<u8> body(zip.begin() + static_cast<long>(dataStart + extra),
                       zip.begin() + static_cast<long>(dataStart + extra + 12 + 6));
  const u32 crc = static_cast<u32>(zip[14] | zip[15] << 8 | zip[16] << 16 | zip[17] << 24);
  const u16 flags = static_cast<u16>(zip[6] | zip[7] << 8);
  const u16 time = static_cast<u16>(zip[10] | zip[11] << 8);
  TZipCipher c;
  c.InitKeys("secret");
  c.Decrypt(body);
  const u8 check = (flags & 8) != 0 ? static_cast<u8>(time >> 8) : static_cast<u8>(crc >> 24);
  EXPECT_EQ(body[11], check);
  EXPECT_EQ(std::string(body.begin() + 12, body.end()), "hello\n");
}

}  // namespace
}  // namespace vz
