// Works with absolute paths instead of changing the process's current folder,
// so searches do not disturb anything else and give the same results.
#include "engine/support/DirSearch.h"

#include "engine/support/PathUtils.h"
#include "engine/support/Wildcard.h"

namespace vz {

TSearchData::TSearchData(IFileSystem& files, std::string folder, std::string pattern)
    : FFolder(IncludeTrailingSlash(folder)), FPattern(std::move(pattern)) {
  // An unreadable or missing folder simply lists nothing.
  if (!files.ListFolder(FFolder, FEntries)) FEntries.clear();
}

TDirSearch::TDirSearch(IFileSystem& files, const std::string& startFolder, bool recurse,
                       const std::string& mask)
    : FFiles(files), FMask(mask), FRecurse(recurse) {
  FLevels.reserve(kMaxLevels);
  std::string start = IncludeTrailingSlash(startFolder);
  const auto firstPattern = start.find_first_of(kPatternChars);
  if (firstPattern != std::string::npos) {
    // Split at the "/" before the first component that holds a pattern;
    // every component after it, up to the final "/", is a folder pattern.
    const auto cut = start.rfind('/', firstPattern);
    const std::string rest = start.substr(cut == std::string::npos ? 0 : cut + 1);
    start = cut == std::string::npos ? std::string() : start.substr(0, cut + 1);
    std::size_t from = 0;
    while (from < rest.size()) {
      const auto slash = rest.find('/', from);
      if (slash == std::string::npos) break;
      if (slash > from) FFolderPatterns.push_back(rest.substr(from, slash - from));
      from = slash + 1;
    }
  }
  FLevels.emplace_back(FFiles, start, FFolderPatterns.empty() ? FMask : FFolderPatterns[0]);
}

void TDirSearch::Descend(const std::string& folder) {
  const std::size_t depth = FLevels.size();
  FLevels.emplace_back(FFiles, folder,
                       depth < FFolderPatterns.size() ? FFolderPatterns[depth] : FMask);
}

std::optional<TFoundFile> TDirSearch::Next() {
  while (!FLevels.empty()) {
    TSearchData& level = FLevels.back();
    if (level.Exhausted()) {
      FLevels.pop_back();
      if (FLevels.empty()) break;
      FLevels.back().Advance();  // past the folder just finished
      continue;
    }
    const TDirEntry& entry = level.Current();
    const bool hidden = !entry.Name.empty() && entry.Name[0] == '.';
    if (IsFolderPatternLevel()) {
      if (entry.Info.IsDirectory && !hidden && !entry.Info.IsSymlink &&
          Match(level.Pattern(), entry.Name) &&
          FLevels.size() < kMaxLevels) {
        Descend(level.Folder() + entry.Name);
      } else {
        level.Advance();
      }
      continue;
    }
    if (entry.Info.IsDirectory) {
      // Linked folders are not followed: a link to an ancestor would
      // otherwise repeat the tree at every level.
      if (FRecurse && !hidden && !entry.Info.IsSymlink && FLevels.size() < kMaxLevels) {
        Descend(level.Folder() + entry.Name);
      } else {
        level.Advance();
      }
      continue;
    }
    // "*.*" covers names without an extension: they are matched with a dot.
    const bool hasExtension = entry.Name.find('.') != std::string::npos;
    const bool matches = Match(FMask, hasExtension ? entry.Name : entry.Name + ".");
    TFoundFile found{level.Folder() + entry.Name, entry};
    level.Advance();
    if (matches) return found;
  }
  return std::nullopt;
}

}  // namespace vz
