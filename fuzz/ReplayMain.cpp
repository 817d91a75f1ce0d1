// A plain main() for a fuzz target: feeds it every file of the folders and
// files named on the command line, in name order, so that a build without
// libFuzzer (g++, CTest) replays the committed corpus and regression inputs.
// A folder written "?folder" may be missing (a target without regressions
// yet); any other missing or empty folder is an error, so a wrong path
// cannot pass unnoticed.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"

namespace fs = std::filesystem;

namespace {

bool CollectInputs(std::string arg, std::vector<fs::path>& inputs) {
  const bool optional = !arg.empty() && arg[0] == '?';
  if (optional) arg.erase(0, 1);
  std::error_code ec;
  if (fs::is_regular_file(arg, ec)) {
    inputs.emplace_back(arg);
    return true;
  }
  if (!fs::is_directory(arg, ec)) {
    if (optional) return true;
    std::fprintf(stderr, "no such file or folder: %s\n", arg.c_str());
    return false;
  }
  std::vector<fs::path> found;
  for (const auto& entry : fs::recursive_directory_iterator(arg)) {
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
      found.push_back(entry.path());
    }
  }
  if (found.empty() && !optional) {
    std::fprintf(stderr, "no inputs in %s\n", arg.c_str());
    return false;
  }
  std::sort(found.begin(), found.end());
  inputs.insert(inputs.end(), found.begin(), found.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!CollectInputs(argv[i], inputs)) return 2;
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: %s FOLDER|FILE|?FOLDER...\n", argv[0]);
    return 2;
  }
  for (const fs::path& path : inputs) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    std::fprintf(stderr, "%s\n", path.c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return 0;
}
