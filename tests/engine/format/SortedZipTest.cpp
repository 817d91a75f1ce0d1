#include "engine/format/SortedZip.h"

#include "engine/format/ZipCatalogue.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/format/DosDate.h"

namespace vz {
namespace {

std::unique_ptr<TZipHeaderInfo> Entry(const std::string& dir, const std::string& name,
                                      u32 offset = 0) {
  auto e = std::make_unique<TZipHeaderInfo>();
  e->SetDirectory(dir);
  e->SetFilename(name);
  e->RelativeOffset = offset;
  return e;
}

std::vector<std::string> Names(const TSortedZip& list) {
  std::vector<std::string> out;
  for (const auto* e : list.All()) out.push_back(e->FullName());
  return out;
}

// Adds one by one, the way binary insertion does.
std::unique_ptr<TSortedZip> ByInsertion(const std::vector<TZipHeaderInfo*>& entries,
                                        TZipSortMode mode) {
  auto view = std::make_unique<TSortedZip>(TDuplicates::DuplicatesAccepted, false, mode);
  for (auto* e : entries) view->Add(e);
  return view;
}

// The names in the order the reader's catalogue gives for `mode`, the
// entries appended in the order given (the catalogue's row order).
std::vector<std::string> CatalogueNames(const std::vector<TZipHeaderInfo*>& entries,
                                        TZipSortMode mode) {
  TZipCatalogue catalogue;
  for (const auto* e : entries) catalogue.Append(*e);
  std::vector<u32> rows = catalogue.SortedRows(mode);
  if (mode == TZipSortMode::ByNone) {
    catalogue.SortByPosition();
    for (u32 i = 0; i < entries.size(); ++i) rows.push_back(i);
  }
  std::vector<std::string> out;
  for (const u32 row : rows) out.push_back(catalogue.FullName(static_cast<int>(row)));
  return out;
}

TEST(SortedZip, LaterOfTwoEqualNamesGoesFirst) {
  std::vector<std::unique_ptr<TZipHeaderInfo>> owned;
  owned.push_back(Entry("", "b.txt"));
  owned.push_back(Entry("", "A.txt"));
  owned.push_back(Entry("", "a.txt"));
  std::vector<TZipHeaderInfo*> entries;
  for (auto& e : owned) entries.push_back(e.get());
  EXPECT_EQ(Names(*ByInsertion(entries, TZipSortMode::ByFileName)),
            (std::vector<std::string>{"a.txt", "A.txt", "b.txt"}));
  EXPECT_EQ(CatalogueNames(entries, TZipSortMode::ByFileName),
            (std::vector<std::string>{"a.txt", "A.txt", "b.txt"}));
}

TEST(SortedZip, SizesDescendAndEqualSizesKeepTheirOrder) {
  std::vector<std::unique_ptr<TZipHeaderInfo>> owned;
  const u32 sizes[] = {10, 30, 10, 20};
  for (int i = 0; i < 4; ++i) {
    owned.push_back(Entry("", "f" + std::to_string(i)));
    owned.back()->CompressedSize = sizes[i];
  }
  std::vector<TZipHeaderInfo*> entries;
  for (auto& e : owned) entries.push_back(e.get());
  const auto expected = std::vector<std::string>{"f1", "f3", "f0", "f2"};
  EXPECT_EQ(Names(*ByInsertion(entries, TZipSortMode::ByCompressedSize)), expected);
  EXPECT_EQ(CatalogueNames(entries, TZipSortMode::ByCompressedSize), expected);
}

TEST(SortedZip, SizesOf2GiBAndMoreSortAsTheLargest) {
  auto small = Entry("", "small");
  small->UncompressedSize = 1;
  auto huge = Entry("", "huge");
  huge->UncompressedSize = 0xC0000000u;
  TSortedZip view(TDuplicates::DuplicatesAccepted, false, TZipSortMode::ByUnCompressedSize);
  view.Add(small.get());
  view.Add(huge.get());
  EXPECT_EQ(Names(view), (std::vector<std::string>{"huge", "small"}));
}

TEST(SortedZip, DatesDescendAndUnconvertibleDatesComeLast) {
  auto old = Entry("", "old");
  old->FileDate = PackDosDateTime({1999, 1, 1, 0, 0, 0});
  auto fresh = Entry("", "new");
  fresh->FileDate = PackDosDateTime({2020, 1, 1, 0, 0, 0});
  auto bad = Entry("", "hour24");
  bad->FileDate = PackDosDateTime({2030, 1, 1, 24, 0, 0});
  std::vector<TZipHeaderInfo*> entries{bad.get(), old.get(), fresh.get()};
  const auto expected = std::vector<std::string>{"new", "old", "hour24"};
  EXPECT_EQ(Names(*ByInsertion(entries, TZipSortMode::ByDate)), expected);
  EXPECT_EQ(CatalogueNames(entries, TZipSortMode::ByDate), expected);
}

TEST(SortedZip, RateOfEmptyAndGrownEntries) {
  TZipHeaderInfo e;
  EXPECT_EQ(Rate(e), 0);
  e.UncompressedSize = 100;
  e.CompressedSize = 130;
  EXPECT_EQ(Rate(e), 100);
  e.CompressedSize = 25;
  EXPECT_EQ(Rate(e), 25);
}

TEST(SortedZip, CatalogueRejectsTwoEntriesAtOneOffset) {
  TSortedZip catalogue(TDuplicates::DuplicatesRejected, true);
  catalogue.Add(Entry("", "a", 100));
  catalogue.Add(Entry("", "b", 0));
  EXPECT_EQ(Names(catalogue), (std::vector<std::string>{"b", "a"}));
  try {
    catalogue.Add(Entry("", "c", 100));
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Duplicate Object index");
  }
  EXPECT_EQ(catalogue.Count(), 2);
}

TEST(SortedZip, ListErrorsCarryTheirMessages) {
  TSortedZip list(TDuplicates::DuplicatesIgnored, true, TZipSortMode::ByName);
  EXPECT_EQ(list.Add(Entry("", "x")), 0);
  EXPECT_EQ(list.Add(Entry("", "X")), -1);  // ignored duplicate
  try {
    list.Items(3);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Index 3 is out of range");
  }
  try {
    list.Put(0, nullptr);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Cannot <Put> an Object in a sorted list!");
  }
  EXPECT_THROW(list.Items(-1), EListError);
}

TEST(SortedZip, ByNoneOrdersByDiskThenOffset) {
  auto a = Entry("", "a", 500);
  auto b = Entry("", "b", 10);
  b->DiskNumberStart = 1;
  auto c = Entry("", "c", 0xF0000000u);  // past 2 GiB still sorts after 500
  TSortedZip view(TDuplicates::DuplicatesAccepted, false, TZipSortMode::ByNone);
  view.Add(b.get());
  view.Add(c.get());
  view.Add(a.get());
  EXPECT_EQ(Names(view), (std::vector<std::string>{"a", "c", "b"}));
}

TEST(SortedZip, NameOrderComparesDirectoryAndFileAsOneString) {
  auto a = Entry("ab", "c");  // "ab/c"
  auto b = Entry("a", "b0");  // "a/b0"
  auto c = Entry("", "a");    // "a"
  auto d = Entry("a", "");    // "a/"
  std::vector<TZipHeaderInfo*> entries{a.get(), b.get(), c.get(), d.get()};
  const auto expected = std::vector<std::string>{"a", "a/", "a/b0", "ab/c"};
  EXPECT_EQ(Names(*ByInsertion(entries, TZipSortMode::ByName)), expected);
  EXPECT_EQ(CatalogueNames(entries, TZipSortMode::ByName), expected);
}

// Many entries with heavy ties in every key, some of them too large for the
// catalogue's rows: the catalogue must give the exact order of one-by-one
// insertion in all eight modes. Rows stand in position order, as the
// reader leaves them; ByNone is that order, made from a shuffled directory.
class BulkViewTest : public ::testing::TestWithParam<TZipSortMode> {};

// Mixed case with rows too large for the compact form, or names in lower
// case only, in rows only, which the catalogue compares without folding.
void ExpectInsertionOrder(TZipSortMode mode, bool mixed) {
  std::mt19937 rng(42);
  std::vector<std::unique_ptr<TZipHeaderInfo>> owned;
  for (u32 i = 0; i < 3000; ++i) {
    const std::string dir = rng() % 3 == 0 ? "" : "d" + std::to_string(rng() % 5);
    const std::string file = (rng() % 2 && mixed ? "F" : "f") + std::to_string(rng() % 40);
    auto e = Entry(dir, file, static_cast<u32>(rng() % 2000));
    e->Crc32 = i;  // who is who
    e->DiskNumberStart = static_cast<u16>(rng() % 3);
    e->CompressedSize = rng() % 50;
    e->UncompressedSize = rng() % 60;
    if (rng() % 40 == 0 && mixed) e->UncompressedSize += u64{5} << 32;
    if (rng() % 40 == 0 && mixed) e->RelativeOffset += u64{1} << 32;
    e->FileDate = rng() % 7 == 0 ? PackDosDateTime({2000, 1, 1, 24, 0, 0})
                                 : PackDosDateTime({2000 + static_cast<int>(rng() % 3), 1, 1,
                                                    static_cast<int>(rng() % 2), 0, 0});
    owned.push_back(std::move(e));
  }
  std::vector<TZipHeaderInfo*> entries;
  for (auto& e : owned) entries.push_back(e.get());
  TZipCatalogue catalogue;
  for (const auto* e : entries) catalogue.Append(*e);
  catalogue.SortByPosition();
  const auto positioned = ByInsertion(entries, TZipSortMode::ByNone)->All();
  // The catalogue's order is the ByNone view itself.
  const auto expected =
      mode == TZipSortMode::ByNone ? positioned : ByInsertion(positioned, mode)->All();
  std::vector<u32> rows = catalogue.SortedRows(mode);
  if (mode == TZipSortMode::ByNone) {
    for (u32 i = 0; i < entries.size(); ++i) rows.push_back(i);
  }
  ASSERT_EQ(rows.size(), expected.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(catalogue.Crc32(static_cast<int>(rows[i])), expected[i]->Crc32) << "at " << i;
  }
}

TEST_P(BulkViewTest, MatchesInsertionOrderExactly) {
  ExpectInsertionOrder(GetParam(), true);
  ExpectInsertionOrder(GetParam(), false);
}

INSTANTIATE_TEST_SUITE_P(AllModes, BulkViewTest,
                         ::testing::Values(TZipSortMode::ByName, TZipSortMode::ByFileName,
                                           TZipSortMode::ByDirectoryName, TZipSortMode::ByDate,
                                           TZipSortMode::ByCompressedSize,
                                           TZipSortMode::ByUnCompressedSize, TZipSortMode::ByRate,
                                           TZipSortMode::ByNone));

}  // namespace
}  // namespace vz
