// vzip l, t, x and p against archives made by Info-ZIP and by vzip itself:
// listings, tests, extraction (selection, path modes, existing files, free
// space, damaged and hostile members), printing, errors and help.
#include <filesystem>

#include "tests/cli/CliHarness.h"
#include "tests/support/TestFiles.h"
#include "tests/support/ZipBuilder.h"

namespace fs = std::filesystem;

namespace vz::test {
namespace {

struct TMaker {
  const char* Name;
  std::string Command;  // run in scratch/src, writes ../a.zip
};

class ReadCommands : public testing::TestWithParam<TMaker> {
 protected:
  void SetUp() override {
    if (!HaveProgram("zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
    Names = MakeSampleTree(Scratch / "src");
    const auto made = Shell(Scratch / "src", GetParam().Command);
    ASSERT_EQ(made.ExitCode, 0) << made.Out;
  }

  TCliScratch Scratch;
  std::vector<std::string> Names;
};

TEST_P(ReadCommands, ListNamesEveryFileAndCountsThem) {
  const TVzipRun r = Vzip(Scratch.Path(), "l a.zip");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  const auto listed = ListedNames(r.Out);
  for (const auto& name : Names) {
    EXPECT_NE(std::find(listed.begin(), listed.end(), name), listed.end()) << name << r.Out;
  }
  EXPECT_NE(r.Out.find(" " + std::to_string(listed.size()) + " members\n"), std::string::npos)
      << r.Out;
}

TEST_P(ReadCommands, SortKeysOrderTheList) {
  const auto bySize = ListedNames(Vzip(Scratch.Path(), "l a.zip --sort size").Out);
  ASSERT_FALSE(bySize.empty());
  EXPECT_EQ(bySize.front(), "random.bin");
  auto byName = ListedNames(Vzip(Scratch.Path(), "l a.zip --sort=name").Out);
  EXPECT_TRUE(std::is_sorted(byName.begin(), byName.end())) << testing::PrintToString(byName);
}

TEST_P(ReadCommands, TestPassesAndWritesNothing) {
  const TVzipRun r = Vzip(Scratch.Path(), "t a.zip");
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out.find("No errors: "), 0u) << r.Out;
  EXPECT_EQ(r.Err, "");
  std::vector<std::string> top;
  for (const auto& entry : fs::directory_iterator(Scratch.Path())) {
    top.push_back(entry.path().filename().string());
  }
  std::sort(top.begin(), top.end());
  // The lock file is left by vzip a, which made the archive.
  std::erase(top, ".a.zip.lock");
  EXPECT_EQ(top, (std::vector<std::string>{"a.zip", "src"}));
}

TEST_P(ReadCommands, ExtractRestoresTheTree) {
  const TVzipRun r = Vzip(Scratch.Path(), "x a.zip -d out");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(TreeContents(Scratch / "out"), TreeContents(Scratch / "src"));
  EXPECT_NE(r.Out.find("  extracting: docs/deep/notes.txt\n"), std::string::npos) << r.Out;
}

TEST_P(ReadCommands, PrintWritesTheMemberAndNothingElse) {
  for (const std::string name : {"docs/deep/notes.txt", "random.bin", "empty.dat"}) {
    const TVzipRun r = Vzip(Scratch.Path(), "p a.zip " + ShellQuote(name));
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    const auto expected = ReadFileBytes(Scratch / ("src/" + name));
    EXPECT_EQ(std::vector<u8>(r.Out.begin(), r.Out.end()), expected) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ReadCommands,
    testing::Values(TMaker{"InfoZip", "zip -q -r ../a.zip ."},
                    TMaker{"InfoZipStored", "zip -q -0 -r ../a.zip ."},
                    TMaker{"Vzip", ShellQuote(VzipPath()) + " a -q ../a.zip . -r"},
                    TMaker{"VzipLevel9", ShellQuote(VzipPath()) + " a -9 -q ../a.zip . -r"}),
    CaseName<TMaker>);

// ---- choosing what and where ----

class Extraction : public testing::Test {
 protected:
  void SetUp() override {
    MakeSampleTree(Scratch / "src");
    const auto made = Vzip(Scratch / "src", "a -q ../a.zip . -r");
    ASSERT_EQ(made.ExitCode, 0) << made.Err;
  }
  std::vector<std::string> ExtractedNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& [name, data] : TreeContents(folder)) names.push_back(name);
    return names;
  }

  TCliScratch Scratch;
};

TEST_F(Extraction, PatternsSelectMembersAndAMissOfOneIsReported) {
  const TVzipRun r = Vzip(Scratch.Path(), "x a.zip '*.txt' 'docs/deep/*' 'nothing*' -d out");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(ExtractedNames(Scratch / "out"),
            (std::vector<std::string>{"docs/deep/inner.bin", "docs/deep/notes.txt",
                                      "docs/guide.txt", "readme.txt", "with blank.txt"}));
  EXPECT_NE(r.Err.find("vzip: nothing*: no member of a.zip matches\n"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("1 problem: 1 no match"), std::string::npos) << r.Err;
}

struct TPathCase {
  const char* Name;
  const char* Options;
  const char* Expected;  // where docs/deep/inner.bin lands below out/
};

class ExtractionPaths : public Extraction, public testing::WithParamInterface<TPathCase> {};

TEST_P(ExtractionPaths, FollowTheChosenMode) {
  const TVzipRun r =
      Vzip(Scratch.Path(), "x a.zip docs/deep/inner.bin -d out " + std::string(GetParam().Options));
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(ExtractedNames(Scratch / "out"), std::vector<std::string>{GetParam().Expected});
}

INSTANTIATE_TEST_SUITE_P(Cli, ExtractionPaths,
                         testing::Values(TPathCase{"Stored", "", "docs/deep/inner.bin"},
                                         TPathCase{"ExplicitStored", "--paths stored",
                                                   "docs/deep/inner.bin"},
                                         TPathCase{"None", "--paths none", "inner.bin"},
                                         TPathCase{"Root", "--root docs", "deep/inner.bin"}),
                         CaseName<TPathCase>);

TEST_F(Extraction, VolumesAreRefusedWhereNoMemberStoresOne) {
  const TVzipRun r = Vzip(Scratch.Path(), "x a.zip --paths volume");
  EXPECT_EQ(r.ExitCode, 7);
  EXPECT_NE(r.Err.find("stores a volume or an absolute folder"), std::string::npos) << r.Err;
}

struct TOverwriteCase {
  const char* Name;
  const char* Options;
  bool Replaced;
  bool Chosen = false;  // kept by the user's choice: no problem
};

class ExistingFiles : public Extraction, public testing::WithParamInterface<TOverwriteCase> {};

TEST_P(ExistingFiles, AreKeptWithoutATerminalUnlessAlwaysIsGiven) {
  ASSERT_EQ(Vzip(Scratch.Path(), "x a.zip -d out -q").ExitCode, 0);
  WriteFileText(Scratch / "out/readme.txt", "mine");
  const TVzipRun r =
      Vzip(Scratch.Path(), "x a.zip readme.txt -d out " + std::string(GetParam().Options));
  if (GetParam().Replaced) {
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ReadFileBytes(Scratch / "out/readme.txt"), ReadFileBytes(Scratch / "src/readme.txt"));
  } else if (GetParam().Chosen) {
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ReadFileText(Scratch / "out/readme.txt"), "mine");
    EXPECT_EQ(r.Err, "");
    EXPECT_NE(r.Out.find("     keeping: readme.txt\n"), std::string::npos) << r.Out;
  } else {
    EXPECT_EQ(r.ExitCode, 1) << r.Err;
    EXPECT_EQ(ReadFileText(Scratch / "out/readme.txt"), "mine");
    EXPECT_NE(r.Err.find("vzip: readme.txt: not overwritten"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("1 problem: 1 not overwritten"), std::string::npos) << r.Err;
  }
}

INSTANTIATE_TEST_SUITE_P(Cli, ExistingFiles,
                         testing::Values(TOverwriteCase{"Default", "", false},
                                         TOverwriteCase{"Prompt", "-o prompt", false},
                                         TOverwriteCase{"Never", "--overwrite never", false, true},
                                         TOverwriteCase{"Always", "-o always", true}),
                         CaseName<TOverwriteCase>);

// ---- hostile and damaged archives ----

TBuildMember Stored(const std::string& name, const std::string& data) {
  TBuildMember m;
  m.Name = name;
  m.Data.assign(data.begin(), data.end());
  return m;
}

TEST(CliExtraction, RefusesWhenTheMembersDoNotFitTheFreeSpace) {
  TCliScratch scratch;
  // 3000 members that claim 4,000,000,000 bytes each: more than any disk here.
  std::vector<TBuildMember> members;
  for (int i = 0; i < 3000; ++i) {
    TBuildMember m = Stored("m" + std::to_string(i), "x");
    m.UncompressedSize = 4000000000u;
    members.push_back(m);
  }
  WriteFileBytes(scratch / "huge.zip", TZipBuilder::Archive(members));
  const TVzipRun r = Vzip(scratch.Path(), "x huge.zip -d out");
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("/out: Not enough disk free space!\n"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("  Required space:\t11,444,091.8MB\n"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("  Disk free space:\t"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("  Free up atleast "), std::string::npos) << r.Err;
  EXPECT_FALSE(FileExists(scratch / "out"));
}

TEST(CliExtraction, DamagedAndUnsafeMembersAreNamedAndCounted) {
  TCliScratch scratch;
  TBuildMember bad = Stored("bad.txt", "damaged data");
  bad.Crc = 0x12345678;
  WriteFileBytes(scratch / "h.zip", TZipBuilder::Archive({Stored("good.txt", "good"), bad,
                                                          Stored("../escape.txt", "out")}));
  const TVzipRun test = Vzip(scratch.Path(), "t h.zip");
  EXPECT_EQ(test.ExitCode, 1);
  EXPECT_NE(test.Err.find("vzip: bad.txt: bad CRC "), std::string::npos) << test.Err;
  EXPECT_NE(test.Out.find("1 of 3 members failed the test"), std::string::npos) << test.Out;

  MakeFolders(scratch / "dest");
  const TVzipRun x = Vzip(scratch / "dest", "x ../h.zip -d out");
  EXPECT_EQ(x.ExitCode, 1);
  EXPECT_EQ(ReadFileText(scratch / "dest/out/good.txt"), "good");
  EXPECT_FALSE(FileExists(scratch / "dest/out/bad.txt"));
  EXPECT_FALSE(FileExists(scratch / "dest/escape.txt"));
  EXPECT_NE(x.Err.find("vzip: ../escape.txt: a \"..\" component in the name: refused as unsafe\n"),
            std::string::npos)
      << x.Err;
  EXPECT_NE(x.Err.find("2 problems: 1 bad CRC, 1 unsafe entry"), std::string::npos) << x.Err;
}

TEST(CliExtraction, AnArchiveWithoutItsEndIsReadFromItsHeadersWithAWarning) {
  TCliScratch scratch;
  const auto archive = TZipBuilder::Archive({Stored("one.txt", "1"), Stored("two.txt", "22")});
  WriteFileBytes(scratch / "cut.zip", std::vector<u8>(archive.begin(), archive.end() - 30));
  const TVzipRun r = Vzip(scratch.Path(), "l cut.zip");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(ListedNames(r.Out), (std::vector<std::string>{"one.txt", "two.txt"}));
  EXPECT_NE(r.Err.find("no end of central directory found"), std::string::npos) << r.Err;
}

// ---- errors are one line ----

struct TErrorCase {
  const char* Name;
  const char* Arguments;
  int ExitCode;
  const char* Message;
};

class Errors : public testing::TestWithParam<TErrorCase> {};

TEST_P(Errors, AreOneLineOnStandardError) {
  TCliScratch scratch;
  WriteFileText(scratch / "notes.txt", std::string(3000, 'n'));
  const TVzipRun r = Vzip(scratch.Path(), GetParam().Arguments);
  EXPECT_EQ(r.ExitCode, GetParam().ExitCode);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(Occurrences(r.Err, "\n"), 1) << r.Err;
  EXPECT_EQ(r.Err.find("vzip"), 0u) << r.Err;
  EXPECT_NE(r.Err.find(GetParam().Message), std::string::npos) << r.Err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Errors,
    testing::Values(TErrorCase{"MissingArchive", "l missing.zip", 2, "missing.zip"},
                    TErrorCase{"NotAnArchive", "t notes.txt", 2, "notes.txt: not a ZIP archive"},
                    TErrorCase{"NotAnArchiveToAddTo", "a notes.txt notes.txt", 2,
                               "not a ZIP archive"},
                    TErrorCase{"UnknownOption", "x a.zip --bogus", 7, "unknown option --bogus"},
                    TErrorCase{"NoCommand", "", 7, "no command given"},
                    TErrorCase{"AskWithoutTerminal", "t notes.txt -e", 7, "needs a terminal"}),
    CaseName<TErrorCase>);

// ---- help ----

struct THelpCase {
  const char* Name;
  const char* Letter;
};

class Help : public testing::TestWithParam<THelpCase> {};

TEST_P(Help, EachCommandHasItsPageWithTheExitStatus) {
  TCliScratch scratch;
  const std::string name = GetParam().Name;
  const TVzipRun r = Vzip(scratch.Path(), name + " --help");
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_EQ(r.Out.find("Usage: vzip " + std::string(GetParam().Letter) + "|" + name), 0u) << r.Out;
  for (const char* line : {"0  success", "1  warnings", "2  fatal error", "7  bad command line"}) {
    EXPECT_NE(r.Out.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(Vzip(scratch.Path(), std::string(GetParam().Letter) + " -h").Out, r.Out);
}

INSTANTIATE_TEST_SUITE_P(Cli, Help,
                         testing::Values(THelpCase{"list", "l"}, THelpCase{"test", "t"},
                                         THelpCase{"extract", "x"}, THelpCase{"print", "p"},
                                         THelpCase{"add", "a"}, THelpCase{"delete", "d"},
                                         THelpCase{"comment", "c"}, THelpCase{"sfx", "s"},
                                         THelpCase{"repair", "r"}),
                         CaseName<THelpCase>);

TEST(CliHelp, ToolPageVersionAndThePasswordWarning) {
  TCliScratch scratch;
  const TVzipRun tool = Vzip(scratch.Path(), "--help");
  EXPECT_EQ(tool.ExitCode, 0);
  EXPECT_NE(tool.Out.find("r, repair"), std::string::npos);
  EXPECT_NE(tool.Out.find("7  bad command line"), std::string::npos);
  const TVzipRun extract = Vzip(scratch.Path(), "help x");
  EXPECT_NE(extract.Out.find("other users of this machine can see it"), std::string::npos);
  const TVzipRun version = Vzip(scratch.Path(), "--version");
  EXPECT_EQ(version.ExitCode, 0);
  EXPECT_EQ(version.Out.find("vzip 2.14.0"), 0u) << version.Out;
}

}  // namespace
}  // namespace vz::test
