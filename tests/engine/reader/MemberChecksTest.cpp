// What the reader checks before and after decoding a member, and how it
// reads names: methods and encryption it cannot decode, local headers that
// disagree with the directory, data of another size than declared, the
// empty archive, names in code pages (chosen before or after reading),
// backslashes, names that are no UTF-8, and archives cut into slices.
#include <filesystem>

#include "engine/support/Exceptions.h"
#include "tests/engine/reader/ExtractFixture.h"

namespace vz {
namespace {

using test::StoredMember;
using test::TBuildMember;
using test::TZipBuilder;
using Lines = std::vector<std::string>;

template <typename T>
std::string CaseName(const testing::TestParamInfo<T>& param) {
  return param.param.Name;
}

constexpr u16 kDos = 0x0014;
constexpr u16 kUnix = 0x0314;

class MemberChecks : public test::TExtractFixture {};

// ---- what the engine cannot decode ----------------------------------------

struct TUnsupportedCase {
  const char* Name;
  u16 Method;
  u8 AesStrength;  // 0: no AES field
  u16 AesMethod;
  std::string Reason;
  std::string MethodName;
  std::string SkipText;
};

class Unsupported : public MemberChecks, public testing::WithParamInterface<TUnsupportedCase> {};

TEST_P(Unsupported, IsReportedOnceByNameAndTheRestIsExtracted) {
  const TUnsupportedCase& c = GetParam();
  TBuildMember odd = StoredMember("odd.bin", "not what it seems");
  odd.Method = c.Method;
  if (c.AesStrength != 0) {
    odd.Flags = kFlagEncrypted;
    odd.CentralExtra = {
        0x01, 0x99, 7, 0, 2, 0, 'A', 'E', c.AesStrength, static_cast<u8>(c.AesMethod), 0};
    odd.LocalExtra = odd.CentralExtra;
  }
  Open(TZipBuilder::Archive({odd, StoredMember("fine.txt", "fine")}));
  Engine.DoAll = true;
  // The right password changes nothing: the cipher is not the traditional one.
  Engine.Password = "secret";
  Events.Passwords = {"other"};
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Events.Milestones(),
            (Lines{"info 2 21", "skip 4 0", "start 1 out/fine.txt", "end 1 out/fine.txt"}));
  EXPECT_EQ(Engine.SkipText(), c.SkipText);
  EXPECT_EQ(Engine.UnsupportedReason(0), c.Reason);
  EXPECT_EQ(Engine.UnsupportedReason(1), "");
  EXPECT_EQ(Engine.MethodName(0), c.MethodName);
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_FALSE(Exists(Out() + "odd.bin"));

  Events.Lines.clear();
  Engine.DoAll = false;
  TMemoryStream stream;
  EXPECT_EQ(Engine.UnZipToStream(stream, "odd.bin"), 0);
  EXPECT_EQ(Events.Milestones(), (Lines{"info 1 17", "skip 4 0"}));
  EXPECT_EQ(stream.Size(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, Unsupported,
    testing::Values(TUnsupportedCase{"Tokenized", 7, 0, 0, "Tokenized", "Tokenized",
                                     "compression method Tokenized is not "
                                     "supported"},
                    TUnsupportedCase{"Ppmd", 98, 0, 0, "PPMd", "PPMd",
                                     "compression method PPMd is not "
                                     "supported"},
                    TUnsupportedCase{"Aes256Ppmd", kMethodAes, 3, 98, "PPMd", "PPMd",
                                     "compression method PPMd is not "
                                     "supported"},
                    TUnsupportedCase{"AesStrength4", kMethodAes, 4, 8, "AES", "AES",
                                     "AES encryption is not supported"}),
    CaseName<TUnsupportedCase>);

// ---- local header against central record ------------------------------

struct TMismatchCase {
  const char* Name;
  std::size_t Offset;  // in the central record
  std::vector<u8> Bytes;
  std::string Fields;
};

class HeaderMismatch : public MemberChecks, public testing::WithParamInterface<TMismatchCase> {
 protected:
  // One deflated member whose central record is changed at `offset`.
  std::vector<u8> Changed(std::size_t offset, const std::vector<u8>& bytes) {
    TBuildMember m = test::CompressedMember("member.txt", test::TextBytes(5000, 4));
    std::vector<u8> archive = TZipBuilder::Archive({m});
    const std::size_t central = archive.size() - 22 - (46 + m.Name.size());
    std::copy(bytes.begin(), bytes.end(), archive.begin() + static_cast<long>(central + offset));
    return archive;
  }
};

TEST_P(HeaderMismatch, FailsTheTestNamingTheFields) {
  const TMismatchCase& c = GetParam();
  Open(Changed(c.Offset, c.Bytes));
  Engine.CheckLocalHeaders = true;
  TMemoryStream stream;
  EXPECT_EQ(Engine.UnZipToStream(stream, "*"), 0);
  EXPECT_EQ(Events.Skipped(TSkipReason::srHeaderMismatch), std::vector<int>{0});
  EXPECT_EQ(Engine.SkipText(),
            "its local header disagrees with the central directory (" + c.Fields + ")");
  EXPECT_EQ(stream.Size(), 0);
}

INSTANTIATE_TEST_SUITE_P(Reader, HeaderMismatch,
                         testing::Values(TMismatchCase{"Name", 46, {'M'}, "name"},
                                         TMismatchCase{"Method", 10, {0, 0}, "method"},
                                         TMismatchCase{"EncryptionFlag", 8, {1, 0}, "flags"},
                                         TMismatchCase{"Utf8Flag", 8, {0, 8}, "flags"},
                                         TMismatchCase{"Crc", 16, {0x55}, "CRC"},
                                         TMismatchCase{
                                             "CompressedSize", 20, {0x01}, "compressed size"},
                                         TMismatchCase{"Size", 24, {0x01}, "size"},
                                         TMismatchCase{"CrcAndSize",
                                                       16,
                                                       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
                                                       "CRC, compressed size, size"}),
                         CaseName<TMismatchCase>);

TEST_F(MemberChecks, NoLocalHeaderAtItsOffsetFailsTheTest) {
  std::vector<u8> archive = TZipBuilder::Archive({StoredMember("a.txt", "data")});
  archive[2] = 9;  // "PK\x09\x04"
  Open(archive);
  Engine.CheckLocalHeaders = true;
  TMemoryStream stream;
  EXPECT_EQ(Engine.UnZipToStream(stream, "*"), 0);
  EXPECT_EQ(Engine.SkipText(), "its local header disagrees with the central directory (signature)");
}

TEST_F(MemberChecks, CentralRecordDecidesWhenHeadersAreNotChecked) {
  TBuildMember m = StoredMember("right.txt", "data");
  std::vector<u8> archive = TZipBuilder::Archive({m});
  archive[30] = 'w';  // the local header's name says "wight.txt"
  Open(archive);
  Engine.DoAll = true;
  EXPECT_EQ(Engine.UnZip(), 1);
  EXPECT_EQ(Text(Out() + "right.txt"), "data");
}

TEST_F(MemberChecks, DescriptorsAndZip64MarksAreNoDisagreement) {
  TBuildMember described = StoredMember("described.txt", "with a descriptor");
  described.Flags = kFlagDataDescriptor;
  TBuildMember wide = StoredMember("wide.txt", "zip64");
  wide.LocalExtra = TZipBuilder::Zip64Field({5, 5});
  std::vector<u8> archive = TZipBuilder::Archive({described, wide});
  // The local header of a described member holds zeros; a Zip64 writer puts
  // 0xFFFFFFFF in the local sizes and the sizes in its Zip64 field.
  std::fill_n(archive.begin() + 14, 12, 0);
  const std::size_t wideAt = 30 + 13 + 17;
  std::fill_n(archive.begin() + static_cast<long>(wideAt + 18), 8, 0xFF);
  Open(archive);
  Engine.CheckLocalHeaders = true;
  TMemoryStream stream;
  EXPECT_EQ(Engine.UnZipToStream(stream, "*"), 2);
  EXPECT_EQ(stream.Size(), 17 + 5);
}

struct TLocalZip64Case {
  const char* Name;
  std::vector<u8> LocalExtra;
  const char* Mismatch;
};

class LocalZip64Checks : public MemberChecks,
                         public testing::WithParamInterface<TLocalZip64Case> {};

// The sizes a saturated local header keeps in its Zip64 field are compared
// with the directory's like plain ones.
TEST_P(LocalZip64Checks, ZipFieldValuesAreCompared) {
  TBuildMember m = StoredMember("wide.txt", "zip64");
  m.LocalExtra = GetParam().LocalExtra;
  std::vector<u8> archive = TZipBuilder::Archive({m});
  std::fill_n(archive.begin() + 18, 8, 0xFF);
  Open(archive);
  Engine.CheckLocalHeaders = true;
  TMemoryStream stream;
  EXPECT_EQ(Engine.UnZipToStream(stream, "*"), 0);
  EXPECT_EQ(Engine.SkipText(), std::string("its local header disagrees with the central "
                                           "directory (") +
                                   GetParam().Mismatch + ")");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocalZip64Checks,
    testing::Values(
        TLocalZip64Case{"CompressedDiffers", TZipBuilder::Zip64Field({5, 6}), "compressed size"},
        TLocalZip64Case{"SizeDiffers", TZipBuilder::Zip64Field({0x100000005, 5}), "size"},
        TLocalZip64Case{"FieldMissing", {}, "Zip64 field"},
        TLocalZip64Case{"FieldTooShort", TZipBuilder::Zip64Field({5}), "Zip64 field"}),
    [](const auto& param) { return std::string(param.param.Name); });

// ---- the decoded size -------------------------------------------------------

TEST_F(MemberChecks, ShortDataWithTheRightCrcFailsItsSize) {
  TBuildMember m = StoredMember("short.txt", "abc");
  m.UncompressedSize = 5;  // the CRC is that of "abc"
  Open(TZipBuilder::Archive({m}));
  Engine.DoAll = true;
  EXPECT_EQ(Engine.UnZip(), 0);
  EXPECT_EQ(Events.Milestones(), (Lines{"info 1 5", "start 0 out/short.txt", "skip 6 0"}));
  EXPECT_EQ(Engine.SkipText(),
            "its data has another size than the archive declares (3 bytes decoded, 5 declared)");
  EXPECT_FALSE(Exists(Out() + "short.txt"));
  Engine.DoAll = false;
  TMemoryStream stream;
  EXPECT_EQ(Engine.UnZipToStream(stream, "short.txt"), 0);
  EXPECT_EQ(stream.Size(), 0);
}

// ---- the empty archive -------------------------------------------------

TEST_F(MemberChecks, ALoneEndRecordIsTheEmptyArchive) {
  Open(TZipBuilder::Archive({}, "nothing here"));
  Engine.ReadZip();
  EXPECT_EQ(Engine.Count(), 0);
  EXPECT_FALSE(Engine.Rebuilt());
  EXPECT_EQ(Engine.ZipComment(), "nothing here");
  Engine.DoAll = true;
  EXPECT_EQ(Engine.UnZip(), 0);
}

TEST_F(MemberChecks, MembersInFrontOfAnEmptyEndRecordAreStillFound) {
  TZipBuilder b;
  b.AddLocal(StoredMember("lost.txt", "found again"));
  b.AddEnd({}, 0, 0, 0);
  Open(b.Bytes);
  Engine.ReadZip();
  EXPECT_EQ(Engine.Count(), 1);
  EXPECT_TRUE(Engine.Rebuilt());
}

TEST_F(MemberChecks, NoEndRecordAndNoMemberIsNoArchive) {
  Open(std::vector<u8>(100, 'x'));
  Engine.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  Engine.OnInCompleteZip = [](TUnZipEngine&, TIncompleteZipMode& mode) {
    mode = TIncompleteZipMode::izAssumeBad;
  };
  Engine.ReadZip();
  EXPECT_EQ(Engine.Count(), 0);
  EXPECT_TRUE(Engine.Rebuilt());
}

// ---- names ----------------------------------------------------------------

const std::string kPrivet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет
const std::string kPrivetCp866 = "\x8F\xE0\xA8\xA2\xA5\xE2";

TBuildMember Made(const std::string& name, u16 madeBy, const std::string& text = "x") {
  TBuildMember m = StoredMember(name, text);
  m.VersionMadeBy = madeBy;
  return m;
}

TEST_F(MemberChecks, NamesAreDecodedAgainWhenTheCodePageChanges) {
  // "\xA0" is "á" in code page 437 and Cyrillic "а" in 866: it sorts
  // before "é" in the one and after it in the other.
  TBuildMember russian = Made("\xA0.txt", kDos);
  russian.Comment = kPrivetCp866;
  TBuildMember flagged = Made("\xC3\xA9.txt", kDos);
  flagged.Flags = kFlagUtf8;
  Open(TZipBuilder::Archive({russian, flagged}));
  Engine.SortMode = TZipSortMode::ByFileName;
  Engine.ReadZip();
  EXPECT_EQ(Engine.FullName(0), "\xC3\xA1.txt");
  EXPECT_EQ(Engine.FullName(1), "\xC3\xA9.txt");
  Engine.SetNameEncoding("CP866");
  EXPECT_EQ(Engine.NameEncoding(), "CP866");
  EXPECT_EQ(Engine.FullName(0), "\xC3\xA9.txt");
  EXPECT_EQ(Engine.FullName(1), "\xD0\xB0.txt");
  EXPECT_EQ(Engine.FileComment(1), kPrivet);
  EXPECT_THROW(Engine.SetNameEncoding("NO-SUCH-SET"), EVarnelError);
  EXPECT_EQ(Engine.FullName(1), "\xD0\xB0.txt");
  Engine.DoAll = true;
  EXPECT_EQ(Engine.UnZip(), 2);
  EXPECT_TRUE(Exists(Out() + "\xD0\xB0.txt"));
  EXPECT_TRUE(Exists(Out() + "\xC3\xA9.txt"));
}

TEST_F(MemberChecks, UnixNamesAreExtractedByteForByte) {
  // A colon, too, ends a drive only in a name from DOS or Windows.
  Open(TZipBuilder::Archive({Made("caf\xE9.txt", kUnix, "latin"), Made("back\\slash.txt", kUnix),
                             Made("dos\\dir\\f.txt", kDos), Made(kPrivet + ".txt", kUnix),
                             Made("a:b.txt", kUnix), Made("c:d.txt", kUnix)}));
  Engine.DoAll = true;
  Engine.RecreateDirs = true;
  EXPECT_EQ(Engine.UnZip(), 6);
  EXPECT_TRUE(Exists(Out() + "a:b.txt"));
  EXPECT_TRUE(Exists(Out() + "c:d.txt"));
  EXPECT_EQ(Text(Out() + "caf\xE9.txt"), "latin");
  EXPECT_TRUE(Exists(Out() + "back\\slash.txt"));
  EXPECT_TRUE(Exists(Out() + "dos/dir/f.txt"));
  EXPECT_TRUE(Exists(Out() + kPrivet + ".txt"));
}

// ---- archives cut into slices ----------------------------------------------

class Slices : public MemberChecks {
 protected:
  std::vector<u8> Whole() {
    return TZipBuilder::Archive({test::CompressedMember("one.txt", test::TextBytes(30000, 5)),
                                 StoredMember("two.bin", test::RandomBytes(20000, 6))});
  }
  // The archive's bytes in slices of `size` named <stem>001, <stem>002, ...
  void Cut(const std::vector<u8>& bytes, const std::string& stem, std::size_t size) {
    for (std::size_t at = 0, n = 1; at < bytes.size(); at += size, ++n) {
      char digits[8];
      std::snprintf(digits, sizeof digits, "%03zu", n);
      const auto end = bytes.begin() + static_cast<long>(std::min(bytes.size(), at + size));
      Put(stem + digits, std::vector<u8>(bytes.begin() + static_cast<long>(at), end));
    }
  }
};

TEST_F(Slices, AreReadAsOneArchiveWhicheverIsNamed) {
  const auto whole = Whole();
  ASSERT_GT(whole.size(), 20000u);
  ASSERT_LT(whole.size(), 30000u);
  Cut(whole, "7z.zip.", 10000);
  Cut(whole, "other.split.", whole.size() - 10);  // the end record cut in two
  for (const char* named : {"7z.zip.001", "7z.zip.003", "other.split.002"}) {
    TUnZipEngine engine(Services());
    engine.SetZipName(Path(named));
    engine.ReadZip();
    EXPECT_EQ(engine.Count(), 2) << named;
    EXPECT_FALSE(engine.Rebuilt()) << named;
    EXPECT_EQ(engine.SliceCount(), std::string(named).starts_with("7z") ? 3 : 2) << named;
    TMemoryStream stream;
    EXPECT_EQ(engine.UnZipToStream(stream, "two.bin"), 1) << named;
    EXPECT_EQ(stream.Memory(), test::RandomBytes(20000, 6)) << named;
  }
}

TEST_F(Slices, IndependentArchivesNumberedInARowAreNotJoined) {
  Put("daily.001", TZipBuilder::Archive({StoredMember("monday.txt", "1")}));
  Put("daily.002", TZipBuilder::Archive({StoredMember("tuesday.txt", "2")}));
  Engine.SetZipName(Path("daily.002"));
  Engine.ReadZip();
  EXPECT_EQ(Engine.SliceCount(), 1);
  ASSERT_EQ(Engine.Count(), 1);
  EXPECT_EQ(Engine.FullName(0), "tuesday.txt");
}

}  // namespace
}  // namespace vz
