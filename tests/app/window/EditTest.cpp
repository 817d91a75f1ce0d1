// Editing a viewed member: a save in the viewer's program brings the
// question, Yes puts the copy back under the member's stored name (with its
// password), No and an unchanged save leave the archive alone, and a
// self-extracting archive or one changed meanwhile is never written. Also
// the password typed to view a member, which the next view asks for again.
#include <QAction>
#include <QItemSelectionModel>
#include <QTest>
#include <atomic>
#include <filesystem>

#include "app/FileListModel.h"
#include "app/FileView.h"
#include "app/MemberEdits.h"
#include "platform/FileHelpers.h"
#include "tests/app/window/WindowFixture.h"
#include "tests/support/TestFiles.h"

namespace vz::test {
namespace {

class EditTest : public WindowFixture {
 protected:
  // Opens the archive, views its member in folder `folder` and answers the
  // handed-over copy's path.
  std::string View(const std::string& archive, const char* folder, const char* caption) {
    TfrmMain& window = MakeWindow({QString::fromStdString(archive)});
    AppInfo->FileViewer = "/usr/bin/an-editor";
    window.ZipEngine.OnBadPassword = [this](TUnZipEngine&, int, std::string& NewPassword) {
      ++PasswordPrompts;
      NewPassword = TypedPassword;
    };
    window.FormShow();
    if (*folder != '\0') window.SelectNode(window.Tree()->FindCaption(QString::fromLatin1(folder)));
    Select(caption);
    window.ViewSelected();
    EXPECT_FALSE(Fake.Processes.Started.empty());
    return Fake.Processes.Started.empty() ? std::string()
                                          : Fake.Processes.Started.back().Command.Arguments[0];
  }
  void Select(const char* caption) {
    const TFileListModel& model = Window->FileListModel();
    auto* files = Window->findChild<TFileView*>(QStringLiteral("lvFiles"));
    for (int row = 0; row < model.rowCount(); ++row) {
      if (model.Caption(row) == QLatin1String(caption)) {
        files->SelectionModel()->select(model.index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
      }
    }
  }
  // As editors save: a new file beside the old one, renamed over it.
  static void Save(const std::string& path, const std::string& text) {
    WriteFileText(path + ".new", text);
    std::filesystem::rename(path + ".new", path);
  }
  bool WaitForMessage() {
    return QTest::qWaitFor([this] { return !Host.Messages.empty(); }, 10000);
  }
  // The member's bytes as the engine reads them now (with `password`).
  std::string MemberText(const std::string& archive, const std::string& name,
                         const std::string& password = "") {
    TUnZipEngine engine(Fake.Services());
    engine.SetZipName(archive);
    engine.Password = password;
    TMemoryStream stream;
    if (engine.UnZipToStream(stream, name) != 1) return "<not extracted>";
    return std::string(stream.Memory().begin(), stream.Memory().end());
  }

  std::atomic<int> PasswordPrompts{0};
  std::string TypedPassword;
};

TEST_F(EditTest, ASavedCopyIsPutBackUnderItsStoredNameAfterAsking) {
  const std::string archive =
      WriteArchive("edit.zip", {Stored("docs/pic.png", "old picture"), Stored("other.txt", "o")});
  const std::string copy = View(archive, "docs", "pic.png");
  ASSERT_EQ(Window->MemberEdits().Count(), 1u);
  Host.MessageAnswers = {TMsgResult::Yes};
  Save(copy, "new picture, edited");
  ASSERT_TRUE(WaitForMessage());
  EXPECT_EQ(Host.Messages[0].Text, "Update docs/pic.png in edit.zip?");
  EXPECT_EQ(Host.Messages[0].DefaultButton, TMsgResult::Yes);
  EXPECT_EQ(Host.Messages.size(), 1u);
  EXPECT_EQ(MemberText(archive, "docs/pic.png"), "new picture, edited");
  EXPECT_EQ(MemberText(archive, "other.txt"), "o");
  EXPECT_EQ(Window->Tree()->MemberCount(), 2);  // the view read it again

  // A second save asks again.
  Host.Messages.clear();
  Host.MessageAnswers = {TMsgResult::Yes};
  Save(copy, "third version");
  ASSERT_TRUE(WaitForMessage());
  EXPECT_EQ(MemberText(archive, "docs/pic.png"), "third version");
}

TEST_F(EditTest, NoLeavesTheArchiveAlone) {
  const std::string archive = WriteArchive("keep.zip", {Stored("pic.png", "old")});
  const std::vector<u8> bytes = ReadFileBytes(archive);
  const std::string copy = View(archive, "", "pic.png");
  Host.MessageAnswers = {TMsgResult::No};
  Save(copy, "changed");
  ASSERT_TRUE(WaitForMessage());
  EXPECT_EQ(ReadFileBytes(archive), bytes);
}

TEST_F(EditTest, ASaveThatChangesNothingAsksNothing) {
  const std::string archive = WriteArchive("same.zip", {Stored("pic.png", "same bytes")});
  const std::string copy = View(archive, "", "pic.png");
  Save(copy, "same bytes");
  QTest::qWait(TMemberEdits::kSettleMs * 3);
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(EditTest, AnArchiveChangedMeanwhileIsNotWritten) {
  const std::string archive = WriteArchive("moved.zip", {Stored("pic.png", "old")});
  const std::string copy = View(archive, "", "pic.png");
  WriteArchive("moved.zip", {Stored("pic.png", "someone else's"), Stored("new.txt", "n")});
  const std::vector<u8> theirs = ReadFileBytes(archive);
  Save(copy, "mine");
  ASSERT_TRUE(WaitForMessage());
  EXPECT_EQ(Host.Messages[0].Text,
            "pic.png was changed, but moved.zip has changed since the member was opened, so "
            "pic.png is not updated.");
  EXPECT_EQ(Host.Messages[0].Icon, TMsgIcon::Warning);
  EXPECT_EQ(ReadFileBytes(archive), theirs);
}

TEST_F(EditTest, ASelfExtractingArchiveIsNeverWritten) {
  const std::string archive = WriteArchive("tool.exe", {Stored("pic.png", "old")});
  const std::vector<u8> bytes = ReadFileBytes(archive);
  const std::string copy = View(archive, "", "pic.png");
  Save(copy, "changed");
  ASSERT_TRUE(WaitForMessage());
  EXPECT_EQ(Host.Messages[0].Text,
            "pic.png was changed, but tool.exe is a self-extracting archive, which cannot be "
            "changed.");
  EXPECT_EQ(ReadFileBytes(archive), bytes);
}

// The password typed to view a member serves its edit, and is asked for
// again at the next view: the window's engine keeps none.
TEST_F(EditTest, AnEncryptedMemberKeepsItsPasswordAndTheNextViewAsksAgain) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "no /usr/bin/zip";
  MakeFolders(Fake.Root() + "src");
  WriteFileText(Fake.Root() + "src/secret.png", "hidden picture");
  const std::string archive = Fake.Root() + "locked.zip";
  ASSERT_EQ(RunCommand("cd " + ShellQuote(Fake.Root() + "src") + " && /usr/bin/zip -q -P pw " +
                       ShellQuote(archive) + " secret.png")
                .ExitCode,
            0);
  TypedPassword = "pw";
  const std::string copy = View(archive, "", "secret.png");
  EXPECT_EQ(ReadFileText(copy), "hidden picture");
  EXPECT_EQ(PasswordPrompts, 1);
  EXPECT_TRUE(Window->ZipEngine.Password.empty());

  Host.MessageAnswers = {TMsgResult::Yes};
  Save(copy, "edited hidden picture");
  ASSERT_TRUE(WaitForMessage());
  EXPECT_EQ(MemberText(archive, "secret.png", "pw"), "edited hidden picture");
  EXPECT_EQ(MemberText(archive, "secret.png"), "<not extracted>");
  EXPECT_TRUE(Window->ZipEngine.Password.empty());

  Select("secret.png");
  Window->ViewSelected();  // the same member again
  EXPECT_EQ(PasswordPrompts, 2);
}

}  // namespace
}  // namespace vz::test
