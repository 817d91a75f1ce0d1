// Turning FilesList into the files to add: plain names looked up, patterns
// expanded by the folder search ("|" forbids and ">" forces recursion for the
// line), sizes summed, and with zaFreshen only files already in the archive
// kept. Everything left out for a reason the user did not choose (a missing
// file, a pattern that matches nothing, a folder that cannot be read) is
// reported through OnNoSuchFile.
#include <unordered_set>

#include "engine/format/ZipNames.h"
#include "engine/support/DirSearch.h"
#include "engine/support/PathUtils.h"
#include "engine/support/Wildcard.h"
#include "engine/writer/ZipEngine.h"
#include "engine/writer/ZipOperation.h"

namespace vz {

bool TZipEngine::PassesAttributeFilter(const TFileInfo& info) const {
  return !SkipIfArchiveBitNotSet || (info.Attributes & faAttr::Archive) != 0;
}

bool TZipEngine::IsTheArchiveItself(const TZipOperation& op, const std::string& path) const {
  if (path == ZipName() || path == op.Target) return true;
  // Nor does it receive its lock file. Only a file of either name, or a
  // link, can be either, so most files are not looked up further.
  const std::string name = ExtractFileName(path);
  const std::string lockName = LockFileName(op.Target);
  if (name != ExtractFileName(ZipName()) && name != ExtractFileName(op.Target) &&
      name != ExtractFileName(lockName)) {
    const auto info = FPlatform.Files.LStat(path);
    if (!info || !info->IsSymlink) return false;
  }
  const std::string real = FPlatform.Files.RealPath(path);
  return !real.empty() && (real == op.Target || real == lockName);
}

void TZipEngine::ExpandFilesList(TZipOperation& op) {
  op.TotalBytes = 0;
  op.DoneBytes = 0;
  // With zaFreshen, the archive's names for the look-ups.
  std::unordered_set<std::string> existing;
  if (ZipAction == TZipAction::zaFreshen && FPlatform.Files.Stat(ZipName())) {
    OpenZip();
    const TZipCatalogue& catalogue = *Catalogue();
    for (int row = 0; row < catalogue.Count(); ++row) {
      existing.insert(catalogue.FullName(row));  // case counts, as for the duplicate check
    }
  }
  const auto inArchive = [&](const std::string& name) {
    const std::string stored =
        (FStorePaths ? StoredDirectory(name) : std::string()) + ExtractFileName(name);
    return existing.count(stored) != 0;
  };
  const bool freshen = ZipAction == TZipAction::zaFreshen;

  std::vector<std::string> plain;
  std::vector<std::string> patterns;
  for (const std::string& line : FilesList) {
    if (HasPatternChars(line)) {
      patterns.push_back(line);
      continue;
    }
    const auto info = FPlatform.Files.Stat(line);
    if (!info) {
      Fire(OnNoSuchFile, *this, line);
      continue;
    }
    if (!PassesAttributeFilter(*info) || (freshen && !inArchive(line)) ||
        IsTheArchiveItself(op, line)) {
      continue;
    }
    op.TotalBytes += info->Size;
    op.LargestFile = std::max(op.LargestFile, info->Size);
    plain.push_back(line);
  }
  for (std::string line : patterns) {
    bool recurse = Recurse;
    if (line[0] == '|' || line[0] == '>') {
      recurse = line[0] == '>';
      line.erase(0, 1);
    }
    // Lines are absolute by now (the operation resolved them).
    const std::string folder = ExcludeTrailingSlash(ExtractFilePath(line));
    const std::string mask = ExtractFileName(line);
    TDirSearch search(FPlatform.Files, folder.empty() ? "/" : folder, recurse, mask);
    search.OnUnreadable = [this](const std::string& path, int) { Fire(OnNoSuchFile, *this, path); };
    // A search for everything keeps the empty folders it meets, as folder
    // entries; a flat archive or a refresh has no place for them.
    search.ReportEmptyFolders = FStorePaths && !freshen && (mask == "*" || mask == "*.*");
    bool matched = false;
    while (auto found = search.Next()) {
      matched = true;
      if (IsTheArchiveItself(op, found->Path) || !PassesAttributeFilter(found->Entry.Info) ||
          (freshen && !inArchive(found->Path))) {
        continue;
      }
      op.TotalBytes += found->Entry.Info.Size;
      op.LargestFile = std::max(op.LargestFile, found->Entry.Info.Size);
      plain.push_back(found->Path);
    }
    if (!matched) Fire(OnNoSuchFile, *this, line);
  }
  FilesList = std::move(plain);
}

}  // namespace vz
