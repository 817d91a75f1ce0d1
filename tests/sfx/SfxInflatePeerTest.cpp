// The stub's inflate against streams from a peer compressor (Python's zlib)
// in shapes that Info-ZIP zip does not choose: fixed codes only, Huffman
// codes only, run-length matches, stored blocks, the longest distance, tiny
// blocks. Each stream becomes a deflated member of a hand-built archive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/support/Crc32.h"
#include "tests/sfx/SfxHarness.h"
#include "tests/support/TestFiles.h"
#include "tests/support/ZipBuilder.h"

namespace vz::test {
namespace {

struct TPeerCase {
  const char* Name;
  int Level;
  int MemLevel;  // 1 makes zlib end blocks early
  int Strategy;  // 0 default, 1 filtered, 2 Huffman only, 3 RLE, 4 fixed
  std::vector<u8> Data;
};

std::vector<u8> Repeated(const std::vector<u8>& block, int times) {
  std::vector<u8> data;
  for (int i = 0; i < times; ++i) data.insert(data.end(), block.begin(), block.end());
  return data;
}

class SfxInflatePeer : public testing::TestWithParam<TPeerCase> {};

TEST_P(SfxInflatePeer, DecodesWhatZlibEncodes) {
  if (!HaveProgram("python3")) GTEST_SKIP() << "python3 is not installed";
  const TPeerCase& c = GetParam();
  TScratch scratch;
  MakeFolders(scratch / "out");
  WriteFileBytes(scratch / "plain", c.Data);
  const TCommandResult deflate = RunCommand(
      "python3 -c 'import sys, zlib\n"
      "d = open(sys.argv[1], \"rb\").read()\n"
      "c = zlib.compressobj(int(sys.argv[3]), zlib.DEFLATED, -15, int(sys.argv[4]), "
      "int(sys.argv[5]))\n"
      "open(sys.argv[2], \"wb\").write(c.compress(d) + c.flush())' " +
      ShellQuote(scratch / "plain") + " " + ShellQuote(scratch / "deflated") + " " +
      std::to_string(c.Level) + " " + std::to_string(c.MemLevel) + " " +
      std::to_string(c.Strategy));
  ASSERT_EQ(deflate.ExitCode, 0) << deflate.Output;

  TBuildMember member;
  member.Name = "member.bin";
  member.Method = 8;
  member.Data = ReadFileBytes(scratch / "deflated");
  member.Crc = Crc32Of(c.Data);
  member.UncompressedSize = static_cast<u32>(c.Data.size());
  WriteSfx(scratch / "setup.exe", TZipBuilder::Archive({member}));

  const TSfxRun run = RunIn(scratch / "out", scratch / "setup.exe", "\n");

  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_EQ(ReadFileBytes(scratch / "out/member.bin"), c.Data);
}

INSTANTIATE_TEST_SUITE_P(
    Sfx, SfxInflatePeer,
    testing::Values(TPeerCase{"EmptyStream", 6, 8, 0, {}}, TPeerCase{"OneByte", 6, 8, 0, {42}},
                    TPeerCase{"FixedCodesOnly", 6, 8, 4, TextBytes(100000, 31)},
                    TPeerCase{"HuffmanCodesOnly", 6, 8, 2, TextBytes(100000, 32)},
                    TPeerCase{"RunLengthMatches", 6, 8, 3, Repeated({1, 2, 2, 2, 3}, 20000)},
                    TPeerCase{"StoredBlocks", 0, 8, 0, RandomBytes(200000, 33)},
                    TPeerCase{"LongestDistance", 9, 9, 0, Repeated(RandomBytes(32768, 34), 4)},
                    TPeerCase{"TinyBlocks", 9, 1, 0, TextBytes(300000, 35)},
                    TPeerCase{"FilteredNoise", 9, 8, 1, RandomBytes(50000, 36)},
                    TPeerCase{"LongMatches", 9, 8, 0, std::vector<u8>(1000000, 'z')}),
    CaseName<TPeerCase>);

}  // namespace
}  // namespace vz::test
