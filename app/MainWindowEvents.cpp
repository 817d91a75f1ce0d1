// TfrmMain: the events of the archive commands' operations. They arrive on
// the operation's thread. Counting and problem lines touch only TOpInfo
// and what the command set up before the operation, which the
// user-interface thread leaves alone while an operation runs, so they run
// where they are raised; progress and status go through the progress gate
// (queued, coalesced); the prompts, whose answers the engine waits for, run
// on the user-interface thread while the operation waits.
#include <QProgressBar>

#include "app/MainWindow.h"
#include "app/OperationRunner.h"
#include "app/UiThread.h"
#include "app/core/AppInfo.h"
#include "app/core/OpInfo.h"
#include "app/dialogs/frmOverwrite.h"
#include "app/dialogs/frmPassword.h"
#include "engine/support/PathUtils.h"

namespace vz {
namespace {

constexpr char kBadCRC[] =
    "Calculated CRC does not match stored CRC!  The file may have been damaged or modified.";
constexpr char kBadPassword[] = "Bad password!  The entered password is incorrect.";

}  // namespace

void TfrmMain::ConnectOperationEvents() {
  ZipEngine.OnTotalPercentDone = [this](TUnZipEngine&, int Percent) {
    ZipEngineTotalPercentDone(Percent);
  };
  ZipEngine.OnStartZipInfo = [this](TZipEngine&, int NumFiles, i64, TEndCentral&, bool&) {
    ZipEngineStartZipInfo(NumFiles);
  };
  ZipEngine.OnStartZip = [this](TZipEngine&, const std::string& FName, TZipHeaderInfo& ZipHeader,
                                bool&) { ZipEngineStartZip(FName, ZipHeader); };
  ZipEngine.OnEndZip = [this](TZipEngine&, const std::string&, u32, u32, i64) {
    ZipEngineEndZip();
  };
  ZipEngine.OnNoSuchFile = [this](TZipEngine&, const std::string& FName) {
    ZipEngineNoSuchFile(FName);
  };
  ZipEngine.OnStartUnZipInfo = [this](TUnZipEngine&, int NumFiles, i64, bool&) {
    ZipEngineStartUnZipInfo(NumFiles);
  };
  ZipEngine.OnStartUnZip = [this](TUnZipEngine&, int FileIndex, const std::string& FName,
                                  bool& Skip) { ZipEngineStartUnZip(FileIndex, FName, Skip); };
  ZipEngine.OnEndUnZip = [this](TUnZipEngine&, int FileIndex, const std::string&) {
    ZipEngineEndUnZip(FileIndex);
  };
  ZipEngine.OnPromptForOverwrite = [this](TUnZipEngine&, bool& OverWriteIt, int FileIndex,
                                          std::string& FName) {
    RunOnUiThread([&] { ZipEnginePromptForOverwrite(OverWriteIt, FileIndex, FName); });
  };
  ZipEngine.OnBadPassword = [this](TUnZipEngine&, int FileIndex, std::string& NewPassword) {
    RunOnUiThread([&] { ZipEngineBadPassword(FileIndex, NewPassword); });
  };
  ZipEngine.OnBadCRC = [this](TUnZipEngine&, u32, u32, int FileIndex) {
    ZipEngineBadCRC(FileIndex);
  };
  ZipEngine.OnSkippingFile = [this](TUnZipEngine&, TSkipReason Reason, int FileIndex) {
    ZipEngineSkippingFile(Reason, FileIndex);
  };
  ZipEngine.OnWaitForLock = [this](TZipEngine& Sender, const std::string&) {
    FProgressGate->SetStatus("Waiting for another program to finish changing " +
                             ExtractFileName(Sender.ZipName()) + "...");
  };
}

// ---------------------------------------------------------------- progress and counting

void TfrmMain::ZipEngineTotalPercentDone(int Percent) {
  // The password command moves the bar by members itself.
  if (FOpInfo.OpKind == TOpKind::ChangePassword) return;
  FProgressGate->SetPercent(Percent);
}

void TfrmMain::StepProgress() {
  FProgressGate->SetPercent(++FProgressSteps);
}

void TfrmMain::ZipEngineStartZipInfo(int NumFiles) {
  if (FOpInfo.OpKind != TOpKind::ChangePassword) FOpInfo.Requested = NumFiles;
}

void TfrmMain::ZipEngineStartUnZipInfo(int NumFiles) {
  if (FOpInfo.OpKind != TOpKind::ChangePassword && FOpInfo.OpKind != TOpKind::Test) {
    FOpInfo.Requested = NumFiles;
  }
}

void TfrmMain::ZipEngineStartZip(const std::string& FName, TZipHeaderInfo& ZipHeader) {
  FProgressGate->SetStatus("Zipping " + FName + "...");
  // Files added land in the folder the user is looking at (the engine's
  // StoredFolder has matched them against that folder's members already);
  // a folder added there keeps its tree inside it.
  if (FOpInfo.OpKind == TOpKind::AddFiles && !ZipHeader.Directory().starts_with(FAddFolder)) {
    ZipHeader.SetDirectory(FAddFolder);
  }
}

void TfrmMain::ZipEngineEndZip() {
  ++FOpInfo.Processed;
  if (FOpInfo.OpKind == TOpKind::ChangePassword) StepProgress();
}

void TfrmMain::ZipEngineStartUnZip(int FileIndex, const std::string& FName, bool& Skip) {
  if (FOpInfo.OpKind == TOpKind::Test) {
    // Each member once, however many of the chosen patterns name it (a
    // retry with another password comes back here before it is done); one
    // whose method cannot be decoded is not tried.
    Skip = FTestDone.count(FileIndex) != 0 || FTestUndecodable.count(FileIndex) != 0;
    if (Skip) {
      FTestDone.insert(FileIndex);
    } else {
      FProgressGate->SetStatus("Testing " + ZipEngine.FullName(FileIndex) + "...");
    }
    return;
  }
  // A folder entry is done when its folder is made; no end event follows.
  if (ZipEngine.Filename(FileIndex).empty()) ++FOpInfo.Processed;
  FProgressGate->SetStatus(
      "Unzipping " +
      (FOpInfo.OpKind == TOpKind::Unzip && !FName.empty() ? FName : ZipEngine.FullName(FileIndex)) +
      "...");
}

void TfrmMain::ZipEngineEndUnZip(int FileIndex) {
  switch (FOpInfo.OpKind) {
    case TOpKind::ChangePassword:
      StepProgress();  // decoded; counted when it is written again
      break;
    case TOpKind::Test:
      FTestDone.insert(FileIndex);
      if (FTestFaults.count(FileIndex) == 0) ++FOpInfo.Processed;
      break;
    default:
      ++FOpInfo.Processed;
  }
}

// ---------------------------------------------------------------- problems

void TfrmMain::ZipEngineNoSuchFile(const std::string& FName) {
  ++FOpInfo.NotFound;
  FOpInfo.AddProblem(FName, false, "File not found!");
}

void TfrmMain::ZipEngineBadCRC(int FileIndex) {
  ++FOpInfo.BadCRC;
  if (FOpInfo.OpKind == TOpKind::Test) {
    FTestDone.insert(FileIndex);
    FTestFaults[FileIndex].push_back(kBadCRC);
  } else {
    // The file was written all the same.
    FOpInfo.AddProblem(ZipEngine.FullName(FileIndex), true, kBadCRC);
  }
}

void TfrmMain::ZipEngineSkippingFile(TSkipReason Reason, int FileIndex) {
  std::string message;
  switch (Reason) {
    case TSkipReason::srWrongPassword:
      ++FOpInfo.BadPassword;
      message = kBadPassword;
      break;
    case TSkipReason::srNotOverwritten:
      ++FOpInfo.NotReplaced;
      return;
    default:
      // A member that could not be written or is unsafe to write is a
      // problem file too, with the reason the engine gives.
      message = ZipEngine.SkipText();
  }
  if (FOpInfo.OpKind == TOpKind::Test) {
    FTestDone.insert(FileIndex);
    FTestFaults[FileIndex].push_back(message);
  } else {
    FOpInfo.AddProblem(ZipEngine.FullName(FileIndex), false, message);
  }
}

// ---------------------------------------------------------------- prompts

void TfrmMain::ZipEnginePromptForOverwrite(bool& OverWriteIt, int FileIndex, std::string& FName) {
  TfrmOverwrite prompt(FApp, this);
  prompt.setWindowTitle(QString::fromStdString(FApp.Globals.AppTitle));
  prompt.SetFileName(ZipEngine.Filename(FileIndex));
  prompt.SetTargetFolder(ExtractFilePath(FName));
  switch (ExecModal(prompt)) {
    case mrRetry:
      FName = ExtractFilePath(FName) + prompt.NewFileName();
      OverWriteIt = true;
      ++FOpInfo.NotReplaced;
      break;
    case mrYes:
      OverWriteIt = true;
      break;
    case mrNo:
      OverWriteIt = false;
      break;
    case mrNoToAll:
      OverWriteIt = false;
      ZipEngine.OverwriteMode = TUZOverwriteMode::Never;
      break;
    case mrYesToAll:
      OverWriteIt = true;
      ZipEngine.OverwriteMode = TUZOverwriteMode::Always;
      break;
    default:
      break;
  }
}

void TfrmMain::ZipEngineBadPassword(int FileIndex, std::string& NewPassword) {
  if (FOpInfo.SkipPasswordPrompts) return;
  TfrmPassword prompt(this);
  prompt.setWindowTitle(QString::fromStdString(FApp.Globals.AppTitle));
  prompt.SetFileName(ZipEngine.Filename(FileIndex));
  if (FAppInfo.PasswordChar) prompt.MaskPassword();
  switch (ExecModal(prompt)) {
    case mrOk:
      NewPassword = prompt.Password();
      break;
    case mrNoToAll:
      FOpInfo.SkipPasswordPrompts = true;
      break;
    default:
      break;
  }
}

}  // namespace vz
