// Running the real vnsfx32 stub in scratch folders: self-extracting files
// made by putting the stub in front of an archive (from Info-ZIP zip or
// written byte by byte), scripted answers on standard input.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Types.h"
#include "tests/support/ZipBuilder.h"

namespace vz::test {

// The built stub (its path comes from the build).
std::string StubPath();

// A fresh folder, removed with everything in it at the end.
class TScratch {
 public:
  TScratch();
  ~TScratch();
  TScratch(const TScratch&) = delete;
  TScratch& operator=(const TScratch&) = delete;

  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

struct TSfxRun {
  int ExitCode = -1;   // -1 when the stub died from a signal
  std::string Output;  // standard output and standard error together
};

// Writes the stub followed by the archive to path, executable.
void WriteSfx(const std::string& path, const std::vector<u8>& archive);

// Runs a program in folder with input as its whole standard input.
TSfxRun RunIn(const std::string& folder, const std::string& program, const std::string& input);

// Runs Info-ZIP zip in folder ("zip -q " + arguments) and returns the
// archive it wrote to the scratch file archivePath.
std::vector<u8> RunZip(const std::string& folder, const std::string& arguments,
                       const std::string& archivePath);

// The local headers of an archive without data descriptors, in order.
struct TLocalEntry {
  std::string Name;
  std::size_t HeaderOffset = 0;
  std::size_t DataOffset = 0;
  u32 CompressedSize = 0;
};
std::vector<TLocalEntry> LocalEntries(const std::vector<u8>& archive);
TLocalEntry EntryNamed(const std::vector<TLocalEntry>& entries, const std::string& name);

int CountOf(const std::string& text, const std::string& what);

// A stored member for TZipBuilder.
TBuildMember Stored(const std::string& name, const std::vector<u8>& data);
TBuildMember Stored(const std::string& name, const std::string& data);
// Every file (not folder) below root, relative to it, sorted.
std::vector<std::string> FilesBelow(const std::string& root);

// Sets a file's modification time (local time, seconds since the epoch).
void SetModified(const std::string& path, long long seconds);
long long ModifiedTime(const std::string& path);
long long AccessTime(const std::string& path);

// Names parameterised cases after their Name field.
template <typename T>
std::string CaseName(const testing::TestParamInfo<T>& param) {
  return param.param.Name;
}

inline const std::string kSuccessLine =
    "CRC validation passed on all file( s )... extraction successful";
inline const std::string kFailureLine = "The remaining hilited file( s ) failed CRC validation";

}  // namespace vz::test
