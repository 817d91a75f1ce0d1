// The stub on damaged and hostile archives: members that fail their CRC
// stay highlighted, damaged streams and short archives end only the member,
// data descriptors, names that would leave the destination, links at a
// target's place, unknown methods, and names in code page 437.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/support/Crc32.h"
#include "platform/CodePage.h"
#include "tests/sfx/SfxHarness.h"
#include "tests/support/TestFiles.h"
#include "tests/support/ZipBuilder.h"

namespace vz::test {
namespace {

namespace fs = std::filesystem;

const std::vector<u8> kGood = TextBytes(3000, 21);

// Files a.txt, b.txt and c.txt in scratch/src, zipped in that order.
std::vector<u8> ZipThree(const TScratch& scratch, const std::string& options) {
  MakeFolders(scratch / "src");
  MakeFolders(scratch / "out");
  WriteFileBytes(scratch / "src/a.txt", TextBytes(20000, 1));
  WriteFileBytes(scratch / "src/b.txt", TextBytes(70000, 2));
  WriteFileBytes(scratch / "src/c.txt", RandomBytes(9000, 3));
  return RunZip(scratch / "src", options + " ../a.zip a.txt b.txt c.txt", scratch / "a.zip");
}

std::string FailedList(const TSfxRun& run) {
  const std::size_t at = run.Output.find(kFailureLine);
  return at == std::string::npos ? "" : run.Output.substr(at + kFailureLine.size());
}

// ---- CRC failures ----

struct TCorruptCase {
  const char* Name;
  const char* Options;
};

class SfxCorruptMember : public testing::TestWithParam<TCorruptCase> {};

TEST_P(SfxCorruptMember, StaysHighlightedWhileTheOthersComeOut) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  TScratch scratch;
  std::vector<u8> archive = ZipThree(scratch, GetParam().Options);
  const TLocalEntry b = EntryNamed(LocalEntries(archive), "b.txt");
  archive[b.DataOffset + b.CompressedSize / 2] ^= 0x20;
  WriteSfx(scratch / "setup.exe", archive);

  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");

  EXPECT_EQ(run.ExitCode, 1) << run.Output;
  EXPECT_EQ(FailedList(run), "\n    b.txt\n") << run.Output;
  EXPECT_EQ(ReadFileBytes(scratch / "out/a.txt"), TextBytes(20000, 1));
  EXPECT_EQ(ReadFileBytes(scratch / "out/c.txt"), RandomBytes(9000, 3));
}

TEST_P(SfxCorruptMember, NeverReplacesAnExistingFile) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  TScratch scratch;
  std::vector<u8> archive = ZipThree(scratch, GetParam().Options);
  const TLocalEntry b = EntryNamed(LocalEntries(archive), "b.txt");
  archive[b.DataOffset + b.CompressedSize / 2] ^= 0x20;
  WriteSfx(scratch / "setup.exe", archive);
  WriteFileText(scratch / "out/b.txt", "the user's own b\n");

  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\na\n");

  EXPECT_EQ(FailedList(run), "\n    b.txt\n") << run.Output;
  EXPECT_EQ(ReadFileText(scratch / "out/b.txt"), "the user's own b\n");
  for (const auto& entry : fs::directory_iterator(scratch / "out")) {
    EXPECT_EQ(entry.path().filename().string().find(".vnsfx32"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Sfx, SfxCorruptMember,
                         testing::Values(TCorruptCase{"Stored", "-0"},
                                         TCorruptCase{"Deflated", "-6"}),
                         CaseName<TCorruptCase>);

// Random damage anywhere after the first header may end members or the
// walk, but the stub always ends normally, and whatever it reports as a
// success is right.
TEST(Sfx, RandomDamageNeverEndsTheProgramAbnormally) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  TScratch scratch;
  const std::vector<u8> archive = ZipThree(scratch, "-9");
  const std::vector<u8> encrypted =
      RunZip(scratch / "src", "-P pw ../e.zip a.txt b.txt c.txt", scratch / "e.zip");
  for (u32 seed = 1; seed <= 48; ++seed) {
    const bool locked = seed % 4 == 0;
    std::vector<u8> damaged = locked ? encrypted : archive;
    const std::vector<u8> noise = RandomBytes(8, seed);
    for (int k = 0; k < 1 + static_cast<int>(seed % 3); ++k) {
      const std::size_t at =
          30 + (noise[2 * k] << 8 | noise[2 * k + 1]) * 7919u % (damaged.size() - 30);
      damaged[at] = static_cast<u8>(damaged[at] ^ (noise[6] | 1));
    }
    const std::string out = scratch / ("out" + std::to_string(seed));
    MakeFolders(out);
    WriteSfx(scratch / "setup.exe", damaged);
    const TSfxRun run = RunIn(out, scratch / "setup.exe", locked ? "\npw\npw\npw\n" : "\n");
    ASSERT_TRUE(run.ExitCode == 0 || run.ExitCode == 1) << "seed " << seed << "\n" << run.Output;
    if (run.ExitCode == 0) {
      EXPECT_EQ(ReadFileBytes(out + "/a.txt"), TextBytes(20000, 1)) << "seed " << seed;
      EXPECT_EQ(ReadFileBytes(out + "/b.txt"), TextBytes(70000, 2)) << "seed " << seed;
      EXPECT_EQ(ReadFileBytes(out + "/c.txt"), RandomBytes(9000, 3)) << "seed " << seed;
    }
  }
}

TEST(Sfx, ArchiveCutShortFailsTheCutMember) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  TScratch scratch;
  std::vector<u8> archive = ZipThree(scratch, "-6");
  const TLocalEntry b = EntryNamed(LocalEntries(archive), "b.txt");
  archive.resize(b.DataOffset + b.CompressedSize / 2);
  WriteSfx(scratch / "setup.exe", archive);

  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");

  EXPECT_EQ(run.ExitCode, 1) << run.Output;
  EXPECT_EQ(FailedList(run), "\n    b.txt\n") << run.Output;
  EXPECT_EQ(ReadFileBytes(scratch / "out/a.txt"), TextBytes(20000, 1));
}

// A member that inflates past its stored size is stopped at that size.
TEST(Sfx, MemberLargerThanItsStoredSizeIsStopped) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  TScratch scratch;
  MakeFolders(scratch / "src");
  MakeFolders(scratch / "out");
  WriteFileBytes(scratch / "src/zeros.bin", std::vector<u8>(1 << 20, 0));
  std::vector<u8> archive = RunZip(scratch / "src", "-9 ../a.zip zeros.bin", scratch / "a.zip");
  const TLocalEntry entry = EntryNamed(LocalEntries(archive), "zeros.bin");
  for (int i = 0; i < 4; ++i)
    archive[entry.HeaderOffset + 22 + static_cast<std::size_t>(i)] = i == 0 ? 10 : 0;
  WriteSfx(scratch / "setup.exe", archive);

  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");

  EXPECT_EQ(FailedList(run), "\n    zeros.bin\n") << run.Output;
  EXPECT_LE(fs::file_size(scratch / "out/zeros.bin"), 10u);
}

// ---- data descriptors ----

struct TDescriptorCase {
  const char* Name;
  const char* ZipArguments;  // run in src, writing ../a.zip
  bool Extracted;
};

class SfxDataDescriptors : public testing::TestWithParam<TDescriptorCase> {};

TEST_P(SfxDataDescriptors, ExtractWhenTheSizesAreKnownElseFailSafely) {
  if (!HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  const TDescriptorCase& c = GetParam();
  TScratch scratch;
  ZipThree(scratch, "-0");
  const std::vector<u8> archive = RunZip(scratch / "src", c.ZipArguments, scratch / "d.zip");
  WriteSfx(scratch / "setup.exe", archive);

  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");

  ASSERT_TRUE(run.ExitCode == 0 || run.ExitCode == 1) << run.Output;
  if (c.Extracted) {
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_EQ(ReadFileBytes(scratch / "out/a.txt"), TextBytes(20000, 1));
    EXPECT_EQ(ReadFileBytes(scratch / "out/b.txt"), TextBytes(70000, 2));
    EXPECT_EQ(ReadFileBytes(scratch / "out/c.txt"), RandomBytes(9000, 3));
  } else {
    // The first member defers its sizes: it fails, and nothing after it
    // can be found.
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_EQ(FailedList(run), "\n    a.txt\n") << run.Output;
    EXPECT_EQ(CountOf(run.Output, "Unzipping"), 0) << run.Output;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sfx, SfxDataDescriptors,
    testing::Values(TDescriptorCase{"ForcedDeflated", "-6 -fd ../d.zip a.txt b.txt c.txt", false},
                    TDescriptorCase{"PipeDeflated", "-6 - a.txt b.txt c.txt | cat > ../d.zip",
                                    false},
                    TDescriptorCase{"PipeStored", "-0 - a.txt b.txt c.txt | cat > ../d.zip", true},
                    TDescriptorCase{"EncryptedPipeStored",
                                    "-0 -P x - a.txt b.txt c.txt | cat > ../d.zip", false}),
    CaseName<TDescriptorCase>);

// ---- names ----

struct THostileName {
  const char* Name;
  std::string Stored;
};

class SfxHostileNames : public testing::TestWithParam<THostileName> {};

TEST_P(SfxHostileNames, AreRefusedAndStayHighlighted) {
  TScratch scratch;
  MakeFolders(scratch / "out/deep/down");
  const std::vector<u8> evil(100, 'E');
  WriteSfx(scratch / "setup.exe",
           TZipBuilder::Archive({Stored(GetParam().Stored, evil), Stored("good.txt", kGood)}));

  const TSfxRun run = RunIn(scratch / "out/deep/down", scratch / "setup.exe", "\n");

  EXPECT_EQ(run.ExitCode, 1) << run.Output;
  EXPECT_NE(run.Output.find(kFailureLine), std::string::npos) << run.Output;
  EXPECT_EQ(FilesBelow(scratch.Path()),
            (std::vector<std::string>{"out/deep/down/good.txt", "setup.exe"}));
}

INSTANTIATE_TEST_SUITE_P(
    Sfx, SfxHostileNames,
    testing::Values(THostileName{"ParentFirst", "../evil.txt"},
                    THostileName{"ParentDeep", "../../../evil.txt"},
                    THostileName{"ParentInside", "a/../../evil.txt"},
                    THostileName{"ParentWithBackslashes", "..\\..\\evil.txt"},
                    THostileName{"ParentAtTheEnd", "a/.."},
                    THostileName{"NulInside", std::string("evil\0/../x", 10)},
                    THostileName{"LongerThanTheNameBuffer", std::string(258, 'n')},
                    THostileName{"LongPathLongerThanTheNameBuffer",
                                 std::string(200, 'd') + "/" + std::string(100, 'f')}),
    CaseName<THostileName>);

TEST(Sfx, NameFillingTheNameBufferIsExtracted) {
  TScratch scratch;
  MakeFolders(scratch / "out");
  const std::string name = std::string(120, 'd') + "/" + std::string(136, 'f');  // 257 bytes
  WriteSfx(scratch / "setup.exe", TZipBuilder::Archive({Stored(name, kGood)}));
  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(ReadFileBytes(scratch / ("out/" + name)), kGood);
}

// A name from the root never reaches past the destination: the user chose
// where the files go, and nothing of theirs elsewhere is overwritten.
TEST(Sfx, NamesFromTheRootAreRestoredBelowTheDestination) {
  TScratch scratch;
  MakeFolders(scratch / "out");
  const std::string absolute = scratch / "elsewhere/abs.txt";
  WriteSfx(scratch / "setup.exe",
           TZipBuilder::Archive({Stored(absolute, kGood), Stored("//host/share/x.txt", kGood),
                                 Stored("\\dos\\y.txt", kGood)}));
  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_FALSE(fs::exists(absolute));
  EXPECT_EQ(ReadFileBytes(scratch / ("out/" + absolute.substr(1))), kGood);
  EXPECT_EQ(ReadFileBytes(scratch / "out/host/share/x.txt"), kGood);
  EXPECT_EQ(ReadFileBytes(scratch / "out/dos/y.txt"), kGood);
}

TEST(Sfx, BackslashesSeparateFolders) {
  TScratch scratch;
  MakeFolders(scratch / "out");
  WriteSfx(scratch / "setup.exe", TZipBuilder::Archive({Stored("docs\\sub\\x.txt", kGood)}));
  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(ReadFileBytes(scratch / "out/docs/sub/x.txt"), kGood);
}

struct TLinkCase {
  const char* Name;
  bool Dangling;
  const char* Answer;
};

class SfxLinkAtTarget : public testing::TestWithParam<TLinkCase> {};

TEST_P(SfxLinkAtTarget, IsReplacedNeverWrittenThrough) {
  const TLinkCase& c = GetParam();
  TScratch scratch;
  MakeFolders(scratch / "out");
  if (!c.Dangling) WriteFileText(scratch / "victim.txt", "victim\n");
  ASSERT_EQ(::symlink("../victim.txt", (scratch / "out/link.txt").c_str()), 0);
  WriteSfx(scratch / "setup.exe", TZipBuilder::Archive({Stored("link.txt", kGood)}));

  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", std::string("\n") + c.Answer);

  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(CountOf(run.Output, "link.txt already exists!"), 1) << run.Output;
  if (c.Dangling) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(scratch / "victim.txt")));
  } else {
    EXPECT_EQ(ReadFileText(scratch / "victim.txt"), "victim\n");
  }
  const bool overwritten = std::string(c.Answer) == "o\n";
  EXPECT_EQ(fs::is_symlink(scratch / "out/link.txt"), !overwritten);
  if (overwritten) {
    EXPECT_EQ(ReadFileBytes(scratch / "out/link.txt"), kGood);
  }
}

INSTANTIATE_TEST_SUITE_P(Sfx, SfxLinkAtTarget,
                         testing::Values(TLinkCase{"OverwriteLinkToFile", false, "o\n"},
                                         TLinkCase{"OverwriteDanglingLink", true, "o\n"},
                                         TLinkCase{"SkipLeavesTheLink", false, "s\n"}),
                         CaseName<TLinkCase>);

TEST(Sfx, EmptyNameEndsTheProgram) {
  TScratch scratch;
  MakeFolders(scratch / "out");
  WriteSfx(scratch / "setup.exe", TZipBuilder::Archive({Stored("", kGood)}));
  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Output, "setup.exe: Error retreiving filename.\n");
}

TEST(Sfx, UnknownMethodEndsTheProgramWithoutLeavingAFile) {
  TScratch scratch;
  MakeFolders(scratch / "out");
  TBuildMember odd = Stored("odd.bin", kGood);
  odd.Method = 7;
  WriteSfx(scratch / "setup.exe",
           TZipBuilder::Archive({Stored("first.txt", kGood), odd, Stored("last.txt", kGood)}));
  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Output.find("setup.exe: Unsupported compression method.\n"), std::string::npos);
  EXPECT_EQ(FilesBelow(scratch / "out"), (std::vector<std::string>{"first.txt"}));
}

struct TUndecodableCase {
  const char* Name;
  u16 Method;
  u16 Flags;
  const char* Message;
};

class SfxUndecodable : public testing::TestWithParam<TUndecodableCase> {};

// Methods and AES, which need libraries the stub does not carry, fail their
// member with the reason; the members around it come out, and no password
// is asked for an AES member.
TEST_P(SfxUndecodable, IsNamedAndTheOthersAreExtracted) {
  const TUndecodableCase& c = GetParam();
  TScratch scratch;
  MakeFolders(scratch / "out");
  TBuildMember odd = Stored("odd.bin", kGood);
  odd.Method = c.Method;
  odd.Flags = c.Flags;
  WriteSfx(scratch / "setup.exe",
           TZipBuilder::Archive({Stored("first.txt", kGood), odd, Stored("last.txt", kGood)}));
  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");
  EXPECT_EQ(run.ExitCode, 1) << run.Output;
  EXPECT_NE(run.Output.find(std::string("setup.exe: odd.bin: ") + c.Message +
                            " is not supported by this self-extractor\n"),
            std::string::npos)
      << run.Output;
  EXPECT_EQ(run.Output.find("assword"), std::string::npos) << run.Output;
  EXPECT_EQ(FailedList(run), "\n    odd.bin\n") << run.Output;
  EXPECT_EQ(FilesBelow(scratch / "out"), (std::vector<std::string>{"first.txt", "last.txt"}));
  EXPECT_EQ(ReadFileBytes(scratch / "out/last.txt"), kGood);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, SfxUndecodable,
    testing::Values(TUndecodableCase{"Deflate64", 9, 0, "compression method Deflate64"},
                    TUndecodableCase{"BZip2", 12, 0, "compression method BZip2"},
                    TUndecodableCase{"Lzma", 14, 2, "compression method LZMA"},
                    TUndecodableCase{"Zstandard", 93, 0, "compression method Zstandard"},
                    TUndecodableCase{"Xz", 95, 0, "compression method XZ"},
                    TUndecodableCase{"Ppmd", 98, 0, "compression method PPMd"},
                    TUndecodableCase{"Aes", 99, 1, "AES encryption"}),
    CaseName<TUndecodableCase>);

TEST(Sfx, NothingToListReportsTheHeader) {
  TScratch scratch;
  MakeFolders(scratch / "out");
  WriteSfx(scratch / "setup.exe", std::vector<u8>(100, 'x'));
  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Output.find("setup.exe: Cannot read archive header."), std::string::npos);
}

TEST(Sfx, NamesInCodePage437AreDecodedAndUtf8NamesKept) {
  TScratch scratch;
  MakeFolders(scratch / "out");
  const std::string oem = "caf\x82 \x8e\xe1\xb2.txt";
  TBuildMember flagged = Stored(
      "stra\xc3\x9f"
      "e.txt",
      kGood);
  flagged.Flags = 0x800;
  WriteSfx(scratch / "setup.exe",
           TZipBuilder::Archive({Stored(oem, kGood), flagged, Stored("\xe2\x82\xac.txt", kGood)}));
  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  std::vector<std::string> expected = {OemToUtf8(oem),
                                       "stra\xc3\x9f"
                                       "e.txt",
                                       "\xe2\x82\xac.txt"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesBelow(scratch / "out"), expected);
}

TEST(Sfx, EqualNamesWithoutFoldersMatchTheirItemsInTurn) {
  // Both members show as "same.txt" only without path information, which
  // a script cannot choose; with it, each has its own item and place.
  TScratch scratch;
  MakeFolders(scratch / "out");
  const std::vector<u8> other = TextBytes(500, 99);
  WriteSfx(scratch / "setup.exe",
           TZipBuilder::Archive({Stored("x/same.txt", kGood), Stored("y/SAME.txt", other)}));
  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(ReadFileBytes(scratch / "out/x/same.txt"), kGood);
  EXPECT_EQ(ReadFileBytes(scratch / "out/y/SAME.txt"), other);
}

TEST(Sfx, FolderThatCannotBeMadeFailsOnlyTheMembersInIt) {
  TScratch scratch;
  MakeFolders(scratch / "out");
  WriteFileText(scratch / "out/taken", "a file where a folder is wanted\n");
  WriteSfx(scratch / "setup.exe",
           TZipBuilder::Archive({Stored("first.txt", kGood), Stored("taken/inner.txt", kGood),
                                 Stored("after.txt", kGood)}));
  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Output.find("setup.exe: Cannot create folder " + scratch / "out/taken/" +
                            ": Not a directory\n"),
            std::string::npos)
      << run.Output;
  EXPECT_EQ(FailedList(run), "\n    taken/inner.txt\n") << run.Output;
  EXPECT_EQ(ReadFileBytes(scratch / "out/first.txt"), kGood);
  EXPECT_EQ(ReadFileBytes(scratch / "out/after.txt"), kGood);
}

}  // namespace
}  // namespace vz::test
