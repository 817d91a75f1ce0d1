// Multi-part archives: sets that vzip writes (name.001, name.002, ...) and
// sets that Info-ZIP writes (name.z01, ..., name.zip), read by naming any
// part; Info-ZIP and 7-Zip reading vzip's sets; a missing part ends the run
// with its name instead of waiting for an answer.
#include <algorithm>
#include <filesystem>

#include "tests/cli/CliHarness.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace vz::test {
namespace {

class Parts : public testing::Test {
 protected:
  void SetUp() override {
    MakeSampleTree(Scratch / "src");
    // Random data does not shrink, so the set needs several 64k parts.
    WriteFileBytes(Scratch / "src/big.bin", RandomBytes(300000, 11));
  }
  std::vector<std::string> PartsOf(const std::string& stem) {
    std::vector<std::string> parts;
    for (const auto& entry : fs::directory_iterator(Scratch.Path())) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with(stem + ".")) parts.push_back(name);
    }
    std::sort(parts.begin(), parts.end());
    return parts;
  }

  TCliScratch Scratch;
};

TEST_F(Parts, VzipSetIsWrittenInBlocksAndReadByAnyPart) {
  const TVzipRun made = Vzip(Scratch.Path(), "a set.zip src -r --span 64k");
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  const auto parts = PartsOf("set");
  ASSERT_GE(parts.size(), 6u);
  EXPECT_EQ(parts.front(), "set.001");
  EXPECT_FALSE(FileExists(Scratch / "set.zip"));
  for (const auto& part : parts) EXPECT_LE(fs::file_size(Scratch / part), 65536u) << part;
  EXPECT_NE(
      made.Out.find("in " + std::to_string(parts.size()) + " parts, set.001 to " + parts.back()),
      std::string::npos)
      << made.Out;

  const TVzipRun listing = Vzip(Scratch.Path(), "l set.zip");
  EXPECT_EQ(listing.ExitCode, 0) << listing.Err;
  EXPECT_NE(listing.Out.find("(" + std::to_string(parts.size()) + " parts)"), std::string::npos);
  EXPECT_EQ(ListedNames(listing.Out).size(), 8u);
  EXPECT_EQ(Vzip(Scratch.Path(), "t set.001").ExitCode, 0);
  const TVzipRun x = Vzip(Scratch.Path(), "x set.002 -d out");
  ASSERT_EQ(x.ExitCode, 0) << x.Err;
  EXPECT_EQ(TreeContents(Scratch / "out/src"), TreeContents(Scratch / "src"));
  EXPECT_EQ(Vzip(Scratch.Path(), "p " + parts.back() + " src/big.bin").Out.size(), 300000u);
}

TEST_F(Parts, VzipSetIsReadByInfoZipAndSevenZipUnderTheirNames) {
  if (!HaveProgram("/usr/bin/zip") || !HaveProgram("/usr/bin/unzip"))
    GTEST_SKIP() << "needs zip and unzip";
  // Parts of 100k: Info-ZIP's own joining fails on sets of 64k parts, its own included.
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q set.zip src -r --span 100k --first-span 150k").ExitCode, 0);
  const auto parts = PartsOf("set");
  ASSERT_GE(parts.size(), 3u);
  EXPECT_GT(fs::file_size(Scratch / "set.001"), 102400u);
  EXPECT_LE(fs::file_size(Scratch / "set.001"), 153600u);
  // The same bytes under the other scheme's names: set.z01 ..., set.zip last.
  MakeFolders(Scratch / "z");
  for (std::size_t i = 0; i < parts.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "set.z%02zu", i + 1);
    fs::copy_file(Scratch / parts[i],
                  Scratch / ("z/" + (i + 1 == parts.size() ? "set.zip" : std::string(name))));
  }
  const auto joined =
      Shell(Scratch / "z",
            "/usr/bin/zip -q -s 0 set.zip --out joined.zip && /usr/bin/unzip -tq joined.zip");
  EXPECT_EQ(joined.ExitCode, 0) << joined.Out;
  if (HaveProgram("7z")) {
    const auto t = Shell(Scratch / "z", "7z t set.zip");
    EXPECT_EQ(t.ExitCode, 0) << t.Out;
  }
}

TEST_F(Parts, SmallArchiveFitsOnePartAndKeepsItsName) {
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q small.zip src/readme.txt --span 1m").ExitCode, 0);
  EXPECT_EQ(PartsOf("small"), std::vector<std::string>{"small.zip"});
  EXPECT_EQ(Vzip(Scratch.Path(), "t small.zip").ExitCode, 0);
}

TEST_F(Parts, AnOldPartInTheWayIsNotOverwritten) {
  WriteFileText(Scratch / "set.001", "old part");
  const TVzipRun r = Vzip(Scratch.Path(), "a set.zip src -r --span 64k");
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("set.001: a part of an earlier multi-part archive is in the way"),
            std::string::npos)
      << r.Err;
  EXPECT_EQ(ReadFileText(Scratch / "set.001"), "old part");
}

constexpr u8 kZip64Locator[] = {'P', 'K', 6, 7};

class InfoZipSets : public Parts, public testing::WithParamInterface<const char*> {};

TEST_P(InfoZipSets, AreReadByNamingAnyPart) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  ASSERT_EQ(Shell(Scratch.Path(), "/usr/bin/zip -q -r -s 64k z.zip src").ExitCode, 0);
  ASSERT_TRUE(FileExists(Scratch / "z.z04"));
  const std::string named = std::string("z.") + GetParam();
  EXPECT_EQ(Vzip(Scratch.Path(), "t " + named).ExitCode, 0);
  const TVzipRun x = Vzip(Scratch.Path(), "x " + named + " -d out");
  ASSERT_EQ(x.ExitCode, 0) << x.Err;
  EXPECT_EQ(TreeContents(Scratch / "out/src"), TreeContents(Scratch / "src"));
}

// With -fz the last part holds a Zip64 end record and its locator, which
// carry the disk numbers.
TEST_P(InfoZipSets, Zip64SetsAreReadByNamingAnyPart) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  ASSERT_EQ(Shell(Scratch.Path(), "/usr/bin/zip -q -r -fz -s 64k z.zip src").ExitCode, 0);
  ASSERT_TRUE(FileExists(Scratch / "z.z04"));
  const auto last = ReadFileBytes(Scratch / "z.zip");
  ASSERT_NE(
      std::search(last.begin(), last.end(), std::begin(kZip64Locator), std::end(kZip64Locator)),
      last.end());
  const std::string named = std::string("z.") + GetParam();
  EXPECT_EQ(Vzip(Scratch.Path(), "t " + named).ExitCode, 0);
  const TVzipRun x = Vzip(Scratch.Path(), "x " + named + " -d out");
  ASSERT_EQ(x.ExitCode, 0) << x.Err;
  EXPECT_EQ(TreeContents(Scratch / "out/src"), TreeContents(Scratch / "src"));
}

INSTANTIATE_TEST_SUITE_P(Cli, InfoZipSets, testing::Values("zip", "z01", "z03"));

TEST_F(Parts, AMissingPartEndsTheRunNamingWhereItWasLookedFor) {
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q set.zip src -r --span 64k").ExitCode, 0);
  fs::remove(Scratch / "set.002");
  const TVzipRun r = Vzip(Scratch.Path(), "x set.001 -d out");
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("set.001: the multi-part archive misses part 2 of "), std::string::npos)
      << r.Err;
  EXPECT_NE(r.Err.find("/set.002, "), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("/set.z02 and "), std::string::npos) << r.Err;
}

TEST_F(Parts, AMissingPartIsAskedForOnATerminal) {
  if (!HaveProgram("script")) GTEST_SKIP() << "script is not installed";
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q set.zip src -r --span 64k").ExitCode, 0);
  fs::rename(Scratch / "set.002", Scratch / "moved.bin");
  const TVzipRun r = VzipOnTerminal(Scratch.Path(), "x set.zip -d out -q", Scratch / "moved.bin\n");
  EXPECT_EQ(r.ExitCode, 0) << r.Out;
  EXPECT_NE(r.Out.find("Type the path of that part"), std::string::npos) << r.Out;
  EXPECT_EQ(TreeContents(Scratch / "out/src"), TreeContents(Scratch / "src"));
}

}  // namespace
}  // namespace vz::test
