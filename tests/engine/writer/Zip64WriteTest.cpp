// Members with Zip64 records (made by Info-ZIP and Python) survive every
// rewrite: delete, update, a comment change and repair copy them with
// their Zip64 fields made anew where they are needed, and the peers accept
// the result.
#include "engine/format/ByteOrder.h"
#include "tests/engine/writer/WriterFixture.h"

namespace vz {
namespace {

// Python with its limits lowered to 1: every record in Zip64 form, as past
// 4 GiB and 65,535 members.
constexpr const char* kPythonZip64 =
    "import sys, zipfile\n"
    "zipfile.ZIP64_LIMIT = 1\n"
    "zipfile.ZIP_FILECOUNT_LIMIT = 1\n"
    "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
    "  for name in sys.argv[2:]:\n"
    "    info = zipfile.ZipInfo.from_file(name)\n"
    "    info.compress_type = zipfile.ZIP_DEFLATED\n"
    "    with open(name, 'rb') as src, z.open(info, 'w', force_zip64=True) as dst:\n"
    "      dst.write(src.read())\n";

struct TMaker {
  const char* Name;
  const char* Program;
};

class Zip64Rewrites : public test::TWriterFixture, public testing::WithParamInterface<TMaker> {
 protected:
  void SetUp() override {
    if (!test::HaveProgram(GetParam().Program)) GTEST_SKIP() << "no " << GetParam().Program;
    TWriterFixture::SetUp();
    Archive = Path("z64.zip");
    std::string names;
    for (const auto& name : SourceNames) names += " " + test::ShellQuote(name);
    std::string command;
    if (std::string(GetParam().Name) == "InfoZip") {
      command = "/usr/bin/zip -q -fz " + test::ShellQuote(Archive) + names;
    } else {
      test::WriteFileText(Path("make.py"), kPythonZip64);
      command =
          "python3 " + test::ShellQuote(Path("make.py")) + " " + test::ShellQuote(Archive) + names;
    }
    const auto r = test::RunCommand("cd " + test::ShellQuote(Src) + " && " + command);
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
  }

  // Every source member still there, byte for byte, through us and peers.
  void ExpectIntact(const std::vector<std::string>& names) {
    for (const auto& name : names) {
      EXPECT_EQ(Member(Archive, name), test::ReadFileBytes(Src + name)) << name;
    }
    ExpectPeersAccept(Archive);
    ExpectUnzipRestores(Archive, names);
    TUnZipEngine reader(Services());
    reader.SetZipName(Archive);
    reader.CheckLocalHeaders = true;
    reader.DoAll = true;
    TMemoryStream all;
    EXPECT_EQ(reader.UnZipToStream(all, "*"), static_cast<int>(names.size()));
  }

  std::string Archive;
};

TEST_P(Zip64Rewrites, DeleteKeepsTheOthers) {
  ASSERT_GE(SourceNames.size(), 2u);
  auto engine = RelativeEngine(Archive);
  engine->FilesList = {SourceNames.front()};
  EXPECT_EQ(engine->PerformDelete(), 1);
  ExpectIntact({SourceNames.begin() + 1, SourceNames.end()});
}

TEST_P(Zip64Rewrites, AddingAFileKeepsThem) {
  test::WriteFileText(Src + "new.txt", "a new member\n");
  auto engine = RelativeEngine(Archive);
  engine->FilesList = {Src + "new.txt"};
  EXPECT_EQ(engine->PerformZip(), 1);
  auto names = SourceNames;
  names.push_back("new.txt");
  ExpectIntact(names);
}

TEST_P(Zip64Rewrites, CommentChangeKeepsThem) {
  auto engine = RelativeEngine(Archive);
  engine->ReadZip();
  engine->SetFileComment(0, "a member comment");
  engine->SetZipComment("an archive comment");
  engine->CommitModified();
  ExpectIntact(SourceNames);
  TUnZipEngine reader(Services());
  reader.SetZipName(Archive);
  reader.ReadZip();
  EXPECT_EQ(reader.FileComment(0), "a member comment");
  EXPECT_EQ(reader.ZipComment(), "an archive comment");
}

TEST_P(Zip64Rewrites, RepairOfACutDirectoryKeepsThem) {
  auto bytes = test::ReadFileBytes(Archive);
  const u8 central[] = {'P', 'K', 1, 2};
  const auto at = std::search(bytes.begin(), bytes.end(), std::begin(central), std::end(central));
  ASSERT_NE(at, bytes.end());
  bytes.erase(at + 20, bytes.end());  // the directory cut off inside its first record
  test::WriteFileBytes(Archive, bytes);
  auto engine = RelativeEngine(Archive);
  engine->IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  const std::string fixed = Path("fixed.zip");
  EXPECT_EQ(engine->RepairArchive(Archive, fixed), 0);
  Archive = fixed;
  ExpectIntact(SourceNames);
}

INSTANTIATE_TEST_SUITE_P(Makers, Zip64Rewrites,
                         testing::Values(TMaker{"InfoZip", "/usr/bin/zip"},
                                         TMaker{"Python", "python3"}),
                         [](const auto& param) { return std::string(param.param.Name); });

}  // namespace
}  // namespace vz
