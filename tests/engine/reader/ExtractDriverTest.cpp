// The extraction driver on hand-made archives: selection, target paths, the
// overwrite modes and prompts, event order and arguments, the count, progress,
// extraction into a memory stream, and what is restored on every way out.
#include <cerrno>
#include <filesystem>

#include "engine/codecs/Crc32.h"
#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "tests/engine/reader/ExtractFixture.h"

namespace vz {
namespace {

using test::StoredMember;
using test::TBuildMember;
using test::TZipBuilder;
using Lines = std::vector<std::string>;

class ExtractTest : public test::TExtractFixture {};

TEST_F(ExtractTest, CleanRunFiresEveryEventInOrderWithItsArguments) {
  const auto big = test::RandomBytes(40000, 1);
  Open(TZipBuilder::Archive({StoredMember("a.bin", big), StoredMember("d/b.txt", "hello")}));
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  test::MakeFolders(Out() + "d");
  test::WriteFileText(Out() + "d/b.txt", "old");
  Events.Prompt = [](bool& overwrite, int, std::string&) { overwrite = true; };

  EXPECT_EQ(Engine.UnZip(), 2);
  // Progress comes after every 16000 bytes written and at the end of a member.
  EXPECT_EQ(Events.Lines,
            (Lines{"info 2 40005", "start 0 out/a.bin", "file 40", "total 40", "file 80",
                   "total 80", "file 100", "total 100", "end 0 out/a.bin", "prompt 1 out/d/b.txt",
                   "start 1 out/d/b.txt", "file 100", "total 100", "end 1 out/d/b.txt"}));
  EXPECT_EQ(test::ReadFileBytes(Out() + "a.bin"), big);
  EXPECT_EQ(Text(Out() + "d/b.txt"), "hello");
  const std::time_t stored = DosSeconds(TBuildMember().DosDateTime);
  EXPECT_EQ(MTime(Out() + "a.bin"), stored);
  EXPECT_EQ(MTime(Out() + "d/b.txt"), stored);
}

// ---- selection ------------------------------------------------------------

struct TSelectCase {
  const char* Name;
  bool DoAll;
  bool RecreateDirs;
  std::vector<std::string> Patterns;
  int Count;
  i64 TotalBytes;
  std::vector<std::string> Files;  // below the destination
  friend void PrintTo(const TSelectCase& c, std::ostream* os) { *os << c.Name; }
};

class ExtractSelection : public ExtractTest, public testing::WithParamInterface<TSelectCase> {};

TEST_P(ExtractSelection, ChoosesByDoAllAndPatterns) {
  const TSelectCase& c = GetParam();
  TBuildMember folder = StoredMember("docs/", "");
  folder.ExternalAttributes = 0x10;
  Open(TZipBuilder::Archive(
      {StoredMember("readme.TXT", "r"), folder, StoredMember("docs/a.txt", "aa"),
       StoredMember("docs/sub/B.TXT", "bbbb"), StoredMember("img/c.png", "cccccccc")}));
  Engine.DoAll = c.DoAll;
  Engine.RecreateDirs = c.RecreateDirs;
  Engine.FilesList = c.Patterns;
  EXPECT_EQ(Engine.UnZip(), c.Count);
  ASSERT_FALSE(Events.Lines.empty());
  EXPECT_EQ(Events.Lines[0],
            "info " + std::to_string(c.Count) + " " + std::to_string(c.TotalBytes));
  EXPECT_EQ(test::FilesBelow(Out()), c.Files);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractSelection,
    testing::Values(
        TSelectCase{"NothingChosen", false, true, {}, 0, 0, {}},
        TSelectCase{"StarRunsOverFoldersIgnoringCase",
                    false,
                    true,
                    {"*.txt"},
                    3,
                    7,
                    {"docs/a.txt", "docs/sub/B.TXT", "readme.TXT"}},
        TSelectCase{"FlatWithoutRecreateDirs",
                    false,
                    false,
                    {"*.txt"},
                    3,
                    7,
                    {"B.TXT", "a.txt", "readme.TXT"}},
        TSelectCase{"FolderEntryCountsWithRecreateDirs",
                    false,
                    true,
                    {"DOCS/*"},
                    3,
                    6,
                    {"docs/a.txt", "docs/sub/B.TXT"}},
        TSelectCase{"FolderEntryLeftOutWithoutRecreateDirs",
                    false,
                    false,
                    {"DOCS/*"},
                    2,
                    6,
                    {"B.TXT", "a.txt"}},
        TSelectCase{
            "QuestionMarkIsOneCharacter", false, true, {"docs/?.txt"}, 1, 2, {"docs/a.txt"}},
        TSelectCase{
            "SeveralLines", false, true, {"nothing", "img/c.png", "*.png"}, 1, 8, {"img/c.png"}},
        TSelectCase{"DoAllFlat", true, false, {}, 4, 15, {"B.TXT", "a.txt", "c.png", "readme.TXT"}},
        TSelectCase{"DoAllWithFolders",
                    true,
                    true,
                    {"ignored"},
                    5,
                    15,
                    {"docs/a.txt", "docs/sub/B.TXT", "img/c.png", "readme.TXT"}}),
    [](const auto& row) { return std::string(row.param.Name); });

TEST_F(ExtractTest, FolderEntriesAreCreatedAndCounted) {
  Open(TZipBuilder::Archive({StoredMember("docs/", ""), StoredMember("docs/empty/", "")}));
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), 2);
  EXPECT_EQ(Events.Lines, (Lines{"info 2 0", "start 0 out/docs/", "start 1 out/docs/empty/"}));
  EXPECT_TRUE(std::filesystem::is_directory(Out() + "docs/empty"));
}

// ---- target paths ---------------------------------------------------------

struct TTargetCase {
  const char* Name;
  std::string Stored;  // "{root}" stands for the scratch folder ("/tmp/.../")
  bool WithDestDir;
  std::string RootDir;
  bool RecreateDirs;
  std::string Expected;  // "{out}" stands for the destination without "/"
  friend void PrintTo(const TTargetCase& c, std::ostream* os) { *os << c.Name; }
};

class ExtractTarget : public ExtractTest, public testing::WithParamInterface<TTargetCase> {
 protected:
  std::string Expand(std::string text) {
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"{root}", Fake.Root()}, {"{out}", Path("out")}}) {
      for (std::size_t at; (at = text.find(key)) != std::string::npos;) {
        text.replace(at, key.size(), value);
      }
    }
    return text;
  }
};

TEST_P(ExtractTarget, PutsTheMemberInItsPlace) {
  const TTargetCase& c = GetParam();
  Open(TZipBuilder::Archive({StoredMember(Expand(c.Stored), "content")}),
       c.WithDestDir ? "out" : "");
  Engine.DoAll = true;
  Engine.RecreateDirs = c.RecreateDirs;
  Engine.SetRootDir(c.RootDir);
  const std::string expected = Expand(c.Expected);
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Events.Milestones(),
            (Lines{"info 1 7", "start 0 " + expected.substr(Fake.Root().size()),
                   "end 0 " + expected.substr(Fake.Root().size())}));
  ASSERT_TRUE(Exists(expected)) << expected;
  EXPECT_EQ(Text(expected), "content");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractTarget,
    testing::Values(
        TTargetCase{"Flat", "a/b/x.txt", true, "", false, "{out}/x.txt"},
        TTargetCase{"Recreated", "a/b/x.txt", true, "", true, "{out}/a/b/x.txt"},
        TTargetCase{"RootDirRemovedIgnoringCase", "Docs/sub/x.txt", true, "docs", true,
                    "{out}/sub/x.txt"},
        TTargetCase{"RootDirIsTheWholeFolder", "docs/x.txt", true, "docs/", true, "{out}/x.txt"},
        TTargetCase{"RootDirMatchesWholeComponents", "docsx/x.txt", true, "docs", true,
                    "{out}/docsx/x.txt"},
        TTargetCase{"AbsoluteFolderReRootedBelowDestDir", "{root}abs/x.txt", true, "", true,
                    "{out}{root}abs/x.txt"},
        TTargetCase{"AbsoluteFolderHonouredWithoutDestDir", "{root}abs/x.txt", false, "", true,
                    "{root}abs/x.txt"},
        TTargetCase{"DriveDroppedBelowDestDir", "C:\\data\\x.txt", true, "", true,
                    "{out}/data/x.txt"},
        TTargetCase{"DriveRelativeFolderBelowDestDir", "C:data/x.txt", true, "", true,
                    "{out}/data/x.txt"},
        TTargetCase{"BareDriveBelowDestDir", "C:x.txt", true, "", true, "{out}/x.txt"},
        TTargetCase{"NetworkNameBelowDestDir", "\\\\host\\share\\x.txt", true, "", true,
                    "{out}/host/share/x.txt"},
        TTargetCase{"DriveRootedFolderWithoutDestDir", "C:{root}abs/x.txt", false, "", true,
                    "{root}abs/x.txt"},
        TTargetCase{"AbsoluteFolderFlat", "{root}abs/x.txt", true, "", false, "{out}/x.txt"}),
    [](const auto& row) { return std::string(row.param.Name); });

TEST_F(ExtractTest, RelativeDestDirIsTakenFromTheCurrentFolder) {
  ASSERT_TRUE(Fake.Files.SetCurrentFolder(Fake.Root()));
  const std::string before = Fake.Files.CurrentFolder();
  Engine.SetZipName(Put("test.zip", TZipBuilder::Archive({StoredMember("d/x.txt", "x")})));
  Engine.SetDestDir("rel/out");
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(test::FilesBelow(Path("rel")), (Lines{"out/d/x.txt"}));
  EXPECT_EQ(Fake.Files.CurrentFolder(), before);
}

// ---- existing targets -----------------------------------------------------

enum class TAnswer : u8 { None, Yes, No, Rename, RenameRefused, BoxYes, BoxNo };

struct TOverwriteCase {
  const char* Name;
  TUZOverwriteMode Mode;
  TAnswer Answer;
  int Count;
  std::string Content;  // of out/d/a.txt afterwards
  bool Renamed;         // out/d/a2.txt holds the member
  Lines Milestones;
  friend void PrintTo(const TOverwriteCase& c, std::ostream* os) { *os << c.Name; }
};

class ExtractOverwrite : public ExtractTest, public testing::WithParamInterface<TOverwriteCase> {};

TEST_P(ExtractOverwrite, FollowsTheModeAndTheAnswer) {
  const TOverwriteCase& c = GetParam();
  Open(TZipBuilder::Archive({StoredMember("d/a.txt", "new")}));
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  Engine.OverwriteMode = c.Mode;
  test::MakeFolders(Out() + "d");
  test::WriteFileText(Out() + "d/a.txt", "old");
  Events.Prompt = [&](bool& overwrite, int, std::string& name) {
    overwrite = c.Answer == TAnswer::Yes || c.Answer == TAnswer::Rename;
    if (c.Answer == TAnswer::Rename || c.Answer == TAnswer::RenameRefused) {
      name = ExtractFilePath(name) + "a2.txt";
    }
  };
  if (c.Answer == TAnswer::BoxYes || c.Answer == TAnswer::BoxNo) {
    Engine.OnPromptForOverwrite = nullptr;
    Host.MessageAnswers.push_back(c.Answer == TAnswer::BoxYes ? TMsgResult::Yes : TMsgResult::No);
  }
  EXPECT_EQ(Engine.UnZip(), c.Count);
  EXPECT_EQ(Events.Milestones(), c.Milestones);
  EXPECT_EQ(Text(Out() + "d/a.txt"), c.Content);
  EXPECT_EQ(Exists(Out() + "d/a2.txt"), c.Renamed);
  if (c.Renamed) {
    EXPECT_EQ(Text(Out() + "d/a2.txt"), "new");
  }
  if (c.Answer == TAnswer::BoxYes || c.Answer == TAnswer::BoxNo) {
    ASSERT_EQ(Host.Messages.size(), 1u);
    EXPECT_EQ(Host.Messages[0].Text, "Replace existing file a.txt?");
    EXPECT_EQ(Host.Messages[0].Caption, "File Exists Alert");
    EXPECT_EQ(Host.Messages[0].Buttons, TMsgButtons::YesNo);
  } else {
    EXPECT_TRUE(Host.Messages.empty());
  }
}

const Lines kReplaced{"info 1 3", "start 0 out/d/a.txt", "end 0 out/d/a.txt"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractOverwrite,
    testing::Values(TOverwriteCase{"Always", TUZOverwriteMode::Always, TAnswer::None, 1, "new",
                                   false, kReplaced},
                    TOverwriteCase{"Never",
                                   TUZOverwriteMode::Never,
                                   TAnswer::None,
                                   0,
                                   "old",
                                   false,
                                   {"info 1 3", "skip 1 0"}},
                    TOverwriteCase{"PromptYes",
                                   TUZOverwriteMode::Prompt,
                                   TAnswer::Yes,
                                   1,
                                   "new",
                                   false,
                                   {"info 1 3", "prompt 0 out/d/a.txt", "start 0 out/d/a.txt",
                                    "end 0 out/d/a.txt"}},
                    TOverwriteCase{"PromptNo",
                                   TUZOverwriteMode::Prompt,
                                   TAnswer::No,
                                   0,
                                   "old",
                                   false,
                                   {"info 1 3", "prompt 0 out/d/a.txt", "skip 1 0"}},
                    TOverwriteCase{"PromptRename",
                                   TUZOverwriteMode::Prompt,
                                   TAnswer::Rename,
                                   1,
                                   "old",
                                   true,
                                   {"info 1 3", "prompt 0 out/d/a.txt", "start 0 out/d/a2.txt",
                                    "end 0 out/d/a2.txt"}},
                    TOverwriteCase{"PromptRenameRefused",
                                   TUZOverwriteMode::Prompt,
                                   TAnswer::RenameRefused,
                                   0,
                                   "old",
                                   false,
                                   {"info 1 3", "prompt 0 out/d/a.txt", "skip 1 0"}},
                    TOverwriteCase{"BoxYes", TUZOverwriteMode::Prompt, TAnswer::BoxYes, 1, "new",
                                   false, kReplaced},
                    TOverwriteCase{"BoxNo",
                                   TUZOverwriteMode::Prompt,
                                   TAnswer::BoxNo,
                                   0,
                                   "old",
                                   false,
                                   {"info 1 3", "skip 1 0"}}),
    [](const auto& row) { return std::string(row.param.Name); });

TEST_F(ExtractTest, SkipInStartUnZipCreatesNothingAndKeepsTheCount) {
  Open(TZipBuilder::Archive({StoredMember("a.txt", "new"), StoredMember("b.txt", "b")}));
  Engine.DoAll = true;
  Engine.OverwriteMode = TUZOverwriteMode::Always;
  test::MakeFolders(Out());
  test::WriteFileText(Out() + "a.txt", "old");
  Engine.OnStartUnZip = [](TUnZipEngine&, int, const std::string&, bool& Skip) { Skip = true; };
  EXPECT_EQ(Engine.UnZip(), 2);
  EXPECT_EQ(Events.Lines, (Lines{"info 2 4"}));
  EXPECT_EQ(Text(Out() + "a.txt"), "old");
  EXPECT_FALSE(Exists(Out() + "b.txt"));
}

TEST_F(ExtractTest, StopNowExtractsNothingAndCountsNothing) {
  Open(TZipBuilder::Archive({StoredMember("a.txt", "a")}));
  Engine.DoAll = true;
  Engine.OnStartUnZipInfo = [](TUnZipEngine&, int, i64, bool& StopNow) { StopNow = true; };
  EXPECT_EQ(Engine.UnZip(), 0);
  EXPECT_EQ(test::FilesBelow(Out()), Lines{});
}

// ---- failures of single members -------------------------------------------

TEST_F(ExtractTest, DamagedMemberReportsBothCrcsAndLeavesNoFile) {
  TBuildMember m = StoredMember("a.txt", "the member's data");
  const u32 good = Crc32Of(m.Data);
  m.Crc = good;
  m.Data[5] ^= 0x20;
  Open(TZipBuilder::Archive({m, StoredMember("b.txt", "b")}));
  Engine.DoAll = true;
  u32 calc = 0, stored = 0;
  Engine.OnBadCRC = [&](TUnZipEngine&, u32 CalcCRC, u32 StoredCRC, int FileIndex) {
    calc = CalcCRC;
    stored = StoredCRC;
    EXPECT_EQ(FileIndex, 0);
  };
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(calc, Crc32Of(m.Data));
  EXPECT_EQ(stored, good);
  EXPECT_EQ(test::FilesBelow(Out()), (Lines{"b.txt"}));
}

TEST_F(ExtractTest, UnknownMethodIsSkippedOnceAsUnsupported) {
  TBuildMember m = StoredMember("a.txt", "abc");
  m.Method = 77;
  Open(TZipBuilder::Archive({m}));
  Engine.DoAll = true;
  EXPECT_EQ(Engine.UnZip(), 0);
  EXPECT_EQ(Events.Milestones(), (Lines{"info 1 3", "skip 4 0"}));
  EXPECT_EQ(Engine.SkipText(), "compression method Method77 is not supported");
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_FALSE(Exists(Out() + "a.txt"));
}

class ExtractAttributes : public ExtractTest, public testing::WithParamInterface<bool> {};

TEST_P(ExtractAttributes, ReadOnlyIsGivenOnlyWhenRetained) {
  TBuildMember m = StoredMember("ro.txt", "read me");
  m.ExternalAttributes = 0x21;
  m.DosDateTime = 0x52A46B2F;  // 2021-05-04 13:25:30
  Open(TZipBuilder::Archive({m}));
  Engine.DoAll = true;
  Engine.RetainAttributes = GetParam();
  EXPECT_EQ(Engine.UnZip(), 1);
  const auto perms = std::filesystem::status(Out() + "ro.txt").permissions();
  const bool writable =
      (perms & std::filesystem::perms::owner_write) != std::filesystem::perms::none;
  EXPECT_EQ(writable, !GetParam());
  EXPECT_EQ(MTime(Out() + "ro.txt"), DosSeconds(m.DosDateTime));
}

INSTANTIATE_TEST_SUITE_P(Retain, ExtractAttributes, testing::Bool());

// ---- passwords ------------------------------------------------------------

struct TPasswordCase {
  const char* Name;
  std::string Password;  // "{passer}": a wrong password that passes the check byte
  Lines Offered;
  bool Handler;
  int Count;
  Lines Milestones;
  friend void PrintTo(const TPasswordCase& c, std::ostream* os) { *os << c.Name; }
};

class ExtractPassword : public ExtractTest, public testing::WithParamInterface<TPasswordCase> {
 protected:
  std::string Expand(std::string text) const {
    if (const auto at = text.find("{passer}"); at != std::string::npos) {
      text.replace(at, 8, Passer);
    }
    return text;
  }
  std::string Passer;
};

TEST_P(ExtractPassword, ChecksAsksAgainAndSkips) {
  const TPasswordCase& c = GetParam();
  const auto data = test::TextBytes(30000, 4);
  TBuildMember m = test::CompressedMember("s.txt", data);
  test::Encipher(m, "right");
  Passer = test::PasswordPassingCheck(m.Data, static_cast<u8>(*m.Crc >> 24), "right");
  ASSERT_NE(test::CheckByteFor(m.Data, "wrong"), static_cast<u8>(*m.Crc >> 24));
  Open(TZipBuilder::Archive({m}));
  Engine.DoAll = true;
  Engine.Password = Expand(c.Password);
  for (const auto& p : c.Offered) Events.Passwords.push_back(Expand(p));
  if (!c.Handler) Engine.OnBadPassword = nullptr;
  EXPECT_EQ(Engine.UnZip(), c.Count);
  Lines expected;
  for (const auto& line : c.Milestones) expected.push_back(Expand(line));
  EXPECT_EQ(Events.Milestones(), expected);
  EXPECT_EQ(Exists(Out() + "s.txt"), c.Count == 1);
  if (c.Count == 1) {
    EXPECT_EQ(test::ReadFileBytes(Out() + "s.txt"), data);
  }
}

const Lines kExtracted{"start 0 out/s.txt", "end 0 out/s.txt"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractPassword,
    testing::Values(
        TPasswordCase{"Right",
                      "right",
                      {},
                      true,
                      1,
                      {"info 1 30000", "start 0 out/s.txt", "end 0 out/s.txt"}},
        TPasswordCase{"WrongWithoutHandler", "wrong", {}, false, 0, {"info 1 30000", "skip 0 0"}},
        TPasswordCase{"WrongAndTheSameAgain",
                      "wrong",
                      {},
                      true,
                      0,
                      {"info 1 30000", "password 0 wrong", "skip 0 0"}},
        TPasswordCase{"WrongThenRight",
                      "wrong",
                      {"right"},
                      true,
                      1,
                      {"info 1 30000", "password 0 wrong", "start 0 out/s.txt", "end 0 out/s.txt"}},
        TPasswordCase{"WrongTwiceThenRight",
                      "wrong",
                      {"worse", "right"},
                      true,
                      1,
                      {"info 1 30000", "password 0 wrong", "password 0 worse", "start 0 out/s.txt",
                       "end 0 out/s.txt"}},
        TPasswordCase{"PassesCheckWithoutHandler",
                      "{passer}",
                      {},
                      false,
                      0,
                      {"info 1 30000", "start 0 out/s.txt", "skip 0 0"}},
        TPasswordCase{"PassesCheckAndTheSameAgain",
                      "{passer}",
                      {},
                      true,
                      0,
                      {"info 1 30000", "start 0 out/s.txt", "password 0 {passer}", "skip 0 0"}},
        TPasswordCase{"PassesCheckThenRight",
                      "{passer}",
                      {"right"},
                      true,
                      1,
                      {"info 1 30000", "start 0 out/s.txt", "password 0 {passer}",
                       "start 0 out/s.txt", "end 0 out/s.txt"}},
        TPasswordCase{"WrongThenPassesCheckThenRight",
                      "wrong",
                      {"{passer}", "right"},
                      true,
                      1,
                      {"info 1 30000", "password 0 wrong", "start 0 out/s.txt",
                       "password 0 {passer}", "start 0 out/s.txt", "end 0 out/s.txt"}}),
    [](const auto& row) { return std::string(row.param.Name); });

TEST_F(ExtractTest, NewPasswordServesTheFollowingMembers) {
  TBuildMember a = StoredMember("a.txt", "first");
  TBuildMember b = StoredMember("b.txt", "second");
  test::Encipher(a, "right");
  test::Encipher(b, "right");
  ASSERT_NE(test::CheckByteFor(a.Data, "wrong"), static_cast<u8>(*a.Crc >> 24));
  Open(TZipBuilder::Archive({a, b}));
  Engine.DoAll = true;
  Engine.Password = "wrong";
  Events.Passwords = {"right"};
  EXPECT_EQ(Engine.UnZip(), 2);
  EXPECT_EQ(Engine.Password, "right");
  EXPECT_EQ(Events.Milestones(),
            (Lines{"info 2 11", "password 0 wrong", "start 0 out/a.txt", "end 0 out/a.txt",
                   "start 1 out/b.txt", "end 1 out/b.txt"}));
}

TEST_F(ExtractTest, DataDescriptorMembersAreCheckedAgainstTheTimeByte) {
  TBuildMember m = StoredMember("t.txt", "timed");
  m.Flags = 8;
  m.DosDateTime = 0x52A46B2F;
  ASSERT_NE(static_cast<u8>(Crc32Of(m.Data) >> 24), static_cast<u8>(m.DosDateTime >> 8));
  test::Encipher(m, "pw");
  Open(TZipBuilder::Archive({m}));
  Engine.DoAll = true;
  Engine.Password = "pw";
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Text(Out() + "t.txt"), "timed");
}

TEST_F(ExtractTest, EncryptedMembersOfNoBytesAndTooFewBytes) {
  TBuildMember empty = StoredMember("empty.txt", "");
  test::Encipher(empty, "");
  TBuildMember cut = StoredMember("cut.txt", "12345");
  cut.Flags = 1;
  Open(TZipBuilder::Archive({empty, cut}));
  Engine.DoAll = true;
  Engine.OnBadPassword = nullptr;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Events.Milestones(),
            (Lines{"info 2 5", "start 0 out/empty.txt", "end 0 out/empty.txt", "skip 0 1"}));
  EXPECT_EQ(Text(Out() + "empty.txt"), "");
  EXPECT_FALSE(Exists(Out() + "cut.txt"));
}

// ---- into a memory stream -------------------------------------------------

class ExtractToStream : public ExtractTest {
 protected:
  void SetUp() override {
    B = test::TextBytes(30000, 8);
    TBuildMember folder = StoredMember("dir/", "");
    folder.Data = {'x'};  // a folder entry with bytes: they belong to no file
    Open(TZipBuilder::Archive({StoredMember("a.txt", "aaa"), folder,
                               test::CompressedMember("dir/b.txt", B),
                               StoredMember("c.txt", "cc")}));
  }
  std::vector<u8> B;
  TMemoryStream Stream;
};

TEST_F(ExtractToStream, OneNameGivesExactlyThatMembersBytes) {
  Engine.FilesList = {"*.png", "a.txt"};
  EXPECT_EQ(Engine.UnZipToStream(Stream, "dir/b.txt"), 1);
  EXPECT_EQ(Stream.Memory(), B);
  EXPECT_EQ(Engine.FilesList, (Lines{"dir/b.txt"}));
  EXPECT_EQ(Events.Milestones(), (Lines{"info 1 30000", "start 2 ", "end 2 "}));
  EXPECT_EQ(Events.FilePercents.back(), 100);
  EXPECT_EQ(test::FilesBelow(Out()), Lines{});
}

TEST_F(ExtractToStream, PatternTakesEveryMatchInTurn) {
  EXPECT_EQ(Engine.UnZipToStream(Stream, "*.TXT"), 3);
  std::vector<u8> expected{'a', 'a', 'a'};
  expected.insert(expected.end(), B.begin(), B.end());
  expected.insert(expected.end(), {'c', 'c'});
  EXPECT_EQ(Stream.Memory(), expected);
}

TEST_F(ExtractToStream, FolderEntriesGiveNoBytes) {
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZipToStream(Stream, "none"), 4);
  EXPECT_EQ(Stream.Size(), 3 + 30000 + 2);
  EXPECT_EQ(Events.Skipped(TSkipReason::srUnsafeEntry), std::vector<int>{});
  EXPECT_EQ(std::count(Events.Lines.begin(), Events.Lines.end(), "crc 1"), 0);
}

TEST_F(ExtractTest, FailedMemberLeavesNothingInTheStream) {
  TBuildMember bad = StoredMember("bad.txt", "bad bytes");
  bad.Crc = 1;
  const auto data = test::TextBytes(20000, 3);
  TBuildMember secret = test::CompressedMember("secret.txt", data);
  test::Encipher(secret, "right");
  const std::string passer =
      test::PasswordPassingCheck(secret.Data, static_cast<u8>(*secret.Crc >> 24), "right");
  Open(TZipBuilder::Archive({StoredMember("a.txt", "a"), bad, secret}));
  TMemoryStream stream;
  stream.Write(std::vector<u8>{'>', '>'});
  EXPECT_EQ(Engine.UnZipToStream(stream, "bad.txt"), 0);
  EXPECT_EQ(stream.Memory(), (std::vector<u8>{'>', '>'}));

  // A wrong password found out by the CRC decodes the member a second time:
  // the stream holds one good copy.
  Engine.Password = passer;
  Events.Passwords = {"right"};
  EXPECT_EQ(Engine.UnZipToStream(stream, "secret.txt"), 1);
  std::vector<u8> expected{'>', '>'};
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(stream.Memory(), expected);
}

TEST_F(ExtractTest, WriteErrorNamesTheTargetNotItsTemporaryFile) {
  Open(TZipBuilder::Archive({StoredMember("full.bin", test::RandomBytes(40000, 1))}));
  Engine.DoAll = true;
  Fake.Files.FailWritesAfter(20000, ENOSPC);
  try {
    Engine.UnZip();
    ADD_FAILURE() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Path(), Out() + "full.bin");
    EXPECT_EQ(e.Code(), ENOSPC);
    EXPECT_EQ(std::string(e.what()), FileErrorMessage(Out() + "full.bin", ENOSPC));
  }
}

// ---- the way out ----------------------------------------------------------

TEST_F(ExtractTest, CurrentFolderIsRestoredAfterSuccessAndAfterAnError) {
  TBuildMember cut = StoredMember("cut.bin", test::RandomBytes(100, 1));
  cut.CompressedSize = 1000000;  // runs past the end of the file
  Open(TZipBuilder::Archive({StoredMember("a.txt", "a"), cut}));
  test::MakeFolders(Path("elsewhere"));
  ASSERT_TRUE(Fake.Files.SetCurrentFolder(Path("elsewhere")));
  const std::string before = Fake.Files.CurrentFolder();
  Engine.FilesList = {"a.txt"};
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Fake.Files.CurrentFolder(), before);
  Engine.FilesList = {"cut.bin"};
  try {
    Engine.UnZip();
    ADD_FAILURE() << "no error";
  } catch (const EFatalUnzipError& e) {
    EXPECT_STREQ(e.what(), "Premature end of file reached");
  }
  EXPECT_EQ(Fake.Files.CurrentFolder(), before);
}

TEST_F(ExtractTest, CancelInAnEventEndsTheRunAtTheNextBlock) {
  Open(TZipBuilder::Archive({StoredMember("a.bin", test::RandomBytes(20000, 1)),
                             StoredMember("b.bin", test::RandomBytes(20000, 2)),
                             StoredMember("c.bin", test::RandomBytes(20000, 3))}));
  Engine.DoAll = true;
  Engine.OverwriteMode = TUZOverwriteMode::Always;
  test::MakeFolders(Out());
  test::WriteFileText(Out() + "b.bin", "old");
  Engine.OnStartUnZip = [](TUnZipEngine& Sender, int FileIndex, const std::string&, bool&) {
    if (FileIndex == 1) Sender.CancelOperation = true;
  };
  try {
    Engine.UnZip();
    ADD_FAILURE() << "no cancel";
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User Aborted Operation");
  }
  EXPECT_FALSE(Engine.CancelOperation);
  EXPECT_EQ(test::ReadFileBytes(Out() + "a.bin"), test::RandomBytes(20000, 1));
  EXPECT_EQ(Text(Out() + "b.bin"), "old");
  EXPECT_FALSE(Exists(Out() + "c.bin"));
}

TEST_F(ExtractTest, CancelBeforeAMemberWithoutBytesIsHonouredToo) {
  Open(TZipBuilder::Archive({StoredMember("a.txt", "a"), StoredMember("empty.txt", "")}));
  Engine.DoAll = true;
  Engine.OnEndUnZip = [](TUnZipEngine& Sender, int, const std::string&) {
    Sender.CancelOperation = true;
  };
  EXPECT_THROW(Engine.UnZip(), EUserCanceled);
  EXPECT_FALSE(Exists(Out() + "empty.txt"));
}

// ---- multi-disk sets ------------------------------------------------------

// The members are laid out one after the other and the bytes cut into block
// files at the given places (never inside a local header); the central
// directory and the end record make the last file.
std::vector<std::vector<u8>> SplitSet(const std::vector<TBuildMember>& members,
                                      const std::vector<u32>& cuts) {
  TZipBuilder whole;
  std::vector<u32> at;
  for (const auto& m : members) at.push_back(whole.AddLocal(m));
  std::vector<std::vector<u8>> disks;
  u32 from = 0;
  for (const u32 cut : cuts) {
    disks.emplace_back(whole.Bytes.begin() + from, whole.Bytes.begin() + cut);
    from = cut;
  }
  disks.emplace_back(whole.Bytes.begin() + from, whole.Bytes.end());
  TZipBuilder central;
  for (std::size_t i = 0; i < members.size(); ++i) {
    TBuildMember m = members[i];
    u32 start = 0;
    m.Disk = 0;
    for (const u32 cut : cuts) {
      if (at[i] >= cut) {
        start = cut;
        ++m.Disk;
      }
    }
    central.AddCentral(m, at[i] - start);
  }
  test::TEndFields end;
  end.ThisDisk = static_cast<u16>(disks.size());
  end.CentralStartDisk = end.ThisDisk;
  const u32 size = central.Position();
  central.AddEnd(end, static_cast<u16>(members.size()), 0, size);
  disks.push_back(central.Bytes);
  return disks;
}

class ExtractMultiDisk : public ExtractTest {
 protected:
  void SetUp() override {
    Zeta = test::RandomBytes(3000, 5);
    Alpha = test::TextBytes(5000, 6);
    TBuildMember zeta = StoredMember("zeta.bin", Zeta);
    TBuildMember alpha = test::CompressedMember("alpha.txt", Alpha);
    test::Encipher(alpha, "pw");
    TBuildMember mid = StoredMember("mid.txt", "middle");
    // zeta's data runs from disk 1 onto disk 2; alpha's encryption header
    // is cut between disks 2 and 3.
    const u32 zetaData = 30 + 8;
    const u32 alphaAt = zetaData + 3000;
    const u32 alphaData = alphaAt + 30 + 9;
    const u32 midAt = alphaData + static_cast<u32>(alpha.Data.size());
    const auto disks = SplitSet({zeta, alpha, mid}, {zetaData + 1000, alphaData + 5, midAt});
    for (std::size_t i = 0; i < disks.size(); ++i) {
      Put("set.00" + std::to_string(i + 1), disks[i]);
    }
    Engine.OnGetNextDisk = [this](TUnZipEngine&, int disk, std::string& name) {
      Asked.push_back(disk);
      name = Path("set.00" + std::to_string(disk));
    };
    Engine.SetZipName(Path("set.00" + std::to_string(disks.size())));
    Engine.SetDestDir(Path("out"));
    Engine.SortMode = TZipSortMode::ByName;
    Engine.Password = "pw";
    Engine.DoAll = true;
    Engine.ReadZip();
    Asked.clear();
  }
  std::vector<u8> Zeta, Alpha;
  std::vector<int> Asked;
};

TEST_F(ExtractMultiDisk, VisitsDiskOrderAndSwitchesTheViewBack) {
  ASSERT_EQ(Engine.FullName(0), "alpha.txt");
  EXPECT_EQ(Engine.UnZip(), 3);
  EXPECT_EQ(Events.Milestones(), (Lines{"info 3 8006", "start 0 out/zeta.bin", "end 0 out/zeta.bin",
                                        "start 1 out/alpha.txt", "end 1 out/alpha.txt",
                                        "start 2 out/mid.txt", "end 2 out/mid.txt"}));
  EXPECT_EQ(Asked, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(test::ReadFileBytes(Out() + "zeta.bin"), Zeta);
  EXPECT_EQ(test::ReadFileBytes(Out() + "alpha.txt"), Alpha);
  EXPECT_EQ(Text(Out() + "mid.txt"), "middle");
  EXPECT_EQ(Engine.SortMode, TZipSortMode::ByName);
  EXPECT_EQ(Engine.FullName(0), "alpha.txt");
  EXPECT_EQ(Engine.FullName(2), "zeta.bin");
}

TEST_F(ExtractMultiDisk, ViewIsSwitchedBackAfterAnError) {
  Engine.OnGetNextDisk = [](TUnZipEngine&, int, std::string& name) { name.clear(); };
  EXPECT_THROW(Engine.UnZip(), EUserCanceled);
  EXPECT_EQ(Engine.FullName(0), "alpha.txt");
  EXPECT_EQ(Engine.FullName(2), "zeta.bin");
}

}  // namespace
}  // namespace vz
