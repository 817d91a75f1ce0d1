// vzip a, d and c when more than the command itself is at work: two runs
// on one archive at once, signals, links, read-only and damaged archives,
// and the files a run must report instead of leaving out in silence.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "tests/cli/CliHarness.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace vz::test {
namespace {

// A file with the folders above it.
void Put(const std::string& path, const std::string& text) {
  MakeFolders(fs::path(path).parent_path().string());
  WriteFileText(path, text);
}

// Both streams and the exit status of a run started in the background.
std::string Background(const std::string& name, const std::string& arguments) {
  return std::string("(") + kVzipEnvironment + "timeout 60 " + ShellQuote(VzipPath()) + " " +
         arguments + " >" + name + ".out 2>" + name + ".err; echo $? >" + name + ".rc) & ";
}

// The same for a run that is to be signalled: its own process id goes to
// <name>.pid (the shell execs it; no timeout(1) in between, which would
// handle the signal itself); `ignoreHangUp` starts it as nohup does.
std::string Signalled(const std::string& name, const std::string& arguments, bool ignoreHangUp) {
  const std::string inner = std::string(ignoreHangUp ? "trap '' HUP; " : "") + "echo $$ >" + name +
                            ".pid; exec env " + kVzipEnvironment + ShellQuote(VzipPath()) + " " +
                            arguments;
  return "(sh -c " + ShellQuote(inner) + " >" + name + ".out 2>" + name + ".err; echo $? >" + name +
         ".rc) & ";
}

class WriteSafety : public testing::Test {
 protected:
  std::vector<std::string> Listed(const std::string& folder, const std::string& archive) {
    const TVzipRun r = Vzip(folder, "l " + archive + " --sort name");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return ListedNames(r.Out);
  }

  TCliScratch Scratch;
};

// ---- two runs at once ----

struct TRaceCase {
  const char* Name;
  const char* Options;
  bool Existing;  // the archive is there before the two runs start
};

class TwoWriters : public WriteSafety, public testing::WithParamInterface<TRaceCase> {};

TEST_P(TwoWriters, EndWithBothSetsOrOneFailureAndNoLoss) {
  const bool moving = std::string(GetParam().Options).find("--move") != std::string::npos;
  for (int run = 0; run < 20; ++run) {
    SCOPED_TRACE(run);
    const std::string folder = Scratch / ("run" + std::to_string(run));
    for (const char* set : {"a", "b"}) {
      for (int i = 0; i < 3; ++i) {
        Put(folder + "/" + set + "/" + std::to_string(i) + ".txt", std::string(200 + run, set[0]));
      }
    }
    if (GetParam().Existing) {
      Put(folder + "/base.txt", "base");
      ASSERT_EQ(Vzip(folder, "a -q x.zip base.txt").ExitCode, 0);
    }
    const std::string options = GetParam().Options;
    const TVzipRun both = Shell(folder, "{ " + Background("a", "a x.zip a -r " + options) +
                                            Background("b", "a x.zip b -r " + options) + "wait; }");
    ASSERT_EQ(both.ExitCode, 0) << both.Out;
    std::vector<std::string> expected;
    if (GetParam().Existing) expected.push_back("base.txt");
    for (const char* set : {"a", "b"}) {
      const std::string s = set;
      const int code = std::stoi(ReadFileText(folder + "/" + s + ".rc"));
      const std::string err = ReadFileText(folder + "/" + s + ".err");
      if (code == 0) {
        for (int i = 0; i < 3; ++i) expected.push_back(s + "/" + std::to_string(i) + ".txt");
        EXPECT_EQ(FileExists(folder + "/" + s + "/0.txt"), !moving) << s;
      } else {
        // A run that failed says why and keeps every source.
        EXPECT_EQ(code, 2) << err;
        EXPECT_NE(err.find("vzip: "), std::string::npos) << s;
        for (int i = 0; i < 3; ++i) {
          EXPECT_TRUE(FileExists(folder + "/" + s + "/" + std::to_string(i) + ".txt")) << s << i;
        }
      }
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Listed(folder, "x.zip"), expected);
    EXPECT_EQ(Vzip(folder, "t -q x.zip").ExitCode, 0);
    if (HasFailure()) break;
  }
}

INSTANTIATE_TEST_SUITE_P(Cli, TwoWriters,
                         testing::Values(TRaceCase{"Update", "", true},
                                         TRaceCase{"Move", "--move", true},
                                         TRaceCase{"Create", "", false}),
                         CaseName<TRaceCase>);

TEST_F(WriteSafety, AHeldLockIsWaitedForUnlessNoWaitAndIgnoredSignalsStayIgnored) {
  if (!HaveProgram("flock")) GTEST_SKIP() << "flock is not installed";
  Put(Scratch / "one.txt", "1");
  Put(Scratch / "two.txt", "2");
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q a.zip one.txt").ExitCode, 0);
  const auto before = ReadFileBytes(Scratch / "a.zip");
  // Another program holds the lock until told to let go; each vzip is
  // signalled once it says that it waits.
  const std::string waitFor = "until grep -q waiting $1.err 2>/dev/null; do sleep 0.05; done; ";
  const TVzipRun r = Shell(
      Scratch.Path(),
      "waited() { " + waitFor +
          "}; ( flock 9; touch held; until [ -e release ]; do sleep 0.05; done ) 9>.a.zip.lock & "
          "until [ -e held ]; do sleep 0.05; done; " +
          Background("nowait", "a a.zip two.txt --no-wait") + "wait $!; " +
          Signalled("hup", "a a.zip two.txt", false) + "waited hup; kill -HUP $(cat hup.pid); " +
          Signalled("nohup", "a a.zip two.txt", true) +
          "waited nohup; kill -HUP $(cat nohup.pid); sleep 0.3; touch release; wait");
  ASSERT_EQ(r.ExitCode, 0) << r.Out;
  EXPECT_EQ(ReadFileText(Scratch / "nowait.rc"), "2\n");
  EXPECT_NE(ReadFileText(Scratch / "nowait.err").find("another program is changing the archive"),
            std::string::npos)
      << ReadFileText(Scratch / "nowait.err");
  // SIGHUP cancels a waiting run ...
  EXPECT_EQ(ReadFileText(Scratch / "hup.rc"), "2\n") << ReadFileText(Scratch / "hup.err");
  EXPECT_NE(ReadFileText(Scratch / "hup.err").find("cancelled"), std::string::npos);
  // ... unless it was ignored when vzip started (nohup).
  EXPECT_EQ(ReadFileText(Scratch / "nohup.rc"), "0\n") << ReadFileText(Scratch / "nohup.err");
  EXPECT_NE(before, ReadFileBytes(Scratch / "a.zip"));
  EXPECT_EQ(Listed(Scratch.Path(), "a.zip"), (std::vector<std::string>{"one.txt", "two.txt"}));
}

// ---- archives that must not be written as they are ----

TEST_F(WriteSafety, AnArchiveBehindALinkIsUpdatedAndTheLinkKept) {
  Put(Scratch / "one.txt", "1");
  Put(Scratch / "new.txt", "2");
  MakeFolders(Scratch / "store");
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q store/out.zip one.txt").ExitCode, 0);
  fs::create_symlink("store/out.zip", Scratch / "link.zip");
  const TVzipRun r = Vzip(Scratch.Path(), "a link.zip new.txt");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(fs::is_symlink(Scratch / "link.zip"));
  EXPECT_EQ(Listed(Scratch.Path(), "store/out.zip"),
            (std::vector<std::string>{"new.txt", "one.txt"}));
}

TEST_F(WriteSafety, AReadOnlyArchiveIsRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write any file (the engine's check is tested)";
  Put(Scratch / "one.txt", "1");
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q ro.zip one.txt").ExitCode, 0);
  const auto before = ReadFileBytes(Scratch / "ro.zip");
  ASSERT_EQ(::chmod((Scratch / "ro.zip").c_str(), 0444), 0);
  for (const char* command : {"a ro.zip two.txt one.txt", "d ro.zip one.txt"}) {
    const TVzipRun r = Vzip(Scratch.Path(), command);
    EXPECT_EQ(r.ExitCode, 2) << command;
    EXPECT_NE(r.Err.find("ro.zip: the archive may not be written"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadFileBytes(Scratch / "ro.zip"), before);
  }
}

TEST_F(WriteSafety, ADamagedArchiveIsLeftAsItIsUntilRepaired) {
  Put(Scratch / "one.txt", std::string(3000, 'x'));
  Put(Scratch / "two.txt", "2");
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q cut.zip one.txt").ExitCode, 0);
  auto bytes = ReadFileBytes(Scratch / "cut.zip");
  bytes.resize(bytes.size() - 30);  // the end record and part of the directory
  WriteFileBytes(Scratch / "cut.zip", bytes);
  for (const char* command : {"a cut.zip two.txt", "d cut.zip one.txt", "c cut.zip --set hi"}) {
    const TVzipRun r = Vzip(Scratch.Path(), command);
    EXPECT_EQ(r.ExitCode, 2) << command;
    EXPECT_NE(r.Err.find("Repair it first: vzip r cut.zip"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadFileBytes(Scratch / "cut.zip"), bytes) << command;
  }
  const TVzipRun repaired = Vzip(Scratch.Path(), "r cut.zip");
  EXPECT_EQ(repaired.ExitCode, 0) << repaired.Err;
  EXPECT_EQ(Listed(Scratch.Path(), "cut_Fixed.zip"), std::vector<std::string>{"one.txt"});
}

TEST_F(WriteSafety, AMissingTemporaryFolderIsAnError) {
  Put(Scratch / "one.txt", "1");
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q a.zip one.txt").ExitCode, 0);
  const auto before = ReadFileBytes(Scratch / "a.zip");
  const TVzipRun r = Vzip(Scratch.Path(), "a a.zip one.txt --replace --temp nowhere");
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("/nowhere: the folder for temporary files cannot be used"),
            std::string::npos)
      << r.Err;
  EXPECT_EQ(ReadFileBytes(Scratch / "a.zip"), before);
}

// ---- files a run must report ----

TEST_F(WriteSafety, PatternsThatMatchNothingAndUnreadableFoldersAreProblems) {
  Put(Scratch / "one.txt", "1");
  const TVzipRun none = Vzip(Scratch.Path(), "a b.zip one.txt 'nomatch*'");
  EXPECT_EQ(none.ExitCode, 1);
  EXPECT_NE(none.Err.find("/nomatch*: no file matches"), std::string::npos) << none.Err;
  EXPECT_EQ(Listed(Scratch.Path(), "b.zip"), std::vector<std::string>{"one.txt"});
  if (::geteuid() == 0) return;  // root reads every folder (the search's report is tested)
  Put(Scratch / "tree/closed/hidden.txt", "h");
  Put(Scratch / "tree/open.txt", "o");
  ASSERT_EQ(::chmod((Scratch / "tree/closed").c_str(), 0), 0);
  const TVzipRun r = Vzip(Scratch.Path(), "a t.zip tree -r");
  ::chmod((Scratch / "tree/closed").c_str(), 0755);
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("/tree/closed: cannot be read: Permission denied"), std::string::npos)
      << r.Err;
}

TEST_F(WriteSafety, DeepTreesAreAddedWhole) {
  std::string folder = "deep";
  std::vector<std::string> expected;
  for (int level = 0; level < 30; ++level) {
    folder += "/l" + std::to_string(level);
    Put(Scratch / (folder + "/f.txt"), std::to_string(level));
    expected.push_back(folder + "/f.txt");
  }
  const TVzipRun r = Vzip(Scratch.Path(), "a -q deep.zip deep -r");
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listed(Scratch.Path(), "deep.zip"), expected);
}

TEST_F(WriteSafety, NamesWithControlCharactersAreReportedEscaped) {
  Put(Scratch / "src/two\nlines.txt", "x");
  Put(Scratch / "src/plain.txt", "y");
  const TVzipRun r = Vzip(Scratch.Path(), "a c.zip src");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("/src/two\\nlines.txt: its name holds control characters"),
            std::string::npos)
      << r.Err;
  EXPECT_EQ(Listed(Scratch.Path(), "c.zip"), std::vector<std::string>{"src/plain.txt"});
}

TEST_F(WriteSafety, FilesOutsideTheCurrentFolderAreStoredWithoutClimbingOut) {
  Put(Scratch / "f.txt", "f");
  Put(Scratch / "other/g.txt", "g");
  MakeFolders(Scratch / "work");
  const TVzipRun r = Vzip(Scratch / "work", "a r.zip ../f.txt ../other/g.txt");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(Listed(Scratch / "work", "r.zip"), (std::vector<std::string>{"f.txt", "other/g.txt"}));
  const TVzipRun full = Vzip(Scratch / "work", "a full.zip ../f.txt --paths full");
  ASSERT_EQ(full.ExitCode, 0) << full.Err;
  EXPECT_EQ(Listed(Scratch / "work", "full.zip"),
            std::vector<std::string>{Scratch.Path().substr(1) + "/f.txt"});
}

TEST_F(WriteSafety, EmptyFoldersAreStoredAsFolderEntries) {
  Put(Scratch / "src/a.txt", "a");
  MakeFolders(Scratch / "src/hollow");
  MakeFolders(Scratch / "alone");
  const TVzipRun r = Vzip(Scratch.Path(), "a e.zip src alone -r");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(Listed(Scratch.Path(), "e.zip"),
            (std::vector<std::string>{"alone/", "src/a.txt", "src/hollow/"}));
  if (!HaveProgram("/usr/bin/unzip")) return;
  ASSERT_EQ(Shell(Scratch.Path(), "/usr/bin/unzip -q e.zip -d out").ExitCode, 0);
  EXPECT_TRUE(fs::is_directory(Scratch / "out/src/hollow"));
  EXPECT_TRUE(fs::is_directory(Scratch / "out/alone"));
}

TEST_F(WriteSafety, TheProgressBarIsDrawnAtMostTenTimesASecond) {
  if (!HaveProgram("script")) GTEST_SKIP() << "script is not installed";
  for (int i = 0; i < 400; ++i) Put(Scratch / ("many/" + std::to_string(i)), "x");
  const auto start = std::chrono::steady_clock::now();
  const TVzipRun r = VzipOnTerminal(Scratch.Path(), "a m.zip many", "");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.ExitCode, 0) << r.Out;
  EXPECT_EQ(Occurrences(r.Out, "  adding: "), 400);
  EXPECT_LE(Occurrences(r.Out, "\r["), static_cast<int>(seconds * 10) + 2) << seconds;
}

}  // namespace
}  // namespace vz::test
