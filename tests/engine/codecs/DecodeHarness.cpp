#include "tests/engine/codecs/DecodeHarness.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "engine/support/Exceptions.h"
#include "tests/support/TestFiles.h"

namespace vz::test {

TDecodeResult Decode(const TDecodeCall& call, std::span<const u8> compressed) {
  TDecodeResult result;
  TDecodeInput in;
  TDecodeOutput out;
  TMemoryStream sink;
  std::size_t fetched = 0;
  in.Reset(static_cast<i64>(compressed.size()), [&](std::span<u8> block) {
    result.FillSizes.push_back(block.size());
    std::memcpy(block.data(), compressed.data() + fetched, block.size());
    fetched += block.size();
  });
  out.Reset(call.NullSink ? nullptr : &sink, call.UncompressedSize,
            [&](u64 written, std::size_t chunk) { result.Progress.emplace_back(written, chunk); });
  try {
    result.KnownMethod = DecodeMember(call.Method, call.Flags, static_cast<u32>(compressed.size()),
                                      call.UncompressedSize, in, out);
  } catch (const EBiggerThanUncompressed&) {
    result.KnownMethod = true;
    result.TooBig = true;
  }
  result.Data = sink.Memory();
  result.Crc = out.Crc();
  result.BytesWritten = out.BytesWritten();
  return result;
}

std::vector<TLocalMember> LocalMembers(const std::vector<u8>& archive) {
  TMemoryStream stream;
  stream.WriteBuffer(archive);
  stream.SetPosition(0);
  std::vector<TLocalMember> members;
  TZipHeaderInfo header;
  while (header.ReadLocal(stream)) {
    const i64 start = stream.Position() + header.ExtraFieldLength;
    const auto size = static_cast<i64>(header.CompressedSize);
    if (start + size > static_cast<i64>(archive.size())) break;
    const auto begin = archive.begin() + static_cast<std::ptrdiff_t>(start);
    members.push_back({header, {begin, begin + size}, {begin - header.ExtraFieldLength, begin}});
    stream.SetPosition(start + size);
  }
  return members;
}

TLocalMember LegacyMember(const std::string& archive, const std::string& member) {
  for (auto& m : LocalMembers(ReadFileBytes(TestDataDir() + "/legacy/" + archive))) {
    if (m.Header.FullName() == member) return m;
  }
  throw std::runtime_error("no member " + member + " in " + archive);
}

TTempFolder::TTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vzcodecs.XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
}

TTempFolder::~TTempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

std::vector<TLocalMember> MembersMadeBy(const TTempFolder& folder, const std::string& command,
                                        const std::string& archive) {
  const TCommandResult r = RunCommand("cd " + ShellQuote(folder.Path()) + " && " + command);
  if (r.ExitCode != 0) throw std::runtime_error(command + " failed: " + r.Output);
  return LocalMembers(ReadFileBytes(folder.Path() + "/" + archive));
}

bool RunPython(const TTempFolder& folder, const std::string& program, std::string* output) {
  const std::string script = folder.Path() + "/program.py";
  WriteFileText(script, program);
  const TCommandResult r = RunCommand("python3 " + ShellQuote(script));
  if (output != nullptr) *output = r.Output;
  return r.ExitCode == 0;
}

}  // namespace vz::test
