// What every dialog shares: its caption and default button, the exact
// captions of its controls, and its help reached through the Help button,
// F1 and the title bar's What's This button. Also renders each dialog into
// the build tree as a picture for people to look at.
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QWhatsThis>

#include <functional>

#include "app/dialogs/frmOptions.h"
#include "app/dialogs/frmPasswordOptions.h"
#include "app/dialogs/frmProperties.h"
#include "app/dialogs/frmRefreshOptions.h"
#include "app/dialogs/frmReport.h"
#include "app/dialogs/frmUnzipOptions.h"
#include "app/dialogs/frmZipOptions.h"
#include "tests/app/dialogs/DialogFixture.h"

namespace vz {
namespace {

class DialogHelpTest;
using TMakeDialog = std::function<std::unique_ptr<TVzDialog>(DialogHelpTest&)>;

struct TDialogCase {
  const char* Class;
  TMakeDialog Make;
  const char* Caption;
  int Context;
  const char* DefaultButton;
  // control name, then its caption (text, title or label text)
  std::vector<std::pair<const char*, const char*>> Captions;
  friend void PrintTo(const TDialogCase& c, std::ostream* os) { *os << c.Class; }
};

class DialogHelpTest : public test::DialogFixture,
                       public ::testing::WithParamInterface<TDialogCase> {
 public:
  DialogHelpTest() {
    test::WriteFileText(Home + "/Documents/readme.txt", "r");
    test::MakeFolders(Home + "/Documents/Photos");
    Fake.AddDrive("usb", TDriveType::Removable, false, "STICK");
  }
  TShellNamespace& Names() { return *Shell; }
  const TAppContext& Context() { return App; }
  IHelpService& HelpService() { return Help; }

 protected:
  std::unique_ptr<TVzDialog> ShowDialog() {
    auto dialog = GetParam().Make(*this);
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    for (TShellTree* tree : dialog->findChildren<TShellTree*>()) EXPECT_TRUE(Settled(*tree));
    for (TShellListView* list : dialog->findChildren<TShellListView*>())
      EXPECT_TRUE(Settled(*list));
    return dialog;
  }

  static QString CaptionOf(const QObject* control) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
    if (const auto* group = qobject_cast<const QGroupBox*>(control)) return group->title();
    if (const auto* label = qobject_cast<const QLabel*>(control)) return label->text();
    return control->property("tabCaption").toString();
  }
};

TEST_P(DialogHelpTest, HasItsCaptionsAndDefaultButton) {
  const TDialogCase& c = GetParam();
  auto dialog = ShowDialog();
  EXPECT_EQ(dialog->windowTitle(), c.Caption);
  EXPECT_TRUE(dialog->windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
  EXPECT_TRUE(Find<QPushButton>(*dialog, c.DefaultButton)->isDefault());
  auto* pages = Find<QTabWidget>(*dialog, "PageControl");
  for (int i = 0; i < pages->count(); ++i) {
    pages->widget(i)->setProperty("tabCaption", pages->tabText(i));
  }
  for (const auto& [name, caption] : c.Captions) {
    EXPECT_EQ(CaptionOf(Find<QObject>(*dialog, name)).toStdString(), caption) << name;
  }
}

TEST_P(DialogHelpTest, ReachesItsTopicThroughHelpF1AndWhatsThis) {
  const int context = GetParam().Context;
  auto dialog = ShowDialog();
  QTest::mouseClick(Find<QPushButton>(*dialog, "butHelp"), Qt::LeftButton);
  EXPECT_EQ(Help.Topics, std::vector<int>{context});
  dialog->activateWindow();
  QTest::keyClick(dialog.get(), Qt::Key_F1);
  EXPECT_EQ(Help.Topics, (std::vector<int>{context, context}));
  // The title bar's button starts What's This mode; the control clicked
  // next asks for its topic.
  QEvent enter(QEvent::EnterWhatsThisMode);
  QApplication::sendEvent(dialog.get(), &enter);
  ASSERT_TRUE(QWhatsThis::inWhatsThisMode());
  QTest::mouseClick(Find<QWidget>(*dialog, "PageControl"), Qt::LeftButton);
  EXPECT_TRUE(WaitFor([] { return !QWhatsThis::inWhatsThisMode(); }));
  EXPECT_EQ(Help.Topics, (std::vector<int>{context, context, context}));
}

// Renders the dialog, every page of it, into the build tree.
TEST_P(DialogHelpTest, RendersEachPageAsAPicture) {
  auto dialog = ShowDialog();
  const QString folder = QStringLiteral(VZ_SCREENSHOT_DIR);
  ASSERT_TRUE(QDir().mkpath(folder));
  auto* pages = Find<QTabWidget>(*dialog, "PageControl");
  for (int i = 0; i < pages->count(); ++i) {
    pages->setCurrentIndex(i);
    const QString file =
        QStringLiteral("%1/%2-%3.png")
            .arg(folder, QString::fromLatin1(GetParam().Class), pages->widget(i)->objectName());
    EXPECT_TRUE(dialog->grab().save(file)) << file.toStdString();
  }
}

std::unique_ptr<TVzDialog> MakeZipOptions(DialogHelpTest& t) {
  auto form = std::make_unique<TfrmZipOptions>(t.Context(), t.HelpService(), t.Names());
  form->findChild<QLineEdit*>("edtFileName")->setText("backup");
  auto* tree = form->findChild<TShellTree*>("stFolders");
  tree->setCurrentIndex(
      test::DialogFixture::ChildCaptioned(tree->Model(), tree->Model().RootIndex(), "Documents"));
  return form;
}

std::unique_ptr<TVzDialog> MakeUnzipOptions(DialogHelpTest& t) {
  auto form = std::make_unique<TfrmUnzipOptions>(t.Context(), t.HelpService(), t.Names());
  TUnzipSetup setup;
  setup.DefaultFolder = "/home/user/Downloads/a very long folder name/with blanks and ümlauts/";
  setup.SelectedEnabled = true;
  setup.StoredPathsEnabled = true;
  form->Prepare(setup);
  return form;
}

std::unique_ptr<TVzDialog> MakeRefreshOptions(DialogHelpTest& t) {
  auto form = std::make_unique<TfrmRefreshOptions>(t.Context(), t.HelpService(), t.Names());
  form->Prepare({"/home/user/Projects/", true});
  return form;
}

std::unique_ptr<TVzDialog> MakePasswordOptions(DialogHelpTest& t) {
  auto form = std::make_unique<TfrmPasswordOptions>(t.Context(), t.HelpService());
  form->Prepare(2, true);
  return form;
}

std::unique_ptr<TVzDialog> MakeReport(DialogHelpTest& t) {
  auto form = std::make_unique<TfrmReport>(t.Context(), t.HelpService());
  TReportContent content;
  content.Results = {{"Filename", "Backup.zip"},
                     {"Modified", "14/11/2023 22:13"},
                     {"File Size", "1.5MB"},
                     {"Compressed Size", "1.48MB"},
                     {"Uncompressed Size", "4.2MB"},
                     {"Compression Ratio", "2.84 :1"},
                     {"Requested Files", "1,234"},
                     {"Compressed Files", "1,232"},
                     {"Files Not Found", "2", kStateError},
                     {"Comment", "Weekly backup"}};
  content.ActionCaption = "Zipped";
  content.Problems = {{"Notes.txt", "No", "No such file or directory", ""},
                      {"Grüße.odt", "No", "Permission denied", "/tmp/Grüße.odt"}};
  content.StateImages = true;
  form->Fill(content, true);
  return form;
}

std::unique_ptr<TVzDialog> MakeOptions(DialogHelpTest& t) {
  auto form = std::make_unique<TfrmOptions>(t.Context(), t.HelpService());
  TAppInfo settings(t.Context(), {1024, 768});
  settings.AntiVirus = "/usr/bin/clamscan";
  settings.AVParameters = "--infected --recursive";
  settings.AutoScan = true;
  settings.FileViewer = "/usr/bin/xdg-open";
  settings.DefCompressLevel = 8;
  form->Prepare(settings);
  return form;
}

std::unique_ptr<TVzDialog> MakeProperties(DialogHelpTest& t) {
  auto form = std::make_unique<TfrmProperties>(t.Context(), t.HelpService());
  TPropertiesContent content;
  content.Rows = {{"Filename", "Backup.zip"},    {"Modified", "14/11/2023 22:13"},
                  {"File Size", "1.5MB"},        {"Uncompressed Size", "4.2MB"},
                  {"Compressed Size", "1.48MB"}, {"Compression Ratio", "2.84 :1"},
                  {"Compressed Files", "1,234"}};
  content.Comment = "Weekly backup of the project folder.\nKept for four weeks.";
  form->Fill(content, true, false);
  return form;
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, DialogHelpTest,
    ::testing::Values(
        TDialogCase{"TfrmZipOptions",
                    MakeZipOptions,
                    "New",
                    2000,
                    "butZip",
                    {{"butZip", "&Zip"},
                     {"butCancel", "&Cancel"},
                     {"butHelp", "&Help"},
                     {"tsGeneral", "General"},
                     {"tsFiles", "Files"},
                     {"tsSecurity", "Security"},
                     {"tsCompression", "Compression"},
                     {"lblFileName", "&Enter a filename without a file extension"},
                     {"lblPath", "Enter an existing or new destination &folder"},
                     {"gbStore", "&Store..."},
                     {"radStoreVolumes", "&Volume and path information"},
                     {"radStorePaths", "&Path information"},
                     {"radRelativePaths", "&Relative path information"},
                     {"radNoPathInfo", "&No path information"},
                     {"chkCreateSFX", "Create a &self-extracting zipfile"},
                     {"lblBrowse", "&Browse for a destination folder"},
                     {"lblFolders", "&Browse for files or folders"},
                     {"chkInclude", "&Include subfolders"},
                     {"lblPassword", "&Enter a password"},
                     {"lblConfirmPassword", "Confirm &password"},
                     {"butReset", "&Reset"}}},
        TDialogCase{"TfrmUnzipOptions",
                    MakeUnzipOptions,
                    "Unzip",
                    2010,
                    "butUnzip",
                    {{"butUnzip", "&Unzip"},
                     {"lblPath", "&Enter an existing or new destination folder"},
                     {"lblBrowse", "&Browse for a destination folder"},
                     {"gpUnzip", "U&nzip..."},
                     {"radDoAll", "&All files"},
                     {"radSelected", "Selected &files"},
                     {"chkAlwaysOverwrite", "Always &overwrite existing files"},
                     {"gbUse", "Use the zipfile's &stored..."},
                     {"radStoredVolume", "&Volume and path information"},
                     {"radStoredPaths", "&Path information"},
                     {"radNoStoredPaths", "&No path information"}}},
        TDialogCase{"TfrmRefreshOptions",
                    MakeRefreshOptions,
                    "Refresh",
                    1990,
                    "butRefresh",
                    {{"butRefresh", "&Refresh"},
                     {"lblPath", "Change &source folder"},
                     {"lblBrowse", "&Browse for source folder"},
                     {"gpRefresh", "Refre&sh..."},
                     {"GroupBox1", "&Method"},
                     {"radReplaceOldAddNew", "Replace older files and add &new files"},
                     {"radReplaceOld", "Replace &older files"},
                     {"radReplaceNoVersion", "Re&place/add (no version checking)"}}},
        TDialogCase{"TfrmPasswordOptions",
                    MakePasswordOptions,
                    "Password",
                    2040,
                    "butEncrypt",
                    {{"butEncrypt", "&OK"},
                     {"gpOperateOn", "Encryp&t..."},
                     {"radDoAll", "&All files"},
                     {"radSelected", "Selected &files"},
                     {"lblPassword", "&Enter a password"},
                     {"lblConfirmPassword", "Confirm &password"},
                     {"butReset", "&Reset"}}},
        TDialogCase{"TfrmOptions",
                    MakeOptions,
                    "Options",
                    2130,
                    "butOK",
                    {{"butOK", "&OK"},
                     {"tsGeneral", "General"},
                     {"tsAntiVirus", "Anti-virus"},
                     {"tsViewer", "Viewer"},
                     {"grpLevel", "Default compression &level "},
                     {"butReset", "&Reset"},
                     {"grpPassword", "&Password display"},
                     {"chkPasswordChar", "&Use password character"},
                     {"butBrowseAntiVirus", "..."},
                     {"chkAutoScan", "Automatically &scan zipfiles when opened"},
                     {"chkRunMinimized", "Run &minimized"},
                     {"butBrowseViewer", "..."}}},
        TDialogCase{"TfrmProperties",
                    MakeProperties,
                    "Properties",
                    2120,
                    "butOK",
                    {{"butOK", "&OK"},
                     {"tsGeneral", "General"},
                     {"tsComments", "Comment"},
                     {"lblComment", "&Enter comment"}}},
        TDialogCase{
            "TfrmReport",
            MakeReport,
            "Report",
            2090,
            "butOK",
            {{"butOK", "&OK"}, {"tsResults", "Results"}, {"tsProblemFiles", "Problem Files"}}}),
    [](const auto& param) { return std::string(param.param.Class); });

}  // namespace
}  // namespace vz
