// TDirSearch: the depth-first folder search that expands patterns into file
// names. A start folder may itself hold patterns in its folder components
// ("/src/*/test/"), each matched against the subfolders of its level; the
// mask then chooses the files. Results come in the order the system lists
// each folder, every subfolder's contents in place of the subfolder.
//
// The levels are an explicit stack, so a tree of any depth is searched
// without recursion; only the system's own limit on a path's length stops
// it, and a folder it cannot read or enter is reported, never passed over.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace vz {

// One folder level of a search: its listing and how far it has been read.
class TSearchData {
 public:
  // Error is 0 when the folder was listed, else the system's reason.
  TSearchData(IFileSystem& files, std::string folder, std::string pattern);

  bool Exhausted() const { return FIndex >= FEntries.size(); }
  const TDirEntry& Current() const { return FEntries[FIndex]; }
  void Advance() { ++FIndex; }
  const std::string& Folder() const { return FFolder; }
  const std::string& Pattern() const { return FPattern; }
  int Error() const { return FError; }
  // Whether the listing held nothing at all.
  bool Empty() const { return FEntries.empty(); }

 private:
  std::string FFolder;  // ends in "/"
  std::string FPattern;
  std::vector<TDirEntry> FEntries;
  std::size_t FIndex = 0;
  int FError = 0;
};

struct TFoundFile {
  std::string Path;  // full path; a folder's ends in "/"
  TDirEntry Entry;
};

class TDirSearch {
 public:
  using TUnreadableEvent = std::function<void(const std::string& folder, int error)>;

  TDirSearch(IFileSystem& files, const std::string& startFolder, bool recurse,
             const std::string& mask);

  // Called for every folder that exists but cannot be listed (or whose path
  // is longer than the system allows), with the system's error code; its
  // files are missing from the results. A missing start folder is not
  // reported here: it simply yields nothing.
  TUnreadableEvent OnUnreadable;
  // Folders the search finds empty (nothing at all in them) are returned
  // too, as a result whose path ends in "/" and whose entry is a folder.
  bool ReportEmptyFolders = false;

  // The next matching file, or nullopt when the search is finished.
  std::optional<TFoundFile> Next();

 private:
  bool IsFolderPatternLevel() const { return FLevels.size() <= FFolderPatterns.size(); }
  void Descend(const std::string& folder);
  // Reports the newest level when it could not be listed.
  void CheckReadable();

  IFileSystem& FFiles;
  std::vector<TSearchData> FLevels;
  std::string FMask;
  bool FRecurse;
  std::vector<std::string> FFolderPatterns;
  bool FStartPending = false;  // the start level's error is reported by the first Next()
};

}  // namespace vz
