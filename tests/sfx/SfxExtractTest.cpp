// The stub extracting archives made by Info-ZIP zip: every method and level,
// encryption, folders and extra fields; its answers to existing files and
// passwords; the stub alone; its recorded size and its size budget.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "sfx/OwnSize.h"
#include "tests/sfx/SfxHarness.h"
#include "tests/support/CheckBytes.h"
#include "tests/support/TestFiles.h"

namespace vz::test {
namespace {

namespace fs = std::filesystem;

struct TSourceFile {
  std::string Name;
  std::vector<u8> Data;
  long long Modified = 0;
};

// Sizes around the decoders' block and window boundaries, text and noise,
// in nested folders, each with its own even-second date.
std::vector<TSourceFile> MakeSourceTree(const std::string& root) {
  std::vector<TSourceFile> files = {
      {"empty.txt", {}},
      {"one.bin", RandomBytes(1, 1)},
      {"text16000.txt", TextBytes(16000, 2)},
      {"text16001.txt", TextBytes(16001, 3)},
      {"noise32768.bin", RandomBytes(32768, 4)},
      {"docs/noise65537.bin", RandomBytes(65537, 5)},
      {"docs/deep/text200000.txt", TextBytes(200000, 6)},
      {"docs/deep/mixed.bin", RandomBytes(40000, 7)},
  };
  long long when = 1560606320;  // 2019-06-15 13:45:20
  for (TSourceFile& file : files) {
    const std::string path = root + "/" + file.Name;
    MakeFolders(fs::path(path).parent_path().string());
    WriteFileBytes(path, file.Data);
    when += 37 * 86400 + 3602;
    file.Modified = when;
    SetModified(path, when);
  }
  MakeFolders(root + "/emptydir");
  return files;
}

void ExpectExtracted(const std::vector<TSourceFile>& files, const std::string& out) {
  for (const TSourceFile& file : files) {
    const std::string path = out + "/" + file.Name;
    ASSERT_TRUE(FileExists(path)) << file.Name;
    // The access time first: reading the file may move it.
    EXPECT_EQ(AccessTime(path), file.Modified) << file.Name;
    EXPECT_EQ(ModifiedTime(path), file.Modified) << file.Name;
    EXPECT_EQ(ReadFileBytes(path), file.Data) << file.Name;
  }
}

struct TZipCase {
  const char* Name;
  const char* Options;
  const char* Input;
  bool FixUpOffsets;  // /usr/bin/zip -A on the self-extracting file
};

class SfxZipCases : public testing::TestWithParam<TZipCase> {};

TEST_P(SfxZipCases, ExtractsEveryMemberWithItsDate) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  const TZipCase& c = GetParam();
  TScratch scratch;
  const std::vector<TSourceFile> files = MakeSourceTree(scratch / "src");
  const std::vector<u8> archive =
      RunZip(scratch / "src", std::string(c.Options) + " -r ../a.zip .", scratch / "a.zip");
  const std::string exe = scratch / "setup.exe";
  WriteSfx(exe, archive);
  if (c.FixUpOffsets) {
    ASSERT_EQ(RunCommand("/usr/bin/zip -q -A " + ShellQuote(exe)).ExitCode, 0);
  }
  MakeFolders(scratch / "out");

  const TSfxRun run = RunIn(scratch / "out", exe, c.Input);

  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find(kSuccessLine), std::string::npos) << run.Output;
  EXPECT_NE(run.Output.find("Unzipping " + scratch / "out/docs/deep/mixed.bin..."),
            std::string::npos)
      << run.Output;
  ExpectExtracted(files, scratch / "out");
  EXPECT_TRUE(fs::is_directory(scratch / "out/emptydir"));
  const bool encrypted = std::strstr(c.Options, "-P") != nullptr;
  EXPECT_EQ(CountOf(run.Output, "A password is required for setup.exe"), encrypted ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sfx, SfxZipCases,
    testing::Values(TZipCase{"Stored", "-0", "\n", false}, TZipCase{"Level1", "-1", "\n", false},
                    TZipCase{"Level2", "-2", "\n", false}, TZipCase{"Level3", "-3", "\n", false},
                    TZipCase{"Level4", "-4", "\n", false}, TZipCase{"Level5", "-5", "\n", false},
                    TZipCase{"Level6", "-6", "\n", false}, TZipCase{"Level7", "-7", "\n", false},
                    TZipCase{"Level8", "-8", "\n", false}, TZipCase{"Level9", "-9", "\n", false},
                    TZipCase{"NoExtraFields", "-X -6", "\n", false},
                    TZipCase{"OffsetsFixedUp", "-6", "\n", true},
                    TZipCase{"EncryptedStored", "-0 -P secret", "\nsecret\n", false},
                    TZipCase{"EncryptedDeflated", "-9 -P secret", "\nsecret\n", false},
                    TZipCase{"Zip64", "-fz -6", "\n", false},
                    TZipCase{"Zip64Stored", "-fz -0", "\n", false},
                    TZipCase{"Zip64Encrypted", "-fz -P secret", "\nsecret\n", false}),
    CaseName<TZipCase>);

// Python's zipfile with its limits lowered to 1 writes every record as it
// would past 4 GiB: Zip64 local fields, saturated central sizes and offsets,
// the Zip64 end record. The stub extracts each member with its mode.
TEST(Sfx, ArchiveWithZip64RecordsEverywhere) {
  if (!HaveProgram("python3")) GTEST_SKIP() << "Python is not installed";
  TScratch scratch;
  const std::vector<TSourceFile> files = MakeSourceTree(scratch / "src");
  ASSERT_EQ(::chmod((scratch / "src/docs/deep/mixed.bin").c_str(), 0751), 0);
  WriteFileText(scratch / "make.py",
                "import os, sys, zipfile\n"
                "zipfile.ZIP64_LIMIT = 1\n"
                "zipfile.ZIP_FILECOUNT_LIMIT = 1\n"
                "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                "  for root, dirs, names in os.walk('.'):\n"
                "    for f in sorted(names):\n"
                "      path = os.path.join(root, f)[2:]\n"
                "      info = zipfile.ZipInfo.from_file(path)\n"
                "      info.compress_type = zipfile.ZIP_DEFLATED\n"
                "      with open(path, 'rb') as src, z.open(info, 'w', force_zip64=True) as dst:\n"
                "        dst.write(src.read())\n");
  const auto made =
      RunCommand("cd " + ShellQuote(scratch / "src") + " && python3 ../make.py ../a.zip");
  ASSERT_EQ(made.ExitCode, 0) << made.Output;
  const std::string exe = scratch / "setup.exe";
  WriteSfx(exe, ReadFileBytes(scratch / "a.zip"));
  MakeFolders(scratch / "out");
  const TSfxRun run = RunIn(scratch / "out", exe, "\n");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find(kSuccessLine), std::string::npos) << run.Output;
  for (const TSourceFile& file : files) {
    EXPECT_EQ(ReadFileBytes(scratch / "out" + "/" + file.Name), file.Data) << file.Name;
  }
  EXPECT_EQ(FileMode(scratch / "out/docs/deep/mixed.bin") & 0777, 0751u);
}

TEST(Sfx, DestinationLineChoosesTheFolderAndCreatesIt) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  TScratch scratch;
  const std::vector<TSourceFile> files = MakeSourceTree(scratch / "src");
  const std::string exe = scratch / "setup.exe";
  WriteSfx(exe, RunZip(scratch / "src", "-6 -r ../a.zip .", scratch / "a.zip"));
  MakeFolders(scratch / "out");

  const TSfxRun relative = RunIn(scratch / "out", exe, "new/dest\n");
  EXPECT_EQ(relative.ExitCode, 0) << relative.Output;
  ExpectExtracted(files, scratch / "out/new/dest");

  const std::string absolute = scratch / "absolute dest";
  const TSfxRun run = RunIn(scratch / "out", exe, absolute + "\n");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  ExpectExtracted(files, absolute);
}

TEST(Sfx, EndOfInputAtTheMainDialogCancels) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  TScratch scratch;
  MakeSourceTree(scratch / "src");
  const std::string exe = scratch / "setup.exe";
  WriteSfx(exe, RunZip(scratch / "src", "-6 -r ../a.zip .", scratch / "a.zip"));
  MakeFolders(scratch / "out");
  const TSfxRun run = RunIn(scratch / "out", exe, "");
  EXPECT_EQ(run.ExitCode, 2) << run.Output;
  EXPECT_TRUE(fs::is_empty(scratch / "out"));
}

TEST(Sfx, StubAloneFindsNoAttachedArchive) {
  TScratch scratch;
  const std::string lonely = scratch / "lonely.exe";
  WriteSfx(lonely, {});
  const TSfxRun run = RunIn(scratch.Path(), lonely, "\n");
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Output, "lonely.exe: Cannot find attached archive.\n");
}

TEST(Sfx, RecordedSizeIsTheStubsFileSize) {
  const std::vector<u8> stub = ReadFileBytes(StubPath());
  const std::string text(stub.begin(), stub.end());
  const std::string marker = VNSFX32_OWN_SIZE_MARKER;
  ASSERT_EQ(CountOf(text, marker), 1);
  const std::size_t digits = text.find(marker) + marker.size();
  std::string recorded;
  for (std::size_t i = digits; i < digits + sfx::kOwnSizeDigits && std::isdigit(stub[i]); ++i) {
    recorded += static_cast<char>(stub[i]);
  }
  EXPECT_EQ(recorded, std::to_string(stub.size()));
}

TEST(Sfx, StubIsStaticAndUnderOneMebibyte) {
#ifdef VZ_SFX_SANITIZED
  GTEST_SKIP() << "the sanitizers' runtimes keep this build of the stub dynamic";
#endif
  const std::vector<u8> stub = ReadFileBytes(StubPath());
  EXPECT_LT(stub.size(), 1u << 20);
  // No program header of type PT_INTERP (3): nothing to load at run time.
  ASSERT_GE(stub.size(), 64u);
  const auto le = [&](std::size_t at, int bytes) {
    u64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
      value = value << 8 | stub[at + static_cast<std::size_t>(i)];
    return value;
  };
  const u64 headers = le(0x20, 8);
  const u64 size = le(0x36, 2);
  const u64 count = le(0x38, 2);
  for (u64 i = 0; i < count; ++i) {
    ASSERT_LE(headers + (i + 1) * size, stub.size());
    EXPECT_NE(le(headers + i * size, 4), 3u) << "program header " << i;
  }
}

// ---- existing files ----

struct TOverwriteCase {
  const char* Name;
  const char* Answers;   // after the destination line
  const char* Existing;  // which of a, b, c exist before
  int Prompts;
  const char* Replaced;  // which of a, b, c hold the member afterwards
};

class SfxExistingFiles : public testing::TestWithParam<TOverwriteCase> {};

TEST_P(SfxExistingFiles, FollowTheAnswers) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  const TOverwriteCase& c = GetParam();
  TScratch scratch;
  MakeFolders(scratch / "src");
  MakeFolders(scratch / "out");
  for (const char name : std::string("abc")) {
    const std::string file = std::string(1, name) + ".txt";
    WriteFileText(scratch / ("src/" + file), "member " + file + "\n");
    if (std::strchr(c.Existing, name) != nullptr) WriteFileText(scratch / ("out/" + file), "old\n");
  }
  const std::string exe = scratch / "setup.exe";
  WriteSfx(exe, RunZip(scratch / "src", "-6 ../a.zip a.txt b.txt c.txt", scratch / "a.zip"));

  const TSfxRun run = RunIn(scratch / "out", exe, std::string("\n") + c.Answers);

  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find(kSuccessLine), std::string::npos) << run.Output;
  EXPECT_EQ(CountOf(run.Output, " already exists!"), c.Prompts) << run.Output;
  for (const char name : std::string("abc")) {
    const std::string file = std::string(1, name) + ".txt";
    const bool replaced = std::strchr(c.Replaced, name) != nullptr;
    const bool existed = std::strchr(c.Existing, name) != nullptr;
    EXPECT_EQ(ReadFileText(scratch / ("out/" + file)),
              replaced || !existed ? "member " + file + "\n" : "old\n")
        << file;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sfx, SfxExistingFiles,
    testing::Values(TOverwriteCase{"OverwriteEach", "o\no\no\n", "abc", 3, "abc"},
                    TOverwriteCase{"SkipEach", "s\ns\ns\n", "abc", 3, ""},
                    TOverwriteCase{"OverwriteAllAtTheFirst", "a\n", "abc", 1, "abc"},
                    TOverwriteCase{"SkipAllAtTheFirst", "k\n", "abc", 1, ""},
                    TOverwriteCase{"EndOfInputSkips", "", "abc", 3, ""},
                    TOverwriteCase{"UnknownAnswerSkips", "yes\nx\n\n", "abc", 3, ""},
                    TOverwriteCase{"Mixed", "o\ns\no\n", "abc", 3, "ac"},
                    TOverwriteCase{"SkipThenOverwriteAll", "s\na\n", "abc", 2, "bc"},
                    TOverwriteCase{"OnlyExistingFilesAsk", "k\n", "b", 1, ""}),
    CaseName<TOverwriteCase>);

// ---- passwords ----

struct TPasswordCase {
  const char* Name;
  const char* Input;
  int Prompts;
  bool Extracted;
};

class SfxPasswords : public testing::TestWithParam<TPasswordCase> {};

TEST_P(SfxPasswords, AskAtMostThreeTimes) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  const TPasswordCase& c = GetParam();
  TScratch scratch;
  MakeFolders(scratch / "src");
  MakeFolders(scratch / "out");
  WriteFileBytes(scratch / "src/a.txt", TextBytes(30000, 11));
  WriteFileBytes(scratch / "src/b.bin", RandomBytes(5000, 12));
  const std::string exe = scratch / "locked.exe";
  std::vector<u8> archive;
  // The wrong answers of the table must fail the check byte, so the archive is
  // made again in the rare case that one of them passes.
  for (int attempt = 0; attempt < 20; ++attempt) {
    fs::remove(scratch / "a.zip");
    archive = RunZip(scratch / "src", "-P secret ../a.zip a.txt b.bin", scratch / "a.zip");
    // "" and the long answer cut to its first 24 characters are wrong too.
    const bool lucky = PassesSomeCheckByte(archive, "x") || PassesSomeCheckByte(archive, "y") ||
                       PassesSomeCheckByte(archive, "z") || PassesSomeCheckByte(archive, "") ||
                       PassesSomeCheckByte(archive, "secretXXXXXXXXXXXXXXXXXX");
    if (!lucky) break;
  }
  ASSERT_TRUE(PassesSomeCheckByte(archive, "secret"));
  WriteSfx(exe, archive);

  const TSfxRun run = RunIn(scratch / "out", exe, c.Input);

  EXPECT_EQ(CountOf(run.Output, "A password is required for locked.exe"), c.Prompts) << run.Output;
  EXPECT_EQ(run.ExitCode, c.Extracted ? 0 : 1) << run.Output;
  EXPECT_EQ(CountOf(run.Output, kSuccessLine), c.Extracted ? 1 : 0) << run.Output;
  EXPECT_EQ(CountOf(run.Output, kFailureLine), 0) << run.Output;
  EXPECT_EQ(FileExists(scratch / "out/a.txt"), c.Extracted);
  EXPECT_EQ(FileExists(scratch / "out/b.bin"), c.Extracted);
  if (c.Extracted) {
    EXPECT_EQ(ReadFileBytes(scratch / "out/b.bin"), RandomBytes(5000, 12));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sfx, SfxPasswords,
    testing::Values(TPasswordCase{"RightAtOnceServesEveryMember", "\nsecret\n", 1, true},
                    TPasswordCase{"RightAtTheThirdPrompt", "\nx\ny\nsecret\n", 3, true},
                    TPasswordCase{"EmptyNeverPasses", "\n\nsecret\n", 2, true},
                    TPasswordCase{"ThreeWrongEndTheWalk", "\nx\ny\nz\nsecret\n", 3, false},
                    TPasswordCase{"EndOfInputCancelsEachPrompt", "\n", 3, false},
                    TPasswordCase{"OnlyTwentyFourCharactersCount",
                                  "\nsecretXXXXXXXXXXXXXXXXXXXXXXXXXXX\n", 3, false}),
    CaseName<TPasswordCase>);

// ---- the terminal form ----

TEST(Sfx, TerminalFormTogglesMembersAndUnzips) {
  if (!HaveProgram("/usr/bin/zip") || !HaveProgram("script"))
    GTEST_SKIP() << "needs zip and script";
  TScratch scratch;
  MakeFolders(scratch / "src");
  MakeFolders(scratch / "out");
  for (const char* name : {"a.txt", "b.txt", "c.txt"})
    WriteFileText(scratch / ("src/" + std::string(name)), name);
  const std::string exe = scratch / "setup.exe";
  WriteSfx(exe, RunZip(scratch / "src", "-6 ../a.zip a.txt b.txt c.txt", scratch / "a.zip"));

  // script gives the stub a terminal; "2" unselects b.txt, Enter unzips.
  const TCommandResult run = RunCommand("cd " + ShellQuote(scratch / "out") +
                                        " && printf '2\\n\\n' | timeout 30 script -qec " +
                                        ShellQuote(ShellQuote(exe)) + " /dev/null");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find("Enter an existing or new destination folder"), std::string::npos);
  EXPECT_NE(run.Output.find("[ ] b.txt"), std::string::npos) << run.Output;
  EXPECT_NE(run.Output.find(kSuccessLine), std::string::npos) << run.Output;
  EXPECT_TRUE(FileExists(scratch / "out/a.txt"));
  EXPECT_FALSE(FileExists(scratch / "out/b.txt"));
  EXPECT_TRUE(FileExists(scratch / "out/c.txt"));
}

TEST(Sfx, TerminalFormPathSwitchListsAndExtractsBaseNames) {
  if (!HaveProgram("/usr/bin/zip") || !HaveProgram("script"))
    GTEST_SKIP() << "needs zip and script";
  TScratch scratch;
  MakeFolders(scratch / "src/docs/deep");
  MakeFolders(scratch / "out");
  WriteFileText(scratch / "src/docs/deep/x.txt", "x");
  WriteFileText(scratch / "src/top.txt", "top");
  const std::string exe = scratch / "setup.exe";
  WriteSfx(exe, RunZip(scratch / "src", "-6 -r -D ../a.zip .", scratch / "a.zip"));

  // "p" clears the path switch and lists again: base names only.
  const TCommandResult run = RunCommand("cd " + ShellQuote(scratch / "out") +
                                        " && printf 'p\\n\\n' | timeout 30 script -qec " +
                                        ShellQuote(ShellQuote(exe)) + " /dev/null");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find("[x] docs/deep/x.txt"), std::string::npos) << run.Output;
  EXPECT_NE(run.Output.find("[x] x.txt"), std::string::npos) << run.Output;
  EXPECT_EQ(ReadFileText(scratch / "out/x.txt"), "x");
  EXPECT_EQ(ReadFileText(scratch / "out/top.txt"), "top");
  EXPECT_FALSE(fs::exists(scratch / "out/docs"));
}

TEST(Sfx, TerminalFormDisablesThePathSwitchWithoutFolders) {
  if (!HaveProgram("/usr/bin/zip") || !HaveProgram("script"))
    GTEST_SKIP() << "needs zip and script";
  TScratch scratch;
  MakeFolders(scratch / "src");
  MakeFolders(scratch / "out");
  WriteFileText(scratch / "src/flat.txt", "flat");
  const std::string exe = scratch / "setup.exe";
  WriteSfx(exe, RunZip(scratch / "src", "-6 ../a.zip flat.txt", scratch / "a.zip"));
  const TCommandResult run = RunCommand("cd " + ShellQuote(scratch / "out") +
                                        " && printf 'q\\n' | timeout 30 script -qec " +
                                        ShellQuote(ShellQuote(exe)) + " /dev/null");
  EXPECT_EQ(run.ExitCode, 2) << run.Output;
  EXPECT_NE(
      run.Output.find("[ ] Use the zipfile's path information (the archive holds no folders)"),
      std::string::npos)
      << run.Output;
  EXPECT_FALSE(FileExists(scratch / "out/flat.txt"));
}

TEST(Sfx, TerminalPasswordPromptKeepsWhatWasTypedAhead) {
  if (!HaveProgram("/usr/bin/zip") || !HaveProgram("script"))
    GTEST_SKIP() << "needs zip and script";
  TScratch scratch;
  MakeFolders(scratch / "src");
  MakeFolders(scratch / "out");
  WriteFileText(scratch / "src/locked.txt", "locked");
  const std::string exe = scratch / "setup.exe";
  WriteSfx(exe, RunZip(scratch / "src", "-P secret ../a.zip locked.txt", scratch / "a.zip"));
  const TCommandResult run = RunCommand("cd " + ShellQuote(scratch / "out") +
                                        " && printf '\\nsecret\\n' | timeout 30 script -qec " +
                                        ShellQuote(ShellQuote(exe)) + " /dev/null");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(CountOf(run.Output, "Enter password: "), 1) << run.Output;
  EXPECT_EQ(ReadFileText(scratch / "out/locked.txt"), "locked");
}

}  // namespace
}  // namespace vz::test
