#include "cli/Session.h"

#include <new>

#include "cli/DiskParts.h"
#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "platform/FileHelpers.h"

namespace vz::cli {
namespace {

constexpr int kPasswordPromptsPerMember = 3;

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += i + 1 == names.size() ? " and " : ", ";
    out += names[i];
  }
  return out;
}

}  // namespace

TSession::TSession(const TOptions& options)
    : FOptions(options),
      FConsole(options.Quiet),
      FReport(FConsole),
      FHost(FConsole, FReport),
      FPlatform(FHost),
      FEngine(FPlatform.Services()) {
  FHost.Attach(&FEngine);
  FCurrentFolder = Services().Files.CurrentFolder();
  // Parts are found by name; the labels of removable disks say nothing
  // about block files that were copied onto them.
  FEngine.SetCheckDiskLabels(false);
  FEngine.WaitForLock = !options.NoWait;
  FEngine.OnWaitForLock = [this](TZipEngine&, const std::string& lockName) {
    FConsole.Error("vzip: " + ArchiveLabel() + ": another program is changing the archive (it " +
                   "holds " + lockName + "); waiting for it (Ctrl-C cancels)");
  };
}

void TSession::RefuseDamaged() const {
  if (!FEngine.Rebuilt()) return;
  throw EVarnelError(ArchiveLabel() +
                     ": the archive is damaged (its directory is missing or cut off); it was "
                     "left as it is. Repair it first: vzip r " +
                     ArchiveLabel());
}

std::string TSession::Absolute(const std::string& path) const {
  return NormalisePath(path, FCurrentFolder);
}

bool TSession::IsFile(const std::string& path) const {
  const auto info = Services().Files.Stat(path);
  return info && !info->IsDirectory;
}

void TSession::OpenArchive(bool findLastPart) {
  const std::string named = Absolute(FOptions.Archive);
  FLastPart = findLastPart ? LastPartOf(Services().Files, named) : named;
  FEngine.SetZipName(FLastPart);
  if (FOptions.NameEncoding) FEngine.SetNameEncoding(*FOptions.NameEncoding);
  FEngine.ReadZip();
  // Nothing found even by the members' own headers: whatever the file is,
  // it is no archive, and no command may rewrite it as one.
  if (FEngine.Rebuilt() && FEngine.Count() == 0) {
    throw EVarnelError(ArchiveLabel() + ": not a ZIP archive (no directory and no member found)");
  }
  if (FReadAsDamaged) {
    FReport.Add(TProblem::Other, ArchiveLabel(),
                "no end of central directory found; the members were read from their own "
                "headers (vzip r writes a repaired copy)");
  }
}

void TSession::TakePassword(bool confirm) {
  if (FOptions.Password) {
    FEngine.Password = *FOptions.Password;
    return;
  }
  if (!FOptions.AskPassword) return;
  if (!FConsole.Interactive()) {
    throw ECommandLine("vzip " + std::string(CommandName(FOptions.Command)) +
                           ": -e needs a terminal to ask for the password on; use -p",
                       FOptions.Command);
  }
  const auto first = FConsole.AskSecret("Password: ");
  if (!first || first->empty()) throw EUserCanceled("no password given");
  if (confirm) {
    const auto second = FConsole.AskSecret("Password again: ");
    if (!second || *second != *first) throw EUserCanceled("the two passwords differ");
  }
  FEngine.Password = *first;
}

// ---------------------------------------------------------------- events

void TSession::BindReadEvents() {
  TZipEngine& e = FEngine;
  TProgressLine& progress = FConsole.Progress();
  e.OnInCompleteZip = [this](TUnZipEngine&, TIncompleteZipMode& mode) { OnInCompleteZip(mode); };
  e.OnGetNextDisk = [this](TUnZipEngine&, int disk, std::string& name) {
    OnGetNextDiskReading(disk, name);
  };
  e.OnBadPassword = [this](TUnZipEngine&, int index, std::string& password) {
    OnBadPassword(index, password);
  };
  e.OnSkippingFile = [this](TUnZipEngine&, TSkipReason reason, int index) {
    OnSkippingFile(reason, index);
  };
  e.OnBadCRC = [this](TUnZipEngine& sender, u32 calculated, u32 stored, int index) {
    char text[96];
    std::snprintf(text, sizeof text, "bad CRC %08x (should be %08x): the data is damaged",
                  calculated, stored);
    FReport.Add(TProblem::BadCrc, sender.FullName(index), text);
  };
  e.OnStartUnZipInfo = [&progress](TUnZipEngine&, int, i64 totalBytes, bool&) {
    progress.Start(totalBytes);
  };
  e.OnStartUnZip = [this, &progress](TUnZipEngine& sender, int index, const std::string&, bool&) {
    FReport.CurrentMember = sender.FullName(index);
    progress.Member(FReport.CurrentMember, sender.UncompressedSize(index));
  };
  e.OnEndUnZip = [&progress](TUnZipEngine&, int, const std::string&) { progress.MemberDone(); };
  e.OnFilePercentDone = [&progress](TUnZipEngine&, int percent) {
    progress.MemberPercent(percent);
  };
  e.OnTotalPercentDone = [&progress](TUnZipEngine&, int percent) {
    progress.TotalPercent(percent);
  };
}

void TSession::OnInCompleteZip(TIncompleteZipMode& mode) {
  // As the windowed program does: on a removable disk the end record may be
  // on another disk; anywhere else the archive is damaged and is read from
  // its members' own headers.
  IDrives& drives = Services().Drives;
  if (drives.DriveType(drives.DriveOf(FEngine.ZipName())) == TDriveType::Removable) return;
  mode = TIncompleteZipMode::izAssumeBad;
  FReadAsDamaged = true;
}

void TSession::OnGetNextDiskReading(int nextDisk, std::string& fileName) {
  const int lastDisk = FEngine.EndCentral().ThisDisk + 1;
  const auto candidates = PartCandidates(FLastPart, nextDisk, lastDisk);
  for (const auto& candidate : candidates) {
    // The engine hands back a name it refused; it is not offered again.
    if (candidate != fileName && IsFile(candidate)) {
      fileName = candidate;
      return;
    }
  }
  const std::string where = "part " + std::to_string(nextDisk) + " of " + std::to_string(lastDisk) +
                            " (looked for " + JoinNames(candidates) + ")";
  const auto answer = FConsole.AskLine("vzip: " + ArchiveLabel() + ": cannot find " + where +
                                       ".\nType the path of that part, or press Enter to cancel: ");
  if (answer && !answer->empty()) {
    fileName = Absolute(*answer);
    return;
  }
  FMissingPart = ArchiveLabel() + ": the multi-part archive misses " + where;
  fileName.clear();
}

void TSession::BindWriteDiskEvents() {
  FEngine.OnGetNextDisk = [this](TUnZipEngine&, int disk, std::string& name) {
    const auto answer =
        FConsole.AskLine("vzip: disk " + std::to_string(disk - 1) + " is full. Insert disk " +
                         std::to_string(disk) + " and press Enter to write " + name +
                         ",\nor type another file name for it (Ctrl-C cancels): ");
    if (!answer) {
      FMissingPart = ArchiveLabel() + ": disk " + std::to_string(disk) +
                     " is needed, and there is no terminal to ask for it on";
      name.clear();
    } else if (!answer->empty()) {
      name = Absolute(*answer);
    }
  };
}

void TSession::OnBadPassword(int index, std::string& newPassword) {
  if (index != FPasswordMember) {
    FPasswordMember = index;
    FPasswordPrompts = 0;
  }
  if (!FConsole.Interactive() || FPasswordPrompts >= kPasswordPromptsPerMember) return;
  ++FPasswordPrompts;
  const std::string name = TerminalText(FEngine.FullName(index));
  const auto answer = FConsole.AskSecret(
      (FEngine.Password.empty() ? "Password for " : "Wrong password. Password for ") + name +
      " (Enter skips it): ");
  if (answer && !answer->empty()) newPassword = *answer;
}

void TSession::OnSkippingFile(TSkipReason reason, int index) {
  const std::string name = FEngine.FullName(index);
  switch (reason) {
    case TSkipReason::srWrongPassword:
      if (FEngine.Password.empty()) {
        FReport.Add(TProblem::NoPassword, name,
                    "skipped: it is encrypted and no password was given (-p or -e)");
      } else {
        FReport.Add(TProblem::WrongPassword, name, "skipped: wrong password");
      }
      break;
    case TSkipReason::srNotOverwritten:
      FReport.Add(TProblem::NotOverwritten, name,
                  "not overwritten: the file exists (-o always replaces it)");
      break;
    case TSkipReason::srUnsafeEntry:
      FReport.Add(TProblem::UnsafeEntry, name, FEngine.SkipText() + ": refused as unsafe");
      break;
    case TSkipReason::srNotWritten:
      FReport.Add(TProblem::NotWritten, name, "not extracted: " + FEngine.SkipText());
      break;
    case TSkipReason::srUnsupported:
      FReport.Add(TProblem::Unsupported, name, "skipped: " + FEngine.SkipText());
      break;
    case TSkipReason::srHeaderMismatch:
    case TSkipReason::srSizeMismatch:
    case TSkipReason::srBadAuthentication:
      FReport.Add(TProblem::Damaged, name, "damaged: " + FEngine.SkipText());
      break;
  }
}

bool TSession::MayReplace(const std::string& path) {
  if (!Services().Files.LStat(path)) return true;
  bool replace = FOptions.Overwrite == TUZOverwriteMode::Always;
  if (FOptions.Overwrite == TUZOverwriteMode::Prompt) {
    while (true) {
      const auto answer = FConsole.AskLine(path + " exists. Replace it? [y/n] ");
      if (!answer || *answer == "n" || *answer == "no") break;
      if (*answer == "y" || *answer == "yes") {
        replace = true;
        break;
      }
    }
  }
  if (!replace) {
    FReport.Add(TProblem::NotOverwritten, path,
                "not overwritten: it exists (-o always replaces it)");
  }
  return replace;
}

// ---------------------------------------------------------------- outcome

TExitCode TSession::Finish(const std::string& summary) {
  FConsole.Progress().Erase();
  if (!summary.empty()) FConsole.Info(summary);
  if (FReport.Count() == 0) return TExitCode::Success;
  FConsole.Error("vzip: " + FReport.Summary());
  return TExitCode::Warnings;
}

std::string TSession::FailureText(const std::exception_ptr& error) const {
  const std::string& archive = ArchiveLabel();
  const std::string& member = FReport.CurrentMember;
  try {
    std::rethrow_exception(error);
  } catch (const EUserCanceled& e) {
    if (!FMissingPart.empty()) return FMissingPart;
    if (Interrupted()) return archive + ": cancelled";
    return archive + ": " + e.what();
  } catch (const EIncompleteZip& e) {
    return archive + ": " + e.what() +
           " (no end of central directory: not the last part of a multi-part archive, or cut "
           "short)";
  } catch (const EFileError& e) {
    return e.what();
  } catch (const EVarnelError& e) {
    const std::string text = e.what();
    // The engine's own messages mostly name their file already.
    if ((!text.empty() && text[0] == '/') || text.starts_with(archive + ": ")) return text;
    return archive + ": " + (member.empty() ? "" : TerminalText(member) + ": ") + text;
  } catch (const std::bad_alloc&) {
    return archive + ": out of memory";
  } catch (const std::exception& e) {
    return archive + ": " + e.what();
  }
}

TExitCode TSession::Fail(const std::exception_ptr& error) {
  FConsole.Progress().Erase();
  FConsole.Error("vzip: " + FailureText(error));
  if (FReport.Count() > 0) FConsole.Error("vzip: " + FReport.Summary());
  return TExitCode::Fatal;
}

}  // namespace vz::cli
