// The extract, refresh and encrypt dialogs: their preparation from a real
// archive and folder record, their controls, their checks, and the hand-over
// to a real engine, up to an extraction in volume and path mode.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "app/core/CFI.h"
#include "app/dialogs/frmPasswordOptions.h"
#include "app/dialogs/frmRefreshOptions.h"
#include "app/dialogs/frmUnzipOptions.h"
#include "platform/Errors.h"
#include "tests/app/dialogs/DialogFixture.h"
#include "tests/support/ZipBuilder.h"

namespace vz {
namespace {

using test::FileExists;
using test::MakeFolders;
using test::ReadFileText;

class ArchiveDialogsTest : public test::DialogFixture {
 protected:
  // A stored archive whose members hold their own names as data.
  std::unique_ptr<TZipEngine> OpenArchive(const std::vector<std::string>& names,
                                          const std::string& archive = "a.zip") {
    std::vector<test::TBuildMember> members;
    for (const auto& name : names) {
      test::TBuildMember member;
      member.Name = name;
      member.Data.assign(name.begin(), name.end());
      members.push_back(std::move(member));
    }
    test::WriteFileBytes(Path(archive), test::TZipBuilder::Archive(members));
    auto engine = std::make_unique<TZipEngine>(Fake.Services());
    engine->SetZipName(Path(archive));
    engine->ReadZip();
    return engine;
  }

  template <typename TForm>
  void Show(TForm& form) {
    form.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
  }
  // Near the left edge, where a radio button's circle and caption are.
  static void Click(QWidget& form, const char* name) {
    auto* button = Find<QAbstractButton>(form, name);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
  }
  static QString Focused(QWidget& form) {
    return form.focusWidget() ? form.focusWidget()->objectName() : QString();
  }
};

// ---------------------------------------------------------------- extract

struct TUnzipCase {
  const char* Label;
  std::vector<std::string> Names;
  int Selected;
  const char* Checked;  // the checked button of gbUse
  bool PathsEnabled, VolumeEnabled;
  std::string Default;  // "" for the archive's folder
  std::string Drive;
  friend void PrintTo(const TUnzipCase& c, std::ostream* os) { *os << c.Label; }
};

class UnzipPrepareTest : public ArchiveDialogsTest,
                         public ::testing::WithParamInterface<TUnzipCase> {};

TEST_P(UnzipPrepareTest, OffersWhatTheStoredFoldersAllow) {
  const TUnzipCase& c = GetParam();
  auto engine = OpenArchive(c.Names);
  const TUnzipSetup setup = PrepareUnzipOptions(*engine, c.Selected);
  EXPECT_EQ(setup.StoredDrive, c.Drive);
  TfrmUnzipOptions form(App, Help, *Shell);
  form.Prepare(setup);
  Show(form);
  const auto radio = [&](const char* name) { return Find<QRadioButton>(form, name); };
  EXPECT_EQ(radio("radSelected")->isEnabled(), c.Selected > 0);
  EXPECT_EQ(radio("radSelected")->isChecked(), c.Selected > 0);
  EXPECT_EQ(radio("radDoAll")->isChecked(), c.Selected == 0);
  EXPECT_EQ(radio("radStoredPaths")->isEnabled(), c.PathsEnabled);
  EXPECT_EQ(radio("radStoredVolume")->isEnabled(), c.VolumeEnabled);
  EXPECT_TRUE(radio(c.Checked)->isChecked());
  const std::string folder = c.Default.empty() ? Fake.Root() : c.Default;
  auto* path = Find<TPathEdit>(form, "edtPath");
  EXPECT_EQ(path->Path(), folder);
  EXPECT_EQ(path->isEnabled(), !c.VolumeEnabled);
  if (!c.VolumeEnabled) return;
  // Paths make the box editable again; the volume greys it and puts the
  // stored folder back.
  Click(form, "radStoredPaths");
  EXPECT_TRUE(path->isEnabled());
  path->SetPath(Path("elsewhere"));
  Click(form, "radStoredVolume");
  EXPECT_FALSE(path->isEnabled());
  EXPECT_EQ(path->Path(), folder);
}

INSTANTIATE_TEST_SUITE_P(
    Archives, UnzipPrepareTest,
    ::testing::Values(
        TUnzipCase{"NoFolders", {"a.txt", "b.txt"}, 0, "radNoStoredPaths", false, false, "", ""},
        TUnzipCase{
            "RelativeFolders", {"a.txt", "docs/b.txt"}, 2, "radStoredPaths", true, false, "", ""},
        TUnzipCase{"AbsoluteFolders",
                   {"a.txt", "/data/x/b.txt", "/data/y/c.txt"},
                   0,
                   "radStoredVolume",
                   true,
                   true,
                   "/data/x/",
                   ""},
        TUnzipCase{"DriveLetters",
                   {"/data/b.txt", "C:\\Data\\a.txt"},
                   1,
                   "radStoredPaths",
                   true,
                   false,
                   "",
                   "C:"},
        TUnzipCase{"NetworkShare",
                   {"//srv/share/a/b.txt"},
                   0,
                   "radStoredPaths",
                   true,
                   false,
                   "",
                   "//srv/share"}),
    [](const auto& param) { return std::string(param.param.Label); });

TEST_F(ArchiveDialogsTest, ExtractsAbsoluteFoldersWhereTheyWereAndStripsDrives) {
  const std::string where = Path("restore/where/");
  MakeFolders(Path("restore"));
  MakeFolders(Path("out"));
  auto engine = OpenArchive({where + "v.txt", "C:\\Data\\d.txt"});
  // With a drive among the folders the volume stays out; so with only the
  // absolute folder first.
  auto volumeOnly = OpenArchive({where + "v.txt"}, "v.zip");
  TUnzipSetup setup = PrepareUnzipOptions(*volumeOnly, 0);
  TfrmUnzipOptions form(App, Help, *Shell);
  form.Prepare(setup);
  Show(form);
  Host.MessageAnswers = {TMsgResult::Yes};
  Click(form, "butUnzip");  // the stored folder is made, then current
  ASSERT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(Fake.Files.CurrentFolder() + "/", where);
  ApplyUnzipOptions(form.Answers(), setup, {}, *volumeOnly);
  EXPECT_TRUE(volumeOnly->RecreateDirs);
  EXPECT_EQ(volumeOnly->DestDir(), "");
  EXPECT_EQ(volumeOnly->UnZip(), 1);
  EXPECT_EQ(ReadFileText(where + "v.txt"), where + "v.txt");

  setup = PrepareUnzipOptions(*engine, 0);
  ApplyUnzipOptions({true, TStoredUse::Paths, false, Path("out")}, setup, {}, *engine);
  EXPECT_EQ(engine->RootDir(), "C:/");
  EXPECT_EQ(engine->UnZip(), 2);
  EXPECT_EQ(ReadFileText(Path("out/Data/d.txt")), "C:\\Data\\d.txt");
  EXPECT_TRUE(FileExists(Path("out") + where + "v.txt"));  // below the destination
}

struct TUnzipApplyCase {
  TStoredUse Use;
  bool DoAll, Always;
  std::string Drive;
  bool Recreate;
  std::string DestDir, RootDir;
};

class UnzipApplyTest : public ArchiveDialogsTest,
                       public ::testing::WithParamInterface<TUnzipApplyCase> {};

TEST_P(UnzipApplyTest, SetsTheExtractionProperties) {
  const TUnzipApplyCase& c = GetParam();
  TUnZipEngine engine(Fake.Services());
  TUnzipSetup setup;
  setup.StoredDrive = c.Drive;
  const std::vector<std::string> selected = {"b.txt", "a/c.txt"};
  ApplyUnzipOptions({c.DoAll, c.Use, c.Always, "/dest"}, setup, selected, engine);
  EXPECT_EQ(engine.DoAll, c.DoAll);
  EXPECT_EQ(engine.FilesList, c.DoAll ? std::vector<std::string>() : selected);
  EXPECT_EQ(engine.RecreateDirs, c.Recreate);
  EXPECT_EQ(engine.DestDir(), c.DestDir);
  EXPECT_EQ(engine.RootDir(), c.RootDir);
  EXPECT_EQ(engine.OverwriteMode, c.Always ? TUZOverwriteMode::Always : TUZOverwriteMode::Prompt);
}

INSTANTIATE_TEST_SUITE_P(
    Uses, UnzipApplyTest,
    ::testing::Values(TUnzipApplyCase{TStoredUse::Volume, true, false, "", true, "", ""},
                      TUnzipApplyCase{TStoredUse::Paths, false, true, "", true, "/dest", ""},
                      TUnzipApplyCase{TStoredUse::Paths, true, false, "D:", true, "/dest", "D:/"},
                      TUnzipApplyCase{TStoredUse::None, false, false, "D:", false, "/dest", ""}));

TEST_F(ArchiveDialogsTest, UnzipOffersToCreateTheDestination) {
  TfrmUnzipOptions form(App, Help, *Shell);
  TUnzipSetup setup;
  setup.DefaultFolder = Path("new");
  form.Prepare(setup);
  Show(form);
  Host.MessageAnswers = {TMsgResult::No};
  Click(form, "butUnzip");
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Host.Messages[0].Text,
            "Folder does not exist!\r\rDo you want to create the folder, " + Path("new") + "?");
  EXPECT_EQ(Focused(form), "edtPath");
  EXPECT_NE(form.result(), QDialog::Accepted);
  Host.MessageAnswers = {TMsgResult::Yes};
  Click(form, "butUnzip");
  EXPECT_TRUE(FileExists(Path("new")));
  EXPECT_EQ(form.result(), QDialog::Accepted);
}

// ---------------------------------------------------------------- refresh

class RefreshTest : public ArchiveDialogsTest {
 protected:
  RefreshTest() {
    Source = Path("src/");
    MakeFolders(Source);
    Engine = OpenArchive({"a.txt", "sub/b.txt", "c.txt"});
  }
  void Record() {
    TCFI records(App);
    records.Name = Path("a.zip");
    records.RootDir = Source;
    records.SourcePath = Source;
    records.PathMode = TPathMode::RelativePaths;
    records.Recurse = 0;
    records.PackLevel = 3;
    records.Save();
  }
  std::string Source;
  std::unique_ptr<TZipEngine> Engine;
  TOpInfo Op;
};

TEST_F(RefreshTest, WarnsWithoutAFolderRecord) {
  TCFI records(App);
  EXPECT_FALSE(PrepareRefreshOptions(App, records, *Engine, Op, 0));
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Host.Messages[0].Text, "Compressed File Information for a.zip could not be found!");
  EXPECT_EQ(Host.Messages[0].Icon, TMsgIcon::Warning);
}

TEST_F(RefreshTest, LoadsTheRecordAndOpensOnTheSelectedMembers) {
  Record();
  TCFI records(App);
  const auto setup = PrepareRefreshOptions(App, records, *Engine, Op, 2);
  ASSERT_TRUE(setup);
  EXPECT_EQ(Engine->RootDir(), Source);
  EXPECT_TRUE(Engine->RelativePaths());
  EXPECT_FALSE(Engine->Recurse);  // the record's, after the path mode
  EXPECT_EQ(Engine->PackLevel, 3);
  EXPECT_EQ(Op.SourcePath, Source);
  TfrmRefreshOptions form(App, Help, *Shell);
  form.Prepare(*setup);
  Show(form);
  const auto radio = [&](const char* name) { return Find<QRadioButton>(form, name); };
  EXPECT_TRUE(radio("radSelected")->isChecked());
  EXPECT_FALSE(radio("radReplaceOldAddNew")->isEnabled());
  EXPECT_TRUE(radio("radReplaceOld")->isChecked());
  EXPECT_EQ(form.Answers().Method, TZipAction::zaFreshen);
  Click(form, "radDoAll");
  EXPECT_TRUE(radio("radReplaceOldAddNew")->isEnabled());
  EXPECT_TRUE(radio("radReplaceOldAddNew")->isChecked());
  Click(form, "radReplaceNoVersion");
  Click(form, "butRefresh");
  ASSERT_EQ(form.result(), QDialog::Accepted);
  ApplyRefreshOptions(App, form.Answers(), {"a.txt"}, Engine->Count(), *Engine, Op);
  EXPECT_TRUE(Host.Messages.empty());  // the folder is unchanged
  EXPECT_EQ(Engine->FilesList, std::vector<std::string>{Source + "*.*"});
  EXPECT_EQ(Engine->ZipAction, TZipAction::zaReplace);
  EXPECT_EQ(Op.Requested, 3);
  EXPECT_FALSE(Op.SaveFolderRecord);
}

TEST_F(RefreshTest, AsksToSaveAFolderThatChangedEvenOnlyInCase) {
  Engine->SetRootDir(Source);
  Op.SourcePath = Source;
  const std::string changed = Path("Src/");
  Host.MessageAnswers = {TMsgResult::Yes};
  ApplyRefreshOptions(App, {true, TZipAction::zaFreshen, changed}, {"a.txt", "sub/b.txt"}, 3,
                      *Engine, Op);
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Host.Messages[0].Text,
            "Source path information has been changed.\r\rOld source path:\t" + Source +
                "\rNew source path:\t" + changed +
                "\r\rDo you want to save the changed information?");
  EXPECT_EQ(Host.Messages[0].DefaultButton, TMsgResult::Yes);
  EXPECT_TRUE(Op.SaveFolderRecord);
  EXPECT_EQ(Op.SourcePath, changed);
  EXPECT_EQ(Engine->FilesList, (std::vector<std::string>{Source + "a.txt", Source + "sub/b.txt"}));
  EXPECT_EQ(Op.Requested, 2);
}

TEST_F(RefreshTest, KeepsTheDialogOpenForAMissingSourceFolder) {
  TfrmRefreshOptions form(App, Help, *Shell);
  form.Prepare({Path("gone"), false});
  Show(form);
  Click(form, "butRefresh");
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Host.Messages[0].Text, SystemErrorText(ENOENT) + "!");
  EXPECT_EQ(Focused(form), "edtPath");
  EXPECT_NE(form.result(), QDialog::Accepted);
  EXPECT_FALSE(FileExists(Path("gone")));  // creation is not offered
}

// ---------------------------------------------------------------- encrypt

struct TPasswordCase {
  std::string Password, Confirm;
  bool Accepted;
  std::string Result;
};

class PasswordOptionsTest : public ArchiveDialogsTest,
                            public ::testing::WithParamInterface<TPasswordCase> {};

TEST_P(PasswordOptionsTest, AcceptsOnlyPasswordsThatMatchOnceTrimmed) {
  const TPasswordCase& c = GetParam();
  TfrmPasswordOptions form(App, Help);
  form.Prepare(0, true);
  Show(form);
  auto* password = Find<QLineEdit>(form, "edtPassword");
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  QTest::keyClicks(password, QString::fromStdString(c.Password));
  QTest::keyClicks(Find<QLineEdit>(form, "edtConfirmPassword"), QString::fromStdString(c.Confirm));
  Click(form, "butEncrypt");
  EXPECT_EQ(form.result() == QDialog::Accepted, c.Accepted);
  if (c.Accepted) {
    EXPECT_TRUE(Host.Messages.empty());
    EXPECT_EQ(form.Answers().Password, c.Result);
    return;
  }
  ASSERT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(Host.Messages[0].Text, "Passwords do not match!");
  EXPECT_EQ(Focused(form), "edtPassword");
  Click(form, "butReset");
  EXPECT_TRUE(password->text().isEmpty() &&
              Find<QLineEdit>(form, "edtConfirmPassword")->text().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Entries, PasswordOptionsTest,
                         ::testing::Values(TPasswordCase{"", "", true, ""},
                                           TPasswordCase{"  key", "key ", true, "key"},
                                           TPasswordCase{"Key", "key", false, ""}));

// The cipher comes preset from the setting and goes back in the answers;
// the note says what Windows Explorer can open.
TEST_F(ArchiveDialogsTest, EncryptionSelectorOffersTraditionalAndAes) {
  for (const int kept : {0, 1, 2}) {
    TfrmPasswordOptions form(App, Help);
    form.Prepare(0, false, kept);
    auto* box = Find<QComboBox>(form, "cbEncryption");
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(0), "Traditional (ZIP 2.0)");
    EXPECT_EQ(box->currentIndex(), kept);
    EXPECT_EQ(form.Answers().Encryption, static_cast<TZipEncryption>(kept));
    box->setCurrentIndex(2 - kept);
    EXPECT_EQ(form.Answers().Encryption, static_cast<TZipEncryption>(2 - kept));
    EXPECT_TRUE(Find<QLabel>(form, "lblEncryptionNote")
                    ->text()
                    .startsWith("Windows Explorer opens only traditional encryption"));
  }
}

TEST_F(ArchiveDialogsTest, EncryptsTheSelectedOrAllMembersInSortedOrder) {
  auto engine = OpenArchive({"b.txt", "A/c.txt", "a.txt"});
  TfrmPasswordOptions form(App, Help);
  form.Prepare(1, false);
  EXPECT_TRUE(Find<QRadioButton>(form, "radSelected")->isChecked());
  EXPECT_EQ(Find<QLineEdit>(form, "edtPassword")->echoMode(), QLineEdit::Normal);
  EXPECT_EQ(PasswordTargets(form.Answers(), {"b.txt", "a.txt"}, *engine),
            (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(PasswordTargets({false, ""}, {"b.txt"}, *engine),
            (std::vector<std::string>{"a.txt", "A/c.txt", "b.txt"}));
}

}  // namespace
}  // namespace vz
