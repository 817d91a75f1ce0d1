// What happens while an operation runs: cancelling a long zip at seeded
// points (the archive stays byte for byte as it was), the next-disk prompt
// with its label check, the overwrite prompt's answers, and the password
// prompt's "Skip All".
#include <QProgressBar>

#include "app/OperationRunner.h"
#include "app/UiThread.h"
#include "tests/app/window/CommandsFixture.h"

namespace vz::test {
namespace {

// ---------------------------------------------------------------- cancel

enum class TSeedEvent { StartZip, Percent, EndZip, Escape };

struct TCancelCase {
  const char* Name;
  TSeedEvent Event;
  int After;  // the Nth event of its kind
};

class CancelTest : public CommandsFixture, public ::testing::WithParamInterface<TCancelCase> {
 protected:
  // Cancels on the user-interface thread, as the Cancel button or Esc do,
  // while the operation's thread waits in the event.
  void CancelNow(TSeedEvent event) {
    RunOnUiThread([this, event] {
      if (event == TSeedEvent::Escape) {
        QTest::keyClick(Window->findChild<TFileView*>(QStringLiteral("lvFiles")), Qt::Key_Escape);
      } else {
        Window->findChild<QAbstractButton*>(QStringLiteral("butCancelOperation"))->click();
      }
    });
    ++Cancels;
  }
  int Cancels = 0;
};

TEST_P(CancelTest, LeavesTheArchiveByteForByteAsItWas) {
  const TCancelCase& c = GetParam();
  TfrmMain& window = MakeCommandWindow();
  const std::string archive = WriteArchive(
      "long.zip", {Stored("docs/old.txt", std::string(9000, 'o')), Stored("top.txt", "top")});
  OpenArchive(archive);
  SelectFolder("docs");
  const auto before = ReadFileBytes(archive);
  const std::string src = Fake.Root() + "src/";
  MakeFolders(src);
  std::vector<std::string> files;
  for (int i = 0; i < 4; ++i) {
    files.push_back(src + "file" + std::to_string(i) + ".bin");
    WriteFileBytes(files.back(), RandomBytes(400000, static_cast<u32>(i)));
  }
  WriteFileText(src + "old.txt", "replaces docs/old.txt");
  files.push_back(src + "old.txt");
  window.AddFilesDialog = [&](const std::string&) { return files; };
  TZipEngine& engine = window.ZipEngine;
  int seen = 0;
  const auto count = [&](TSeedEvent event) {
    const bool seeded =
        event == c.Event || (c.Event == TSeedEvent::Escape && event == TSeedEvent::Percent);
    if (seeded && ++seen == c.After) CancelNow(c.Event);
  };
  auto start = engine.OnStartZip;
  engine.OnStartZip = [&, start](TZipEngine& sender, const std::string& name,
                                 TZipHeaderInfo& header, bool& skip) {
    start(sender, name, header, skip);
    count(TSeedEvent::StartZip);
  };
  auto percent = engine.OnTotalPercentDone;
  engine.OnTotalPercentDone = [&, percent](TUnZipEngine& sender, int value) {
    percent(sender, value);
    count(TSeedEvent::Percent);
  };
  auto end = engine.OnEndZip;
  engine.OnEndZip = [&, end](TZipEngine& sender, const std::string& name, u32 size, u32 packed,
                             i64 total) {
    end(sender, name, size, packed, total);
    count(TSeedEvent::EndZip);
  };
  Host.MessageAnswers = {TMsgResult::Yes};  // replace docs/old.txt
  Trigger("mnuAddFiles");
  ASSERT_EQ(Cancels, 1) << "the seeded event came " << seen << " times";
  EXPECT_EQ(ReadFileBytes(archive), before);
  EXPECT_TRUE(TempFilesLeft().empty());
  // Silent: the question about old.txt only, no warning, no report.
  EXPECT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Reports, 0);
  EXPECT_EQ(Status(), "Done");
  EXPECT_EQ(window.findChild<QProgressBar*>(QStringLiteral("ProgressBar"))->value(), 0);
  EXPECT_EQ(Host.BusyDepth, 0);
  EXPECT_FALSE(window.Runner().Busy());
  // The view still shows the archive, and the next command works.
  EXPECT_EQ(window.Tree()->MemberCount(), 2);
  Host.MessageAnswers = {TMsgResult::Yes};
  Trigger("mnuAddFiles");
  EXPECT_EQ(Names(archive).size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, CancelTest,
                         ::testing::Values(TCancelCase{"FirstStart", TSeedEvent::StartZip, 1},
                                           TCancelCase{"ThirdStart", TSeedEvent::StartZip, 3},
                                           TCancelCase{"LastStart", TSeedEvent::StartZip, 5},
                                           TCancelCase{"FirstPercent", TSeedEvent::Percent, 1},
                                           TCancelCase{"TenthPercent", TSeedEvent::Percent, 10},
                                           TCancelCase{"TwentyFifthPercent", TSeedEvent::Percent,
                                                       25},
                                           TCancelCase{"FirstEnd", TSeedEvent::EndZip, 1},
                                           TCancelCase{"ThirdEnd", TSeedEvent::EndZip, 3},
                                           TCancelCase{"EscapeKey", TSeedEvent::Escape, 7}),
                         [](const auto& test) { return std::string(test.param.Name); });

// ---------------------------------------------------------------- next disk

// A set of two disks: one.txt on the first; two.txt, the directory and the
// end record on the second.
std::vector<std::vector<u8>> TwoDisks() {
  TBuildMember one = WindowFixture::Stored("one.txt", "on the first disk");
  TBuildMember two = WindowFixture::Stored("two.txt", "on the second disk");
  two.Disk = 1;
  TZipBuilder first, second;
  first.AddLocal(one);
  const u32 twoAt = second.AddLocal(two);
  const u32 central = second.Position();
  second.AddCentral(one, 0);
  second.AddCentral(two, twoAt);
  TEndFields end;
  end.ThisDisk = 1;
  end.CentralStartDisk = 1;
  second.AddEnd(end, 2, central, second.Position() - central);
  return {first.Bytes, second.Bytes};
}

TEST_F(CommandsFixture, NextDiskPromptComesBackForADiskWithAnotherNumber) {
  TfrmMain& window = MakeCommandWindow();
  const auto disks = TwoDisks();
  TFakeDrive& drive = Fake.AddDrive("floppy", TDriveType::Removable, true, "PKBACK# 002");
  const std::string archive = drive.MountPoint + "set.zip";
  WriteFileBytes(archive, disks[1]);
  OpenArchive(archive);
  ASSERT_NE(window.Tree(), nullptr);
  // The user first leaves the second disk in when the first is asked for,
  // then puts in the disk asked for.
  std::vector<std::string> asked;
  window.ExecPrompt = [&](TDiskPrompt& prompt) {
    asked.push_back(prompt.Label()->text().toStdString());
    EXPECT_EQ(prompt.windowTitle(), "Varnel Zip");
    if (asked.size() == 1) return true;
    const int disk = prompt.Label()->text().back().digitValue();
    drive.Label = "PKBACK# 00" + std::to_string(disk);
    WriteFileBytes(archive, disks[static_cast<std::size_t>(disk - 1)]);
    return true;
  };
  UnzipTo(Out);
  Trigger("mnuUnzip");
  EXPECT_EQ(asked, (std::vector<std::string>{"Please insert disk 1", "Please insert disk 1",
                                             "Please insert disk 2"}));
  EXPECT_EQ(ReadFileText(Out + "one.txt"), "on the first disk");
  EXPECT_EQ(ReadFileText(Out + "two.txt"), "on the second disk");
  EXPECT_EQ(OpInfo.DisksUsed, 2);
  EXPECT_EQ(Report["Extracted Files"], "2");

  // A disk without a label is taken as it is; Cancel ends the command
  // silently.
  asked.clear();
  Host.Messages.clear();
  MakeFolders(Fake.Root() + "again");
  window.ExecPrompt = [&](TDiskPrompt& prompt) {
    asked.push_back(prompt.Label()->text().toStdString());
    if (asked.size() > 1) return false;
    drive.Label = "";
    WriteFileBytes(archive, disks[0]);
    return true;
  };
  UnzipTo(Fake.Root() + "again");
  const int reports = Reports;
  Trigger("mnuUnzip");
  EXPECT_EQ(asked, (std::vector<std::string>{"Please insert disk 1", "Please insert disk 2"}));
  EXPECT_EQ(ReadFileText(Fake.Root() + "again/one.txt"), "on the first disk");
  EXPECT_TRUE(Host.Messages.empty()) << Host.Messages[0].Text;
  EXPECT_EQ(Reports, reports);
  EXPECT_EQ(Status(), "Done");
}

// ---------------------------------------------------------------- overwrite

struct TOverwriteCase {
  const char* Name;
  std::vector<std::string> Answers;   // buttons, or "rename:<name>"
  std::vector<std::string> Expected;  // a.txt, b.txt, c.txt afterwards
  int Prompts;
  const char* NotReplaced;
  std::string Renamed;  // the file the rename made, "" for none
};

class OverwriteTest : public CommandsFixture,
                      public ::testing::WithParamInterface<TOverwriteCase> {};

TEST_P(OverwriteTest, ActsOnEachAnswer) {
  const TOverwriteCase& c = GetParam();
  MakeCommandWindow();
  const std::string archive = WriteArchive(
      "ow.zip", {Stored("a.txt", "new a"), Stored("b.txt", "new b"), Stored("c.txt", "new c")});
  MakeFolders(Out);
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    WriteFileText(Out + name, std::string("old ") + name[0]);
  }
  OpenArchive(archive);
  UnzipTo(Out);
  std::vector<QString> labels;
  for (const std::string& answer : c.Answers) {
    Scripts["frmOverwrite"].push_back([&labels, answer](QDialog& dialog) {
      EXPECT_EQ(dialog.windowTitle(), "Varnel Zip");
      labels.push_back(Child<QLabel>(dialog, "lblFileName")->text());
      if (answer.rfind("rename:", 0) == 0) {
        Show(dialog);
        Type(dialog, "edtNewFileName", answer.substr(7));
        QTest::keyClick(Child<QLineEdit>(dialog, "edtNewFileName"), Qt::Key_Return);
      } else if (!answer.empty()) {
        Click(dialog, answer.c_str());
      }
      return Result(dialog);
    });
  }
  Trigger("mnuUnzip");
  ASSERT_EQ(static_cast<int>(labels.size()), c.Prompts);
  EXPECT_EQ(labels.front(),
            "a.txt already exists!\n\nDo you want to; overwrite the file, skip the file, or "
            "rename the file?");
  EXPECT_EQ((std::vector<std::string>{ReadFileText(Out + "a.txt"), ReadFileText(Out + "b.txt"),
                                      ReadFileText(Out + "c.txt")}),
            c.Expected);
  if (!c.Renamed.empty()) {
    EXPECT_EQ(ReadFileText(Out + c.Renamed), "new a");
  }
  EXPECT_EQ(Report["Files Not Replaced"], c.NotReplaced);
  EXPECT_TRUE(Host.Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, OverwriteTest,
    ::testing::Values(
        TOverwriteCase{"OverwriteThenSkip",
                       {"butOverwrite", "butSkip", "butOverwrite"},
                       {"new a", "old b", "new c"},
                       3,
                       "1",
                       ""},
        TOverwriteCase{
            "OverwriteAll", {"butOverwriteAll"}, {"new a", "new b", "new c"}, 1, "0", ""},
        TOverwriteCase{"SkipAll", {"butSkipAll"}, {"old a", "old b", "old c"}, 1, "3", ""},
        TOverwriteCase{
            "ClosedChangesNothing", {"", "", ""}, {"old a", "old b", "old c"}, 3, "3", ""},
        TOverwriteCase{"RenameWithEnter",
                       {"rename:  a-copy.txt ", "butSkipAll"},
                       {"old a", "old b", "old c"},
                       2,
                       "3",
                       "a-copy.txt"}),
    [](const auto& test) { return std::string(test.param.Name); });

// ---------------------------------------------------------------- password prompts

TEST_F(CommandsFixture, SkipAllEndsThePasswordPromptsOfTheCommand) {
  MakeCommandWindow();
  const std::string src = Fake.Root() + "src/";
  MakeFolders(src);
  for (const char* name : {"one.txt", "two.txt", "three.txt"}) WriteFileText(src + name, name);
  const std::string archive = Fake.Root() + "locked.zip";
  ASSERT_EQ(RunCommand("cd " + ShellQuote(src) + " && /usr/bin/zip -q -P secret " +
                       ShellQuote(archive) + " one.txt two.txt three.txt")
                .ExitCode,
            0);
  OpenArchive(archive);
  UnzipTo(Fake.Root() + "skipped");
  int prompts = 0;
  Scripts["frmPassword"].push_back([&](QDialog& dialog) {
    ++prompts;
    EXPECT_EQ(Child<QLabel>(dialog, "lblFileName")->text(), "one.txt");
    Click(dialog, "butSkipAll");
    return Result(dialog);
  });
  Trigger("mnuUnzip");
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(Report["Bad Password"], "3");
  EXPECT_EQ(Report["Extracted Files"], "0");
  EXPECT_EQ(ReportProblems.size(), 3u);
  for (const auto& line : ReportProblems) {
    EXPECT_NE(line.find("|No|Bad password!  The entered password is incorrect."), std::string::npos)
        << line;
  }
  EXPECT_FALSE(FileExists(Fake.Root() + "skipped/one.txt"));

  // The next command asks again; the password typed once opens all three.
  UnzipTo(Fake.Root() + "opened");
  Scripts["frmPassword"].push_back([&](QDialog& dialog) {
    ++prompts;
    Type(dialog, "edtPassword", "secret");
    Click(dialog, "butOK");
    return Result(dialog);
  });
  Trigger("mnuUnzip");
  EXPECT_EQ(prompts, 2);
  EXPECT_EQ(Report["Extracted Files"], "3");
  EXPECT_EQ(ReadFileText(Fake.Root() + "opened/three.txt"), "three.txt");
}

}  // namespace
}  // namespace vz::test
