// The password and overwrite prompts through their controls: results,
// trimming, the rename checks with their exact warnings, Enter as Rename.
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/dialogs/frmOverwrite.h"
#include "app/dialogs/frmPassword.h"
#include "tests/app/dialogs/DialogFixture.h"

namespace vz {
namespace {

class PromptsTest : public test::DialogFixture {
 protected:
  static void Click(QWidget& prompt, const char* name) {
    QTest::mouseClick(Find<QPushButton>(prompt, name), Qt::LeftButton);
  }
  static void Show(QWidget& prompt) {
    prompt.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&prompt));
  }
};

struct TButtonCase {
  const char* Button;
  int Result;
};

class PasswordButtons : public PromptsTest, public ::testing::WithParamInterface<TButtonCase> {};

TEST_P(PasswordButtons, CloseWithTheirResults) {
  TfrmPassword prompt;
  prompt.SetFileName("docs/Secret File.TXT");
  Show(prompt);
  EXPECT_EQ(Find<QLabel>(prompt, "lblFileName")->text(), "docs/Secret File.TXT");
  EXPECT_EQ(prompt.focusWidget(), Find<QLineEdit>(prompt, "edtPassword"));
  QTest::keyClicks(Find<QLineEdit>(prompt, "edtPassword"), "  pass word\t");
  Click(prompt, GetParam().Button);
  EXPECT_EQ(prompt.result(), GetParam().Result);
  EXPECT_FALSE(prompt.isVisible());
}

INSTANTIATE_TEST_SUITE_P(Buttons, PasswordButtons,
                         ::testing::Values(TButtonCase{"butOK", mrOk}, TButtonCase{"butSkip", mrNo},
                                           TButtonCase{"butSkipAll", mrNoToAll}));

TEST_F(PromptsTest, PasswordIsTrimmedLimitedAndMaskedOnRequest) {
  TfrmPassword prompt;
  auto* box = Find<QLineEdit>(prompt, "edtPassword");
  EXPECT_EQ(box->maxLength(), 100);
  EXPECT_EQ(box->echoMode(), QLineEdit::Normal);
  prompt.MaskPassword();
  EXPECT_EQ(box->echoMode(), QLineEdit::Password);
  Show(prompt);
  QTest::keyClicks(box, "  secret ");
  QTest::keyClick(box, Qt::Key_Return);  // OK is the default button
  EXPECT_EQ(prompt.result(), mrOk);
  EXPECT_EQ(prompt.Password(), "secret");
  TfrmPassword empty;
  Show(empty);
  Click(empty, "butOK");
  EXPECT_EQ(empty.result(), mrOk);  // an empty password is handed back too
  EXPECT_EQ(empty.Password(), "");
}

class OverwriteButtons : public PromptsTest, public ::testing::WithParamInterface<TButtonCase> {};

TEST_P(OverwriteButtons, CloseWithTheirResults) {
  TfrmOverwrite prompt(App);
  prompt.SetFileName("Read Me.TXT");
  Show(prompt);
  EXPECT_EQ(Find<QLabel>(prompt, "lblFileName")->text(),
            "Read Me.TXT already exists!\n\nDo you want to; overwrite the file, skip the file, or "
            "rename the file?");
  EXPECT_EQ(prompt.focusWidget(), Find<QLineEdit>(prompt, "edtNewFileName"));
  Click(prompt, GetParam().Button);
  EXPECT_EQ(prompt.result(), GetParam().Result);
}

INSTANTIATE_TEST_SUITE_P(Buttons, OverwriteButtons,
                         ::testing::Values(TButtonCase{"butOverwrite", mrYes},
                                           TButtonCase{"butSkip", mrNo},
                                           TButtonCase{"butOverwriteAll", mrYesToAll},
                                           TButtonCase{"butSkipAll", mrNoToAll}));

struct TRenameCase {
  const char* Label;
  std::string Typed;
  std::string Warning;  // "" when the rename is taken
  friend void PrintTo(const TRenameCase& c, std::ostream* os) { *os << c.Label; }
};

class RenameChecks : public PromptsTest, public ::testing::WithParamInterface<TRenameCase> {};

// The name is looked up in the member's target folder, not the current one.
TEST_P(RenameChecks, RefuseWhatCannotBeANewFileThere) {
  const TRenameCase& c = GetParam();
  test::MakeFolders(Path("target"));
  test::WriteFileText(Path("target/taken.txt"), "x");
  TfrmOverwrite prompt(App);
  prompt.SetTargetFolder(Path("target"));
  Show(prompt);
  auto* box = Find<QLineEdit>(prompt, "edtNewFileName");
  box->setText(QString::fromStdString(c.Typed));
  QTest::keyClick(box, Qt::Key_Return);
  if (c.Warning.empty()) {
    EXPECT_EQ(prompt.result(), mrRetry);
    EXPECT_EQ(prompt.NewFileName(), "fresh name.txt");
    EXPECT_TRUE(Host.Messages.empty());
    return;
  }
  EXPECT_EQ(prompt.result(), mrNone);
  EXPECT_TRUE(prompt.isVisible());
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Host.Messages[0].Text, c.Warning);
  EXPECT_EQ(Host.Messages[0].Icon, TMsgIcon::Warning);
  EXPECT_EQ(Host.Messages[0].Caption, "Varnel Zip");
  EXPECT_EQ(prompt.focusWidget(), box);
}

const std::string kInvalid = "Invalid file name!\r\r\" * / : < > ? \\ | are not allowed.";

INSTANTIATE_TEST_SUITE_P(Names, RenameChecks,
                         ::testing::Values(TRenameCase{"Taken", "  fresh name.txt  ", ""},
                                           TRenameCase{"Empty", "   ", "Invalid file name!"},
                                           TRenameCase{"FolderSeparator", "sub/x.txt", kInvalid},
                                           TRenameCase{"Backslash", "a\\b", kInvalid},
                                           TRenameCase{"Quote", "say \"hi\"", kInvalid},
                                           TRenameCase{"Exists", "taken.txt",
                                                       "File already exists!"},
                                           TRenameCase{"Parent", "..", "File already exists!"}),
                         [](const auto& test) { return std::string(test.param.Label); });

// Both prompts as a person sees them, into the build tree.
TEST_F(PromptsTest, RenderAsPictures) {
  const QString folder = QStringLiteral(VZ_SCREENSHOT_DIR);
  ASSERT_TRUE(QDir().mkpath(folder));
  TfrmPassword password;
  password.setWindowTitle(QStringLiteral("Varnel Zip"));
  password.SetFileName("budget 2024.xlsx");
  TfrmOverwrite overwrite(App);
  overwrite.setWindowTitle(QStringLiteral("Varnel Zip"));
  overwrite.SetFileName("readme.txt");
  for (auto [prompt, name] : {std::pair<QDialog*, const char*>{&password, "TfrmPassword"},
                              std::pair<QDialog*, const char*>{&overwrite, "TfrmOverwrite"}}) {
    Show(*prompt);
    const QImage picture = prompt->grab().toImage();
    EXPECT_GT(picture.width(), 200);
    EXPECT_TRUE(picture.save(folder + QLatin1Char('/') + QLatin1String(name) + ".png")) << name;
  }
}

}  // namespace
}  // namespace vz
