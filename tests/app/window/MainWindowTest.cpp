// The main window driven as a user would, on the fake platform with the real
// engine: the commands' names and texts, which are enabled when, opening
// archives good and bad, the view settings and placement through the
// settings store, the text pane, and the virus-scan hand-off.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "app/FileListModel.h"
#include "app/FileView.h"
#include "app/FolderModel.h"
#include "tests/app/window/WindowFixture.h"

namespace vz::test {
namespace {

struct TCommandCase {
  const char* Name;
  const char* Caption;
  int Help;
  const char* Shortcut;
  const char* Button;  // toolbar button, "" for none
  const char* Hint;
};

class CommandTexts : public WindowFixture, public ::testing::WithParamInterface<TCommandCase> {};

TEST_P(CommandTexts, CaptionShortcutHelpContextAndButton) {
  TfrmMain& window = MakeWindow();
  const TCommandCase& c = GetParam();
  QAction* action = window.Action(QString::fromLatin1(c.Name));
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action, window.findChild<QAction*>(QString::fromLatin1(c.Name)));
  EXPECT_EQ(action->text().toStdString(), c.Caption);
  EXPECT_EQ(action->property("HelpContext").toInt(), c.Help);
  EXPECT_EQ(action->shortcut().toString().toStdString(), c.Shortcut);
  if (*c.Button) {
    auto* button = window.findChild<QToolButton*>(QString::fromLatin1(c.Button));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->defaultAction(), action);
    EXPECT_EQ(button->toolTip().toStdString(), c.Hint);
    EXPECT_EQ(button->property("HelpContext").toInt(), c.Help);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Menus, CommandTexts,
    ::testing::Values(
        TCommandCase{"mnuNew", "&New...", 280, "", "tbNew", "New"},
        TCommandCase{"mnuOpen", "&Open...", 290, "", "tbOpen", "Open"},
        TCommandCase{"mnuClose", "&Close", 300, "", "", ""},
        TCommandCase{"mnuUnzip", "&Unzip...", 310, "", "tbUnzip", "Unzip"},
        TCommandCase{"mnuRefreshZipfile", "Re&fresh Zipfile...", 320, "", "tbRefresh",
                     "Refresh Zipfile"},
        TCommandCase{"mnuSFX", "Self-&extracting Zipfile", 330, "", "tbSFX",
                     "Self-extracting Zipfile"},
        TCommandCase{"mnuDeletecurrentzipfile", "&Delete current zipfile", 340, "", "", ""},
        TCommandCase{"mnuDeleteZipfiles", "Delete zip&file(s)...", 350, "", "", ""},
        TCommandCase{"mnuSend", "&Send", 360, "", "", ""},
        TCommandCase{"mnuProperties", "&Properties...", 370, "", "", ""},
        TCommandCase{"mnuExit", "E&xit", 380, "", "", ""},
        TCommandCase{"mnuAddFiles", "&Add Files...", 400, "", "tbAddFiles", "Add Files"},
        TCommandCase{"mnuRemoveFiles", "&Remove Files", 410, "", "tbRemoveFiles", "Remove Files"},
        TCommandCase{"mnuPassword", "&Password...", 420, "", "tbPassword", "Password"},
        TCommandCase{"mnuSelectAll", "Select &All", 430, "Ctrl+A", "", ""},
        TCommandCase{"mnuMaxTextPane", "&Maximize Text Pane", 510, "F10", "tbMaxTextPane",
                     "Maximize Text Pane"},
        TCommandCase{"mnuOptions", "&Options...", 520, "", "", ""},
        TCommandCase{"mnuViewFile", "&View File", 540, "F11", "tbViewFile", "View File"},
        TCommandCase{"mnuAntiVirus", "&Anti-virus Scan", 550, "", "tbAntiVirus", "Anti-virus Scan"},
        TCommandCase{"mnuRepair", "&Repair Zipfile...", 560, "", "tbRepair", "Repair Zipfile"},
        TCommandCase{"mnuHelpFinder", "Help &Finder...", 580, "", "", ""},
        TCommandCase{"mnuWhatsThis", "&What's This?", 590, "Shift+F1", "tbWhatsThis",
                     "Whats This? Help"},
        TCommandCase{"mnuVarnel", "&Varnel on the Web", 600, "", "", ""},
        TCommandCase{"mnuAbout", "&About...", 630, "", "", ""},
        TCommandCase{"popViewFile", "&View", 640, "", "", ""},
        TCommandCase{"popUnzipSelected", "&Unzip...", 650, "", "", ""},
        TCommandCase{"popRemoveFiles", "&Remove Files", 660, "", "", ""},
        TCommandCase{"popPassword", "Pass&word...", 670, "", "", ""},
        TCommandCase{"popProperties", "&Properties...", 680, "", "", ""}),
    [](const auto& test) { return std::string(test.param.Name); });

TEST_F(WindowFixture, MenusAndPopupInTheirPlaces) {
  TfrmMain& window = MakeWindow();
  QStringList menus;
  for (const char* name : {"mnuFile", "mnuEdit", "mnuView", "mnuTools", "mnuHelp"}) {
    auto* menu = window.findChild<QMenu*>(QString::fromLatin1(name));
    ASSERT_NE(menu, nullptr) << name;
    menus << menu->title() + QString::number(menu->menuAction()->property("HelpContext").toInt());
  }
  EXPECT_EQ(menus, (QStringList{"&File270", "&Edit390", "&View440", "&Tools530", "&Help570"}));
  auto* popup = window.findChild<QMenu*>(QStringLiteral("popFileView"));
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->defaultAction(), window.Action(QStringLiteral("popViewFile")));
  EXPECT_EQ(popup->actions().size(), 5);
  for (const char* name :
       {"tvFolders", "lvFiles", "redTextViewer", "lblTextViewer", "splHorizontal", "splVertical",
        "pnlViewPanes", "ProgressBar", "tbrMain", "edtFilter", "StatusBar"}) {
    EXPECT_NE(window.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
  }
}

// ---- the enabling table ----

enum class TArchiveKind { None, Plain, MultiDisk, SelfExtracting, FolderRecord };
struct TEnablingCase {
  const char* Name;
  TArchiveKind Kind;
  // Close/Unzip, Refresh, SFX, Delete/Send/Properties, Add/Password/pop-ups
  bool Open, Refresh, Sfx, Whole, Modifiable;
};

class EnablingTable : public WindowFixture, public ::testing::WithParamInterface<TEnablingCase> {};

TEST_P(EnablingTable, FollowsTheArchive) {
  const TEnablingCase& c = GetParam();
  const std::string path = WriteArchive(c.Kind == TArchiveKind::SelfExtracting ? "a.exe" : "a.zip",
                                        {Stored("docs/a.txt", "a")});
  if (c.Kind == TArchiveKind::FolderRecord) {
    CFI.Name = path;
    CFI.RootDir = Fake.Root();
    CFI.Save();
  }
  TfrmMain& window = MakeWindow();
  if (c.Kind != TArchiveKind::None) {
    OpInfo.IsSFX = c.Kind == TArchiveKind::SelfExtracting;
    window.ZipEngine.SetZipName(path);
    window.OpenArchive();
    if (c.Kind == TArchiveKind::MultiDisk) {
      TMemberSource second{"", "b.txt", 45000, 1, 1, false, true, 2};
      window.SetPendingTree(TArchiveTree::Build({second}));
    }
    window.BuildFolderTree();
    window.FillFileList();
  }
  window.UpdateCommands();
  const auto enabled = [&](const char* name) {
    return window.Action(QString::fromLatin1(name))->isEnabled();
  };
  for (const char* name : {"mnuClose", "mnuUnzip"}) EXPECT_EQ(enabled(name), c.Open) << name;
  EXPECT_EQ(enabled("mnuRefreshZipfile"), c.Refresh);
  EXPECT_EQ(enabled("mnuSFX"), c.Sfx);
  for (const char* name : {"mnuDeletecurrentzipfile", "mnuSend", "mnuProperties"}) {
    EXPECT_EQ(enabled(name), c.Whole) << name;
  }
  for (const char* name : {"mnuAddFiles", "mnuPassword", "popRemoveFiles", "popPassword"}) {
    EXPECT_EQ(enabled(name), c.Modifiable) << name;
  }
  for (const char* name : {"mnuNew", "mnuOpen", "mnuExit", "mnuRepair", "mnuOptions"}) {
    EXPECT_TRUE(enabled(name)) << name;
  }
  EXPECT_FALSE(enabled("mnuAntiVirus"));    // no scanner set
  EXPECT_FALSE(enabled("mnuRemoveFiles"));  // nothing selected
}

INSTANTIATE_TEST_SUITE_P(
    Archives, EnablingTable,
    ::testing::Values(
        TEnablingCase{"NoArchive", TArchiveKind::None, false, false, false, false, false},
        TEnablingCase{"Plain", TArchiveKind::Plain, true, false, true, true, true},
        TEnablingCase{"MultiDisk", TArchiveKind::MultiDisk, true, false, false, false, false},
        TEnablingCase{"SelfExtracting", TArchiveKind::SelfExtracting, true, false, false, true,
                      false},
        TEnablingCase{"FolderRecord", TArchiveKind::FolderRecord, true, true, true, true, true}),
    [](const auto& test) { return std::string(test.param.Name); });

TEST_F(WindowFixture, SelectionRuleForRemoveAndView) {
  const std::string path = WriteArchive("a.zip", {Stored("a.txt", "a")});
  TfrmMain& window = MakeWindow({QString::fromStdString(path)});
  AppInfo->FileViewer = "/usr/bin/true";
  window.FormShow();
  auto* files = window.findChild<TFileView*>(QStringLiteral("lvFiles"));
  files->SelectAllRows();
  EXPECT_TRUE(window.Action(QStringLiteral("mnuRemoveFiles"))->isEnabled());
  EXPECT_TRUE(window.Action(QStringLiteral("mnuViewFile"))->isEnabled());
  files->SelectionModel()->clearSelection();
  EXPECT_FALSE(window.Action(QStringLiteral("mnuRemoveFiles"))->isEnabled());
  EXPECT_FALSE(window.Action(QStringLiteral("mnuViewFile"))->isEnabled());
}

// ---- opening ----

TEST_F(WindowFixture, OpensTheArchiveNamedLastAndShowsItsReadme) {
  const std::string path = WriteArchive(
      "Show.zip", {Stored("docs/guide.txt", "guide"), Stored("Readme.doc", "word"),
                   Stored("Read.me", "read me first\r\nline two"), Stored("zz.txt", "z")});
  TfrmMain& window = MakeWindow({"ignored", QString::fromStdString(Fake.Root() + "show.ZIP")});
  window.FormShow();
  EXPECT_EQ(window.windowTitle().toStdString(), "Varnel Zip - " + path);  // spelt as on disk
  auto* tree = window.findChild<QTreeView*>(QStringLiteral("tvFolders"));
  EXPECT_EQ(tree->currentIndex().data().toString(), "Destination Folder");
  EXPECT_TRUE(tree->isExpanded(tree->currentIndex()));
  const TFileListModel& list = window.FileListModel();
  ASSERT_EQ(list.rowCount(), 4);
  EXPECT_EQ(list.Caption(0), "docs");
  EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("lblTextViewer"))->text(), "Read.me");
  EXPECT_EQ(window.findChild<QPlainTextEdit*>(QStringLiteral("redTextViewer"))->toPlainText(),
            "read me first\nline two");
  EXPECT_TRUE(Host.Messages.empty());
  std::ifstream recent(Fake.Environment.DataFolder + "recently-used.xbel");
  std::string xbel((std::istreambuf_iterator<char>(recent)), {});
  EXPECT_NE(xbel.find("Show.zip"), std::string::npos);

  window.Action(QStringLiteral("mnuClose"))->trigger();
  EXPECT_EQ(window.windowTitle(), "Varnel Zip");
  EXPECT_EQ(window.FileListModel().rowCount(), 0);
}

TEST_F(WindowFixture, TextFileIsTheReadmeWhenNothingIsCalledRead) {
  WriteArchive("t.zip", {Stored("b.bin", "b"), Stored("notes.TXT", "the notes")});
  TfrmMain& window = MakeWindow({QString::fromStdString(Fake.Root() + "t.zip")});
  window.FormShow();
  EXPECT_EQ(window.findChild<QPlainTextEdit*>(QStringLiteral("redTextViewer"))->toPlainText(),
            "the notes");
}

struct TBadArchive {
  const char* Name;
  std::vector<u8> Bytes;
};

class BadArchives : public WindowFixture, public ::testing::WithParamInterface<TBadArchive> {};

// None of these may crash or leave a half view; what cannot be read is
// reported once, in a box captioned with the program's title.
TEST_P(BadArchives, LeaveAnEmptyViewAndAReport) {
  const std::string path = WriteFile("bad.zip", GetParam().Bytes);
  TfrmMain& window = MakeWindow({QString::fromStdString(path)});
  window.FormShow();
  const bool opened = window.Tree() != nullptr;
  if (!opened) {
    EXPECT_EQ(window.windowTitle(), "Varnel Zip");
    ASSERT_EQ(Host.Messages.size(), 1u);
    EXPECT_EQ(Host.Messages[0].Caption, "Varnel Zip");
    EXPECT_EQ(Host.Messages[0].Icon, TMsgIcon::Error);
  }
  EXPECT_EQ(window.Action(QStringLiteral("mnuUnzip"))->isEnabled(), opened);
}

std::vector<u8> Truncated() {
  auto bytes = TZipBuilder::Archive({WindowFixture::Stored("a.txt", std::string(100, 'a'))});
  bytes.resize(bytes.size() - 30);
  return bytes;
}
std::vector<u8> Encrypted() {
  TBuildMember member = WindowFixture::Stored("secret.txt", std::string(20, 's'));
  member.Flags = 1;
  return TZipBuilder::Archive({member});
}
std::vector<u8> Prefixed() {
  std::vector<u8> bytes(3000, 0x90);
  const auto archive = TZipBuilder::Archive({WindowFixture::Stored("in.txt", "x")});
  bytes.insert(bytes.end(), archive.begin(), archive.end());
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(Damage, BadArchives,
                         ::testing::Values(TBadArchive{"EmptyFile", {}},
                                           TBadArchive{"NotAnArchive", std::vector<u8>(500, 'x')},
                                           TBadArchive{"EndRecordOnly", TZipBuilder::Archive({})},
                                           TBadArchive{"Truncated", Truncated()},
                                           TBadArchive{"EncryptedMember", Encrypted()},
                                           TBadArchive{"StubInFront", Prefixed()}),
                         [](const auto& test) { return std::string(test.param.Name); });

TEST_F(WindowFixture, MissingArchiveWarnsAndOpensNothing) {
  TfrmMain& window = MakeWindow({QString::fromStdString(Fake.Root() + "gone.zip")});
  window.FormShow();
  EXPECT_EQ(window.Tree(), nullptr);
  ASSERT_EQ(Host.Messages.size(), 1u);  // TrueCasePath's warning
  EXPECT_EQ(Host.Messages[0].Icon, TMsgIcon::Warning);
}

// A set's first disk on a floppy-style drive lacks the end record: the
// last disk is asked for until it is there or the prompt is cancelled.
TEST_F(WindowFixture, LastDiskPromptUntilCancelled) {
  Fake.AddDrive("floppy", TDriveType::Removable, true);
  auto bytes = TZipBuilder::Archive({Stored("a.txt", std::string(50, 'a'))});
  bytes.resize(bytes.size() - 22);  // no end record
  const std::string path = WriteFile("floppy/part.zip", bytes);
  PromptAnswers = {true};
  TfrmMain& window = MakeWindow({QString::fromStdString(path)});
  window.FormShow();
  ASSERT_EQ(Prompts.size(), 2u);
  EXPECT_EQ(Prompts[0].first, "Varnel Zip");
  EXPECT_EQ(Prompts[0].second, "Please insert the last disk of the multi-part disk set.");
  EXPECT_TRUE(Host.Messages.empty());  // cancelled silently
  EXPECT_EQ(window.Tree(), nullptr);
  EXPECT_THROW(window.OpenArchive(), EUserCanceled);
}

TEST_F(WindowFixture, DamagedArchiveOnAFixedDiskIsNoDiskSet) {
  auto bytes = TZipBuilder::Archive({Stored("a.txt", std::string(50, 'a'))});
  bytes.resize(bytes.size() - 22);
  TfrmMain& window = MakeWindow({QString::fromStdString(WriteFile("cut.zip", bytes))});
  window.FormShow();
  EXPECT_TRUE(Prompts.empty());
  ASSERT_NE(window.Tree(), nullptr);  // rebuilt from the local headers
  EXPECT_EQ(window.Tree()->MemberCount(), 1);
}

// ---- the view ----

TEST_F(WindowFixture, FolderRowClickOpensThatFolderAndRebuildKeepsIt) {
  const std::string path =
      WriteArchive("f.zip", {Stored("docs/a.txt", "a"), Stored("docs/in/b.txt", "b")});
  TfrmMain& window = MakeWindow({QString::fromStdString(path)});
  window.show();
  window.FormShow();
  auto* details = window.findChild<QTableView*>(QStringLiteral("lvFilesDetails"));
  QApplication::processEvents();
  const QRect row = details->visualRect(details->model()->index(0, 0));
  QTest::mouseClick(details->viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_EQ(window.Tree()->Node(window.SelectedNode()).Caption, "docs");
  EXPECT_EQ(window.FileListModel().Caption(0), "in");

  window.BuildFolderTree();  // as after a command changed the archive
  EXPECT_EQ(window.Tree()->Node(window.SelectedNode()).Caption, "docs");
}

TEST_F(WindowFixture, RightButtonOnAFileRowOpensThePopup) {
  const std::string path = WriteArchive("p.zip", {Stored("d/x.txt", "x"), Stored("a.txt", "a")});
  TfrmMain& window = MakeWindow({QString::fromStdString(path)});
  window.show();
  window.FormShow();
  QApplication::processEvents();
  auto* details = window.findChild<QTableView*>(QStringLiteral("lvFilesDetails"));
  auto* popup = window.findChild<QMenu*>(QStringLiteral("popFileView"));
  const auto rowCentre = [&](int row) {
    return details->visualRect(details->model()->index(row, 0)).center();
  };
  QTest::mousePress(details->viewport(), Qt::RightButton, {}, rowCentre(0));  // folder row
  EXPECT_FALSE(popup->isVisible());
  QTest::mousePress(details->viewport(), Qt::RightButton, {}, rowCentre(1));
  EXPECT_TRUE(popup->isVisible());
  popup->close();
  EXPECT_EQ(window.findChild<TFileView*>(QStringLiteral("lvFiles"))->SelectedRows(),
            std::vector<int>{1});
}

// A name stored by a Russian DOS tool in code page 866, without the UTF-8
// flag: Auto reads it as code page 437; the CP866 choice re-reads it at once.
TEST_F(WindowFixture, NameEncodingReReadsTheNamesAtOnce) {
  const std::string path = WriteArchive("ru.zip", {Stored("\x8F\xE0\xA8\xA2\xA5\xE2.txt", "x", 0)});
  TfrmMain& window = MakeWindow({QString::fromStdString(path)});
  window.FormShow();
  const TFileListModel& list = window.FileListModel();
  ASSERT_EQ(list.rowCount(), 1);
  EXPECT_EQ(list.Caption(0), QString::fromUtf8("\u00C5\u03B1\u00BF\u00F3\u00D1\u0393.txt"));
  window.Action(QStringLiteral("mnuEncodingCP866"))->trigger();
  ASSERT_EQ(window.FileListModel().rowCount(), 1);
  EXPECT_EQ(window.FileListModel().Caption(0),
            QString::fromUtf8("\u041F\u0440\u0438\u0432\u0435\u0442.txt"));
}

TEST_F(WindowFixture, ViewSettingsSurviveARestart) {
  TfrmMain& window = MakeWindow();
  EXPECT_TRUE(window.Action(QStringLiteral("mnuDetails"))->isChecked());
  window.Action(QStringLiteral("mnuList"))->trigger();
  window.Action(QStringLiteral("mnuGridLines"))->trigger();
  window.Action(QStringLiteral("mnuToolbar"))->trigger();
  window.Action(QStringLiteral("mnuEncodingCP866"))->trigger();
  window.Action(QStringLiteral("mnuExit"))->trigger();
  Window.reset();

  TfrmMain& again = MakeWindow();
  EXPECT_TRUE(again.Action(QStringLiteral("mnuList"))->isChecked());
  EXPECT_TRUE(again.Action(QStringLiteral("mnuGridLines"))->isChecked());
  EXPECT_FALSE(again.Action(QStringLiteral("mnuToolbar"))->isChecked());
  EXPECT_EQ(again.NameEncoding(), TNameEncoding::CP866);
  auto* files = again.findChild<TFileView*>(QStringLiteral("lvFiles"));
  EXPECT_EQ(files->ViewStyle(), TFileView::vsList);
  EXPECT_TRUE(files->GridLines());
  EXPECT_EQ(AppInfo->ViewStyle, 2);
}

TEST_F(WindowFixture, SplitterPositionsAreKept) {
  TfrmMain& window = MakeWindow();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  auto* vertical = window.findChild<QSplitter*>(QStringLiteral("splVertical"));
  QSplitterHandle* handle = vertical->handle(1);
  const QPoint start = handle->rect().center();
  QTest::mousePress(handle, Qt::LeftButton, {}, start);
  QTest::mouseMove(handle, start + QPoint(40, 0));
  QTest::mouseRelease(handle, Qt::LeftButton, {}, start + QPoint(40, 0));
  const int moved = vertical->sizes().value(0);
  EXPECT_EQ(AppInfo->VSplitterPos, moved);
  EXPECT_GT(moved, 193);
  CloseWindow();
  MakeWindow();
  EXPECT_EQ(AppInfo->VSplitterPos, moved);
}

TEST_F(WindowFixture, F10MaximizesTheTextPaneAndBack) {
  TfrmMain& window = MakeWindow();
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QWidget* panes = window.findChild<QWidget*>(QStringLiteral("pnlViewPanes"));
  QTest::keyClick(&window, Qt::Key_F10);
  EXPECT_TRUE(panes->isHidden());
  EXPECT_TRUE(window.Action(QStringLiteral("mnuMaxTextPane"))->isChecked());
  QTest::keyClick(&window, Qt::Key_F10);
  EXPECT_FALSE(panes->isHidden());
  EXPECT_FALSE(window.Action(QStringLiteral("mnuMaxTextPane"))->isChecked());
}

TEST_F(WindowFixture, PlacementRoundTripIncludingMaximized) {
  TfrmMain& window = MakeWindow();
  window.show();
  window.move(40, 50);  // the frame's corner, as the window manager places it
  window.resize(700, 480);
  CloseWindow();
  TfrmMain& again = MakeWindow();
  EXPECT_EQ(AppInfo->MainFormPlacement.Bounds, (TFormBounds{40, 50, 700, 480}));
  EXPECT_EQ(again.size(), QSize(700, 480));
  EXPECT_EQ(again.pos(), QPoint(40, 50));
  again.show();
  again.setWindowState(Qt::WindowMaximized);
  CloseWindow();
  TfrmMain& third = MakeWindow();
  EXPECT_EQ(AppInfo->MainFormPlacement.State, TWindowState::wsMaximized);
  EXPECT_EQ(AppInfo->MainFormPlacement.Bounds, (TFormBounds{40, 50, 700, 480}));
  EXPECT_TRUE(third.windowState() & Qt::WindowMaximized);
}

TEST_F(WindowFixture, FilterBoxNarrowsAndEscClears) {
  const std::string path = WriteArchive("f.zip", {Stored("one.txt", "1"), Stored("two.txt", "2")});
  TfrmMain& window = MakeWindow({QString::fromStdString(path)});
  window.show();
  window.FormShow();
  auto* filter = window.findChild<QLineEdit*>(QStringLiteral("edtFilter"));
  window.Action(QStringLiteral("mnuFilter"))->trigger();
  EXPECT_TRUE(filter->hasFocus() || !window.isActiveWindow());
  QTest::keyClicks(filter, "tw");
  EXPECT_EQ(window.FileListModel().rowCount(), 1);
  QTest::keyClick(filter, Qt::Key_Escape);
  EXPECT_TRUE(filter->text().isEmpty());
  EXPECT_EQ(window.FileListModel().rowCount(), 2);
}

// ---- the virus scan ----

TEST_F(WindowFixture, ScannerGetsTheArchiveAsOneArgument) {
  const std::string scanner = WriteFile("scan er", {});
  const std::string path = WriteArchive("my \"odd\" name.zip", {Stored("a.txt", "a")});
  TfrmMain& window = MakeWindow();
  AppInfo->AntiVirus = scanner;
  AppInfo->AVParameters = "-r --log 'a b'";
  AppInfo->RunMinimized = true;
  window.ZipEngine.SetZipName(path);
  window.ScanArchive(true);
  ASSERT_EQ(Fake.Processes.Started.size(), 1u);
  const TCommand& command = Fake.Processes.Started[0].Command;
  EXPECT_EQ(command.Program, scanner);
  EXPECT_EQ(command.Arguments, (std::vector<std::string>{"-r", "--log", "a b", path}));
  EXPECT_EQ(command.WorkingFolder + "/", Fake.Root());
  EXPECT_EQ(command.Show, TShowState::Minimized);
  EXPECT_TRUE(Fake.Processes.Started[0].Waited);
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(WindowFixture, ScanWithoutScannerWarnsThenOffersToOpenThePick) {
  const std::string path = WriteArchive("pick.zip", {Stored("a.txt", "a")});
  TfrmMain& window = MakeWindow();
  AppInfo->AntiVirus = Fake.Root() + "missing";
  Host.FileDialogAnswers = {path};
  Host.MessageAnswers = {TMsgResult::Ok, TMsgResult::Yes};
  window.ScanArchive(false);
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{"The path for the anti-virus application is not valid!",
                                      "Do you want to open pick.zip?"}));
  EXPECT_EQ(Host.Messages[1].DefaultButton, TMsgResult::Yes);
  ASSERT_NE(window.Tree(), nullptr);
  EXPECT_EQ(window.windowTitle().toStdString(), "Varnel Zip - " + path);
  EXPECT_EQ(OpInfo.OpKind, TOpKind::Open);
}

TEST_F(WindowFixture, ExitWritesTheSettings) {
  TfrmMain& window = MakeWindow();
  window.Action(QStringLiteral("mnuExit"))->trigger();
  auto key = Fake.Settings.OpenKey(SettingsKeyOf(Globals.AppKey), false);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadDword("ViewStyle"), 3u);
  EXPECT_EQ(key->ReadBinary("MainFormPlacement")->size(), TFormPlacement::kBytes);
}

}  // namespace
}  // namespace vz::test
