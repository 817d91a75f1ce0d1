// Running the real vzip in scratch folders: standard output and standard
// error kept apart, standard input from a given text (never a terminal, so
// no prompt may wait), or under script(1) for the terminal cases. Sample
// trees, peers (Info-ZIP zip and unzip, 7-Zip) and tree comparison.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Types.h"

namespace vz::test {

// The built program (its path comes from the build).
std::string VzipPath();

// Put before vzip on a shell command line: a sanitizer report must not pass
// for vzip's own exit statuses, and the C locale fixes the digit grouping
// of sizes.
extern const char* const kVzipEnvironment;

// A fresh folder, removed with everything in it at the end.
class TCliScratch {
 public:
  TCliScratch();
  ~TCliScratch();
  TCliScratch(const TCliScratch&) = delete;
  TCliScratch& operator=(const TCliScratch&) = delete;

  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

struct TVzipRun {
  int ExitCode = -1;  // 86: a sanitizer report
  std::string Out;
  std::string Err;
};

// Runs "vzip <arguments>" (a shell fragment, quoted by the caller) in
// `folder` with `input` as its whole standard input, under a time limit.
TVzipRun Vzip(const std::string& folder, const std::string& arguments,
              const std::string& input = "");

// Runs "vzip <arguments>" under script(1), which gives it a terminal;
// `input` is typed ahead. Everything the terminal showed comes back in Out.
// `redirect` is appended to the command inside the terminal ("> out.bin").
TVzipRun VzipOnTerminal(const std::string& folder, const std::string& arguments,
                        const std::string& input, const std::string& redirect = "");

// Runs a shell command in `folder`; standard output and error together.
TVzipRun Shell(const std::string& folder, const std::string& command);

// A tree of sample files below `root`: compressible text, random bytes, an
// empty file, a name with blanks, nested folders. Returns the relative paths.
std::vector<std::string> MakeSampleTree(const std::string& root);

// Relative path -> contents of every file below `root`.
std::vector<std::pair<std::string, std::vector<u8>>> TreeContents(const std::string& root);

// The member names of a listing (vzip l without --comments), in its order.
std::vector<std::string> ListedNames(const std::string& listing);

int Occurrences(const std::string& text, const std::string& what);

// Names parameterised cases after their Name field.
template <typename T>
std::string CaseName(const testing::TestParamInfo<T>& param) {
  return param.param.Name;
}

}  // namespace vz::test
