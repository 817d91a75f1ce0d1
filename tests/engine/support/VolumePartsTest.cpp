// The parts of multi-part archives: which part holds the directory, where
// the others are looked for, and slices of one archive read as one file.
#include "engine/support/VolumeParts.h"

#include <gtest/gtest.h>

#include "engine/support/JoinedFile.h"
#include "platform/fake/FakePlatform.h"
#include "tests/support/ScriptedHost.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

class VolumeParts : public ::testing::Test {
 protected:
  void Make(std::initializer_list<const char*> names) {
    for (const char* name : names) test::WriteFileText(Path(name), name);
  }
  std::string Path(const std::string& name) const { return Fake.Root() + name; }
  std::string Last(const std::string& name) { return LastPartOf(Fake.Files, Path(name)); }

  test::TScriptedHost Host;
  TFakePlatform Fake{Host};
};

TEST_F(VolumeParts, LastPartOfEveryScheme) {
  Make({"set.001", "set.002", "set.003", "old.z01", "old.z02", "old.zip", "plain.zip", "gap.001",
        "gap.003", "7z.zip.001", "7z.zip.002", "7z.zip.003", "x.split.001", "x.split.002"});
  EXPECT_EQ(Last("set.001"), Path("set.003"));
  EXPECT_EQ(Last("set.002"), Path("set.003"));
  EXPECT_EQ(Last("set.003"), Path("set.003"));
  // The archive name the set was made under, which itself does not exist.
  EXPECT_EQ(Last("set.zip"), Path("set.003"));
  EXPECT_EQ(Last("old.z01"), Path("old.zip"));
  EXPECT_EQ(Last("old.zip"), Path("old.zip"));
  EXPECT_EQ(Last("plain.zip"), Path("plain.zip"));
  // A missing middle part does not hide the last one.
  EXPECT_EQ(Last("gap.001"), Path("gap.003"));
  EXPECT_EQ(Last("none.zip"), Path("none.zip"));
  // Only the final number changes, whatever comes before it.
  EXPECT_EQ(Last("7z.zip.001"), Path("7z.zip.003"));
  EXPECT_EQ(Last("7z.zip"), Path("7z.zip.003"));
  EXPECT_EQ(Last("x.split.001"), Path("x.split.002"));
}

TEST_F(VolumeParts, CandidatesPreferTheLastPartsScheme) {
  EXPECT_EQ(PartCandidates("/d/set.003", 1, 3),
            (std::vector<std::string>{"/d/set.001", "/d/set.z01", "/d/set.Z01"}));
  EXPECT_EQ(PartCandidates("/d/old.zip", 2, 4),
            (std::vector<std::string>{"/d/old.z02", "/d/old.Z02", "/d/old.002"}));
  EXPECT_EQ(PartCandidates("/d/old.zip", 4, 4), (std::vector<std::string>{"/d/old.zip"}));
  EXPECT_EQ(BlockPartName("/d/x.zip", 12), "/d/x.012");
  EXPECT_EQ(BlockPartName("/d/x.zip.001", 12), "/d/x.zip.012");
  EXPECT_EQ(BlockPartName("/d/x.split.0001", 2), "/d/x.split.0002");
  EXPECT_EQ(BlockPartName("/d/x.001", 1000), "/d/x.1000");
}

TEST_F(VolumeParts, NumberedPartsAreAllOrNothing) {
  Make({"a.zip.001", "a.zip.002", "a.zip.003", "gap.001", "gap.003", "one.zip.001"});
  const std::vector<std::string> all{Path("a.zip.001"), Path("a.zip.002"), Path("a.zip.003")};
  EXPECT_EQ(NumberedParts(Fake.Files, Path("a.zip.002")), all);
  EXPECT_EQ(NumberedParts(Fake.Files, Path("gap.001")), std::vector<std::string>{});
  EXPECT_EQ(NumberedParts(Fake.Files, Path("one.zip.001")), std::vector<std::string>{});
  EXPECT_EQ(NumberedParts(Fake.Files, Path("a.zip")), std::vector<std::string>{});
}

TEST_F(VolumeParts, SlicesReadAsOneFile) {
  const auto whole = test::RandomBytes(10000, 3);
  const std::vector<std::pair<std::size_t, std::size_t>> cuts{
      {0, 4096}, {4096, 4096}, {4096, 9999}, {9999, 10000}};
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < cuts.size(); ++i) {
    paths.push_back(Path("s." + std::to_string(i)));
    test::WriteFileBytes(paths.back(),
                         std::vector<u8>(whole.begin() + static_cast<long>(cuts[i].first),
                                         whole.begin() + static_cast<long>(cuts[i].second)));
  }
  const auto file = OpenJoinedFile(Fake.Files, paths);
  EXPECT_EQ(file->Size(), 10000);
  EXPECT_EQ(file->Path(), paths[0]);
  // Reads that start in one slice and end in another, an empty slice between.
  for (const i64 start : {i64{0}, i64{4000}, i64{4096}, i64{9990}}) {
    std::vector<u8> got(300);
    file->Seek(start, TSeekOrigin::Begin);
    got.resize(file->Read(got));
    const auto end = std::min<std::size_t>(whole.size(), static_cast<std::size_t>(start) + 300);
    EXPECT_EQ(got, std::vector<u8>(whole.begin() + start, whole.begin() + static_cast<long>(end)))
        << start;
  }
  EXPECT_EQ(file->Seek(-10, TSeekOrigin::End), 9990);
  std::vector<u8> none(5);
  file->Seek(20000, TSeekOrigin::Begin);
  EXPECT_EQ(file->Read(none), 0u);
  EXPECT_EQ(file->Write(none), 0u);
}

}  // namespace
}  // namespace vz
