// The pure parts of vzip: the command-line parser and sizes. (The names of
// the parts of a multi-part set are the engine's: VolumePartsTest.)
#include "cli/CommandLine.h"

#include <gtest/gtest.h>

#include "tests/cli/CliHarness.h"
#include "tests/support/TestFiles.h"

namespace vz::cli {
namespace {

TRequest Parse(std::vector<std::string_view> args) {
  return ParseCommandLine(args);
}

struct TBadLine {
  const char* Name;
  std::vector<std::string_view> Args;
  const char* Message;
};

class BadCommandLines : public testing::TestWithParam<TBadLine> {};

TEST_P(BadCommandLines, AreRefusedWithOneClearLine) {
  const TBadLine& c = GetParam();
  try {
    Parse(c.Args);
    FAIL() << "accepted";
  } catch (const ECommandLine& e) {
    EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
    EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, BadCommandLines,
    testing::Values(
        TBadLine{"NoCommand", {}, "no command given"},
        TBadLine{"UnknownCommand", {"frob", "a.zip"}, "unknown command 'frob'"},
        TBadLine{"NoArchive", {"x"}, "no archive named"},
        TBadLine{"UnknownOption", {"x", "a.zip", "--frob"}, "unknown option --frob"},
        TBadLine{"OptionOfAnotherCommand", {"l", "a.zip", "-r"}, "unknown option -r"},
        TBadLine{"MissingValue", {"x", "a.zip", "-d"}, "needs a value"},
        TBadLine{"PrintWithoutMember", {"p", "a.zip"}, "name the member"},
        TBadLine{"AddWithoutFiles", {"a", "a.zip"}, "name the files"},
        TBadLine{"DeleteWithoutNames", {"delete", "a.zip"}, "name the members"},
        TBadLine{"ListWithNames", {"l", "a.zip", "b"}, "unexpected argument 'b'"},
        TBadLine{"TwoPasswordSources", {"t", "a.zip", "-p", "pw", "-e"}, "-p and -e"},
        TBadLine{"EmptyPassword", {"t", "a.zip", "-p", ""}, "empty"},
        TBadLine{"DestWithVolumes",
                 {"x", "a.zip", "-d", "o", "--paths", "volume"},
                 "-d cannot be used with --paths volume"},
        TBadLine{"StoredPathsWhenAdding",
                 {"a", "a.zip", "f", "--paths", "stored"},
                 "(none, full, relative, volume)"},
        TBadLine{"BadSort", {"l", "a.zip", "--sort=big"}, "unknown --sort value 'big'"},
        TBadLine{"BadOverwrite", {"x", "a.zip", "-o", "maybe"}, "(always, never, prompt)"},
        TBadLine{"TwoActions", {"a", "a.zip", "f", "--update", "--freshen"}, "cannot be used"},
        TBadLine{"TinySpan", {"a", "a.zip", "f", "--span", "10k"}, "at least 64k"},
        TBadLine{"BadSpan", {"a", "a.zip", "f", "--span", "huge"}, "bad --span size"},
        TBadLine{"FirstSpanAlone", {"a", "a.zip", "f", "--first-span", "100k"}, "needs --span"},
        TBadLine{"FlagWithValue", {"l", "a.zip", "--comments=yes"}, "takes no value"},
        TBadLine{"StdinWithFiles", {"a", "a.zip", "f", "--stdin", "m"}, "name no files"},
        TBadLine{"StdinAndAsk", {"a", "a.zip", "--stdin", "m", "-e"}, "-e cannot be used"},
        TBadLine{"SetAndFile", {"c", "a.zip", "--set", "x", "--file", "f"}, "cannot be used"},
        TBadLine{"UnknownCharset", {"x", "a.zip", "-O", "KLINGON"}, "unknown character set"},
        TBadLine{"CharsetWhenAdding", {"a", "a.zip", "f", "-O", "CP866"}, "unknown option -O"},
        TBadLine{"NoThreads", {"a", "a.zip", "f", "-j", "0"}, "bad -j value '0'"},
        TBadLine{"ThreadsNotANumber", {"a", "a.zip", "f", "-jtwo"}, "bad -j value 'two'"},
        TBadLine{"TooManyThreads", {"a", "a.zip", "f", "--jobs=999"}, "from 1 to 256"},
        TBadLine{"ThreadsWhenExtracting", {"x", "a.zip", "-j", "2"}, "unknown option -j"}),
    test::CaseName<TBadLine>);

TEST(CliCommandLine, ExtractOptionsInEveryForm) {
  const TRequest r = Parse({"extract", "a.zip", "*.txt", "-dout", "--paths=none", "-o", "never",
                            "--root", "src", "-p", "pw", "--", "-odd"});
  ASSERT_EQ(r.Kind, TRequest::TKind::Run);
  const TOptions& o = r.Options;
  EXPECT_EQ(o.Command, TCommandKind::Extract);
  EXPECT_EQ(o.Archive, "a.zip");
  EXPECT_EQ(o.Names, (std::vector<std::string>{"*.txt", "-odd"}));
  EXPECT_EQ(o.Dest, "out");
  EXPECT_EQ(o.Paths, TPathMode::None);
  EXPECT_EQ(o.Overwrite, TUZOverwriteMode::Never);
  EXPECT_EQ(o.Root, "src");
  EXPECT_EQ(o.Password, "pw");
}

TEST(CliCommandLine, AddFlagsBundleWithTheLevel) {
  const TRequest r = Parse({"a", "z.zip", "src", "-r9q", "--span", "1440k", "--first-span=100k",
                            "--move", "--replace", "--temp", "/t"});
  const TOptions& o = r.Options;
  EXPECT_TRUE(o.Recurse);
  EXPECT_TRUE(o.Quiet);
  EXPECT_TRUE(o.Move);
  EXPECT_EQ(o.Level, 9);
  EXPECT_EQ(o.Action, TZipAction::zaReplace);
  EXPECT_EQ(o.Span, TSpanMode::Blocks);
  EXPECT_EQ(o.SpanBytes, 1440 * 1024);
  EXPECT_EQ(o.FirstSpanBytes, 100 * 1024);
  EXPECT_EQ(o.Temp, "/t");
  EXPECT_EQ(o.Workers, 0);
  EXPECT_EQ(Parse({"a", "z.zip", "f", "--span", "disks"}).Options.Span, TSpanMode::Disks);
  EXPECT_EQ(Parse({"a", "z.zip", "f", "-q6j2"}).Options.Workers, 2);
  EXPECT_EQ(Parse({"a", "z.zip", "f", "--jobs", "3"}).Options.Workers, 3);
}

TEST(CliCommandLine, HelpAndVersionRequests) {
  EXPECT_EQ(Parse({"--help"}).Kind, TRequest::TKind::ToolHelp);
  EXPECT_EQ(Parse({"help"}).Kind, TRequest::TKind::ToolHelp);
  EXPECT_EQ(Parse({"--version"}).Kind, TRequest::TKind::Version);
  // Help wins over everything else on the line, even a missing archive.
  const TRequest x = Parse({"x", "--help"});
  EXPECT_EQ(x.Kind, TRequest::TKind::CommandHelp);
  EXPECT_EQ(x.Options.Command, TCommandKind::Extract);
  const TRequest a = Parse({"help", "add"});
  EXPECT_EQ(a.Kind, TRequest::TKind::CommandHelp);
  EXPECT_EQ(a.Options.Command, TCommandKind::Add);
  EXPECT_EQ(Parse({"l", "a.zip", "--sort", "rate"}).Options.Sort, TZipSortMode::ByRate);
}

TEST(CliCommandLine, CharsetOfNamesForEveryCommandThatReadsThem) {
  EXPECT_EQ(Parse({"x", "a.zip", "-O", "CP866"}).Options.NameEncoding, "CP866");
  EXPECT_EQ(Parse({"l", "a.zip", "-OCP932"}).Options.NameEncoding, "CP932");
  EXPECT_EQ(Parse({"t", "a.zip", "--charset=Shift_JIS"}).Options.NameEncoding, "Shift_JIS");
  EXPECT_EQ(Parse({"d", "a.zip", "m", "-O", "UTF-8"}).Options.NameEncoding, "UTF-8");
  const TRequest lower = Parse({"x", "a.zip", "-o", "never"});
  EXPECT_EQ(lower.Options.NameEncoding, std::nullopt);
  EXPECT_EQ(lower.Options.Overwrite, TUZOverwriteMode::Never);
}

struct TSizeCase {
  const char* Text;
  std::optional<i64> Bytes;
};

class Sizes : public testing::TestWithParam<TSizeCase> {};

TEST_P(Sizes, ParseWithUnits) {
  EXPECT_EQ(ParseSize(GetParam().Text), GetParam().Bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Sizes,
    testing::Values(TSizeCase{"1440k", 1474560}, TSizeCase{"100M", 104857600},
                    TSizeCase{"1g", 1073741824}, TSizeCase{"65536", 65536},
                    TSizeCase{"2147483647", 2147483647}, TSizeCase{"2g", std::nullopt},
                    TSizeCase{"0", std::nullopt}, TSizeCase{"-5k", std::nullopt},
                    TSizeCase{"k", std::nullopt}, TSizeCase{"10x", std::nullopt},
                    TSizeCase{"", std::nullopt}));

}  // namespace
}  // namespace vz::cli
