// WinZip AES members on hand-made archives: every key size and both
// versions extract, a wrong password is refused by the verifier and asked
// again, damage anywhere in the enciphered data or the code fails the
// authentication for that member alone, and an AE-1 member's CRC is still
// checked while an AE-2 member has none.
#include "engine/codecs/WinZipAes.h"
#include "engine/format/ZipFormat.h"
#include "engine/support/Crc32.h"
#include "tests/engine/reader/ExtractFixture.h"

namespace vz {
namespace {

using test::TBuildMember;
using test::TZipBuilder;
using Lines = std::vector<std::string>;

constexpr const char* kPassword = "pass word";

// `method` 8 deflates where that makes the data smaller; `inner` (when
// given) receives the method the data got.
TBuildMember AesMember(const std::string& name, const std::vector<u8>& plain, u16 method,
                       u8 strength, u16 version, u16* inner = nullptr) {
  TBuildMember m =
      method == 8 ? test::CompressedMember(name, plain) : test::StoredMember(name, plain);
  if (inner != nullptr) *inner = m.Method;
  test::EncipherAes(m, kPassword, strength, version);
  return m;
}

// The stored bytes of a member's data in the archive: after its local
// header, name and extra field.
std::size_t DataStart(const TBuildMember& m, u32 localOffset) {
  return localOffset + kLocalHeaderSize + m.Name.size() + m.LocalExtra.size();
}

struct TAesCase {
  const char* Name;
  u8 Strength;
  u16 Version;
  u16 Method;
  std::size_t Size;
  friend void PrintTo(const TAesCase& c, std::ostream* os) { *os << c.Name; }
};

class ExtractAes : public test::TExtractFixture, public testing::WithParamInterface<TAesCase> {};

TEST_P(ExtractAes, ExtractsWithThePasswordAndFailsTheCodeAfterAnyFlippedByte) {
  const TAesCase& c = GetParam();
  const auto plain = test::TextBytes(c.Size, 3);
  u16 inner = 0;
  const TBuildMember member = AesMember("m.txt", plain, c.Method, c.Strength, c.Version, &inner);
  const auto archive = TZipBuilder::Archive({member, test::StoredMember("plain.txt", "kept")});
  Open(archive);
  Engine.DoAll = true;
  Engine.Password = kPassword;
  EXPECT_EQ(Engine.UnZip(), 2);
  EXPECT_EQ(test::ReadFileBytes(Out() + "m.txt"), plain);
  EXPECT_EQ(Engine.EncryptionName(0), "AES-" + std::to_string(64 * (c.Strength + 1)));
  EXPECT_EQ(Engine.MethodName(0), CompressionMethodName(inner));

  // A byte of the enciphered data, then one of the code.
  const std::size_t start = DataStart(member, 0);
  const std::size_t header = AesHeaderBytes(static_cast<TAesStrength>(c.Strength));
  const std::size_t middle = (member.Data.size() - header - kAesMacSize) / 2;
  for (const std::size_t at : {start + header + middle, start + member.Data.size() - 1}) {
    SCOPED_TRACE(at);
    auto damaged = archive;
    damaged[at] ^= 0x01;
    std::filesystem::remove_all(Out());
    Events.Lines.clear();
    Engine.SetZipName(Put("damaged" + std::to_string(at) + ".zip", damaged));
    EXPECT_EQ(Engine.UnZip(), 1);
    EXPECT_EQ(Events.Skipped(TSkipReason::srBadAuthentication), std::vector<int>{0});
    EXPECT_EQ(Events.SkipText(0),
              "its AES authentication code does not match: the data is damaged or was altered");
    EXPECT_EQ(test::FilesBelow(Out()), Lines{"plain.txt"});
  }
}

INSTANTIATE_TEST_SUITE_P(Members, ExtractAes,
                         testing::Values(TAesCase{"Ae1Aes128Deflated", 1, kAesVersion1, 8, 50000},
                                         TAesCase{"Ae2Aes128Stored", 1, kAesVersion2, 0, 17000},
                                         TAesCase{"Ae1Aes192Stored", 2, kAesVersion1, 0, 20},
                                         TAesCase{"Ae2Aes192Deflated", 2, kAesVersion2, 8, 19},
                                         TAesCase{"Ae1Aes256Deflated", 3, kAesVersion1, 8, 300000},
                                         TAesCase{"Ae2Aes256Stored", 3, kAesVersion2, 0, 5},
                                         TAesCase{"Ae2Aes256Empty", 3, kAesVersion2, 0, 0}),
                         [](const auto& row) { return std::string(row.param.Name); });

class ExtractAesTest : public test::TExtractFixture {};

TEST_F(ExtractAesTest, WrongPasswordFailsTheVerifierAndIsAskedAgain) {
  const auto plain = test::TextBytes(5000, 4);
  Open(TZipBuilder::Archive({AesMember("a.txt", plain, 8, 3, kAesVersion2)}));
  Engine.DoAll = true;
  Engine.Password = "wrong";
  Events.Passwords = {"still wrong", kPassword};
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Events.Milestones(), (Lines{"info 1 5000", "password 0 wrong", "password 0 still wrong",
                                        "start 0 out/a.txt", "end 0 out/a.txt"}));
  EXPECT_EQ(test::ReadFileBytes(Out() + "a.txt"), plain);
}

TEST_F(ExtractAesTest, WrongPasswordWithoutAnotherSkipsTheMember) {
  Open(TZipBuilder::Archive({AesMember("a.txt", test::TextBytes(100, 5), 0, 1, kAesVersion1),
                             test::StoredMember("b", "b")}));
  Engine.DoAll = true;
  Engine.Password = "wrong";
  Engine.OnBadPassword = nullptr;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Events.Skipped(TSkipReason::srWrongPassword), std::vector<int>{0});
  EXPECT_EQ(test::FilesBelow(Out()), Lines{"b"});
}

// The code proves the key right: an AE-1 member whose CRC disagrees was
// damaged before it was enciphered, which is a bad CRC, not a password to
// ask for again. AE-2 stores no CRC, and a value there is not looked at.
TEST_F(ExtractAesTest, OnlyAnAe1MemberChecksItsCrc) {
  const auto plain = test::TextBytes(3000, 6);
  TBuildMember ae1 = test::StoredMember("ae1.txt", plain);
  ae1.Crc = Crc32Of(plain) ^ 1;
  test::EncipherAes(ae1, kPassword, 3, kAesVersion1);
  TBuildMember ae2 = test::StoredMember("ae2.txt", plain);
  test::EncipherAes(ae2, kPassword, 3, kAesVersion2);
  ae2.Crc = 0x12345678;
  Open(TZipBuilder::Archive({ae1, ae2}));
  Engine.DoAll = true;
  Engine.Password = kPassword;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Events.Milestones(), (Lines{"info 2 6000", "start 0 out/ae1.txt", "crc 0",
                                        "start 1 out/ae2.txt", "end 1 out/ae2.txt"}));
  EXPECT_EQ(test::FilesBelow(Out()), Lines{"ae2.txt"});
}

// Into a stream, a member that fails its code leaves nothing behind.
TEST_F(ExtractAesTest, FailedCodeTakesTheBytesOutOfTheStream) {
  TBuildMember m = AesMember("a.txt", test::TextBytes(40000, 7), 0, 1, kAesVersion2);
  m.Data[m.Data.size() - 3] ^= 0x80;
  Open(TZipBuilder::Archive({m}));
  Engine.Password = kPassword;
  TMemoryStream sink;
  EXPECT_EQ(Engine.UnZipToStream(sink, "a.txt"), 0);
  EXPECT_EQ(sink.Size(), 0);
  EXPECT_EQ(Events.Skipped(TSkipReason::srBadAuthentication), std::vector<int>{0});
}

// With its directory lost, the member is found by its local header, whose
// field still names its key size and method.
TEST_F(ExtractAesTest, MemberOfARebuiltDirectoryIsDeciphered) {
  const auto plain = test::TextBytes(2000, 9);
  TZipBuilder b;
  b.AddLocal(AesMember("a.txt", plain, 8, 2, kAesVersion1));
  b.AddEnd({}, 0, 0, 0);
  Open(b.Bytes);
  Engine.DoAll = true;
  Engine.Password = kPassword;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_TRUE(Engine.Rebuilt());
  EXPECT_EQ(Engine.EncryptionName(0), "AES-192");
  EXPECT_EQ(test::ReadFileBytes(Out() + "a.txt"), plain);
}

struct TUnsupportedCase {
  const char* Name;
  u16 InnerMethod;
  std::vector<u8> Field;  // replaces the AES field's data when not empty
  const char* Text;
  friend void PrintTo(const TUnsupportedCase& c, std::ostream* os) { *os << c.Name; }
};

class ExtractAesUnsupported : public test::TExtractFixture,
                              public testing::WithParamInterface<TUnsupportedCase> {};

TEST_P(ExtractAesUnsupported, IsSkippedWithItsReasonAndTheOthersExtract) {
  const TUnsupportedCase& c = GetParam();
  TBuildMember m = test::StoredMember("a.bin", test::RandomBytes(300, 8));
  m.Method = c.InnerMethod;
  test::EncipherAes(m, kPassword, 3, kAesVersion2);
  if (!c.Field.empty()) {
    std::copy(c.Field.begin(), c.Field.end(), m.CentralExtra.begin() + 4);
    m.LocalExtra = m.CentralExtra;
  }
  Open(TZipBuilder::Archive({m, test::StoredMember("b", "b")}));
  Engine.DoAll = true;
  Engine.Password = kPassword;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Events.Skipped(TSkipReason::srUnsupported), std::vector<int>{0});
  EXPECT_EQ(Events.SkipText(0), c.Text);
  EXPECT_EQ(test::FilesBelow(Out()), Lines{"b"});
}

INSTANTIATE_TEST_SUITE_P(
    Members, ExtractAesUnsupported,
    testing::Values(
        TUnsupportedCase{"Ppmd", 98, {}, "compression method PPMd is not supported"},
        TUnsupportedCase{
            "Strength4", 0, {2, 0, 'A', 'E', 4, 0, 0}, "AES encryption is not supported"},
        TUnsupportedCase{
            "Version3", 0, {3, 0, 'A', 'E', 3, 0, 0}, "AES encryption is not supported"},
        TUnsupportedCase{
            "OtherVendor", 0, {2, 0, 'X', 'Y', 3, 0, 0}, "AES encryption is not supported"}),
    [](const auto& row) { return std::string(row.param.Name); });

}  // namespace
}  // namespace vz
