// The zip operation: adding, updating, freshening, replacing, paths,
// encryption, comments, events and the stream form.
#include "engine/writer/ZipEngine.h"

#include <sys/stat.h>
#include <unistd.h>

#include "engine/codecs/ZipCipher.h"
#include "engine/format/ByteOrder.h"
#include "engine/format/DosDate.h"
#include "engine/support/Exceptions.h"
#include "tests/engine/writer/WriterFixture.h"

namespace vz {
namespace {

class ZipEngineTest : public test::TWriterFixture {
 protected:
  void Touch(const std::string& name, int secondsLater) {
    const auto info = Fake.Files.Stat(Src + name);
    ASSERT_TRUE(Fake.Files.SetLastWriteTime(Src + name,
                                            info->LastWrite + std::chrono::seconds(secondsLater)));
  }
};

TEST_F(ZipEngineTest, CoupledPathSettings) {
  TZipEngine engine(Services());
  engine.SetRelativePaths(true);
  EXPECT_TRUE(engine.StorePaths());
  EXPECT_TRUE(engine.Recurse);
  engine.SetStorePaths(false);
  EXPECT_FALSE(engine.RelativePaths());
  EXPECT_FALSE(engine.StoreVolumes());
  engine.SetStoreVolumes(true);
  EXPECT_TRUE(engine.StorePaths());
  EXPECT_EQ(engine.PackLevel, 6);
  EXPECT_EQ(engine.ZipAction, TZipAction::zaUpdate);
  EXPECT_EQ(engine.MultiZipInfo().BlockSize, 1457600);
  engine.MultiZipInfo().MultiMode = TMultiMode::mmBlocks;
  EXPECT_EQ(engine.MultiMode(), TMultiMode::mmBlocks);
  engine.SetCheckDiskLabels(false);
  EXPECT_FALSE(engine.MultiZipInfo().CheckDiskLabels);
}

TEST_F(ZipEngineTest, NewArchiveHoldsFilesInListOrderAndLeavesNoTemporaryFile) {
  auto engine = RelativeEngine(Path("new.zip"));
  engine->FilesList = {Src + "random.bin", Src + "empty", Src + "text.txt"};
  std::vector<std::string> events;
  int infoFiles = 0;
  i64 infoBytes = 0;
  engine->OnStartZipInfo = [&](TZipEngine&, int files, i64 bytes, TEndCentral&, bool&) {
    infoFiles = files;
    infoBytes = bytes;
  };
  engine->OnStartZip = [&](TZipEngine&, const std::string& name, TZipHeaderInfo&, bool&) {
    events.push_back("start " + name.substr(Src.size()));
  };
  engine->OnEndZip = [&](TZipEngine&, const std::string& name, u32 size, u32, i64 zipSize) {
    events.push_back("end " + name.substr(Src.size()) + " " + std::to_string(size));
    EXPECT_GT(zipSize, 0);
  };
  int lastTotal = -1;
  engine->OnTotalPercentDone = [&](TUnZipEngine&, int percent) {
    EXPECT_GE(percent, lastTotal);
    lastTotal = percent;
  };
  EXPECT_EQ(engine->PerformZip(), 3);
  EXPECT_EQ(infoFiles, 3);
  EXPECT_EQ(infoBytes, 105000);
  EXPECT_EQ(lastTotal, 100);
  EXPECT_EQ(events,
            (std::vector<std::string>{"start random.bin", "end random.bin 5000", "start empty",
                                      "end empty 0", "start text.txt", "end text.txt 100000"}));
  EXPECT_EQ(Names(Path("new.zip")), (std::vector<std::string>{"random.bin", "empty", "text.txt"}));
  EXPECT_EQ(engine->EndCentral().TotalEntries, 3);
  EXPECT_TRUE(TempFiles().empty());
  ExpectPeersAccept(Path("new.zip"));
}

TEST_F(ZipEngineTest, LevelsSetTheirFlagBitsAndStoreWhatDoesNotShrink) {
  for (int level : {0, 1, 6, 9}) {
    const std::string archive = Path("level" + std::to_string(level) + ".zip");
    auto engine = RelativeEngine(archive);
    engine->PackLevel = level;
    engine->FilesList = {Src + "text.txt", Src + "random.bin"};
    ASSERT_EQ(engine->PerformZip(), 2);
    TUnZipEngine reader(Services());
    reader.SetZipName(archive);
    reader.ReadZip();
    const u16 levelBits = reader.Entry(0).Flags & 6;
    EXPECT_EQ(levelBits, level <= 2 ? 4 : level >= 8 ? 2 : 0) << level;
    EXPECT_EQ(reader.CompressMethod(0), level == 0 ? 0 : 8) << level;
    EXPECT_EQ(reader.Entry(0).InternalAttributes, 1) << level;  // text
    EXPECT_EQ(reader.CompressMethod(1), 0) << level;            // random: stored
    EXPECT_EQ(reader.CompressedSize(1), 5000u);
    EXPECT_EQ(reader.Entry(1).InternalAttributes, 0);
    ExpectPeersAccept(archive);
  }
}

TEST_F(ZipEngineTest, PathRules) {
  struct TCase {
    bool Store, Relative, Volumes;
    std::string Expected;
  };
  const std::string absolute = Src.substr(1);  // without the leading "/"
  for (const TCase& c :
       {TCase{false, false, false, "small.txt"}, TCase{true, true, false, "sub/deeper/small.txt"},
        TCase{true, false, false, absolute + "sub/deeper/small.txt"},
        TCase{true, false, true, Src + "sub/deeper/small.txt"}}) {
    const std::string archive = Path("paths.zip");
    ::unlink(archive.c_str());
    TZipEngine engine(Services());
    engine.SetZipName(archive);
    engine.SetRootDir(Src);
    engine.SetStorePaths(c.Store);
    engine.SetStoreVolumes(c.Volumes);
    engine.SetRelativePaths(c.Relative);
    engine.FilesList = {Src + "sub/deeper/small.txt"};
    ASSERT_EQ(engine.PerformZip(), 1);
    EXPECT_EQ(Names(archive), std::vector<std::string>{c.Expected});
  }
}

TEST_F(ZipEngineTest, ExpansionRootPrefixesAndMissingFiles) {
  auto engine = RelativeEngine(Path("exp.zip"));
  std::vector<std::string> missing;
  engine->OnNoSuchFile = [&](TZipEngine&, const std::string& name) { missing.push_back(name); };
  engine->FilesList = {"text.txt", "nothing.txt", "|" + Src + "*.txt", ">" + Src + "sub/*.txt"};
  EXPECT_EQ(engine->PerformZip(), 2);  // text.txt twice: the second is refused
  EXPECT_EQ(missing, std::vector<std::string>{Src + "nothing.txt"});
  EXPECT_EQ(Names(Path("exp.zip")), (std::vector<std::string>{"text.txt", "sub/deeper/small.txt"}));
}

TEST_F(ZipEngineTest, SecondFileOfTheSameStoredNameIsSkipped) {
  // A new archive: the name came from a file of this operation, which no
  // view shows yet.
  auto engine = RelativeEngine(Path("dup.zip"));
  std::vector<int> skipped;
  engine->OnSkippingFile = [&](TUnZipEngine&, TSkipReason reason, int index) {
    EXPECT_EQ(reason, TSkipReason::srNotOverwritten);
    skipped.push_back(index);
  };
  engine->FilesList = {Src + "text.txt", Src + "empty", Src + "empty"};
  EXPECT_EQ(engine->PerformZip(), 2);
  EXPECT_EQ(skipped, std::vector<int>{-1});
}

TEST_F(ZipEngineTest, SkippedDuplicateNamesTheRowTheCallerShows) {
  auto engine = RelativeEngine(Path("dup.zip"));
  engine->SortMode = TZipSortMode::ByName;  // the new archive's view, adopted after the zip
  engine->FilesList = {Src + "text.txt", Src + "random.bin", Src + "empty"};
  ASSERT_EQ(engine->PerformZip(), 3);
  const std::vector<std::string> rows = {"empty", "random.bin", "text.txt"};
  ASSERT_EQ(engine->FullName(0), rows[0]);
  std::vector<std::string> named;
  engine->OnSkippingFile = [&](TUnZipEngine& sender, TSkipReason, int index) {
    named.push_back(sender.FullName(index));
    // Every row is where the caller left it while the event runs.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(sender.FullName(i), rows[static_cast<std::size_t>(i)]);
  };
  engine->ZipAction = TZipAction::zaReplace;
  engine->FilesList = {Src + "random.bin", Src + "random.bin"};
  EXPECT_EQ(engine->PerformZip(), 1);
  EXPECT_EQ(named, std::vector<std::string>{"random.bin"});
}

TEST_F(ZipEngineTest, NamesDifferingOnlyInCaseAreDifferentMembers) {
  test::WriteFileText(Src + "x.h", "lower");
  test::WriteFileText(Src + "X.h", "upper");
  auto engine = RelativeEngine(Path("case.zip"));
  engine->FilesList = {Src + "x.h", Src + "X.h"};
  ASSERT_EQ(engine->PerformZip(), 2);
  EXPECT_EQ(Names(Path("case.zip")), (std::vector<std::string>{"x.h", "X.h"}));

  test::WriteFileText(Src + "X.h", "upper, newer");
  Touch("X.h", 4);
  engine->ZipAction = TZipAction::zaUpdate;
  engine->FilesList = {Src + "X.h"};
  EXPECT_EQ(engine->PerformZip(), 1);  // replaces X.h only
  engine->ZipAction = TZipAction::zaFreshen;
  engine->FilesList = {Src + "X.H"};
  EXPECT_EQ(engine->PerformZip(), 0);  // no member of that exact name to freshen
  EXPECT_EQ(Names(Path("case.zip")), (std::vector<std::string>{"x.h", "X.h"}));
  ExpectUnzipRestores(Path("case.zip"), {"x.h", "X.h"});  // each member holds its own file
}

TEST_F(ZipEngineTest, ArchiveNeverReceivesItself) {
  auto engine = RelativeEngine(Src + "self.zip");
  engine->FilesList = {Src + "*.*"};
  engine->SetStorePaths(false);
  engine->Recurse = false;
  EXPECT_EQ(engine->PerformZip(), 3);
  engine->FilesList = {Src + "*.*"};
  engine->ZipAction = TZipAction::zaReplace;
  EXPECT_EQ(engine->PerformZip(), 3);
  for (const auto& name : Names(Src + "self.zip")) EXPECT_NE(name, "self.zip");
}

TEST_F(ZipEngineTest, UpdateCopiesUnchangedFilesAndReplacesNewerOnesInPlace) {
  auto engine = RelativeEngine(Path("up.zip"));
  engine->FilesList = {Src + "text.txt", Src + "random.bin", Src + "empty"};
  ASSERT_EQ(engine->PerformZip(), 3);
  const auto before = test::ReadFileBytes(Path("up.zip"));
  engine->FilesList = {Src + "random.bin"};
  EXPECT_EQ(engine->PerformZip(), 0);  // same date: copied
  EXPECT_EQ(test::ReadFileBytes(Path("up.zip")), before);
  test::WriteFileBytes(Src + "random.bin", test::RandomBytes(6000, 9));
  Touch("random.bin", 2);
  engine->FilesList = {Src + "random.bin"};
  EXPECT_EQ(engine->PerformZip(), 1);
  EXPECT_EQ(Names(Path("up.zip")), (std::vector<std::string>{"text.txt", "random.bin", "empty"}));
  EXPECT_EQ(Member(Path("up.zip"), "random.bin"), test::RandomBytes(6000, 9));
  engine->ZipAction = TZipAction::zaReplace;
  engine->FilesList = {Src + "empty"};
  EXPECT_EQ(engine->PerformZip(), 1);  // replaced even though unchanged
  ExpectPeersAccept(Path("up.zip"));
}

// Files put into one folder of the archive: stored there whatever their
// own path, and matched by that name, so a member the user agreed to
// replace is replaced in place while the others are copied as they were.
TEST_F(ZipEngineTest, StoredFolderPlacesFilesAndReplacesTheMemberOfThatName) {
  auto engine = RelativeEngine(Path("into.zip"));
  engine->FilesList = {Src + "text.txt", Src + "sub/deeper/small.txt"};
  ASSERT_EQ(engine->PerformZip(), 2);
  test::WriteFileText(Path("small.txt"), "the new small");
  test::WriteFileText(Path("new.txt"), "new");
  engine->SetRelativePaths(false);
  engine->SetStorePaths(true);
  engine->ZipAction = TZipAction::zaReplace;
  engine->StoredFolder = "sub/./deeper/../deeper";
  std::vector<std::string> stored;
  engine->OnStartZip = [&](TZipEngine&, const std::string&, TZipHeaderInfo& header, bool&) {
    stored.push_back(header.FullName());
  };
  engine->FilesList = {Path("small.txt"), Path("new.txt")};
  EXPECT_EQ(engine->PerformZip(), 2);
  EXPECT_EQ(stored,
            (std::vector<std::string>{"sub/deeper/deeper/small.txt", "sub/deeper/deeper/new.txt"}));
  engine->StoredFolder = "sub/deeper/";
  engine->FilesList = {Path("small.txt"), Path("new.txt")};
  EXPECT_EQ(engine->PerformZip(), 2);
  EXPECT_EQ(
      Names(Path("into.zip")),
      (std::vector<std::string>{"text.txt", "sub/deeper/small.txt", "sub/deeper/deeper/small.txt",
                                "sub/deeper/deeper/new.txt", "sub/deeper/new.txt"}));
  const std::string replaced = "the new small";
  EXPECT_EQ(Member(Path("into.zip"), "sub/deeper/small.txt"),
            std::vector<u8>(replaced.begin(), replaced.end()));
  engine->StoredFolder = "//server/share/";
  engine->FilesList = {Path("new.txt")};
  EXPECT_EQ(engine->PerformZip(), 1);
  EXPECT_EQ(Names(Path("into.zip")).back(), "//server/share/new.txt");
  // With relative paths a folder's tree below the root stays a tree inside
  // the stored folder; a file outside the root lands in it flat.
  engine->SetRelativePaths(true);
  engine->SetRootDir(Src);
  engine->StoredFolder = "into/";
  engine->FilesList = {">" + Src + "sub/*", Path("new.txt")};
  stored.clear();
  EXPECT_EQ(engine->PerformZip(), 3);
  EXPECT_EQ(stored, (std::vector<std::string>{"into/new.txt", "into/sub/run.dat",
                                              "into/sub/deeper/small.txt"}));
}

TEST_F(ZipEngineTest, FreshenOnlyTouchesMembersAlreadyThere) {
  auto engine = RelativeEngine(Path("fresh.zip"));
  engine->FilesList = {Src + "text.txt"};
  ASSERT_EQ(engine->PerformZip(), 1);
  Touch("text.txt", 4);
  engine->ZipAction = TZipAction::zaFreshen;
  engine->FilesList = {Src + "*.*"};
  i64 reported = -1;
  engine->OnStartZipInfo = [&](TZipEngine&, int files, i64 bytes, TEndCentral&, bool&) {
    EXPECT_EQ(files, 0);  // text.txt was replaced in place; nothing is new
    reported = bytes;
  };
  EXPECT_EQ(engine->PerformZip(), 1);
  EXPECT_EQ(reported, -1);  // no new files: no OnStartZipInfo
  EXPECT_EQ(Names(Path("fresh.zip")), std::vector<std::string>{"text.txt"});
}

TEST_F(ZipEngineTest, SkippedFileIsNotAddedAndNotCounted) {
  auto engine = RelativeEngine(Path("skip.zip"));
  engine->OnStartZip = [](TZipEngine&, const std::string& name, TZipHeaderInfo&, bool& skip) {
    skip = name.ends_with("random.bin");
  };
  int lastTotal = 0;
  engine->OnTotalPercentDone = [&](TUnZipEngine&, int p) { lastTotal = p; };
  engine->FilesList = {Src + "random.bin", Src + "text.txt"};
  EXPECT_EQ(engine->PerformZip(), 1);
  EXPECT_EQ(lastTotal, 100);  // the skipped file's size left the total
  EXPECT_EQ(Names(Path("skip.zip")), std::vector<std::string>{"text.txt"});
}

TEST_F(ZipEngineTest, EncryptedMembersCarryFlagHeaderAndRandomBytes) {
  auto engine = RelativeEngine(Path("enc.zip"));
  engine->Password = "secret";
  engine->FilesList = {Src + "text.txt", Src + "empty"};
  ASSERT_EQ(engine->PerformZip(), 2);
  EXPECT_EQ(Fake.Random.Given.size(), 20u);  // ten per member, from the random source
  TUnZipEngine reader(Services());
  reader.SetZipName(Path("enc.zip"));
  reader.ReadZip();
  EXPECT_TRUE(reader.IsEncrypted(1));
  EXPECT_EQ(reader.CompressedSize(1), 12u);  // an empty member still has its header
  const auto bytes = test::ReadFileBytes(Path("enc.zip"));
  const std::size_t header = reader.Entry(0).RelativeOffset + 30 + 8;
  std::vector<u8> encryption(bytes.begin() + static_cast<long>(header),
                             bytes.begin() + static_cast<long>(header) + 12);
  TZipCipher cipher;
  cipher.InitKeys("secret");
  cipher.Decrypt(encryption);
  EXPECT_EQ(encryption[11], static_cast<u8>(reader.Crc(0) >> 24));
  EXPECT_EQ(Member(Path("enc.zip"), "text.txt", "secret"), test::ReadFileBytes(Src + "text.txt"));
  ExpectPeersAccept(Path("enc.zip"), "secret");
  ExpectUnzipRestores(Path("enc.zip"), {"text.txt", "empty"}, "secret");
}

TEST_F(ZipEngineTest, CommentsAreCommittedAndCarriedOver) {
  auto engine = RelativeEngine(Path("c.zip"));
  engine->FilesList = {Src + "text.txt", Src + "empty"};
  ASSERT_EQ(engine->PerformZip(), 2);
  engine->SetZipComment("archive comment");
  engine->SetFileComment(1, "about empty");
  EXPECT_TRUE(engine->IsModified());
  engine->CommitModified();
  EXPECT_FALSE(engine->IsModified());
  TZipEngine other(Services());
  other.SetZipName(Path("c.zip"));
  other.ReadZip();
  EXPECT_EQ(other.ZipComment(), "archive comment");
  EXPECT_EQ(other.FileComment(1), "about empty");
  // Adding keeps both comments.
  other.SetRootDir(Src);
  other.SetRelativePaths(true);
  other.FilesList = {Src + "random.bin"};
  ASSERT_EQ(other.PerformZip(), 1);
  TUnZipEngine reader(Services());
  reader.SetZipName(Path("c.zip"));
  reader.ReadZip();
  EXPECT_EQ(reader.ZipComment(), "archive comment");
  EXPECT_EQ(reader.FileComment(1), "about empty");
  ExpectPeersAccept(Path("c.zip"));
}

TEST_F(ZipEngineTest, ChangingTheNameWritesPendingComments) {
  auto engine = RelativeEngine(Path("pending.zip"));
  engine->FilesList = {Src + "empty"};
  ASSERT_EQ(engine->PerformZip(), 1);
  engine->SetZipComment("written on leaving");
  engine->SetZipName(Path("other.zip"));
  TUnZipEngine reader(Services());
  reader.SetZipName(Path("pending.zip"));
  reader.ReadZip();
  EXPECT_EQ(reader.ZipComment(), "written on leaving");
}

TEST_F(ZipEngineTest, StreamFormTakesTheClockAndFreshAttributes) {
  TZipEngine engine(Services());
  engine.SetZipName(Path("s.zip"));
  TMemoryStream stream;
  stream.WriteBuffer(test::TextBytes(20000, 5));
  EXPECT_EQ(engine.PerformZipFromStream(stream, "from/memory.txt"), 1);
  TUnZipEngine reader(Services());
  reader.SetZipName(Path("s.zip"));
  reader.ReadZip();
  EXPECT_EQ(reader.FullName(0), "memory.txt");
  EXPECT_EQ(reader.Entry(0).FileDate, FileTimeToDosDateTime(Fake.Clock.Now()));
  // A plain rw-r--r-- file to Unix readers, the fresh archive bit to DOS ones.
  EXPECT_EQ(reader.Entry(0).ExternalAttributes, 0100644u << 16 | 0x20u);
  EXPECT_EQ(reader.Entry(0).VersionMadeBy, kVersionMadeByUnix);
  EXPECT_EQ(Member(Path("s.zip"), "memory.txt"), test::TextBytes(20000, 5));
}

TEST_F(ZipEngineTest, CopiedMembersKeepTheirLocalExtraField) {
  if (!test::HaveProgram("/usr/bin/zip")) GTEST_SKIP();
  const auto r =
      test::RunCommand("cd " + test::ShellQuote(Src) + " && /usr/bin/zip -q ../peer.zip text.txt");
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  const auto before = test::ReadFileBytes(Path("peer.zip"));
  const u16 extra = GetLE16(before, 28);
  ASSERT_GT(extra, 0);  // Info-ZIP's time and owner fields
  auto engine = RelativeEngine(Path("peer.zip"));
  engine->FilesList = {Src + "empty"};
  ASSERT_EQ(engine->PerformZip(), 1);
  const auto after = test::ReadFileBytes(Path("peer.zip"));
  EXPECT_EQ(GetLE16(after, 28), extra);
  EXPECT_TRUE(
      std::equal(before.begin() + 30 + 8, before.begin() + 30 + 8 + extra, after.begin() + 30 + 8));
  ExpectPeersAccept(Path("peer.zip"));
}

TEST_F(ZipEngineTest, DisposeDeletesSourcesAfterSuccessUnlessSpared) {
  auto engine = RelativeEngine(Path("move.zip"));
  engine->Dispose = true;
  std::vector<std::string> asked;
  engine->OnDisposeFile = [&](TZipEngine&, const std::string& name, bool& skip) {
    asked.push_back(name);
    skip = name.ends_with("empty");
  };
  engine->FilesList = {Src + "random.bin", Src + "empty"};
  ASSERT_EQ(engine->PerformZip(), 2);
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_FALSE(test::FileExists(Src + "random.bin"));
  EXPECT_TRUE(test::FileExists(Src + "empty"));
}

TEST_F(ZipEngineTest, ArchiveAttributeFilterAndReset) {
  ASSERT_TRUE(Fake.Files.SetAttributes(Src + "empty", 0));  // archive bit clear
  auto engine = RelativeEngine(Path("attr.zip"));
  engine->SkipIfArchiveBitNotSet = true;
  engine->ResetArchiveBitOnZip = true;
  engine->FilesList = {Src + "empty", Src + "random.bin"};
  EXPECT_EQ(engine->PerformZip(), 1);
  EXPECT_EQ(Names(Path("attr.zip")), std::vector<std::string>{"random.bin"});
  EXPECT_FALSE(Fake.Files.Stat(Src + "random.bin")->Attributes & faAttr::Archive);
}

TEST_F(ZipEngineTest, PeersReadEverythingWeWrite) {
  test::WriteFileText(Src + "caf\xC3\xA9.txt", "cp437 name");
  test::WriteFileText(Src + "\xE6\x97\xA5\xE6\x9C\xAC.txt", "utf-8 name");
  for (const bool encrypted : {false, true}) {
    const std::string archive = Path(encrypted ? "peers-enc.zip" : "peers.zip");
    auto engine = RelativeEngine(archive);
    engine->PackLevel = 9;
    if (encrypted) engine->Password = "pw";
    engine->FilesList = {Src + "*.*"};
    ASSERT_EQ(engine->PerformZip(), 7);
    engine->SetZipComment("comment");
    engine->SetFileComment(0, "first");
    engine->CommitModified();
    ExpectPeersAccept(archive, encrypted ? "pw" : "");
    // Info-ZIP turns code-page-437 names into Latin-1 on Linux, so the CP437
    // name is checked through Python's reading instead.
    ExpectUnzipRestores(archive,
                        {"text.txt", "random.bin", "empty", "sub/run.dat", "sub/deeper/small.txt",
                         "\xE6\x97\xA5\xE6\x9C\xAC.txt"},
                        encrypted ? "pw" : "");
    if (test::HaveProgram("python3")) {
      const auto r = test::RunCommand(
          "python3 -c \"import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
          "z.setpassword(b'pw'); print(z.read('caf\\u00e9.txt').decode())\" " +
          test::ShellQuote(archive));
      EXPECT_EQ(r.Output, "cp437 name\n");
    }
  }
}

TEST_F(ZipEngineTest, AFileThatCannotBeAddedIsReportedNotLeftOutSilently) {
  ASSERT_EQ(::mkfifo((Src + "pipe").c_str(), 0600), 0);
  TZipEngine engine(Services());
  std::vector<std::string> reported;
  engine.OnNoSuchFile = [&](TZipEngine&, const std::string& name) { reported.push_back(name); };
  engine.SetZipName(Path("some.zip"));
  engine.FilesList = {Src + "pipe", Src + "text.txt", Src + "sub"};
  EXPECT_EQ(engine.PerformZip(), 1);
  // The folder named in the list is left out quietly.
  EXPECT_EQ(reported, std::vector<std::string>{Src + "pipe"});
  EXPECT_EQ(engine.Count(), 1);
}

TEST_F(ZipEngineTest, RepairOfAnArchiveCutInsideAMemberKeepsTheWholeOnes) {
  TZipEngine engine(Services());
  engine.SetZipName(Path("whole.zip"));
  engine.SetRootDir(Src);
  engine.SetRelativePaths(true);
  engine.FilesList = {Src + "random.bin", Src + "empty", Src + "text.txt"};
  ASSERT_EQ(engine.PerformZip(), 3);
  const auto bytes = test::ReadFileBytes(Path("whole.zip"));
  // Cut 100 bytes into text.txt's data, past the two whole members.
  ASSERT_EQ(engine.FullName(2), "text.txt");
  const std::size_t cut = engine.Entry(2).RelativeOffset + 30 + 8 + 100;
  test::WriteFileBytes(Path("cut.zip"), std::vector<u8>(bytes.begin(), bytes.begin() + cut));

  TZipEngine repair(Services());
  repair.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  repair.RepairArchive(Path("cut.zip"), Path("fixed.zip"));
  repair.ReadZip();
  ASSERT_EQ(repair.Count(), 2);
  EXPECT_EQ(repair.FullName(0), "random.bin");
  EXPECT_EQ(repair.FullName(1), "empty");
  ExpectUnzipRestores(Path("fixed.zip"), {"random.bin", "empty"});
}

}  // namespace
}  // namespace vz
