#include "engine/support/Crc32.h"

#include <gtest/gtest.h>

#include <string_view>

#include "tests/support/TestFiles.h"

namespace vz {
namespace {

std::span<const u8> Bytes(std::string_view s) {
  return {reinterpret_cast<const u8*>(s.data()), s.size()};
}

TEST(Crc32, KnownValues) {
  EXPECT_EQ(Crc32Of(Bytes("")), 0u);
  EXPECT_EQ(Crc32Of(Bytes("123456789")), 0xCBF43926u);
  EXPECT_EQ(Crc32Of(Bytes("The quick brown fox jumps over the lazy dog")), 0x414FA339u);
}

TEST(Crc32, SlicedEqualsByteAtATimeForEveryLengthAndSplit) {
  const auto data = test::RandomBytes(300, 7);
  for (std::size_t length = 0; length <= data.size(); length += 13) {
    u32 slow = 0xFFFFFFFF;
    for (std::size_t i = 0; i < length; ++i) slow = Crc32Step(slow, data[i]);
    for (std::size_t split = 0; split <= length; split += 5) {
      const u32 fast = UpdateCrc(UpdateCrc(0xFFFFFFFF, std::span(data).first(split)),
                                 std::span(data).subspan(split, length - split));
      ASSERT_EQ(fast, slow) << length << "/" << split;
    }
  }
}

TEST(Crc32, LongBuffersAtEveryAlignmentEqualByteAtATime) {
  const auto data = test::RandomBytes(5000, 9);
  for (std::size_t offset = 0; offset < 20; offset += 3) {
    for (std::size_t length = 200; length + offset <= data.size(); length += 97) {
      const auto part = std::span(data).subspan(offset, length);
      u32 slow = 0x01234567u + static_cast<u32>(length);
      const u32 start = slow;
      for (const u8 b : part) slow = Crc32Step(slow, b);
      ASSERT_EQ(UpdateCrc(start, part), slow) << offset << "/" << length;
    }
  }
}

TEST(Crc32, AgreesWithPythonsZlib) {
  if (!test::HaveProgram("python3")) GTEST_SKIP();
  const auto data = test::RandomBytes(5000, 3);
  const std::string hex = [&] {
    std::string h;
    char buf[3];
    for (u8 b : data) std::snprintf(buf, sizeof buf, "%02x", b), h += buf;
    return h;
  }();
  const auto r = test::RunCommand("python3 -c \"import zlib; print(zlib.crc32(bytes.fromhex('" +
                                  hex + "')))\"");
  ASSERT_EQ(r.ExitCode, 0);
  EXPECT_EQ(std::stoul(r.Output), Crc32Of(data));
}

// Lengths at the edges of the folding loops' steps (16, 64, 128 and 256
// bytes, and the output side's 16000-byte chunks), where the wide loops hand
// over to the narrower ones and the byte tables finish the tail.
class Crc32Edges : public ::testing::TestWithParam<std::size_t> {};

TEST_P(Crc32Edges, EqualsByteAtATime) {
  const std::size_t length = GetParam();
  const auto data = test::RandomBytes(length + 1, static_cast<u32>(length));
  for (const std::size_t offset : {std::size_t{0}, std::size_t{1}}) {
    const auto part = std::span(data).subspan(offset, length);
    u32 slow = 0xFFFFFFFF;
    for (const u8 b : part) slow = Crc32Step(slow, b);
    ASSERT_EQ(UpdateCrc(0xFFFFFFFF, part), slow) << length << "+" << offset;
  }
}

INSTANTIATE_TEST_SUITE_P(Boundaries, Crc32Edges,
                         ::testing::Values(255, 256, 257, 271, 272, 383, 384, 511, 512, 513, 767,
                                           768, 1023, 1024, 1040, 4095, 15999, 16000, 16001,
                                           48000));

}  // namespace
}  // namespace vz
