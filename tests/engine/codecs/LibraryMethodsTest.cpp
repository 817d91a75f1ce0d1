// BZip2, LZMA, XZ and Zstandard members as 7-Zip, Python's zipfile and
// Info-ZIP write them (XZ and Zstandard, which those write into no ZIP, as
// Python's lzma module and libzstd make the streams), decoded through the
// decoder interface; and what the decoders do with cut, damaged and
// oversized streams.
#include <gtest/gtest.h>
#include <zstd.h>

#include <functional>

#include "engine/support/Crc32.h"
#include "tests/engine/codecs/DecodeHarness.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

// Text with a stretch of noise: compressible, but not trivially.
std::vector<u8> Sample() {
  auto data = test::TextBytes(150000, 3);
  const auto noise = test::RandomBytes(20000, 4);
  data.insert(data.begin() + 70000, noise.begin(), noise.end());
  return data;
}

struct TMember {
  u16 Method = 0;
  u16 Flags = 0;
  std::vector<u8> Data;
};

using TMaker = std::function<TMember(const test::TTempFolder&, const std::vector<u8>&)>;

// The one member of the archive that `command` makes of data.bin.
TMaker Archiver(const std::string& program, const std::string& command) {
  return [program, command](const test::TTempFolder& folder, const std::vector<u8>& data) {
    if (!test::HaveProgram(program)) throw std::runtime_error(program + " missing");
    test::WriteFileBytes(folder.Path() + "/data.bin", data);
    const auto members = test::MembersMadeBy(folder, command, "a.zip");
    if (members.size() != 1) throw std::runtime_error("not one member");
    return TMember{members[0].Header.CompressionMethod, members[0].Header.Flags, members[0].Data};
  };
}

TMaker PythonZip(const std::string& method) {
  return Archiver("python3",
                  "python3 -c \"import zipfile; z = zipfile.ZipFile('a.zip', 'w', "
                  "zipfile." +
                      method + "); z.write('data.bin'); z.close()\"");
}

TMember XzStream(const test::TTempFolder& folder, const std::vector<u8>& data) {
  test::WriteFileBytes(folder.Path() + "/data.bin", data);
  std::string output;
  if (!test::RunPython(folder,
                       "import lzma, os\nos.chdir(" + test::ShellQuote(folder.Path()) +
                           ")\nopen('data.xz', 'wb').write(lzma.compress(open('data.bin', "
                           "'rb').read(), format=lzma.FORMAT_XZ, preset=6))\n",
                       &output)) {
    throw std::runtime_error(output);
  }
  return {95, 0, test::ReadFileBytes(folder.Path() + "/data.xz")};
}

TMember ZstdStream(const test::TTempFolder&, const std::vector<u8>& data) {
  std::vector<u8> out(ZSTD_compressBound(data.size()));
  const std::size_t n = ZSTD_compress(out.data(), out.size(), data.data(), data.size(), 9);
  if (ZSTD_isError(n)) throw std::runtime_error("ZSTD_compress");
  out.resize(n);
  return {93, 0, out};
}

struct TPeerCase {
  const char* Name;
  u16 Method;
  TMaker Make;
  std::size_t Size;
};

class LibraryMethods : public testing::TestWithParam<TPeerCase> {
 protected:
  TMember MakeMember(const std::vector<u8>& data) {
    const TMember m = GetParam().Make(Folder, data);
    EXPECT_EQ(m.Method, GetParam().Method) << "the peer chose another method";
    return m;
  }
  test::TTempFolder Folder;
};

TEST_P(LibraryMethods, DecodeWhatPeersWrote) {
  auto data = Sample();
  data.resize(GetParam().Size);
  TMember m;
  try {
    m = MakeMember(data);
  } catch (const std::runtime_error& e) {
    GTEST_SKIP() << e.what();
  }
  const auto r = test::Decode(
      {.Method = m.Method, .Flags = m.Flags, .UncompressedSize = static_cast<u32>(data.size())},
      m.Data);
  EXPECT_TRUE(r.KnownMethod);
  EXPECT_FALSE(r.TooBig);
  EXPECT_TRUE(r.Data == data) << r.Data.size() << " bytes of " << data.size();
  EXPECT_EQ(r.Crc, Crc32Of(data));
}

// A stream cut short or with a byte changed never throws and never passes
// as the original; one longer than the declared size never writes past it
// (liblzma refuses an LZMA stream that goes on past its size at once).
TEST_P(LibraryMethods, DamagedOrOversizedStreamsFailTheCheck) {
  const auto data = Sample();
  TMember m;
  try {
    m = MakeMember(data);
  } catch (const std::runtime_error& e) {
    GTEST_SKIP() << e.what();
  }
  const auto size = static_cast<u32>(data.size());
  for (const std::size_t keep :
       {std::size_t{0}, std::size_t{5}, m.Data.size() / 2, m.Data.size() - 1}) {
    const std::span<const u8> cut = std::span(m.Data).first(keep);
    const auto r =
        test::Decode({.Method = m.Method, .Flags = m.Flags, .UncompressedSize = size}, cut);
    EXPECT_LT(r.BytesWritten, size) << "kept " << keep;
    EXPECT_FALSE(r.TooBig);
  }
  auto damaged = m.Data;
  damaged[damaged.size() / 3] ^= 0x10;
  const auto bad =
      test::Decode({.Method = m.Method, .Flags = m.Flags, .UncompressedSize = size}, damaged);
  EXPECT_FALSE(bad.Crc == Crc32Of(data) && bad.BytesWritten == size);

  const auto small = test::Decode(
      {.Method = m.Method, .Flags = m.Flags, .UncompressedSize = 50000, .NullSink = true}, m.Data);
  EXPECT_LE(small.BytesWritten, 50000u);
  EXPECT_EQ(small.TooBig, small.BytesWritten == 50000u);
  EXPECT_EQ(small.Crc, Crc32Of(std::span(data).first(small.BytesWritten)));
}

INSTANTIATE_TEST_SUITE_P(
    Peers, LibraryMethods,
    testing::Values(
        TPeerCase{"SevenZipBZip2", 12, Archiver("7z", "7z a -tzip -mm=BZip2 a.zip data.bin"),
                  170000},
        TPeerCase{"SevenZipLzma", 14, Archiver("7z", "7z a -tzip -mm=LZMA a.zip data.bin"), 170000},
        TPeerCase{"SevenZipLzmaWithoutEndMarker", 14,
                  Archiver("7z", "7z a -tzip -mm=LZMA:eos=off a.zip data.bin"), 170000},
        TPeerCase{"PythonBZip2", 12, PythonZip("ZIP_BZIP2"), 170000},
        TPeerCase{"PythonLzma", 14, PythonZip("ZIP_LZMA"), 170000},
        TPeerCase{"PythonBZip2Empty", 12, PythonZip("ZIP_BZIP2"), 0},
        TPeerCase{"PythonLzmaOneByte", 14, PythonZip("ZIP_LZMA"), 1},
        TPeerCase{"InfoZipBZip2", 12,
                  Archiver("/usr/bin/zip", "/usr/bin/zip -q -Z bzip2 a.zip data.bin"), 170000},
        TPeerCase{"Xz", 95, XzStream, 170000}, TPeerCase{"Zstandard", 93, ZstdStream, 170000},
        TPeerCase{"ZstandardEmpty", 93, ZstdStream, 0}),
    [](const auto& p) { return std::string(p.param.Name); });

// An LZMA stream with an end marker whose flag bit 1 is missing still
// decodes: the declared size ends it, and the marker after it is allowed.
TEST(LibraryMethods, LzmaEndMarkerWithoutItsFlagStillDecodes) {
  if (!test::HaveProgram("python3")) GTEST_SKIP();
  const test::TTempFolder folder;
  const auto data = Sample();
  const TMember m = PythonZip("ZIP_LZMA")(folder, data);
  ASSERT_EQ(m.Flags & 2, 2);
  const auto r = test::Decode(
      {.Method = 14, .Flags = 0, .UncompressedSize = static_cast<u32>(data.size())}, m.Data);
  EXPECT_TRUE(r.Data == data);
}

// The ZIP form's header: properties of another length than 5 are refused
// before liblzma sees anything.
TEST(LibraryMethods, LzmaHeaderWithWrongPropertiesLengthIsRefused) {
  if (!test::HaveProgram("python3")) GTEST_SKIP();
  const test::TTempFolder folder;
  const auto data = Sample();
  TMember m = PythonZip("ZIP_LZMA")(folder, data);
  m.Data[2] = 6;
  const auto r = test::Decode(
      {.Method = 14, .Flags = 2, .UncompressedSize = static_cast<u32>(data.size())}, m.Data);
  EXPECT_EQ(r.BytesWritten, 0u);
}

}  // namespace
}  // namespace vz
