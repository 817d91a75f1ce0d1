#include "app/core/CFI.h"

#include <cerrno>
#include <cmath>
#include <optional>

#include "app/core/AppErrors.h"
#include "app/core/CommaText.h"
#include "app/core/TextCase.h"
#include "platform/DosTime.h"
#include "platform/Figures.h"
#include "platform/FileHelpers.h"

namespace vz {
namespace {

constexpr int kFieldCount = 6;
constexpr double kCleanIntervalDays = 90;
constexpr char kEmptyName[] = "Name property is empty.";

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

std::string FormatName(const std::string& name) {
  if (name.find('=') == std::string::npos && (name.empty() || name.front() != '"')) return name;
  std::string out = "\"";
  for (const char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// The archive path and record of a line; a line without "=" has an empty
// path, which no archive has.
struct TLine {
  std::string Name;
  std::string Value;
};

TLine SplitLine(const std::string& line) {
  if (!line.empty() && line.front() == '"') {
    std::string name;
    for (std::size_t i = 1; i < line.size(); ++i) {
      if (line[i] != '"') {
        name += line[i];
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        name += '"';
        ++i;
      } else if (i + 1 < line.size() && line[i + 1] == '=') {
        return {name, line.substr(i + 2)};
      } else {
        break;  // not a quoted name after all: read it plainly
      }
    }
  }
  const auto equals = line.find('=');
  if (equals == std::string::npos) return {"", ""};
  return {line.substr(0, equals), line.substr(equals + 1)};
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool FolderIsWritable(IFileSystem& files, const std::string& folder) {
  try {
    files.DeleteFile(files.CreateUniqueFile(folder, ".CFI.vdb."));
    return true;
  } catch (const EFileError&) {
    return false;
  }
}

double Today(IClock& clock) {
  return std::floor(FileTimeToDateTime(clock.Now()));
}

}  // namespace

TPathMode PathModeOf(bool StoreVolumes, bool RelativePaths, bool StorePaths) {
  if (StoreVolumes) return TPathMode::StoreVolumes;
  if (RelativePaths) return TPathMode::RelativePaths;
  if (StorePaths) return TPathMode::StorePaths;
  return TPathMode::NoPaths;
}

std::string TCFI::DatabasePath(const TAppContext& app) {
  IFileSystem& files = app.Platform.Files;
  const std::string beside = app.Globals.AppDir + "CFI.vdb";
  if (files.Stat(beside) || FolderIsWritable(files, app.Globals.AppDir)) return beside;
  return app.Platform.Environment.UserDataFolder() + "Varnel/Zip/CFI.vdb";
}

TCFI::TCFI(const TAppContext& app)
    : FileName(DatabasePath(app)), RegistryKey(app.Globals.AppKey), FApp(app) {
  if (!app.Platform.Files.Stat(FileName)) return;
  std::string text;
  int error = 0;
  if (!ReadWholeFile(app.Platform.Files, FileName, text, error)) {
    throw ECFIError("Could not load " + FileName + ".");
  }
  Records = SplitLines(text);
}

int TCFI::IndexOfName(const std::string& archivePath) const {
  for (std::size_t i = 0; i < Records.size(); ++i) {
    const TLine line = SplitLine(Records[i]);
    if (!line.Name.empty() && SameText(line.Name, archivePath)) return static_cast<int>(i);
  }
  return -1;
}

bool TCFI::Find(const std::string& ArchivePath) {
  Name.clear();
  RootDir.clear();
  SourcePath.clear();
  PathMode = TPathMode::NoPaths;
  Recurse = 0;
  PackLevel = 0;
  RecordVersion = 1;
  const int index = IndexOfName(ArchivePath);
  if (index < 0) return false;
  const auto fields = SplitCommaText(SplitLine(Records[static_cast<std::size_t>(index)]).Value);
  if (fields.size() < kFieldCount) return false;
  const int pathMode = StrToInt(fields[2]);
  const int recurse = StrToInt(fields[3]);
  const int packLevel = StrToInt(fields[4]);
  const int recordVersion = StrToInt(fields[5]);
  Name = ArchivePath;
  RootDir = fields[0];
  SourcePath = fields[1];
  PathMode = static_cast<TPathMode>(pathMode);
  Recurse = recurse;
  PackLevel = packLevel;
  RecordVersion = recordVersion;
  return true;
}

void TCFI::Save() {
  if (Name.empty()) throw ECFIError(kEmptyName);
  if (HasLineBreak(Name) || HasLineBreak(RootDir) || HasLineBreak(SourcePath)) return;
  RecordVersion = 1;
  const std::string line =
      FormatName(Name) + "=" +
      JoinCommaText({RootDir, SourcePath, std::to_string(static_cast<int>(PathMode)),
                     std::to_string(Recurse), std::to_string(PackLevel),
                     std::to_string(RecordVersion)});
  const int index = IndexOfName(Name);
  if (index >= 0) {
    Records[static_cast<std::size_t>(index)] = line;
  } else {
    Records.push_back(line);
  }
  WriteRecords();
}

void TCFI::MoveTo(const std::string& NewArchivePath) {
  if (Name.empty()) throw ECFIError(kEmptyName);
  const int index = IndexOfName(Name);
  if (index < 0 || NewArchivePath.empty() || HasLineBreak(NewArchivePath)) return;
  // The old line goes first: a new name that differs only in letter case
  // finds the same line, which must not be deleted after being rewritten.
  const std::string record = SplitLine(Records[static_cast<std::size_t>(index)]).Value;
  Records.erase(Records.begin() + index);
  const std::string line = FormatName(NewArchivePath) + "=" + record;
  const int existing = IndexOfName(NewArchivePath);
  if (existing >= 0) {
    Records[static_cast<std::size_t>(existing)] = line;
  } else {
    Records.push_back(line);
  }
  WriteRecords();
  Name = NewArchivePath;
}

void TCFI::SaveAs(const std::string& NewArchivePath) {
  if (Name.empty()) throw ECFIError(kEmptyName);
  Name = NewArchivePath;
  Save();
}

void TCFI::WriteRecords() {
  IFileSystem& files = FApp.Platform.Files;
  std::string text;
  for (const auto& line : Records) text += line + "\n";
  int error = 0;
  if (!ForceFolders(files, FolderOf(FileName))) {
    error = files.LastError() != 0 ? files.LastError() : EACCES;
  } else if (WriteFileAtomically(files, FileName, text, error)) {
    return;
  }
  throw EFCreateError(FileName, error,
                      "Cannot create file \"" + FileName + "\": " + SystemErrorText(error));
}

bool TCFI::Clean(const TStatusCallbacks& Progress) {
  ISettingsStore& settings = FApp.Platform.Settings;
  const std::string keyName = SettingsKeyOf(RegistryKey);
  const double today = Today(FApp.Platform.Clock);
  double lastCleaned = 0;
  if (auto key = settings.OpenKey(keyName, true)) {
    if (!key->ReadFloat("LastCleaned")) key->Write("LastCleaned", today);
    lastCleaned = key->ReadFloat("LastCleaned").value_or(0);
    key->Close();
  }
  if (today - lastCleaned < kCleanIntervalDays) return false;

  IHost& host = FApp.Platform.Host;
  TBusyCursor busy(host);
  if (Progress.OnStatus) Progress.OnStatus("Cleaning CFI.vdb...");
  host.ProcessMessages();
  IFileSystem& files = FApp.Platform.Files;
  const auto total = static_cast<i64>(Records.size());
  bool deleted = false;
  std::size_t index = 0;
  for (i64 checked = 1; checked <= total; ++checked) {
    const auto info = files.Stat(SplitLine(Records[index]).Name);
    if (info && info->IsRegular) {
      ++index;
    } else {
      Records.erase(Records.begin() + static_cast<std::ptrdiff_t>(index));
      deleted = true;
    }
    if (Progress.OnProgress) Progress.OnProgress(Percent(total, checked));
  }
  if (deleted) WriteRecords();
  if (auto key = settings.OpenKey(keyName, true)) {
    key->Write("LastCleaned", today);
    key->Close();
  }
  return true;
}

}  // namespace vz
