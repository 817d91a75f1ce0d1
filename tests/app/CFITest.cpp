// Folder-archive records: the file's round trip, lookup, moving and copying
// records, the 90-day clean and the failures that stop the program's start.
#include "app/core/CFI.h"

#include <chrono>
#include <filesystem>

#include "app/core/AppErrors.h"
#include "tests/app/AppFixture.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

using namespace std::chrono_literals;

class CFITest : public test::AppFixture {
 protected:
  void Fill(TCFI& cfi, const std::string& name, const std::string& root = "/src/",
            const std::string& source = "/src/") {
    cfi.Name = name;
    cfi.RootDir = root;
    cfi.SourcePath = source;
    cfi.PathMode = TPathMode::RelativePaths;
    cfi.Recurse = 1;
    cfi.PackLevel = 9;
  }
  void AdvanceDays(int days) { Fake.Clock.Time += days * 24h; }
};

// ---------------------------------------------------------------- round trip

struct TRecordCase {
  std::string Archive;
  std::string RootDir;
  std::string SourcePath;
  friend void PrintTo(const TRecordCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.Archive);
  }
};

class CFIRoundTripTest : public CFITest, public ::testing::WithParamInterface<TRecordCase> {};

TEST_P(CFIRoundTripTest, RecordSurvivesTheFile) {
  const TRecordCase& c = GetParam();
  {
    TCFI cfi(App);
    cfi.Name = c.Archive;
    cfi.RootDir = c.RootDir;
    cfi.SourcePath = c.SourcePath;
    cfi.PathMode = TPathMode::StoreVolumes;
    cfi.Recurse = 1;
    cfi.PackLevel = 0;
    cfi.Save();
    cfi.Name = "/other.zip";
    cfi.Save();
  }
  TCFI reloaded(App);
  ASSERT_EQ(reloaded.Records.size(), 2u);
  ASSERT_TRUE(reloaded.Find(c.Archive));
  EXPECT_EQ(reloaded.Name, c.Archive);
  EXPECT_EQ(reloaded.RootDir, c.RootDir);
  EXPECT_EQ(reloaded.SourcePath, c.SourcePath);
  EXPECT_EQ(reloaded.PathMode, TPathMode::StoreVolumes);
  EXPECT_EQ(reloaded.Recurse, 1);
  EXPECT_EQ(reloaded.PackLevel, 0);
  EXPECT_EQ(reloaded.RecordVersion, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CFIRoundTripTest,
    ::testing::Values(TRecordCase{"/home/u/plain.zip", "/home/u/", "/home/u/src/"},
                      TRecordCase{"/home/u/with blanks.zip", "/my root/", "/my src/"},
                      TRecordCase{"/home/u/a,b.zip", "/r,1/", "/s,\"2\"/"},
                      TRecordCase{"/home/u/x=y.zip", "/a=b/", "/c=d/"},
                      TRecordCase{"\"/quoted\".zip", "", ""},
                      TRecordCase{"/home/u/Ärchiv ünd.zip", " lead", "trail "}));

TEST_F(CFITest, LineHasTheDocumentedForm) {
  TCFI cfi(App);
  Fill(cfi, "/a/b.zip", "/r/", "/s t/");
  cfi.Save();
  EXPECT_EQ(test::ReadFileText(cfi.FileName), "/a/b.zip=/r/,\"/s t/\",3,1,9,1\n");
  EXPECT_EQ(cfi.FileName, Globals.AppDir + "CFI.vdb");
}

TEST_F(CFITest, LookupIgnoresLetterCaseAndBothSpellingsShareOneLine) {
  TCFI cfi(App);
  Fill(cfi, "/data/Archive.ZIP");
  cfi.Save();
  ASSERT_TRUE(cfi.Find("/DATA/archive.zip"));
  EXPECT_EQ(cfi.Name, "/DATA/archive.zip");
  cfi.PackLevel = 2;
  cfi.Save();
  ASSERT_EQ(cfi.Records.size(), 1u);
  ASSERT_TRUE(cfi.Find("/data/ARCHIVE.zip"));
  EXPECT_EQ(cfi.PackLevel, 2);
}

TEST_F(CFITest, FindClearsTheRecordWhenThereIsNoUsableLine) {
  test::WriteFileText(Globals.AppDir + "CFI.vdb",
                      "/short.zip=/r/,/s/,3\n/bad.zip=/r/,/s/,x,1,6,1\nno separator\n");
  TCFI cfi(App);
  Fill(cfi, "/set.zip");
  EXPECT_FALSE(cfi.Find("/missing.zip"));
  EXPECT_EQ(cfi.Name, "");
  EXPECT_EQ(cfi.RootDir, "");
  EXPECT_EQ(cfi.PackLevel, 0);
  EXPECT_FALSE(cfi.Find("/short.zip"));
  EXPECT_FALSE(cfi.Find("no separator"));
  Fill(cfi, "/set.zip");
  try {
    cfi.Find("/bad.zip");
    FAIL() << "no conversion error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid integer value");
  }
  EXPECT_EQ(cfi.Name, "");
}

TEST_F(CFITest, ChangingARecordWithoutANameIsRefused) {
  TCFI cfi(App);
  const auto expectRefused = [](auto&& call) {
    try {
      call();
      FAIL() << "no ECFIError";
    } catch (const ECFIError& e) {
      EXPECT_STREQ(e.what(), "Name property is empty.");
    }
  };
  expectRefused([&] { cfi.Save(); });
  expectRefused([&] { cfi.MoveTo("/x.zip"); });
  expectRefused([&] { cfi.SaveAs("/x.zip"); });
  EXPECT_FALSE(test::FileExists(cfi.FileName));
}

// ---------------------------------------------------------------- move, copy

TEST_F(CFITest, MoveToCarriesTheRecordToTheNewName) {
  TCFI cfi(App);
  Fill(cfi, "/a/old.zip", "/root/");
  cfi.Save();
  Fill(cfi, "/a/keep.zip");
  cfi.Save();
  ASSERT_TRUE(cfi.Find("/a/old.zip"));
  cfi.MoveTo("/a/new.exe");
  EXPECT_EQ(cfi.Name, "/a/new.exe");
  TCFI reloaded(App);
  EXPECT_FALSE(reloaded.Find("/a/old.zip"));
  ASSERT_TRUE(reloaded.Find("/a/new.exe"));
  EXPECT_EQ(reloaded.RootDir, "/root/");
  EXPECT_TRUE(reloaded.Find("/a/keep.zip"));
  EXPECT_EQ(reloaded.Records.size(), 2u);
}

TEST_F(CFITest, MoveToANameDifferingOnlyInCaseKeepsTheRecord) {
  TCFI cfi(App);
  Fill(cfi, "/a/name.zip");
  cfi.Save();
  cfi.MoveTo("/a/NAME.zip");
  TCFI reloaded(App);
  ASSERT_TRUE(reloaded.Find("/a/NAME.zip"));
  EXPECT_EQ(reloaded.Records, std::vector<std::string>{"/a/NAME.zip=/src/,/src/,3,1,9,1"});
}

TEST_F(CFITest, MoveToWithoutALineDoesNothing) {
  TCFI cfi(App);
  Fill(cfi, "/a/unsaved.zip");
  cfi.MoveTo("/a/elsewhere.zip");
  EXPECT_EQ(cfi.Name, "/a/unsaved.zip");
  EXPECT_TRUE(cfi.Records.empty());
  EXPECT_FALSE(test::FileExists(cfi.FileName));
}

TEST_F(CFITest, SaveAsCopiesTheRecordAndKeepsTheOldLine) {
  TCFI cfi(App);
  Fill(cfi, "/a/one.zip");
  cfi.Save();
  cfi.SaveAs("/a/one.exe");
  TCFI reloaded(App);
  EXPECT_TRUE(reloaded.Find("/a/one.zip"));
  EXPECT_TRUE(reloaded.Find("/a/one.exe"));
}

TEST_F(CFITest, RecordWithALineBreakIsLeftOutAndTheFileStaysWhole) {
  TCFI cfi(App);
  Fill(cfi, "/a/good.zip");
  cfi.Save();
  const std::string before = test::ReadFileText(cfi.FileName);
  Fill(cfi, "/a/bad\nname.zip");
  cfi.Save();
  Fill(cfi, "/a/good2.zip", "/root\r/");
  cfi.Save();
  EXPECT_EQ(test::ReadFileText(cfi.FileName), before);
  TCFI reloaded(App);
  EXPECT_EQ(reloaded.Records.size(), 1u);
}

// ---------------------------------------------------------------- the file

TEST_F(CFITest, DatabaseThatCannotBeReadStopsTheStart) {
  const std::string path = Globals.AppDir + "CFI.vdb";
  test::MakeFolders(path);  // a folder cannot be read as a file, even by root
  try {
    TCFI cfi(App);
    FAIL() << "no ECFIError";
  } catch (const ECFIError& e) {
    EXPECT_EQ(std::string(e.what()), "Could not load " + path + ".");
  }
}

TEST_F(CFITest, ReadOnlyProgramFolderPutsTheDatabaseInTheDataFolder) {
  Fake.Files.DenyCreateBelow = Globals.AppDir;
  TCFI cfi(App);
  EXPECT_EQ(cfi.FileName, Fake.Environment.DataFolder + "Varnel/Zip/CFI.vdb");
  Fill(cfi, "/a.zip");
  cfi.Save();
  EXPECT_TRUE(test::FileExists(cfi.FileName));
  Fake.Files.ClearFaults();
  TCFI again(App);
  EXPECT_EQ(again.FileName, Globals.AppDir + "CFI.vdb") << "the folder is writable again";
}

TEST_F(CFITest, FailedWriteThrowsAndLeavesTheOldFile) {
  TCFI cfi(App);
  Fill(cfi, "/a.zip");
  cfi.Save();
  Fake.Files.FailRenames(1, EIO);
  Fill(cfi, "/b.zip");
  EXPECT_THROW(cfi.Save(), EFileError);
  EXPECT_EQ(test::ReadFileText(cfi.FileName), "/a.zip=/src/,/src/,3,1,9,1\n");
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(Globals.AppDir)) {
    left.push_back(e.path().filename());
  }
  EXPECT_EQ(left, std::vector<std::string>{"CFI.vdb"}) << "no temporary file stays";
}

// ---------------------------------------------------------------- clean

TEST_F(CFITest, CleanHappensAtMostEveryNinetyDays) {
  test::WriteFileText(Globals.AppDir + "CFI.vdb", "/gone.zip=,,0,0,6,1\n");
  TCFI cfi(App);
  EXPECT_FALSE(cfi.Clean({})) << "the first call only notes the day";
  AdvanceDays(89);
  EXPECT_FALSE(cfi.Clean({}));
  EXPECT_EQ(cfi.Records.size(), 1u);
  AdvanceDays(1);
  EXPECT_TRUE(cfi.Clean({}));
  EXPECT_TRUE(cfi.Records.empty());
  AdvanceDays(89);
  EXPECT_FALSE(cfi.Clean({}));
  AdvanceDays(1);
  EXPECT_TRUE(cfi.Clean({}));
}

TEST_F(CFITest, CleanChecksEveryLineDropsStaleOnesAndReachesOneHundred) {
  std::string text = "/stale/first.zip=,,0,0,6,1\n";
  for (int i = 1; i < 250; ++i) {
    const std::string archive = Path("archives/a" + std::to_string(i) + ".zip");
    test::MakeFolders(Path("archives"));
    test::WriteFileText(archive, "");
    text += archive + "=,,0,0,6,1\n";
  }
  test::WriteFileText(Globals.AppDir + "CFI.vdb", text);
  const std::string key = "Software\\Varnel\\Zip";
  const double longAgo = 40000;
  Fake.Settings.SetValue(key, "LastCleaned", longAgo);

  TCFI cfi(App);
  std::vector<std::string> statuses;
  std::vector<int> progress;
  ASSERT_TRUE(cfi.Clean({[&](const std::string& s) { statuses.push_back(s); },
                         [&](int p) { progress.push_back(p); }}));
  EXPECT_EQ(statuses, std::vector<std::string>{"Cleaning CFI.vdb..."});
  ASSERT_EQ(progress.size(), 250u);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.front(), 0);  // 1 of 250 is 0.4 %
  EXPECT_EQ(progress[124], 50);
  EXPECT_EQ(progress.back(), 100);
  EXPECT_EQ(Host.BusyCalls, 1);
  EXPECT_EQ(Host.BusyDepth, 0);
  EXPECT_GE(Host.ProcessMessagesCalls, 1);

  TCFI reloaded(App);
  EXPECT_EQ(reloaded.Records.size(), 249u);
  EXPECT_FALSE(reloaded.Find("/stale/first.zip"));
  const auto lastCleaned = Fake.Settings.Value(key, "LastCleaned");
  ASSERT_TRUE(lastCleaned && std::holds_alternative<double>(*lastCleaned));
  EXPECT_GT(std::get<double>(*lastCleaned), longAgo + 90);
}

TEST_F(CFITest, CleanWithoutAStoreCountsAsNeverCleaned) {
  Fake.Settings.FailOpen = true;
  test::WriteFileText(Globals.AppDir + "CFI.vdb", "/gone.zip=,,0,0,6,1\n");
  TCFI cfi(App);
  EXPECT_TRUE(cfi.Clean({}));
  EXPECT_TRUE(cfi.Records.empty());
  EXPECT_EQ(test::ReadFileText(cfi.FileName), "");
}

TEST(PathMode, FollowsTheEngineOptionsInPriorityOrder) {
  EXPECT_EQ(PathModeOf(true, true, true), TPathMode::StoreVolumes);
  EXPECT_EQ(PathModeOf(false, true, true), TPathMode::RelativePaths);
  EXPECT_EQ(PathModeOf(false, false, true), TPathMode::StorePaths);
  EXPECT_EQ(PathModeOf(false, false, false), TPathMode::NoPaths);
}

}  // namespace
}  // namespace vz
