// Where the stub puts members: below the destination without following a
// symbolic link (with openat2, and without it as under a container's
// filter), with the modes that Unix tools stored, member by member when one
// of them cannot be written, and each member to its own list item when
// names differ only in case.
#include <filesystem>

#include "tests/sfx/SfxHarness.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TestFiles.h"
#include "tests/support/ZipBuilder.h"

namespace vz::test {
namespace {

namespace fs = std::filesystem;

// The stub as it runs, or under a filter that refuses openat2 as a
// container's seccomp profile may (ENOSYS or EPERM).
std::string Launch(const std::string& exe, const std::string& refusal) {
  if (refusal.empty()) return exe;
  return "python3 " + SourceDir() + "/tests/support/without_openat2.py " + refusal + " " + exe;
}

TSfxRun RunStub(const std::string& folder, const std::string& exe, const std::string& input,
                const std::string& refusal = "") {
  const TCommandResult result =
      RunCommand("cd " + ShellQuote(folder) + " && printf %s " + ShellQuote(input) + " | " +
                 Launch(ShellQuote(exe), refusal));
  return {result.ExitCode, result.Output};
}

class SfxBeneath : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (!GetParam().empty() && !HaveProgram("python3")) GTEST_SKIP() << "needs python3";
  }
};

INSTANTIATE_TEST_SUITE_P(Sfx, SfxBeneath, testing::Values("", "ENOSYS", "EPERM"),
                         [](const auto& row) {
                           return row.param.empty() ? std::string("Openat2")
                                                    : "Without" + row.param;
                         });

TEST_P(SfxBeneath, LinkInsideTheDestinationLeadsNowhere) {
  TScratch scratch;
  MakeFolders(scratch / "out/a");
  MakeFolders(scratch / "outside");
  fs::create_symlink(scratch / "outside", scratch / "out/sub");
  fs::create_symlink(scratch / "outside", scratch / "out/a/deep");
  WriteSfx(scratch / "setup.exe",
           TZipBuilder::Archive({Stored("sub/x.txt", "evil"), Stored("a/deep/y/z.txt", "evil"),
                                 Stored("sub/", ""), Stored("ok/fine.txt", "fine")}));

  const TSfxRun run = RunStub(scratch / "out", scratch / "setup.exe", "\n", GetParam());

  EXPECT_EQ(run.ExitCode, 1) << run.Output;
  EXPECT_EQ(
      CountOf(run.Output,
              ": a symbolic link on its folder path below the destination: refused as unsafe"),
      3)
      << run.Output;
  EXPECT_NE(run.Output.find("setup.exe: sub/x.txt: a symbolic link"), std::string::npos)
      << run.Output;
  EXPECT_TRUE(fs::is_empty(scratch / "outside"));
  EXPECT_EQ(ReadFileText(scratch / "out/ok/fine.txt"), "fine");
}

TEST_P(SfxBeneath, DestinationMayBeReachedThroughALink) {
  TScratch scratch;
  MakeFolders(scratch / "real/dest");
  MakeFolders(scratch / "out");
  fs::create_symlink(scratch / "real", scratch / "via");
  WriteSfx(scratch / "setup.exe", TZipBuilder::Archive({Stored("d/x.txt", "x")}));
  const TSfxRun run = RunStub(scratch / "out", scratch / "setup.exe",
                              scratch / "via/dest" + std::string("\n"), GetParam());
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(ReadFileText(scratch / "real/dest/d/x.txt"), "x");
}

// ---- one member's failure ----

TEST(Sfx, MembersThatCannotBeWrittenFailAloneWithTheirReason) {
  TScratch scratch;
  MakeFolders(scratch / "out");
  TBuildMember folder = Stored("a/b/", "");
  // Go's archive with duplicate folder entries, by hand: a file a/b and a
  // folder a/b/ with a file in it; and a name the file system cannot hold.
  WriteSfx(scratch / "setup.exe",
           TZipBuilder::Archive({Stored("a/b", "file b"), folder, Stored("a/b/c", "c"),
                                 Stored(std::string(256, 'n'), "long"), Stored("z.txt", "z")}));
  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");
  EXPECT_EQ(run.ExitCode, 1) << run.Output;
  const std::string out = scratch / "out/";
  EXPECT_EQ(
      CountOf(run.Output, "setup.exe: Cannot create folder " + out + "a/b/: Not a directory\n"), 2)
      << run.Output;
  EXPECT_NE(run.Output.find("setup.exe: Cannot open " + out + std::string(256, 'n') +
                            ": File name too long\n"),
            std::string::npos)
      << run.Output;
  EXPECT_EQ(FilesBelow(scratch / "out"), (std::vector<std::string>{"a/b", "z.txt"}));
  EXPECT_NE(run.Output.find(kFailureLine), std::string::npos) << run.Output;
}

TEST(Sfx, FolderStandingAtAFilesPlaceFailsThatFileOnly) {
  TScratch scratch;
  MakeFolders(scratch / "out/taken");
  WriteSfx(scratch / "setup.exe",
           TZipBuilder::Archive({Stored("taken", "a file"), Stored("after.txt", "after")}));
  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");
  EXPECT_EQ(run.ExitCode, 1) << run.Output;
  EXPECT_NE(run.Output.find("setup.exe: Cannot open " + scratch / "out/taken: Is a directory\n"),
            std::string::npos)
      << run.Output;
  EXPECT_EQ(CountOf(run.Output, "already exists!"), 0) << run.Output;
  EXPECT_EQ(ReadFileText(scratch / "out/after.txt"), "after");
}

// ---- Unix modes ----

class SfxModes : public testing::TestWithParam<bool> {};

TEST_P(SfxModes, AreThoseThatInfoZipStored) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  const TScopedUmask mask(022);
  TScratch scratch;
  MakeFolders(scratch / "src/private");
  MakeFolders(scratch / "src/locked");
  MakeFolders(scratch / "out");
  const std::vector<std::pair<std::string, unsigned>> files = {
      {"run.sh", 0755}, {"notes.txt", 0644}, {"private/key", 0600}, {"locked/inside.txt", 0640}};
  for (const auto& [name, mode] : files) {
    WriteFileText(scratch / ("src/" + name), name);
    fs::permissions(scratch / ("src/" + name), static_cast<fs::perms>(mode));
  }
  fs::permissions(scratch / "src/private", static_cast<fs::perms>(0700));
  fs::permissions(scratch / "src/locked", static_cast<fs::perms>(0500));
  const auto made =
      RunCommand("cd " + ShellQuote(scratch / "src") + " && /usr/bin/zip -qry ../a.zip .");
  fs::permissions(scratch / "src/locked", fs::perms::owner_all);
  ASSERT_EQ(made.ExitCode, 0) << made.Output;
  const std::string exe = scratch / "setup.exe";
  WriteSfx(exe, ReadFileBytes(scratch / "a.zip"));
  // Offsets counted from the stub's start, or from the archive's.
  if (GetParam()) {
    ASSERT_EQ(RunCommand("/usr/bin/zip -q -A " + ShellQuote(exe)).ExitCode, 0);
  }

  const TSfxRun run = RunIn(scratch / "out", exe, "\n");

  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  for (const auto& [name, mode] : files) {
    EXPECT_EQ(FileMode(scratch / ("out/" + name)), mode) << name;
    EXPECT_EQ(ReadFileText(scratch / ("out/" + name)), name);
  }
  EXPECT_EQ(FileMode(scratch / "out/private"), 0700u);
  EXPECT_EQ(FileMode(scratch / "out/locked"), 0500u);
  fs::permissions(scratch / "out/locked", fs::perms::owner_all);
}

INSTANTIATE_TEST_SUITE_P(Sfx, SfxModes, testing::Bool(), [](const auto& row) {
  return row.param ? "OffsetsFixedUp" : "OffsetsFromTheArchive";
});

TEST(Sfx, DosMembersKeepTheDefaultMode) {
  const TScopedUmask mask(022);
  TScratch scratch;
  MakeFolders(scratch / "out");
  TBuildMember dos = Stored("dos.txt", "dos");
  dos.ExternalAttributes = 0100600u << 16 | 0x20;  // ignored: made on DOS
  TBuildMember unix = Stored("unix.txt", "unix");
  unix.VersionMadeBy = 3 << 8 | 30;
  unix.ExternalAttributes = 0104777u << 16;  // no set-user-id; the umask applies
  WriteSfx(scratch / "setup.exe", TZipBuilder::Archive({dos, unix}));
  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(FileMode(scratch / "out/dos.txt"), 0644u);
  EXPECT_EQ(FileMode(scratch / "out/unix.txt"), 0755u);
}

// ---- names that differ only in case ----

class SfxCasePairs : public testing::TestWithParam<bool> {};

TEST_P(SfxCasePairs, EveryMemberFindsItsOwnItem) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  const bool encrypted = GetParam();
  TScratch scratch;
  MakeFolders(scratch / "src");
  MakeFolders(scratch / "out");
  // In an order where the case-blind list puts a pair's other member first.
  const std::vector<std::string> names = {"xt_connmark.h", "a.h",       "xt_CONNMARK.h",
                                          "Makefile",      "B.txt",     "b.TXT",
                                          "makefile",      "xt_DSCP.h", "xt_dscp.h"};
  std::string arguments;
  for (const std::string& name : names) {
    WriteFileText(scratch / ("src/" + name), "content of " + name + "\n");
    arguments += " " + ShellQuote(name);
  }
  const std::vector<u8> archive = RunZip(
      scratch / "src", std::string(encrypted ? "-P secret " : "") + "-9 ../a.zip" + arguments,
      scratch / "a.zip");
  WriteSfx(scratch / "setup.exe", archive);

  const TSfxRun run =
      RunIn(scratch / "out", scratch / "setup.exe", encrypted ? "\nsecret\n" : "\n");

  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find(kSuccessLine), std::string::npos) << run.Output;
  for (const std::string& name : names) {
    EXPECT_EQ(ReadFileText(scratch / ("out/" + name)), "content of " + name + "\n") << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Sfx, SfxCasePairs, testing::Bool(),
                         [](const auto& row) { return row.param ? "Encrypted" : "Plain"; });

}  // namespace
}  // namespace vz::test
