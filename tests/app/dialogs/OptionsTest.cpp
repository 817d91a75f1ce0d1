// The options dialog: loading from the settings, which switches a scanner
// enables, the checks of OK with the page each failure shows, browsing for
// programs, the Help button by page, and the answers written back.
#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>

#include "app/core/AppInfo.h"
#include "app/dialogs/frmOptions.h"
#include "tests/app/dialogs/DialogFixture.h"

namespace vz {
namespace {

class OptionsTest : public test::DialogFixture {
 protected:
  OptionsTest() : Settings(App, {1024, 768}) {
    Scanner = Path("scanner");
    Viewer = Path("viewer");
    test::WriteFileText(Scanner, "");
    test::WriteFileText(Viewer, "");
  }
  template <typename T>
  T* Get(const char* name) {
    return Find<T>(Form, name);
  }
  QLineEdit* Edit(const char* name) { return Get<QLineEdit>(name); }
  void Click(const char* button) { Get<QPushButton>(button)->click(); }

  TAppInfo Settings;
  TfrmOptions Form{App, Help};
  std::string Scanner;
  std::string Viewer;
};

TEST_F(OptionsTest, LoadsTheSettings) {
  Settings.PasswordChar = true;
  Settings.DefCompressLevel = 3;
  Settings.AntiVirus = Scanner;
  Settings.AVParameters = "-r";
  Settings.RunMinimized = true;
  Settings.AutoScan = true;
  Settings.FileViewer = Viewer;
  Form.Prepare(Settings);
  EXPECT_TRUE(Get<QCheckBox>("chkPasswordChar")->isChecked());
  EXPECT_EQ(Get<QSlider>("TrackBar")->value(), 3);
  EXPECT_EQ(Edit("edtAntiVirus")->text().toStdString(), Scanner);
  EXPECT_EQ(Edit("edtParameters")->text(), "-r");
  EXPECT_TRUE(Get<QCheckBox>("chkRunMinimized")->isChecked());
  EXPECT_TRUE(Get<QCheckBox>("chkAutoScan")->isChecked());
  EXPECT_TRUE(Get<QCheckBox>("chkAutoScan")->isEnabled());
  EXPECT_EQ(Edit("edtViewer")->text().toStdString(), Viewer);
  const TOptionsAnswers answers = Form.Answers();
  EXPECT_EQ(answers.AntiVirus, Scanner);
  EXPECT_EQ(answers.FileViewer, Viewer);
  EXPECT_EQ(answers.DefCompressLevel, 3);
  EXPECT_TRUE(answers.AutoScan && answers.RunMinimized && answers.PasswordChar);
}

TEST_F(OptionsTest, TheScanSwitchesNeedAScanner) {
  Form.Prepare(Settings);
  auto* autoScan = Get<QCheckBox>("chkAutoScan");
  auto* minimized = Get<QCheckBox>("chkRunMinimized");
  EXPECT_FALSE(autoScan->isEnabled());
  EXPECT_FALSE(minimized->isEnabled());
  Edit("edtAntiVirus")->setText(QString::fromStdString(Scanner));
  EXPECT_TRUE(autoScan->isEnabled());
  EXPECT_TRUE(minimized->isEnabled());
  autoScan->setChecked(true);
  minimized->setChecked(true);
  Edit("edtAntiVirus")->setText(QStringLiteral("   "));
  EXPECT_FALSE(autoScan->isEnabled());
  EXPECT_FALSE(autoScan->isChecked());
  EXPECT_FALSE(minimized->isEnabled());
  EXPECT_TRUE(minimized->isChecked());
}

struct TCheckCase {
  const char* Name;
  const char* Scanner;  // "" none, "ok" the scanner, "folder", else a missing name
  const char* Viewer;
  const char* Page;     // the page shown after OK; "" when accepted
  const char* Message;  // the warning; "" when accepted
  friend void PrintTo(const TCheckCase& c, std::ostream* os) { *os << c.Name; }
};

class OptionsChecks : public OptionsTest, public ::testing::WithParamInterface<TCheckCase> {
 protected:
  std::string PathFor(const std::string& kind, const std::string& good) {
    if (kind.empty()) return "";
    if (kind == "ok") return "  " + good + " \t";
    if (kind == "folder") return Home;
    return Path(kind);
  }
};

TEST_P(OptionsChecks, OKChecksThePathsInOrder) {
  const TCheckCase& c = GetParam();
  Form.Prepare(Settings);
  Form.show();
  auto* pages = Get<QTabWidget>("PageControl");
  pages->setCurrentIndex(0);
  Edit("edtAntiVirus")->setText(QString::fromStdString(PathFor(c.Scanner, Scanner)));
  Edit("edtParameters")->setText(QStringLiteral("  -r  "));
  Edit("edtViewer")->setText(QString::fromStdString(PathFor(c.Viewer, Viewer)));
  Click("butOK");
  if (*c.Message == '\0') {
    EXPECT_EQ(Form.result(), QDialog::Accepted);
    EXPECT_TRUE(Host.Messages.empty());
    EXPECT_EQ(Edit("edtParameters")->text(), "-r");
    const TOptionsAnswers answers = Form.Answers();
    EXPECT_EQ(answers.AntiVirus, *c.Scanner ? Scanner : "");
    EXPECT_EQ(answers.FileViewer, *c.Viewer ? Viewer : "");
    return;
  }
  EXPECT_NE(Form.result(), QDialog::Accepted);
  EXPECT_TRUE(Form.isVisible());
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Host.Messages[0].Text, c.Message);
  EXPECT_EQ(Host.Messages[0].Icon, TMsgIcon::Warning);
  EXPECT_EQ(pages->currentWidget()->objectName(), c.Page);
  const char* focus = std::string(c.Page) == "tsViewer" ? "edtViewer" : "edtAntiVirus";
  EXPECT_EQ(Form.focusWidget(), Edit(focus));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OptionsChecks,
    ::testing::Values(
        TCheckCase{"BothEmpty", "", "", "", ""},
        TCheckCase{"BothFineAndTrimmed", "ok", "ok", "", ""},
        TCheckCase{"MissingScanner", "gone-scan", "ok", "tsAntiVirus", "gone-scan does not exist!"},
        TCheckCase{"ScannerIsAFolder", "folder", "", "tsAntiVirus", "home does not exist!"},
        TCheckCase{"MissingViewer", "ok", "no-viewer", "tsViewer", "no-viewer does not exist!"},
        TCheckCase{"BothMissingScannerFirst", "gone-scan", "no-viewer", "tsAntiVirus",
                   "gone-scan does not exist!"}),
    [](const auto& param) { return std::string(param.param.Name); });

TEST_F(OptionsTest, BrowseListsProgramsAndTakesTheChoice) {
  Form.Prepare(Settings);
  Host.FileDialogAnswers = {Viewer, std::nullopt};
  Click("butBrowseViewer");
  EXPECT_EQ(Edit("edtViewer")->text().toStdString(), Viewer);
  Click("butBrowseAntiVirus");  // cancelled
  EXPECT_TRUE(Edit("edtAntiVirus")->text().isEmpty());
  ASSERT_EQ(Host.FileDialogs.size(), 2u);
  EXPECT_EQ(Host.FileDialogs[0].Title, "Browse for File Viewer Application");
  EXPECT_EQ(Host.FileDialogs[1].Title, "Browse for AntiVirus Application");
  EXPECT_EQ(Host.FileDialogs[0].Filter, kProgramFilter);
  EXPECT_EQ(Host.BusyDepth, 0);
  EXPECT_GT(Host.BusyCalls, 0);
}

TEST_F(OptionsTest, HelpFollowsThePageAndResetGoesBackToSix) {
  auto* pages = Get<QTabWidget>("PageControl");
  for (int page = 0; page < 3; ++page) {
    pages->setCurrentIndex(page);
    Click("butHelp");
  }
  EXPECT_EQ(Help.Topics, (std::vector<int>{2130, 2050, 2020}));
  Get<QSlider>("TrackBar")->setValue(9);
  Click("butReset");
  EXPECT_EQ(Get<QSlider>("TrackBar")->value(), 6);
}

TEST_F(OptionsTest, AnswersAreWrittenBackAndTheOptionsSaved) {
  Fake.Environment.Programs["xdg-open"] = Path("xdg-open");
  test::WriteFileText(Path("xdg-open"), "");
  TOptionsAnswers answers;
  answers.AutoScan = true;
  answers.AntiVirus = Scanner;
  answers.AVParameters = "--infected";
  answers.DefCompressLevel = 9;
  answers.FileViewer = Path("gone");  // no such viewer: the desktop's opener
  answers.PasswordChar = true;
  answers.RunMinimized = true;
  ApplyOptions(answers, Settings);
  EXPECT_EQ(Settings.FileViewer, Path("xdg-open"));
  EXPECT_EQ(Settings.DefCompressLevel, 9);
  const std::string key = SettingsKeyOf(Globals.AppKey);
  EXPECT_EQ(Fake.Settings.Value(key, "AntiVirus"), TSettingValue(Scanner));
  EXPECT_EQ(Fake.Settings.Value(key, "DefCompressLevel"), TSettingValue(u32{9}));
  EXPECT_EQ(Fake.Settings.Value(key, "AutoScan"), TSettingValue(u32{1}));
  EXPECT_FALSE(Fake.Settings.Value(key, "FileViewer"));  // not an option of this dialog
}

}  // namespace
}  // namespace vz
