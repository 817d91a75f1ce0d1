#include "engine/reader/UnZipEngine.h"

#include <thread>

#include "engine/format/DosDate.h"
#include "engine/support/Exceptions.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/ZipBuilder.h"

namespace vz {
namespace {

using test::TBuildMember;
using test::TZipBuilder;

TBuildMember Member(const std::string& name, const std::string& data,
                    const std::string& comment = "") {
  TBuildMember m;
  m.Name = name;
  m.Data.assign(data.begin(), data.end());
  m.Comment = comment;
  return m;
}

class UnZipEngineTest : public test::TEngineFixture {
 protected:
  TUnZipEngine Engine{Services()};

  std::string ThreeMembers() {
    return Put("three.zip", TZipBuilder::Archive({Member("b.txt", "bbbb", "second"),
                                                  Member("dir/A.txt", "aa"),
                                                  Member("dir/", "")},
                                                 "the archive comment"));
  }
};

TEST_F(UnZipEngineTest, DefaultsAndVersion) {
  EXPECT_EQ(Engine.ThisVersion(), 214);
  Engine.SetThisVersion(5);
  EXPECT_EQ(Engine.ThisVersion(), 214);
  EXPECT_EQ(Engine.SortMode, TZipSortMode::ByNone);
  EXPECT_EQ(Engine.OverwriteMode, TUZOverwriteMode::Prompt);
  EXPECT_EQ(Engine.IncompleteZipMode, TIncompleteZipMode::izAssumeMulti);
  EXPECT_TRUE(Engine.DoProcessMessages);
  EXPECT_TRUE(Engine.RetainAttributes);
  EXPECT_TRUE(Engine.CheckDiskLabels());
  EXPECT_EQ(Engine.NumDisks, 1);
  EXPECT_EQ(Engine.Count(), 0);
}

TEST_F(UnZipEngineTest, ListsMembersInArchiveOrder) {
  Engine.SetZipName(ThreeMembers());
  EXPECT_EQ(Engine.Count(), 0);  // not read until asked
  Engine.ReadZip();
  ASSERT_EQ(Engine.Count(), 3);
  EXPECT_EQ(Engine.FullName(0), "b.txt");
  EXPECT_EQ(Engine.Pathname(1), "dir/");
  EXPECT_EQ(Engine.Filename(1), "A.txt");
  EXPECT_EQ(Engine.Filename(2), "");
  EXPECT_EQ(Engine.UncompressedSize(0), 4u);
  EXPECT_EQ(Engine.CompressMethod(0), 0);
  EXPECT_EQ(Engine.DiskNo(0), 1);
  EXPECT_FALSE(Engine.IsEncrypted(0));
  EXPECT_EQ(Engine.Crc(1), Crc32Of(std::vector<u8>{'a', 'a'}));
  EXPECT_EQ(Engine.MultiMode(), TMultiMode::mmNone);
}

TEST_F(UnZipEngineTest, SortModeTakesEffectAtTheNextRead) {
  Engine.SetZipName(ThreeMembers());
  Engine.SortMode = TZipSortMode::ByName;
  Engine.ReadZip();
  EXPECT_EQ(Engine.FullName(0), "b.txt");
  EXPECT_EQ(Engine.FullName(1), "dir/");
  EXPECT_EQ(Engine.FullName(2), "dir/A.txt");
  Engine.SortMode = TZipSortMode::ByUnCompressedSize;
  Engine.SetZipName("");
  Engine.SetZipName(Path("three.zip"));
  Engine.ReadZip();
  EXPECT_EQ(Engine.FullName(0), "b.txt");
}

TEST_F(UnZipEngineTest, IndexOutOfRangeNamesTheIndex) {
  Engine.SetZipName(ThreeMembers());
  Engine.ReadZip();
  try {
    Engine.Filename(3);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Index 3 is out of range");
  }
  EXPECT_THROW(Engine.Crc(-1), EListError);
}

TEST_F(UnZipEngineTest, CommentsLoadLazilyAndChangesSetModified) {
  Engine.SetZipName(ThreeMembers());
  Engine.ReadZip();
  EXPECT_FALSE(Engine.Entry(0).FileComment);
  EXPECT_EQ(Engine.FileComment(0), "second");
  EXPECT_EQ(Engine.FileComment(1), "");
  EXPECT_EQ(Engine.ZipComment(), "the archive comment");
  EXPECT_FALSE(Engine.EndCentral().Modified);  // loading is not a change
  Engine.SetFileComment(0, "second");
  EXPECT_FALSE(Engine.EndCentral().Modified);
  Engine.SetFileComment(1, "");
  EXPECT_FALSE(Engine.EndCentral().Modified);
  Engine.SetFileComment(1, "new");
  EXPECT_TRUE(Engine.EndCentral().Modified);
  EXPECT_EQ(Engine.FileComment(1), "new");
  Engine.SetZipComment("changed");
  EXPECT_EQ(Engine.ZipComment(), "changed");
  EXPECT_EQ(Engine.EndCentral().ZipCommentLength, 7);
}

TEST_F(UnZipEngineTest, ChangedFileIsReadAgainByTheNextOperation) {
  const std::string path = ThreeMembers();
  Engine.SetZipName(path);
  Engine.ReadZip();
  ASSERT_EQ(Engine.Count(), 3);
  // Rewritten under the same name, as an update would.
  test::WriteFileBytes(path, TZipBuilder::Archive({Member("only.txt", "x")}));
  ASSERT_TRUE(Fake.Files.SetLastWriteTime(path, Fake.Clock.Now()));
  Engine.ReadZip();
  ASSERT_EQ(Engine.Count(), 1);
  EXPECT_EQ(Engine.FullName(0), "only.txt");
}

TEST_F(UnZipEngineTest, SameNameKeepsTheCatalogueAndNewNameReleasesIt) {
  const std::string path = ThreeMembers();
  Engine.SetZipName(path);
  Engine.ReadZip();
  Engine.SetZipName(path);
  EXPECT_EQ(Engine.Count(), 3);
  Engine.SetZipName(Path("THREE.zip"));  // another file on a case-sensitive system
  EXPECT_EQ(Engine.Count(), 0);
}

TEST_F(UnZipEngineTest, KeepZipOpenAndClearZip) {
  Engine.SetZipName(ThreeMembers());
  Engine.KeepZipOpen = true;
  Engine.ReadZip();
  Engine.ClearZip();
  EXPECT_EQ(Engine.Count(), 0);
  EXPECT_EQ(Engine.ZipName(), "");
  EXPECT_TRUE(Engine.KeepZipOpen);
  EXPECT_EQ(Engine.NumDisks, 1);
}

TEST_F(UnZipEngineTest, QuestionMarkAsksTheHostForTheArchive) {
  const std::string path = ThreeMembers();
  Host.FileDialogAnswers.push_back(path);
  Engine.SetZipName(Fake.Root() + "?");
  ASSERT_EQ(Host.FileDialogs.size(), 1u);
  EXPECT_EQ(Host.FileDialogs[0].Title, "Open a Zip File");
  EXPECT_EQ(Host.FileDialogs[0].Filter,
            "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All Files "
            "(*.*)|*.*");
  EXPECT_EQ(Host.FileDialogs[0].InitialFolder, Fake.Root());
  EXPECT_EQ(Engine.ZipName(), path);
  Host.FileDialogAnswers.push_back(std::nullopt);
  try {
    Engine.SetZipName(Fake.Root() + "missing/?");
    FAIL();
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled setting zip file name.");
  }
  EXPECT_EQ(Host.FileDialogs[1].InitialFolder, "/");
  EXPECT_EQ(Engine.ZipName(), path);
}

TEST_F(UnZipEngineTest, DestDirAndRootDirForms) {
  Engine.SetDestDir(Fake.Root() + "out/");
  EXPECT_EQ(Engine.DestDir(), Fake.Root() + "out");
  Host.FolderDialogAnswers.push_back(Fake.Root() + "picked/");
  Engine.SetDestDir("?");
  EXPECT_EQ(Engine.DestDir(), Fake.Root() + "picked");
  Host.FolderDialogAnswers.push_back(std::nullopt);
  try {
    Engine.SetDestDir("?");
    FAIL();
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled Set Desination Directory");
  }
  Engine.SetRootDir("docs");
  EXPECT_EQ(Engine.RootDir(), "docs/");
  Engine.SetRootDir("");
  EXPECT_EQ(Engine.RootDir(), "");
}

TEST_F(UnZipEngineTest, DateTimeOfAnUnconvertibleDateIsNow) {
  TBuildMember m = Member("late.txt", "x");
  m.DosDateTime = PackDosDateTime({2001, 2, 3, 24, 0, 0});
  TBuildMember good = Member("good.txt", "y");
  good.DosDateTime = PackDosDateTime({2001, 2, 3, 4, 5, 6});
  Engine.SetZipName(Put("dates.zip", TZipBuilder::Archive({m, good})));
  Engine.ReadZip();
  EXPECT_DOUBLE_EQ(Engine.DateTime(0), FileTimeToDateTime(Fake.Clock.Now()));
  EXPECT_DOUBLE_EQ(Engine.DateTime(1), EncodeDateTime({2001, 2, 3, 4, 5, 6}));
}

// A sink that can only move forward, like standard output.
class TForwardOnlyStream : public TMemoryStream {
 public:
  i64 Seek(i64 offset, TSeekOrigin origin) override {
    if (offset != 0 || origin == TSeekOrigin::Begin) throw EStreamError("Seek error");
    return TMemoryStream::Seek(0, TSeekOrigin::End);
  }
  void SetSize(i64) override { throw EStreamError("Seek error"); }
};

TEST_F(UnZipEngineTest, BadMemberIntoAStreamThatCannotGoBackIsStillReported) {
  TBuildMember bad = Member("bad.txt", "damaged");
  bad.Crc = 1234;
  Engine.SetZipName(Put("bad.zip", TZipBuilder::Archive({bad})));
  int badCrc = 0;
  Engine.OnBadCRC = [&](TUnZipEngine&, u32, u32 stored, int) {
    EXPECT_EQ(stored, 1234u);
    ++badCrc;
  };
  TForwardOnlyStream sink;
  EXPECT_EQ(Engine.UnZipToStream(sink, "*"), 0);
  EXPECT_EQ(badCrc, 1);
}

TEST_F(UnZipEngineTest, UnreadableArchiveRaisesTheOpenError) {
  Engine.SetZipName(Path("none.zip"));
  EXPECT_THROW(Engine.ReadZip(), EFOpenError);
}

// ---- damaged archives and the rebuild ----

std::vector<u8> WithoutEndRecord(const std::vector<u8>& archive, std::size_t keep) {
  return {archive.begin(), archive.begin() + static_cast<long>(keep)};
}

TEST_F(UnZipEngineTest, MissingEndRecordAsksAndAssumesMultiByDefault) {
  const auto archive = TZipBuilder::Archive({Member("a", "1"), Member("b", "22")});
  Engine.SetZipName(Put("cut.zip", WithoutEndRecord(archive, archive.size() - 22)));
  int asked = 0;
  Engine.OnInCompleteZip = [&](TUnZipEngine&, TIncompleteZipMode& mode) {
    ++asked;
    EXPECT_EQ(mode, TIncompleteZipMode::izAssumeMulti);
  };
  try {
    Engine.ReadZip();
    FAIL();
  } catch (const EIncompleteZip& e) {
    EXPECT_STREQ(e.what(), "Incomplete Zip File");
  }
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(Engine.Count(), 0);
}

TEST_F(UnZipEngineTest, AssumeBadRebuildsFromLocalHeadersAndKeepsFoundOffsets) {
  const auto archive = TZipBuilder::Archive(
      {Member("a.txt", "1", "ca"), Member("b.txt", "22", "cb"), Member("c.txt", "333")});
  // Cut inside the central directory: the first record survives whole.
  const std::size_t centralStart = 3 * 30 + 15 + 6;
  Engine.SetZipName(Put("cut.zip", WithoutEndRecord(archive, centralStart + 46 + 5 + 2 + 10)));
  Engine.OnInCompleteZip = [](TUnZipEngine&, TIncompleteZipMode& mode) {
    mode = TIncompleteZipMode::izAssumeBad;
  };
  Engine.ReadZip();
  EXPECT_TRUE(Engine.Rebuilt());
  EXPECT_EQ(Engine.IncompleteZipMode, TIncompleteZipMode::izAssumeBad);
  ASSERT_EQ(Engine.Count(), 3);
  EXPECT_EQ(Engine.FullName(2), "c.txt");
  EXPECT_EQ(Engine.Entry(1).RelativeOffset, 36u);
  // Only the first entry's central record was read: it has its comment
  // length and attributes; the others come from their local headers.
  EXPECT_EQ(Engine.FileComment(0), "ca");
  EXPECT_EQ(Engine.Entry(0).ExternalAttributes, 0x20u);
  EXPECT_EQ(Engine.Entry(1).ExternalAttributes, 0u);
  EXPECT_GT(Host.BusyCalls, 0);
}

TEST_F(UnZipEngineTest, RebuildLeavesOutAMemberCutOffInsideItsData) {
  const auto archive = TZipBuilder::Archive(
      {Member("a.txt", "1"), Member("b.txt", "22"), Member("c.txt", std::string(500, 'c'))});
  // The third member's header is whole, its data is not.
  const std::size_t thirdData = 3 * 30 + 15 + 3 + 200;
  Engine.SetZipName(Put("cut.zip", std::vector<u8>(archive.begin(), archive.begin() + thirdData)));
  Engine.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  Engine.ReadZip();
  EXPECT_TRUE(Engine.Rebuilt());
  ASSERT_EQ(Engine.Count(), 2);
  EXPECT_EQ(Engine.FullName(1), "b.txt");
}

TEST_F(UnZipEngineTest, WrongCentralOffsetRebuildsFromTheRightStart) {
  // A 20000-byte stub whose central offsets were not adjusted.
  std::vector<u8> file(20000, 'x');
  TZipBuilder fake;
  fake.AddLocal(Member("s", ""));  // something that looks like a header inside the stub
  std::copy(fake.Bytes.begin(), fake.Bytes.end(), file.begin() + 100);
  const auto archive = TZipBuilder::Archive({Member("in.txt", "data")});
  file.insert(file.end(), archive.begin(), archive.end());
  for (const char* name : {"SETUP.EXE", "setup.exe"}) {
    TUnZipEngine engine(Services());
    engine.SetZipName(Put(name, file));
    engine.ReadZip();
    EXPECT_TRUE(engine.Rebuilt());
    if (std::string(name) == "SETUP.EXE") {
      // Starts past the stub at 14000: finds the real member.
      ASSERT_EQ(engine.Count(), 1);
      EXPECT_EQ(engine.FullName(0), "in.txt");
      EXPECT_EQ(engine.Entry(0).RelativeOffset, 20000u);
    } else {
      // Starts at 0 and stops at the first position without a header.
      ASSERT_EQ(engine.Count(), 1);
      EXPECT_EQ(engine.Entry(0).RelativeOffset, 100u);
    }
  }
}

TEST_F(UnZipEngineTest, RebuildThatFindsNothingGivesAnEmptyCatalogue) {
  Engine.SetZipName(Put("noise.zip", std::vector<u8>(5000, 'P')));
  Engine.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  Engine.ReadZip();
  EXPECT_EQ(Engine.Count(), 0);
  EXPECT_TRUE(Engine.Rebuilt());
}

TEST_F(UnZipEngineTest, RebuildCanBeCancelled) {
  Engine.SetZipName(Put("big.bin", test::RandomBytes(200000, 5)));
  Engine.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  Host.OnProcessMessages = [&] { Engine.CancelOperation = true; };
  try {
    Engine.ReadZip();
    FAIL();
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User Aborted Operation");
  }
  EXPECT_FALSE(Engine.CancelOperation);
  EXPECT_EQ(Host.BusyDepth, 0);
}

// A directory read that a cancel stops part way leaves no catalogue that
// could pass for the archive's: the next read lists every member.
struct TCancelledReadCase {
  const char* Name;
  bool Damaged;  // no end record: the members are found by their own headers
};

class CancelledDirectoryRead : public UnZipEngineTest,
                               public testing::WithParamInterface<TCancelledReadCase> {};

TEST_P(CancelledDirectoryRead, LeavesNothingBehind) {
  std::vector<TBuildMember> members;
  const int count = GetParam().Damaged ? 3 : 1500;  // past one look at the flag
  for (int i = 0; i < count; ++i) members.push_back(Member("m" + std::to_string(i), "x"));
  std::vector<u8> bytes = TZipBuilder::Archive(members);
  if (GetParam().Damaged) {
    bytes.resize(bytes.size() - 22);          // the end record
    bytes.insert(bytes.begin(), 30000, 'x');  // junk searched before the first header
  }
  Engine.SetZipName(Put("a.zip", bytes));
  Engine.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  Host.OnProcessMessages = [&] {
    Engine.CancelOperation = true;
    Host.OnProcessMessages = nullptr;
  };
  EXPECT_THROW(Engine.ReadZip(), EUserCanceled);
  EXPECT_EQ(Engine.Count(), 0);
  Engine.ReadZip();
  EXPECT_EQ(Engine.Count(), count);
}

INSTANTIATE_TEST_SUITE_P(Reads, CancelledDirectoryRead,
                         testing::Values(TCancelledReadCase{"CentralDirectory", false},
                                         TCancelledReadCase{"Rebuilt", true}),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST_F(UnZipEngineTest, StoredArchiveInsideAnArchiveListsOnlyTheOuterMembers) {
  const auto inner = TZipBuilder::Archive({Member("inner1", "i"), Member("inner2", "j")});
  TBuildMember nested;
  nested.Name = "nested.zip";
  nested.Data = inner;
  const auto outer = TZipBuilder::Archive({Member("first", "f"), nested, Member("last", "l")});
  Engine.SetZipName(Put("outer.zip", outer));
  Engine.ReadZip();
  ASSERT_EQ(Engine.Count(), 3);
  EXPECT_EQ(Engine.FullName(1), "nested.zip");
  // The outer end record damaged: the rebuild walks the outer local headers
  // from member to member and never descends into the stored archive.
  auto damaged = outer;
  damaged[damaged.size() - 22] = 'X';
  TUnZipEngine engine(Services());
  engine.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  engine.SetZipName(Put("damaged.zip", damaged));
  engine.ReadZip();
  ASSERT_EQ(engine.Count(), 3);
  EXPECT_EQ(engine.FullName(2), "last");
}

}  // namespace
}  // namespace vz
