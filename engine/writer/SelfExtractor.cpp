// Two rewrites under a new name: a self-extracting program (the stub, byte
// for byte, then the whole archive written anew so every offset counts the
// stub's bytes) and a repaired copy of a damaged archive.
#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "engine/writer/ZipEngine.h"

namespace vz {

void TZipEngine::BuildSelfExtractor(const std::string& stubName) {
  if (ZipName().empty()) return;
  const TOperationScope operation(*this);
  FStubStream = std::make_unique<TLFNFileStream>(FPlatform.Files, stubName, TOpenMode::ReadCompat);
  // Lower case: Linux names are case-sensitive and programs look for ".exe".
  FAlternateOutput = ChangeFileExt(ZipName(), ".exe");
  struct TReset {
    TZipEngine& Engine;
    ~TReset() {
      Engine.FAlternateOutput.clear();
      Engine.FStubStream.reset();
    }
  } reset{*this};
  PerformZip();
  FPlatform.Files.MakeExecutable(FAlternateOutput);
}

int TZipEngine::RepairArchive(const std::string& inputName, const std::string& outputName) {
  const TOperationScope operation(*this);
  if (!inputName.empty()) {
    SetZipName(inputName);
  } else if (!(Count() > 0 && Rebuilt())) {
    SetRepair(true);
    struct TReset {
      TZipEngine& Engine;
      ~TReset() { Engine.SetRepair(false); }
    } reset{*this};
    // Outside the dialog's catch: a cancel while pending comments are
    // written is the operation's, not a dialog dismissed.
    WritePendingComments();
    try {
      SetZipName(ExtractFilePath(ZipName()) + "?");
    } catch (const EUserCanceled&) {
      return 0;
    }
    TBusyCursor busy(FPlatform.Host);
    ReadZip();
  }
  std::string output = outputName;
  if (output.empty()) {
    const std::string folder = ExtractFilePath(ZipName());
    const auto info = FPlatform.Files.Stat(folder.empty() ? "." : folder);
    const auto chosen = FPlatform.Host.OpenFileDialog(
        "Select a new name for the fixed file.", "Zip Files (*.ZIP)",
        !folder.empty() && info && info->IsDirectory ? folder : "/");
    if (!chosen) return 0;
    output = *chosen;
  }
  FAlternateOutput = output;
  const auto savedList = FilesList;
  FilesList.clear();
  int count = 0;
  try {
    TBusyCursor busy(FPlatform.Host);
    count = PerformZip();
  } catch (...) {
    FilesList = savedList;
    FAlternateOutput.clear();
    throw;
  }
  FilesList = savedList;
  FAlternateOutput.clear();
  TUnZipEngine::SetZipName(output);
  return count;
}

}  // namespace vz
