// vzip x on hostile and awkward archives and destinations: names and
// destinations of tens of thousands of levels, links inside the destination,
// members that share their data, members that cannot be written, modes from
// Info-ZIP, and what the member lines and the destination show.
#include <filesystem>

#include "tests/cli/CliHarness.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TestFiles.h"
#include "tests/support/ZipBuilder.h"

namespace fs = std::filesystem;

namespace vz::test {
namespace {

TBuildMember Stored(const std::string& name, const std::string& data) {
  TBuildMember m;
  m.Name = name;
  m.Data.assign(data.begin(), data.end());
  return m;
}

std::string Levels(int count, const std::string& level) {
  std::string path;
  for (int i = 0; i < count; ++i) path += level;
  return path;
}

TEST(CliExtract, NameOfTensOfThousandsOfLevelsIsOneMembersFailure) {
  TCliScratch scratch;
  WriteFileBytes(scratch / "deep.zip",
                 TZipBuilder::Archive(
                     {Stored(Levels(32760, "d/") + "x.txt", "deep"), Stored("ok.txt", "ok")}));
  const TVzipRun r = Vzip(scratch.Path(), "x deep.zip -d out");
  EXPECT_EQ(r.ExitCode, 1) << r.Err.substr(0, 300);
  EXPECT_NE(r.Err.find(" bytes long, longer than the system allows (4095)\n"), std::string::npos)
      << r.Err.substr(r.Err.size() > 300 ? r.Err.size() - 300 : 0);
  EXPECT_NE(r.Err.find("1 problem: 1 not written"), std::string::npos);
  EXPECT_EQ(ReadFileText(scratch / "out/ok.txt"), "ok");
}

TEST(CliExtract, DestinationOfTensOfThousandsOfComponentsIsAnError) {
  TCliScratch scratch;
  WriteFileBytes(scratch / "a.zip", TZipBuilder::Archive({Stored("x.txt", "x")}));
  const TVzipRun r = Vzip(scratch.Path(), "x a.zip -q -d " + Levels(35000, "c/"));
  EXPECT_EQ(r.ExitCode, 2) << r.Err.substr(0, 300);
  EXPECT_NE(r.Err.find(": File name too long\n"), std::string::npos)
      << r.Err.substr(r.Err.size() > 300 ? r.Err.size() - 300 : 0);
  EXPECT_FALSE(fs::exists(scratch / "c"));
}

// vzip as it runs, and with openat2 refused as a container may refuse it.
class CliExtractBelowLinks : public testing::TestWithParam<std::string> {};

TEST_P(CliExtractBelowLinks, LinkInsideTheDestinationIsRefused) {
  if (!GetParam().empty() && !HaveProgram("python3")) GTEST_SKIP() << "needs python3";
  TCliScratch scratch;
  MakeFolders(scratch / "outside");
  MakeFolders(scratch / "out");
  fs::create_symlink(scratch / "outside", scratch / "out/sub");
  WriteFileBytes(scratch / "a.zip",
                 TZipBuilder::Archive({Stored("sub/x.txt", "evil"), Stored("fine.txt", "fine")}));
  const std::string arguments = "x a.zip -d out";
  const TVzipRun r =
      GetParam().empty()
          ? Vzip(scratch.Path(), arguments)
          : Shell(scratch.Path(), "python3 " + SourceDir() + "/tests/support/without_openat2.py " +
                                      GetParam() + " " + ShellQuote(VzipPath()) + " " + arguments);
  EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;
  EXPECT_NE((r.Out + r.Err)
                .find("vzip: sub/x.txt: a symbolic link on its folder path below the destination: "
                      "refused as unsafe\n"),
            std::string::npos)
      << r.Out << r.Err;
  EXPECT_TRUE(fs::is_empty(scratch / "outside"));
  EXPECT_EQ(ReadFileText(scratch / "out/fine.txt"), "fine");
}

INSTANTIATE_TEST_SUITE_P(Cli, CliExtractBelowLinks, testing::Values("", "ENOSYS"),
                         [](const auto& row) {
                           return row.param.empty() ? std::string("Openat2")
                                                    : "Without" + row.param;
                         });

TEST(CliExtract, MembersSharingTheirDataAreListedAndRefused) {
  TCliScratch scratch;
  WriteFileBytes(scratch / "bomb.zip", TZipBuilder::SharedHeaderArchive(
                                           Stored("one", "shared data"), {"one", "two", "three"}));
  const TVzipRun list = Vzip(scratch.Path(), "l bomb.zip --sort name");
  EXPECT_EQ(list.ExitCode, 0) << list.Err;
  EXPECT_EQ(ListedNames(list.Out), (std::vector<std::string>{"one", "three", "two"}));
  const TVzipRun x = Vzip(scratch.Path(), "x bomb.zip -d out");
  EXPECT_EQ(x.ExitCode, 1) << x.Err;
  EXPECT_EQ(Occurrences(x.Err, ": members share data: refused as unsafe\n"), 3) << x.Err;
  EXPECT_NE(x.Err.find("vzip: two: members share data: refused as unsafe\n"), std::string::npos);
  EXPECT_NE(x.Err.find("3 problems: 3 unsafe entry"), std::string::npos) << x.Err;
  EXPECT_EQ(x.Err.find("Duplicate Object index"), std::string::npos) << x.Err;
}

TEST(CliExtract, MembersThatCannotBeWrittenAreCountedAndTheRestExtracted) {
  TCliScratch scratch;
  TBuildMember folder = Stored("a/b/", "");
  folder.ExternalAttributes = 0x10;
  // Go's archive with duplicate folder entries, by hand.
  WriteFileBytes(scratch / "dup.zip",
                 TZipBuilder::Archive({Stored("a/b", "file b"), folder, Stored("a/b/c", "c"),
                                       Stored("z.txt", "z")}));
  const TVzipRun r = Vzip(scratch.Path(), "x dup.zip -d out");
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  EXPECT_NE(r.Err.find("vzip: a/b/: not extracted: " + scratch / "out/a/b/: Not a directory\n"),
            std::string::npos)
      << r.Err;
  EXPECT_NE(r.Err.find("vzip: a/b/c: not extracted: "), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("2 problems: 2 not written"), std::string::npos) << r.Err;
  EXPECT_EQ(ReadFileText(scratch / "out/a/b"), "file b");
  EXPECT_EQ(ReadFileText(scratch / "out/z.txt"), "z");
  EXPECT_NE(r.Out.find("Extracted 2 members to "), std::string::npos) << r.Out;
}

TEST(CliExtract, NoMatchingMemberMakesNoDestination) {
  TCliScratch scratch;
  WriteFileBytes(scratch / "a.zip", TZipBuilder::Archive({Stored("x.txt", "x")}));
  const TVzipRun r = Vzip(scratch.Path(), "x a.zip 'nothing*' -d new/out");
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  EXPECT_FALSE(fs::exists(scratch / "new"));
}

TEST(CliExtract, AbsoluteStoredNameShowsWhereItIsWritten) {
  TCliScratch scratch;
  WriteFileBytes(scratch / "a.zip",
                 TZipBuilder::Archive({Stored("/abs/x.txt", "x"), Stored("rel/y.txt", "y")}));
  const TVzipRun r = Vzip(scratch.Path(), "x a.zip -d out");
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("  extracting: " + scratch / "out/abs/x.txt\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("  extracting: rel/y.txt\n"), std::string::npos) << r.Out;
  EXPECT_EQ(ReadFileText(scratch / "out/abs/x.txt"), "x");
}

TEST(CliExtract, ModesFromInfoZipAreRestored) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  const TScopedUmask mask(022);
  TCliScratch scratch;
  MakeFolders(scratch / "src/private");
  const std::vector<std::pair<std::string, u32>> files = {
      {"run.sh", 0755}, {"notes.txt", 0644}, {"private/key", 0600}};
  for (const auto& [name, mode] : files) {
    WriteFileText(scratch / ("src/" + name), name);
    fs::permissions(scratch / ("src/" + name), static_cast<fs::perms>(mode));
  }
  fs::permissions(scratch / "src/private", static_cast<fs::perms>(0700));
  ASSERT_EQ(Shell(scratch / "src", "/usr/bin/zip -qry ../m.zip .").ExitCode, 0);
  const TVzipRun r = Vzip(scratch.Path(), "x m.zip -d out -q");
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  for (const auto& [name, mode] : files)
    EXPECT_EQ(FileMode(scratch / ("out/" + name)), mode) << name;
  EXPECT_EQ(FileMode(scratch / "out/private"), 0700u);
}

}  // namespace
}  // namespace vz::test
