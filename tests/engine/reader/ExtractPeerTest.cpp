// Archives written by other programs extract byte for byte: Info-ZIP zip at
// every level, enciphered, with data descriptors and from a pipe; 7-Zip; and
// the legacy archives with shrunk, reduced and imploded members. Dates are
// compared with the source files in a time zone with daylight saving time.
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>

#include "engine/format/ByteOrder.h"
#include "tests/engine/reader/ExtractFixture.h"
#include "tests/support/CheckBytes.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/Sha256.h"

namespace vz {
namespace {

using Lines = std::vector<std::string>;

struct TSourceFile {
  const char* Name;
  std::size_t Size;
  bool Text;
  const char* Time;  // local time, as touch -d takes it
};

// Sizes around the 16000-byte blocks and the 32 KiB window; odd seconds
// (stored rounded up), winter and summer time, and a time whose rounding
// crosses the spring-forward gap.
const TSourceFile kSources[] = {
    {"empty", 0, true, "2020-01-15 08:00:00"},
    {"one", 1, true, "2021-07-04 13:45:07"},
    {"b16000.bin", 16000, false, "2022-02-28 23:59:58"},
    {"t16001.txt", 16001, true, "2023-08-31 12:00:01"},
    {"b32768.bin", 32768, false, "2018-12-31 23:59:59"},
    {"t65536.txt", 65536, true, "2024-02-29 06:30:30"},
    {"big.txt", 300000, true, "2019-03-10 01:59:59"},
    {"sub/deeper/r100k.bin", 100000, false, "2017-06-01 10:10:10"},
    {"sub/ro.txt", 500, true, "2016-10-10 10:10:11"},
};

class ExtractPeerTest : public test::TExtractFixture {
 protected:
  void SetUp() override {
    FZone.emplace("TZ", "EST5EDT,M3.2.0,M11.1.0");
    tzset();
    Src = Path("src/");
    u32 seed = 1;
    for (const auto& f : kSources) {
      test::MakeFolders(ExtractFilePath(Src + f.Name));
      test::WriteFileBytes(
          Src + f.Name, f.Text ? test::TextBytes(f.Size, seed) : test::RandomBytes(f.Size, seed));
      ++seed;
      Run("touch -d " + test::ShellQuote(f.Time) + " " + test::ShellQuote(Src + f.Name));
    }
    std::filesystem::permissions(Src + "sub/ro.txt",
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
  }

  void TearDown() override {
    TExtractFixture::TearDown();
    FZone.reset();
    tzset();
  }

  static std::string ExtractFilePath(const std::string& path) {
    return path.substr(0, path.rfind('/') + 1);
  }

  void Run(const std::string& command) {
    const auto r = test::RunCommand(command);
    ASSERT_EQ(r.ExitCode, 0) << command << "\n" << r.Output;
  }

  // Zips the source tree with `command` run in it ("/usr/bin/zip -q -r {zip} .").
  std::string Make(const std::string& name, std::string command) {
    const std::string zip = Path(name);
    command.replace(command.find("{zip}"), 5, test::ShellQuote(zip));
    Run("cd " + test::ShellQuote(Src) + " && " + command);
    return zip;
  }

  // Extracts everything into out/<folder>/ and compares with the sources.
  // Info-ZIP stores the local time of the file, an odd second rounded up;
  // without `datesFromSources`, the extracted file has the date its entry
  // stores (a peer whose local time is off by an hour in summer).
  void ExpectSameTree(const std::string& zip, const std::string& folder,
                      bool datesFromSources = true) {
    Engine.SetZipName(zip);
    Engine.SetDestDir(Path("out/" + folder));
    Engine.DoAll = true;
    Engine.RecreateDirs = true;
    Events.RecordPercents = false;
    Engine.ReadZip();
    EXPECT_EQ(Engine.UnZip(), Engine.Count());
    const std::string out = Path("out/" + folder + "/");
    for (const auto& f : kSources) {
      SCOPED_TRACE(f.Name);
      ASSERT_TRUE(Exists(out + f.Name));
      EXPECT_EQ(test::ReadFileBytes(out + f.Name), test::ReadFileBytes(Src + f.Name));
      const std::time_t source = MTime(Src + f.Name);
      const std::time_t expected = datesFromSources
                                       ? (source + 1) & ~std::time_t{1}
                                       : DosSeconds(Engine.Entry(IndexOf(f.Name)).FileDate);
      EXPECT_EQ(MTime(out + f.Name), expected) << "source " << source;
    }
    const auto perms = std::filesystem::status(out + "sub/ro.txt").permissions();
    EXPECT_EQ(perms & std::filesystem::perms::owner_write, std::filesystem::perms::none);
    EXPECT_EQ(Events.Skipped(TSkipReason::srWrongPassword), std::vector<int>{});
  }

  // Where the member's data starts, after its local header.
  static std::size_t DataStart(const std::vector<u8>& bytes, const TZipHeaderInfo& e) {
    const std::span<const u8> local(bytes.data() + e.RelativeOffset, 30);
    return e.RelativeOffset + 30 + GetLE16(local, 26) + GetLE16(local, 28);
  }

  // The 12 enciphered header bytes of entry `index` and its check byte.
  std::pair<std::vector<u8>, u8> CipherHeader(const std::string& zip, int index) {
    const auto bytes = test::ReadFileBytes(zip);
    const TZipHeaderInfo& e = Engine.Entry(index);
    const std::size_t data = DataStart(bytes, e);
    const u8 check =
        e.HasDescriptor() ? static_cast<u8>(e.FileDate >> 8) : static_cast<u8>(e.Crc32 >> 24);
    return {std::vector<u8>(bytes.begin() + static_cast<std::ptrdiff_t>(data),
                            bytes.begin() + static_cast<std::ptrdiff_t>(data + 12)),
            check};
  }

  // Flips bits of the byte in the middle of member `name`'s stored data and
  // readies a run that extracts everything into out/; the member's index.
  int DamageMember(const std::string& zip, const std::string& name, u8 bits) {
    Engine.SetZipName(zip);
    Engine.ReadZip();
    const int index = IndexOf(name);
    if (index < 0) return index;
    auto bytes = test::ReadFileBytes(zip);
    const TZipHeaderInfo& e = Engine.Entry(index);
    bytes[DataStart(bytes, e) + e.CompressedSize / 2] ^= bits;
    test::WriteFileBytes(zip, bytes);
    Engine.SetDestDir(Path("out"));
    Engine.DoAll = true;
    Engine.RecreateDirs = true;
    return index;
  }

  int IndexOf(const std::string& name) {
    for (int i = 0; i < Engine.Count(); ++i) {
      if (Engine.FullName(i) == name) return i;
    }
    return -1;
  }

  std::string Src;

 private:
  std::optional<test::TScopedEnv> FZone;
};

class ExtractInfoZip : public ExtractPeerTest {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("/usr/bin/zip")) GTEST_SKIP() << "no Info-ZIP zip";
    ExtractPeerTest::SetUp();
  }
};

class ExtractInfoZipLevel : public ExtractInfoZip, public testing::WithParamInterface<int> {};

TEST_P(ExtractInfoZipLevel, EveryMemberIsByteIdenticalWithItsDate) {
  const std::string level = std::to_string(GetParam());
  ExpectSameTree(Make("l" + level + ".zip", "/usr/bin/zip -q -r -" + level + " {zip} ."),
                 "l" + level);
}

INSTANTIATE_TEST_SUITE_P(Levels, ExtractInfoZipLevel, testing::Range(0, 10));

struct TZipOptions {
  const char* Name;
  const char* Options;
  const char* Password;
  friend void PrintTo(const TZipOptions& c, std::ostream* os) { *os << c.Name; }
};

class ExtractInfoZipOptions : public ExtractInfoZip,
                              public testing::WithParamInterface<TZipOptions> {};

TEST_P(ExtractInfoZipOptions, EveryMemberIsByteIdenticalWithItsDate) {
  const TZipOptions& o = GetParam();
  Engine.Password = o.Password;
  const std::string zip = Make(std::string(o.Name) + ".zip",
                               std::string("/usr/bin/zip -q -r ") + o.Options + " {zip} .");
  ExpectSameTree(zip, o.Name);
  const int big = IndexOf("big.txt");
  ASSERT_GE(big, 0);
  if (std::string(o.Options).find("-fd") != std::string::npos) {
    EXPECT_TRUE(Engine.Entry(big).HasDescriptor());
  }
  EXPECT_EQ(Engine.IsEncrypted(big), *o.Password != '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Options, ExtractInfoZipOptions,
    testing::Values(TZipOptions{"Enciphered", "-P secret", "secret"},
                    TZipOptions{"Descriptors", "-fd", ""},
                    TZipOptions{"DescriptorsEnciphered", "-fd -P secret", "secret"},
                    TZipOptions{"BestEnciphered", "-9 -P 'pass word'", "pass word"},
                    TZipOptions{"Zip64", "-fz", ""},
                    TZipOptions{"Zip64Enciphered", "-fz -P secret", "secret"}),
    [](const auto& row) { return std::string(row.param.Name); });

class ExtractInfoZipEnciphered : public ExtractInfoZip,
                                 public testing::WithParamInterface<TZipOptions> {};

TEST_P(ExtractInfoZipEnciphered, WrongPasswordSkipsEveryMember) {
  const TZipOptions& o = GetParam();
  const std::string zip =
      Make("w.zip", std::string("/usr/bin/zip -q -r ") + o.Options + " {zip} .");
  Engine.SetZipName(zip);
  Engine.SetDestDir(Path("out"));
  Engine.Password = test::PasswordFailingEveryCheck(test::ReadFileBytes(zip));
  Engine.OnBadPassword = nullptr;
  Engine.DoAll = true;
  EXPECT_EQ(Engine.UnZip(), 0);
  EXPECT_EQ(Events.Skipped(TSkipReason::srWrongPassword).size(), std::size(kSources));
  EXPECT_EQ(test::FilesBelow(Out()), Lines{});
}

// The one wrong password in 256 that passes the check byte is caught by the
// CRC, and the member is extracted again with the password offered then.
TEST_P(ExtractInfoZipEnciphered, WrongPasswordPassingTheCheckIsAskedAgain) {
  const TZipOptions& o = GetParam();
  const std::string zip =
      Make("p.zip", std::string("/usr/bin/zip -q -r ") + o.Options + " {zip} .");
  Engine.SetZipName(zip);
  Engine.SetDestDir(Path("out"));
  Engine.ReadZip();
  const int index = IndexOf("sub/deeper/r100k.bin");
  ASSERT_GE(index, 0);
  const auto [header, check] = CipherHeader(zip, index);
  ASSERT_EQ(test::CheckByteFor(header, o.Password), check);
  const std::string passer = test::PasswordPassingCheck(header, check, o.Password);
  Engine.Password = passer;
  Events.Passwords = {o.Password};
  Engine.FilesList = {"*r100k*"};
  EXPECT_EQ(Engine.UnZip(), 1);
  const std::string i = std::to_string(index);
  EXPECT_EQ(Events.Milestones(),
            (Lines{"info 1 100000", "start " + i + " out/r100k.bin", "password " + i + " " + passer,
                   "start " + i + " out/r100k.bin", "end " + i + " out/r100k.bin"}));
  EXPECT_EQ(test::ReadFileBytes(Out() + "r100k.bin"),
            test::ReadFileBytes(Src + "sub/deeper/r100k.bin"));
}

INSTANTIATE_TEST_SUITE_P(Options, ExtractInfoZipEnciphered,
                         testing::Values(TZipOptions{"Plain", "-P secret", "secret"},
                                         TZipOptions{"Descriptors", "-fd -P secret", "secret"},
                                         TZipOptions{"Stored", "-0 -P 'pass word'", "pass word"}),
                         [](const auto& row) { return std::string(row.param.Name); });

struct TPipeCase {
  const char* Name;
  const char* Options;
  const char* Password;
  friend void PrintTo(const TPipeCase& c, std::ostream* os) { *os << c.Name; }
};

class ExtractInfoZipPipe : public ExtractInfoZip, public testing::WithParamInterface<TPipeCase> {};

// Zipping standard input to a pipe leaves zip no way back to the local
// header: the sizes and CRC follow the data in a descriptor.
TEST_P(ExtractInfoZipPipe, StreamedMemberExtracts) {
  const TPipeCase& c = GetParam();
  const std::string zip = Path("pipe.zip");
  Run("cat " + test::ShellQuote(Src + "big.txt") + " | /usr/bin/zip -q " + c.Options +
      " - - | cat > " + test::ShellQuote(zip));
  Engine.SetZipName(zip);
  Engine.SetDestDir(Path("out"));
  Engine.Password = c.Password;
  Engine.DoAll = true;
  Engine.ReadZip();
  ASSERT_EQ(Engine.Count(), 1);
  EXPECT_TRUE(Engine.Entry(0).HasDescriptor());
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(test::ReadFileBytes(Out() + "-"), test::ReadFileBytes(Src + "big.txt"));
  EXPECT_EQ(MTime(Out() + "-"), DosSeconds(Engine.Entry(0).FileDate));
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtractInfoZipPipe,
                         testing::Values(TPipeCase{"Plain", "", ""},
                                         TPipeCase{"NoZip64", "-fz-", ""},
                                         TPipeCase{"Enciphered", "-P secret", "secret"},
                                         TPipeCase{"FastEnciphered", "-1 -P secret", "secret"}),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST_F(ExtractInfoZip, CorruptedByteEndsInBadCrcForThatMemberOnly) {
  const std::string zip = Make("c.zip", "/usr/bin/zip -q -r -6 {zip} .");
  const int index = DamageMember(zip, "big.txt", 0x10);
  ASSERT_GE(index, 0);
  const int count = Engine.UnZip();
  EXPECT_EQ(count, Engine.Count() - 1);
  EXPECT_EQ(std::count(Events.Lines.begin(), Events.Lines.end(), "crc " + std::to_string(index)),
            1);
  EXPECT_FALSE(Exists(Out() + "big.txt"));
  EXPECT_TRUE(Exists(Out() + "sub/deeper/r100k.bin"));
}

class ExtractSevenZip : public ExtractPeerTest, public testing::WithParamInterface<TZipOptions> {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("7z")) GTEST_SKIP() << "no 7-Zip";
    ExtractPeerTest::SetUp();
  }
};

TEST_P(ExtractSevenZip, EveryMemberIsByteIdentical) {
  const TZipOptions& o = GetParam();
  Engine.Password = o.Password;
  const std::string zip = Make(std::string(o.Name) + ".zip",
                               std::string("7z a -bd -bso0 -tzip ") + o.Options + " {zip} .");
  ExpectSameTree(zip, o.Name, false);
}

INSTANTIATE_TEST_SUITE_P(
    Options, ExtractSevenZip,
    testing::Values(TZipOptions{"Store", "-mx=0", ""}, TZipOptions{"Ultra", "-mx=9", ""},
                    TZipOptions{"ZipCrypto", "-mx=5 -psecret -mem=ZipCrypto", "secret"}),
    [](const auto& row) { return std::string(row.param.Name); });

// ---- Zip64 records from other programs ------------------------------------

// A stub put in front of a Zip64 archive after it was written (its offsets
// still count from the archive's start; Info-ZIP's "zip -A" cannot adjust
// a Zip64 archive): the Zip64 end record's place shows by how much, and the
// directory is read with every offset moved.
TEST_F(ExtractInfoZip, Zip64ArchiveBehindAStub) {
  const std::string zip = Make("z.zip", "/usr/bin/zip -q -r -fz {zip} .");
  std::vector<u8> bytes(3000, 0x90);
  const auto archive = test::ReadFileBytes(zip);
  bytes.insert(bytes.end(), archive.begin(), archive.end());
  test::WriteFileBytes(Path("stub.zip"), bytes);
  ExpectSameTree(Path("stub.zip"), "stub");
  EXPECT_FALSE(Engine.Rebuilt());
  EXPECT_EQ(Engine.EndCentral().OffsetShift, 3000u);
}

class ExtractPython : public ExtractPeerTest {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("python3")) GTEST_SKIP() << "no Python";
    ExtractPeerTest::SetUp();
  }
};

// Python's zipfile with force_zip64 puts a Zip64 field in every local
// header; with its limits lowered to 1 it also writes the central fields
// and the Zip64 end record as it would past 4 GiB and 65,535 members.
TEST_F(ExtractPython, ForcedZip64RecordsEverywhere) {
  const std::string script =
      "import os, sys, zipfile\n"
      "zipfile.ZIP64_LIMIT = 1\n"
      "zipfile.ZIP_FILECOUNT_LIMIT = 1\n"
      "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
      "  for root, dirs, files in os.walk('.'):\n"
      "    for f in sorted(files):\n"
      "      path = os.path.join(root, f)[2:]\n"
      "      info = zipfile.ZipInfo.from_file(path)\n"
      "      info.compress_type = zipfile.ZIP_DEFLATED\n"
      "      with open(path, 'rb') as src, z.open(info, 'w', force_zip64=True) as dst:\n"
      "        dst.write(src.read())\n";
  test::WriteFileText(Path("make.py"), script);
  const std::string zip = Make("py.zip", "python3 " + test::ShellQuote(Path("make.py")) + " {zip}");
  ExpectSameTree(zip, "py", false);
  EXPECT_TRUE(Engine.EndCentral().Zip64);
  EXPECT_EQ(Engine.EndCentral().TotalEntries, std::size(kSources));
  Engine.CheckLocalHeaders = true;
  TMemoryStream all;
  EXPECT_EQ(Engine.UnZipToStream(all, "*"), Engine.Count());
}

// ---- methods and encryption of current archivers --------------------------

struct TMethodCase {
  const char* Name;
  const char* Program;
  const char* Command;  // run in the source tree; {zip} is the archive
  const char* Password;
  const char* Method;      // of big.txt
  const char* Encryption;  // of big.txt
  friend void PrintTo(const TMethodCase& c, std::ostream* os) { *os << c.Name; }
};

class ExtractOtherMethods : public ExtractPeerTest,
                            public testing::WithParamInterface<TMethodCase> {
 protected:
  void SetUp() override {
    if (!test::HaveProgram(GetParam().Program)) GTEST_SKIP() << "no " << GetParam().Program;
    ExtractPeerTest::SetUp();
  }
};

TEST_P(ExtractOtherMethods, EveryMemberIsByteIdentical) {
  const TMethodCase& c = GetParam();
  Engine.Password = c.Password;
  const std::string zip = Make(std::string(c.Name) + ".zip", c.Command);
  ExpectSameTree(zip, c.Name, false);
  const int big = IndexOf("big.txt");
  ASSERT_GE(big, 0);
  EXPECT_EQ(Engine.MethodName(big), c.Method);
  EXPECT_EQ(Engine.EncryptionName(big), c.Encryption);
}

// Python's zipfile over the whole tree, with its file modes.
#define VZ_PYTHON_ZIP(method)                              \
  "python3 -c \"import os, sys, zipfile\n"                 \
  "with zipfile.ZipFile(sys.argv[1], 'w', zipfile." method \
  ") as z:\n"                                              \
  "    for top, _, files in os.walk('.'):\n"               \
  "        for f in files: z.write(os.path.join(top, f))\" {zip}"

INSTANTIATE_TEST_SUITE_P(
    Peers, ExtractOtherMethods,
    testing::Values(
        TMethodCase{"Deflate64", "7z", "7z a -bd -bso0 -tzip -mm=Deflate64 {zip} .", "",
                    "Deflate64", ""},
        TMethodCase{"BZip2", "7z", "7z a -bd -bso0 -tzip -mm=BZip2 {zip} .", "", "BZip2", ""},
        TMethodCase{"Lzma", "7z", "7z a -bd -bso0 -tzip -mm=LZMA {zip} .", "", "LZMA", ""},
        TMethodCase{"Aes128Deflate", "7z", "7z a -bd -bso0 -tzip -psecret -mem=AES128 {zip} .",
                    "secret", "Deflated", "AES-128"},
        TMethodCase{"Aes256Deflate", "7z",
                    "7z a -bd -bso0 -tzip -mx=9 -p'pass word' -mem=AES256 {zip} .", "pass word",
                    "Deflated", "AES-256"},
        TMethodCase{"Aes128Stored", "7z", "7z a -bd -bso0 -tzip -mx=0 -psecret -mem=AES128 {zip} .",
                    "secret", "Stored", "AES-128"},
        TMethodCase{"Aes256Stored", "7z", "7z a -bd -bso0 -tzip -mx=0 -psecret -mem=AES256 {zip} .",
                    "secret", "Stored", "AES-256"},
        TMethodCase{"Aes256BZip2", "7z",
                    "7z a -bd -bso0 -tzip -mm=BZip2 -psecret -mem=AES256 {zip} .", "secret",
                    "BZip2", "AES-256"},
        TMethodCase{"PythonBZip2", "python3", VZ_PYTHON_ZIP("ZIP_BZIP2"), "", "BZip2", ""},
        TMethodCase{"PythonLzma", "python3", VZ_PYTHON_ZIP("ZIP_LZMA"), "", "LZMA", ""},
        TMethodCase{"InfoZipBZip2", "/usr/bin/zip", "/usr/bin/zip -q -r -Z bzip2 {zip} .", "",
                    "BZip2", ""}),
    [](const auto& row) { return std::string(row.param.Name); });

#undef VZ_PYTHON_ZIP

class ExtractSevenZipMixed : public ExtractPeerTest {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("7z")) GTEST_SKIP() << "no 7-Zip";
    ExtractPeerTest::SetUp();
  }
};

// PPMd has no maintained library for its ZIP form: its member is named and
// skipped, and the members beside it still extract.
TEST_F(ExtractSevenZipMixed, PpmdMemberIsUnsupportedAndTheOthersExtract) {
  Make("ppmd.zip", "7z a -bd -bso0 -tzip -mm=PPMd {zip} big.txt");
  const std::string zip = Make("ppmd.zip", "7z a -bd -bso0 -tzip -mm=BZip2 {zip} t65536.txt one");
  Engine.SetZipName(zip);
  Engine.SetDestDir(Path("out"));
  Engine.DoAll = true;
  Engine.ReadZip();
  const int ppmd = IndexOf("big.txt");
  ASSERT_GE(ppmd, 0);
  EXPECT_EQ(Engine.MethodName(ppmd), "PPMd");
  EXPECT_EQ(Engine.UnZip(), 2);
  EXPECT_EQ(Events.Skipped(TSkipReason::srUnsupported), std::vector<int>{ppmd});
  EXPECT_EQ(Events.SkipText(ppmd), "compression method PPMd is not supported");
  EXPECT_EQ(test::FilesBelow(Out()), (Lines{"one", "t65536.txt"}));
  EXPECT_EQ(test::ReadFileBytes(Out() + "t65536.txt"), test::ReadFileBytes(Src + "t65536.txt"));
}

// A byte flipped in 7-Zip's enciphered data fails the authentication code of
// that member alone.
TEST_F(ExtractSevenZipMixed, FlippedAesByteFailsThatMemberOnly) {
  const std::string zip = Make("aes.zip", "7z a -bd -bso0 -tzip -psecret -mem=AES256 {zip} .");
  const int index = DamageMember(zip, "big.txt", 0x04);
  ASSERT_GE(index, 0);
  Engine.Password = "secret";
  EXPECT_EQ(Engine.UnZip(), Engine.Count() - 1);
  EXPECT_EQ(Events.Skipped(TSkipReason::srBadAuthentication), std::vector<int>{index});
  EXPECT_FALSE(Exists(Out() + "big.txt"));
  EXPECT_EQ(test::ReadFileBytes(Out() + "sub/deeper/r100k.bin"),
            test::ReadFileBytes(Src + "sub/deeper/r100k.bin"));
}

// ---- legacy methods -------------------------------------------------------

// SHA-256 of the members, from tests/data/legacy/README.md.
const std::map<std::string, std::string> kLegacyDigests = {
    {"TEST1.XML", "1f155fbeed0dc3b21ee30e7a648c98ba1123083b814a58ad852d37447a608f0e"},
    {"TEST2.XML", "2402e6ef55b5f8886f6632078f50a23cbc73ece37aac7951e77c2a4098acdf5f"},
    {"HEADER.TXT", "fdb715b10947e98f8bfb104194f9be0cda1b809391a8dc2100d78a25c06c7812"},
    {"LICENSE.TXT", "3ddf9be5c28fe27dad143a5dc76eea25222ad1dd68934a047064e56ed2fa40c5"},
    {"TECT.TXT", "4d581d93d369f6e1c9b295ff38d82dabd577f927dfaf0c35818c015c85e322d9"},
    {"TEST.EXE", "8557928804f57ecc340b3bb38b095a3607474ec8deb0076f316fcfe02b562106"},
    {"TEST.JPG", "b251c7501fb0f55dd4a92feabe0a6f5733bc40a02679498155fae9b30138fc53"},
    {"\xCE\x93\xC3\x91\xC3\x9F\xCE\x93.txt",
     "4d581d93d369f6e1c9b295ff38d82dabd577f927dfaf0c35818c015c85e322d9"},
};

struct TLegacyCase {
  const char* Archive;
  int Members;
  friend void PrintTo(const TLegacyCase& c, std::ostream* os) { *os << c.Archive; }
};

class ExtractLegacy : public test::TExtractFixture,
                      public testing::WithParamInterface<TLegacyCase> {};

TEST_P(ExtractLegacy, MembersOfOtherProgramsExtractToTheirPublishedContent) {
  const TLegacyCase& c = GetParam();
  Open(test::ReadFileBytes(test::TestDataDir() + "/legacy/" + c.Archive));
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), c.Members);
  const auto files = test::FilesBelow(Out());
  ASSERT_EQ(files.size(), static_cast<std::size_t>(c.Members));
  for (const auto& file : files) {
    const auto name = file.substr(file.rfind('/') + 1);
    ASSERT_EQ(kLegacyDigests.count(name), 1u) << file;
    EXPECT_EQ(test::Sha256Hex(test::ReadFileBytes(Out() + file)), kLegacyDigests.at(name)) << file;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ExtractLegacy,
    testing::Values(TLegacyCase{"SHRUNK.ZIP", 2}, TLegacyCase{"Zip.shrink.zip", 3},
                    TLegacyCase{"Zip.reduce1.zip", 3}, TLegacyCase{"Zip.reduce2.zip", 3},
                    TLegacyCase{"Zip.reduce3.zip", 3}, TLegacyCase{"Zip.reduce4.zip", 3},
                    TLegacyCase{"Zip.implode.zip", 3},
                    TLegacyCase{"imploding-4Kdict-2trees.zip", 1},
                    TLegacyCase{"imploding-8Kdict-3trees.zip", 1}),
    [](const auto& row) {
      std::string name = row.param.Archive;
      std::replace_if(
          name.begin(), name.end(), [](char ch) { return !std::isalnum(ch); }, '_');
      return name;
    });

}  // namespace
}  // namespace vz
