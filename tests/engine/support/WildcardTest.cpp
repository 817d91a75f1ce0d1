#include "engine/support/Wildcard.h"

#include <gtest/gtest.h>

namespace vz {
namespace {

struct TMatchCase {
  const char* Pattern;
  const char* Text;
  bool Expected;
};

class MatchTest : public ::testing::TestWithParam<TMatchCase> {};

TEST_P(MatchTest, WholeTextAgainstWholePattern) {
  const auto& c = GetParam();
  EXPECT_EQ(Match(c.Pattern, c.Text), c.Expected) << c.Pattern << " vs " << c.Text;
}

INSTANTIATE_TEST_SUITE_P(
    Literals, MatchTest,
    ::testing::Values(TMatchCase{"abc", "abc", true}, TMatchCase{"abc", "ABC", true},
                      TMatchCase{"abc", "abcd", false}, TMatchCase{"abcd", "abc", false},
                      TMatchCase{"", "", true}, TMatchCase{"", "a", false},
                      TMatchCase{"a?c", "abc", true}, TMatchCase{"a?", "a", false}));

INSTANTIATE_TEST_SUITE_P(
    Stars, MatchTest,
    ::testing::Values(TMatchCase{"*", "", true}, TMatchCase{"*", "anything/at all", true},
                      TMatchCase{"*.TXT", "readme.txt", true}, TMatchCase{"*.*", "readme", false},
                      TMatchCase{"a*", "a", true}, TMatchCase{"a**", "a", false},
                      TMatchCase{"*.txt", "docs/sub/readme.txt", true},
                      TMatchCase{"*a*b", "xaxxb", true}, TMatchCase{"*a*b", "xaxxbx", false},
                      TMatchCase{"*?x", "x", false}, TMatchCase{"*?x", "ax", true},
                      TMatchCase{"*??", "a", false}, TMatchCase{"a*b*c", "abbbcbc", true},
                      TMatchCase{"docs/*.txt", "docs/a.txt", true},
                      TMatchCase{"docs/*.txt", "other/a.txt", false}));

INSTANTIATE_TEST_SUITE_P(
    Sets, MatchTest,
    ::testing::Values(TMatchCase{"<a-c>*", "Beta", true}, TMatchCase{"<!a-c>*", "beta", false},
                      TMatchCase{"<^a-c>*", "delta", true}, TMatchCase{"<c-a>x", "bx", true},
                      TMatchCase{"<>x", "x", false}, TMatchCase{"<!>x", "ax", false},
                      TMatchCase{"<ab", "a", false}, TMatchCase{"<a->", "a", false},
                      TMatchCase{"<a-", "a", false}, TMatchCase{"<xyz>", "y", true},
                      TMatchCase{"<xyz>", "w", false}, TMatchCase{"*<0-9>.log", "run7.log", true},
                      TMatchCase{"*<0-9>.log", "run.log", false},
                      // After a member matches, the rest of the set is passed over.
                      TMatchCase{"<ab->", "a", true}, TMatchCase{"<*?>", "?", true}));

TEST(Wildcard, PatternCharacters) {
  EXPECT_TRUE(HasPatternChars("*.txt"));
  EXPECT_TRUE(HasPatternChars("|plain"));
  EXPECT_TRUE(HasPatternChars(">src"));
  EXPECT_TRUE(HasPatternChars("a<b>"));
  EXPECT_FALSE(HasPatternChars("docs/readme.txt"));
}

}  // namespace
}  // namespace vz
