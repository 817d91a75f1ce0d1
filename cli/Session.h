// One run of vzip: the console, the problem report, the host, the real
// platform and one writing engine (which also reads), built in that order
// because each needs the ones before it. The engine is driven only through
// its public properties, events and operations; the session binds the
// events every command shares (passwords, parts of a set, skipped members,
// CRC errors, progress) and turns exceptions into one line and an exit code.
#pragma once

#include <exception>
#include <map>
#include <memory>
#include <string>

#include "cli/CliHost.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/Report.h"
#include "engine/writer/ZipEngine.h"
#include "platform/posix/PosixPlatform.h"

namespace vz::cli {

class TSession {
 public:
  explicit TSession(const TOptions& options);
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  const TOptions& Options() const { return FOptions; }
  TConsole& Console() { return FConsole; }
  TReport& Report() { return FReport; }
  TZipEngine& Engine() { return FEngine; }
  const TPlatform& Services() const { return FPlatform.Services(); }

  // A path from the command line made absolute against the current folder
  // of the start, "." and ".." taken out by name.
  std::string Absolute(const std::string& path) const;
  bool IsFile(const std::string& path) const;

  // Names the archive (with `findLastPart`, the part of a set that holds its
  // directory) and reads its directory. A file in which no member can be
  // found raises an error instead of passing for an empty archive.
  void OpenArchive(bool findLastPart = true);
  // Commands that change an archive refuse one whose directory had to be
  // rebuilt from the members' own headers, pointing to vzip r.
  void RefuseDamaged() const;
  // The archive as the user named it, for messages.
  const std::string& ArchiveLabel() const { return FOptions.Archive; }

  // The engine's Password from -p, or asked for on the terminal with -e
  // (twice when `confirm`). Throws ECommandLine when -e has no terminal.
  void TakePassword(bool confirm);

  // The events of reading and extracting that every reading command shares.
  void BindReadEvents();
  // Disk requests of a set being written (--span disks).
  void BindWriteDiskEvents();

  // Asks whether `path` may be replaced, as -o says: always, never, or on
  // the terminal (No without one). A refusal is reported as not overwritten.
  bool MayReplace(const std::string& path);

  // Success, or Warnings when problems were reported; prints the summary
  // line on standard output and the problem count on standard error.
  TExitCode Finish(const std::string& summary);
  // The one line for an exception that ended the command.
  TExitCode Fail(const std::exception_ptr& error);

 private:
  void OnGetNextDiskReading(int nextDisk, std::string& fileName);
  void OnBadPassword(int index, std::string& newPassword);
  void OnSkippingFile(TSkipReason reason, int index);
  void OnInCompleteZip(TIncompleteZipMode& mode);
  std::string FailureText(const std::exception_ptr& error) const;

  TOptions FOptions;
  TConsole FConsole;
  TReport FReport;
  TCliHost FHost;
  TPosixPlatform FPlatform;
  TZipEngine FEngine;
  std::string FCurrentFolder;
  std::string FLastPart;        // the part that holds the directory
  std::string FMissingPart;     // why a disk request was answered with nothing
  bool FReadAsDamaged = false;  // the end record was missing
  int FPasswordMember = -1;     // the member the password prompts are about
  int FPasswordPrompts = 0;
};

}  // namespace vz::cli
