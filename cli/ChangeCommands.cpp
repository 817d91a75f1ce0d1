// Rewriting an archive without adding files: deleting members (d), making
// a self-extracting program (s) and writing a repaired copy (r).
#include <cerrno>

#include "app/core/Helpers.h"
#include "cli/Commands.h"
#include "engine/format/ZipNames.h"
#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "engine/support/Wildcard.h"

namespace vz::cli {
namespace {

// The delete operation's rule: a pattern with "/" against the whole stored
// name, one without against the file name, both ignoring case; a plain line
// by exact equality.
bool DeleteLineMatches(const std::string& line, const std::string& fullName,
                       const std::string& fileName) {
  if (!HasPatternChars(line)) return line == fullName;
  return Match(line, line.find('/') != std::string::npos ? fullName : fileName);
}

std::string FixedName(const std::string& path) {
  const std::string ext = ExtractFileExt(path);
  return path.substr(0, path.size() - ext.size()) + "_Fixed" + ext;
}

std::string MembersText(int count) {
  return std::to_string(count) + (count == 1 ? " member" : " members");
}

}  // namespace

TExitCode RunDelete(TSession& session) {
  TZipEngine& engine = session.Engine();
  const TOptions& options = session.Options();
  session.BindReadEvents();
  session.OpenArchive();
  session.RefuseDamaged();
  bool anyMatch = false;
  for (const std::string& line : options.Names) {
    bool matched = false;
    for (int i = 0; i < engine.Count() && !matched; ++i) {
      matched = DeleteLineMatches(line, engine.FullName(i), engine.Filename(i));
    }
    anyMatch = anyMatch || matched;
    if (!matched) {
      session.Report().Add(TProblem::NoMatch, line,
                           "no member of " + session.ArchiveLabel() + " matches");
    }
  }
  // Nothing to delete: the archive is left as it is instead of being rewritten.
  if (!anyMatch) return session.Finish("Deleted 0 members");
  engine.OnDeleteEntry = [&session](TZipEngine&, const std::string& name, bool&) {
    session.Console().Info("  deleting: " + TerminalText(name));
  };
  engine.FilesList = options.Names;
  const int deleted = engine.PerformDelete();
  return session.Finish("Deleted " + MembersText(deleted) + "; " + session.ArchiveLabel() +
                        " holds " + MembersText(engine.Count()));
}

TExitCode RunSfx(TSession& session) {
  TZipEngine& engine = session.Engine();
  session.BindReadEvents();
  session.OpenArchive();
  if (engine.NumDisks > 1) {
    throw EVarnelError(session.ArchiveLabel() +
                       ": a multi-part archive cannot be made self-extracting");
  }
  const std::string stub =
      ExtractFilePath(session.Services().Environment.ProgramFile()) + "vnsfx32";
  if (!session.IsFile(stub)) {
    throw EFOpenError(stub, ENOENT,
                      stub + ": the self-extractor stub is missing (it belongs beside vzip)");
  }
  const std::string target = ChangeFileExt(engine.ZipName(), ".exe");
  if (target == engine.ZipName()) {
    throw EVarnelError(session.ArchiveLabel() + ": it is a self-extracting program already");
  }
  if (!session.MayReplace(target)) return session.Finish({});
  engine.BuildSelfExtractor(stub);
  const auto info = session.Services().Files.Stat(target);
  return session.Finish("Created " + target + " (" + FormatSize(info ? info->Size : 0) +
                        "), a program that extracts " + MembersText(engine.Count()));
}

TExitCode RunRepair(TSession& session) {
  TZipEngine& engine = session.Engine();
  const TOptions& options = session.Options();
  const std::string input = session.Absolute(options.Archive);
  const std::string output =
      options.Names.empty() ? FixedName(input) : session.Absolute(options.Names[0]);
  if (output == input) {
    throw ECommandLine("vzip repair: the repaired copy needs a name of its own",
                       TCommandKind::Repair);
  }
  session.BindReadEvents();
  // A missing end record is what repair is for: the members are looked for
  // by their own headers without a word.
  engine.OnInCompleteZip = nullptr;
  engine.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
  engine.SetZipName(input);
  engine.ReadZip();
  const int found = engine.Count();
  const bool rebuilt = engine.Rebuilt();
  if (found == 0) {
    throw EVarnelError(session.ArchiveLabel() + ": no member could be found; nothing was written");
  }
  if (!session.MayReplace(output)) return session.Finish({});
  engine.RepairArchive(input, output);
  engine.ReadZip();
  return session.Finish("Recovered " + MembersText(engine.Count()) + " into " + output +
                        (rebuilt ? " (the directory was lost; the members were found by their "
                                   "own headers)"
                                 : ""));
}

}  // namespace vz::cli
