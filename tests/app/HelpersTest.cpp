// The shared helpers: message boxes, folders, the trash hand-off, on-disk
// spelling, name formatting, running programs.
#include "app/core/Helpers.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/posix/PosixPlatform.h"
#include "tests/app/AppFixture.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

class HelpersTest : public test::AppFixture {
 protected:
  HelpersTest() {
    char cwd[PATH_MAX];
    FStartFolder = ::getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
  }
  ~HelpersTest() override { [[maybe_unused]] const int rc = ::chdir(FStartFolder.c_str()); }

  const TMessageBox& OnlyMessage() {
    EXPECT_EQ(Host.Messages.size(), 1u);
    return Host.Messages.back();
  }

 private:
  std::string FStartFolder;
};

// ---------------------------------------------------------------- boxes

struct TAskCase {
  bool YesIsDefault;
  std::optional<TMsgResult> Answer;  // nullopt: the user takes the default
  bool Expected;
  friend void PrintTo(const TAskCase& c, std::ostream* os) {
    *os << (c.YesIsDefault ? "YesDefault" : "NoDefault") << (c.Answer ? "_answered" : "_default");
  }
};

class AskYesNoTest : public HelpersTest, public ::testing::WithParamInterface<TAskCase> {};

TEST_P(AskYesNoTest, ShowsAQuestionWithTheRightDefaultButton) {
  const TAskCase& c = GetParam();
  if (c.Answer) Host.MessageAnswers.push_back(*c.Answer);
  EXPECT_EQ(AskYesNo(App, "Proceed?", c.YesIsDefault), c.Expected);
  const TMessageBox& box = OnlyMessage();
  EXPECT_EQ(box.Text, "Proceed?");
  EXPECT_EQ(box.Caption, "Varnel Zip");
  EXPECT_EQ(box.Buttons, TMsgButtons::YesNo);
  EXPECT_EQ(box.Icon, TMsgIcon::Question);
  EXPECT_EQ(box.DefaultButton, c.YesIsDefault ? TMsgResult::Yes : TMsgResult::No);
}

INSTANTIATE_TEST_SUITE_P(Answers, AskYesNoTest,
                         ::testing::Values(TAskCase{true, std::nullopt, true},
                                           TAskCase{false, std::nullopt, false},
                                           TAskCase{true, TMsgResult::No, false},
                                           TAskCase{false, TMsgResult::Yes, true}));

TEST_F(HelpersTest, WarningAndInfoUseTheirIconsAndTheProgramTitle) {
  test::TFocusCounter focus;
  EXPECT_EQ(ShowWarning(App, "Careful", &focus), TMsgResult::Ok);
  EXPECT_EQ(focus.Count, 1);
  EXPECT_EQ(ShowInfo(App, "Note"), TMsgResult::Ok);
  ASSERT_EQ(Host.Messages.size(), 2u);
  EXPECT_EQ(Host.Messages[0].Icon, TMsgIcon::Warning);
  EXPECT_EQ(Host.Messages[1].Icon, TMsgIcon::Information);
  for (const auto& box : Host.Messages) {
    EXPECT_EQ(box.Caption, "Varnel Zip");
    EXPECT_EQ(box.Buttons, TMsgButtons::Ok);
  }
}

TEST_F(HelpersTest, FormatDriveSaysTheDriveCannotBeFormatted) {
  EXPECT_FALSE(FormatDrive(App, 0));
  EXPECT_EQ(OnlyMessage().Text, "Drive is not formatable.");
  EXPECT_EQ(OnlyMessage().Icon, TMsgIcon::Warning);
}

// ---------------------------------------------------------------- folders

TEST_F(HelpersTest, EnsureFolderEntersAnExistingFolderWithoutAsking) {
  test::MakeFolders(Path("there"));
  EXPECT_TRUE(EnsureFolder(App, Path("there"), true));
  EXPECT_EQ(Fake.Files.CurrentFolder() + "/", Fake.Files.RealPath(Path("there")) + "/");
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(HelpersTest, EnsureFolderOffersToCreateAMissingFolder) {
  const std::string folder = Path("new one");
  EXPECT_TRUE(EnsureFolder(App, folder, true));
  EXPECT_EQ(OnlyMessage().Text,
            "Folder does not exist!\r\rDo you want to create the folder, " + folder + "?");
  EXPECT_EQ(OnlyMessage().DefaultButton, TMsgResult::Yes);
  EXPECT_TRUE(Fake.Files.Stat(folder)->IsDirectory);
}

TEST_F(HelpersTest, EnsureFolderAnsweredNoFocusesTheEditAndCreatesNothing) {
  test::TFocusCounter focus;
  Host.MessageAnswers.push_back(TMsgResult::No);
  EXPECT_FALSE(EnsureFolder(App, Path("declined"), true, &focus));
  EXPECT_EQ(focus.Count, 1);
  EXPECT_FALSE(test::FileExists(Path("declined")));
}

TEST_F(HelpersTest, EnsureFolderCreatesOneFolderOnlyNotItsParents) {
  const std::string folder = Path("missing/child");
  EXPECT_FALSE(EnsureFolder(App, folder, true));
  ASSERT_EQ(Host.Messages.size(), 2u);
  EXPECT_EQ(Host.Messages[1].Text,
            "Unable to create folder " + folder + "!\r\r" + std::strerror(ENOENT));
  EXPECT_EQ(Host.Messages[1].Icon, TMsgIcon::Warning);
}

TEST_F(HelpersTest, EnsureFolderWithoutTheOfferWarnsWithTheSystemText) {
  test::TFocusCounter focus;
  EXPECT_FALSE(EnsureFolder(App, Path("absent"), false, &focus));
  EXPECT_EQ(OnlyMessage().Text, std::string(std::strerror(ENOENT)) + "!");
  EXPECT_EQ(focus.Count, 1);
  test::WriteFileText(Path("plain"), "");
  Host.Messages.clear();
  EXPECT_FALSE(EnsureFolder(App, Path("plain"), true));
  EXPECT_EQ(OnlyMessage().Text, std::string(std::strerror(ENOTDIR)) + "!") << "no offer";
}

// ---------------------------------------------------------------- trash

TEST_F(HelpersTest, DeleteToRecycleBinWithNoExistingFileAsksNothing) {
  int error = 0;
  test::MakeFolders(Path("a folder"));
  EXPECT_FALSE(DeleteToRecycleBin(App, {Path("none.zip"), Path("a folder")}, true, &error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_TRUE(Fake.Shell.TrashCalls.empty());
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(HelpersTest, DeleteToRecycleBinPassesOnlyExistingFiles) {
  test::WriteFileText(Path("a.zip"), "a");
  test::WriteFileText(Path("b.zip"), "b");
  EXPECT_TRUE(DeleteToRecycleBin(App, {Path("a.zip"), Path("gone.zip"), Path("b.zip")}, false));
  EXPECT_EQ(Fake.Shell.Trashed, (std::vector<std::string>{Path("a.zip"), Path("b.zip")}));
  EXPECT_FALSE(test::FileExists(Path("a.zip")));
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(HelpersTest, DeleteToRecycleBinConfirmsFirstAndNoKeepsTheFile) {
  test::WriteFileText(Path("keep.zip"), "k");
  Host.MessageAnswers.push_back(TMsgResult::No);
  int error = 0;
  EXPECT_FALSE(DeleteToRecycleBin(App, {Path("keep.zip")}, true, &error));
  EXPECT_EQ(error, ECANCELED);
  EXPECT_EQ(OnlyMessage().Text, "Are you sure you want to move \"keep.zip\" to the trash?");
  EXPECT_EQ(OnlyMessage().Icon, TMsgIcon::Question);
  EXPECT_TRUE(test::FileExists(Path("keep.zip")));
  EXPECT_TRUE(Fake.Shell.TrashCalls.empty());
}

TEST_F(HelpersTest, DeleteToRecycleBinReportsTheTrashFailure) {
  test::WriteFileText(Path("x.zip"), "x");
  Fake.Shell.FailTrash = EXDEV;
  int error = 0;
  EXPECT_FALSE(DeleteToRecycleBin(App, {Path("x.zip")}, false, &error));
  EXPECT_EQ(error, EXDEV);
  EXPECT_TRUE(test::FileExists(Path("x.zip")));
}

TEST_F(HelpersTest, DeleteToRecycleBinFillsTheDesktopTrash) {
  const std::string root = Fake.Files.RealPath(Fake.Root()) + "/";
  test::TScopedEnv data("XDG_DATA_HOME", root + "home-data");
  TPosixEnvironment environment;
  TPosixProcesses processes{environment};
  TPosixShell shell{environment, processes};
  const TPlatform platform{Fake.Files,  Fake.Drives,   Fake.Clock, Fake.Random, Host,
                           environment, Fake.Settings, processes,  shell,       Fake.Mail};
  const TAppContext app{platform, Globals};
  test::WriteFileText(root + "old archive.zip", "PK");
  Host.MessageAnswers.push_back(TMsgResult::Yes);
  ASSERT_TRUE(DeleteToRecycleBin(app, {root + "old archive.zip"}, true));
  EXPECT_FALSE(test::FileExists(root + "old archive.zip"));
  EXPECT_EQ(test::ReadFileText(root + "home-data/Trash/files/old archive.zip"), "PK");
  const std::string info =
      test::ReadFileText(root + "home-data/Trash/info/old archive.zip.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + root + "old%20archive.zip\nDeletionDate=", 0), 0u)
      << info;
  EXPECT_EQ(OnlyMessage().Text, "Are you sure you want to move \"old archive.zip\" to the trash?");
}

// ---------------------------------------------------------------- spelling

TEST_F(HelpersTest, TrueCasePathFindsTheSpellingOnDisk) {
  test::MakeFolders(Path("Data/SubFolder"));
  test::WriteFileText(Path("Data/SubFolder/Report.TXT"), "");
  const std::string real = Fake.Files.RealPath(Path("Data/SubFolder/Report.TXT"));
  const std::string root = Fake.Files.RealPath(Fake.Root());
  EXPECT_EQ(TrueCasePath(App, root + "/data/subfolder/report.txt"), real);
  EXPECT_EQ(TrueCasePath(App, root + "/DATA/SubFolder/REPORT.txt/"), real);
  EXPECT_EQ(TrueCasePath(App, real), real);
  ASSERT_TRUE(Fake.Files.SetCurrentFolder(root + "/Data"));
  EXPECT_EQ(TrueCasePath(App, "subfolder/../SUBFOLDER/report.txt"), real);
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(HelpersTest, TrueCasePathPrefersTheExactSpelling) {
  test::WriteFileText(Path("Name.txt"), "");
  test::WriteFileText(Path("name.TXT"), "");
  const std::string root = Fake.Files.RealPath(Fake.Root());
  EXPECT_EQ(TrueCasePath(App, root + "/name.txt"), root + "/Name.txt") << "first in name order";
  EXPECT_EQ(TrueCasePath(App, root + "/name.TXT"), root + "/name.TXT");
}

TEST_F(HelpersTest, TrueCasePathOfSomethingMissingWarnsAndGivesNothing) {
  EXPECT_EQ(TrueCasePath(App, Path("nowhere/file.zip")), "");
  EXPECT_EQ(OnlyMessage().Text, std::strerror(ENOENT));
  EXPECT_EQ(OnlyMessage().Icon, TMsgIcon::Warning);
}

// ---------------------------------------------------------------- running

TEST_F(HelpersTest, RunAndWaitRunsInTheProgramsFolderWithSplitParameters) {
  EXPECT_TRUE(RunAndWait(App, "/opt/scan/bin/scanner", "-r --log \"/my logs/x\" \"/a b.zip\"",
                         TShowState::Minimized));
  ASSERT_EQ(Fake.Processes.Started.size(), 1u);
  const auto& started = Fake.Processes.Started[0];
  EXPECT_TRUE(started.Waited);
  EXPECT_EQ(started.Command.Program, "/opt/scan/bin/scanner");
  EXPECT_EQ(started.Command.Arguments,
            (std::vector<std::string>{"-r", "--log", "/my logs/x", "/a b.zip"}));
  EXPECT_EQ(started.Command.WorkingFolder, "/opt/scan/bin/");
  EXPECT_EQ(started.Command.Show, TShowState::Minimized);
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(HelpersTest, RunAndWaitThatCannotStartWarnsWithTheSystemText) {
  Fake.Processes.FailStart = EACCES;
  EXPECT_FALSE(RunAndWait(App, "/opt/scan", "", TShowState::Normal));
  EXPECT_EQ(OnlyMessage().Text, std::strerror(EACCES));
}

struct TSplitCase {
  std::string Text;
  std::vector<std::string> Expected;
  friend void PrintTo(const TSplitCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.Text);
  }
};

class SplitCommandLineTest : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(SplitCommandLineTest, SplitsAtBlanksOutsideQuotes) {
  EXPECT_EQ(SplitCommandLine(GetParam().Text), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, SplitCommandLineTest,
                         ::testing::Values(TSplitCase{"", {}}, TSplitCase{"   ", {}},
                                           TSplitCase{"a", {"a"}},
                                           TSplitCase{" a  b\tc ", {"a", "b", "c"}},
                                           TSplitCase{"\"a b\" c", {"a b", "c"}},
                                           TSplitCase{"\"\"", {""}},
                                           TSplitCase{"x\"y z\"w", {"xy zw"}},
                                           TSplitCase{"'it \"is\"' done", {"it \"is\"", "done"}},
                                           TSplitCase{"\"unclosed arg", {"unclosed arg"}}));

// ---------------------------------------------------------------- formatting

struct TCaseCase {
  std::string Text;
  std::string Expected;
  friend void PrintTo(const TCaseCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.Text);
  }
};

class ProperCaseTest : public ::testing::TestWithParam<TCaseCase> {};

TEST_P(ProperCaseTest, CapitalisesEachWordAfterABlank) {
  EXPECT_EQ(ProperCase(GetParam().Text), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, ProperCaseTest,
                         ::testing::Values(TCaseCase{"READ ME.TXT", "Read Me.txt"},
                                           TCaseCase{"", ""}, TCaseCase{"a", "A"},
                                           TCaseCase{"  two  BLANKS", "  Two  Blanks"},
                                           TCaseCase{"docs/READ-ME first", "Docs/read-me First"},
                                           TCaseCase{"ÉCOLE élève", "École Élève"},
                                           TCaseCase{"über STRASSE straße", "Über Strasse Straße"},
                                           TCaseCase{"ŁÓDŹ ÿes", "Łódź Ÿes"},
                                           TCaseCase{"ΣΟΦΊΑ жук", "Σοφία Жук"},
                                           TCaseCase{"x\xFFY z\xC3", "X\xFFy Z\xC3"}));

}  // namespace
}  // namespace vz
