// Delete mode of the zip operation: which members a FilesList line removes.
#include "engine/format/ZipNames.h"
#include "engine/support/Wildcard.h"
#include "engine/writer/ZipEngine.h"
#include "engine/writer/ZipOperation.h"

namespace vz {

bool TZipEngine::DeleteDecision(TZipOperation& op, const TZipHeaderInfo& entry) {
  const std::string fullName = entry.FullName();
  // The first line in list order that matches: a pattern with a folder part
  // against the whole stored name, one without against the file name alone
  // (patterns ignore case), a plain line by exact equality, since it names
  // one member and a.h and A.h are different files here.
  for (std::size_t i = 0; i < FilesList.size(); ++i) {
    if (op.Removed[i]) continue;
    const std::string& line = FilesList[i];
    const bool pattern = HasPatternChars(line);
    const bool matches =
        pattern ? Match(line, line.find('/') != std::string::npos ? fullName : entry.Filename())
                : line == fullName;
    if (!matches) continue;
    bool skip = false;
    Fire(OnDeleteEntry, *this, entry.FullName(), skip);
    if (skip) {
      // Spared: the line deletes nothing further, pattern or not.
      op.Removed[i] = true;
      return false;
    }
    ++op.Deleted;
    if (!pattern) op.Removed[i] = true;  // a plain line deletes one member
    return true;
  }
  return false;
}

}  // namespace vz
