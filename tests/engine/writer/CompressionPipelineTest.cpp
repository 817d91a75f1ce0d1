// The pipeline on its own: what a worker hands back is what the compressor
// makes of the file on the operation's thread, and members the operation
// takes out of the planned order, or that cannot be read ahead, are left to
// their turn.
#include <gtest/gtest.h>

#include <atomic>

#include "engine/codecs/Deflate.h"
#include "engine/support/Crc32.h"
#include "engine/writer/CompressionPipeline.h"
#include "tests/engine/writer/WriterFixture.h"

namespace vz {
namespace {

class CompressionPipelineTest : public test::TWriterFixture {
 protected:
  // The compressor's output and steps for `bytes` on this thread.
  static TCompressedMember Inline(const std::vector<u8>& bytes, int level) {
    TCompressedMember member;
    TDeflater deflater;
    TZipHeaderInfo header;
    std::size_t at = 0;
    deflater.CompressMember(
        header, level,
        [&](std::span<u8> buffer) {
          const std::size_t n = std::min(buffer.size(), bytes.size() - at);
          std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), n, buffer.begin());
          at += n;
          if (n > 0) member.Steps.push_back({TCompressStepKind::Read, static_cast<u32>(n)});
          return n;
        },
        [&](std::span<const u8> out) {
          member.Data.insert(member.Data.end(), out.begin(), out.end());
          member.Steps.push_back({TCompressStepKind::Write, static_cast<u32>(out.size())});
        },
        "x");
    member.CompressionMethod = header.CompressionMethod;
    member.Flags = header.Flags;
    return member;
  }

  std::atomic<bool> Cancel{false};
};

TEST_F(CompressionPipelineTest, WorkersGiveWhatTheCompressorGivesHere) {
  const std::vector<std::string> names = {"text.txt", "random.bin", "empty", "sub/run.dat",
                                          "sub/deeper/small.txt"};
  std::vector<std::string> plan;
  for (const auto& name : names) plan.push_back(Src + name);
  for (const int level : {1, 6, 9}) {
    TCompressionPipeline pipeline(Fake.Files, 2, level, plan, Cancel);
    ASSERT_EQ(pipeline.Workers(), 2);
    for (const auto& name : names) {
      const auto got = pipeline.Take(Src + name);
      ASSERT_NE(got, nullptr) << name;
      const std::vector<u8> bytes = test::ReadFileBytes(Src + name);
      const TCompressedMember expected = Inline(bytes, level);
      EXPECT_EQ(got->Data, expected.Data) << name << " at " << level;
      EXPECT_EQ(got->Crc, Crc32Of(bytes)) << name;
      EXPECT_EQ(got->CompressionMethod, expected.CompressionMethod) << name;
      EXPECT_EQ(got->Flags, expected.Flags) << name;
      EXPECT_EQ(got->Level, level);
      ASSERT_EQ(got->Steps.size(), expected.Steps.size()) << name;
      for (std::size_t i = 0; i < got->Steps.size(); ++i) {
        EXPECT_EQ(got->Steps[i].Kind, expected.Steps[i].Kind) << name << " step " << i;
        EXPECT_EQ(got->Steps[i].Bytes, expected.Steps[i].Bytes) << name << " step " << i;
      }
    }
  }
}

TEST_F(CompressionPipelineTest, MembersOutOfPlanOrUnreadableAreLeftToTheirTurn) {
  test::MakeFolders(Src + "folder");
  const std::vector<std::string> plan = {Src + "text.txt", Src + "missing", Src + "folder/",
                                         Src + "random.bin", Src + "empty"};
  TCompressionPipeline pipeline(Fake.Files, 2, 6, plan, Cancel);
  EXPECT_EQ(pipeline.Take(Src + "missing"), nullptr);
  EXPECT_EQ(pipeline.Take(Src + "folder/"), nullptr);
  // Taken after a later one: dropped.
  EXPECT_EQ(pipeline.Take(Src + "text.txt"), nullptr);
  EXPECT_NE(pipeline.Take(Src + "random.bin"), nullptr);
  // Never planned.
  EXPECT_EQ(pipeline.Take(Src + "sub/run.dat"), nullptr);
  EXPECT_NE(pipeline.Take(Src + "empty"), nullptr);
}

TEST_F(CompressionPipelineTest, ACancelStopsTheWorkersWork) {
  Cancel = true;
  TCompressionPipeline pipeline(Fake.Files, 2, 6, {Src + "text.txt", Src + "sub/run.dat"}, Cancel);
  EXPECT_EQ(pipeline.Take(Src + "text.txt"), nullptr);
  EXPECT_EQ(pipeline.Take(Src + "sub/run.dat"), nullptr);
}

}  // namespace
}  // namespace vz
