#include "engine/format/ZipHeaderInfo.h"

#include <gtest/gtest.h>

#include "engine/format/ByteOrder.h"
#include "engine/format/DosDate.h"
#include "engine/format/ZipNames.h"
#include "tests/support/ZipBuilder.h"

namespace vz {
namespace {

std::string AsText(const std::vector<u8>& v) {
  return {v.begin(), v.end()};
}

test::TEndFields EndFields(u16 thisDisk, const std::string& comment = "") {
  test::TEndFields end;
  end.ThisDisk = thisDisk;
  end.Comment = comment;
  return end;
}

TEST(ZipNames, StoredNamesSplitIntoDirectoryAndFile) {
  EXPECT_EQ(SplitStoredName("docs/readme.txt").Directory, "docs/");
  EXPECT_EQ(SplitStoredName("docs/readme.txt").Filename, "readme.txt");
  EXPECT_EQ(SplitStoredName("a/b/").Directory, "a/b/");
  EXPECT_EQ(SplitStoredName("a/b/").Filename, "");
  EXPECT_EQ(SplitStoredName("C:x.txt").Directory, "C:");
  EXPECT_EQ(SplitStoredName("a:b.txt", false).Filename, "a:b.txt");
  EXPECT_EQ(SplitStoredName("plain").Directory, "");
}

TEST(ZipNames, CaseInsensitiveComparisonFoldsOnlyAscii) {
  EXPECT_EQ(CompareTextNoCase("ABC", "abc"), 0);
  EXPECT_LT(CompareTextNoCase("a", "B"), 0);
  EXPECT_LT(CompareTextNoCase("ab", "abc"), 0);
  EXPECT_NE(CompareTextNoCase("\xC3\xA9", "\xC3\x89"), 0);  // é vs É: not folded
}

TEST(ZipHeaderInfo, FreshEntryHoldsTheDocumentedDefaults) {
  TZipHeaderInfo e;
  EXPECT_EQ(e.VersionMadeBy, 20);
  EXPECT_EQ(e.VersionNeeded, 20);
  EXPECT_EQ(e.CompressionMethod, 8);
  EXPECT_EQ(e.Crc32, 0xFFFFFFFFu);
  EXPECT_EQ(e.InternalAttributes, 1);
  EXPECT_EQ(e.ExternalAttributes, 0x20u);
  EXPECT_FALSE(e.FileComment);
  EXPECT_FALSE(e.Selected);
}

TEST(ZipHeaderInfo, NameLengthAndFlagFollowTheStoredForm) {
  TZipHeaderInfo e;
  e.SetDirectory("sub");
  EXPECT_EQ(e.Directory(), "sub/");
  e.SetFilename("caf\xC3\xA9");  // UTF-8, flag bit 11
  EXPECT_EQ(e.FilenameLength, 9);
  EXPECT_NE(e.Flags & kFlagUtf8, 0);
  e.SetDirectory("");
  EXPECT_EQ(e.FilenameLength, 5);
  e.SetFilename("caf\xE9");  // Latin-1 bytes: stored as they are, no flag
  EXPECT_EQ(e.FilenameLength, 4);
  EXPECT_EQ(e.Flags & kFlagUtf8, 0);
  EXPECT_EQ(e.StoredName(), "caf\xE9");
  e.SetFilename("plain.txt");
  EXPECT_EQ(e.Flags & kFlagUtf8, 0);
}

TEST(ZipHeaderInfo, CommentsSetAndClearTheirLength) {
  TZipHeaderInfo e;
  e.SetFileComment(std::string("note"));
  EXPECT_EQ(e.FileCommentLength, 4);
  EXPECT_TRUE(e.HasComment());
  e.SetFileComment(std::nullopt);
  EXPECT_EQ(e.FileCommentLength, 0);
  EXPECT_FALSE(e.HasComment());
}

TEST(ZipHeaderInfo, CentralRecordRoundTrips) {
  TZipHeaderInfo e;
  e.SetDirectory("docs");
  e.SetFilename("r\xC3\xA9sum\xC3\xA9.txt");
  e.Flags = kFlagEncrypted;
  e.CompressionMethod = 0;
  e.FileDate = PackDosDateTime({2019, 7, 4, 10, 20, 30});
  e.Crc32 = 0xCAFEBABE;
  e.CompressedSize = 1234;
  e.UncompressedSize = 5678;
  e.DiskNumberStart = 2;
  e.ExternalAttributes = 0x21;
  e.RelativeOffset = 99;
  e.SetFileComment(std::string("\xFF raw comment bytes"));
  TMemoryStream stream;
  stream.WriteBuffer(std::vector<u8>(7, 0));  // the record need not start at 0
  e.WriteCentral(stream);
  EXPECT_EQ(stream.Size(), 7 + 46 + 17 + 19);
  stream.SetPosition(7);
  TZipHeaderInfo r;
  ASSERT_TRUE(r.ReadCentral(stream, {}));
  EXPECT_EQ(r.FullName(), "docs/r\xC3\xA9sum\xC3\xA9.txt");
  EXPECT_EQ(r.Directory(), "docs/");
  EXPECT_EQ(r.Flags, kFlagEncrypted | kFlagUtf8);
  EXPECT_EQ(r.CompressionMethod, 0);
  EXPECT_EQ(r.FileDate, e.FileDate);
  EXPECT_EQ(r.Crc32, 0xCAFEBABEu);
  EXPECT_EQ(r.CompressedSize, 1234u);
  EXPECT_EQ(r.UncompressedSize, 5678u);
  EXPECT_EQ(r.FileCommentLength, 19);
  EXPECT_FALSE(r.FileComment);  // loaded later, on demand
  EXPECT_EQ(r.DiskNumberStart, 2);
  EXPECT_EQ(r.ExternalAttributes, 0x21u);
  EXPECT_EQ(r.RelativeOffset, 99u);
  EXPECT_EQ(r.CentralOffset, 7u);
  EXPECT_EQ(stream.Position(), stream.Size());
}

TEST(ZipHeaderInfo, LocalHeaderRecordsItsOffsetAndRoundTrips) {
  TZipHeaderInfo e;
  e.SetFilename("a.txt");
  e.ExtraFieldLength = 0;
  TMemoryStream stream;
  stream.WriteBuffer(std::vector<u8>(3, 0));
  e.WriteLocal(stream);
  EXPECT_EQ(e.RelativeOffset, 3u);
  stream.SetPosition(3);
  TZipHeaderInfo r;
  ASSERT_TRUE(r.ReadLocal(stream));
  EXPECT_EQ(r.RelativeOffset, 3u);
  EXPECT_EQ(r.VersionMadeBy, 0);
  EXPECT_EQ(r.ExternalAttributes, 0u);
  EXPECT_EQ(r.FullName(), "a.txt");
  EXPECT_EQ(stream.Position(), 3 + 30 + 5);
}

TEST(ZipHeaderInfo, StoredEntryStillNeedsVersion20) {
  TZipHeaderInfo e;
  e.CompressionMethod = 0;
  e.SetFilename("x");
  TMemoryStream stream;
  e.WriteLocal(stream);
  EXPECT_EQ(GetLE16(stream.Memory(), 4), 20);
}

TEST(ZipHeaderInfo, ReadingFailsBackToTheStart) {
  TMemoryStream stream;
  stream.WriteBuffer(std::vector<u8>{'P', 'K', 1, 2, 0, 0});  // cut short
  stream.SetPosition(0);
  TZipHeaderInfo r;
  EXPECT_FALSE(r.ReadCentral(stream, {}));
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_FALSE(r.ReadLocal(stream));
  EXPECT_EQ(stream.Position(), 0);
}

TEST(ZipHeaderInfo, NameRunningPastTheEndFails) {
  test::TBuildMember m;
  m.Name = "abc";
  test::TZipBuilder b;
  b.AddCentral(m, 0);
  std::vector<u8> bytes = b.Bytes;
  bytes.resize(bytes.size() - 2);  // name cut off
  TMemoryStream stream;
  stream.WriteBuffer(bytes);
  stream.SetPosition(0);
  TZipHeaderInfo r;
  EXPECT_FALSE(r.ReadCentral(stream, {}));
  EXPECT_EQ(stream.Position(), 0);
}

TEST(ZipHeaderInfo, CentralRecordCutByADiskEndContinuesOnTheNextDisk) {
  TZipHeaderInfo e;
  e.SetFilename("split.txt");
  TMemoryStream whole;
  e.WriteCentral(whole);
  const auto& bytes = whole.Memory();
  TMemoryStream first, second;
  first.WriteBuffer(std::span(bytes).first(20));
  second.WriteBuffer(std::span(bytes).subspan(20));
  first.SetPosition(0);
  second.SetPosition(0);
  int requests = 0;
  TZipHeaderInfo r;
  ASSERT_TRUE(r.ReadCentral(first, [&]() -> TStream& {
    ++requests;
    return second;
  }));
  EXPECT_EQ(requests, 1);
  EXPECT_EQ(r.FullName(), "split.txt");
}

TEST(ZipHeaderInfo, DatesAreNormalisedOnReading) {
  test::TBuildMember m;
  m.Name = "d";
  m.DosDateTime = PackDosDateTime({2012, 0, 0, 8, 9, 10});
  test::TZipBuilder b;
  b.AddCentral(m, 0);
  TMemoryStream stream;
  stream.WriteBuffer(b.Bytes);
  stream.SetPosition(0);
  TZipHeaderInfo r;
  ASSERT_TRUE(r.ReadCentral(stream, {}));
  EXPECT_EQ(r.FileDate, PackDosDateTime({2012, 1, 1, 8, 9, 10}));
}

TEST(EndCentral, FindsTheRecordNearestTheEnd) {
  test::TZipBuilder b;
  b.AppendText("junk");
  b.AddEnd(EndFields(1), 3, 10, 20);
  b.AddEnd(EndFields(2), 4, 11, 21);
  TMemoryStream stream;
  stream.WriteBuffer(b.Bytes);
  TEndCentral end;
  ASSERT_TRUE(end.FindIn(stream));
  EXPECT_EQ(end.ThisDisk, 2);
  EXPECT_EQ(end.TotalEntries, 4);
  EXPECT_EQ(end.CentralDirOffset, 11u);
}

TEST(EndCentral, SignatureInsideTheCommentWinsWhenNearer) {
  // The archive comment holds a fake end record; being nearer the end, the
  // search takes it. The choice is deterministic, never a crash.
  test::TZipBuilder inner;
  inner.AddEnd(EndFields(7), 1, 0, 0);
  test::TZipBuilder b;
  b.AddEnd(EndFields(0, AsText(inner.Bytes)), 0, 0, 0);
  TMemoryStream stream;
  stream.WriteBuffer(b.Bytes);
  TEndCentral end;
  ASSERT_TRUE(end.FindIn(stream));
  EXPECT_EQ(end.ThisDisk, 7);
}

TEST(EndCentral, RecordFartherThanTheSearchWindowIsNotFound) {
  test::TZipBuilder b;
  b.AddEnd(EndFields(0), 0, 0, 0);
  b.AppendText(std::string(70000, 'x'));
  TMemoryStream stream;
  stream.WriteBuffer(b.Bytes);
  TEndCentral end;
  EXPECT_FALSE(end.FindIn(stream));
  TMemoryStream tiny;
  tiny.WriteBuffer(std::vector<u8>(21, 'P'));
  EXPECT_FALSE(end.FindIn(tiny));
}

TEST(EndCentral, CommentPositionCountsFromTheEnd) {
  test::TZipBuilder b;
  b.AppendText("prefix");
  b.AddEnd(EndFields(0, "hello"), 0, 0, 0);
  TMemoryStream stream;
  stream.WriteBuffer(b.Bytes);
  TEndCentral end;
  ASSERT_TRUE(end.FindIn(stream));
  EXPECT_EQ(end.ZipCommentLength, 5);
  EXPECT_EQ(end.ZipCommentPos, b.Bytes.size() - 5);
  EXPECT_EQ(end.Size(), 27u);
}

TEST(EndCentral, WritesWhatItReads) {
  TEndCentral e;
  e.ThisDisk = 3;
  e.CentralStartDisk = 2;
  e.EntriesThisDisk = 5;
  e.TotalEntries = 9;
  e.CentralDirSize = 1000;
  e.CentralDirOffset = 77;
  e.ZipComment = "archive comment";
  e.ZipCommentLength = 15;
  e.Modified = true;
  TMemoryStream stream;
  e.WriteTo(stream);
  TEndCentral r;
  ASSERT_TRUE(r.FindIn(stream));
  EXPECT_EQ(r.ThisDisk, 3);
  EXPECT_EQ(r.CentralStartDisk, 2);
  EXPECT_EQ(r.EntriesThisDisk, 5);
  EXPECT_EQ(r.TotalEntries, 9);
  EXPECT_EQ(r.CentralDirSize, 1000u);
  EXPECT_EQ(r.CentralDirOffset, 77u);
  EXPECT_EQ(r.ZipCommentLength, 15);
  TEndCentral copy;
  copy.Assign(e);
  EXPECT_FALSE(copy.Modified);
  EXPECT_EQ(copy.ZipComment, "archive comment");
}

}  // namespace
}  // namespace vz
