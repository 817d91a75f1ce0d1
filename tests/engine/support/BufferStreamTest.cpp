#include "engine/support/BufferStream.h"

#include <gtest/gtest.h>

#include "engine/support/Exceptions.h"
#include "platform/fake/FakePlatform.h"
#include "tests/support/ScriptedHost.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

std::vector<u8> Seq(std::size_t n, u8 start = 0) {
  std::vector<u8> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<u8>(start + i * 7);
  return v;
}

// A memory stream that counts the calls reaching it.
class TCountingStream : public TMemoryStream {
 public:
  std::size_t Read(std::span<u8> b) override {
    ++Reads;
    return TMemoryStream::Read(b);
  }
  std::size_t Write(std::span<const u8> d) override {
    ++Writes;
    if (FailWrites) return d.size() / 2;
    return TMemoryStream::Write(d);
  }
  i64 Seek(i64 offset, TSeekOrigin origin) override {
    ++Seeks;
    return TMemoryStream::Seek(offset, origin);
  }
  int LastWriteError() const override { return FailWrites ? WriteError : 0; }
  int Reads = 0;
  int Writes = 0;
  int Seeks = 0;
  bool FailWrites = false;
  int WriteError = 0;
};

TEST(BufferStream, SmallReadsTouchTheWrappedStreamOncePerBlock) {
  TCountingStream inner;
  inner.WriteBuffer(Seq(20000));
  inner.SetPosition(0);
  inner.Reads = 0;
  TS_BufferStream s(inner);
  std::vector<u8> got;
  u8 b[10];
  while (s.Read(b) == 10) got.insert(got.end(), b, b + 10);
  EXPECT_EQ(got, Seq(20000));
  EXPECT_LE(inner.Reads, 4);
}

TEST(BufferStream, SeeksInsideTheReadAheadReuseIt) {
  TCountingStream inner;
  inner.WriteBuffer(Seq(5000));
  inner.SetPosition(0);
  inner.Reads = 0;
  TS_BufferStream s(inner);
  std::vector<u8> head(100);
  ASSERT_EQ(s.Read(head), 100u);
  EXPECT_EQ(s.Seek(40, TSeekOrigin::Begin), 40);
  EXPECT_EQ(s.ReadByte(), Seq(5000)[40]);
  EXPECT_EQ(s.Seek(3000, TSeekOrigin::Current), 3041);
  EXPECT_EQ(s.ReadByte(), Seq(5000)[3041]);
  EXPECT_EQ(inner.Reads, 1);
  EXPECT_EQ(s.Seek(4999, TSeekOrigin::Begin), 4999);
  EXPECT_EQ(s.ReadByte(), Seq(5000)[4999]);
  EXPECT_EQ(s.ReadByte(), -1);
  EXPECT_EQ(s.Position(), 5000);
}

// Writing or reading straight on never asks the wrapped stream where it is
// (an extracted member costs no seek), wherever it stood; a position asked
// for afterwards is still exact.
struct TStraightCase {
  std::string Name;
  i64 Start;                       // where the wrapped stream stands
  std::vector<std::size_t> Parts;  // sizes of the writes, then read back alike
};

class BufferStreamStraight : public ::testing::TestWithParam<TStraightCase> {};

TEST_P(BufferStreamStraight, NoSeekAndExactPositions) {
  const auto& c = GetParam();
  std::size_t total = 0;
  for (const std::size_t part : c.Parts) total += part;
  const std::vector<u8> data = Seq(total, 3);
  TCountingStream inner;
  inner.WriteBuffer(std::vector<u8>(static_cast<std::size_t>(c.Start), 0xEE));
  inner.Seeks = 0;
  {
    TS_BufferStream s(inner);
    std::size_t at = 0;
    for (const std::size_t part : c.Parts) {
      ASSERT_EQ(s.Write(std::span(data).subspan(at, part)), part);
      at += part;
    }
    s.Commit();
    EXPECT_EQ(inner.Seeks, 0);
    EXPECT_EQ(s.Position(), c.Start + static_cast<i64>(total));
  }
  EXPECT_EQ(std::vector<u8>(inner.Memory().begin() + c.Start, inner.Memory().end()), data);

  inner.SetPosition(c.Start);
  inner.Seeks = 0;
  TS_BufferStream s(inner);
  std::vector<u8> back(total);
  std::size_t at = 0;
  for (const std::size_t part : c.Parts) {
    ASSERT_EQ(s.Read(std::span(back).subspan(at, part)), part);
    at += part;
  }
  EXPECT_EQ(back, data);
  EXPECT_EQ(inner.Seeks, 0);
  EXPECT_EQ(s.Position(), c.Start + static_cast<i64>(total));
  // Back into what was just read: served from the read-ahead.
  if (total > 0 && total < static_cast<std::size_t>(TS_BufferStream::kBufferSize)) {
    s.SetPosition(c.Start);
    EXPECT_EQ(s.ReadByte(), data[0]);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BufferStreamStraight,
                         ::testing::Values(TStraightCase{"smallFromTheStart", 0, {250}},
                                           TStraightCase{"smallAfterOthers", 777, {10, 1, 239}},
                                           TStraightCase{"acrossBlocks", 5, {5000, 5000, 9000}},
                                           TStraightCase{"oneLargeAfterSmall", 100, {3, 70000}}),
                         [](const auto& param) { return param.param.Name; });

TEST(BufferStream, ReadAfterWriteSeesTheFileAtTheLogicalPosition) {
  TMemoryStream inner;
  inner.WriteBuffer(Seq(100));
  inner.SetPosition(0);
  TS_BufferStream s(inner);
  s.WriteBuffer(std::vector<u8>{1, 2, 3});
  EXPECT_EQ(s.Position(), 3);
  std::vector<u8> rest(4);
  ASSERT_EQ(s.Read(rest), 4u);
  const auto original = Seq(100);
  EXPECT_EQ(rest, std::vector<u8>(original.begin() + 3, original.begin() + 7));
  EXPECT_EQ(inner.Memory()[0], 1);  // written bytes reached the file first
  EXPECT_EQ(s.Position(), 7);
}

TEST(BufferStream, WriteAfterReadLandsAtTheLogicalPosition) {
  TMemoryStream inner;
  inner.WriteBuffer(Seq(100));
  inner.SetPosition(0);
  {
    TS_BufferStream s(inner);
    std::vector<u8> head(10);
    ASSERT_EQ(s.Read(head), 10u);
    EXPECT_EQ(s.Position(), 10);
    s.WriteBuffer(std::vector<u8>{0xEE, 0xEF});
    EXPECT_EQ(s.Position(), 12);
  }
  auto expected = Seq(100);
  expected[10] = 0xEE;
  expected[11] = 0xEF;
  EXPECT_EQ(inner.Memory(), expected);
}

TEST(BufferStream, SeekFromTheEndCountsPendingOutputAndIgnoresTheSign) {
  TMemoryStream inner;
  TS_BufferStream s(inner);
  s.WriteBuffer(Seq(50));
  EXPECT_EQ(inner.Size(), 0);  // still buffered
  EXPECT_EQ(s.Size(), 50);
  EXPECT_EQ(s.Seek(10, TSeekOrigin::End), 40);
  EXPECT_EQ(s.Seek(-10, TSeekOrigin::End), 40);
  EXPECT_EQ(inner.Size(), 50);
}

TEST(BufferStream, SeekToTheCurrentPositionKeepsTheBuffer) {
  TCountingStream inner;
  TS_BufferStream s(inner);
  s.WriteBuffer(Seq(30));
  EXPECT_EQ(s.Seek(30, TSeekOrigin::Begin), 30);
  EXPECT_EQ(s.Seek(0, TSeekOrigin::Current), 30);
  EXPECT_EQ(inner.Writes, 0);
  EXPECT_EQ(s.State(), TS_BufferStream::TState::Writing);
}

TEST(BufferStream, ZeroByteReadOnlyFlushesPendingOutput) {
  TCountingStream inner;
  TS_BufferStream s(inner);
  s.WriteBuffer(Seq(5));
  std::vector<u8> none;
  EXPECT_EQ(s.Read(none), 0u);
  EXPECT_EQ(inner.Size(), 5);
  EXPECT_EQ(s.State(), TS_BufferStream::TState::Idle);
}

TEST(BufferStream, DestroyingWritesPendingOutput) {
  TMemoryStream inner;
  { TS_BufferStream(inner).WriteBuffer(Seq(9)); }
  EXPECT_EQ(inner.Memory(), Seq(9));
}

TEST(BufferStream, LargeTransfersStayExact) {
  TMemoryStream inner;
  TS_BufferStream s(inner);
  const auto data = Seq(100000);
  s.WriteBuffer(std::span(data).first(5));
  s.WriteBuffer(std::span(data).subspan(5, 50000));
  s.WriteBuffer(std::span(data).subspan(50005));
  s.Commit();
  EXPECT_EQ(inner.Memory(), data);
  s.SetPosition(3);
  std::vector<u8> back(99990);
  ASSERT_EQ(s.Read(back), back.size());
  EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin() + 3));
  EXPECT_EQ(s.Position(), 99993);
}

TEST(BufferStream, ShortWritesAreReported) {
  TCountingStream inner;
  inner.FailWrites = true;
  TS_BufferStream s(inner);
  EXPECT_THROW(s.WriteBuffer(Seq(20000)), EInOutError);
  TS_BufferStream t(inner);
  t.WriteBuffer(Seq(10));  // fits the buffer: the failure shows on commit
  EXPECT_THROW(t.Commit(), EInOutError);
}

TEST(BufferStream, SeekReportsTheWriteFailureOfPendingOutput) {
  TCountingStream inner;
  TS_BufferStream s(inner);
  s.WriteBuffer(Seq(10));
  inner.FailWrites = true;
  inner.WriteError = ENOSPC;
  try {
    s.Seek(0, TSeekOrigin::Begin);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Code(), ENOSPC);
    EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos) << e.what();
  }
}

TEST(BufferStream, BadOriginAndPutBackOverflow) {
  TMemoryStream inner;
  inner.WriteBuffer(Seq(10));
  inner.SetPosition(0);
  TS_BufferStream s(inner);
  try {
    s.Seek(0, static_cast<TSeekOrigin>(7));
    FAIL();
  } catch (const EVarnelError& e) {
    EXPECT_STREQ(e.what(), "Invalid seek origin (7)");
  }
  try {
    s.PutBack(1);
    FAIL();
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.what(), "Putback overflow");
  }
  EXPECT_EQ(s.ReadByte(), Seq(10)[0]);
  s.PutBack(0x55);
  EXPECT_EQ(s.ReadByte(), 0x55);
  EXPECT_EQ(s.Position(), 1);
}

TEST(LFNFileStream, OpensCreatesAndFlushesOnDestruction) {
  test::TScriptedHost host;
  TFakePlatform fake(host);
  const std::string path = fake.Root() + "file.bin";
  {
    TLFNFileStream out(fake.Files, path, TOpenMode::Create);
    out.WriteBuffer(Seq(1000));
  }
  EXPECT_EQ(test::ReadFileBytes(path), Seq(1000));
  TLFNFileStream in(fake.Files, path, TOpenMode::ReadDenyWrite);
  EXPECT_EQ(in.Size(), 1000);
  EXPECT_EQ(in.Handle().Size(), 1000);
  EXPECT_THROW(TLFNFileStream(fake.Files, path + ".missing", TOpenMode::ReadDenyNone), EFOpenError);
}

TEST(LFNFileStream, DiskFullSurfacesOnCommit) {
  test::TScriptedHost host;
  TFakePlatform fake(host);
  auto& drive = fake.AddDrive("small", TDriveType::Fixed, false, std::nullopt, 100);
  TLFNFileStream out(fake.Files, drive.MountPoint + "f", TOpenMode::Create);
  out.WriteBuffer(Seq(200));
  try {
    out.Commit();
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Code(), ENOSPC);
    EXPECT_NE(std::string(e.what()).find(drive.MountPoint + "f"), std::string::npos);
  }
}

}  // namespace
}  // namespace vz
