// Turning FilesList into the files to add: plain names looked up, patterns
// expanded by the folder search ("|" forbids and ">" forces recursion for the
// line), sizes summed, and with zaFreshen only files already in the archive
// kept.
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

bool TZipEngine::IsTheArchiveItself(const std::string& path) const {
  if (path == ZipName()) return true;
  const std::string archive = FPlatform.Files.RealPath(ZipName());
  return !archive.empty() && FPlatform.Files.RealPath(path) == archive;
}

void TZipEngine::ExpandFilesList(TZipOperation& op) {
  op.TotalBytes = 0;
  op.DoneBytes = 0;
  // With zaFreshen, the archive's names for the look-ups.
  std::unordered_set<std::string> existing;
  if (ZipAction == TZipAction::zaFreshen && FPlatform.Files.Stat(ZipName())) {
    OpenZip();
    for (const TZipHeaderInfo* entry : Catalogue()->All()) {
      existing.insert(entry->FullName());  // case counts, as for the duplicate check
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
  for (const std::string& original : FilesList) {
    if (HasPatternChars(original)) {
      patterns.push_back(original);
      continue;
    }
    std::string line = original;
    if (line.find_first_of("/:") == std::string::npos) line = RootDir() + line;
    const auto info = FPlatform.Files.Stat(line);
    if (!info) {
      Fire(OnNoSuchFile, *this, line);
      continue;
    }
    if (!PassesAttributeFilter(*info) || (freshen && !inArchive(line)) ||
        IsTheArchiveItself(line)) {
      continue;
    }
    op.TotalBytes += info->Size;
    plain.push_back(line);
  }
  for (std::string line : patterns) {
    bool recurse = Recurse;
    if (line[0] == '|' || line[0] == '>') {
      recurse = line[0] == '>';
      line.erase(0, 1);
    }
    std::string folder = ExcludeTrailingSlash(ExtractFilePath(line));
    if (folder.empty()) folder = RootDir();
    TDirSearch search(FPlatform.Files, folder.empty() ? "." : folder, recurse,
                      ExtractFileName(line));
    while (auto found = search.Next()) {
      if (IsTheArchiveItself(found->Path) || !PassesAttributeFilter(found->Entry.Info) ||
          (freshen && !inArchive(found->Path))) {
        continue;
      }
      op.TotalBytes += found->Entry.Info.Size;
      plain.push_back(found->Path);
    }
  }
  FilesList = std::move(plain);
}

}  // namespace vz
