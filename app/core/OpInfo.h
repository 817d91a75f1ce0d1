// TOpInfo: the record of the operation in progress. Each command resets it
// and sets its kind before it touches the engine; the engine's callbacks count
// into it, and the report window reads it after the operation.
#pragma once

#include <string>
#include <vector>

#include "platform/Types.h"

namespace vz {

enum class TOpKind : int {
  None = 0,
  NewArchive = 1,
  SelfExtracting = 2,
  Open = 3,   // also the open after a virus scan, and repair
  Unzip = 5,  // also the extraction done for viewing
  Refresh = 6,
  AddFiles = 7,
  RemoveFiles = 8,
  ChangePassword = 9,
  Test = 10,  // Tools > Test Zipfile: members decoded, nothing written
};

class TOpInfo {
 public:
  // Every field to its zero value.
  void Reset() { *this = TOpInfo(); }

  // Write the folder-archive record after a zip that processed a file.
  bool SaveFolderRecord = false;
  bool CreateSFX = false;
  // The open archive is a self-extracting program and cannot be changed.
  bool IsSFX = false;
  TOpKind OpKind = TOpKind::None;
  int NotFound = 0;
  // name "|" "Yes"/"No" (processed all the same?) "|" message.
  std::vector<std::string> Problems;
  bool SkipPasswordPrompts = false;
  std::string SourcePath;
  int DisksUsed = 0;
  int Requested = 0;
  int Processed = 0;
  int NotReplaced = 0;
  int BadCRC = 0;
  int BadPassword = 0;

  // Adds one Problems line.
  void AddProblem(const std::string& name, bool processed, const std::string& message) {
    Problems.push_back(name + "|" + (processed ? "Yes" : "No") + "|" + message);
  }
};

}  // namespace vz
