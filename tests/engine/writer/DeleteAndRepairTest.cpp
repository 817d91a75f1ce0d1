// Deleting members, self-extracting files and repair.
#include <sys/stat.h>
#include <unistd.h>

#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "tests/engine/writer/WriterFixture.h"

namespace vz {
namespace {

class DeleteAndRepairTest : public test::TWriterFixture {
 protected:
  void SetUp() override {
    TWriterFixture::SetUp();
    test::WriteFileText(Src + "a.tmp", "tmp a");
    test::WriteFileText(Src + "sub/b.tmp", "tmp b");
    test::WriteFileText(Src + "sub/B.TXT", "upper");
    Archive = Path("set.zip");
    auto engine = RelativeEngine(Archive);
    engine->Password = "";
    engine->FilesList = {Src + "text.txt", Src + "a.tmp", Src + "sub/b.tmp", Src + "sub/B.TXT",
                         Src + "empty"};
    ASSERT_EQ(engine->PerformZip(), 5);
    engine->SetFileComment(4, "note on empty");
    engine->SetZipComment("set comment");
    engine->CommitModified();
  }

  int Delete(const std::vector<std::string>& lines,
             std::function<bool(const std::string&)> spare = nullptr) {
    TZipEngine engine(Services());
    engine.SetZipName(Archive);
    engine.FilesList = lines;
    if (spare) {
      engine.OnDeleteEntry = [&](TZipEngine&, const std::string& name, bool& skip) {
        skip = spare(name);
      };
    }
    return engine.PerformDelete();
  }

  std::string Archive;
};

TEST_F(DeleteAndRepairTest, PatternWithoutFolderMatchesFileNamesEverywhere) {
  EXPECT_EQ(Delete({"*.tmp"}), 2);
  EXPECT_EQ(Names(Archive), (std::vector<std::string>{"text.txt", "sub/B.TXT", "empty"}));
  ExpectPeersAccept(Archive);
}

TEST_F(DeleteAndRepairTest, PatternWithFolderMatchesTheWholeName) {
  EXPECT_EQ(Delete({"sub/*.tmp"}), 1);
  EXPECT_EQ(Names(Archive), (std::vector<std::string>{"text.txt", "a.tmp", "sub/B.TXT", "empty"}));
}

TEST_F(DeleteAndRepairTest, PlainLineMatchesExactlyPatternsIgnoreCase) {
  EXPECT_EQ(Delete({"SUB/b.txt", "sub/B.TXT", "nothing"}), 1);
  EXPECT_EQ(Names(Archive), (std::vector<std::string>{"text.txt", "a.tmp", "sub/b.tmp", "empty"}));
  EXPECT_EQ(Delete({"SUB/*.TMP"}), 1);
  EXPECT_EQ(Names(Archive), (std::vector<std::string>{"text.txt", "a.tmp", "empty"}));
}

TEST_F(DeleteAndRepairTest, SparedMemberStopsItsLine) {
  std::vector<std::string> asked;
  EXPECT_EQ(Delete({"*.tmp"},
                   [&](const std::string& name) {
                     asked.push_back(name);
                     return true;
                   }),
            0);
  EXPECT_EQ(asked, std::vector<std::string>{"a.tmp"});  // the line deletes nothing further
  EXPECT_EQ(Names(Archive).size(), 5u);
}

TEST_F(DeleteAndRepairTest, KeptMembersKeepDataCommentsAndEncryption) {
  auto engine = RelativeEngine(Archive);
  engine->Password = "pw";
  engine->FilesList = {Src + "random.bin"};
  ASSERT_EQ(engine->PerformZip(), 1);
  EXPECT_EQ(Delete({"text.txt"}), 1);
  TUnZipEngine reader(Services());
  reader.SetZipName(Archive);
  reader.ReadZip();
  EXPECT_EQ(reader.ZipComment(), "set comment");
  EXPECT_EQ(reader.FileComment(3), "note on empty");
  EXPECT_TRUE(reader.IsEncrypted(4));
  EXPECT_EQ(Member(Archive, "random.bin", "pw"), test::ReadFileBytes(Src + "random.bin"));
  ExpectPeersAccept(Archive, "pw");
}

TEST_F(DeleteAndRepairTest, DeletingEverythingLeavesJustTheEndRecord) {
  EXPECT_EQ(Delete({"*"}), 5);
  EXPECT_EQ(test::ReadFileBytes(Archive).size(), 22u + 11u);  // with the archive comment
  TUnZipEngine reader(Services());
  reader.SetZipName(Archive);
  reader.ReadZip();
  EXPECT_EQ(reader.Count(), 0);
  EXPECT_EQ(reader.ZipComment(), "set comment");
}

TEST_F(DeleteAndRepairTest, NoMatchRewritesEverything) {
  const auto names = Names(Archive);
  EXPECT_EQ(Delete({"nothing.*"}), 0);
  EXPECT_EQ(Names(Archive), names);
}

TEST_F(DeleteAndRepairTest, SelfExtractorIsStubPlusArchiveAndListsAlike) {
  const auto stub = test::RandomBytes(3000, 8);
  test::WriteFileBytes(Path("stub"), stub);
  TZipEngine engine(Services());
  engine.SetZipName(Archive);
  engine.ReadZip();
  engine.BuildSelfExtractor(Path("stub"));
  const std::string exe = Path("set.exe");
  const auto archive = test::ReadFileBytes(Archive);
  const auto sfx = test::ReadFileBytes(exe);
  ASSERT_EQ(sfx.size(), stub.size() + archive.size());
  EXPECT_TRUE(std::equal(stub.begin(), stub.end(), sfx.begin()));
  EXPECT_EQ(Names(exe), Names(Archive));
  EXPECT_TRUE(Fake.Files.Stat(exe).has_value());
  // A new file's rights, readable ones made runnable; not the private
  // rights of the temporary file it was built in.
  const mode_t mask = ::umask(022);
  ::umask(mask);
  struct stat st {};
  ASSERT_EQ(::stat(exe.c_str(), &st), 0);
  const mode_t plain = 0666 & ~mask;
  EXPECT_EQ(st.st_mode & 0777, plain | ((plain & 0444) >> 2));
  EXPECT_EQ(engine.ZipName(), Archive);  // the engine still shows the source
  EXPECT_EQ(engine.Count(), 5);
  if (test::HaveProgram("/usr/bin/unzip")) {
    const auto r = test::RunCommand("/usr/bin/unzip -tq " + test::ShellQuote(exe));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
  }
}

TEST_F(DeleteAndRepairTest, MissingStubWritesNothing) {
  TZipEngine engine(Services());
  engine.SetZipName(Archive);
  EXPECT_THROW(engine.BuildSelfExtractor(Path("no-stub")), EFOpenError);
  EXPECT_FALSE(test::FileExists(Path("set.exe")));
}

TEST_F(DeleteAndRepairTest, RepairOfACutDirectoryRecoversEveryMember) {
  const auto whole = test::ReadFileBytes(Archive);
  test::WriteFileBytes(Path("cut.zip"), std::vector<u8>(whole.begin(), whole.end() - 60));
  TZipEngine engine(Services());
  engine.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  EXPECT_EQ(engine.RepairArchive(Path("cut.zip"), Path("fixed.zip")), 0);
  EXPECT_EQ(engine.ZipName(), Path("fixed.zip"));
  EXPECT_EQ(Names(Path("fixed.zip")), Names(Archive));
  EXPECT_EQ(Member(Path("fixed.zip"), "text.txt"), test::ReadFileBytes(Src + "text.txt"));
  ExpectPeersAccept(Path("fixed.zip"));
}

TEST_F(DeleteAndRepairTest, RepairThroughTheDialogsWithTheRepairFlag) {
  const auto whole = test::ReadFileBytes(Archive);
  // No end record at all: with the repair flag it goes straight to the
  // rebuild, without asking.
  test::WriteFileBytes(Path("noend.zip"), std::vector<u8>(whole.begin(), whole.end() - 33));
  TZipEngine engine(Services());
  int asked = 0;
  engine.OnInCompleteZip = [&](TUnZipEngine&, TIncompleteZipMode&) { ++asked; };
  engine.SetZipName(Archive);
  Host.FileDialogAnswers = {Path("noend.zip"), Path("out.zip")};
  EXPECT_EQ(engine.RepairArchive("", ""), 0);
  EXPECT_EQ(asked, 0);
  ASSERT_EQ(Host.FileDialogs.size(), 2u);
  EXPECT_EQ(Host.FileDialogs[0].Title, "Open a Zip File");
  EXPECT_EQ(Host.FileDialogs[1].Title, "Select a new name for the fixed file.");
  EXPECT_EQ(Host.FileDialogs[1].Filter, "Zip Files (*.ZIP)");
  EXPECT_EQ(Names(Path("out.zip")), Names(Archive));
  // Cancelling either dialog writes nothing.
  Host.FileDialogAnswers = {std::nullopt};
  EXPECT_EQ(engine.RepairArchive("", ""), 0);
  EXPECT_EQ(engine.RepairArchive(Path("noend.zip"), ""), 0);
  EXPECT_FALSE(test::FileExists(Path("out2.zip")));
}

}  // namespace
}  // namespace vz
