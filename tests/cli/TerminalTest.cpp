// vzip on a terminal (script(1) gives it one, with the answers typed
// ahead): the overwrite question and its five answers, password prompts,
// -e, and the progress bar, which stays on standard error.
#include <filesystem>

#include "tests/cli/CliHarness.h"
#include "tests/support/CheckBytes.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace vz::test {
namespace {

class Terminal : public testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("script")) GTEST_SKIP() << "script is not installed";
    MakeFolders(Scratch / "src");
    MakeFolders(Scratch / "out");
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}) {
      WriteFileText(Scratch / ("src/" + std::string(name)), std::string("new ") + name);
      WriteFileText(Scratch / ("out/" + std::string(name)), "old");
    }
    ASSERT_EQ(Vzip(Scratch / "src", "a -q ../five.zip a.txt b.txt c.txt d.txt e.txt").ExitCode, 0);
  }

  TCliScratch Scratch;
};

TEST_F(Terminal, OverwriteAnswersYesNoRenameNever) {
  const TVzipRun r =
      VzipOnTerminal(Scratch.Path(), "x five.zip -d out", "y\nn\nr\nrenamed.txt\ne\n");
  // Files the user chose to keep are no problems.
  EXPECT_EQ(r.ExitCode, 0) << r.Out;
  EXPECT_EQ(ReadFileText(Scratch / "out/a.txt"), "new a.txt");
  EXPECT_EQ(ReadFileText(Scratch / "out/b.txt"), "old");
  EXPECT_EQ(ReadFileText(Scratch / "out/c.txt"), "old");
  EXPECT_EQ(ReadFileText(Scratch / "out/renamed.txt"), "new c.txt");
  EXPECT_EQ(ReadFileText(Scratch / "out/d.txt"), "old");
  EXPECT_EQ(ReadFileText(Scratch / "out/e.txt"), "old");
  // "never" answers for e.txt too: four questions for five files.
  EXPECT_EQ(Occurrences(r.Out, "Replace existing file "), 4) << r.Out;
  EXPECT_EQ(Occurrences(r.Out, "     keeping: "), 3) << r.Out;
  EXPECT_EQ(r.Out.find("not overwritten"), std::string::npos) << r.Out;
}

TEST_F(Terminal, AllAnswersOnceForEveryFile) {
  const TVzipRun r = VzipOnTerminal(Scratch.Path(), "x five.zip -d out", "a\n");
  EXPECT_EQ(r.ExitCode, 0) << r.Out;
  EXPECT_EQ(Occurrences(r.Out, "Replace existing file "), 1) << r.Out;
  EXPECT_EQ(ReadFileText(Scratch / "out/e.txt"), "new e.txt");
}

TEST_F(Terminal, PasswordIsAskedAgainAfterAWrongOne) {
  ASSERT_EQ(Vzip(Scratch / "src", "a -q ../enc.zip a.txt b.txt -p right").ExitCode, 0);
  const std::string wrong = PasswordFailingEveryCheck(ReadFileBytes(Scratch / "enc.zip"));
  const TVzipRun r = VzipOnTerminal(Scratch.Path(), "x enc.zip -d dest", wrong + "\nright\n");
  EXPECT_EQ(r.ExitCode, 0) << r.Out;
  EXPECT_EQ(Occurrences(r.Out, "Password for a.txt"), 2) << r.Out;
  EXPECT_EQ(Occurrences(r.Out, "Wrong password."), 1) << r.Out;
  EXPECT_EQ(ReadFileText(Scratch / "dest/b.txt"), "new b.txt");
}

TEST_F(Terminal, AskPasswordTwiceWhenAdding) {
  const TVzipRun r = VzipOnTerminal(Scratch / "src", "a ../e.zip a.txt -e", "pw\npw\n");
  ASSERT_EQ(r.ExitCode, 0) << r.Out;
  EXPECT_EQ(Vzip(Scratch.Path(), "p e.zip a.txt -p pw").Out, "new a.txt");
  const TVzipRun differ = VzipOnTerminal(Scratch / "src", "a ../f.zip a.txt -e", "pw\nother\n");
  EXPECT_EQ(differ.ExitCode, 2) << differ.Out;
  EXPECT_NE(differ.Out.find("the two passwords differ"), std::string::npos) << differ.Out;
  EXPECT_FALSE(FileExists(Scratch / "f.zip"));
}

TEST_F(Terminal, ProgressBarGoesToTheTerminalAndNeverIntoPrintedData) {
  const auto data = RandomBytes(400000, 3);
  WriteFileBytes(Scratch / "src/big.bin", data);
  ASSERT_EQ(Vzip(Scratch / "src", "a -q ../big.zip big.bin").ExitCode, 0);
  const TVzipRun r = VzipOnTerminal(Scratch.Path(), "p big.zip big.bin", "", "> printed.bin");
  EXPECT_EQ(r.ExitCode, 0) << r.Out;
  EXPECT_EQ(ReadFileBytes(Scratch / "printed.bin"), data);
  EXPECT_NE(r.Out.find("%  "), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("] "), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("big.bin"), std::string::npos) << r.Out;
  const TVzipRun quiet = VzipOnTerminal(Scratch.Path(), "p big.zip big.bin -q", "", "> q.bin");
  EXPECT_EQ(quiet.ExitCode, 0);
  EXPECT_EQ(quiet.Out.find('%'), std::string::npos) << quiet.Out;
}

}  // namespace
}  // namespace vz::test
