// The input and output sides the decoders share: refill sizes, the bit
// reader's end-of-input rule, output chunking, the size limit and progress.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "engine/support/Crc32.h"
#include "engine/codecs/Decoders.h"
#include "engine/codecs/ZipCipher.h"
#include "engine/support/Exceptions.h"
#include "tests/engine/codecs/DecodeHarness.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

TDecodeInput::TFillBlock FillFrom(const std::vector<u8>& data, std::size_t& fetched) {
  return [&data, &fetched](std::span<u8> block) {
    std::memcpy(block.data(), data.data() + fetched, block.size());
    fetched += block.size();
  };
}

TEST(DecodeInput, AsksForBlocksOfAtMost16000Bytes) {
  const auto data = test::RandomBytes(40000, 1);
  const auto r = test::Decode({.Method = 0, .UncompressedSize = 40000}, data);
  EXPECT_EQ(r.FillSizes, (std::vector<std::size_t>{16000, 16000, 8000}));
  EXPECT_EQ(r.Data, data);
  EXPECT_EQ(r.Crc, Crc32Of(data));
}

TEST(DecodeInput, ReadByteAnswersNoneAtTheEndWithoutAskingForMore) {
  const std::vector<u8> data = {1, 2, 3};
  std::size_t fetched = 0;
  int fills = 0;
  TDecodeInput in;
  in.Reset(3, [&](std::span<u8> block) {
    ++fills;
    FillFrom(data, fetched)(block);
  });
  EXPECT_EQ(in.ReadByte(), 1);
  EXPECT_EQ(in.ReadByte(), 2);
  EXPECT_EQ(in.ReadByte(), 3);
  EXPECT_EQ(in.ReadByte(), -1);
  EXPECT_EQ(in.ReadByte(), -1);
  EXPECT_EQ(fills, 1);
  EXPECT_FALSE(in.EndOfInput());
  in.Reset(-12, [&](std::span<u8>) { ++fills; });
  EXPECT_EQ(in.ReadByte(), -1);
  EXPECT_EQ(fills, 1);
}

// A deflate stream ends before the member's data does: the rest still goes
// through the fill function, block by block.
TEST(DecodeInput, SkipRestFetchesWhatTheDecoderLeft) {
  std::vector<u8> data = {0x03, 0x00};  // an empty fixed block
  const auto tail = test::RandomBytes(40000, 3);
  data.insert(data.end(), tail.begin(), tail.end());
  std::size_t fetched = 0;
  std::vector<std::size_t> fills;
  TDecodeInput in;
  in.Reset(static_cast<i64>(data.size()), [&](std::span<u8> block) {
    fills.push_back(block.size());
    FillFrom(data, fetched)(block);
  });
  TDecodeOutput out;
  out.Reset(nullptr, 0, {});
  Inflate(in, out);
  EXPECT_EQ(fills.size(), 1u);
  in.SkipRest();
  EXPECT_EQ(fetched, data.size());
  EXPECT_EQ(fills, (std::vector<std::size_t>{16000, 16000, 8002}));
  in.SkipRest();
  EXPECT_EQ(fills.size(), 3u);
}

TEST(DecodeInput, MissingBitsReadAsZerosAndSetEndOfInputOnlyWhenConsumed) {
  const std::vector<u8> data = {0xFF};
  std::size_t fetched = 0;
  TDecodeInput in;
  in.Reset(1, FillFrom(data, fetched));
  in.NeedBits(20);
  EXPECT_EQ(in.Bits() & 0xFFFFF, 0xFFu);
  EXPECT_FALSE(in.EndOfInput());
  in.DumpBits(8);
  EXPECT_FALSE(in.EndOfInput());
  in.DumpBits(1);
  EXPECT_TRUE(in.EndOfInput());
  in.NeedBits(30);
  EXPECT_TRUE(in.EndOfInput());

  fetched = 0;
  in.Reset(1, FillFrom(data, fetched));
  EXPECT_EQ(in.ReadBits(6), 0x3Fu);
  EXPECT_FALSE(in.EndOfInput());
  EXPECT_EQ(in.ReadBits(6), 0x03u);
  EXPECT_TRUE(in.EndOfInput());
}

TEST(DecodeInput, FailuresOfTheFillFunctionReachTheCaller) {
  const auto data = test::RandomBytes(20000, 2);
  TDecodeInput in;
  TDecodeOutput out;
  int fills = 0;
  in.Reset(20000, [&](std::span<u8> block) {
    if (++fills == 2) throw EFatalUnzipError();
    std::memcpy(block.data(), data.data(), block.size());
  });
  out.Reset(nullptr, 20000, {});
  EXPECT_THROW(DecodeMember(0, 0, 20000, 20000, in, out), EFatalUnzipError);
}

// The extraction driver decrypts each block in its fill function; stored and
// deflated data alike arrive decrypted, block by block.
TEST(DecodeInput, DecryptingFillServesStoredAndDeflatedMembers) {
  const auto plain = test::TextBytes(50000, 3);
  // A deflate stream of stored blocks carries `plain` unchanged.
  std::vector<u8> deflated;
  for (std::size_t at = 0; at < plain.size(); at += 65535) {
    const auto n = static_cast<u16>(std::min<std::size_t>(65535, plain.size() - at));
    const bool last = at + n == plain.size();
    deflated.insert(deflated.end(),
                    {static_cast<u8>(last ? 1 : 0), static_cast<u8>(n), static_cast<u8>(n >> 8),
                     static_cast<u8>(~n), static_cast<u8>(~n >> 8)});
    deflated.insert(deflated.end(), plain.begin() + static_cast<std::ptrdiff_t>(at),
                    plain.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  for (const auto& [method, stream] : {std::pair{u16{0}, plain}, std::pair{u16{8}, deflated}}) {
    TZipCipher writer;
    writer.InitKeys("secret");
    auto encrypted = stream;
    writer.Encrypt(std::span(encrypted));
    TZipCipher reader;
    reader.InitKeys("secret");
    std::size_t fetched = 0;
    TDecodeInput in;
    TDecodeOutput out;
    TMemoryStream sink;
    in.Reset(static_cast<i64>(encrypted.size()), [&](std::span<u8> block) {
      std::memcpy(block.data(), encrypted.data() + fetched, block.size());
      fetched += block.size();
      reader.Decrypt(block);
    });
    out.Reset(&sink, static_cast<u32>(plain.size()), {});
    ASSERT_TRUE(DecodeMember(method, 1, static_cast<u32>(encrypted.size()),
                             static_cast<u32>(plain.size()), in, out));
    EXPECT_EQ(sink.Memory(), plain) << method;
    EXPECT_EQ(out.Crc(), Crc32Of(plain));
  }
}

TEST(DecodeOutput, CutsChunksOf16000HoweverTheBytesArrive) {
  const auto data = test::RandomBytes(40000, 4);
  const std::vector<std::pair<u32, std::size_t>> expected = {
      {16000, 16000}, {32000, 16000}, {40000, 8000}};
  for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{15999},
                                  std::size_t{16000}, std::size_t{40000}}) {
    TDecodeOutput out;
    TMemoryStream sink;
    std::vector<std::pair<u32, std::size_t>> progress;
    out.Reset(&sink, 40000, [&](u32 written, std::size_t n) { progress.emplace_back(written, n); });
    for (std::size_t at = 0; at < data.size(); at += piece) {
      const auto part = std::span(data).subspan(at, std::min(piece, data.size() - at));
      if (piece == 1) {
        out.PutByte(part[0]);
      } else {
        out.Write(part);
      }
    }
    out.Finish();
    EXPECT_EQ(progress, expected) << piece;
    EXPECT_EQ(sink.Memory(), data);
    EXPECT_EQ(out.Crc(), Crc32Of(data));
    EXPECT_EQ(out.BytesWritten(), 40000u);
  }
}

TEST(DecodeOutput, StopsAtTheUncompressedSizeAndThenThrows) {
  const auto data = test::RandomBytes(40000, 5);
  TDecodeOutput out;
  TMemoryStream sink;
  std::vector<std::pair<u32, std::size_t>> progress;
  out.Reset(&sink, 20000, [&](u32 written, std::size_t n) { progress.emplace_back(written, n); });
  EXPECT_THROW(out.Write(data), EBiggerThanUncompressed);
  const auto first = std::span(data).first(20000);
  EXPECT_EQ(sink.Memory(), std::vector<u8>(first.begin(), first.end()));
  EXPECT_EQ(out.Crc(), Crc32Of(first));
  EXPECT_EQ(out.BytesWritten(), 20000u);
  EXPECT_EQ(progress.back(), (std::pair<u32, std::size_t>{20000, 4000}));

  out.Reset(&sink, 0, {});
  out.PutByte(1);
  EXPECT_THROW(out.Finish(), EBiggerThanUncompressed);
  EXPECT_EQ(out.BytesWritten(), 0u);
}

TEST(DecodeOutput, CountsOnlyThisMembersBytesAgainstTheLimit) {
  TMemoryStream sink;
  sink.WriteBuffer(test::RandomBytes(5000, 6));
  const auto data = test::RandomBytes(3000, 7);
  TDecodeOutput out;
  out.Reset(&sink, 3000, {});
  out.Write(data);
  EXPECT_NO_THROW(out.Finish());
  EXPECT_EQ(sink.Memory().size(), 8000u);
  out.Reset(&sink, 3000, {});
  out.Write(data);
  EXPECT_NO_THROW(out.Finish());
  EXPECT_EQ(out.Crc(), Crc32Of(data));
}

TEST(DecodeOutput, WithoutASinkOnlySums) {
  const auto data = test::TextBytes(30000, 8);
  TDecodeOutput out;
  out.Reset(nullptr, 30000, {});
  out.Write(data);
  out.Finish();
  EXPECT_EQ(out.Crc(), Crc32Of(data));
  EXPECT_EQ(out.BytesWritten(), 30000u);
}

class TShortWriteStream : public TMemoryStream {
 public:
  std::size_t Write(std::span<const u8> data) override {
    return TMemoryStream::Write(data.first(data.size() / 2));
  }
  std::string Name() const override { return "/tmp/target.bin"; }
};

TEST(DecodeOutput, AShortWriteIsAnErrorNamingTheFile) {
  TShortWriteStream sink;
  TDecodeOutput out;
  out.Reset(&sink, 100, {});
  out.Write(test::RandomBytes(100, 9));
  try {
    out.Finish();
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Path(), "/tmp/target.bin");
    EXPECT_NE(std::string(e.what()).find("/tmp/target.bin"), std::string::npos);
  }
}

TEST(DecodeMember, RefusesUnknownMethodsWithoutReadingOrWriting) {
  const auto data = test::RandomBytes(100, 10);
  for (const u16 method : {7, 10, 11, 13, 20, 94, 96, 97, 98, 99, 0xFFFF}) {
    const auto r = test::Decode({.Method = method, .UncompressedSize = 100}, data);
    EXPECT_FALSE(r.KnownMethod) << method;
    EXPECT_TRUE(r.FillSizes.empty());
    EXPECT_EQ(r.BytesWritten, 0u);
  }
}

}  // namespace
}  // namespace vz
