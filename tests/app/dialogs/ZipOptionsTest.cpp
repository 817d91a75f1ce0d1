// The add-files dialog driven through its controls: the checks in order with
// their texts, pages and focus, the overwrite and folder questions, the
// include-subfolders rule, tooltips, the tree toggles, and the hand-over to
// a real engine.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>

#include "app/dialogs/frmZipOptions.h"
#include "engine/writer/ZipEngine.h"
#include "tests/app/dialogs/DialogFixture.h"

namespace vz {
namespace {

using test::FileExists;
using test::MakeFolders;
using test::WriteFileText;

class ZipOptionsTest : public test::DialogFixture {
 protected:
  ZipOptionsTest() {
    Out = Path("out");
    MakeFolders(Out);
    MakeFolders(Home + "/Documents/sub");
    WriteFileText(Home + "/Documents/a.txt", "a");
    WriteFileText(Home + "/Documents/sub/deep.txt", "d");
    Form = std::make_unique<TfrmZipOptions>(App, Help, *Shell);
    Form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    EXPECT_TRUE(Settled(*Tree("stFolders")) && Settled(*Tree("stBrowse")));
  }

  TShellTree* Tree(const char* name) { return Find<TShellTree>(*Form, name); }
  TShellListView* List() { return Find<TShellListView>(*Form, "lvFiles"); }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(*Form, name); }
  // Typed key by key; Qt Test has keys for ASCII only, so other text is set.
  void Type(const char* name, const std::string& text) {
    Edit(name)->clear();
    const QString typed = QString::fromStdString(text);
    if (typed.size() == static_cast<qsizetype>(text.size())) {
      QTest::keyClicks(Edit(name), typed);
    } else {
      Edit(name)->setText(typed);
    }
  }
  void Click(const char* name) {
    QTest::mouseClick(Find<QAbstractButton>(*Form, name), Qt::LeftButton);
  }
  QString Page() { return Find<QTabWidget>(*Form, "PageControl")->currentWidget()->objectName(); }
  QString Focused() { return Form->focusWidget() ? Form->focusWidget()->objectName() : QString(); }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& box : Host.Messages) texts.push_back(box.Text);
    return texts;
  }
  // Selects Documents in stFolders, which fills lvFiles with its contents.
  void PickDocuments() {
    TShellTree* tree = Tree("stFolders");
    tree->setCurrentIndex(ChildCaptioned(tree->Model(), tree->Model().RootIndex(), "Documents"));
    EXPECT_TRUE(Settled(*List()));
  }

  std::string Out;
  std::unique_ptr<TfrmZipOptions> Form;
};

struct TCheckCase {
  const char* Label;
  std::string FileName;
  bool PickSource;
  std::string Password, Confirm;
  std::vector<std::string> Messages;
  const char* Page;
  const char* Focus;
  friend void PrintTo(const TCheckCase& c, std::ostream* os) { *os << c.Label; }
};

class ZipOptionsCheckTest : public ZipOptionsTest,
                            public ::testing::WithParamInterface<TCheckCase> {};

TEST_P(ZipOptionsCheckTest, ChecksInOrderAndShowsThePageAndControlConcerned) {
  const TCheckCase& c = GetParam();
  Type("edtFileName", c.FileName);
  Type("edtPath", Out);
  if (c.PickSource) PickDocuments();
  Type("edtPassword", c.Password);
  Type("edtConfirmPassword", c.Confirm);
  Click("butZip");
  EXPECT_EQ(Texts(), c.Messages);
  for (const auto& box : Host.Messages) {
    EXPECT_EQ(box.Caption, "Varnel Zip");
    EXPECT_EQ(box.Icon, TMsgIcon::Warning);
  }
  EXPECT_EQ(Form->result() == QDialog::Accepted, c.Messages.empty());
  if (c.Messages.empty()) return;
  EXPECT_EQ(Page(), c.Page);
  EXPECT_EQ(Focused(), c.Focus);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ZipOptionsCheckTest,
    ::testing::Values(
        TCheckCase{
            "EmptyName", "   ", true, "", "", {"Filename required!"}, "tsGeneral", "edtFileName"},
        TCheckCase{"TwoForbiddenCharacters",
                   "a*b?",
                   true,
                   "",
                   "",
                   {"a*b? is not a valid filename!", "a*b? is not a valid filename!"},
                   "tsGeneral",
                   "edtFileName"},
        TCheckCase{"NothingSelected",
                   "ok",
                   false,
                   "",
                   "",
                   {"No file(s) or folder selected!"},
                   "tsFiles",
                   "stFolders"},
        TCheckCase{"PasswordsDiffer",
                   "ok",
                   true,
                   "abc",
                   "abd",
                   {"Passwords do not match!"},
                   "tsSecurity",
                   "edtPassword"},
        TCheckCase{"PasswordsDifferInCase",
                   "ok",
                   true,
                   "Secret",
                   "secret",
                   {"Passwords do not match!"},
                   "tsSecurity",
                   "edtPassword"},
        TCheckCase{"BlanksAroundPasswordsMatch", "ok", true, "  pw ", "pw", {}, "", ""},
        TCheckCase{"EmptyPasswordsMatch", "ok", true, "", "", {}, "", ""},
        TCheckCase{"Utf8Name", "Grüße 日本", true, "", "", {}, "", ""}),
    [](const auto& param) { return std::string(param.param.Label); });

TEST_F(ZipOptionsTest, AsksAboutTheExeEvenAfterNoForTheZip) {
  WriteFileText(Out + "/backup.zip", "z");
  WriteFileText(Out + "/backup.exe", "e");
  Type("edtFileName", "backup");
  Type("edtPath", Out + "/");  // a folder ending in "/" gets no second one
  PickDocuments();
  Find<QCheckBox>(*Form, "chkCreateSFX")->setChecked(true);
  Host.MessageAnswers = {TMsgResult::No, TMsgResult::Yes};
  Click("butZip");
  ASSERT_EQ(Host.Messages.size(), 2u);
  EXPECT_EQ(Host.Messages[0].Text, "File already exist!\r\rDo you want to overwrite backup.zip?");
  EXPECT_EQ(Host.Messages[1].Text, "File already exist!\r\rDo you want to overwrite backup.exe?");
  for (const auto& box : Host.Messages) {
    EXPECT_EQ(box.Buttons, TMsgButtons::YesNo);
    EXPECT_EQ(box.DefaultButton, TMsgResult::No);
  }
  EXPECT_TRUE(FileExists(Out + "/backup.zip"));
  EXPECT_FALSE(FileExists(Out + "/backup.exe"));
  EXPECT_NE(Form->result(), QDialog::Accepted);
  EXPECT_EQ(Page(), "tsGeneral");
  EXPECT_EQ(Focused(), "edtFileName");
}

TEST_F(ZipOptionsTest, WarnsWhenTheOldArchiveCannotBeReplaced) {
  MakeFolders(Out + "/backup.zip/inside");
  Type("edtFileName", "backup");
  Type("edtPath", Out);
  PickDocuments();
  Host.MessageAnswers = {TMsgResult::Yes};
  Click("butZip");
  EXPECT_EQ(Texts(),
            (std::vector<std::string>{"File already exist!\r\rDo you want to overwrite backup.zip?",
                                      "Could not replace backup.zip!"}));
  EXPECT_NE(Form->result(), QDialog::Accepted);
}

TEST_F(ZipOptionsTest, OffersToCreateAMissingFolderAndMakesItCurrent) {
  const std::string folder = Path("new");
  Type("edtFileName", "a");
  Type("edtPath", folder);
  PickDocuments();
  Host.MessageAnswers = {TMsgResult::No};
  Click("butZip");
  ASSERT_EQ(Texts(), std::vector<std::string>{"Folder does not exist!\r\rDo you want to create "
                                              "the folder, " +
                                              folder + "?"});
  EXPECT_EQ(Host.Messages[0].DefaultButton, TMsgResult::Yes);
  EXPECT_FALSE(FileExists(folder));
  EXPECT_EQ(Focused(), "edtPath");
  EXPECT_NE(Form->result(), QDialog::Accepted);
  Host.MessageAnswers = {TMsgResult::Yes};
  Click("butZip");
  EXPECT_TRUE(FileExists(folder));
  EXPECT_EQ(Fake.Files.CurrentFolder(), folder);
  EXPECT_EQ(Form->result(), QDialog::Accepted);
}

// The Security page's selector starts at the cipher last chosen and hands
// the choice over with the password.
TEST_F(ZipOptionsTest, EncryptionSelectorSitsOnTheSecurityPage) {
  auto* box = Find<QComboBox>(*Form, "cbEncryption");
  EXPECT_EQ(box->parentWidget()->objectName(), "tsSecurity");
  EXPECT_EQ(box->currentIndex(), 0);
  Form->Prepare(6, false, 2);
  EXPECT_EQ(box->currentText(), "AES-256");
  Type("edtFileName", "secret");
  Type("edtPath", Out);
  Type("edtPassword", "pw");
  Type("edtConfirmPassword", "pw");
  PickDocuments();
  Click("butZip");
  ASSERT_EQ(Form->result(), QDialog::Accepted) << testing::PrintToString(Texts());
  EXPECT_EQ(Form->Answers().Encryption, TZipEncryption::Aes256);
  EXPECT_EQ(Form->Answers().Password, "pw");
}

struct TNameCase {
  std::string Typed, Final;
};

class ZipOptionsNameTest : public ZipOptionsTest,
                           public ::testing::WithParamInterface<TNameCase> {};

TEST_P(ZipOptionsNameTest, GivesTheArchiveTheZipExtensionInARelativeFolderMadeAbsolute) {
  ASSERT_TRUE(Fake.Files.SetCurrentFolder(Fake.Root()));
  Type("edtFileName", GetParam().Typed);
  Type("edtPath", "out");
  PickDocuments();
  Click("butZip");
  ASSERT_EQ(Form->result(), QDialog::Accepted) << testing::PrintToString(Texts());
  EXPECT_EQ(Edit("edtFileName")->text().toStdString(), GetParam().Final);
  const TZipOptionsAnswers answers = Form->Answers();
  EXPECT_EQ(answers.FileName, GetParam().Final);
  EXPECT_EQ(answers.Path, Out);  // the folder is current now: "out" would point elsewhere
  EXPECT_EQ(Fake.Files.CurrentFolder(), Out);
}

INSTANTIATE_TEST_SUITE_P(Names, ZipOptionsNameTest,
                         ::testing::Values(TNameCase{"backup.old", "backup.zip"},
                                           TNameCase{"backup", "backup.zip"},
                                           TNameCase{"a.b.c", "a.b.zip"},
                                           TNameCase{".profile", ".profile.zip"},
                                           TNameCase{"my backup.old", "my backup.zip"},
                                           TNameCase{"Grüße 日本.old", "Grüße 日本.zip"}));

TEST_F(ZipOptionsTest, KeepsTheBytesOfAFolderNameThatIsNotUtf8) {
  const std::string folder = Home + "/Documents/bad\xff";
  MakeFolders(folder);
  TShellTree* tree = Tree("stBrowse");
  const QModelIndex docs = ChildCaptioned(tree->Model(), tree->Model().RootIndex(), "Documents");
  tree->expand(docs);
  ASSERT_TRUE(Settled(*tree));
  ClickRow(*tree, ChildCaptioned(tree->Model(), docs, QString::fromUtf8("bad\xEF\xBF\xBD")));
  EXPECT_EQ(Edit("edtPath")->text(), DisplayText(folder));  // shown with a replacement character
  Type("edtFileName", "a");
  PickDocuments();
  Click("butZip");
  ASSERT_EQ(Form->result(), QDialog::Accepted);
  EXPECT_EQ(Form->Answers().Path, folder);  // handled by its own bytes
  EXPECT_EQ(Fake.Files.CurrentFolder(), folder);
}

TEST_F(ZipOptionsTest, FollowsAFolderPickedInTheListAndDisablesIncludeForAFile) {
  auto* include = Find<QCheckBox>(*Form, "chkInclude");
  Find<QTabWidget>(*Form, "PageControl")->setCurrentIndex(1);
  PickDocuments();
  TShellListView* list = List();
  ASSERT_EQ(list->Model().Count(), 2);
  EXPECT_EQ(list->Model().Item(0).Caption, "sub");  // folders first
  ClickRow(*list, list->IndexOf(0));
  EXPECT_TRUE(include->isEnabled());
  ASSERT_TRUE(Settled(*Tree("stFolders")) && Settled(*list));
  EXPECT_EQ(Tree("stFolders")->SelectedPath(), Home + "/Documents/sub");
  ASSERT_EQ(list->Model().Count(), 1);
  ClickRow(*list, list->IndexOf(0));
  EXPECT_FALSE(include->isEnabled());
  TShellTree* tree = Tree("stFolders");
  ClickRow(*tree, tree->currentIndex());
  EXPECT_TRUE(include->isEnabled());
}

TEST_F(ZipOptionsTest, CopiesTheTreeFolderIntoThePathAndShowsLongTextAsTooltip) {
  TShellTree* tree = Tree("stBrowse");
  const QModelIndex docs = ChildCaptioned(tree->Model(), tree->Model().RootIndex(), "Documents");
  ClickRow(*tree, docs);
  EXPECT_EQ(Edit("edtPath")->text().toStdString(), Home + "/Documents");
  ClickRow(*tree, tree->Model().RootIndex().siblingAtRow(0));
  ClickRow(*tree, ChildCaptioned(tree->Model(), tree->Model().RootIndex(), "Computer"));
  EXPECT_EQ(Edit("edtPath")->text(), "");  // outside the file system
  Type("edtFileName", "short");
  EXPECT_EQ(Edit("edtFileName")->toolTip(), "");
  const std::string longName(300, 'n');
  Type("edtFileName", longName);
  EXPECT_EQ(Edit("edtFileName")->toolTip().toStdString(), longName);
  Type("edtPath", "/" + longName + "   ");
  EXPECT_EQ(Edit("edtPath")->toolTip().toStdString(), "/" + longName);
}

TEST_F(ZipOptionsTest, DoubleClickOnEmptyTreeSpaceLetsTheTreeFillItsPage) {
  struct TToggle {
    int Page;
    const char* Tree;
    const char* Filler;
    const char* Hidden;
  };
  for (const TToggle& t : {TToggle{0, "stBrowse", "stBrowse", "edtFileName"},
                           TToggle{1, "stFolders", "pnlShellView", "chkInclude"}}) {
    Find<QTabWidget>(*Form, "PageControl")->setCurrentIndex(t.Page);
    TShellTree* tree = Tree(t.Tree);
    const QPoint below(10, tree->viewport()->height() - 3);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, below);
    EXPECT_FALSE(Find<QWidget>(*Form, t.Hidden)->isVisible()) << t.Tree;
    QWidget* filler = Find<QWidget>(*Form, t.Filler);
    EXPECT_GT(filler->width(), filler->parentWidget()->width() - 20) << t.Tree;
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {},
                       QPoint(10, tree->viewport()->height() - 3));
    EXPECT_TRUE(Find<QWidget>(*Form, t.Hidden)->isVisible()) << t.Tree;
  }
}

// ---------------------------------------------------------------- hand-over

struct TStoreCase {
  int Index;
  bool Volumes, Paths, Relative;
  const char* Root;  // "<src>" for the source folder
};

class ZipHandOverTest : public test::DialogFixture,
                        public ::testing::WithParamInterface<TStoreCase> {};

TEST_P(ZipHandOverTest, SetsTheEngineAndTheOperationRecord) {
  const TStoreCase& c = GetParam();
  TZipEngine engine(Fake.Services());
  TOpInfo op;
  TZipOptionsAnswers answers;
  answers.Folder = Home + "/Documents";
  answers.IncludeSubfolders = false;
  answers.Path = Path("out/");
  answers.FileName = "a.zip";
  answers.StoreIndex = c.Index;
  answers.CreateSFX = true;
  answers.Password = "pw";
  answers.Encryption = TZipEncryption::Aes256;
  answers.PackLevel = 9;
  ApplyZipOptions(answers, engine, op, Fake.Drives);
  EXPECT_EQ(engine.FilesList, std::vector<std::string>{Home + "/Documents/*.*"});
  EXPECT_EQ(engine.ZipName(), Path("out/a.zip"));
  EXPECT_EQ(engine.StoreVolumes(), c.Volumes);
  EXPECT_EQ(engine.StorePaths(), c.Paths);
  EXPECT_EQ(engine.RelativePaths(), c.Relative);
  EXPECT_EQ(engine.RootDir(), std::string(c.Root) == "<src>" ? Home + "/Documents/" : c.Root);
  // "Include subfolders" off holds also for relative paths, which would
  // switch recursion on by themselves.
  EXPECT_FALSE(engine.Recurse);
  EXPECT_EQ(engine.Password, "pw");
  EXPECT_EQ(engine.Encryption, TZipEncryption::Aes256);
  EXPECT_EQ(engine.PackLevel, 9);
  EXPECT_EQ(engine.MultiZipInfo().MultiMode, TMultiMode::mmNone);
  EXPECT_TRUE(op.SaveFolderRecord);
  EXPECT_TRUE(op.CreateSFX);
  EXPECT_EQ(op.SourcePath, Home + "/Documents/");
}

INSTANTIATE_TEST_SUITE_P(StoreGroup, ZipHandOverTest,
                         ::testing::Values(TStoreCase{0, true, true, false, ""},
                                           TStoreCase{1, false, true, false, "/"},
                                           TStoreCase{2, false, true, true, "<src>"},
                                           TStoreCase{3, false, false, false, "<src>"}));

TEST_F(ZipOptionsTest, HandsOverListPicksWithFoldersAsTheirContents) {
  PickDocuments();
  TShellListView* list = List();
  list->selectionModel()->select(list->IndexOf(0), QItemSelectionModel::Select);
  list->selectionModel()->select(list->IndexOf(1), QItemSelectionModel::Select);
  Find<QCheckBox>(*Form, "chkCreateSFX")->setEnabled(false);
  TZipEngine engine(Fake.Services());
  TOpInfo op;
  op.CreateSFX = true;
  TZipOptionsAnswers answers = Form->Answers();
  answers.Path = Out;
  answers.FileName = "a.zip";
  ApplyZipOptions(answers, engine, op, Fake.Drives);
  EXPECT_EQ(engine.FilesList, (std::vector<std::string>{">" + Home + "/Documents/sub/*.*",
                                                        Home + "/Documents/a.txt"}));
  EXPECT_EQ(engine.RootDir(), Home + "/Documents/");
  EXPECT_EQ(op.SourcePath, Home + "/Documents/");
  EXPECT_TRUE(op.CreateSFX);  // a disabled box leaves the record alone
}

struct TDriveCase {
  TDriveType Type;
  bool Floppy;
  TMultiMode Mode;
};

class ZipSpanTest : public test::DialogFixture, public ::testing::WithParamInterface<TDriveCase> {};

TEST_P(ZipSpanTest, SpansOnlyOntoFloppyStyleDrives) {
  const TFakeDrive& drive = Fake.AddDrive("drive", GetParam().Type, GetParam().Floppy);
  TZipEngine engine(Fake.Services());
  TOpInfo op;
  TZipOptionsAnswers answers;
  answers.Folder = Home;
  answers.Path = drive.MountPoint;
  answers.FileName = "a.zip";
  ApplyZipOptions(answers, engine, op, Fake.Drives);
  EXPECT_EQ(engine.MultiZipInfo().MultiMode, GetParam().Mode);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, ZipSpanTest,
    ::testing::Values(TDriveCase{TDriveType::Removable, true, TMultiMode::mmSpan},
                      TDriveCase{TDriveType::Removable, false, TMultiMode::mmNone},
                      TDriveCase{TDriveType::Fixed, false, TMultiMode::mmNone}));

}  // namespace
}  // namespace vz
