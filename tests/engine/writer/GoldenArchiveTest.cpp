// Archives of a fixed tree (fixed contents, dates and modes, named one by one
// so that no folder listing order enters) must come out byte for byte as the
// checked-in copies in tests/data/golden. Any change to what the writer puts
// on disk shows here first. Only a deliberate change of the compressor or of
// the records may regenerate them: run this test with VZ_UPDATE_GOLDEN=1, and
// say in the commit why the bytes changed.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdlib>
#include <filesystem>

#include "tests/engine/writer/WriterFixture.h"
#include "tests/support/ScopedEnv.h"

namespace vz {
namespace {

constexpr time_t kWhen = 1'262'349'296;  // 2010-01-01 12:34:56 UTC

class GoldenArchive : public test::TWriterFixture, public testing::WithParamInterface<int> {
 protected:
  // The tree: its own files, not the fixture's, to keep the copies small.
  std::vector<std::string> MakeTree() {
    const std::string root = Path("golden/");
    const std::vector<std::pair<std::string, std::vector<u8>>> files = {
        {"readme.txt", test::TextBytes(20000, 7)},
        {"data/noise.bin", test::RandomBytes(3000, 8)},
        {"data/run.dat", std::vector<u8>(30000, 'z')},
        {"data/empty", {}},
        {"na\xC3\xAFve caf\xC3\xA9.txt", test::TextBytes(500, 9)},
    };
    test::MakeFolders(root + "data");
    test::MakeFolders(root + "void");
    std::vector<std::string> names;
    for (const auto& [name, data] : files) {
      test::WriteFileBytes(root + name, data);
      names.push_back(root + name);
    }
    names.push_back(root + "void/*");
    // Modes set outright: what the umask left would differ between machines.
    for (const auto& file : files) ::chmod((root + file.first).c_str(), 0644);
    ::chmod((root + "data/noise.bin").c_str(), 0600);
    for (const std::string& name : names) Stamp(name);
    for (const char* folder : {"data", "void", ""}) {
      ::chmod((root + folder).c_str(), 0755);
      Stamp(root + folder);
    }
    return names;
  }

  static void Stamp(const std::string& path) {
    const struct timespec times[2] = {{kWhen, 0}, {kWhen, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
};

TEST_P(GoldenArchive, MatchesTheCheckedInCopy) {
  const test::TScopedEnv utc("TZ", "UTC");
  ::tzset();
  const auto names = MakeTree();
  const std::string archive = Path("golden.zip");
  TZipEngine engine(Services());
  engine.SetZipName(archive);
  engine.SetRootDir(Path("golden/"));
  engine.SetRelativePaths(true);
  engine.Recurse = false;
  engine.PackLevel = GetParam();
  engine.FilesList = names;
  ASSERT_EQ(engine.PerformZip(), static_cast<int>(names.size()));

  const std::string source = std::getenv("VZ_SOURCE_DIR") ? std::getenv("VZ_SOURCE_DIR") : ".";
  const std::string golden =
      source + "/tests/data/golden/level" + std::to_string(GetParam()) + ".zip";
  const auto made = test::ReadFileBytes(archive);
  if (std::getenv("VZ_UPDATE_GOLDEN")) test::WriteFileBytes(golden, made);
  ASSERT_TRUE(std::filesystem::exists(golden)) << golden;
  EXPECT_TRUE(made == test::ReadFileBytes(golden))
      << "the archive written at level " << GetParam() << " differs from " << golden;
  ExpectPeersAccept(archive);
}

INSTANTIATE_TEST_SUITE_P(Levels, GoldenArchive, testing::Values(0, 1, 6, 9));

}  // namespace
}  // namespace vz
