// The pure parts of vzip: the command-line parser, sizes, and the names of
// the parts of a multi-part set.
#include "cli/CommandLine.h"

#include <gtest/gtest.h>

#include "cli/DiskParts.h"
#include "platform/posix/PosixFileSystem.h"
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
        TBadLine{"SetAndFile", {"c", "a.zip", "--set", "x", "--file", "f"}, "cannot be used"}),
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
  EXPECT_EQ(Parse({"a", "z.zip", "f", "--span", "disks"}).Options.Span, TSpanMode::Disks);
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

// ---- parts of a set ----

TEST(CliDiskParts, LastPartOfEitherScheme) {
  test::TCliScratch scratch;
  for (const char* name : {"set.001", "set.002", "set.003", "old.z01", "old.z02", "old.zip",
                           "plain.zip", "gap.001", "gap.003"}) {
    test::WriteFileText(scratch / name, "x");
  }
  TPosixFileSystem files;
  EXPECT_EQ(LastPartOf(files, scratch / "set.001"), scratch / "set.003");
  EXPECT_EQ(LastPartOf(files, scratch / "set.002"), scratch / "set.003");
  EXPECT_EQ(LastPartOf(files, scratch / "set.003"), scratch / "set.003");
  // The archive name the set was made under, which itself does not exist.
  EXPECT_EQ(LastPartOf(files, scratch / "set.zip"), scratch / "set.003");
  EXPECT_EQ(LastPartOf(files, scratch / "old.z01"), scratch / "old.zip");
  EXPECT_EQ(LastPartOf(files, scratch / "old.zip"), scratch / "old.zip");
  EXPECT_EQ(LastPartOf(files, scratch / "plain.zip"), scratch / "plain.zip");
  // A missing middle part does not hide the last one.
  EXPECT_EQ(LastPartOf(files, scratch / "gap.001"), scratch / "gap.003");
  EXPECT_EQ(LastPartOf(files, scratch / "none.zip"), scratch / "none.zip");
}

TEST(CliDiskParts, CandidatesPreferTheLastPartsScheme) {
  EXPECT_EQ(PartCandidates("/d/set.003", 1, 3),
            (std::vector<std::string>{"/d/set.001", "/d/set.z01", "/d/set.Z01"}));
  EXPECT_EQ(PartCandidates("/d/old.zip", 2, 4),
            (std::vector<std::string>{"/d/old.z02", "/d/old.Z02", "/d/old.002"}));
  EXPECT_EQ(PartCandidates("/d/old.zip", 4, 4), (std::vector<std::string>{"/d/old.zip"}));
  EXPECT_EQ(BlockPartName("/d/x.zip", 12), "/d/x.012");
}

}  // namespace
}  // namespace vz::cli
