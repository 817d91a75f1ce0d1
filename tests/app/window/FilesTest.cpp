// The file-management commands of the window: archives to the trash, Send
// through the mail service, the properties of the archive and of a member
// with the comment written back, the options, formatting, the web command
// and About.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <filesystem>

#include "app/FileListModel.h"
#include "app/FileView.h"
#include "app/dialogs/DialogSupport.h"
#include "platform/FileHelpers.h"
#include "tests/app/window/WindowFixture.h"
#include "tests/support/TestFiles.h"

namespace vz::test {
namespace {

using TRows = std::vector<std::pair<std::string, std::string>>;

class FilesTest : public WindowFixture {
 protected:
  TfrmMain& OpenArchive(const std::string& path) {
    TfrmMain& window = MakeWindow({QString::fromStdString(path)});
    window.FormShow();
    return window;
  }
  // The table of the properties dialog.
  static TRows RowsOf(QDialog& dialog) {
    auto* table = dialog.findChild<QTableView*>(QStringLiteral("lvProperties"));
    TRows rows;
    for (int row = 0; row < table->model()->rowCount(); ++row) {
      rows.emplace_back(table->model()->index(row, 0).data().toString().toStdString(),
                        table->model()->index(row, 1).data().toString().toStdString());
    }
    return rows;
  }
  static std::string ValueOf(const TRows& rows, const std::string& property) {
    for (const auto& [name, value] : rows) {
      if (name == property) return value;
    }
    return "<none>";
  }
  void SelectFirstMember(TfrmMain& window) {
    auto* files = window.findChild<TFileView*>(QStringLiteral("lvFiles"));
    const TFileListModel& model = window.FileListModel();
    for (int row = 0; row < model.rowCount(); ++row) {
      if (model.RowAt(row).IsFolder()) continue;
      files->SelectionModel()->select(model.index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
      return;
    }
  }
};

// ---- archives to the trash ----

TEST_F(FilesTest, DeleteCurrentClosesTheViewThenTrashesAfterAsking) {
  const std::string path = WriteArchive("old.zip", {Stored("a.txt", "a")});
  TfrmMain& window = OpenArchive(path);
  Host.MessageAnswers = {TMsgResult::Yes};
  window.Action(QStringLiteral("mnuDeletecurrentzipfile"))->trigger();
  EXPECT_EQ(window.Tree(), nullptr);
  EXPECT_EQ(window.windowTitle(), "Varnel Zip");
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Host.Messages[0].Text, "Are you sure you want to move \"old.zip\" to the trash?");
  EXPECT_EQ(Fake.Shell.Trashed, std::vector<std::string>{path});
  EXPECT_FALSE(FileExists(path));
}

TEST_F(FilesTest, DeleteCurrentAnsweredNoKeepsTheFileAndSaysSo) {
  const std::string path = WriteArchive("keep.zip", {Stored("a.txt", "a")});
  TfrmMain& window = OpenArchive(path);
  Host.MessageAnswers = {TMsgResult::No};
  window.mnuDeletecurrentzipfileClick();
  ASSERT_EQ(Host.Messages.size(), 2u);
  EXPECT_EQ(Host.Messages[1].Text, SystemErrorText(ECANCELED));
  EXPECT_EQ(Host.Messages[1].Icon, TMsgIcon::Warning);
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(Fake.Shell.TrashCalls.empty());
}

TEST_F(FilesTest, DeleteZipfilesTrashesEveryChosenFile) {
  const std::string a = WriteArchive("a.zip", {Stored("a.txt", "a")});
  const std::string b = WriteArchive("b.exe", {Stored("b.txt", "b")});
  TfrmMain& window = OpenArchive(a);
  std::vector<std::string> asked;
  window.OpenFilesDialog = [&](const std::string& title, const std::string& filter) {
    asked = {title, filter};
    return std::vector<std::string>{a, b};
  };
  Host.MessageAnswers = {TMsgResult::Yes};
  window.Action(QStringLiteral("mnuDeleteZipfiles"))->trigger();
  EXPECT_EQ(window.Tree(), nullptr);
  EXPECT_EQ(asked, (std::vector<std::string>{"Delete Zipfile(s)", kArchiveFilter}));
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"Are you sure you want to move these 2 items to the trash?"});
  EXPECT_EQ(Fake.Shell.Trashed, (std::vector<std::string>{a, b}));
}

TEST_F(FilesTest, ATrashThatFailsIsReportedWithTheSystemsText) {
  const std::string path = WriteArchive("a.zip", {Stored("a.txt", "a")});
  TfrmMain& window = OpenArchive(path);
  Fake.Shell.FailTrash = EXDEV;
  window.OpenFilesDialog = [&](const std::string&, const std::string&) {
    return std::vector<std::string>{path};
  };
  Host.MessageAnswers = {TMsgResult::Yes};
  window.mnuDeleteZipfilesClick();
  EXPECT_EQ(MessageTexts().back(), SystemErrorText(EXDEV));
  EXPECT_TRUE(FileExists(path));
}

// ---- mail ----

TEST_F(FilesTest, SendAttachesTheOpenArchiveOnceEachTime) {
  const std::string path = WriteArchive("Monthly report.zip", {Stored("a.txt", "a")});
  TfrmMain& window = OpenArchive(path);
  window.Action(QStringLiteral("mnuSend"))->trigger();
  window.Action(QStringLiteral("mnuSend"))->trigger();
  ASSERT_EQ(Fake.Mail.Sent.size(), 2u);
  for (const TMailMessage& message : Fake.Mail.Sent) {
    EXPECT_EQ(message.Subject, "Monthly report.zip");
    ASSERT_EQ(message.Attachments.size(), 1u);
    EXPECT_EQ(message.Attachments[0].Path, path);
    EXPECT_TRUE(message.Recipients.empty());
    EXPECT_TRUE(message.ShowDialog);
  }
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(FilesTest, SendWithoutAMailServiceSaysHowToSetOneUp) {
  Fake.Mail.Present = false;
  TfrmMain& window = OpenArchive(WriteArchive("a.zip", {Stored("a.txt", "a")}));
  window.mnuSendClick();
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Host.Messages[0].Text,
            "Mail is not available on this computer.\r\rSee the help topic 'Setting up mail' for "
            "details.");
  EXPECT_EQ(Host.Messages[0].Icon, TMsgIcon::Information);
  EXPECT_EQ(Host.Messages[0].Caption, "Varnel Zip");
}

TEST_F(FilesTest, AMailProgramThatFailsIsReported) {
  Fake.Mail.Result = mapi::LoginFailure;
  TfrmMain& window = OpenArchive(WriteArchive("a.zip", {Stored("a.txt", "a")}));
  window.mnuSendClick();
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"The mail program could not be started."});
  Host.Messages.clear();
  Fake.Mail.Result = mapi::UserAbort;  // the user closed the compose window
  window.mnuSendClick();
  EXPECT_TRUE(Host.Messages.empty());
}

// ---- properties ----

TEST_F(FilesTest, PropertiesOfTheArchive) {
  TBuildMember big = Stored("docs/big.txt", std::string(3000, 'x'));
  big.CompressedSize = 1000;
  const std::string path = WriteArchive("props.zip", {big, Stored("small.txt", "1234")});
  TfrmMain& window = OpenArchive(path);
  TRows rows;
  DialogAnswer = [&](QDialog& dialog) {
    rows = RowsOf(dialog);
    return false;
  };
  window.Action(QStringLiteral("mnuProperties"))->trigger();
  EXPECT_EQ(DialogCaptions, std::vector<QString>{"Properties"});
  std::vector<std::string> names;
  for (const auto& row : rows) names.push_back(row.first);
  EXPECT_EQ(names,
            (std::vector<std::string>{"Filename", "Modified", "File Size", "Uncompressed Size",
                                      "Compressed Size", "Compression Ratio", "Compressed Files"}));
  EXPECT_EQ(ValueOf(rows, "Filename"), "props.zip");
  EXPECT_EQ(ValueOf(rows, "Compressed Files"), "2");
  EXPECT_EQ(ValueOf(rows, "Uncompressed Size"), FormatSize(3004));
  EXPECT_EQ(ValueOf(rows, "Compressed Size"), FormatSize(1004));
  EXPECT_EQ(ValueOf(rows, "Compression Ratio"), "2.99 :1");
  EXPECT_EQ(ValueOf(rows, "File Size"),
            FormatSize(static_cast<i64>(std::filesystem::file_size(path))));
}

TEST_F(FilesTest, PropertiesOfAMemberShowTheCrcSigned) {
  TBuildMember member = Stored("docs/odd.bin", "data");
  member.Crc = 0xFFFFFFFF;
  member.Flags = 1;  // encrypted
  member.Method = 8;
  member.Comment = "member note";
  TfrmMain& window = OpenArchive(WriteArchive("m.zip", {member}));
  window.SelectNode(window.Tree()->FindCaption(QStringLiteral("docs")));
  SelectFirstMember(window);
  TRows rows;
  QString comment;
  DialogAnswer = [&](QDialog& dialog) {
    rows = RowsOf(dialog);
    comment = dialog.findChild<QPlainTextEdit*>(QStringLiteral("memComment"))->toPlainText();
    return false;
  };
  window.Action(QStringLiteral("popProperties"))->trigger();
  EXPECT_EQ(ValueOf(rows, "Filename"), "odd.bin");
  EXPECT_EQ(ValueOf(rows, "CRC"), "-1");
  EXPECT_EQ(ValueOf(rows, "Encrypted"), "True");
  EXPECT_EQ(ValueOf(rows, "Encryption"), "traditional");
  EXPECT_EQ(ValueOf(rows, "Compressed Method"), "Deflated");
  EXPECT_EQ(ValueOf(rows, "Compression Ratio"), "1 :1");
  EXPECT_EQ(ValueOf(rows, "Disk Number"), "<none>");
  EXPECT_EQ(comment, "member note");
}

// An AES member shows the method of its data and its key size.
TEST_F(FilesTest, PropertiesOfAnAesMemberShowItsCipherAndRealMethod) {
  TBuildMember member = Stored("aes.bin", "data that stays enciphered");
  member.Method = 99;
  member.Flags = 1;
  member.CentralExtra = {0x01, 0x99, 7, 0, 2, 0, 'A', 'E', 3, 12, 0};
  member.LocalExtra = member.CentralExtra;
  TfrmMain& window = OpenArchive(WriteArchive("aes.zip", {member}));
  SelectFirstMember(window);
  TRows rows;
  DialogAnswer = [&](QDialog& dialog) {
    rows = RowsOf(dialog);
    return false;
  };
  window.Action(QStringLiteral("popProperties"))->trigger();
  EXPECT_EQ(ValueOf(rows, "Encrypted"), "True");
  EXPECT_EQ(ValueOf(rows, "Encryption"), "AES-256");
  EXPECT_EQ(ValueOf(rows, "Compressed Method"), "BZip2");
}

TEST_F(FilesTest, OnAFloppyTheDisksAreListed) {
  const TFakeDrive& floppy = Fake.AddDrive("a", TDriveType::Removable, true);
  TBuildMember member = Stored("x.bin", "x");
  const std::string path = WriteFile("a/set.zip", TZipBuilder::Archive({member}));
  ASSERT_EQ(FolderOf(path), floppy.MountPoint);
  TfrmMain& window = OpenArchive(path);
  TRows archive;
  TRows first;
  DialogAnswer = [&](QDialog& dialog) {
    (archive.empty() ? archive : first) = RowsOf(dialog);
    return false;
  };
  window.mnuPropertiesClick();
  SelectFirstMember(window);
  window.popPropertiesClick();
  EXPECT_EQ(ValueOf(archive, "Disks Used"), "1");
  EXPECT_EQ(ValueOf(first, "Disk Number"), "1");
}

TEST_F(FilesTest, AChangedCommentIsWrittenIntoTheArchive) {
  const std::string path = WriteArchive("note.zip", {Stored("a.txt", "a")});
  TfrmMain& window = OpenArchive(path);
  DialogAnswer = [](QDialog& dialog) {
    dialog.findChild<QPlainTextEdit*>(QStringLiteral("memComment"))
        ->setPlainText(QStringLiteral("\n  Made for the archive's readers  \n\n"));
    dialog.findChild<QPushButton*>(QStringLiteral("butOK"))->click();
    return dialog.result() == QDialog::Accepted;
  };
  window.Action(QStringLiteral("mnuProperties"))->trigger();
  ASSERT_TRUE(Host.Messages.empty()) << Host.Messages[0].Text;
  if (!HaveProgram("/usr/bin/unzip")) GTEST_SKIP() << "no /usr/bin/unzip";
  const TCommandResult listed = RunCommand("/usr/bin/unzip -z " + ShellQuote(path));
  EXPECT_EQ(listed.ExitCode, 0) << listed.Output;
  EXPECT_NE(listed.Output.find("Made for the archive's readers"), std::string::npos)
      << listed.Output;
  EXPECT_EQ(listed.Output.find("  Made"), std::string::npos);  // trimmed
}

TEST_F(FilesTest, ACommentWithOnlyTrailingBlankLinesAddedIsUnchanged) {
  const std::string path =
      WriteFile("kept.zip", TZipBuilder::Archive({Stored("a.txt", "a")}, "kept"));
  const auto before = std::filesystem::last_write_time(path);
  const std::vector<u8> bytes = ReadFileBytes(path);
  TfrmMain& window = OpenArchive(path);
  DialogAnswer = [](QDialog& dialog) {
    auto* box = dialog.findChild<QPlainTextEdit*>(QStringLiteral("memComment"));
    box->setPlainText(box->toPlainText() + QStringLiteral("\n\n\n"));
    dialog.findChild<QPushButton*>(QStringLiteral("butOK"))->click();
    return true;
  };
  window.mnuPropertiesClick();
  EXPECT_EQ(ReadFileBytes(path), bytes);
  EXPECT_EQ(std::filesystem::last_write_time(path), before);
}

TEST_F(FilesTest, ASelfExtractingArchivesCommentCannotBeChanged) {
  const std::string path = WriteArchive("tool.exe", {Stored("a.txt", "a")});
  const std::vector<u8> bytes = ReadFileBytes(path);
  TfrmMain& window = OpenArchive(path);
  bool enabled = true;
  DialogAnswer = [&](QDialog& dialog) {
    auto* box = dialog.findChild<QPlainTextEdit*>(QStringLiteral("memComment"));
    enabled = box->isEnabled();
    box->setPlainText(QStringLiteral("changed anyway"));
    return true;
  };
  window.mnuPropertiesClick();
  EXPECT_FALSE(enabled);
  EXPECT_EQ(ReadFileBytes(path), bytes);
}

// ---- options, formatting, the Help menu ----

TEST_F(FilesTest, OptionsConfirmedWithoutAScannerDisableTheScanAtOnce) {
  const std::string scanner = WriteFile("scanner", {});
  TfrmMain& window = MakeWindow();
  AppInfo->AntiVirus = scanner;
  window.UpdateCommands();
  ASSERT_TRUE(window.Action(QStringLiteral("mnuAntiVirus"))->isEnabled());
  bool scanChecks = false;
  DialogAnswer = [&](QDialog& dialog) {
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("edtAntiVirus"));
    EXPECT_EQ(edit->text().toStdString(), scanner);
    EXPECT_TRUE(dialog.findChild<QCheckBox*>(QStringLiteral("chkAutoScan"))->isEnabled());
    edit->clear();
    scanChecks = dialog.findChild<QCheckBox*>(QStringLiteral("chkAutoScan"))->isEnabled();
    dialog.findChild<QPushButton*>(QStringLiteral("butOK"))->click();
    return dialog.result() == QDialog::Accepted;
  };
  window.Action(QStringLiteral("mnuOptions"))->trigger();
  EXPECT_EQ(DialogCaptions, std::vector<QString>{"Options"});
  EXPECT_FALSE(scanChecks);
  EXPECT_EQ(AppInfo->AntiVirus, "");
  EXPECT_FALSE(window.Action(QStringLiteral("mnuAntiVirus"))->isEnabled());
  EXPECT_EQ(Fake.Settings.Value(SettingsKeyOf(Globals.AppKey), "AntiVirus"),
            TSettingValue(std::string()));
}

TEST_F(FilesTest, TheFormatMenuListsFloppyDrivesOnly) {
  EXPECT_EQ(MakeWindow().findChild<QMenu*>(QStringLiteral("mnuFormat")), nullptr);
  Fake.AddDrive("usb", TDriveType::Removable);
  const TFakeDrive& floppy = Fake.AddDrive("fd0", TDriveType::Removable, true);
  TfrmMain& window = MakeWindow();
  auto* format = window.findChild<QMenu*>(QStringLiteral("mnuFormat"));
  ASSERT_NE(format, nullptr);
  ASSERT_EQ(format->actions().size(), 1);
  QAction* drive = format->actions()[0];
  EXPECT_EQ(drive->objectName(), "mnuDrive_0");
  drive->trigger();
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Varnel Zip cannot format disks.\r\rFormat " +
                                                     floppy.MountPoint +
                                                     " with your desktop's disk utility, then try "
                                                     "again."});
}

TEST_F(FilesTest, TheWebCommandOpensTheHomePageOfTheSettings) {
  TfrmMain& window = MakeWindow();
  window.Action(QStringLiteral("mnuVarnel"))->trigger();
  ASSERT_EQ(Fake.Shell.Opened.size(), 1u);
  EXPECT_TRUE(Fake.Shell.Opened[0].starts_with("https://"));
  Fake.Settings.SetValue(SettingsKeyOf(Globals.AppKey), "HomePage",
                         std::string("https://zip.example.org/"));
  window.mnuVarnelClick();
  EXPECT_EQ(Fake.Shell.Opened.back(), "https://zip.example.org/");
  Fake.Shell.FailOpen = ENOENT;
  window.mnuVarnelClick();
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{SystemErrorText(ENOENT)});
}

TEST_F(FilesTest, AboutShowsTitleNoticeAndVersion) {
  TfrmMain& window = MakeWindow();
  QStringList texts;
  DialogAnswer = [&](QDialog& dialog) {
    for (const char* name : {"lblTitle", "lblVersion", "lblNotice"}) {
      texts << dialog.findChild<QLabel*>(QLatin1String(name))->text();
    }
    EXPECT_FALSE(dialog.findChild<QLabel*>(QStringLiteral("imgIcon"))->pixmap().isNull());
    EXPECT_TRUE(QDir().mkpath(QStringLiteral(VZ_SCREENSHOT_DIR)));
    EXPECT_TRUE(dialog.grab().save(QStringLiteral(VZ_SCREENSHOT_DIR "/TfrmAbout.png")));
    return true;
  };
  window.Action(QStringLiteral("mnuAbout"))->trigger();
  EXPECT_EQ(DialogCaptions, std::vector<QString>{"About Varnel Zip"});
  ASSERT_EQ(texts.size(), 3);
  EXPECT_EQ(texts[0], "Varnel Zip");
  EXPECT_TRUE(texts[1].startsWith("Version 2.")) << texts[1].toStdString();
  EXPECT_EQ(texts[2].toStdString(), Globals.AboutNotice);
}

TEST_F(FilesTest, HelpFinderOpensTheContents) {
  TfrmMain& window = MakeWindow();
  window.Action(QStringLiteral("mnuHelpFinder"))->trigger();
  EXPECT_EQ(Help.Topics, std::vector<int>{0});
}

}  // namespace
}  // namespace vz::test
