// Delete mode of the zip operation: which members a FilesList line removes.
#include "engine/format/ZipNames.h"
#include "engine/support/Wildcard.h"
#include "engine/writer/ZipEngine.h"
#include "engine/writer/ZipOperation.h"

namespace vz {

bool TZipEngine::DeleteDecision(TZipOperation& op, const TZipHeaderInfo& entry) {
  const std::string fullName = LowerCaseAscii(entry.FullName());
  const std::string fileName = LowerCaseAscii(entry.Filename());
  // The first line in list order that matches: a pattern with a folder part
  // against the whole stored name, one without against the file name alone,
  // a plain line by equality.
  for (std::size_t i = 0; i < FilesList.size(); ++i) {
    if (op.Removed[i]) continue;
    const std::string line = LowerCaseAscii(FilesList[i]);
    const bool pattern = HasPatternChars(line);
    const bool matches = pattern ? Match(line, line.find('/') != std::string::npos ? fullName
                                                                                    : fileName)
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
