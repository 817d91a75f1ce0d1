// Archives written by Info-ZIP zip list exactly as `/usr/bin/unzip -Z -v` reports them.
#include <map>
#include <sstream>

#include "engine/format/DosDate.h"
#include "engine/reader/UnZipEngine.h"
#include "tests/support/EngineFixture.h"

namespace vz {
namespace {

struct TPeerEntry {
  std::string Name;
  std::string Date;  // "2026 Dec 8 01:43:28"
  u32 Crc = 0;
  u32 CompressedSize = 0;
  u32 UncompressedSize = 0;
  std::string Comment;
};

struct TPeerListing {
  std::string ZipComment;
  std::vector<TPeerEntry> Entries;
};

std::string Between(const std::string& text, const std::string& begin, const std::string& end) {
  const auto a = text.find(begin);
  if (a == std::string::npos) return {};
  const auto start = text.find('\n', a) + 1;
  const auto b = text.find(end, start);
  std::string body = text.substr(start, b - start);
  const auto lastNewline = body.rfind('\n');
  return lastNewline == std::string::npos ? body : body.substr(0, lastNewline);
}

TPeerListing ParseZipInfo(const std::string& out) {
  TPeerListing listing;
  listing.ZipComment =
      Between(out, "zipfile comment begins", "========================= zipfile comment ends");
  std::size_t pos = 0;
  while ((pos = out.find("Central directory entry #", pos)) != std::string::npos) {
    const auto next = out.find("Central directory entry #", pos + 1);
    const std::string block = out.substr(pos, next == std::string::npos ? next : next - pos);
    pos += 1;
    TPeerEntry e;
    const auto value = [&block](const std::string& label) {
      const auto at = block.find(label);
      if (at == std::string::npos) return std::string();
      const auto start = block.find_first_not_of(' ', at + label.size());
      return block.substr(start, block.find('\n', start) - start);
    };
    // The name is the first indented line after the heading that is not a
    // remark about bytes before the member.
    std::istringstream lines(block);
    std::string line;
    std::getline(lines, line);  // heading
    std::getline(lines, line);  // underline
    while (std::getline(lines, line)) {
      if (line.empty() || line.find("There are an extra") != std::string::npos) continue;
      e.Name = line.substr(2);
      break;
    }
    e.Date = value("(DOS date/time):");
    e.Crc = static_cast<u32>(std::stoul(value("CRC value (hex):"), nullptr, 16));
    e.CompressedSize = static_cast<u32>(std::stoul(value("\n  compressed size:")));
    e.UncompressedSize = static_cast<u32>(std::stoul(value("uncompressed size:")));
    e.Comment = Between(block, "file comment begins", "-------------------------- file comment ends");
    listing.Entries.push_back(e);
  }
  return listing;
}

std::string FormatLikeZipInfo(u32 dos) {
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const TDosFields f = UnpackDosDateTime(dos);
  char text[64];
  std::snprintf(text, sizeof text, "%d %s %d %02d:%02d:%02d", f.Year, kMonths[f.Month - 1], f.Day,
                f.Hour, f.Minute, f.Second);
  return text;
}

class InfoZipListingTest : public test::TEngineFixture {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("/usr/bin/zip") || !test::HaveProgram("/usr/bin/unzip"))
      GTEST_SKIP() << "no Info-ZIP";
    Work = Path("work/");
    test::MakeFolders(Work + "docs/sub");
    test::WriteFileText(Work + "a.txt", "alpha\n");
    test::WriteFileBytes(Work + "docs/random.bin", test::RandomBytes(70000, 9));
    test::WriteFileBytes(Work + "docs/sub/text.txt", test::TextBytes(50000, 2));
    test::WriteFileText(Work + "docs/empty", "");
  }

  void Zip(const std::string& arguments) {
    const auto r = test::RunCommand("cd " + test::ShellQuote(Work) + " && " + arguments);
    ASSERT_EQ(r.ExitCode, 0) << arguments << "\n" << r.Output;
  }

  void ExpectSameListing(const std::string& archive) {
    const auto peer = test::RunCommand("/usr/bin/unzip -Z -v " + test::ShellQuote(archive));
    ASSERT_EQ(peer.ExitCode, 0) << peer.Output;
    const TPeerListing expected = ParseZipInfo(peer.Output);
    TUnZipEngine engine(Services());
    engine.SetZipName(archive);
    engine.ReadZip();
    ASSERT_EQ(engine.Count(), static_cast<int>(expected.Entries.size()));
    for (int i = 0; i < engine.Count(); ++i) {
      const TPeerEntry& e = expected.Entries[static_cast<std::size_t>(i)];
      EXPECT_EQ(engine.FullName(i), e.Name);
      EXPECT_EQ(engine.Crc(i), e.Crc) << e.Name;
      EXPECT_EQ(engine.CompressedSize(i), e.CompressedSize) << e.Name;
      EXPECT_EQ(engine.UncompressedSize(i), e.UncompressedSize) << e.Name;
      EXPECT_EQ(FormatLikeZipInfo(engine.Entry(i).FileDate), e.Date);
      EXPECT_EQ(engine.FileComment(i), e.Comment) << e.Name;
    }
    // Info-ZIP stores comment lines ending in CR LF and shows them as LF.
    std::string comment = engine.ZipComment();
    for (std::size_t at; (at = comment.find("\r\n")) != std::string::npos;) comment.erase(at, 1);
    EXPECT_EQ(comment, expected.ZipComment);
  }

  std::vector<std::string> PeerNames(const std::string& archive) {
    const auto r = test::RunCommand("/usr/bin/unzip -Z1 " + test::ShellQuote(archive));
    std::vector<std::string> names;
    std::istringstream lines(r.Output);
    for (std::string line; std::getline(lines, line);) names.push_back(line);
    return names;
  }

  std::string Work;
};

TEST_F(InfoZipListingTest, PlainArchiveWithFoldersAndExtraFields) {
  Zip("/usr/bin/zip -q -r plain.zip a.txt docs");
  ExpectSameListing(Work + "plain.zip");
}

TEST_F(InfoZipListingTest, FileAndArchiveComments) {
  Zip("/usr/bin/zip -q -r c.zip a.txt docs");
  Zip("printf 'comment of a\\n.\\nsecond comment\\n.\\n' | /usr/bin/zip -q -c c.zip a.txt "
      "docs/empty");
  Zip("printf 'The archive comment\\nline two\\n' | /usr/bin/zip -q -z c.zip");
  ExpectSameListing(Work + "c.zip");
}

TEST_F(InfoZipListingTest, EncryptedMembersAndEveryLevel) {
  Zip("/usr/bin/zip -q -r -P secret enc.zip a.txt docs");
  ExpectSameListing(Work + "enc.zip");
  Zip("/usr/bin/zip -q -r -1 fast.zip docs && /usr/bin/zip -q -r -9 best.zip docs && /usr/bin/zip "
      "-q -r -0 store.zip docs");
  ExpectSameListing(Work + "fast.zip");
  ExpectSameListing(Work + "best.zip");
  ExpectSameListing(Work + "store.zip");
}

TEST_F(InfoZipListingTest, PrependedStubWithAdjustedOffsetsListsDirectly) {
  Zip("/usr/bin/zip -q -r inner.zip a.txt docs");
  Zip("head -c 30000 /dev/zero > stub && cat stub inner.zip > sfx.exe && /usr/bin/zip -q -A "
      "sfx.exe");
  ExpectSameListing(Work + "sfx.exe");
  TUnZipEngine engine(Services());
  engine.SetZipName(Work + "sfx.exe");
  engine.ReadZip();
  EXPECT_FALSE(engine.Rebuilt());
}

TEST_F(InfoZipListingTest, StubOffsetAndCutOffArchivesAreRebuilt) {
  Zip("/usr/bin/zip -q -r inner.zip a.txt docs");
  Zip("head -c 30000 /dev/zero > stub && cat stub inner.zip > SFX.EXE");
  TUnZipEngine engine(Services());
  engine.SetZipName(Work + "SFX.EXE");
  engine.ReadZip();
  EXPECT_TRUE(engine.Rebuilt());
  const auto names = PeerNames(Work + "inner.zip");
  ASSERT_EQ(engine.Count(), static_cast<int>(names.size()));
  for (int i = 0; i < engine.Count(); ++i) EXPECT_EQ(engine.FullName(i), names[static_cast<std::size_t>(i)]);
  EXPECT_EQ(engine.Entry(0).RelativeOffset, 30000u);

  const auto whole = test::ReadFileBytes(Work + "inner.zip");
  const std::vector<u8> cut(whole.begin(), whole.end() - 200);
  test::WriteFileBytes(Work + "cut.zip", cut);
  TUnZipEngine reader(Services());
  reader.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  reader.SetZipName(Work + "cut.zip");
  reader.ReadZip();
  EXPECT_TRUE(reader.Rebuilt());
  ASSERT_EQ(reader.Count(), static_cast<int>(names.size()));
  EXPECT_EQ(reader.FullName(reader.Count() - 1), names.back());
}

}  // namespace
}  // namespace vz
