// Member names between vzip and the other tools on Linux: names written by
// Info-ZIP, Python, 7-Zip and bsdtar read back identically in vzip, and those
// vzip writes in theirs; names in Windows code pages (437 by default, others
// with -O); names that are no UTF-8, kept byte for byte; and names that a
// terminal must not be handed raw.
#include <filesystem>

#include "engine/codecs/Crc32.h"
#include "tests/cli/CliHarness.h"
#include "tests/support/TestFiles.h"
#include "tests/support/ZipBuilder.h"

namespace fs = std::filesystem;

namespace vz::test {
namespace {

const std::string kPrivet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет
const std::string kUber =
    "\xC3\xBC"
    "ber";                                              // über
const std::string kNihon = "\xE6\x97\xA5\xE6\x9C\xAC";  // 日本
const std::string kSmile = "\xF0\x9F\x98\x80";          // 😀

// Files whose names exercise every rule that the Linux peers agree on. (A
// backslash in a name without any "/" is a separator to bsdtar, whoever
// made the archive; see BackslashIsAnOrdinaryCharacter.)
void MakeNamedTree(const std::string& root) {
  const std::string masse =
      "Ma\xC3\x9F"
      "e/";  // Maße
  for (const std::string& name :
       std::vector<std::string>{kPrivet + ".txt", kUber + ".txt", kNihon + "/" + kNihon + ".txt",
                                "smile " + kSmile + ".txt", masse + "caf\xC3\xA9.txt",
                                masse + "back\\slash.txt", "plain.txt"}) {
    const std::string path = root + "/" + name;
    MakeFolders(fs::path(path).parent_path().string());
    WriteFileText(path, "contents of " + name);
  }
}

struct TPeer {
  const char* Name;
  const char* Program;
  std::string Command;  // makes ../a.zip from the current folder, or extracts it into ../out
};

// ---- names the peers write, read by vzip ----

class PeerNames : public testing::TestWithParam<TPeer> {};

TEST_P(PeerNames, ReadBackIdenticallyInVzip) {
  if (!HaveProgram(GetParam().Program)) GTEST_SKIP() << GetParam().Program << " is not installed";
  TCliScratch scratch;
  MakeNamedTree(scratch / "src");
  const auto made = Shell(scratch / "src", GetParam().Command);
  ASSERT_EQ(made.ExitCode, 0) << made.Out;
  const TVzipRun x = Vzip(scratch.Path(), "x a.zip -d out");
  ASSERT_EQ(x.ExitCode, 0) << x.Err;
  EXPECT_EQ(TreeContents(scratch / "out"), TreeContents(scratch / "src"));
  const TVzipRun l = Vzip(scratch.Path(), "l a.zip");
  EXPECT_NE(l.Out.find(kNihon + "/" + kNihon + ".txt\n"), std::string::npos) << l.Out;
  EXPECT_NE(l.Out.find("/back\\slash.txt\n"), std::string::npos) << l.Out;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, PeerNames,
    testing::Values(TPeer{"InfoZip", "/usr/bin/zip", "/usr/bin/zip -qr ../a.zip ."},
                    TPeer{"Python", "python3",
                          "python3 -c \"import os, zipfile\n"
                          "with zipfile.ZipFile('../a.zip', 'w', zipfile.ZIP_DEFLATED) as z:\n"
                          "  for d, _, fs in os.walk('.'):\n"
                          "    for f in fs: z.write(os.path.join(d, f))\""},
                    TPeer{"SevenZip", "7z", "7z a -tzip ../a.zip . > /dev/null"},
                    TPeer{"Bsdtar", "bsdtar", "bsdtar --format zip -cf ../a.zip *"}),
    CaseName<TPeer>);

// ---- names vzip writes, read by the peers ----

class VzipNames : public testing::TestWithParam<TPeer> {};

TEST_P(VzipNames, ReadBackIdenticallyInThePeer) {
  if (!HaveProgram(GetParam().Program)) GTEST_SKIP() << GetParam().Program << " is not installed";
  TCliScratch scratch;
  MakeNamedTree(scratch / "src");
  ASSERT_EQ(Vzip(scratch / "src", "a -q ../a.zip . -r").ExitCode, 0);
  MakeFolders(scratch / "out");
  const auto extracted = Shell(scratch / "out", GetParam().Command);
  ASSERT_EQ(extracted.ExitCode, 0) << extracted.Out;
  EXPECT_EQ(TreeContents(scratch / "out"), TreeContents(scratch / "src"));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, VzipNames,
    testing::Values(TPeer{"InfoZip", "/usr/bin/unzip", "/usr/bin/unzip -q ../a.zip"},
                    TPeer{"SevenZip", "7z", "7z x -y ../a.zip > /dev/null"},
                    TPeer{"Bsdtar", "bsdtar", "bsdtar -xf ../a.zip"},
                    TPeer{
                        "Python", "python3",
                        "python3 -c \"import zipfile; zipfile.ZipFile('../a.zip').extractall()\""}),
    CaseName<TPeer>);

TEST(CliNames, BackslashAndColonAreOrdinaryCharacters) {
  TCliScratch scratch;
  MakeFolders(scratch / "src");
  WriteFileText(scratch / "src/back\\slash.txt", "one file");
  WriteFileText(scratch / "src/a:b.txt", "not on drive a:");
  ASSERT_EQ(Vzip(scratch / "src", "a -q ../a.zip 'back\\slash.txt' a:b.txt").ExitCode, 0);
  EXPECT_EQ(ListedNames(Vzip(scratch.Path(), "l a.zip").Out),
            (std::vector<std::string>{"back\\slash.txt", "a:b.txt"}));
  ASSERT_EQ(Vzip(scratch.Path(), "x -q a.zip -d out").ExitCode, 0);
  EXPECT_EQ(TreeContents(scratch / "out"), TreeContents(scratch / "src"));
  if (HaveProgram("/usr/bin/unzip")) {
    ASSERT_EQ(Shell(scratch.Path(), "/usr/bin/unzip -q a.zip -d un").ExitCode, 0);
    EXPECT_EQ(TreeContents(scratch / "un"), TreeContents(scratch / "src"));
  }
}

TEST(CliNames, ANameThatIsNoUtf8IsStoredAsItsBytesAndComesBackSo) {
  if (!HaveProgram("python3")) GTEST_SKIP() << "python3 is not installed";
  TCliScratch scratch;
  const std::string latin1 = "caf\xE9.txt";
  MakeFolders(scratch / "src");
  WriteFileText(scratch / ("src/" + latin1), "latin-1");
  ASSERT_EQ(Vzip(scratch / "src", "a -q ../a.zip " + ShellQuote(latin1)).ExitCode, 0);
  // Python opens it (it reads such a name as code page 437) and finds no flag bit 11.
  const auto python =
      Shell(scratch.Path(),
            "python3 -c \"import zipfile; i = zipfile.ZipFile('a.zip').infolist()[0]; "
            "print(i.flag_bits & 0x800, i.create_system, zipfile.ZipFile('a.zip')"
            ".read(i).decode())\"");
  EXPECT_EQ(python.ExitCode, 0) << python.Out;
  EXPECT_EQ(python.Out, "0 3 latin-1\n");
  ASSERT_EQ(Vzip(scratch.Path(), "x -q a.zip -d out").ExitCode, 0);
  EXPECT_EQ(ReadFileText(scratch / ("out/" + latin1)), "latin-1");
  if (HaveProgram("/usr/bin/unzip")) {
    ASSERT_EQ(Shell(scratch.Path(), "/usr/bin/unzip -q a.zip -d un").ExitCode, 0);
    EXPECT_EQ(ReadFileText(scratch / ("un/" + latin1)), "latin-1");
  }
  // Shown with a replacement character.
  EXPECT_NE(Vzip(scratch.Path(), "l a.zip").Out.find("caf\xEF\xBF\xBD.txt\n"), std::string::npos);
}

// ---- names in Windows code pages ----

TBuildMember DosMember(const std::string& name, const std::string& text) {
  TBuildMember m;
  m.Name = name;
  m.Data.assign(text.begin(), text.end());
  m.VersionMadeBy = 0x0014;  // MS-DOS, as Windows tools mark their members
  return m;
}

std::vector<u8> UnicodePathField(const std::string& stored, const std::string& name) {
  TZipBuilder b;
  b.Le16(0x7075);
  b.Le16(static_cast<u16>(5 + name.size()));
  b.Bytes.push_back(1);
  b.Le32(Crc32Of(std::span(reinterpret_cast<const u8*>(stored.data()), stored.size())));
  b.AppendText(name);
  return b.Bytes;
}

struct TCodePageCase {
  const char* Name;
  std::string Option;  // -O ...
  std::string Stored;
  std::string Extracted;  // below the destination
};

class CodePageNames : public testing::TestWithParam<TCodePageCase> {};

TEST_P(CodePageNames, AreDecodedBeforeTheirFoldersAreTaken) {
  const TCodePageCase& c = GetParam();
  TCliScratch scratch;
  WriteFileBytes(scratch / "a.zip", TZipBuilder::Archive({DosMember(c.Stored, "data")}));
  const TVzipRun x = Vzip(scratch.Path(), "x a.zip -d out " + c.Option);
  ASSERT_EQ(x.ExitCode, 0) << x.Err;
  EXPECT_EQ(ReadFileText(scratch / ("out/" + c.Extracted)), "data");
  EXPECT_NE(Vzip(scratch.Path(), "l a.zip " + c.Option).Out.find("  " + c.Extracted + "\n"),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CodePageNames,
    testing::Values(TCodePageCase{"WindowsCp437", "",
                                  "Ma\xE1"
                                  "e\\caf\x82.txt",
                                  "Ma\xC3\x9F"
                                  "e/caf\xC3\xA9.txt"},
                    TCodePageCase{"RussianWindows", "-O CP866", "\x8F\xE0\xA8\xA2\xA5\xE2.txt",
                                  kPrivet + ".txt"},
                    // 0x83 0x5C is one character, ソ: its trail byte is no folder separator.
                    TCodePageCase{"JapaneseWindows", "-O CP932", "dir\\\x83\\.txt",
                                  "dir/\xE3\x82\xBD.txt"}),
    CaseName<TCodePageCase>);

TEST(CliNames, UnicodePathFieldGivesTheName) {
  TCliScratch scratch;
  TBuildMember m = DosMember("\x8F.txt", "unicode");
  m.CentralExtra = UnicodePathField(m.Name, kPrivet + ".txt");
  m.LocalExtra = m.CentralExtra;
  WriteFileBytes(scratch / "a.zip", TZipBuilder::Archive({m}));
  ASSERT_EQ(Vzip(scratch.Path(), "x -q a.zip -d out").ExitCode, 0);
  EXPECT_EQ(ReadFileText(scratch / ("out/" + kPrivet + ".txt")), "unicode");
}

// ---- names on a terminal ----

TEST(CliNames, ControlCharactersNeverReachTheTerminalRaw) {
  TCliScratch scratch;
  // UTF-8 (flag bit 11), so that 0xC2 0x9B is the C1 control CSI; a bad
  // CRC too, so that the name is on a problem line of the test.
  TBuildMember m = DosMember(
      "evil\x1B]0;owned\x07\x1B[2J\xC2\x9B"
      "31m\r\n.txt",
      "x");
  m.Flags = 0x0800;
  m.Crc = 0;
  WriteFileBytes(scratch / "a.zip", TZipBuilder::Archive({m}));
  const std::string shown = "evil\\x1B]0;owned\\x07\\x1B[2J\\u009B31m\\r\\n.txt";
  const TVzipRun l = Vzip(scratch.Path(), "l a.zip");
  EXPECT_NE(l.Out.find("  " + shown + "\n"), std::string::npos) << l.Out;
  const TVzipRun t = Vzip(scratch.Path(), "t a.zip");
  EXPECT_EQ(t.ExitCode, 1);
  EXPECT_NE(t.Err.find("vzip: " + shown + ": bad CRC"), std::string::npos) << t.Err;
  const TVzipRun x = Vzip(scratch.Path(), "x a.zip -d out");
  // Refused as unsafe, and named escaped on the problem line.
  EXPECT_EQ(x.ExitCode, 1);
  EXPECT_NE(x.Err.find("vzip: " + shown + ": "), std::string::npos) << x.Err;
  for (const TVzipRun* run : {&l, &t, &x}) {
    EXPECT_EQ(run->Out.find('\x1B'), std::string::npos) << run->Out;
    EXPECT_EQ(run->Err.find('\x1B'), std::string::npos) << run->Err;
    EXPECT_EQ(run->Err.find("\xC2\x9B"), std::string::npos) << run->Err;
  }
  if (HaveProgram("script")) {
    // The progress line shows the member's name too; the bar's own "\x1B[K"
    // is the only escape sequence allowed.
    const TVzipRun terminal = VzipOnTerminal(scratch.Path(), "t a.zip", "");
    EXPECT_EQ(terminal.Out.find("\x1B]0;"), std::string::npos) << terminal.Out;
    EXPECT_EQ(terminal.Out.find("\x1B[2J"), std::string::npos) << terminal.Out;
  }
}

}  // namespace
}  // namespace vz::test
