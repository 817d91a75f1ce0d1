#include "tests/support/TestFiles.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <sys/stat.h>
#include <sys/wait.h>

namespace vz::test {

std::vector<u8> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<u8>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

void WriteFileText(const std::string& path, const std::string& text) {
  WriteFileBytes(path, std::vector<u8>(text.begin(), text.end()));
}

std::string ReadFileText(const std::string& path) {
  const auto bytes = ReadFileBytes(path);
  return {bytes.begin(), bytes.end()};
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

u32 FileMode(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? static_cast<u32>(info.st_mode & 07777) : 0xFFFFu;
}

void MakeFolders(const std::string& path) { std::filesystem::create_directories(path); }

std::vector<u8> RandomBytes(std::size_t size, u32 seed) {
  std::vector<u8> out(size);
  u64 state = seed * 0x9E3779B97F4A7C15ull + 1;
  for (auto& b : out) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    b = static_cast<u8>(state >> 24);
  }
  return out;
}

std::vector<u8> TextBytes(std::size_t size, u32 seed) {
  static const char* kWords[] = {"the ",   "archive ", "member ", "of ",    "zip ",   "data\n",
                                 "deflate ", "window ",  "and ",   "a ",     "file ",  "header ",
                                 "CRC ",   "stream\n", "Varnel ", "block ", "tree ",  "code "};
  std::vector<u8> out;
  out.reserve(size);
  u32 state = seed + 1;
  while (out.size() < size) {
    state = state * 1664525u + 1013904223u;
    const char* w = kWords[(state >> 16) % (sizeof kWords / sizeof *kWords)];
    for (const char* p = w; *p != '\0' && out.size() < size; ++p) out.push_back(static_cast<u8>(*p));
  }
  return out;
}

TCommandResult RunCommand(const std::string& commandLine) {
  TCommandResult result;
  FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.Output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

bool HaveProgram(const std::string& name) {
  return RunCommand("command -v " + ShellQuote(name) + " >/dev/null").ExitCode == 0;
}

std::string SourceDir() {
  const char* dir = std::getenv("VZ_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

std::string TestDataDir() { return SourceDir() + "/tests/data"; }

}  // namespace vz::test
