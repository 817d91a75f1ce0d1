// Where members land on disk: folders resolved below the destination without
// following links (by openat2 and by components), paths of any depth and
// length, one member's failure that never ends the run, modes restored from
// Unix-like hosts, and a current folder that extraction never changes.
#include <cerrno>
#include <climits>
#include <filesystem>

#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "tests/engine/reader/ExtractFixture.h"
#include "tests/support/ScopedEnv.h"

namespace vz {
namespace {

namespace fs = std::filesystem;
using test::FileMode;
using test::StoredMember;
using test::TBuildMember;
using test::TScopedUmask;
using test::TZipBuilder;
using Lines = std::vector<std::string>;

const std::string kLinkReason = "a symbolic link on its folder path below the destination";

void Link(const std::string& target, const std::string& at) {
  test::MakeFolders(fs::path(at).parent_path().string());
  fs::create_symlink(target, at);
}

class ExtractTargetTest : public test::TExtractFixture {};

// Every case runs twice: folders resolved with openat2, and one component
// at a time as where the system has none.
class ExtractTargets : public test::TExtractFixture, public testing::WithParamInterface<bool> {
 protected:
  void SetUp() override { Fake.Files.ResolveByComponents(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(Resolve, ExtractTargets, testing::Values(false, true),
                         [](const auto& row) { return row.param ? "ByComponents" : "Openat2"; });

// ---- links inside the destination ----------------------------------------

struct TLinkCase {
  const char* Name;
  std::string Member;  // stored name of the member that meets the link
  std::string LinkAt;  // below out/
  bool Dangling;
};

class ExtractThroughLink : public test::TExtractFixture,
                           public testing::WithParamInterface<std::tuple<TLinkCase, bool>> {};

TEST_P(ExtractThroughLink, MemberIsRefusedAndNothingLandsOutside) {
  const auto& [c, byComponents] = GetParam();
  Fake.Files.ResolveByComponents(byComponents);
  test::MakeFolders(Path("outside"));
  test::MakeFolders(Out());
  fs::create_directories(fs::path(Out() + c.LinkAt).parent_path());
  fs::create_symlink(c.Dangling ? Path("nowhere") : Path("outside"), Out() + c.LinkAt);
  Open(TZipBuilder::Archive({StoredMember(c.Member, "evil"), StoredMember("ok.txt", "ok")}));
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Events.Skipped(TSkipReason::srUnsafeEntry), std::vector<int>{0});
  EXPECT_EQ(Events.SkipText(0), kLinkReason);
  EXPECT_EQ(test::FilesBelow(Path("outside")), Lines{});
  EXPECT_FALSE(fs::exists(Path("nowhere")));
  EXPECT_EQ(Text(Out() + "ok.txt"), "ok");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractThroughLink,
    testing::Combine(testing::Values(TLinkCase{"FirstFolder", "sub/x.txt", "sub", false},
                                     TLinkCase{"DeeperFolder", "a/b/sub/c/x.txt", "a/b/sub", false},
                                     TLinkCase{"DanglingFolder", "sub/new/x.txt", "sub", true},
                                     TLinkCase{"FolderEntry", "sub/", "sub", false},
                                     TLinkCase{"FolderEntryBelowLink", "sub/deeper/", "sub",
                                               false}),
                     testing::Bool()),
    [](const auto& row) {
      return std::string(std::get<0>(row.param).Name) +
             (std::get<1>(row.param) ? "ByComponents" : "Openat2");
    });

TEST_P(ExtractTargets, LinkToAFolderInsideTheDestinationIsRefusedToo) {
  test::MakeFolders(Out() + "real");
  Link(Out() + "real", Out() + "alias");
  Open(TZipBuilder::Archive({StoredMember("alias/x.txt", "x")}));
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), 0);
  EXPECT_EQ(Events.SkipText(0), kLinkReason);
  EXPECT_EQ(test::FilesBelow(Out() + "real"), Lines{});
}

TEST_P(ExtractTargets, DestinationItselfMayBeReachedThroughALink) {
  test::MakeFolders(Path("real/dest"));
  Link(Path("real"), Path("via"));
  Open(TZipBuilder::Archive({StoredMember("d/x.txt", "x")}), "via/dest");
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Text(Path("real/dest/d/x.txt")), "x");
}

TEST_P(ExtractTargets, StoredVolumesFollowTheUsersOwnLinks) {
  // No destination: absolute stored folders are restored where they were,
  // through the links the user has on those paths.
  test::MakeFolders(Path("real"));
  Link(Path("real"), Path("vol/link"));
  Open(TZipBuilder::Archive({StoredMember(Path("vol/link/x.txt"), "x")}), "");
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Text(Path("real/x.txt")), "x");
}

// ---- depth and length -----------------------------------------------------

std::string Levels(int count) {
  std::string name;
  for (int i = 0; i < count; ++i) name += "d/";
  return name;
}

TEST_P(ExtractTargets, NameOfTensOfThousandsOfLevelsIsRefusedWithoutCrashing) {
  const std::string deep = Levels(32760) + "x.txt";  // 65 KB
  Open(TZipBuilder::Archive(
      {StoredMember(deep, "deep"), StoredMember(Levels(32760), ""), StoredMember("ok.txt", "ok")}));
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Events.Skipped(TSkipReason::srNotWritten), (std::vector<int>{0, 1}));
  EXPECT_NE(Events.SkipText(0).find("longer than the system allows (" +
                                    std::to_string(PATH_MAX - 1) + ")"),
            std::string::npos)
      << Events.SkipText(0);
  EXPECT_EQ(test::FilesBelow(Out()), Lines{"ok.txt"});
}

TEST_P(ExtractTargets, DeepNameWithinTheLimitsIsExtracted) {
  const std::string deep = Levels(100) + "x.txt";
  Open(TZipBuilder::Archive({StoredMember(deep, "deep")}));
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Text(Out() + deep), "deep");
}

TEST_F(ExtractTargetTest, DestinationOfTensOfThousandsOfComponentsFailsWithoutCrashing) {
  std::string dest = "out/";
  for (int i = 0; i < 35000; ++i) dest += "c/";
  Open(TZipBuilder::Archive({StoredMember("x.txt", "x")}), dest);
  Engine.DoAll = true;
  try {
    Engine.UnZip();
    ADD_FAILURE() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Code(), ENAMETOOLONG);
  }
}

// ---- one member's failure never ends the run ------------------------------

TBuildMember Folder(const std::string& name) {
  TBuildMember m = StoredMember(name, "");
  m.ExternalAttributes = 0x10;
  return m;
}

struct TFailCase {
  const char* Name;
  std::vector<TBuildMember> Members;
  int Count;
  std::vector<int> Failed;
  std::string FirstReason;  // SkipText of the first failed member
  Lines Files;              // below out/ afterwards
};

class ExtractMemberFailure : public test::TExtractFixture,
                             public testing::WithParamInterface<TFailCase> {};

TEST_P(ExtractMemberFailure, IsReportedAndTheRestExtracted) {
  const TFailCase& c = GetParam();
  Open(TZipBuilder::Archive(c.Members));
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), c.Count);
  EXPECT_EQ(Events.Skipped(TSkipReason::srNotWritten), c.Failed);
  EXPECT_EQ(Events.SkipText(c.Failed.at(0)), c.FirstReason);
  EXPECT_EQ(test::FilesBelow(Out()), c.Files);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtractMemberFailure,
                         testing::Values(
                             // Go's test archive with duplicate folder entries, by hand: a file
                             // a/b and a folder a/b/ with a file in it.
                             TFailCase{"FileThenFolderOfOneName",
                                       {Folder("a/"), StoredMember("a/b", "file b"), Folder("a/b/"),
                                        StoredMember("a/b/c", "c"), StoredMember("z.txt", "z")},
                                       3,
                                       {2, 3},
                                       "out/a/b/: Not a directory",
                                       {"a/b", "z.txt"}},
                             TFailCase{"FolderThenFileOfOneName",
                                       {Folder("a/b/"), StoredMember("a/b/c", "c"),
                                        StoredMember("a/b", "file b"), StoredMember("z.txt", "z")},
                                       3,
                                       {2},
                                       "out/a/b: Is a directory",
                                       {"a/b/c", "z.txt"}},
                             TFailCase{"NameComponentTooLong",
                                       {StoredMember(std::string(300, 'n') + ".txt", "long"),
                                        StoredMember("d/" + std::string(256, 'f') + "/x", "long"),
                                        StoredMember("z.txt", "z")},
                                       1,
                                       {0, 1},
                                       "out/" + std::string(300, 'n') + ".txt: File name too long",
                                       {"z.txt"}}),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST_F(ExtractTargetTest, FolderThatCannotBeWrittenFailsItsMembersOnly) {
  test::MakeFolders(Out() + "locked");
  Fake.Files.DenyCreateBelow = Out() + "locked";
  Open(TZipBuilder::Archive({StoredMember("locked/x.txt", "x"),
                             StoredMember("locked/new/y.txt", "y"), StoredMember("ok.txt", "ok")}));
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Events.Skipped(TSkipReason::srNotWritten), (std::vector<int>{0, 1}));
  EXPECT_EQ(Events.SkipText(0), "out/locked/x.txt: Permission denied");
  EXPECT_EQ(Events.SkipText(1), "out/locked/new/: Permission denied");
  Fake.Files.ClearFaults();
  EXPECT_EQ(test::FilesBelow(Out()), Lines{"ok.txt"});
}

TEST_F(ExtractTargetTest, FullDiskStillEndsTheRun) {
  Open(TZipBuilder::Archive(
      {StoredMember("a.bin", test::RandomBytes(30000, 1)), StoredMember("b.txt", "b")}));
  Engine.DoAll = true;
  Fake.Files.FailWritesAfter(10000, ENOSPC);
  EXPECT_THROW(Engine.UnZip(), EInOutError);
  Fake.Files.ClearFaults();
  EXPECT_FALSE(Exists(Out() + "b.txt"));
}

// ---- Unix modes -----------------------------------------------------------

struct TModeCase {
  const char* Name;
  u16 Host;        // made-by high byte
  u32 StoredMode;  // external attributes' high half
  u32 DosBits;     // their low byte
  bool Retain;
  u32 Expected;  // under umask 022
};

class ExtractMode : public test::TExtractFixture, public testing::WithParamInterface<TModeCase> {};

TEST_P(ExtractMode, FileGetsThePermissionsOfItsHost) {
  const TModeCase& c = GetParam();
  const TScopedUmask mask(022);
  TBuildMember m = StoredMember("f.txt", "mode");
  m.VersionMadeBy = static_cast<u16>(c.Host << 8 | 30);
  m.ExternalAttributes = c.StoredMode << 16 | c.DosBits;
  Open(TZipBuilder::Archive({m}));
  Engine.DoAll = true;
  Engine.RetainAttributes = c.Retain;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(FileMode(Out() + "f.txt"), c.Expected) << std::oct << FileMode(Out() + "f.txt");
  EXPECT_EQ(MTime(Out() + "f.txt"), DosSeconds(m.DosDateTime));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractMode,
    testing::Values(TModeCase{"UnixPrivate", 3, 0100600, 0x20, true, 0600},
                    TModeCase{"UnixExecutable", 3, 0100755, 0x20, true, 0755},
                    TModeCase{"UmaskApplies", 3, 0100777, 0x20, true, 0755},
                    TModeCase{"NoSetUidSetGidOrSticky", 3, 0107755, 0x20, true, 0755},
                    TModeCase{"TypeLeftOut", 3, 0700, 0x20, true, 0700},
                    TModeCase{"MacOs", 19, 0100640, 0x20, true, 0640},
                    TModeCase{"LinkStoredAsTextGetsNoBits", 3, 0120777, 0x20, true, 0644},
                    TModeCase{"FolderModeOnAFile", 3, 040700, 0x20, true, 0644},
                    TModeCase{"UnixWithoutMode", 3, 0, 0x20, true, 0644},
                    TModeCase{"DosHostIgnoresTheHighHalf", 0, 0100600, 0x20, true, 0644},
                    TModeCase{"NtfsHost", 11, 0100600, 0x20, true, 0644},
                    TModeCase{"VfatHost", 14, 0100700, 0x20, true, 0644},
                    TModeCase{"DosReadOnly", 0, 0, 0x21, true, 0444},
                    TModeCase{"NotRetained", 3, 0100600, 0x20, false, 0644}),
    [](const auto& row) { return std::string(row.param.Name); });

TBuildMember UnixMember(const std::string& name, u32 mode, const std::string& data = "") {
  TBuildMember m = StoredMember(name, data);
  m.VersionMadeBy = 3 << 8 | 30;
  m.ExternalAttributes = mode << 16 | (name.back() == '/' ? 0x10u : 0x20u);
  return m;
}

TEST_P(ExtractTargets, FolderModesComeAfterTheirContents) {
  const TScopedUmask mask(022);
  // Folders that let nobody write (or even enter) do not keep out their own
  // files; their entries come before what they hold.
  Open(TZipBuilder::Archive({UnixMember("ro/", 040500), UnixMember("ro/f.txt", 0100644, "f"),
                             UnixMember("p/", 040000), UnixMember("p/q/", 040700),
                             UnixMember("p/q/g.txt", 0100600, "g"), UnixMember("wide/", 041777)}));
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), 6);
  EXPECT_EQ(FileMode(Out() + "ro"), 0500u);
  EXPECT_EQ(FileMode(Out() + "wide"), 0755u);
  EXPECT_EQ(FileMode(Out() + "p"), 0u);
  fs::permissions(Out() + "p", fs::perms::owner_all);
  EXPECT_EQ(FileMode(Out() + "p/q"), 0700u);
  EXPECT_EQ(FileMode(Out() + "p/q/g.txt"), 0600u);
  EXPECT_EQ(Text(Out() + "ro/f.txt"), "f");
}

TEST_F(ExtractTargetTest, ExecutableFromInfoZipKeepsItsBits) {
  if (!test::HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  const TScopedUmask mask(022);
  test::MakeFolders(Path("src/private"));
  test::WriteFileText(Path("src/run.sh"), "#!/bin/sh\n");
  test::WriteFileText(Path("src/notes.txt"), "notes");
  test::WriteFileText(Path("src/private/key"), "key");
  fs::permissions(Path("src/run.sh"), static_cast<fs::perms>(0755));
  fs::permissions(Path("src/notes.txt"), static_cast<fs::perms>(0644));
  fs::permissions(Path("src/private/key"), static_cast<fs::perms>(0600));
  fs::permissions(Path("src/private"), static_cast<fs::perms>(0700));
  const auto made = test::RunCommand("cd " + test::ShellQuote(Path("src")) +
                                     " && /usr/bin/zip -qry ../modes.zip .");
  ASSERT_EQ(made.ExitCode, 0) << made.Output;
  Engine.SetZipName(Path("modes.zip"));
  Engine.SetDestDir(Path("out"));
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), 4);
  EXPECT_EQ(FileMode(Out() + "run.sh"), 0755u);
  EXPECT_EQ(FileMode(Out() + "notes.txt"), 0644u);
  EXPECT_EQ(FileMode(Out() + "private/key"), 0600u);
  EXPECT_EQ(FileMode(Out() + "private"), 0700u);
}

// ---- the current folder ---------------------------------------------------

TEST_F(ExtractTargetTest, CurrentFolderNeverChangesWhileExtracting) {
  test::MakeFolders(Path("here"));
  ASSERT_TRUE(Fake.Files.SetCurrentFolder(Path("here")));
  const std::string before = Fake.Files.CurrentFolder();
  Engine.SetZipName(Put("test.zip", TZipBuilder::Archive({StoredMember("d/x.txt", "x"),
                                                          StoredMember("y.txt", "y")})));
  Engine.SetDestDir("rel/out");
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  Lines seen;
  Engine.OnStartUnZip = [&](TUnZipEngine&, int, const std::string& name, bool&) {
    seen.push_back(Fake.Files.CurrentFolder() + " " + name);
  };
  EXPECT_EQ(Engine.UnZip(), 2);
  EXPECT_EQ(seen, (Lines{before + " " + before + "/rel/out/d/x.txt",
                         before + " " + before + "/rel/out/y.txt"}));
  EXPECT_EQ(Fake.Files.CurrentFolder(), before);
  EXPECT_EQ(Text(Path("here/rel/out/d/x.txt")), "x");
}

TEST_F(ExtractTargetTest, NothingChosenMakesNoDestination) {
  Open(TZipBuilder::Archive({StoredMember("x.txt", "x")}), "new/out");
  Engine.FilesList = {"nothing*"};
  EXPECT_EQ(Engine.UnZip(), 0);
  EXPECT_FALSE(fs::exists(Path("new")));
}

}  // namespace
}  // namespace vz
