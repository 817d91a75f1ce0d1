// Self-extracting files made by the engine's own builder, run for real.
#include <gtest/gtest.h>

#include "engine/writer/ZipEngine.h"
#include "platform/DosTime.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/sfx/SfxHarness.h"
#include "tests/support/TestFiles.h"

namespace vz::test {
namespace {

struct TBuildCase {
  std::string Name;
  int Level;
  std::string Password;
};

class SfxFromEngineTest : public ::testing::TestWithParam<TBuildCase> {
 protected:
  TSilentHost Host;
  TPosixPlatform Platform{Host};
  TScratch Scratch;
};

TEST_P(SfxFromEngineTest, ExtractsEveryMemberWithItsDate) {
  const auto& c = GetParam();
  const std::string src = Scratch / "src/";
  MakeFolders(src + "docs");
  const std::vector<std::pair<std::string, std::vector<u8>>> files = {
      {"text.txt", TextBytes(120000, 1)},
      {"random.bin", RandomBytes(20000, 2)},
      {"empty", {}},
      {"docs/readme.txt", TextBytes(900, 3)}};
  for (const auto& [name, bytes] : files) {
    WriteFileBytes(src + name, bytes);
    SetModified(src + name, 1'600'000'001);  // an odd second: stored as the next even one
  }
  TZipEngine engine(Platform.Services());
  engine.SetZipName(Scratch / "made.zip");
  engine.SetRootDir(src);
  engine.SetRelativePaths(true);
  engine.PackLevel = c.Level;
  engine.Password = c.Password;
  engine.FilesList = {src + "*.*"};
  ASSERT_EQ(engine.PerformZip(), 4);
  engine.BuildSelfExtractor(StubPath());
  const std::string exe = Scratch / "made.exe";

  const std::string out = Scratch / "elsewhere";
  MakeFolders(out);
  const std::string answers = "\n" + (c.Password.empty() ? "" : c.Password + "\n");
  const TSfxRun run = RunIn(out, exe, answers);
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find(kSuccessLine), std::string::npos) << run.Output;
  EXPECT_LE(CountOf(run.Output, "A password is required"), 1);
  for (const auto& [name, bytes] : files) {
    EXPECT_EQ(ReadFileBytes(out + "/" + name), bytes) << name;
    EXPECT_EQ(ModifiedTime(out + "/" + name), 1'600'000'002) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Builds, SfxFromEngineTest,
    ::testing::Values(TBuildCase{"stored", 0, ""}, TBuildCase{"level1", 1, ""},
                      TBuildCase{"level2", 2, ""}, TBuildCase{"level3", 3, ""},
                      TBuildCase{"level4", 4, ""}, TBuildCase{"level5", 5, ""},
                      TBuildCase{"level6", 6, ""}, TBuildCase{"level7", 7, ""},
                      TBuildCase{"level8", 8, ""}, TBuildCase{"level9", 9, ""},
                      TBuildCase{"storedEncrypted", 0, "secret"},
                      TBuildCase{"deflatedEncrypted", 6, "secret"}),
    CaseName<TBuildCase>);

}  // namespace
}  // namespace vz::test
