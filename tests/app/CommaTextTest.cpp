#include "app/core/CommaText.h"

#include <gtest/gtest.h>

#include "app/core/AppErrors.h"

namespace vz {
namespace {

class CommaTextRoundTrip : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(CommaTextRoundTrip, SplitGivesBackWhatJoinWrote) {
  EXPECT_EQ(SplitCommaText(JoinCommaText(GetParam())), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, CommaTextRoundTrip,
    ::testing::Values(std::vector<std::string>{"a"}, std::vector<std::string>{""},
                      std::vector<std::string>{"", "", ""},
                      std::vector<std::string>{"/a b/", "c,d", "say \"hi\"", "3"},
                      std::vector<std::string>{" lead", "trail ", "\t"},
                      std::vector<std::string>{"\"", "\"\"", ",", "a=b"},
                      std::vector<std::string>{"ünï cödé", "x"}));

TEST(CommaText, QuotesOnlyWhereNeeded) {
  EXPECT_EQ(JoinCommaText({"/r/", "/s t/", "3", "", "a\"b"}), "/r/,\"/s t/\",3,\"\",\"a\"\"b\"");
  EXPECT_TRUE(JoinCommaText({}).empty());
}

TEST(CommaText, ReadsHandWrittenText) {
  EXPECT_EQ(SplitCommaText(""), std::vector<std::string>{});
  EXPECT_EQ(SplitCommaText("   "), std::vector<std::string>{});
  EXPECT_EQ(SplitCommaText("a, b ,c"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitCommaText("a b,c"), (std::vector<std::string>{"a b", "c"}));
  EXPECT_EQ(SplitCommaText("a,"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(SplitCommaText(",a"), (std::vector<std::string>{"", "a"}));
  EXPECT_EQ(SplitCommaText("\"x\"y,z"), (std::vector<std::string>{"xy", "z"}));
  EXPECT_EQ(SplitCommaText("\"open,end"), (std::vector<std::string>{"open,end"}));
}

struct TIntCase {
  std::string Text;
  std::optional<int> Value;
  friend void PrintTo(const TIntCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.Text);
  }
};

class StrToIntTest : public ::testing::TestWithParam<TIntCase> {};

TEST_P(StrToIntTest, AcceptsOnlyWholeDecimalIntegers) {
  const TIntCase& c = GetParam();
  if (c.Value) {
    EXPECT_EQ(StrToInt(c.Text), *c.Value);
    return;
  }
  try {
    StrToInt(c.Text);
    FAIL() << "accepted " << c.Text;
  } catch (const EConvertError& e) {
    EXPECT_EQ(std::string(e.what()), "'" + c.Text + "' is not a valid integer value");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StrToIntTest,
    ::testing::Values(TIntCase{"0", 0}, TIntCase{"6", 6}, TIntCase{"-12", -12}, TIntCase{"+7", 7},
                      TIntCase{"2147483647", 2147483647}, TIntCase{"-2147483648", -2147483647 - 1},
                      TIntCase{"", std::nullopt}, TIntCase{"2147483648", std::nullopt},
                      TIntCase{" 1", std::nullopt}, TIntCase{"1 ", std::nullopt},
                      TIntCase{"0x1F", std::nullopt}, TIntCase{"+-1", std::nullopt},
                      TIntCase{"-", std::nullopt}, TIntCase{"abc", std::nullopt}));

}  // namespace
}  // namespace vz
