// What the writer stores for each member and which files it takes: Unix
// modes, folder entries, records of copied members kept byte for byte, and
// the files it must report rather than leave out in silence.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "engine/format/ByteOrder.h"
#include "engine/support/DirSearch.h"
#include "engine/support/PathUtils.h"
#include "tests/engine/writer/WriterFixture.h"

namespace vz {
namespace {

class MemberRecordsTest : public test::TWriterFixture {
 protected:
  std::vector<std::string> Missing;

  std::unique_ptr<TZipEngine> Engine(const std::string& archive) {
    auto engine = RelativeEngine(archive);
    engine->OnNoSuchFile = [this](TZipEngine&, const std::string& name) {
      Missing.push_back(name);
    };
    return engine;
  }
};

// One record of an archive: the local header with its name and extra field,
// and the central record without its comment.
struct TRecords {
  std::vector<u8> Local;
  std::vector<u8> Central;
};

std::map<std::string, TRecords> RecordsOf(const std::vector<u8>& bytes) {
  std::size_t end = bytes.size() - 22;
  while (GetLE32(bytes, end) != 0x06054B50) --end;
  std::size_t at = GetLE32(bytes, end + 16);
  std::map<std::string, TRecords> records;
  for (u16 i = 0; i < GetLE16(bytes, end + 10); ++i) {
    const std::size_t centralLength = 46u + GetLE16(bytes, at + 28) + GetLE16(bytes, at + 30);
    std::vector<u8> central(bytes.begin() + static_cast<long>(at),
                            bytes.begin() + static_cast<long>(at + centralLength));
    const std::size_t local = GetLE32(bytes, at + 42);
    const std::size_t localLength = 30u + GetLE16(bytes, local + 26) + GetLE16(bytes, local + 28);
    const std::string name(bytes.begin() + static_cast<long>(at + 46),
                           bytes.begin() + static_cast<long>(at + 46 + GetLE16(bytes, at + 28)));
    PutLE32(central, 42, 0);  // where the member lies is allowed to change
    records[name] = {std::vector<u8>(bytes.begin() + static_cast<long>(local),
                                     bytes.begin() + static_cast<long>(local + localLength)),
                     central};
    at += centralLength + GetLE16(bytes, at + 32);
  }
  return records;
}

struct TPeerArchiveCase {
  const char* Name;
  const char* Program;
  const char* Command;  // run in Src; makes ../peer.zip
};

class CopiedRecords : public MemberRecordsTest,
                      public testing::WithParamInterface<TPeerArchiveCase> {};

TEST_P(CopiedRecords, StayByteForByteWithTheirExtraFields) {
  if (!test::HaveProgram(GetParam().Program)) GTEST_SKIP() << GetParam().Program;
  const auto made = test::RunCommand("cd " + test::ShellQuote(Src) + " && " + GetParam().Command);
  ASSERT_EQ(made.ExitCode, 0) << made.Output;
  const std::string archive = Path("peer.zip");
  const auto before = RecordsOf(test::ReadFileBytes(archive));
  ASSERT_EQ(before.size(), 2u);
  bool anyExtra = false;
  for (const auto& [name, records] : before)
    anyExtra = anyExtra || GetLE16(records.Central, 30) != 0;
  EXPECT_TRUE(anyExtra);  // the case is worth running
  auto engine = Engine(archive);
  engine->FilesList = {Src + "empty"};
  ASSERT_EQ(engine->PerformZip(), 1);
  const auto after = RecordsOf(test::ReadFileBytes(archive));
  for (const auto& [name, records] : before) {
    ASSERT_EQ(after.count(name), 1u) << name;
    EXPECT_EQ(after.at(name).Local, records.Local) << name;
    EXPECT_EQ(after.at(name).Central, records.Central) << name;
  }
  ExpectPeersAccept(archive);
  // And once more, from the engine's own catalogue of the rewritten archive.
  engine->FilesList = {Src + "sub/deeper/small.txt"};
  ASSERT_EQ(engine->PerformZip(), 1);
  const auto again = RecordsOf(test::ReadFileBytes(archive));
  for (const auto& [name, records] : before) EXPECT_EQ(again.at(name).Central, records.Central);
  ExpectPeersAccept(archive);
}

INSTANTIATE_TEST_SUITE_P(
    Peers, CopiedRecords,
    testing::Values(TPeerArchiveCase{"InfoZip", "/usr/bin/zip",
                                     "/usr/bin/zip -q ../peer.zip text.txt random.bin"},
                    TPeerArchiveCase{
                        "PythonZip64", "python3",
                        "python3 -c \"import zipfile; z = zipfile.ZipFile('../peer.zip', 'w', "
                        "zipfile.ZIP_DEFLATED)\nfor n in ('text.txt', 'random.bin'):\n"
                        " i = zipfile.ZipInfo(n, (2020, 1, 2, 3, 4, 6)); "
                        "i.extra = bytes.fromhex('feca0400') + b'abcd'\n"
                        " z.open(i, 'w', force_zip64=True).write(open(n, 'rb').read())\n"
                        "z.close()\""}),
    [](const testing::TestParamInfo<TPeerArchiveCase>& param) { return param.param.Name; });

TEST_F(MemberRecordsTest, EveryMemberCarriesItsUnixMode) {
  ASSERT_EQ(::chmod((Src + "text.txt").c_str(), 0600), 0);
  ASSERT_EQ(::chmod((Src + "random.bin").c_str(), 0755), 0);
  ASSERT_EQ(::chmod((Src + "sub/deeper").c_str(), 0700), 0);
  test::MakeFolders(Src + "sub/deeper/hollow");
  ASSERT_EQ(::chmod((Src + "sub/deeper/hollow").c_str(), 0750), 0);
  const std::string archive = Path("modes.zip");
  auto engine = Engine(archive);
  engine->FilesList = {Src + "*.*"};
  ASSERT_GT(engine->PerformZip(), 0);
  TUnZipEngine reader(Services());
  reader.SetZipName(archive);
  reader.ReadZip();
  std::map<std::string, u32> modes;
  for (int i = 0; i < reader.Count(); ++i) {
    const TZipHeaderInfo& entry = reader.Entry(i);
    EXPECT_EQ(entry.VersionMadeBy, kVersionMadeByUnix) << entry.FullName();
    modes[entry.FullName()] = entry.ExternalAttributes;
  }
  EXPECT_EQ(modes.at("text.txt"), 0100600u << 16 | 0x20);
  EXPECT_EQ(modes.at("random.bin"), 0100755u << 16 | 0x20);
  EXPECT_EQ(modes.at("sub/deeper/hollow/"), 040750u << 16 | 0x10);
  ASSERT_EQ(::chmod((Src + "sub/deeper").c_str(), 0755), 0);
  ExpectPeersAccept(archive);
  if (!test::HaveProgram("/usr/bin/unzip")) return;
  const std::string out = Path("out/");
  test::MakeFolders(out);
  const auto r = test::RunCommand("umask 022 && /usr/bin/unzip -q " + test::ShellQuote(archive) +
                                  " -d " + test::ShellQuote(out));
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  struct stat st {};
  ASSERT_EQ(::stat((out + "text.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  ASSERT_EQ(::stat((out + "random.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  ASSERT_EQ(::stat((out + "sub/deeper/hollow").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0750u);
}

TEST_F(MemberRecordsTest, EmptyFoldersBecomeFolderEntries) {
  test::MakeFolders(Src + "hollow");
  test::MakeFolders(Src + "sub/hollow2/inner");
  const std::string archive = Path("folders.zip");
  auto engine = Engine(archive);
  engine->FilesList = {Src + "*.*", Src + "hollow/*.*"};
  ASSERT_GT(engine->PerformZip(), 0);
  const auto names = Names(archive);
  EXPECT_EQ(std::count(names.begin(), names.end(), "hollow/"), 1);  // the second is a duplicate
  EXPECT_EQ(std::count(names.begin(), names.end(), "sub/hollow2/inner/"), 1);
  // Folders that hold something are implied by their members.
  EXPECT_EQ(std::count(names.begin(), names.end(), "sub/"), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), "sub/hollow2/"), 0);
  // A search for some files only, or a flat archive, keeps no folders.
  engine->SetZipName(Path("txt.zip"));
  engine->FilesList = {Src + "*.txt"};
  engine->PerformZip();
  for (const auto& name : Names(Path("txt.zip"))) EXPECT_NE(name.back(), '/') << name;
  ExpectPeersAccept(archive);
  if (!test::HaveProgram("/usr/bin/unzip")) return;
  const auto r = test::RunCommand("/usr/bin/unzip -q " + test::ShellQuote(archive) + " -d " +
                                  test::ShellQuote(Path("out")));
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_TRUE(std::filesystem::is_directory(Path("out/sub/hollow2/inner")));
}

TEST_F(MemberRecordsTest, NamesWithControlCharactersAreReportedNotStored) {
  const std::string newline = Src + "two\nlines.txt";
  const std::string escape = Src + "esc\x1b[31m.txt";
  test::WriteFileText(newline, "x");
  test::WriteFileText(escape, "y");
  const std::string archive = Path("ctl.zip");
  auto engine = Engine(archive);
  engine->FilesList = {newline, Src + "*.txt"};
  EXPECT_EQ(engine->PerformZip(), 2);
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"text.txt", "sub/deeper/small.txt"}));
  std::sort(Missing.begin(), Missing.end());
  Missing.erase(std::unique(Missing.begin(), Missing.end()), Missing.end());
  EXPECT_EQ(Missing, (std::vector<std::string>{escape, newline}));
}

TEST_F(MemberRecordsTest, PatternsThatMatchNothingAreReported) {
  auto engine = Engine(Path("none.zip"));
  engine->FilesList = {Src + "nomatch*", Src + "text.txt", Src + "missing/*.c"};
  EXPECT_EQ(engine->PerformZip(), 1);
  EXPECT_EQ(Missing, (std::vector<std::string>{Src + "nomatch*", Src + "missing/*.c"}));
}

TEST_F(MemberRecordsTest, FilesBesideTheRootAreStoredWithoutClimbingOut) {
  test::MakeFolders(Path("outside"));
  test::WriteFileText(Path("outside/f.txt"), "f");
  test::WriteFileText(Path("beside.txt"), "b");
  auto engine = Engine(Path("up.zip"));
  engine->FilesList = {Src + "../outside/f.txt", Path("beside.txt"), Src + "text.txt"};
  EXPECT_EQ(engine->PerformZip(), 3);
  EXPECT_EQ(Names(Path("up.zip")),
            (std::vector<std::string>{"outside/f.txt", "beside.txt", "text.txt"}));
}

// ---- the folder search ----

class SearchReach : public MemberRecordsTest {
 protected:
  std::vector<std::string> Search(const std::string& mask) {
    TDirSearch search(Fake.Files, Src, true, mask);
    search.OnUnreadable = [this](const std::string& folder, int error) {
      Unreadable.emplace_back(folder, error);
    };
    std::vector<std::string> found;
    while (auto f = search.Next()) found.push_back(f->Path.substr(Src.size()));
    return found;
  }
  std::vector<std::pair<std::string, int>> Unreadable;
};

TEST_F(SearchReach, ATreeOfAnyDepthIsSearchedToTheBottom) {
  std::string deep = Src + "chain/";
  for (int i = 0; i < 60; ++i) deep += "l" + std::to_string(i) + "/";
  test::MakeFolders(deep);
  test::WriteFileText(deep + "bottom.c", "x");
  const auto found = Search("*.c");
  EXPECT_EQ(found, std::vector<std::string>{deep.substr(Src.size()) + "bottom.c"});
  EXPECT_TRUE(Unreadable.empty());
}

TEST_F(SearchReach, FoldersThatCannotBeReadAreReportedByName) {
  Fake.Files.FailListing(Src + "sub/deeper", EACCES);
  const auto found = Search("*.*");
  EXPECT_EQ(std::count(found.begin(), found.end(), "sub/deeper/small.txt"), 0);
  EXPECT_EQ(Unreadable, (std::vector<std::pair<std::string, int>>{{Src + "sub/deeper", EACCES}}));
  // Through the engine, the folder is a file left out.
  auto engine = Engine(Path("part.zip"));
  engine->FilesList = {">" + Src + "*.*"};
  engine->PerformZip();
  EXPECT_EQ(Missing, std::vector<std::string>{Src + "sub/deeper"});
}

TEST_F(SearchReach, PathsLongerThanTheSystemAllowsAreReported) {
  // Made folder by folder relative to the last, as no path of that length
  // can be named whole.
  const std::string part(200, 'd');
  int fd = ::open(Src.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < 25; ++i) {
    ASSERT_EQ(::mkdirat(fd, part.c_str(), 0755), 0);
    const int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    ASSERT_GE(next, 0);
    fd = next;
  }
  const int file = ::openat(fd, "lost.c", O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(file, 0);
  ::close(file);
  ::close(fd);
  Search("*.c");
  ASSERT_EQ(Unreadable.size(), 1u);
  EXPECT_EQ(Unreadable[0].second, ENAMETOOLONG);
  EXPECT_GT(Unreadable[0].first.size(), 4000u);
  // The fixture's clean-up cannot name these folders either.
  const std::string top = Src + part;
  test::RunCommand("rm -rf " + test::ShellQuote(top));
}

}  // namespace
}  // namespace vz
