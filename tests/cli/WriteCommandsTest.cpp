// vzip a, d, c, s and r: archives that Info-ZIP and 7-Zip accept, path
// modes, update actions, moving, passwords, comments, self-extracting
// programs and repair of cut archives.
#include <sys/stat.h>

#include <filesystem>

#include "tests/cli/CliHarness.h"
#include "tests/support/CheckBytes.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace vz::test {
namespace {

// Local header offsets of an archive without data descriptors.
std::vector<std::size_t> LocalHeaders(const std::vector<u8>& bytes) {
  const auto le = [&](std::size_t at, int n) {
    u32 v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | bytes[at + static_cast<std::size_t>(i)];
    return v;
  };
  std::vector<std::size_t> offsets;
  std::size_t at = 0;
  while (at + 30 <= bytes.size() && le(at, 4) == 0x04034B50) {
    offsets.push_back(at);
    at += 30 + le(at + 26, 2) + le(at + 28, 2) + le(at + 18, 4);
  }
  return offsets;
}

class WriteCommands : public testing::Test {
 protected:
  void SetUp() override { Names = MakeSampleTree(Scratch / "src"); }

  // Every name below src/, as a relative-path archive stores it.
  std::vector<std::string> StoredNames(const std::string& prefix = "src/") {
    std::vector<std::string> names;
    for (const auto& name : Names) names.push_back(prefix + name);
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<std::string> Listed(const std::string& archive) {
    const TVzipRun r = Vzip(Scratch.Path(), "l " + archive + " --sort name");
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return ListedNames(r.Out);
  }
  void ExpectPeersAccept(const std::string& archive, const std::string& password = "") {
    if (HaveProgram("/usr/bin/unzip")) {
      const auto t =
          Shell(Scratch.Path(),
                "/usr/bin/unzip -tq " + (password.empty() ? "" : "-P " + password + " ") + archive);
      EXPECT_EQ(t.ExitCode, 0) << t.Out;
    }
    if (HaveProgram("7z")) {
      const auto t =
          Shell(Scratch.Path(), "7z t -p" + (password.empty() ? "x" : password) + " " + archive);
      EXPECT_EQ(t.ExitCode, 0) << t.Out;
    }
  }

  TCliScratch Scratch;
  std::vector<std::string> Names;
};

class AddLevels : public WriteCommands, public testing::WithParamInterface<const char*> {};

TEST_P(AddLevels, NewArchiveStoresSrcAndPassesThePeers) {
  const TVzipRun r = Vzip(Scratch.Path(), std::string("a ") + GetParam() + " a.zip src -r");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_NE(r.Out.find("7 files added or replaced; a.zip holds 7 members"), std::string::npos)
      << r.Out;
  EXPECT_EQ(Listed("a.zip"), StoredNames());
  ExpectPeersAccept("a.zip");
  if (HaveProgram("/usr/bin/unzip")) {
    ASSERT_EQ(Shell(Scratch.Path(), "/usr/bin/unzip -q a.zip -d out").ExitCode, 0);
    EXPECT_EQ(TreeContents(Scratch / "out/src"), TreeContents(Scratch / "src"));
  }
}

INSTANTIATE_TEST_SUITE_P(Cli, AddLevels, testing::Values("-0", "-1", "-6", "-9"));

TEST_F(WriteCommands, EveryNumberOfThreadsMakesTheSameArchive) {
  std::vector<std::vector<u8>> archives;
  for (const char* jobs : {"1", "2", "4"}) {
    const std::string name = std::string("j") + jobs + ".zip";
    const TVzipRun r = Vzip(Scratch.Path(), "a -j " + std::string(jobs) + " " + name + " src -r");
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    archives.push_back(ReadFileBytes(Scratch / name));
  }
  EXPECT_TRUE(archives[1] == archives[0]);
  EXPECT_TRUE(archives[2] == archives[0]);
  ExpectPeersAccept("j2.zip");
}

struct TAddPathCase {
  const char* Name;
  const char* Options;
  const char* Prefix;  // before each relative name; "@" stands for the scratch folder
};

class AddPaths : public WriteCommands, public testing::WithParamInterface<TAddPathCase> {};

TEST_P(AddPaths, StoreTheChosenFolders) {
  const TVzipRun r = Vzip(Scratch.Path(), std::string("a a.zip src -r ") + GetParam().Options);
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  std::string prefix = GetParam().Prefix;
  if (const auto at = prefix.find('@'); at != std::string::npos) {
    prefix.replace(at, 1, Scratch.Path().substr(1));
  }
  if (std::string(GetParam().Name) == "None") {
    std::vector<std::string> flat;
    for (const auto& name : Names) flat.push_back(fs::path(name).filename().string());
    std::sort(flat.begin(), flat.end());
    EXPECT_EQ(Listed("a.zip"), flat);
  } else {
    EXPECT_EQ(Listed("a.zip"), StoredNames(prefix));
  }
}

INSTANTIATE_TEST_SUITE_P(Cli, AddPaths,
                         testing::Values(TAddPathCase{"Relative", "--paths relative", "src/"},
                                         TAddPathCase{"RelativeToRoot", "--root src", ""},
                                         TAddPathCase{"Full", "--paths full", "@/src/"},
                                         TAddPathCase{"Volume", "--paths volume", "/@/src/"},
                                         TAddPathCase{"None", "--paths none", ""}),
                         CaseName<TAddPathCase>);

TEST_F(WriteCommands, FolderWithoutRecursionAndPatternsWithIt) {
  ASSERT_EQ(Vzip(Scratch.Path(), "a top.zip src").ExitCode, 0);
  EXPECT_EQ(Listed("top.zip"), (std::vector<std::string>{"src/empty.dat", "src/random.bin",
                                                         "src/readme.txt", "src/with blank.txt"}));
  ASSERT_EQ(Vzip(Scratch.Path(), "a txt.zip 'src/*.txt' -r").ExitCode, 0);
  EXPECT_EQ(Listed("txt.zip"),
            (std::vector<std::string>{"src/docs/deep/notes.txt", "src/docs/guide.txt",
                                      "src/readme.txt", "src/with blank.txt"}));
}

TEST_F(WriteCommands, StandardInputBecomesAMember) {
  const TVzipRun r = Vzip(Scratch.Path(), "a a.zip --stdin notes/piped.txt -9", "piped words\n");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(Listed("a.zip"), std::vector<std::string>{"notes/piped.txt"});
  EXPECT_EQ(Vzip(Scratch.Path(), "p a.zip notes/piped.txt").Out, "piped words\n");
  ExpectPeersAccept("a.zip");
}

TEST_F(WriteCommands, NothingToAddLeavesNoArchive) {
  const TVzipRun r = Vzip(Scratch.Path(), "a new.zip missing.txt");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("/missing.txt: no such file"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("nothing to add"), std::string::npos) << r.Err;
  EXPECT_FALSE(FileExists(Scratch / "new.zip"));
}

TEST_F(WriteCommands, SpecialFilesAreReportedAndLeftOut) {
  ASSERT_EQ(::mkfifo((Scratch / "src/pipe").c_str(), 0600), 0);
  const TVzipRun r = Vzip(Scratch.Path(), "a a.zip src/pipe src/readme.txt");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("/src/pipe: not a regular file; left out"), std::string::npos) << r.Err;
  EXPECT_EQ(Listed("a.zip"), std::vector<std::string>{"src/readme.txt"});
}

struct TActionCase {
  const char* Name;
  const char* Option;
  int Changed;  // files added or replaced
  int Members;
};

class AddActions : public WriteCommands, public testing::WithParamInterface<TActionCase> {};

TEST_P(AddActions, UpdateFreshenAndReplace) {
  for (const auto& name : Names) {
    fs::last_write_time(Scratch / ("src/" + name),
                        fs::file_time_type::clock::now() - std::chrono::hours(48));
  }
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q a.zip src -r").ExitCode, 0);
  WriteFileText(Scratch / "src/readme.txt", "newer");
  WriteFileText(Scratch / "src/added.txt", "new file");
  const TVzipRun r = Vzip(Scratch.Path(), std::string("a a.zip src -r ") + GetParam().Option);
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const int changed = GetParam().Changed;
  EXPECT_NE(r.Out.find("\n" + std::to_string(changed) + (changed == 1 ? " file " : " files ")),
            std::string::npos)
      << r.Out;
  EXPECT_EQ(static_cast<int>(Listed("a.zip").size()), GetParam().Members);
  EXPECT_EQ(Vzip(Scratch.Path(), "p a.zip src/readme.txt").Out, "newer");
  ExpectPeersAccept("a.zip");
}

INSTANTIATE_TEST_SUITE_P(Cli, AddActions,
                         testing::Values(TActionCase{"Update", "", 2, 8},
                                         TActionCase{"ExplicitUpdate", "--update", 2, 8},
                                         TActionCase{"Freshen", "--freshen", 1, 7},
                                         TActionCase{"Replace", "--replace", 8, 8}),
                         CaseName<TActionCase>);

TEST_F(WriteCommands, MoveDeletesTheSourcesOnceTheArchiveIsInPlace) {
  const auto before = TreeContents(Scratch / "src");
  const TVzipRun r = Vzip(Scratch.Path(), "a a.zip src -r --move");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(TreeContents(Scratch / "src").empty());
  ASSERT_EQ(Vzip(Scratch.Path(), "x a.zip -d out -q").ExitCode, 0);
  EXPECT_EQ(TreeContents(Scratch / "out/src"), before);
}

// ---- passwords ----

TEST_F(WriteCommands, EncryptedArchivePassesThePeersAndNeedsItsPassword) {
  ASSERT_EQ(Vzip(Scratch.Path(), "a a.zip src -r -p 'pass word'").ExitCode, 0);
  ExpectPeersAccept("a.zip", "'pass word'");
  const TVzipRun none = Vzip(Scratch.Path(), "t a.zip");
  EXPECT_EQ(none.ExitCode, 1);
  EXPECT_NE(none.Err.find("vzip: src/readme.txt: skipped: it is encrypted and no password"),
            std::string::npos)
      << none.Err;
  // The empty password passes the check byte of one enciphered header in 256
  // (the header is random), and empty.dat then has nothing left to check.
  const bool emptyPassed = none.Err.find("src/empty.dat:") == std::string::npos;
  EXPECT_NE(none.Err.find(emptyPassed ? "6 problems: 6 password missing"
                                      : "7 problems: 7 password missing"),
            std::string::npos)
      << none.Err;
  const std::string wrongPassword = PasswordFailingEveryCheck(ReadFileBytes(Scratch / "a.zip"));
  const TVzipRun wrong = Vzip(Scratch.Path(), "x a.zip -d out -p " + wrongPassword);
  EXPECT_EQ(wrong.ExitCode, 1);
  EXPECT_NE(wrong.Err.find("src/random.bin: skipped: wrong password"), std::string::npos)
      << wrong.Err;
  EXPECT_TRUE(TreeContents(Scratch / "out").empty());
  ASSERT_EQ(Vzip(Scratch.Path(), "x a.zip -d out -p 'pass word'").ExitCode, 0);
  EXPECT_EQ(TreeContents(Scratch / "out/src"), TreeContents(Scratch / "src"));
}

TEST_F(WriteCommands, InfoZipEncryptedArchiveExtractsWithThePassword) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  ASSERT_EQ(Shell(Scratch / "src", "/usr/bin/zip -q -r -P secret ../z.zip .").ExitCode, 0);
  const TVzipRun r = Vzip(Scratch.Path(), "x z.zip -d out -p secret");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(TreeContents(Scratch / "out"), TreeContents(Scratch / "src"));
}

// The listing line of `name` in `listing`.
std::string ListedLine(const std::string& listing, const std::string& name) {
  std::size_t start = 0;
  while (start < listing.size()) {
    const auto end = listing.find('\n', start);
    const std::string line = listing.substr(start, end - start);
    if (line.ends_with("  " + name)) return line;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return {};
}

struct TAesCase {
  const char* Name;
  const char* Kind;   // --encrypt
  const char* Shown;  // in the listing
};

class AddAes : public WriteCommands, public testing::WithParamInterface<TAesCase> {};

TEST_P(AddAes, ArchivePassesSevenZipAndKeepsItsMembersThroughChanges) {
  const TAesCase& c = GetParam();
  const TVzipRun made =
      Vzip(Scratch.Path(), "a a.zip src -r -p 'pass word' --encrypt " + std::string(c.Kind));
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  const std::string listing = Vzip(Scratch.Path(), "l a.zip").Out;
  for (const auto& name : StoredNames()) {
    EXPECT_NE(ListedLine(listing, name).find(c.Shown), std::string::npos) << listing;
  }
  // AE-1 keeps the CRC from 20 bytes on; a smaller member is AE-2, without.
  EXPECT_EQ(ListedLine(listing, "src/readme.txt").find("00000000"), std::string::npos) << listing;
  EXPECT_NE(ListedLine(listing, "src/docs/deep/inner.bin").find("00000000"), std::string::npos)
      << listing;
  if (HaveProgram("7z")) {
    const auto t = Shell(Scratch.Path(), "7z t -p'pass word' a.zip");
    EXPECT_EQ(t.ExitCode, 0) << t.Out;
    EXPECT_NE(Shell(Scratch.Path(), "7z t -pwrong a.zip").ExitCode, 0);
    const auto x = Shell(Scratch.Path(), "7z x -p'pass word' -o7z a.zip");
    ASSERT_EQ(x.ExitCode, 0) << x.Out;
    EXPECT_EQ(TreeContents(Scratch / "7z/src"), TreeContents(Scratch / "src"));
  }
  const TVzipRun wrong = Vzip(Scratch.Path(), "t a.zip -p wrong");
  EXPECT_EQ(wrong.ExitCode, 1);
  EXPECT_NE(wrong.Err.find("7 problems: 7 wrong password"), std::string::npos) << wrong.Err;

  // Updating, replacing and deleting copy the other AES members as they were.
  WriteFileBytes(Scratch / "src/new.txt", TextBytes(5000, 8));
  WriteFileBytes(Scratch / "src/with blank.txt", TextBytes(400, 9));
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q a.zip src -r -p 'pass word'").ExitCode, 0);
  ASSERT_EQ(Vzip(Scratch.Path(),
                 "a -q --replace a.zip 'src/with blank.txt' -p 'pass word' "
                 "--encrypt " +
                     std::string(c.Kind))
                .ExitCode,
            0);
  ASSERT_EQ(Vzip(Scratch.Path(), "d -q a.zip src/empty.dat").ExitCode, 0);
  fs::remove(Scratch / "src/empty.dat");
  const std::string after = Vzip(Scratch.Path(), "l a.zip").Out;
  EXPECT_NE(ListedLine(after, "src/new.txt").find("traditional"), std::string::npos) << after;
  EXPECT_NE(ListedLine(after, "src/with blank.txt").find(c.Shown), std::string::npos) << after;
  EXPECT_NE(ListedLine(after, "src/random.bin").find(c.Shown), std::string::npos) << after;
  if (HaveProgram("7z")) {
    const auto t = Shell(Scratch.Path(), "7z t -p'pass word' a.zip");
    EXPECT_EQ(t.ExitCode, 0) << t.Out;
  }
  const TVzipRun x = Vzip(Scratch.Path(), "x a.zip -d out -p 'pass word'");
  ASSERT_EQ(x.ExitCode, 0) << x.Err;
  EXPECT_EQ(TreeContents(Scratch / "out/src"), TreeContents(Scratch / "src"));
}

INSTANTIATE_TEST_SUITE_P(Cli, AddAes,
                         testing::Values(TAesCase{"Aes128", "aes128", "AES-128"},
                                         TAesCase{"Aes256", "aes256", "AES-256"}),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST_F(WriteCommands, EncryptNeedsAPasswordAndAKnownKind) {
  const TVzipRun none = Vzip(Scratch.Path(), "a a.zip src --encrypt aes256");
  EXPECT_EQ(none.ExitCode, 7);
  EXPECT_NE(none.Err.find("--encrypt needs a password (-p or -e)"), std::string::npos) << none.Err;
  EXPECT_EQ(Vzip(Scratch.Path(), "a a.zip src -p x --encrypt aes192").ExitCode, 7);
  EXPECT_FALSE(FileExists(Scratch / "a.zip"));
}

// ---- delete ----

struct TDeleteCase {
  const char* Name;
  const char* Lines;
  std::vector<std::string> Left;
};

class Deleting : public WriteCommands, public testing::WithParamInterface<TDeleteCase> {};

TEST_P(Deleting, LinesChooseTheMembers) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  ASSERT_EQ(Shell(Scratch.Path(), "/usr/bin/zip -q -r -D a.zip src").ExitCode, 0);
  const TVzipRun r = Vzip(Scratch.Path(), std::string("d a.zip ") + GetParam().Lines);
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(Listed("a.zip"), GetParam().Left);
  ExpectPeersAccept("a.zip");
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Deleting,
    testing::Values(TDeleteCase{"Plain",
                                "src/readme.txt src/random.bin",
                                {"src/docs/deep/inner.bin", "src/docs/deep/notes.txt",
                                 "src/docs/guide.txt", "src/empty.dat", "src/with blank.txt"}},
                    TDeleteCase{"PatternInAnyFolder",
                                "'*.txt'",
                                {"src/docs/deep/inner.bin", "src/empty.dat", "src/random.bin"}},
                    TDeleteCase{"PatternWithFolder",
                                "'src/docs/*'",
                                {"src/empty.dat", "src/random.bin", "src/readme.txt",
                                 "src/with blank.txt"}}),
    CaseName<TDeleteCase>);

TEST_F(WriteCommands, DeletingNothingLeavesTheArchiveAsItWas) {
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q a.zip src -r").ExitCode, 0);
  const auto before = ReadFileBytes(Scratch / "a.zip");
  const TVzipRun r = Vzip(Scratch.Path(), "d a.zip nothing.txt");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("vzip: nothing.txt: no member of a.zip matches"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(Scratch / "a.zip"), before);
}

// ---- comments ----

TEST_F(WriteCommands, CommentsAreShownChangedAndRemoved) {
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q a.zip src -r").ExitCode, 0);
  ASSERT_EQ(Vzip(Scratch.Path(), "c a.zip --set 'The archive'").ExitCode, 0);
  WriteFileText(Scratch / "note.txt", "About\nthe readme");
  ASSERT_EQ(Vzip(Scratch.Path(), "c a.zip src/readme.txt --file note.txt").ExitCode, 0);
  EXPECT_EQ(Vzip(Scratch.Path(), "c a.zip").Out, "The archive\n");
  EXPECT_EQ(Vzip(Scratch.Path(), "c a.zip src/readme.txt").Out, "About\nthe readme\n");
  const TVzipRun listing = Vzip(Scratch.Path(), "l a.zip --comments");
  EXPECT_NE(listing.Out.find("Comment:\n  The archive\n"), std::string::npos) << listing.Out;
  EXPECT_NE(
      listing.Out.find("src/readme.txt\n                  About\n                  the readme\n"),
      std::string::npos)
      << listing.Out;
  if (HaveProgram("/usr/bin/unzip")) {
    EXPECT_NE(Shell(Scratch.Path(), "/usr/bin/unzip -z a.zip").Out.find("The archive"),
              std::string::npos);
  }
  ExpectPeersAccept("a.zip");
  ASSERT_EQ(Vzip(Scratch.Path(), "c a.zip --set ''").ExitCode, 0);
  EXPECT_EQ(Vzip(Scratch.Path(), "c a.zip").Out, "");
  const TVzipRun missing = Vzip(Scratch.Path(), "c a.zip nope.txt --set x");
  EXPECT_EQ(missing.ExitCode, 1);
}

// ---- self-extracting programs ----

TEST_F(WriteCommands, SfxMakesARunnableProgramThatThePeersAccept) {
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q a.zip src -r").ExitCode, 0);
  const auto archive = ReadFileBytes(Scratch / "a.zip");
  const TVzipRun r = Vzip(Scratch.Path(), "s a.zip");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("Created " + Scratch / "a.exe"), std::string::npos) << r.Out;
  EXPECT_EQ(ReadFileBytes(Scratch / "a.zip"), archive);
  EXPECT_EQ(fs::status(Scratch / "a.exe").permissions() & fs::perms::owner_exec,
            fs::perms::owner_exec);
  if (HaveProgram("/usr/bin/unzip")) {
    const auto t = Shell(Scratch.Path(), "/usr/bin/unzip -tq a.exe");
    EXPECT_EQ(t.ExitCode, 0) << t.Out;
  }
  EXPECT_EQ(Vzip(Scratch.Path(), "t a.exe").ExitCode, 0);
  MakeFolders(Scratch / "run");
  const auto run = Shell(Scratch / "run", "printf '\\n' | timeout 60 ../a.exe");
  EXPECT_EQ(run.ExitCode, 0) << run.Out;
  EXPECT_EQ(TreeContents(Scratch / "run/src"), TreeContents(Scratch / "src"));

  // An existing program is kept unless -o always is given.
  WriteFileText(Scratch / "a.exe", "older");
  const TVzipRun again = Vzip(Scratch.Path(), "s a.zip");
  EXPECT_EQ(again.ExitCode, 1);
  EXPECT_NE(again.Err.find("a.exe: not overwritten"), std::string::npos) << again.Err;
  EXPECT_EQ(ReadFileText(Scratch / "a.exe"), "older");
  EXPECT_EQ(Vzip(Scratch.Path(), "s a.zip -o always").ExitCode, 0);
  EXPECT_EQ(Vzip(Scratch.Path(), "t a.exe").ExitCode, 0);
}

// ---- repair ----

struct TRepairCase {
  const char* Name;
  bool InsideData;  // cut inside the last member's data, else inside the directory
};

class Repairing : public WriteCommands, public testing::WithParamInterface<TRepairCase> {};

TEST_P(Repairing, CutArchiveYieldsEveryWholeMember) {
  ASSERT_EQ(Vzip(Scratch.Path(),
                 "a -q a.zip src/readme.txt src/random.bin src/docs/guide.txt src/empty.dat")
                .ExitCode,
            0);
  const auto bytes = ReadFileBytes(Scratch / "a.zip");
  const auto headers = LocalHeaders(bytes);
  ASSERT_EQ(headers.size(), 4u);
  // The third member's data is cut off; the fourth (empty) member is lost with it.
  const std::size_t cut = GetParam().InsideData ? headers[2] + 30 + 18 + 100 : bytes.size() - 40;
  WriteFileBytes(Scratch / "cut.zip", std::vector<u8>(bytes.begin(), bytes.begin() + cut));

  const TVzipRun r = Vzip(Scratch.Path(), "r cut.zip");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  const std::vector<std::string> whole{"src/random.bin", "src/readme.txt"};
  const std::vector<std::string> all{"src/docs/guide.txt", "src/empty.dat", "src/random.bin",
                                     "src/readme.txt"};
  EXPECT_EQ(Listed("cut_Fixed.zip"), GetParam().InsideData ? whole : all);
  ExpectPeersAccept("cut_Fixed.zip");
  EXPECT_EQ(Vzip(Scratch.Path(), "t cut_Fixed.zip").ExitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Cli, Repairing,
                         testing::Values(TRepairCase{"InsideTheDirectory", false},
                                         TRepairCase{"InsideTheData", true}),
                         CaseName<TRepairCase>);

// Rebuilt from the local headers, AES members keep their field in the new
// directory too.
TEST_F(WriteCommands, RepairKeepsAesMembersReadable) {
  ASSERT_EQ(Vzip(Scratch.Path(), "a -q a.zip src/readme.txt src/random.bin -p pw --encrypt aes128")
                .ExitCode,
            0);
  const auto bytes = ReadFileBytes(Scratch / "a.zip");
  WriteFileBytes(Scratch / "cut.zip", std::vector<u8>(bytes.begin(), bytes.end() - 40));
  const TVzipRun r = Vzip(Scratch.Path(), "r cut.zip");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const TVzipRun t = Vzip(Scratch.Path(), "t cut_Fixed.zip -p pw");
  EXPECT_EQ(t.ExitCode, 0) << t.Err;
  EXPECT_NE(Vzip(Scratch.Path(), "l cut_Fixed.zip").Out.find("AES-128"), std::string::npos);
  if (HaveProgram("7z")) {
    const auto peer = Shell(Scratch.Path(), "7z t -ppw cut_Fixed.zip");
    EXPECT_EQ(peer.ExitCode, 0) << peer.Out;
  }
}

TEST_F(WriteCommands, RepairFindsNothingInAFileThatIsNoArchive) {
  WriteFileBytes(Scratch / "noise.zip", RandomBytes(5000, 9));
  const TVzipRun r = Vzip(Scratch.Path(), "r noise.zip fixed.zip");
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("noise.zip: no member could be found"), std::string::npos) << r.Err;
  EXPECT_FALSE(FileExists(Scratch / "fixed.zip"));
}

}  // namespace
}  // namespace vz::test
