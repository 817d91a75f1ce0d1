// Small file and process helpers for tests.
#pragma once

#include <string>
#include <vector>

#include "platform/Types.h"

namespace vz::test {

std::vector<u8> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<u8>& data);
void WriteFileText(const std::string& path, const std::string& text);
std::string ReadFileText(const std::string& path);
bool FileExists(const std::string& path);
// The permission bits (07777) of a path, not following a link; 0xFFFF when
// there is nothing.
u32 FileMode(const std::string& path);
void MakeFolders(const std::string& path);

// Deterministic bytes: random-looking for a seed, or compressible text.
std::vector<u8> RandomBytes(std::size_t size, u32 seed);
std::vector<u8> TextBytes(std::size_t size, u32 seed);

struct TCommandResult {
  int ExitCode = -1;
  std::string Output;  // standard output and standard error together
};
// Runs a shell command line and collects its output.
TCommandResult RunCommand(const std::string& commandLine);
// Quotes a string for a POSIX shell.
std::string ShellQuote(const std::string& text);
// True when the program is on PATH.
bool HaveProgram(const std::string& name);

// The source tree (VZ_SOURCE_DIR, set by CTest).
std::string SourceDir();
// ../shared/testdata/legacy copied into the tree.
std::string TestDataDir();

}  // namespace vz::test
