#include "engine/writer/ZipEngine.h"

#include <sys/stat.h>

#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "tests/support/EngineFixture.h"

namespace vz {
namespace {

class ZipEngineTest : public test::TEngineFixture {
 protected:
  void SetUp() override {
    Src = Path("src/");
    test::MakeFolders(Src + "sub");
    test::WriteFileBytes(Src + "text.txt", test::TextBytes(100000, 1));
    test::WriteFileBytes(Src + "random.bin", test::RandomBytes(5000, 2));
    test::WriteFileText(Src + "empty", "");
    test::WriteFileBytes(Src + "sub/run.dat", std::vector<u8>(70000, 'a'));
  }

  // Extracts everything with Info-ZIP and compares with the sources.
  void ExpectUnzipRestores(const std::string& archive, const std::vector<std::string>& names,
                           const std::string& password = "") {
    if (!test::HaveProgram("unzip")) GTEST_SKIP();
    const std::string out = Path("unzipped/");
    test::MakeFolders(out);
    const auto r = test::RunCommand("unzip -o -q " +
                                    (password.empty() ? "" : "-P " + password + " ") +
                                    test::ShellQuote(archive) + " -d " + test::ShellQuote(out));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    for (const auto& name : names) {
      EXPECT_EQ(test::ReadFileBytes(out + name), test::ReadFileBytes(Src + name)) << name;
    }
    const auto t = test::RunCommand("unzip -tq " + (password.empty() ? "" : "-P " + password + " ") +
                                    test::ShellQuote(archive));
    EXPECT_EQ(t.ExitCode, 0) << t.Output;
  }

  std::string Src;
};

TEST_F(ZipEngineTest, NewArchiveWithRelativePathsPassesUnzip) {
  TZipEngine engine(Services());
  engine.SetZipName(Path("new.zip"));
  engine.SetRootDir(Src);
  engine.SetRelativePaths(true);
  engine.FilesList = {Src + "*.*"};
  EXPECT_EQ(engine.PerformZip(), 4);
  EXPECT_EQ(engine.Count(), 4);
  ExpectUnzipRestores(Path("new.zip"), {"text.txt", "random.bin", "empty", "sub/run.dat"});
}

TEST_F(ZipEngineTest, EncryptedArchivePassesUnzipWithThePassword) {
  TZipEngine engine(Services());
  engine.SetZipName(Path("enc.zip"));
  engine.SetRootDir(Src);
  engine.SetRelativePaths(true);
  engine.Password = "secret";
  engine.FilesList = {Src + "*.*"};
  EXPECT_EQ(engine.PerformZip(), 4);
  ExpectUnzipRestores(Path("enc.zip"), {"text.txt", "random.bin", "empty", "sub/run.dat"},
                      "secret");
}

TEST_F(ZipEngineTest, UpdateCopiesAndRoundTripsThroughOurExtraction) {
  TZipEngine engine(Services());
  engine.SetZipName(Path("up.zip"));
  engine.SetRootDir(Src);
  engine.SetRelativePaths(true);
  engine.FilesList = {Src + "text.txt"};
  EXPECT_EQ(engine.PerformZip(), 1);
  engine.FilesList = {Src + "text.txt", Src + "random.bin"};
  EXPECT_EQ(engine.PerformZip(), 1);  // text.txt unchanged: copied
  EXPECT_EQ(engine.Count(), 2);
  engine.DoAll = true;
  engine.RecreateDirs = true;
  engine.SetDestDir(Path("x"));
  EXPECT_EQ(engine.UnZip(), 2);
  EXPECT_EQ(test::ReadFileBytes(Path("x/random.bin")), test::ReadFileBytes(Src + "random.bin"));
  EXPECT_EQ(test::ReadFileBytes(Path("x/text.txt")), test::ReadFileBytes(Src + "text.txt"));
}

TEST_F(ZipEngineTest, AFileThatCannotBeAddedIsReportedNotLeftOutSilently) {
  ASSERT_EQ(::mkfifo((Src + "pipe").c_str(), 0600), 0);
  TZipEngine engine(Services());
  std::vector<std::string> reported;
  engine.OnNoSuchFile = [&](TZipEngine&, const std::string& name) { reported.push_back(name); };
  engine.SetZipName(Path("some.zip"));
  engine.FilesList = {Src + "pipe", Src + "text.txt", Src + "sub"};
  EXPECT_EQ(engine.PerformZip(), 1);
  // The folder named in the list is left out quietly.
  EXPECT_EQ(reported, std::vector<std::string>{Src + "pipe"});
  EXPECT_EQ(engine.Count(), 1);
}

TEST_F(ZipEngineTest, RepairOfAnArchiveCutInsideAMemberKeepsTheWholeOnes) {
  TZipEngine engine(Services());
  engine.SetZipName(Path("whole.zip"));
  engine.SetRootDir(Src);
  engine.SetRelativePaths(true);
  engine.FilesList = {Src + "random.bin", Src + "empty", Src + "text.txt"};
  ASSERT_EQ(engine.PerformZip(), 3);
  const auto bytes = test::ReadFileBytes(Path("whole.zip"));
  // Cut 100 bytes into text.txt's data, past the two whole members.
  ASSERT_EQ(engine.FullName(2), "text.txt");
  const std::size_t cut = engine.Entry(2).RelativeOffset + 30 + 8 + 100;
  test::WriteFileBytes(Path("cut.zip"), std::vector<u8>(bytes.begin(), bytes.begin() + cut));

  TZipEngine repair(Services());
  repair.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  repair.RepairArchive(Path("cut.zip"), Path("fixed.zip"));
  repair.ReadZip();
  ASSERT_EQ(repair.Count(), 2);
  EXPECT_EQ(repair.FullName(0), "random.bin");
  EXPECT_EQ(repair.FullName(1), "empty");
  ExpectUnzipRestores(Path("fixed.zip"), {"random.bin", "empty"});
}

}  // namespace
}  // namespace vz
