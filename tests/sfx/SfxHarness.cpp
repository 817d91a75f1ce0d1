#include "tests/sfx/SfxHarness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "tests/support/TestFiles.h"

namespace vz::test {

std::string StubPath() {
  return VZ_SFX_STUB;
}

TScratch::TScratch() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vz-sfx-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
}

TScratch::~TScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(FPath, ignored);
}

void WriteSfx(const std::string& path, const std::vector<u8>& archive) {
  std::vector<u8> bytes = ReadFileBytes(StubPath());
  bytes.insert(bytes.end(), archive.begin(), archive.end());
  WriteFileBytes(path, bytes);
  ::chmod(path.c_str(), 0755);
}

TSfxRun RunIn(const std::string& folder, const std::string& program, const std::string& input) {
  // A sanitizer report in a sanitized stub must not pass for the stub's
  // own failure status 1.
  const std::string sanitizers =
      "ASAN_OPTIONS=\"$ASAN_OPTIONS:exitcode=86\" UBSAN_OPTIONS=\"$UBSAN_OPTIONS:exitcode=86\" ";
  const TCommandResult result =
      RunCommand("cd " + ShellQuote(folder) + " && printf %s " + ShellQuote(input) + " | " +
                 sanitizers + ShellQuote(program));
  return {result.ExitCode, result.Output};
}

std::vector<u8> RunZip(const std::string& folder, const std::string& arguments,
                       const std::string& archivePath) {
  const TCommandResult result = RunCommand("cd " + ShellQuote(folder) + " && zip -q " + arguments);
  if (result.ExitCode != 0) throw std::runtime_error("zip failed: " + result.Output);
  return ReadFileBytes(archivePath);
}

std::vector<TLocalEntry> LocalEntries(const std::vector<u8>& archive) {
  const auto le16 = [&](std::size_t at) {
    return static_cast<u32>(archive[at] | archive[at + 1] << 8);
  };
  const auto le32 = [&](std::size_t at) { return le16(at) | le16(at + 2) << 16; };
  std::vector<TLocalEntry> entries;
  std::size_t at = 0;
  while (at + 30 <= archive.size() && le32(at) == 0x04034B50) {
    TLocalEntry entry;
    const u32 nameLength = le16(at + 26);
    entry.Name.assign(reinterpret_cast<const char*>(&archive[at + 30]), nameLength);
    entry.HeaderOffset = at;
    entry.DataOffset = at + 30 + nameLength + le16(at + 28);
    entry.CompressedSize = le32(at + 18);
    at = entry.DataOffset + entry.CompressedSize;
    entries.push_back(entry);
  }
  return entries;
}

TLocalEntry EntryNamed(const std::vector<TLocalEntry>& entries, const std::string& name) {
  for (const TLocalEntry& entry : entries) {
    if (entry.Name == name) return entry;
  }
  throw std::runtime_error("no member " + name);
}

TBuildMember Stored(const std::string& name, const std::vector<u8>& data) {
  TBuildMember member;
  member.Name = name;
  member.Data = data;
  return member;
}

TBuildMember Stored(const std::string& name, const std::string& data) {
  return Stored(name, std::vector<u8>(data.begin(), data.end()));
}

std::vector<std::string> FilesBelow(const std::string& root) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_directory()) {
      names.push_back(std::filesystem::relative(entry.path(), root).string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

int CountOf(const std::string& text, const std::string& what) {
  int count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

void SetModified(const std::string& path, long long seconds) {
  const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

long long ModifiedTime(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_mtim.tv_sec) : -1;
}

long long AccessTime(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_atim.tv_sec) : -1;
}

}  // namespace vz::test
