// The archive commands end to end: New from a folder tree, Unzip, Add Files
// into a folder, Remove Files, Password, Refresh, Self-extracting, Repair
// (also as Open's offer), the free-space check and Test Zipfile, each on
// real archives with every dialog and prompt answered by script.
#include <sys/stat.h>

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>

#include "app/core/CFI.h"
#include "app/dialogs/frmPassword.h"
#include "engine/support/Crc32.h"
#include "tests/app/dialogs/DialogFixture.h"
#include "tests/app/window/CommandsFixture.h"

namespace vz::test {
namespace {

// Documents/a.txt, Documents/sub/b.bin, Documents/sub/deeper/c.txt and the
// empty folder Documents/empty.
class CommandsTest : public CommandsFixture {
 protected:
  void MakeDocuments() {
    Docs = Home + "/Documents/";
    MakeFolders(Docs + "sub/deeper");
    MakeFolders(Docs + "empty");
    WriteFileText(Docs + "a.txt", std::string(5000, 'a'));
    WriteFileBytes(Docs + "sub/b.bin", RandomBytes(70000, 3));
    WriteFileBytes(Docs + "sub/deeper/c.txt", TextBytes(40000, 4));
  }
  // New's dialog: Documents as the source, `name` in Out.
  TScript NewDialog(const std::string& name, bool sfx = false) {
    return [this, name, sfx](QDialog& dialog) {
      Show(dialog);
      auto* tree = Child<TShellTree>(dialog, "stFolders");
      EXPECT_TRUE(Settled(*tree));
      tree->setCurrentIndex(DialogFixture::ChildCaptioned(tree->Model(), tree->Model().RootIndex(),
                                                          QStringLiteral("Documents")));
      Child<TPathEdit>(dialog, "edtPath")->SetPath(Out);
      Type(dialog, "edtFileName", name);
      Child<QCheckBox>(dialog, "chkCreateSFX")->setChecked(sfx);
      Click(dialog, "butZip");
      return Result(dialog);
    };
  }
  void MakeNewArchive(const std::string& name) {
    MakeDocuments();
    Scripts["frmZipOptions"].push_back(NewDialog(name));
    Trigger("mnuNew");
  }
  // An archive of stored members holding their names as data.
  std::string Archive(const std::string& name, const std::vector<std::string>& members) {
    std::vector<TBuildMember> built;
    for (const auto& member : members) built.push_back(Stored(member, "data of " + member));
    return WriteArchive(name, built);
  }

  std::string Docs;
};

// ---------------------------------------------------------------- New

TEST_F(CommandsTest, NewArchiveFromAFolderTreeIsAcceptedByInfoZipAndOpens) {
  TfrmMain& window = MakeCommandWindow();
  MakeNewArchive("made");
  const std::string archive = Out + "made.zip";
  ASSERT_TRUE(FileExists(archive));
  EXPECT_EQ(InfoZipTest(archive), 0);
  std::vector<std::string> names = Names(archive);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "empty/", "sub/b.bin", "sub/deeper/c.txt"}));
  EXPECT_EQ(Content(archive, "sub/b.bin"), std::string(ReadFileText(Docs + "sub/b.bin")));
  // Opened, reported, and remembered for refreshing.
  EXPECT_EQ(window.ZipEngine.ZipName(), archive);
  EXPECT_EQ(window.Tree()->MemberCount(), 4);
  EXPECT_EQ(Reports, 1);
  EXPECT_EQ(ReportAction, "Zipped");
  EXPECT_EQ(Report["Compressed Files"], "4");
  EXPECT_EQ(Report["Files Not Found"], "0");
  EXPECT_TRUE(CFI.Find(archive));
  EXPECT_EQ(CFI.SourcePath, Docs);
  EXPECT_TRUE(window.Action(QStringLiteral("mnuRefreshZipfile"))->isEnabled());
  EXPECT_EQ(Status(), "Done");
  EXPECT_EQ(Host.BusyDepth, 0);
  EXPECT_TRUE(Host.Messages.size() == 1 && Host.Messages[0].Text.find("Folder does not exist") == 0)
      << "only the question whether to make the destination";
}

// With "Create self-extracting file" the new archive becomes a program: the
// .zip goes to the trash without a question and its record moves along.
TEST_F(CommandsTest, NewWithASelfExtractingCopyKeepsTheProgramOnly) {
  TfrmMain& window = MakeCommandWindow();
  WriteFileBytes(Globals.AppDir + "vnsfx32", ReadFileBytes(VZ_SFX_STUB));
  MakeDocuments();
  Scripts["frmZipOptions"].push_back(NewDialog("both", true));
  Trigger("mnuNew");
  const std::string program = Out + "both.exe";
  ASSERT_TRUE(FileExists(program));
  EXPECT_FALSE(FileExists(Out + "both.zip"));
  EXPECT_EQ(Fake.Shell.Trashed, std::vector<std::string>{Out + "both.zip"});
  EXPECT_EQ(window.ZipEngine.ZipName(), program);
  EXPECT_EQ(window.Tree()->MemberCount(), 4);
  EXPECT_FALSE(window.Action(QStringLiteral("mnuAddFiles"))->isEnabled());
  EXPECT_TRUE(CFI.Find(program));
  EXPECT_FALSE(CFI.Find(Out + "both.zip"));
  EXPECT_EQ(InfoZipTest(program), 0);
  EXPECT_EQ(Report["Compressed Files"], "4");
}

// ---------------------------------------------------------------- Unzip

TEST_F(CommandsTest, UnzipWritesEveryMemberByteForByteAndReports) {
  TfrmMain& window = MakeCommandWindow();
  MakeNewArchive("made");
  Scripts["frmUnzipOptions"].push_back([this](QDialog& dialog) {
    Show(dialog);
    EXPECT_TRUE(Child<QRadioButton>(dialog, "radStoredPaths")->isChecked());
    Child<TPathEdit>(dialog, "edtPath")->SetPath(Fake.Root() + "restored");
    Click(dialog, "butUnzip");
    return Result(dialog);
  });
  Trigger("mnuUnzip");
  const std::string restored = Fake.Root() + "restored/";
  for (const char* name : {"a.txt", "sub/b.bin", "sub/deeper/c.txt"}) {
    EXPECT_EQ(ReadFileBytes(restored + name), ReadFileBytes(Docs + name)) << name;
  }
  EXPECT_EQ(Reports, 2);
  EXPECT_EQ(ReportAction, "Unzipped");
  EXPECT_EQ(Report["Extracted Files"], "4");  // the folder entry too
  EXPECT_EQ(Report["Bad CRC"], "0");
  EXPECT_TRUE(ReportProblems.empty());
  EXPECT_EQ(window.findChild<QProgressBar*>(QStringLiteral("ProgressBar"))->value(), 0);
  EXPECT_EQ(Status(), "Done");
  EXPECT_EQ(Host.BusyDepth, 0);
}

struct TSpaceCase {
  const char* Name;
  i64 Spare;  // free bytes beyond those required
  TDriveType Type;
  bool Refused;
};

class FreeSpaceTest : public CommandsTest, public ::testing::WithParamInterface<TSpaceCase> {};

// Free space must exceed what the members need; a network drive is not
// asked. Selected members count alone.
TEST_P(FreeSpaceTest, RefusesUnlessThereIsMoreThanRequired) {
  const TSpaceCase& c = GetParam();
  TfrmMain& window = MakeCommandWindow();
  TFakeDrive& drive = Fake.AddDrive("target", c.Type);
  const std::string archive = WriteArchive(
      "big.zip",
      {Stored("one.bin", std::string(3000, '1')), Stored("two.bin", std::string(1500000, '2'))});
  OpenArchive(archive);
  SelectRows({"one.bin"});
  drive.FreeBytes = 3000 + c.Spare;
  UnzipTo(drive.MountPoint);
  Trigger("popUnzipSelected");
  EXPECT_EQ(FileExists(drive.MountPoint + "one.bin"), !c.Refused);
  EXPECT_FALSE(FileExists(drive.MountPoint + "two.bin"));
  if (c.Refused) {
    ASSERT_EQ(Host.Messages.size(), 1u);
    EXPECT_EQ(Host.Messages[0].Text,
              "Not enough disk free space!\r\rRequired space:\t3KB\rDisk free space:\t3KB\r\r"
              "Free up atleast " +
                  std::to_string(-c.Spare) + " of disk space and try again.");
    EXPECT_EQ(Host.Messages[0].Icon, TMsgIcon::Warning);
    EXPECT_EQ(Reports, 0);
  } else {
    EXPECT_EQ(Reports, 1);
  }
  EXPECT_EQ(Status(), "Done");
  EXPECT_TRUE(window.Action(QStringLiteral("mnuUnzip"))->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Drives, FreeSpaceTest,
                         ::testing::Values(TSpaceCase{"ExactlyEnough", 0, TDriveType::Fixed, true},
                                           TSpaceCase{"OneByteShort", -1, TDriveType::Fixed, true},
                                           TSpaceCase{"OneByteMore", 1, TDriveType::Fixed, false},
                                           TSpaceCase{"NetworkDrive", -2000, TDriveType::Remote,
                                                      false}),
                         [](const auto& test) { return std::string(test.param.Name); });

// ---------------------------------------------------------------- Add Files

TEST_F(CommandsTest, AddFilesGoIntoTheSelectedFolderReplacingOnlyTheAgreedSameName) {
  TfrmMain& window = MakeCommandWindow();
  const std::string archive =
      Archive("add.zip", {"docs/a.txt", "docs/keep.txt", "top.txt", "docs/sub/x.txt"});
  OpenArchive(archive);
  SelectFolder("docs");
  const std::string src = Fake.Root() + "src/";
  MakeFolders(src);
  WriteFileText(src + "a.txt", "new a");
  WriteFileText(src + "keep.txt", "new keep");
  WriteFileText(src + "A.txt", "capital A");
  WriteFileText(src + "fresh.txt", "fresh");
  window.AddFilesDialog = [&](const std::string&) {
    return std::vector<std::string>{src + "a.txt", src + "keep.txt", src + "A.txt",
                                    src + "fresh.txt"};
  };
  Host.MessageAnswers = {TMsgResult::Yes, TMsgResult::No};
  Trigger("mnuAddFiles");
  // Asked about a.txt and keep.txt only: A.txt is another name.
  ASSERT_EQ(MessageTexts(), (std::vector<std::string>{
                                "File already exist!\r\rDo you want to overwrite, a.txt?",
                                "File already exist!\r\rDo you want to overwrite, keep.txt?"}));
  EXPECT_EQ(Names(archive),
            (std::vector<std::string>{"docs/a.txt", "docs/keep.txt", "top.txt", "docs/sub/x.txt",
                                      "docs/A.txt", "docs/fresh.txt"}));
  EXPECT_EQ(Content(archive, "docs/a.txt"), "new a");
  EXPECT_EQ(Content(archive, "docs/keep.txt"), "data of docs/keep.txt");
  EXPECT_EQ(Content(archive, "docs/A.txt"), "capital A");
  EXPECT_EQ(InfoZipTest(archive), 0);
  EXPECT_EQ(Report["Compressed Files"], "3");
  // The view shows the folder it showed, with the new rows.
  EXPECT_EQ(window.Tree()->Node(window.SelectedNode()).Caption, "docs");
  EXPECT_EQ(window.FileListModel().rowCount(), 5);  // sub, A.txt, a.txt, fresh.txt, keep.txt
  EXPECT_EQ(Status(), "Done");
}

// The archive's root takes bare names; a drop of files adds the same way.
TEST_F(CommandsTest, AddFilesIntoTheRootStoreBareNames) {
  TfrmMain& window = MakeCommandWindow();
  const std::string archive = Archive("root.zip", {"docs/a.txt", "top.txt"});
  OpenArchive(archive);
  SelectFolder("Destination Folder");
  const std::string src = Fake.Root() + "src/deep/";
  MakeFolders(src);
  WriteFileText(src + "top.txt", "new top");
  WriteFileText(src + "new.txt", "new");
  window.AddFiles({src + "top.txt", src + "new.txt"});
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"File already exist!\r\rDo you want to overwrite, top.txt?"});
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"docs/a.txt", "top.txt", "new.txt"}));
  EXPECT_EQ(Content(archive, "top.txt"), "new top");
  EXPECT_EQ(window.Tree()->Node(window.SelectedNode()).Caption, "Destination Folder");
}

// Files and folders dropped from a file manager on a window with an archive
// open are added as Add Files adds them; a folder keeps its tree.
TEST_F(CommandsTest, FilesDroppedOnAnOpenArchiveGoIntoTheSelectedFolder) {
  TfrmMain& window = MakeCommandWindow();
  const std::string archive = Archive("drop.zip", {"docs/a.txt", "top.txt"});
  OpenArchive(archive);
  SelectFolder("docs");
  const std::string src = Fake.Root() + "dropped/";
  MakeFolders(src);
  WriteFileText(src + "a.txt", "replaced");
  WriteFileText(src + "b.txt", "new");
  window.DropFiles({src + "a.txt", src + "b.txt"});
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"File already exist!\r\rDo you want to overwrite, a.txt?"});
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"docs/a.txt", "top.txt", "docs/b.txt"}));
  EXPECT_EQ(Content(archive, "docs/a.txt"), "replaced");

  MakeFolders(src + "tree/deep");
  WriteFileText(src + "tree/deep/c.txt", "deep");
  WriteFileText(src + "loose.txt", "loose");
  window.DropFiles({src + "tree", src + "loose.txt"});
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"docs/a.txt", "top.txt", "docs/b.txt",
                                                      "docs/loose.txt", "docs/tree/deep/c.txt"}));
  EXPECT_EQ(Content(archive, "docs/tree/deep/c.txt"), "deep");
  // Dropped again: the folder of the archive holds it now, and No keeps it.
  WriteFileText(src + "tree/deep/c.txt", "changed");
  Host.MessageAnswers = {TMsgResult::No};
  window.DropFiles({src + "tree"});
  EXPECT_EQ(MessageTexts().back(), "File already exist!\r\rDo you want to overwrite, tree?");
  EXPECT_EQ(Content(archive, "docs/tree/deep/c.txt"), "deep");
}

TEST_F(CommandsTest, AddFilesRefusesTheComputerRoot) {
  TfrmMain& window = MakeCommandWindow();
  TBuildMember drive = Stored("C:\\data\\a.txt", "a", 0x0B14);
  OpenArchive(WriteArchive("drive.zip", {drive}));
  SelectFolder("Computer");
  bool asked = false;
  window.AddFilesDialog = [&](const std::string&) {
    asked = true;
    return std::vector<std::string>{};
  };
  Trigger("mnuAddFiles");
  EXPECT_FALSE(asked);
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{
                "'Computer' is not part of the file system!\r\rSelect another folder."});
}

// ---------------------------------------------------------------- Remove Files

TEST_F(CommandsTest, RemoveWithAFolderRowSelectedRemovesTheFilesAndCountsTheFolderRow) {
  TfrmMain& window = MakeCommandWindow();
  const std::string archive = Archive("rm.zip", {"docs/a.txt", "b.txt", "c.txt"});
  OpenArchive(archive);
  SelectRows({"docs", "b.txt"});
  Trigger("mnuRemoveFiles");
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{"Are you sure you want to remove these 2 files?",
                                      "1 file(s) could not be removed!"}));
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"docs/a.txt", "c.txt"}));
  EXPECT_EQ(window.FileListModel().rowCount(), 2);  // docs, c.txt
  EXPECT_EQ(Status(), "Done");

  Host.Messages.clear();
  Host.MessageAnswers = {TMsgResult::No};
  SelectRows({"c.txt"});
  Trigger("popRemoveFiles");
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Are you sure you want to remove c.txt?"});
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"docs/a.txt", "c.txt"}));
}

// ---------------------------------------------------------------- Password

TEST_F(CommandsTest, PasswordOnThreeMembersAsksTheOldPasswordOnceAndRewritesOnce) {
  TfrmMain& window = MakeCommandWindow();
  const std::string src = Fake.Root() + "src/";
  MakeFolders(src + "in");
  WriteFileText(src + "one.txt", std::string(20000, '1'));
  WriteFileText(src + "in/two.txt", "two");
  WriteFileBytes(src + "three.bin", RandomBytes(30000, 7));
  WriteFileText(src + "plain.txt", "not chosen");
  const std::string archive = Fake.Root() + "pw.zip";
  ASSERT_EQ(RunCommand("cd " + ShellQuote(src) + " && /usr/bin/zip -q -P old " +
                       ShellQuote(archive) + " one.txt in/two.txt three.bin && /usr/bin/zip -q " +
                       ShellQuote(archive) + " plain.txt")
                .ExitCode,
            0);
  OpenArchive(archive);
  SelectRows({"one.txt", "three.bin", "in"});
  Scripts["frmPasswordOptions"].push_back([](QDialog& dialog) {
    EXPECT_TRUE(Child<QRadioButton>(dialog, "radSelected")->isChecked());
    Child<QRadioButton>(dialog, "radDoAll")->setChecked(true);
    Type(dialog, "edtPassword", "new");
    Type(dialog, "edtConfirmPassword", "new");
    Click(dialog, "butEncrypt");
    return Result(dialog);
  });
  std::vector<QString> asked;
  Scripts["frmPassword"].push_back([&](QDialog& dialog) {
    asked.push_back(Child<QLabel>(dialog, "lblFileName")->text());
    Type(dialog, "edtPassword", "  old ");
    Click(dialog, "butOK");
    return Result(dialog);
  });
  Fake.Files.Renamed.clear();
  Trigger("mnuPassword");
  // Asked for the first member only: the password typed for it opened the
  // other two.
  EXPECT_EQ(asked, std::vector<QString>{QStringLiteral("one.txt")});
  EXPECT_EQ(Fake.Files.Renamed.size(), 1u) << "one rewrite of the archive";
  EXPECT_EQ(Names(archive),
            (std::vector<std::string>{"one.txt", "in/two.txt", "three.bin", "plain.txt"}));
  EXPECT_EQ(InfoZipTest(archive, "new"), 0);
  EXPECT_EQ(Content(archive, "one.txt", "new"), std::string(20000, '1'));
  EXPECT_EQ(Content(archive, "in/two.txt", "old"), "<failed>");
  EXPECT_EQ(Content(archive, "plain.txt", "new"), "not chosen");
  EXPECT_EQ(OpInfo.Processed, 4);
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_TRUE(TempFilesLeft().empty());
  EXPECT_EQ(window.Tree()->MemberCount(), 4);
  EXPECT_EQ(Status(), "Done");
}

TEST_F(CommandsTest, PasswordSaysHowManyMembersKeptTheirOldPassword) {
  MakeCommandWindow();
  TBuildMember secret = Stored("secret.txt", std::string(30, 's'));
  secret.Flags = 1;
  const std::string archive = WriteArchive("skip.zip", {secret, Stored("open.txt", "open")});
  const auto before = ReadFileBytes(archive);
  OpenArchive(archive);
  NewPassword("new");
  Scripts["frmPassword"].push_back([](QDialog& dialog) {
    Click(dialog, "butSkipAll");
    return Result(dialog);
  });
  Trigger("mnuPassword");
  // open.txt got the new password; secret.txt could not be read and stays.
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"1 file(s) could not be given the new password!"});
  EXPECT_EQ(Content(archive, "open.txt", "new"), "open");
  EXPECT_NE(ReadFileBytes(archive), before);
  EXPECT_TRUE(TempFilesLeft().empty());
}

// A member whose name would come back as another one (an absolute path)
// keeps its old password rather than gain a twin.
TEST_F(CommandsTest, PasswordLeavesMembersWhoseNamesCannotComeBack) {
  MakeCommandWindow();
  const std::string archive = Archive("abs.zip", {"/abs/x.txt", "ok.txt"});
  OpenArchive(archive);
  NewPassword("new");
  Trigger("mnuPassword");
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"/abs/x.txt", "ok.txt"}));
  EXPECT_EQ(Content(archive, "ok.txt", "new"), "data of ok.txt");
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"1 file(s) could not be given the new password!"});
}

// ---------------------------------------------------------------- Refresh

TEST_F(CommandsTest, RefreshTakesTheChangedSourceFile) {
  MakeCommandWindow();
  MakeNewArchive("fresh");
  const std::string archive = Out + "fresh.zip";
  WriteFileText(Docs + "a.txt", "changed since");
  const auto info = Fake.Files.Stat(Docs + "a.txt");
  ASSERT_TRUE(Fake.Files.SetLastWriteTime(Docs + "a.txt", info->LastWrite + std::chrono::hours(1)));
  Scripts["frmRefreshOptions"].push_back([this](QDialog& dialog) {
    Show(dialog);
    EXPECT_EQ(Child<TPathEdit>(dialog, "edtPath")->Path(), Docs);
    Click(dialog, "butRefresh");
    return Result(dialog);
  });
  Trigger("mnuRefreshZipfile");
  EXPECT_EQ(Content(archive, "a.txt"), "changed since");
  EXPECT_EQ(Content(archive, "sub/b.bin"), ReadFileText(Docs + "sub/b.bin"));
  EXPECT_EQ(Reports, 2);
  EXPECT_EQ(Report["Compressed Files"], "1");
  EXPECT_EQ(InfoZipTest(archive), 0);
}

// ---------------------------------------------------------------- Self-extracting

TEST_F(CommandsTest, SelfExtractingCopyRunsAndBecomesTheOpenArchive) {
  TfrmMain& window = MakeCommandWindow();
  WriteFileBytes(Globals.AppDir + "vnsfx32", ReadFileBytes(VZ_SFX_STUB));
  const std::string archive = Archive("self.zip", {"docs/a.txt", "b.txt"});
  OpenArchive(archive);
  Trigger("mnuSFX");  // the question about the trash: No, its default
  const std::string program = Fake.Root() + "self.exe";
  ASSERT_TRUE(FileExists(program));
  EXPECT_TRUE(FileExists(archive));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"self.exe successfully created.\r\rDo you "
                                                     "want to move self.zip to the Trash?"});
  EXPECT_EQ(window.ZipEngine.ZipName(), program);
  EXPECT_FALSE(window.Action(QStringLiteral("mnuAddFiles"))->isEnabled());
  // It stays a program that cannot be changed after the next command.
  Trigger("mnuTestZipfile");
  EXPECT_EQ(Report["Passed Files"], "2");
  EXPECT_FALSE(window.Action(QStringLiteral("mnuAddFiles"))->isEnabled());
  EXPECT_FALSE(window.Action(QStringLiteral("mnuPassword"))->isEnabled());
  EXPECT_NE(FileMode(program) & 0100, 0u);
  const std::string run = Fake.Root() + "run";
  MakeFolders(run);
  const TCommandResult result =
      RunCommand("cd " + ShellQuote(run) + " && printf '\\n' | " + ShellQuote(program));
  EXPECT_EQ(result.ExitCode, 0) << result.Output;
  EXPECT_EQ(ReadFileText(run + "/docs/a.txt"), "data of docs/a.txt");
  EXPECT_EQ(ReadFileText(run + "/b.txt"), "data of b.txt");

  // Asked again over the program, No leaves both as they are.
  OpenArchive(archive);
  const auto before = ReadFileBytes(program);
  Host.Messages.clear();
  Trigger("mnuSFX");
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"File already exist!\r\rDo you want to overwrite self.exe?"});
  EXPECT_EQ(ReadFileBytes(program), before);
  EXPECT_EQ(window.ZipEngine.ZipName(), archive);
}

TEST_F(CommandsTest, SelfExtractingWithoutTheStubWarnsAndWritesNothing) {
  MakeCommandWindow();
  const std::string archive = Archive("nostub.zip", {"a.txt"});
  OpenArchive(archive);
  Trigger("mnuSFX");
  EXPECT_FALSE(FileExists(Fake.Root() + "nostub.exe"));
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_NE(Host.Messages[0].Text.find("vnsfx32"), std::string::npos) << Host.Messages[0].Text;
  EXPECT_EQ(Status(), "Done");
}

// ---------------------------------------------------------------- Repair

std::vector<u8> CutArchive(const std::vector<TBuildMember>& members) {
  auto bytes = TZipBuilder::Archive(members);
  bytes.resize(bytes.size() - 40);  // into the central directory
  return bytes;
}

TEST_F(CommandsTest, RepairOfACutArchiveWritesTheFixedCopyAndOpensIt) {
  TfrmMain& window = MakeCommandWindow();
  const std::string cut =
      WriteFile("cut.zip", CutArchive({Stored("docs/a.txt", "aaa"), Stored("b.txt", "bbb"),
                                       Stored("readme.txt", "read me")}));
  Host.FileDialogAnswers = {cut};
  Trigger("mnuRepair");
  const std::string fixed = Fake.Root() + "cut_Fixed.zip";
  ASSERT_TRUE(FileExists(fixed));
  EXPECT_EQ(InfoZipTest(fixed), 0);
  EXPECT_EQ(Names(fixed), (std::vector<std::string>{"docs/a.txt", "b.txt", "readme.txt"}));
  EXPECT_EQ(window.ZipEngine.ZipName(), fixed);
  EXPECT_EQ(window.Tree()->MemberCount(), 3);
  EXPECT_EQ(window.findChild<QPlainTextEdit*>(QStringLiteral("redTextViewer"))->toPlainText(),
            "read me");
  EXPECT_EQ(OpInfo.Processed, 3);
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(CommandsTest, OpenOffersRepairAndATotalFailureLeavesNoFixedFile) {
  TfrmMain& window = MakeCommandWindow();
  const std::string junk = WriteFile("junk.zip", std::vector<u8>(600, 'j'));
  OpenArchive(junk);  // Yes, the default, to the offer
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{
                "Cannot open junk.zip!\r\rWould you like to try to repair this file?",
                "junk.zip could not be repaired!\r\rAcquire a new copy of this zipfile.  If the "
                "new copy is also damaged,\rcontact the zipfile's author."}));
  EXPECT_FALSE(FileExists(Fake.Root() + "junk_Fixed.zip"));
  EXPECT_EQ(window.Tree(), nullptr);
  EXPECT_FALSE(window.Action(QStringLiteral("mnuUnzip"))->isEnabled());
}

TEST_F(CommandsTest, AnArchiveThatSaysItIsEmptyOpensEmpty) {
  TfrmMain& window = MakeCommandWindow();
  OpenArchive(WriteArchive("empty.zip", {}));
  if (window.Tree() == nullptr) GTEST_SKIP() << "the reader does not take an empty archive yet";
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_EQ(window.Tree()->MemberCount(), 0);
  EXPECT_TRUE(window.Action(QStringLiteral("mnuAddFiles"))->isEnabled());
}

// ---------------------------------------------------------------- Test Zipfile

TEST_F(CommandsTest, TestZipfileListsEachFailedMemberAndWhy) {
  MakeCommandWindow();
  TBuildMember good = Stored("good.txt", "fine");
  TBuildMember crc = Stored("docs/crc.txt", "damaged");
  crc.Crc = 0x12345678;
  TBuildMember method = Stored("pp.bin", "xxxx");
  method.Method = 98;
  TBuildMember secret = Stored("secret.txt", std::string(40, 's'));
  secret.Flags = 1;
  const std::string archive = WriteArchive("test.zip", {good, crc, method, secret});
  // The local header of good.txt says 5 bytes where the directory says 4.
  std::vector<u8> bytes = ReadFileBytes(archive);
  bytes[22] = 5;
  WriteFileBytes(archive, bytes);
  OpenArchive(archive);
  Scripts["frmPassword"].push_back([](QDialog& dialog) {
    Click(dialog, "butSkip");
    return Result(dialog);
  });
  Trigger("mnuTestZipfile");
  EXPECT_EQ(ReadFileBytes(archive), bytes);
  EXPECT_EQ(ReportAction, "Passed");
  EXPECT_EQ(Report["Requested Files"], "4");
  EXPECT_EQ(Report["Passed Files"], "0");
  EXPECT_EQ(Report["Failed Files"], "4");
  EXPECT_EQ(ReportProblems,
            (std::vector<std::string>{
                "crc.txt|No|Calculated CRC does not match stored CRC!  The file may have been "
                "damaged or modified.",
                "good.txt|No|the local header gives uncompressed size 5, the directory 4",
                "pp.bin|No|compression method PPMd is not supported",
                "secret.txt|No|Bad password!  The entered password is incorrect."}));
  EXPECT_TRUE(Host.Messages.empty()) << Host.Messages[0].Text;

  // The selected members alone.
  SelectRows({"docs"});
  Trigger("mnuTestZipfile");
  EXPECT_EQ(Report["Requested Files"], "1");
  EXPECT_EQ(ReportProblems.size(), 1u);
}

}  // namespace
}  // namespace vz::test
