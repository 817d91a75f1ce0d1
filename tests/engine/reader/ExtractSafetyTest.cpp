// Hostile archives and the user's files: names that lead outside the
// destination or cannot be file names, links at a target's place, members
// that share their data (the "overlapping" zip bomb) or inflate past their
// size, damaged data, and failures that must never cost an existing file.
#include <cerrno>
#include <filesystem>
#include <random>

#include "engine/codecs/Crc32.h"
#include "engine/format/ByteOrder.h"
#include "engine/support/Exceptions.h"
#include "tests/engine/reader/ExtractFixture.h"
#include "tests/support/Sha256.h"

namespace vz {
namespace {

using test::StoredMember;
using test::TBuildMember;
using test::TZipBuilder;
using Lines = std::vector<std::string>;

class ExtractSafetyTest : public test::TExtractFixture {};

// ---- names ----------------------------------------------------------------

struct TNameCase {
  const char* Name;
  std::string Stored;
  bool RecreateDirs;
  std::string Target;  // below the destination; empty: refused
  std::string Reason = {};  // the engine's SkipText() for a refused name
  friend void PrintTo(const TNameCase& c, std::ostream* os) { *os << c.Name; }
};

const std::string kDotDot = "a \"..\" component in the name";
const std::string kNoName = "the name names no file (empty, \".\", or only dots and slashes)";
const std::string kControl = "control characters in the name";

class ExtractName : public ExtractSafetyTest, public testing::WithParamInterface<TNameCase> {};

TEST_P(ExtractName, UnsafeNamesAreRefusedAndNothingLandsOutside) {
  const TNameCase& c = GetParam();
  // Deep enough that "../../x" would still be inside the scratch folder.
  Open(TZipBuilder::Archive({StoredMember(c.Stored, "payload"), StoredMember("ok.txt", "ok")}),
       "a/b/out");
  Engine.DoAll = true;
  Engine.RecreateDirs = c.RecreateDirs;
  const bool refused = c.Target.empty();
  EXPECT_EQ(Engine.UnZip(), refused ? 1 : 2);
  EXPECT_EQ(Events.Skipped(TSkipReason::srUnsafeEntry),
            refused ? std::vector<int>{0} : std::vector<int>{});
  EXPECT_EQ(Events.SkipTexts, refused ? Lines{c.Reason} : Lines{});
  Lines expected{"a/b/out/ok.txt", "test.zip"};
  if (!refused) expected.push_back("a/b/out/" + c.Target);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(test::FilesBelow(Fake.Root()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractName,
    testing::Values(TNameCase{"DotDotTwice", "../../x.txt", true, "", kDotDot},
                    TNameCase{"DotDotAfterAFolder", "a/../../x.txt", true, "", kDotDot},
                    TNameCase{"BackslashDotDot", "..\\..\\x.txt", true, "", kDotDot},
                    TNameCase{"DeepDotDot", "p/q/../../../x.txt", true, "", kDotDot},
                    TNameCase{"DotDotFolderEntry", "../", true, "", kNoName},
                    TNameCase{"AbsoluteWithDotDot", "/../x.txt", true, "", kDotDot},
                    TNameCase{"DotDotAsFileName", "a/..", true, "", kDotDot},
                    TNameCase{"DotDotAsFileNameFlat", "..", false, "", kNoName},
                    TNameCase{"DotAsFileName", ".", false, "", kNoName},
                    TNameCase{"OnlyDots", "...", false, "", kNoName},
                    TNameCase{"EmptyName", "", true, "", kNoName},
                    TNameCase{"OnlySlashes", "//", true, "", kNoName},
                    TNameCase{"DotFolder", "./", true, "", kNoName},
                    TNameCase{"ControlCharacterInFileName", "x\x01y.txt", false, "", kControl},
                    TNameCase{"ControlCharacterInFolder", "d\x1f/x.txt", true, "", kControl},
                    TNameCase{"DeleteCharacter", "x\x7f.txt", false, "", kControl},
                    TNameCase{"NulCutsTheName", std::string("x.txt\0.sh", 9), false, "", kControl},
                    TNameCase{"DotDotIsHarmlessFlat", "../../x.txt", false, "x.txt"},
                    TNameCase{"DotsInsideNamesAreFine", "a..b/..x/x..y.txt", true,
                              "a..b/..x/x..y.txt"}),
    [](const auto& row) { return std::string(row.param.Name); });

// ---- links ----------------------------------------------------------------

struct TLinkCase {
  const char* Name;
  bool Dangling;
  TUZOverwriteMode Mode;
  friend void PrintTo(const TLinkCase& c, std::ostream* os) { *os << c.Name; }
};

class ExtractOverLink : public ExtractSafetyTest, public testing::WithParamInterface<TLinkCase> {};

TEST_P(ExtractOverLink, LinkIsReplacedAndItsTargetUntouched) {
  const TLinkCase& c = GetParam();
  Open(TZipBuilder::Archive({StoredMember("x.txt", "new")}));
  Engine.DoAll = true;
  Engine.OverwriteMode = c.Mode;
  Events.Prompt = [](bool& overwrite, int, std::string&) { overwrite = true; };
  const std::string victim = Path(c.Dangling ? "nowhere.txt" : "victim.txt");
  if (!c.Dangling) test::WriteFileText(victim, "precious");
  test::MakeFolders(Out());
  std::filesystem::create_symlink(victim, Out() + "x.txt");
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_FALSE(IsLink(Out() + "x.txt"));
  EXPECT_EQ(Text(Out() + "x.txt"), "new");
  if (c.Dangling) {
    EXPECT_FALSE(Exists(victim));
  } else {
    EXPECT_EQ(Text(victim), "precious");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractOverLink,
    testing::Values(TLinkCase{"ToAFile", false, TUZOverwriteMode::Always},
                    TLinkCase{"Dangling", true, TUZOverwriteMode::Always},
                    TLinkCase{"ToAFilePrompted", false, TUZOverwriteMode::Prompt},
                    TLinkCase{"DanglingPrompted", true, TUZOverwriteMode::Prompt}),
    [](const auto& row) { return std::string(row.param.Name); });

// ---- members sharing their data -------------------------------------------

// The "overlapping" construction: k local headers and one kernel. Each
// member's deflate stream quotes the next local header in a stored block and
// runs on into the next member's data, so every member decodes to valid data
// that ends in the whole kernel.
struct TBomb {
  std::vector<u8> Archive;
  std::vector<u8> FirstData;     // member 0's compressed bytes
  std::vector<u8> FirstContent;  // what they inflate to
};

TBomb OverlappingBomb(int k, const std::vector<u8>& kernel) {
  std::vector<u8> data = test::DeflateBytes(kernel, 9);
  std::vector<u8> content = kernel;
  std::vector<TBuildMember> members(static_cast<std::size_t>(k));
  std::vector<u8> nextHeader;
  for (int i = k - 1; i >= 0; --i) {
    if (i < k - 1) {
      const auto len = static_cast<u16>(nextHeader.size());
      std::vector<u8> quoted{0x00, static_cast<u8>(len), static_cast<u8>(len >> 8),
                             static_cast<u8>(~len), static_cast<u8>(~len >> 8)};
      quoted.insert(quoted.end(), nextHeader.begin(), nextHeader.end());
      data.insert(data.begin(), quoted.begin(), quoted.end());
      content.insert(content.begin(), nextHeader.begin(), nextHeader.end());
    }
    TBuildMember& m = members[static_cast<std::size_t>(i)];
    m.Name = std::string(1, static_cast<char>('A' + i));
    m.Method = 8;
    m.Crc = Crc32Of(content);
    m.CompressedSize = static_cast<u32>(data.size());
    m.UncompressedSize = static_cast<u32>(content.size());
    TZipBuilder header;
    header.AddLocal(m);
    nextHeader = header.Bytes;
  }
  TZipBuilder b;
  b.Append(nextHeader);
  b.Append(data);
  const u32 central = b.Position();
  for (int i = 0; i < k; ++i)
    b.AddCentral(members[static_cast<std::size_t>(i)], 36 * static_cast<u32>(i));
  b.AddEnd({}, static_cast<u16>(k), central, b.Position() - central);
  return {b.Bytes, data, content};
}

TEST_F(ExtractSafetyTest, OverlappingMembersAreListedButRefused) {
  const std::vector<u8> kernel(200000, 'z');
  const TBomb bomb = OverlappingBomb(8, kernel);
  if (test::HaveProgram("python3")) {
    // The bomb is real: its first member inflates in full with a peer.
    test::WriteFileBytes(Path("first.deflate"), bomb.FirstData);
    const auto r = test::RunCommand(
        "python3 -c \"import sys,zlib,hashlib; d=zlib.decompressobj(-15).decompress("
        "open(sys.argv[1],'rb').read()); print(hashlib.sha256(d).hexdigest())\" " +
        test::ShellQuote(Path("first.deflate")));
    EXPECT_EQ(r.Output, test::Sha256Hex(bomb.FirstContent) + "\n");
  }
  Open(bomb.Archive);
  Engine.ReadZip();
  ASSERT_EQ(Engine.Count(), 8);
  EXPECT_EQ(Engine.FullName(0), "A");
  Engine.DoAll = true;
  // The last member holds only the kernel, but that lies in the range its
  // neighbour claims: it shares its data too.
  EXPECT_EQ(Engine.UnZip(), 0);
  EXPECT_EQ(Events.Skipped(TSkipReason::srUnsafeEntry), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Events.SkipTexts, Lines(8, "members share data"));
  EXPECT_EQ(test::FilesBelow(Out()), Lines{});

  Engine.DoAll = false;
  Engine.FilesList = {"c"};
  EXPECT_EQ(Engine.UnZip(), 0);
}

TEST_F(ExtractSafetyTest, MembersOfOneLocalHeaderAreListedButRefused) {
  // The full overlap: every central record names the same local header.
  Open(TZipBuilder::SharedHeaderArchive(StoredMember("one", "shared data"),
                                        {"one", "two", "three"}));
  Engine.ReadZip();
  ASSERT_EQ(Engine.Count(), 3);
  Engine.DoAll = true;
  EXPECT_EQ(Engine.UnZip(), 0);
  EXPECT_EQ(Events.Skipped(TSkipReason::srUnsafeEntry), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Events.SkipTexts, Lines(3, "members share data"));
  EXPECT_EQ(test::FilesBelow(Out()), Lines{});
}

// Member A's local extra field hides B's local header, so A's data starts
// where B's does; going by the central records alone the two look apart.
std::vector<u8> ExtraFieldOverlap(const std::string& firstName, const std::vector<u8>& content) {
  const u32 size = static_cast<u32>(content.size());
  TBuildMember b = StoredMember("B", content);
  TBuildMember a = StoredMember(firstName, std::vector<u8>{});
  a.Crc = Crc32Of(content);
  a.CompressedSize = size;
  a.UncompressedSize = size;
  const u32 bOffset = 30 + static_cast<u32>(firstName.size()) + size;
  TZipBuilder bHeader;
  TBuildMember bAlone = b;
  bAlone.Data.clear();
  bAlone.CompressedSize = size;
  bAlone.UncompressedSize = size;
  bAlone.Crc = Crc32Of(content);
  bHeader.AddLocal(bAlone);
  a.LocalExtra = test::RandomBytes(size, 3);
  a.LocalExtra.insert(a.LocalExtra.end(), bHeader.Bytes.begin(), bHeader.Bytes.end());
  TZipBuilder z;
  z.AddLocal(a);
  z.Append(content);
  const u32 central = z.Position();
  z.AddCentral(a, 0);
  z.AddCentral(b, bOffset);
  z.AddEnd({}, 2, central, z.Position() - central);
  return z.Bytes;
}

TEST_F(ExtractSafetyTest, OverlapHiddenInALocalExtraFieldIsRefused) {
  const auto content = test::TextBytes(5000, 1);
  Open(ExtraFieldOverlap("A", content));
  Engine.DoAll = true;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Events.Skipped(TSkipReason::srUnsafeEntry), std::vector<int>{0});
  EXPECT_EQ(test::FilesBelow(Out()), (Lines{"B"}));
  EXPECT_EQ(test::ReadFileBytes(Out() + "B"), content);
}

// ---- output limits --------------------------------------------------------

TEST_F(ExtractSafetyTest, MemberThatInflatesPastItsSizeStopsThereAndFails) {
  const auto data = test::TextBytes(200000, 2);
  // The CRC of the first 1000 bytes: only the size check can catch it.
  TBuildMember cut = test::CompressedMember("cut.txt", data);
  cut.UncompressedSize = 1000;
  cut.Crc = Crc32Of(std::span(data).first(1000));
  TBuildMember lying = test::CompressedMember("lying.txt", data);
  lying.UncompressedSize = 1000;
  Open(TZipBuilder::Archive({cut, lying}));
  Engine.DoAll = true;
  EXPECT_EQ(Engine.UnZip(), 0);
  EXPECT_EQ(Events.Milestones(), (Lines{"info 2 2000", "start 0 out/cut.txt", "skip 6 0",
                                        "start 1 out/lying.txt", "crc 1"}));
  EXPECT_EQ(Engine.SkipText(),
            "its data has another size than the archive declares (more than "
            "1000 bytes decoded, 1000 declared)");
  EXPECT_FALSE(Exists(Out() + "cut.txt"));
  EXPECT_FALSE(Exists(Out() + "lying.txt"));
  EXPECT_EQ(Events.FilePercents, (std::vector<int>{100, 100}));
  EXPECT_EQ(Events.TotalPercents, (std::vector<int>{50, 100}));
}

// ---- damaged data ---------------------------------------------------------

// Flips a few bytes inside member `index`'s data (not its headers).
void Damage(std::vector<u8>& archive, const TZipHeaderInfo& entry, std::mt19937& random) {
  const std::span<const u8> local(archive.data() + entry.RelativeOffset, 30);
  const std::size_t start = entry.RelativeOffset + 30 + GetLE16(local, 26) + GetLE16(local, 28);
  const int flips = 1 + static_cast<int>(random() % 3);
  for (int f = 0; f < flips; ++f) {
    archive[start + random() % entry.CompressedSize] ^= static_cast<u8>(1 + random() % 255);
  }
}

class ExtractDamaged : public ExtractSafetyTest, public testing::WithParamInterface<const char*> {};

TEST_P(ExtractDamaged, DamagedMembersEndInTheirCrcCheck) {
  std::vector<u8> archive;
  if (std::string(GetParam()) == "deflate") {
    archive = TZipBuilder::Archive({test::CompressedMember("a.txt", test::TextBytes(70000, 5)),
                                    test::CompressedMember("b.bin", test::RandomBytes(20000, 6))});
  } else {
    archive = test::ReadFileBytes(test::TestDataDir() + "/legacy/" + GetParam());
  }
  TUnZipEngine reader(Services());
  reader.SetZipName(Put("clean.zip", archive));
  reader.ReadZip();
  std::mt19937 random(7);
  for (int round = 0; round < 12; ++round) {
    std::vector<u8> damaged = archive;
    for (int i = 0; i < reader.Count(); ++i) Damage(damaged, reader.Entry(i), random);
    Events.Lines.clear();
    Engine.SetZipName(Put("damaged" + std::to_string(round) + ".zip", damaged));
    Engine.SetDestDir(Path("out" + std::to_string(round)));
    Engine.DoAll = true;
    Engine.RecreateDirs = true;
    Events.RecordPercents = false;
    const int count = Engine.UnZip();
    // Every member either failed its CRC check or came out whole.
    const auto failed = std::count_if(Events.Lines.begin(), Events.Lines.end(),
                                      [](const std::string& l) { return l.rfind("crc ", 0) == 0; });
    EXPECT_EQ(count + failed, reader.Count()) << round;
    EXPECT_EQ(test::FilesBelow(Path("out" + std::to_string(round))).size(),
              static_cast<std::size_t>(count));
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, ExtractDamaged,
                         testing::Values("deflate", "SHRUNK.ZIP", "Zip.shrink.zip",
                                         "Zip.reduce1.zip", "Zip.reduce4.zip", "Zip.implode.zip",
                                         "imploding-4Kdict-2trees.zip",
                                         "imploding-8Kdict-3trees.zip"),
                         [](const auto& row) {
                           std::string name = row.param;
                           std::replace_if(
                               name.begin(), name.end(), [](char c) { return !std::isalnum(c); },
                               '_');
                           return name;
                         });

// ---- failures never cost an existing file ---------------------------------

enum class TFailure : u8 {
  BadCrc,
  WrongPassword,
  PassingCheckPassword,
  UnknownMethod,
  Overlap,
  PrematureEnd,
  Cancel,
  DiskFull,
  RenameRefused,
  RenameIoError
};

struct TFailureCase {
  const char* Name;
  TFailure Kind;
  bool Throws;
  int Count = 0;  // when it does not throw
  friend void PrintTo(const TFailureCase& c, std::ostream* os) { *os << c.Name; }
};

class ExtractFailure : public ExtractSafetyTest, public testing::WithParamInterface<TFailureCase> {
 protected:
  std::vector<u8> Archive(TFailure kind) {
    const auto data = test::TextBytes(40000, 9);
    if (kind == TFailure::Overlap) return ExtraFieldOverlap("v.txt", data);
    TBuildMember m = StoredMember("v.txt", data);
    switch (kind) {
      case TFailure::BadCrc:
        m.Crc = 1;
        break;
      case TFailure::WrongPassword:
        test::Encipher(m, "right");
        Engine.Password = "wrong";
        break;
      case TFailure::PassingCheckPassword:
        test::Encipher(m, "right");
        Engine.Password =
            test::PasswordPassingCheck(m.Data, static_cast<u8>(*m.Crc >> 24), "right");
        break;
      case TFailure::UnknownMethod:
        m.Method = 77;
        break;
      case TFailure::PrematureEnd:
        m.CompressedSize = 10000000;
        break;
      case TFailure::Cancel:
        Engine.OnFilePercentDone = [](TUnZipEngine& Sender, int) { Sender.CancelOperation = true; };
        break;
      case TFailure::DiskFull:
        Fake.Files.FailWritesAfter(20000, ENOSPC);
        break;
      case TFailure::RenameRefused:
        Fake.Files.FailRenames(1, EACCES);
        break;
      case TFailure::RenameIoError:
        Fake.Files.FailRenames(1, EIO);
        break;
      case TFailure::Overlap:
        break;
    }
    return TZipBuilder::Archive({m});
  }
};

TEST_P(ExtractFailure, ExistingFileSurvives) {
  const TFailureCase& c = GetParam();
  test::MakeFolders(Out());
  test::WriteFileText(Out() + "v.txt", "precious");
  const std::string before = Fake.Files.CurrentFolder();
  Engine.OnBadPassword = nullptr;
  Open(Archive(c.Kind));
  Engine.DoAll = true;
  Engine.OverwriteMode = TUZOverwriteMode::Always;
  if (c.Throws) {
    EXPECT_THROW(Engine.UnZip(), EVarnelError);
  } else {
    EXPECT_EQ(Engine.UnZip(), c.Count);
  }
  Fake.Files.ClearFaults();
  EXPECT_EQ(Text(Out() + "v.txt"), "precious");
  EXPECT_EQ(Fake.Files.CurrentFolder(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractFailure,
    testing::Values(TFailureCase{"BadCrc", TFailure::BadCrc, false},
                    TFailureCase{"WrongPassword", TFailure::WrongPassword, false},
                    TFailureCase{"PassingCheckPassword", TFailure::PassingCheckPassword, false},
                    TFailureCase{"UnknownMethod", TFailure::UnknownMethod, false},
                    TFailureCase{"Overlap", TFailure::Overlap, false, 1},
                    TFailureCase{"PrematureEnd", TFailure::PrematureEnd, true},
                    TFailureCase{"Cancel", TFailure::Cancel, true},
                    TFailureCase{"DiskFull", TFailure::DiskFull, true},
                    // Refused: that member's failure; an I/O error ends the run.
                    TFailureCase{"RenameRefused", TFailure::RenameRefused, false},
                    TFailureCase{"RenameIoError", TFailure::RenameIoError, true}),
    [](const auto& row) { return std::string(row.param.Name); });

TEST_F(ExtractSafetyTest, BadMemberLeavesALinkAtItsPlaceAlone) {
  TBuildMember m = StoredMember("x.txt", "new");
  m.Crc = 7;
  Open(TZipBuilder::Archive({m}));
  Engine.DoAll = true;
  Engine.OverwriteMode = TUZOverwriteMode::Always;
  test::WriteFileText(Path("victim.txt"), "precious");
  test::MakeFolders(Out());
  std::filesystem::create_symlink(Path("victim.txt"), Out() + "x.txt");
  EXPECT_EQ(Engine.UnZip(), 0);
  EXPECT_TRUE(IsLink(Out() + "x.txt"));
  EXPECT_EQ(Text(Path("victim.txt")), "precious");
}

TEST_F(ExtractSafetyTest, WhereNoFileStoodAnInterruptedMemberKeepsWhatWasWritten) {
  const auto data = test::RandomBytes(40000, 4);
  Open(TZipBuilder::Archive({StoredMember("a.bin", data)}));
  Engine.DoAll = true;
  Engine.OnFilePercentDone = [](TUnZipEngine& Sender, int) { Sender.CancelOperation = true; };
  EXPECT_THROW(Engine.UnZip(), EUserCanceled);
  EXPECT_EQ(test::ReadFileBytes(Out() + "a.bin"),
            std::vector<u8>(data.begin(), data.begin() + 16000));
}

}  // namespace
}  // namespace vz
