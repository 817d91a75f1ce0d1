// TCFI: how each archive made from a folder was made, so it can be refreshed
// from its source later. One text file holds every record, one line each:
//
//   <archive path>=<RootDir>,<SourcePath>,<PathMode>,<Recurse>,<PackLevel>,<RecordVersion>
//
// the six fields as comma text (quoted when they hold blanks or commas). An
// archive path holding "=" or starting with a quote is itself quoted, so the
// line splits where it should; lookup ignores letter case.
//
// The file is "CFI.vdb" in the program's folder, or, when that folder cannot
// be written (an installed program), $XDG_DATA_HOME/Varnel/Zip/CFI.vdb. It is
// always replaced as a whole and atomically.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/core/AppGlobals.h"

namespace vz {

enum class TPathMode : int {
  NoPaths = 0,
  StoreVolumes = 1,  // paths with the drive
  StorePaths = 2,    // full paths
  RelativePaths = 3,
};

// The mode a zip with these engine options records.
TPathMode PathModeOf(bool StoreVolumes, bool RelativePaths, bool StorePaths);

// The main window's status text and progress bar, as Clean drives them.
struct TStatusCallbacks {
  std::function<void(const std::string& Text)> OnStatus;
  std::function<void(int Percent)> OnProgress;
};

class TCFI {
 public:
  // Loads the file when it exists; ECFIError "Could not load <path>." when it
  // exists but cannot be read, which stops the program's start.
  explicit TCFI(const TAppContext& app);
  TCFI(const TCFI&) = delete;
  TCFI& operator=(const TCFI&) = delete;

  // Where the file lives for this program (see above).
  static std::string DatabasePath(const TAppContext& app);

  std::string FileName;
  // The file's lines, "<archive path>=<record>".
  std::vector<std::string> Records;
  // The key suffix under which LastCleaned is kept; AppKey to begin with.
  std::string RegistryKey;

  // The current record.
  std::string Name;
  std::string RootDir;
  std::string SourcePath;
  TPathMode PathMode = TPathMode::NoPaths;
  int Recurse = 0;
  int PackLevel = 0;
  int RecordVersion = 1;

  // Clears the current record, then fills it from the line of
  // `ArchivePath`. False when there is no line, or its record has fewer than
  // six fields. A number field that is not an integer throws EConvertError
  // (the record stays clear).
  bool Find(const std::string& ArchivePath);
  // Adds or replaces the line of Name and writes the file. ECFIError "Name
  // property is empty." without a Name; the file's errors as EFileError. A
  // record with a line break in its name or a text field cannot be kept in
  // a line-based file and is left out; the file stays as it was.
  void Save();
  // When Name has a line: the record moves to `NewArchivePath` (replacing a
  // line that name had), the file is written and Name changes. Otherwise
  // nothing happens. ECFIError without a Name.
  void MoveTo(const std::string& NewArchivePath);
  // Name := NewArchivePath, then Save; the old line stays. ECFIError without
  // a Name.
  void SaveAs(const std::string& NewArchivePath);
  // At most once in 90 days (LastCleaned in the settings store, written today
  // on the first call): drops every line whose archive is no longer a file,
  // showing "Cleaning CFI.vdb..." and the percentage of lines checked, then
  // writes the file if lines went and LastCleaned. True when it checked.
  bool Clean(const TStatusCallbacks& Progress);

 private:
  int IndexOfName(const std::string& archivePath) const;
  void WriteRecords();

  TAppContext FApp;
};

}  // namespace vz
