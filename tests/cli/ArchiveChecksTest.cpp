// Archives from other tools and damaged ones, as vzip l, t and x see them:
// the empty archive, methods and encryption vzip cannot decode, tests that
// fail and the exit status they give, central records that disagree with
// their local headers, archives cut into slices, and members that grew.
#include <cmath>
#include <filesystem>

#include "engine/codecs/ZipCipher.h"
#include "engine/format/ByteOrder.h"
#include "tests/cli/CliHarness.h"
#include "tests/support/TestFiles.h"
#include "tests/support/ZipBuilder.h"

namespace fs = std::filesystem;

namespace vz::test {
namespace {

class ArchiveChecks : public testing::Test {
 protected:
  void SetUp() override { MakeSampleTree(Scratch / "src"); }

  // One file of the sample tree as the only member of `archive`.
  void MakeSingle(const std::string& archive, const std::string& options = "") {
    const auto made = Vzip(Scratch / "src", "a -q " + options + " ../" + archive + " readme.txt");
    ASSERT_EQ(made.ExitCode, 0) << made.Err;
  }
  // The offset of the only central record of a single-member archive.
  std::size_t CentralOf(const std::vector<u8>& bytes) const {
    return bytes.size() - 22 - 46 - std::string("readme.txt").size();
  }

  TCliScratch Scratch;
};

// ---- the empty archive ----

TEST_F(ArchiveChecks, TheEmptyArchiveIsAnArchive) {
  MakeSingle("e.zip");
  ASSERT_EQ(Vzip(Scratch.Path(), "d -q e.zip readme.txt").ExitCode, 0);
  EXPECT_EQ(fs::file_size(Scratch / "e.zip"), 22u);
  const TVzipRun l = Vzip(Scratch.Path(), "l e.zip");
  EXPECT_EQ(l.ExitCode, 0) << l.Err;
  EXPECT_NE(l.Out.find(" 0 members\n"), std::string::npos) << l.Out;
  const TVzipRun t = Vzip(Scratch.Path(), "t e.zip");
  EXPECT_EQ(t.ExitCode, 0) << t.Err;
  EXPECT_EQ(t.Out, "No errors: 0 members of e.zip tested\n");
  EXPECT_EQ(Vzip(Scratch.Path(), "x e.zip -d out").ExitCode, 0);
  const TVzipRun a = Vzip(Scratch / "src", "a -q ../e.zip readme.txt");
  EXPECT_EQ(a.ExitCode, 0) << a.Err;
  EXPECT_EQ(ListedNames(Vzip(Scratch.Path(), "l e.zip").Out),
            std::vector<std::string>{"readme.txt"});
  // Still no archive: neither an end record nor a member in it.
  WriteFileBytes(Scratch / "junk.zip", RandomBytes(5000, 9));
  const TVzipRun junk = Vzip(Scratch.Path(), "l junk.zip");
  EXPECT_EQ(junk.ExitCode, 2);
  EXPECT_NE(junk.Err.find("not a ZIP archive"), std::string::npos) << junk.Err;
}

// ---- methods and encryption of other archivers ----

struct TMethodCase {
  const char* Name;
  const char* Program;
  std::string Command;  // makes ../m.zip from src/readme.txt
  std::string Shown;    // method and encryption columns in the listing
  std::string Problem;  // empty: the member decodes
};

class OtherArchivers : public ArchiveChecks, public testing::WithParamInterface<TMethodCase> {};

TEST_P(OtherArchivers, ListTestAndExtractOrNameWhatCannotBeDecoded) {
  const TMethodCase& c = GetParam();
  if (!HaveProgram(c.Program)) GTEST_SKIP() << c.Program << " is not installed";
  const auto made = Shell(Scratch / "src", c.Command);
  ASSERT_EQ(made.ExitCode, 0) << made.Out;
  const TVzipRun l = Vzip(Scratch.Path(), "l m.zip");
  EXPECT_NE(l.Out.find(" " + c.Shown + " "), std::string::npos) << l.Out;
  for (const std::string command : {"t", "x -d out"}) {
    const TVzipRun r = Vzip(Scratch.Path(), command + " -p secret m.zip");
    if (c.Problem.empty()) {
      EXPECT_EQ(r.ExitCode, 0) << command << r.Err;
      EXPECT_EQ(r.Err, "") << command;
    } else {
      EXPECT_EQ(r.ExitCode, 1) << command;
      EXPECT_EQ(r.Err, "vzip: readme.txt: " + c.Problem + "\nvzip: 1 problem: 1 unsupported\n")
          << command;
    }
  }
  if (c.Problem.empty()) {
    EXPECT_EQ(ReadFileBytes(Scratch / "out/readme.txt"), ReadFileBytes(Scratch / "src/readme.txt"));
  } else {
    EXPECT_FALSE(FileExists(Scratch / "out/readme.txt"));
  }
}

const std::string kSevenZip = "7z a -tzip ../m.zip readme.txt > /dev/null ";

std::string PythonZip(const std::string& method) {
  return "python3 -c \"import zipfile; zipfile.ZipFile('../m.zip', 'w', zipfile." + method +
         ").write('readme.txt')\"";
}

INSTANTIATE_TEST_SUITE_P(
    Cli, OtherArchivers,
    testing::Values(
        TMethodCase{"Deflate64", "7z", kSevenZip + "-mm=Deflate64", "Deflate64            ", ""},
        TMethodCase{"BZip2", "7z", kSevenZip + "-mm=BZip2", "BZip2                ", ""},
        TMethodCase{"SevenZipLzma", "7z", kSevenZip + "-mm=LZMA", "LZMA                 ", ""},
        TMethodCase{"PythonLzma", "python3", PythonZip("ZIP_LZMA"), "LZMA                 ", ""},
        TMethodCase{"PythonBZip2", "python3", PythonZip("ZIP_BZIP2"), "BZip2                ", ""},
        TMethodCase{"InfoZipBZip2", "/usr/bin/zip", "/usr/bin/zip -q -Z bzip2 ../m.zip readme.txt",
                    "BZip2                ", ""},
        TMethodCase{"Ppmd", "7z", kSevenZip + "-mm=PPMd", "PPMd                 ",
                    "skipped: compression method PPMd is not supported"},
        TMethodCase{"Aes256", "7z", kSevenZip + "-psecret -mem=AES256", "Deflated  AES-256    ",
                    ""},
        TMethodCase{"Aes128Stored", "7z", kSevenZip + "-mx=0 -psecret -mem=AES128",
                    "Stored    AES-128    ", ""},
        TMethodCase{"Aes256Ppmd", "7z", kSevenZip + "-mm=PPMd -psecret -mem=AES256",
                    "PPMd      AES-256    ", "skipped: compression method PPMd is not supported"},
        TMethodCase{"Traditional", "7z", kSevenZip + "-psecret -mem=ZipCrypto",
                    "Deflated  traditional", ""}),
    CaseName<TMethodCase>);

TEST_F(ArchiveChecks, AesMemberWithAWrongPasswordIsSkipped) {
  if (!HaveProgram("7z")) GTEST_SKIP() << "7z is not installed";
  ASSERT_EQ(Shell(Scratch / "src", kSevenZip + "-pright -mem=AES256").ExitCode, 0);
  const TVzipRun t = Vzip(Scratch.Path(), "t -p wrong m.zip");
  EXPECT_EQ(t.ExitCode, 1);
  EXPECT_EQ(t.Err,
            "vzip: readme.txt: skipped: wrong password\nvzip: 1 problem: 1 wrong password\n");
}

// ---- a failed test is a failed run ----

// A password other than `right` that passes the check byte of the member
// whose encryption header starts at `header`.
std::string PasswordPassingTheCheck(const std::vector<u8>& archive, std::size_t header, u8 check) {
  for (int n = 0;; ++n) {
    const std::string candidate = "wrong" + std::to_string(n);
    TZipCipher cipher;
    cipher.InitKeys(candidate);
    std::vector<u8> plain(archive.begin() + static_cast<long>(header),
                          archive.begin() + static_cast<long>(header + 12));
    cipher.Decrypt(plain);
    if (plain[11] == check) return candidate;
  }
}

TEST_F(ArchiveChecks, EncryptedMemberThatFailsItsTestFailsTheRun) {
  MakeSingle("s.zip", "-p right");
  std::vector<u8> bytes = ReadFileBytes(Scratch / "s.zip");
  const std::size_t header = 30 + GetLE16(bytes, 26) + GetLE16(bytes, 28);
  const auto check = static_cast<u8>(GetLE32(bytes, 14) >> 24);
  const std::string wrong = PasswordPassingTheCheck(bytes, header, check);
  const TVzipRun passing = Vzip(Scratch.Path(), "t -p " + wrong + " s.zip");
  EXPECT_EQ(passing.ExitCode, 1);
  EXPECT_EQ(passing.Out, "1 of 1 member failed the test\n");
  EXPECT_NE(passing.Err.find("readme.txt: skipped: wrong password"), std::string::npos);

  bytes[header + 40] ^= 0x55;  // damaged data behind a good password
  WriteFileBytes(Scratch / "s.zip", bytes);
  const TVzipRun damaged = Vzip(Scratch.Path(), "t -p right s.zip readme.txt '*.txt'");
  EXPECT_EQ(damaged.ExitCode, 1);
  EXPECT_EQ(damaged.Out, "1 of 1 member failed the test\n");
  EXPECT_EQ(Occurrences(damaged.Err, "readme.txt:"), 1) << damaged.Err;
}

// ---- central records that disagree with their local headers ----

struct TFlipCase {
  const char* Name;
  std::size_t Offset;  // in the central record
  u8 Bits;             // flipped there
  std::string Fields;
};

class CentralRecordFlips : public ArchiveChecks, public testing::WithParamInterface<TFlipCase> {};

TEST_P(CentralRecordFlips, FailTheTestNamingWhatDisagrees) {
  MakeSingle("f.zip", "-9");
  std::vector<u8> bytes = ReadFileBytes(Scratch / "f.zip");
  bytes[CentralOf(bytes) + GetParam().Offset] ^= GetParam().Bits;
  WriteFileBytes(Scratch / "f.zip", bytes);
  const TVzipRun t = Vzip(Scratch.Path(), "t f.zip");
  EXPECT_EQ(t.ExitCode, 1);
  EXPECT_EQ(t.Out, "1 of 1 member failed the test\n");
  EXPECT_NE(t.Err.find(": damaged: its local header disagrees with the central directory (" +
                       GetParam().Fields + ")\n"),
            std::string::npos)
      << t.Err;
  EXPECT_NE(t.Err.find("1 problem: 1 damaged"), std::string::npos) << t.Err;
}

INSTANTIATE_TEST_SUITE_P(Cli, CentralRecordFlips,
                         testing::Values(TFlipCase{"Method", 10, 0x08, "method"},  // to stored
                                         TFlipCase{"Flags", 8, 0x08, "flags"},     // a descriptor
                                         TFlipCase{"Crc", 16, 0x02, "CRC"},
                                         TFlipCase{"CompressedSize", 20, 0x02, "compressed size"},
                                         TFlipCase{"Size", 24, 0x02, "size"},
                                         TFlipCase{"Name", 46, 0x02, "name"}),
                         CaseName<TFlipCase>);

TEST_F(ArchiveChecks, ExtractionGoesByTheCentralRecordAndChecksTheSize) {
  MakeSingle("f.zip", "-9");
  std::vector<u8> bytes = ReadFileBytes(Scratch / "f.zip");
  const std::size_t central = CentralOf(bytes);
  bytes[central + 46] = 'R';  // the central record says Readme.txt
  WriteFileBytes(Scratch / "f.zip", bytes);
  const TVzipRun named = Vzip(Scratch.Path(), "x -q f.zip -d out");
  EXPECT_EQ(named.ExitCode, 0) << named.Err;
  EXPECT_TRUE(FileExists(Scratch / "out/Readme.txt"));
  // A declared size one byte more than the data: its CRC is still right.
  PutLE32(bytes, central + 24, GetLE32(bytes, central + 24) + 1);
  WriteFileBytes(Scratch / "f.zip", bytes);
  const TVzipRun sized = Vzip(Scratch.Path(), "x -q f.zip -d sized");
  EXPECT_EQ(sized.ExitCode, 1);
  EXPECT_NE(sized.Err.find("Readme.txt: damaged: its data has another size than the archive "
                           "declares (40000 bytes decoded, 40001 declared)"),
            std::string::npos)
      << sized.Err;
  EXPECT_FALSE(FileExists(Scratch / "sized/Readme.txt"));
}

// ---- archives cut into slices ----

TEST_F(ArchiveChecks, SevenZipVolumesAreReadByNamingAnyOfThem) {
  if (!HaveProgram("7z")) GTEST_SKIP() << "7z is not installed";
  ASSERT_EQ(Shell(Scratch.Path(), "7z a -tzip -v40k 7zvol.zip src > /dev/null").ExitCode, 0);
  ASSERT_TRUE(FileExists(Scratch / "7zvol.zip.003"));
  const TVzipRun l = Vzip(Scratch.Path(), "l 7zvol.zip.001");
  EXPECT_EQ(l.ExitCode, 0) << l.Err;
  EXPECT_NE(l.Out.find("Archive: 7zvol.zip.001  ("), std::string::npos) << l.Out;
  EXPECT_EQ(Vzip(Scratch.Path(), "t 7zvol.zip.002").ExitCode, 0);
  const TVzipRun x = Vzip(Scratch.Path(), "x 7zvol.zip.001 -d out");
  ASSERT_EQ(x.ExitCode, 0) << x.Err;
  EXPECT_EQ(TreeContents(Scratch / "out/src"), TreeContents(Scratch / "src"));
  // A set of slices is not rewritten as a file of one of their names.
  const auto before = ReadFileBytes(Scratch / "7zvol.zip.003");
  const TVzipRun a = Vzip(Scratch / "src", "a ../7zvol.zip.003 readme.txt");
  EXPECT_EQ(a.ExitCode, 2);
  EXPECT_EQ(ReadFileBytes(Scratch / "7zvol.zip.003"), before);
}

TEST_F(ArchiveChecks, SlicesNamedSplitAreFoundByTheirFinalNumber) {
  ASSERT_EQ(Vzip(Scratch / "src", "a -q ../whole.zip . -r").ExitCode, 0);
  const auto whole = ReadFileBytes(Scratch / "whole.zip");
  for (std::size_t at = 0, n = 1; at < whole.size(); at += 30000, ++n) {
    const auto end = whole.begin() + static_cast<long>(std::min(whole.size(), at + 30000));
    WriteFileBytes(Scratch / ("b.split.00" + std::to_string(n)),
                   std::vector<u8>(whole.begin() + static_cast<long>(at), end));
  }
  ASSERT_TRUE(FileExists(Scratch / "b.split.003"));
  const TVzipRun x = Vzip(Scratch.Path(), "x b.split.002 -d out");
  ASSERT_EQ(x.ExitCode, 0) << x.Err;
  EXPECT_EQ(TreeContents(Scratch / "out"), TreeContents(Scratch / "src"));
}

// ---- the listing ----

TEST_F(ArchiveChecks, RatioShowsSpaceSavedAndGrowth) {
  WriteFileBytes(Scratch / "src/hundred.bin", RandomBytes(100, 7));
  // Stored and enciphered: 12 bytes of header more than the file.
  ASSERT_EQ(Vzip(Scratch / "src", "a -q -0 -p pw ../g.zip hundred.bin").ExitCode, 0);
  ASSERT_EQ(Vzip(Scratch / "src", "a -q ../g.zip empty.dat docs/deep/notes.txt").ExitCode, 0);
  const TVzipRun l = Vzip(Scratch.Path(), "l g.zip");
  EXPECT_NE(l.Out.find("        100        112  -12% Stored    traditional "), std::string::npos)
      << l.Out;
  EXPECT_NE(l.Out.find("          0          0    0% Stored                "), std::string::npos)
      << l.Out;
  // Text shrinks: the share saved, rounded.
  const auto at = l.Out.find("      65536 ");
  ASSERT_NE(at, std::string::npos) << l.Out;
  const long compressed = std::stol(l.Out.substr(at + 12, 10));
  char ratio[32];
  std::snprintf(ratio, sizeof ratio, " %4ld%% Deflated ",
                std::lround(100.0 * static_cast<double>(65536 - compressed) / 65536.0));
  EXPECT_EQ(l.Out.substr(at + 22, std::string(ratio).size()), ratio) << l.Out;
}

}  // namespace
}  // namespace vz::test
