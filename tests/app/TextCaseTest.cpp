// Letter case of UTF-8 text and the comma text of records.
#include "app/core/TextCase.h"

#include <gtest/gtest.h>

#include "platform/Types.h"

namespace vz {
namespace {

// Every letter the tables change must come back when the other mapping is
// applied, apart from the few letters whose case partner lies elsewhere.
TEST(TextCase, MappingsAreInverseOverTheCoveredBlocks) {
  int mapped = 0;
  for (char32_t c = 0; c < 0x500; ++c) {
    const char32_t lower = LowerChar(c);
    if (lower != c && c != 0x130) {  // İ lowers to plain i
      EXPECT_EQ(UpperChar(lower), c) << std::hex << static_cast<u32>(c);
      ++mapped;
    }
    const char32_t upper = UpperChar(c);
    if (upper != c && c != 0x131 && c != 0x17F && c != 0x3C2) {  // ı ſ ς
      EXPECT_EQ(LowerChar(upper), c) << std::hex << static_cast<u32>(c);
    }
  }
  // 26 ASCII, 30 Latin-1, 62 Latin Extended-A, 33 Greek, 48 Cyrillic.
  EXPECT_EQ(mapped, 26 + 30 + 62 + 33 + 48);
}

TEST(TextCase, ConvertsValidUtf8AndKeepsEverythingElse) {
  EXPECT_EQ(UpperCase("straße Ölçek ŋ"), "STRAßE ÖLÇEK Ŋ");
  EXPECT_EQ(LowerCase("ΑΘΉΝΑ МОСКВА"), "αθήνα москва");
  EXPECT_EQ(LowerCase("A\xC0\x80Z\xE2\x82"), "a\xC0\x80z\xE2\x82") << "overlong and cut bytes";
  EXPECT_EQ(UpperCase("\xED\xA0\x80x"), "\xED\xA0\x80X") << "a surrogate is not a character";
  EXPECT_EQ(UpperCase("😀a"), "😀A");
  EXPECT_EQ(Utf8Length("aé😀\xFF"), 4u);
}

TEST(TextCase, SameTextIgnoresCaseOnly) {
  EXPECT_TRUE(SameText("/Home/Ärger.ZIP", "/home/ärger.zip"));
  EXPECT_FALSE(SameText("/home/a.zip", "/home/a.zip "));
  EXPECT_FALSE(SameText("Å", "A"));
}

}  // namespace
}  // namespace vz
