#include "cli/DiskParts.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "engine/support/PathUtils.h"

namespace vz::cli {
namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// ".001" and beyond; the engine writes at least three digits (a set has at
// most 65535 parts).
bool IsNumberedExt(std::string_view ext) {
  return ext.size() >= 4 && ext.size() <= 6 && AllDigits(ext.substr(1));
}

// ".z01", ".Z01", ... as other archivers write them.
bool IsSplitExt(std::string_view ext) {
  return ext.size() >= 4 && (ext[1] == 'z' || ext[1] == 'Z') && AllDigits(ext.substr(2));
}

bool IsFile(IFileSystem& files, const std::string& path) {
  const auto info = files.Stat(path);
  return info && !info->IsDirectory;
}

std::string WithoutExt(const std::string& path) {
  return path.substr(0, path.size() - ExtractFileExt(path).size());
}

std::string SplitPartName(const std::string& base, char z, int diskOneBased) {
  char ext[32];
  std::snprintf(ext, sizeof ext, ".%c%02d", z, diskOneBased);
  return base + ext;
}

// The highest block part from `first` up. The folder is listed rather than
// probed part by part, so a missing middle part does not hide the last one.
std::string HighestBlockPart(IFileSystem& files, const std::string& base, int first) {
  const std::string folder = ExtractFilePath(base);
  const std::string stem = ExtractFileName(base) + ".";
  std::vector<TDirEntry> entries;
  files.ListFolder(folder.empty() ? "." : folder, entries);
  int last = first;
  for (const TDirEntry& entry : entries) {
    const std::string_view name = entry.Name;
    if (entry.Info.IsDirectory || !name.starts_with(stem)) continue;
    const std::string_view ext = name.substr(stem.size() - 1);
    if (IsNumberedExt(ext)) last = std::max(last, std::stoi(std::string(ext.substr(1))));
  }
  return BlockPartName(base, last);
}

}  // namespace

std::string BlockPartName(const std::string& archive, int diskOneBased) {
  char ext[32];
  std::snprintf(ext, sizeof ext, ".%03d", diskOneBased);
  return WithoutExt(archive) + ext;
}

std::string LastPartOf(IFileSystem& files, const std::string& named) {
  const std::string ext = ExtractFileExt(named);
  const std::string base = WithoutExt(named);
  const bool exists = IsFile(files, named);
  if (exists && IsNumberedExt(ext)) return HighestBlockPart(files, base, std::stoi(ext.substr(1)));
  if (exists && IsSplitExt(ext)) {
    for (const char* last : {".zip", ".ZIP"}) {
      if (IsFile(files, base + last)) return base + last;
    }
    return named;
  }
  if (!exists && IsFile(files, BlockPartName(named, 1))) return HighestBlockPart(files, base, 1);
  return named;
}

std::vector<std::string> PartCandidates(const std::string& lastPart, int diskOneBased,
                                        int lastDiskOneBased) {
  if (diskOneBased == lastDiskOneBased) return {lastPart};
  const std::string ext = ExtractFileExt(lastPart);
  const std::string base = WithoutExt(lastPart);
  const std::string block = BlockPartName(lastPart, diskOneBased);
  std::vector<std::string> split{SplitPartName(base, 'z', diskOneBased),
                                 SplitPartName(base, 'Z', diskOneBased)};
  if (IsNumberedExt(ext)) {
    split.insert(split.begin(), block);
  } else {
    split.push_back(block);
  }
  return split;
}

}  // namespace vz::cli
