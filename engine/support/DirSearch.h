// TDirSearch: the depth-first folder search that expands patterns into file
// names. A start folder may itself hold patterns in its folder components
// ("/src/*/test/"), each matched against the subfolders of its level; the
// mask then chooses the files. Results come in the order the system lists
// each folder, every subfolder's contents in place of the subfolder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace vz {

// One folder level of a search: its listing and how far it has been read.
class TSearchData {
 public:
  TSearchData(IFileSystem& files, std::string folder, std::string pattern);

  bool Exhausted() const { return FIndex >= FEntries.size(); }
  const TDirEntry& Current() const { return FEntries[FIndex]; }
  void Advance() { ++FIndex; }
  const std::string& Folder() const { return FFolder; }
  const std::string& Pattern() const { return FPattern; }

 private:
  std::string FFolder;  // ends in "/"
  std::string FPattern;
  std::vector<TDirEntry> FEntries;
  std::size_t FIndex = 0;
};

struct TFoundFile {
  std::string Path;  // full path
  TDirEntry Entry;
};

class TDirSearch {
 public:
  // The start level and 20 below it; deeper folders are not entered.
  static constexpr std::size_t kMaxLevels = 21;

  TDirSearch(IFileSystem& files, const std::string& startFolder, bool recurse,
             const std::string& mask);

  // The next matching file, or nullopt when the search is finished.
  std::optional<TFoundFile> Next();

 private:
  bool IsFolderPatternLevel() const { return FLevels.size() <= FFolderPatterns.size(); }
  void Descend(const std::string& folder);

  IFileSystem& FFiles;
  std::vector<TSearchData> FLevels;
  std::string FMask;
  bool FRecurse;
  std::vector<std::string> FFolderPatterns;
};

}  // namespace vz
