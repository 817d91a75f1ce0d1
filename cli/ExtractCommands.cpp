// Decoding members: testing them (t), extracting them to files (x) and
// writing one to standard output (p). Testing and printing go through the
// engine's extraction into a stream of vzip's own.
#include <algorithm>

#include "cli/Commands.h"
#include "cli/Streams.h"
#include "engine/format/ZipNames.h"
#include "engine/support/PathUtils.h"
#include "engine/support/Wildcard.h"
#include "platform/Figures.h"

namespace vz::cli {
namespace {

// Reports each pattern that selects no member before the work starts, so a
// typing error does not pass for an empty selection.
void ReportUnmatched(TSession& session, const std::vector<std::string>& patterns) {
  TZipEngine& engine = session.Engine();
  for (const std::string& pattern : patterns) {
    const std::string lower = LowerCaseAscii(pattern);
    bool found = false;
    for (int i = 0; i < engine.Count() && !found; ++i) {
      found = Match(lower, LowerCaseAscii(engine.FullName(i)));
    }
    if (!found) {
      session.Report().Add(TProblem::NoMatch, pattern,
                           "no member of " + session.ArchiveLabel() + " matches");
    }
  }
}

bool HasStoredVolume(const std::string& folder) {
  return (!folder.empty() && folder[0] == '/') || !ExtractDrive(folder).empty();
}

// The free space of the destination against the size of the members to
// extract, with the windowed program's figures. False when it does not fit
// or cannot be read.
bool EnoughSpace(TSession& session, const std::string& folder, i64 required) {
  IDrives& drives = session.Services().Drives;
  const std::string drive = drives.DriveOf(folder);
  if (drives.DriveType(drive) == TDriveType::Remote) return true;
  const i64 free = drives.FreeSpace(drive);
  TConsole& console = session.Console();
  if (free < 0) {
    console.Error("vzip: " + folder +
                  ": cannot read the free space: " + SystemErrorText(drives.LastError()));
    return false;
  }
  if (free > required) return true;
  console.Error("vzip: " + folder + ": Not enough disk free space!");
  console.Error("  Required space:\t" + FormatSize(required));
  console.Error("  Disk free space:\t" + FormatSize(free));
  console.Error("  Free up atleast " + FormatSize(required - free) +
                " of disk space and try again.");
  return false;
}

// The overwrite question: yes, no, all, never, rename. `kept` tells that
// the user chose to keep the file (no, never), unlike a question that
// found no terminal to be asked on.
void AskOverwrite(TSession& session, bool& overwrite, std::string& fileName, bool& kept) {
  TConsole& console = session.Console();
  overwrite = false;
  kept = false;
  while (true) {
    const auto answer = console.AskLine("Replace existing file " + TerminalText(fileName) +
                                        "? [y]es, [n]o, [a]ll, n[e]ver, [r]ename: ");
    if (!answer) {
      if (Interrupted()) session.Engine().CancelOperation = true;
      return;
    }
    const std::string a = LowerCaseAscii(*answer);
    if (a == "y" || a == "yes") {
      overwrite = true;
    } else if (a == "a" || a == "all") {
      overwrite = true;
      session.Engine().OverwriteMode = TUZOverwriteMode::Always;
    } else if (a == "e" || a == "never") {
      session.Engine().OverwriteMode = TUZOverwriteMode::Never;
      kept = true;
    } else if (a == "r" || a == "rename") {
      const auto name = console.AskLine("New name (in the same folder): ");
      if (!name || name->empty() || name->find('/') != std::string::npos || *name == "." ||
          *name == "..") {
        continue;
      }
      const std::string renamed = ExtractFilePath(fileName) + *name;
      if (session.Services().Files.LStat(renamed)) {
        console.Error("vzip: " + renamed + " exists too");
        continue;
      }
      fileName = renamed;
      overwrite = true;
    } else if (a == "n" || a == "no") {
      kept = true;
    } else {
      continue;
    }
    return;
  }
}

// The events of x alone: each member's line, showing where a member with
// an absolute stored name really goes; the overwrite question; and files
// kept by the user's choice (-o never, or "n" and "never" answered), which
// are no problems.
void BindExtractEvents(TSession& session, bool& kept) {
  TZipEngine& engine = session.Engine();
  auto start = engine.OnStartUnZip;
  engine.OnStartUnZip = [&session, start](TUnZipEngine& sender, int index, const std::string& name,
                                          bool& skip) {
    // Quiet, the line is not even made: it would cost many small members
    // more than their data.
    if (!session.Console().Quiet()) {
      const bool folder = sender.Filename(index).empty();
      const std::string stored = sender.FullName(index);
      session.Console().Info((folder ? "    creating: " : "  extracting: ") +
                             TerminalText(HasStoredVolume(stored) ? name : stored));
    }
    start(sender, index, name, skip);
  };
  engine.OnPromptForOverwrite = [&session, &kept](TUnZipEngine&, bool& overwrite, int,
                                                  std::string& fileName) {
    AskOverwrite(session, overwrite, fileName, kept);
  };
  auto skipping = engine.OnSkippingFile;
  engine.OnSkippingFile = [&session, &kept, skipping](TUnZipEngine& sender, TSkipReason reason,
                                                      int index) {
    const bool chosen = kept || sender.OverwriteMode == TUZOverwriteMode::Never;
    kept = false;
    if (reason != TSkipReason::srNotOverwritten || !chosen) {
      skipping(sender, reason, index);
      return;
    }
    session.Console().Info("     keeping: " + TerminalText(sender.FullName(index)));
  };
}

// The members one run has tested, each with the pattern whose pass met it
// first: a member that several patterns select is tested and reported in
// that pass only, whatever happens to it there (a password that fails after
// the member has started is still reported).
struct TSeen {
  std::vector<int> Pass;  // -1: not met yet
  int Current = 0;
  int Passed = 0;
  bool Selected = false;

  // Whether the events of this member belong to the current pass.
  bool Owns(int index) {
    int& pass = Pass[static_cast<std::size_t>(index)];
    if (pass < 0) pass = Current;
    return pass == Current;
  }
  long Tested() const {
    return std::count_if(Pass.begin(), Pass.end(), [](int p) { return p >= 0; });
  }
};

void BindTestEvents(TSession& session, TSeen& seen) {
  TZipEngine& engine = session.Engine();
  seen.Pass.assign(static_cast<std::size_t>(engine.Count()), -1);
  auto start = engine.OnStartUnZip;
  engine.OnStartUnZip = [&seen, start](TUnZipEngine& sender, int index, const std::string& name,
                                       bool& skip) {
    if (!seen.Owns(index)) {
      skip = true;
      return;
    }
    start(sender, index, name, skip);
  };
  auto skipping = engine.OnSkippingFile;
  engine.OnSkippingFile = [&seen, skipping](TUnZipEngine& sender, TSkipReason reason, int index) {
    if (seen.Owns(index)) skipping(sender, reason, index);
  };
  auto badCrc = engine.OnBadCRC;
  engine.OnBadCRC = [&seen, badCrc](TUnZipEngine& sender, u32 calculated, u32 stored, int index) {
    if (seen.Owns(index)) badCrc(sender, calculated, stored, index);
  };
  auto end = engine.OnEndUnZip;
  engine.OnEndUnZip = [&seen, end](TUnZipEngine& sender, int index, const std::string& name) {
    ++seen.Passed;
    end(sender, index, name);
  };
  auto info = engine.OnStartUnZipInfo;
  engine.OnStartUnZipInfo = [&seen, info](TUnZipEngine& sender, int count, i64 total, bool& stop) {
    seen.Selected = count > 0;
    info(sender, count, total, stop);
  };
}

// Where the files go: the destination (empty when the stored volumes
// decide) and the first stored folder with a volume or an absolute path.
struct TPlace {
  std::string Dest;
  std::string FirstVolume;
};

// The extract dialog's three choices, made on the engine.
TPlace SetPlace(TSession& session) {
  TZipEngine& engine = session.Engine();
  const TOptions& options = session.Options();
  const TPathMode mode = options.Paths.value_or(TPathMode::Stored);
  TPlace place;
  for (int i = 0; i < engine.Count() && place.FirstVolume.empty(); ++i) {
    if (HasStoredVolume(engine.Pathname(i))) place.FirstVolume = engine.Pathname(i);
  }
  if (mode == TPathMode::Volume && place.FirstVolume.empty()) {
    throw ECommandLine("vzip extract: no member of " + session.ArchiveLabel() +
                           " stores a volume or an absolute folder; use --paths stored",
                       TCommandKind::Extract);
  }
  if (mode != TPathMode::Volume) place.Dest = session.Absolute(options.Dest.value_or("."));
  engine.RecreateDirs = mode != TPathMode::None;
  engine.SetDestDir(place.Dest);
  const std::string drive = ExtractDrive(place.FirstVolume);
  if (options.Root) {
    engine.SetRootDir(*options.Root);
  } else if (mode == TPathMode::Stored && !drive.empty()) {
    // The drive comes off every stored folder, as the dialog's "Path
    // information" does for an archive that stores drives.
    engine.SetRootDir(drive);
  }
  return place;
}

}  // namespace

TExitCode RunTest(TSession& session) {
  TZipEngine& engine = session.Engine();
  session.BindReadEvents();
  session.TakePassword(false);
  session.OpenArchive();
  TSeen seen;
  BindTestEvents(session, seen);
  const std::vector<std::string> patterns =
      session.Options().Names.empty() ? std::vector<std::string>{"*"} : session.Options().Names;
  // A member whose local header tells another story than the directory
  // fails the test, as it does in unzip and 7-Zip.
  engine.CheckLocalHeaders = true;
  TDiscardStream sink;
  for (const std::string& pattern : patterns) {
    seen.Selected = false;
    engine.UnZipToStream(sink, pattern);
    if (!seen.Selected && pattern != "*") {
      session.Report().Add(TProblem::NoMatch, pattern,
                           "no member of " + session.ArchiveLabel() + " matches");
    }
    ++seen.Current;
  }
  const long tested = seen.Tested();
  const long failed = tested - seen.Passed;
  const std::string members = std::to_string(tested) + (tested == 1 ? " member" : " members");
  if (failed == 0) {
    return session.Finish("No errors: " + members + " of " + session.ArchiveLabel() + " tested");
  }
  // Whatever was or was not reported on the way, a failed member fails the run.
  const TExitCode code =
      session.Finish(std::to_string(failed) + " of " + members + " failed the test");
  return code == TExitCode::Success ? TExitCode::Warnings : code;
}

TExitCode RunPrint(TSession& session) {
  TZipEngine& engine = session.Engine();
  session.BindReadEvents();
  session.TakePassword(false);
  session.OpenArchive();
  bool selected = false;
  auto info = engine.OnStartUnZipInfo;
  engine.OnStartUnZipInfo = [&selected, info](TUnZipEngine& sender, int count, i64 total,
                                              bool& stop) {
    selected = count > 0;
    info(sender, count, total, stop);
  };
  const std::string& member = session.Options().Names[0];
  TStdoutStream out;
  engine.UnZipToStream(out, member);
  if (!selected) {
    session.Report().Add(TProblem::NoMatch, member, "no such member in " + session.ArchiveLabel());
  }
  return session.Finish({});
}

TExitCode RunExtract(TSession& session) {
  TZipEngine& engine = session.Engine();
  const TOptions& options = session.Options();
  session.BindReadEvents();
  session.TakePassword(false);
  session.OpenArchive();
  const TPlace place = SetPlace(session);
  const std::string& dest = place.Dest;
  engine.OverwriteMode = options.Overwrite;
  engine.DoAll = options.Names.empty();
  engine.FilesList = options.Names;
  ReportUnmatched(session, options.Names);

  bool refused = false;
  auto info = engine.OnStartUnZipInfo;
  engine.OnStartUnZipInfo = [&](TUnZipEngine& sender, int count, i64 total, bool& stop) {
    const std::string folder = dest.empty() ? place.FirstVolume : dest;
    if (count > 0 && !EnoughSpace(session, folder.empty() ? "/" : folder, total)) {
      refused = stop = true;
      return;
    }
    info(sender, count, total, stop);
  };
  bool kept = false;
  BindExtractEvents(session, kept);

  // The engine makes the destination only once it has members to extract.
  const int extracted = engine.UnZip();
  if (refused) return TExitCode::Fatal;
  const std::string where = dest.empty() ? "their stored folders" : dest;
  return session.Finish("Extracted " + std::to_string(extracted) +
                        (extracted == 1 ? " member to " : " members to ") + where);
}

}  // namespace vz::cli
