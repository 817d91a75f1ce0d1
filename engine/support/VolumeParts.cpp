#include "engine/support/VolumeParts.h"

#include <algorithm>
#include <cstdio>

#include "engine/support/PathUtils.h"

namespace vz {
namespace {

// A set has at most 65535 parts: five digits at most, three at least.
constexpr std::size_t kMinDigits = 3;
constexpr std::size_t kMaxDigits = 5;

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// ".001" and beyond.
bool IsNumberedExt(std::string_view ext) {
  return ext.size() >= kMinDigits + 1 && ext.size() <= kMaxDigits + 1 && AllDigits(ext.substr(1));
}

// ".z01", ".Z01", ... as Info-ZIP writes them.
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

std::string NumberedName(const std::string& stem, std::size_t width, int number) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%0*d", static_cast<int>(width), number);
  return stem + digits;
}

// The highest numbered part "<stem>NNN" from `first` up. The folder is
// listed rather than probed part by part, so a missing middle part does not
// hide the last one.
int HighestPart(IFileSystem& files, const std::string& stem, int first) {
  const std::string folder = ExtractFilePath(stem);
  const std::string prefix = ExtractFileName(stem);
  std::vector<TDirEntry> entries;
  files.ListFolder(folder.empty() ? "." : folder, entries);
  int last = first;
  for (const TDirEntry& entry : entries) {
    const std::string_view name = entry.Name;
    if (entry.Info.IsDirectory || !name.starts_with(prefix)) continue;
    const std::string_view digits = name.substr(prefix.size());
    if (digits.size() >= kMinDigits && digits.size() <= kMaxDigits && AllDigits(digits)) {
      last = std::max(last, std::stoi(std::string(digits)));
    }
  }
  return last;
}

}  // namespace

std::string BlockPartName(const std::string& archive, int diskOneBased) {
  const std::string ext = ExtractFileExt(archive);
  if (IsNumberedExt(ext)) {
    return NumberedName(archive.substr(0, archive.size() - ext.size() + 1), ext.size() - 1,
                        diskOneBased);
  }
  return NumberedName(WithoutExt(archive) + ".", kMinDigits, diskOneBased);
}

std::string LastPartOf(IFileSystem& files, const std::string& named) {
  const std::string ext = ExtractFileExt(named);
  const bool exists = IsFile(files, named);
  if (exists && IsNumberedExt(ext)) {
    const std::string stem = named.substr(0, named.size() - ext.size() + 1);
    return BlockPartName(named, HighestPart(files, stem, std::stoi(ext.substr(1))));
  }
  if (exists && IsSplitExt(ext)) {
    const std::string base = WithoutExt(named);
    for (const char* last : {".zip", ".ZIP"}) {
      if (IsFile(files, base + last)) return base + last;
    }
    return named;
  }
  if (exists) return named;
  // "set.zip" for the set.001, ... that vzip wrote, or for set.zip.001, ...
  for (const std::string& first : {BlockPartName(named, 1), named + ".001"}) {
    if (IsFile(files, first)) return LastPartOf(files, first);
  }
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

std::vector<std::string> NumberedParts(IFileSystem& files, const std::string& named) {
  const std::string ext = ExtractFileExt(named);
  if (!IsNumberedExt(ext)) return {};
  const std::string stem = named.substr(0, named.size() - ext.size() + 1);
  const int last = HighestPart(files, stem, 1);
  std::vector<std::string> parts;
  for (int n = 1; n <= last; ++n) {
    const std::string part = NumberedName(stem, ext.size() - 1, n);
    if (!IsFile(files, part)) return {};
    parts.push_back(part);
  }
  if (parts.size() < 2) return {};
  return parts;
}

}  // namespace vz
