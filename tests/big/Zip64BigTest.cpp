// Zip64 at full size: members of 4 GiB and more, archives past 4 GiB and
// 70,000 members, written by us and tested by Info-ZIP, 7-Zip and Python,
// and written by them and read by us. The data is sparse or compressible
// so that each test takes seconds, not minutes; still, these tests carry
// the CTest label "big" and stay out of the sanitizer run.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/writer/ZipEngine.h"
#include "tests/support/EngineFixture.h"

namespace vz {
namespace {

constexpr i64 kHugeSize = 4 * (i64{1} << 30) + (i64{1} << 29);  // 4.5 GiB
constexpr int kManyMembers = 70000;

// Takes a member's bytes without keeping them: counts them and checks they
// are all zero (the content of a sparse file).
class TZeroSink : public TStream {
 public:
  std::size_t Read(std::span<u8>) override { return 0; }
  std::size_t Write(std::span<const u8> data) override {
    for (const u8 b : data) FNonZero += b != 0 ? 1 : 0;
    FPosition += static_cast<i64>(data.size());
    FSize = std::max(FSize, FPosition);
    return data.size();
  }
  i64 Seek(i64 offset, TSeekOrigin origin) override {
    if (origin == TSeekOrigin::Begin) FPosition = offset;
    if (origin == TSeekOrigin::Current) FPosition += offset;
    if (origin == TSeekOrigin::End) FPosition = FSize + offset;
    return FPosition;
  }
  i64 Size() override { return FSize; }
  void SetSize(i64 size) override { FSize = size; }
  i64 NonZero() const { return FNonZero; }

 private:
  i64 FPosition = 0;
  i64 FSize = 0;
  i64 FNonZero = 0;
};

// A source that says it is small and then delivers 4 GiB of zeros, as a
// file that grows while it is added.
class TGrowingSource : public TStream {
 public:
  std::size_t Read(std::span<u8> buffer) override {
    const auto n = static_cast<std::size_t>(
        std::min<i64>(static_cast<i64>(buffer.size()), kGrownSize - FPosition));
    std::fill_n(buffer.begin(), n, u8{0});
    FPosition += static_cast<i64>(n);
    return n;
  }
  std::size_t Write(std::span<const u8>) override { return 0; }
  i64 Seek(i64 offset, TSeekOrigin origin) override {
    FPosition = origin == TSeekOrigin::Begin ? offset : FPosition + offset;
    return FPosition;
  }
  i64 Size() override { return 1000; }
  void SetSize(i64) override {}

  static constexpr i64 kGrownSize = (i64{1} << 32) + 10;

 private:
  i64 FPosition = 0;
};

class Zip64BigTest : public test::TEngineFixture {
 protected:
  void SetUp() override {
    for (const char* peer : {"/usr/bin/zip", "/usr/bin/unzip", "7z", "python3"}) {
      if (!test::HaveProgram(peer)) GTEST_SKIP() << "no " << peer;
    }
  }

  std::string Sparse(const std::string& name, i64 size) {
    const std::string path = Path(name);
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
    return path;
  }

  static void Run(const std::string& command) {
    const auto r = test::RunCommand(command);
    EXPECT_EQ(r.ExitCode, 0) << command << "\n" << r.Output;
  }

  // Info-ZIP, 7-Zip and Python each test every member of the archive.
  static void PeersTest(const std::string& zip) {
    const std::string q = test::ShellQuote(zip);
    Run("/usr/bin/unzip -tqq " + q);
    Run("7z t -bd -bso0 " + q);
    Run("python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
        "sys.exit(1 if z.testzip() is not None else 0)' " +
        q);
  }

  // Our test of the huge member: every byte decoded, CRC right, all zero.
  void ExpectZeroMember(const std::string& zip, const std::string& name, i64 size) {
    TUnZipEngine engine(Services());
    engine.SetZipName(zip);
    engine.ReadZip();
    int index = -1;
    for (int i = 0; i < engine.Count(); ++i) {
      if (engine.FullName(i) == name) index = i;
    }
    ASSERT_GE(index, 0);
    EXPECT_EQ(engine.UncompressedSize(index), static_cast<u64>(size));
    TZeroSink sink;
    EXPECT_EQ(engine.UnZipToStream(sink, name), 1);
    EXPECT_EQ(sink.Size(), size);
    EXPECT_EQ(sink.NonZero(), 0);
  }

  // 70,000 files of a few bytes each, in 70 folders.
  std::string ManyFiles() {
    const std::string root = Path("many/");
    for (int i = 0; i < kManyMembers; ++i) {
      const std::string folder = root + "d" + std::to_string(i / 1000) + "/";
      if (i % 1000 == 0) std::filesystem::create_directories(folder);
      std::ofstream(folder + "f" + std::to_string(i)) << i;
    }
    return root;
  }

  // The tree of ManyFiles() zipped by us into `zip`, which needs Zip64
  // records for its member count.
  void ZipManyFiles(const std::string& root, const std::string& zip) {
    TZipEngine engine(Services());
    engine.SetZipName(zip);
    engine.SetRootDir(Path(""));
    engine.SetStorePaths(true);
    engine.SetRelativePaths(true);
    engine.Recurse = true;
    engine.FilesList = {root + "*"};
    EXPECT_EQ(engine.PerformZip(), kManyMembers);
  }

  static bool HasZip64End(TUnZipEngine& engine, const std::string& zip) {
    engine.SetZipName(zip);
    engine.ReadZip();
    return engine.EndCentral().Zip64;
  }

  // How many files of ManyFiles()'s tree are missing below `out` or differ.
  static int DifferingFiles(const std::string& out) {
    int differ = 0;
    for (int i = 0; i < kManyMembers; ++i) {
      const std::string path = out + "many/d" + std::to_string(i / 1000) + "/f" + std::to_string(i);
      if (!test::FileExists(path) || test::ReadFileText(path) != std::to_string(i)) ++differ;
    }
    return differ;
  }

  // Every member of `zip` listed and extracted by us, the same as the tree.
  void ExpectManyExtract(const std::string& zip) {
    TUnZipEngine engine(Services());
    engine.SetZipName(zip);
    engine.ReadZip();
    int files = 0;
    for (int i = 0; i < engine.Count(); ++i) files += engine.Filename(i).empty() ? 0 : 1;
    EXPECT_EQ(files, kManyMembers);
    engine.SetDestDir(Path("out"));
    engine.DoAll = true;
    engine.RecreateDirs = true;
    EXPECT_EQ(engine.UnZip(), engine.Count());
    EXPECT_EQ(DifferingFiles(Path("out/")), 0);
  }
};

TEST_F(Zip64BigTest, OurMemberOf4_5GiBAndAMemberAfterIt) {
  const std::string huge = Sparse("huge.bin", kHugeSize);
  test::WriteFileText(Path("after.txt"), "after the huge member\n");
  TZipEngine engine(Services());
  engine.SetZipName(Path("ours.zip"));
  engine.PackLevel = 1;
  engine.FilesList = {huge, Path("after.txt")};
  ASSERT_EQ(engine.PerformZip(), 2);
  PeersTest(Path("ours.zip"));
  ExpectZeroMember(Path("ours.zip"), "huge.bin", kHugeSize);
}

// Stored, the member takes more than 4 GiB of the archive: the next local
// header and the directory lie past 4 GiB. Deleting the first member and
// changing a comment rewrite the archive around the Zip64 member.
TEST_F(Zip64BigTest, OurArchivePast4GiBSurvivesDeleteAndComment) {
  const std::string huge = Sparse("stored.bin", (i64{1} << 32) + 4096);
  test::WriteFileText(Path("first.txt"), "first\n");
  test::WriteFileText(Path("after.txt"), "after\n");
  TZipEngine engine(Services());
  engine.SetZipName(Path("stored.zip"));
  engine.PackLevel = 0;
  engine.FilesList = {Path("first.txt"), huge, Path("after.txt")};
  ASSERT_EQ(engine.PerformZip(), 3);
  engine.ReadZip();
  EXPECT_TRUE(engine.EndCentral().Zip64);
  EXPECT_GT(engine.EndCentral().CentralDirOffset, u64{0xFFFFFFFF});
  engine.FilesList = {"first.txt"};
  EXPECT_EQ(engine.PerformDelete(), 1);
  engine.SetFileComment(1, "comment on a member past 4 GiB");
  engine.CommitModified();
  PeersTest(Path("stored.zip"));
  TUnZipEngine reader(Services());
  reader.SetZipName(Path("stored.zip"));
  reader.ReadZip();
  ASSERT_EQ(reader.Count(), 2);
  EXPECT_EQ(reader.FileComment(1), "comment on a member past 4 GiB");
  TMemoryStream after;
  EXPECT_EQ(reader.UnZipToStream(after, "after.txt"), 1);
  EXPECT_EQ(std::string(after.Memory().begin(), after.Memory().end()), "after\n");
}

// Its header has no room for Zip64 sizes: the run fails instead of storing
// sizes that lie, and no archive is left.
TEST_F(Zip64BigTest, SourceThatGrowsPast4GiBFailsTheRun) {
  TZipEngine engine(Services());
  engine.SetZipName(Path("grown.zip"));
  engine.PackLevel = 1;
  TGrowingSource source;
  try {
    engine.PerformZipFromStream(source, "grown.bin");
    FAIL() << "stored";
  } catch (const EZipLimitError& e) {
    EXPECT_NE(std::string(e.what()).find("grew to 4 GiB or more"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(test::FileExists(Path("grown.zip")));
}

TEST_F(Zip64BigTest, PeersMembersOf4_5GiB) {
  const std::string huge = Sparse("huge.bin", kHugeSize);
  const std::string folder = test::ShellQuote(Path(""));
  Run("cd " + folder + " && /usr/bin/zip -q -1 infozip.zip huge.bin");
  Run("cd " + folder + " && 7z a -bd -bso0 -tzip -mx=1 7zip.zip huge.bin");
  ExpectZeroMember(Path("infozip.zip"), "huge.bin", kHugeSize);
  ExpectZeroMember(Path("7zip.zip"), "huge.bin", kHugeSize);
}

// One tree of 70,000 files (making them is the slow part) zipped by us, by
// Info-ZIP and by Python; each archive listed and extracted by us, ours
// tested by the peers.
TEST_F(Zip64BigTest, ArchivesOf70000Members) {
  const std::string root = ManyFiles();
  ZipManyFiles(root, Path("many.zip"));
  PeersTest(Path("many.zip"));
  TUnZipEngine reader(Services());
  EXPECT_TRUE(HasZip64End(reader, Path("many.zip")));
  ExpectManyExtract(Path("many.zip"));

  const std::string folder = test::ShellQuote(Path(""));
  Run("cd " + folder + " && /usr/bin/zip -q -r infozip.zip many");
  std::filesystem::remove_all(Path("out"));
  ExpectManyExtract(Path("infozip.zip"));
  Run("cd " + folder +
      " && python3 -c 'import os, zipfile\n"
      "with zipfile.ZipFile(\"python.zip\", \"w\") as z:\n"
      "  for d, _, fs in os.walk(\"many\"):\n"
      "    for f in fs: z.write(os.path.join(d, f))'");
  std::filesystem::remove_all(Path("out"));
  ExpectManyExtract(Path("python.zip"));
}

// A self-extracting program made by us from an archive of 70,000 members:
// the stub in front moves the Zip64 end record and its locator along with
// the directory, and the stub itself finds them and extracts every file.
TEST_F(Zip64BigTest, SelfExtractorOf70000Members) {
  const std::string root = ManyFiles();
  TZipEngine engine(Services());
  ZipManyFiles(root, Path("many.zip"));
  engine.SetZipName(Path("many.zip"));
  engine.ReadZip();
  engine.BuildSelfExtractor(VZ_SFX_STUB);
  ASSERT_TRUE(test::FileExists(Path("many.exe")));
  TUnZipEngine reader(Services());
  EXPECT_TRUE(HasZip64End(reader, Path("many.exe")));
  EXPECT_GE(reader.Count(), kManyMembers);

  std::filesystem::create_directories(Path("out"));
  // Enter takes the offered folder, the current one.
  const auto run = test::RunCommand("cd " + test::ShellQuote(Path("out")) + " && printf '\\n' | " +
                                    test::ShellQuote(Path("many.exe")));
  EXPECT_EQ(run.ExitCode, 0) << run.Output.substr(0, 2000);
  EXPECT_NE(run.Output.find("extraction successful"), std::string::npos)
      << run.Output.substr(run.Output.size() - std::min<std::size_t>(run.Output.size(), 2000));
  EXPECT_EQ(DifferingFiles(Path("out/")), 0);
}

}  // namespace
}  // namespace vz
