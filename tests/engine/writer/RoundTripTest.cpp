// Zip with ours, extract with ours and with Info-ZIP: byte-identical at every
// level, for the sizes and kinds of data where compressors go wrong.
#include <filesystem>

#include "tests/engine/writer/WriterFixture.h"

namespace vz {
namespace {

struct TRoundTripCase {
  int Level;
  bool Encrypted;
};

class RoundTripTest : public test::TWriterFixture,
                      public ::testing::WithParamInterface<TRoundTripCase> {
 protected:
  void SetUp() override {
    TWriterFixture::SetUp();
    Data = Path("data/");
    test::MakeFolders(Data + "many");
    Files = {{"empty", {}},
             {"one", {'x'}},
             {"random-16000", test::RandomBytes(16000, 1)},
             {"random-16001", test::RandomBytes(16001, 2)},
             {"text-32768", test::TextBytes(32768, 3)},
             {"text-200000", test::TextBytes(200000, 4)},
             {"run-70000", std::vector<u8>(70000, 0)},
             {"mixed-65536", test::RandomBytes(65536, 5)}};
    // Text whose repeats reach back across the window slide.
    auto slide = test::RandomBytes(40000, 6);
    slide.insert(slide.end(), slide.begin(), slide.begin() + 40000);
    Files.push_back({"slide-80000", slide});
    for (const auto& [name, bytes] : Files) test::WriteFileBytes(Data + name, bytes);
    for (int i = 0; i < 300; ++i) {
      test::WriteFileBytes(Data + "many/f" + std::to_string(i),
                           test::TextBytes(static_cast<std::size_t>(i * 7), static_cast<u32>(i)));
    }
  }

  std::string Data;
  std::vector<std::pair<std::string, std::vector<u8>>> Files;
};

TEST_P(RoundTripTest, OursAndInfoZipRestoreEveryByte) {
  const auto [level, encrypted] = GetParam();
  const std::string archive = Path("rt.zip");
  TZipEngine engine(Services());
  engine.SetZipName(archive);
  engine.SetRootDir(Data);
  engine.SetRelativePaths(true);
  engine.PackLevel = level;
  if (encrypted) engine.Password = "round trip";
  engine.FilesList = {Data + "*.*"};
  ASSERT_EQ(engine.PerformZip(), static_cast<int>(Files.size()) + 300);

  TUnZipEngine reader(Services());
  reader.SetZipName(archive);
  reader.Password = engine.Password;
  reader.DoAll = true;
  reader.RecreateDirs = true;
  reader.SetDestDir(Path("ours"));
  ASSERT_EQ(reader.UnZip(), static_cast<int>(Files.size()) + 300);
  for (const auto& [name, bytes] : Files) {
    EXPECT_EQ(test::ReadFileBytes(Path("ours/") + name), bytes) << name;
  }
  EXPECT_EQ(test::ReadFileBytes(Path("ours/many/f299")), test::TextBytes(299 * 7, 299));

  if (!test::HaveProgram("/usr/bin/unzip")) return;
  const auto r =
      test::RunCommand("/usr/bin/unzip -q " + (encrypted ? "-P 'round trip' " : std::string()) +
                       test::ShellQuote(archive) + " -d " + test::ShellQuote(Path("peer")));
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  for (const auto& [name, bytes] : Files) {
    EXPECT_EQ(test::ReadFileBytes(Path("peer/") + name), bytes) << name;
  }
  EXPECT_EQ(test::ReadFileBytes(Path("peer/many/f150")), test::TextBytes(150 * 7, 150));
}

INSTANTIATE_TEST_SUITE_P(Levels, RoundTripTest,
                         ::testing::Values(TRoundTripCase{0, false}, TRoundTripCase{1, false},
                                           TRoundTripCase{2, false}, TRoundTripCase{3, false},
                                           TRoundTripCase{4, false}, TRoundTripCase{5, false},
                                           TRoundTripCase{6, false}, TRoundTripCase{7, false},
                                           TRoundTripCase{8, false}, TRoundTripCase{9, false},
                                           TRoundTripCase{6, true}, TRoundTripCase{1, true}));

}  // namespace
}  // namespace vz
