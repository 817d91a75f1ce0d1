#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include "tests/support/TestFiles.h"

namespace vz {
namespace {

TEST(CodePage, AsciiIsUnchangedBothWays) {
  const std::string ascii = "docs/Read Me-1.txt";
  EXPECT_EQ(OemToUtf8(ascii), ascii);
  EXPECT_EQ(Utf8ToOem(ascii), ascii);
}

TEST(CodePage, EveryHighByteRoundTrips) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::string oem(1, static_cast<char>(b));
    const std::string utf8 = OemToUtf8(oem);
    EXPECT_TRUE(IsValidUtf8(utf8)) << b;
    EXPECT_EQ(Utf8ToOem(utf8), oem) << b;
  }
}

TEST(CodePage, AgreesWithPythonsCodec) {
  if (!test::HaveProgram("python3")) GTEST_SKIP() << "python3 not installed";
  const auto result = test::RunCommand(
      "python3 -c \"import sys; sys.stdout.buffer.write(bytes(range(128,256)).decode('cp437')"
      ".encode('utf-8'))\"");
  ASSERT_EQ(result.ExitCode, 0);
  std::string all;
  for (int b = 0x80; b <= 0xFF; ++b) all += static_cast<char>(b);
  EXPECT_EQ(OemToUtf8(all), result.Output);
}

TEST(CodePage, KnownCharacters) {
  EXPECT_EQ(OemToUtf8("\x82"), "\xC3\xA9");          // é
  EXPECT_EQ(OemToUtf8("\xE1"), "\xC3\x9F");          // ß
  EXPECT_EQ(OemToUtf8("\xE2\xA5"), "\xCE\x93\xC3\x91");  // ΓÑ
  EXPECT_EQ(Utf8ToOem("\xC3\xBC"), "\x81");          // ü
}

TEST(CodePage, CharactersOutsideCp437AreNotRepresentable) {
  EXPECT_FALSE(Utf8ToOem("\xE6\x97\xA5\xE6\x9C\xAC"));  // 日本
  EXPECT_FALSE(Utf8ToOem("caf\xC3\xA8\xE2\x82\xAC"));   // €
  EXPECT_FALSE(Utf8ToOem("\xC3"));                      // truncated sequence
  EXPECT_FALSE(Utf8ToOem("\xC0\xAF"));                  // overlong "/"
}

TEST(CodePage, ValidatesUtf8) {
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
  EXPECT_FALSE(IsValidUtf8("\xFF"));
}

}  // namespace
}  // namespace vz
