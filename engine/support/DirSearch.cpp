// Works with absolute paths instead of changing the process's current folder,
// so searches do not disturb anything else and give the same results.
#include "engine/support/DirSearch.h"

#include <cerrno>

#include "engine/support/PathUtils.h"
#include "engine/support/Wildcard.h"

namespace vz {

TSearchData::TSearchData(IFileSystem& files, std::string folder, std::string pattern)
    : FFolder(IncludeTrailingSlash(folder)), FPattern(std::move(pattern)) {
  if (!files.ListFolder(FFolder, FEntries)) {
    FError = files.LastError() != 0 ? files.LastError() : EIO;
    FEntries.clear();
  }
}

TDirSearch::TDirSearch(IFileSystem& files, const std::string& startFolder, bool recurse,
                       const std::string& mask)
    : FFiles(files), FMask(mask), FRecurse(recurse) {
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
  FStartPending = true;
}

void TDirSearch::Descend(const std::string& folder) {
  const std::size_t depth = FLevels.size();
  FLevels.emplace_back(FFiles, folder,
                       depth < FFolderPatterns.size() ? FFolderPatterns[depth] : FMask);
  CheckReadable();
}

void TDirSearch::CheckReadable() {
  const TSearchData& level = FLevels.back();
  // A start folder that is not there yields nothing, as a pattern that
  // matches nothing does; anything else that stops a listing is reported.
  if (level.Error() != 0 && (FLevels.size() > 1 || level.Error() != ENOENT)) {
    if (OnUnreadable) OnUnreadable(ExcludeTrailingSlash(level.Folder()), level.Error());
  }
}

std::optional<TFoundFile> TDirSearch::Next() {
  if (FStartPending) {
    FStartPending = false;
    CheckReadable();
  }
  while (!FLevels.empty()) {
    TSearchData& level = FLevels.back();
    if (level.Exhausted()) {
      std::optional<TFoundFile> folder;
      if (ReportEmptyFolders && level.Empty() && level.Error() == 0 && !IsFolderPatternLevel()) {
        TDirEntry entry;
        entry.Name = ExtractFileName(ExcludeTrailingSlash(level.Folder()));
        entry.Info.IsDirectory = true;
        entry.Info.Attributes = 0x10;
        folder = TFoundFile{level.Folder(), entry};
      }
      FLevels.pop_back();
      if (!FLevels.empty()) FLevels.back().Advance();  // past the folder just finished
      if (folder) return folder;
      continue;
    }
    const TDirEntry& entry = level.Current();
    const bool hidden = !entry.Name.empty() && entry.Name[0] == '.';
    if (IsFolderPatternLevel()) {
      if (entry.Info.IsDirectory && !hidden && !entry.Info.IsSymlink &&
          Match(level.Pattern(), entry.Name)) {
        Descend(level.Folder() + entry.Name);
      } else {
        level.Advance();
      }
      continue;
    }
    if (entry.Info.IsDirectory) {
      // Linked folders are not followed: a link to an ancestor would
      // otherwise repeat the tree at every level.
      if (FRecurse && !hidden && !entry.Info.IsSymlink) {
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
