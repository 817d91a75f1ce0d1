#include "tests/cli/CliHarness.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace vz::test {
namespace {

constexpr const char* kTimeLimit = "timeout 120 ";

std::string ReadAndRemove(const std::string& path) {
  std::string text = FileExists(path) ? ReadFileText(path) : std::string();
  fs::remove(path);
  return text;
}

}  // namespace

const char* const kVzipEnvironment =
    "LC_ALL=C ASAN_OPTIONS=\"$ASAN_OPTIONS:exitcode=86\" "
    "UBSAN_OPTIONS=\"$UBSAN_OPTIONS:exitcode=86\" ";

std::string VzipPath() {
  return VZ_VZIP;
}

TCliScratch::TCliScratch() {
  std::string pattern = (fs::temp_directory_path() / "vzip-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
}

TCliScratch::~TCliScratch() {
  std::error_code ec;
  fs::remove_all(FPath, ec);
}

TVzipRun Vzip(const std::string& folder, const std::string& arguments, const std::string& input) {
  // The streams' files live outside the folder, where an archive of "." would take them in.
  static int runs = 0;
  const std::string base = (fs::temp_directory_path() / ("vzip-run-" + std::to_string(::getpid()) +
                                                         "-" + std::to_string(++runs)))
                               .string();
  WriteFileText(base + ".in", input);
  // The subshell keeps the two streams apart from RunCommand's own "2>&1".
  const TCommandResult result =
      RunCommand("cd " + ShellQuote(folder) + " && (" + kVzipEnvironment + kTimeLimit +
                 ShellQuote(VzipPath()) + " " + arguments + " <" + ShellQuote(base + ".in") + " >" +
                 ShellQuote(base + ".out") + " 2>" + ShellQuote(base + ".err") + ")");
  fs::remove(base + ".in");
  return {result.ExitCode, ReadAndRemove(base + ".out"), ReadAndRemove(base + ".err")};
}

TVzipRun VzipOnTerminal(const std::string& folder, const std::string& arguments,
                        const std::string& input, const std::string& redirect) {
  const std::string inner = std::string(kVzipEnvironment) + ShellQuote(VzipPath()) + " " + arguments +
                            (redirect.empty() ? "" : " " + redirect);
  const TCommandResult result =
      RunCommand("cd " + ShellQuote(folder) + " && printf %s " + ShellQuote(input) + " | " +
                 kTimeLimit + "script -qec " + ShellQuote(inner) + " /dev/null");
  return {result.ExitCode, result.Output, {}};
}

TVzipRun Shell(const std::string& folder, const std::string& command) {
  const TCommandResult result = RunCommand("cd " + ShellQuote(folder) + " && " + command);
  return {result.ExitCode, result.Output, {}};
}

std::vector<std::string> MakeSampleTree(const std::string& root) {
  const std::vector<std::pair<std::string, std::vector<u8>>> files{
      {"readme.txt", TextBytes(40000, 1)},
      {"random.bin", RandomBytes(70001, 2)},
      {"empty.dat", {}},
      {"with blank.txt", TextBytes(300, 3)},
      {"docs/guide.txt", TextBytes(16001, 4)},
      {"docs/deep/inner.bin", RandomBytes(1, 5)},
      {"docs/deep/notes.txt", TextBytes(65536, 6)},
  };
  std::vector<std::string> names;
  for (const auto& [name, data] : files) {
    const std::string path = root + "/" + name;
    MakeFolders(fs::path(path).parent_path().string());
    WriteFileBytes(path, data);
    names.push_back(name);
  }
  return names;
}

std::vector<std::pair<std::string, std::vector<u8>>> TreeContents(const std::string& root) {
  std::vector<std::pair<std::string, std::vector<u8>>> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    files.emplace_back(fs::relative(entry.path(), root).string(),
                       ReadFileBytes(entry.path().string()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> ListedNames(const std::string& listing) {
  // The name column starts after date, sizes, ratio, method, encryption and
  // CRC.
  constexpr std::size_t kNameColumn = 78;
  std::vector<std::string> names;
  bool inside = false;
  std::size_t start = 0;
  while (start < listing.size()) {
    const auto end = listing.find('\n', start);
    const std::string line = listing.substr(start, end - start);
    if (line.starts_with("---------- -----")) {
      inside = true;
    } else if (line.starts_with("                  ----------")) {
      break;
    } else if (inside && line.size() > kNameColumn) {
      names.push_back(line.substr(kNameColumn));
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return names;
}

int Occurrences(const std::string& text, const std::string& what) {
  int count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

}  // namespace vz::test
