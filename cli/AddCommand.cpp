// Adding files (a): the zip operation with its action, paths, level,
// password, moving and splitting into parts.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "cli/Commands.h"
#include "cli/DiskParts.h"
#include "engine/format/SortedZip.h"
#include "engine/support/Exceptions.h"
#include "engine/support/PathUtils.h"
#include "engine/support/Wildcard.h"

namespace vz::cli {
namespace {

// FilesList lines for the names on the command line, all absolute: the
// engine's root folder is compared with their folders. A folder becomes the
// pattern folder/*.* (its files; with Recurse, its tree); a pattern keeps
// its one-character recursion prefix ("|" or ">").
std::vector<std::string> FileLines(TSession& session) {
  std::vector<std::string> lines;
  for (const std::string& name : session.Options().Names) {
    std::string prefix;
    std::string path = name;
    if (HasPatternChars(name) && (name[0] == '|' || name[0] == '>')) {
      prefix = name.substr(0, 1);
      path = name.substr(1);
    }
    path = session.Absolute(path);
    const auto info = HasPatternChars(path) ? std::nullopt : session.Services().Files.Stat(path);
    if (info && info->IsDirectory) path = IncludeTrailingSlash(path) + "*.*";
    lines.push_back(prefix + path);
  }
  return lines;
}

void ApplyPathMode(TSession& session) {
  TZipEngine& engine = session.Engine();
  const TOptions& options = session.Options();
  switch (options.Paths.value_or(TPathMode::Relative)) {
    case TPathMode::None:
      engine.SetStorePaths(false);
      break;
    case TPathMode::Full:
      engine.SetStorePaths(true);
      break;
    case TPathMode::Volume:
      engine.SetStoreVolumes(true);
      break;
    default:
      engine.SetRelativePaths(true);
      break;
  }
  engine.SetRootDir(session.Absolute(options.Root.value_or(".")));
  // Relative paths switch recursion on; here -r alone decides.
  engine.Recurse = options.Recurse;
}

// Refuses to write a set over the parts of an older one: a stale higher part
// would be taken for the end of the new set.
void CheckNoOldParts(TSession& session, const std::string& archive) {
  const std::string first = BlockPartName(archive, 1);
  if (session.IsFile(first)) {
    throw EVarnelError(first +
                       ": a part of an earlier multi-part archive is in the way; "
                       "remove the old parts first");
  }
}

void ApplySpanning(TSession& session, const std::string& archive) {
  TZipEngine& engine = session.Engine();
  const TOptions& options = session.Options();
  if (options.Span == TSpanMode::Blocks) {
    CheckNoOldParts(session, archive);
    TMultiZipInfo info = engine.MultiZipInfo();
    info.MultiMode = TMultiMode::mmBlocks;
    info.BlockSize = static_cast<i32>(options.SpanBytes);
    info.FirstBlockSize = static_cast<i32>(options.FirstSpanBytes.value_or(options.SpanBytes));
    engine.SetMultiZipInfo(info);
  } else if (options.Span == TSpanMode::Disks) {
    engine.SetMultiMode(TMultiMode::mmSpan);
    session.BindWriteDiskEvents();
  }
}

bool HasControlChars(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// A name as it can be shown on a terminal: control characters written out
// ("\n", "\x1b"), never sent as they are.
std::string Printable(std::string_view name) {
  std::string out;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

// Why the engine left `name` out; it names the file only.
std::string NoSuchFileText(TSession& session, const std::string& name) {
  IFileSystem& files = session.Services().Files;
  if (HasPatternChars(name) && !files.LStat(name)) return "no file matches; nothing added for it";
  const auto info = files.Stat(name);
  if (!info) {
    const int code = files.LastError();
    if (files.LStat(name)) return "a link to nothing; left out";
    if (code != ENOENT && code != 0)
      return "cannot be read: " + SystemErrorText(code) + "; left out";
    return "no such file";
  }
  if (info->IsDirectory) {
    std::vector<TDirEntry> entries;
    if (!files.ListFolder(name, entries)) {
      return "cannot be read: " + SystemErrorText(files.LastError()) +
             "; the files in it are left out";
    }
    return "folder left out";
  }
  // Opening a pipe or a device could wait for ever, so only files are tried.
  if (!info->IsRegular) return "not a regular file; left out";
  if (HasControlChars(name)) {
    return "its name holds control characters (such as a newline, tab or escape), which "
           "extraction refuses; left out";
  }
  try {
    files.Open(name, TOpenMode::ReadDenyNone);
  } catch (const EFileError& e) {
    return "cannot be read: " + SystemErrorText(e.Code()) + "; left out";
  }
  return "could not be read; left out";
}

void BindAddEvents(TSession& session, const TZipHeaderInfo*& current) {
  TZipEngine& engine = session.Engine();
  TProgressLine& progress = session.Console().Progress();
  engine.OnNoSuchFile = [&session](TZipEngine&, const std::string& name) {
    session.Report().Add(TProblem::NoSuchFile, Printable(name), NoSuchFileText(session, name));
  };
  engine.OnStartZipInfo = [&progress](TZipEngine&, int, i64 totalBytes, TEndCentral&, bool&) {
    progress.Start(totalBytes);
  };
  engine.OnStartZip = [&session, &progress, &current](TZipEngine&, const std::string&,
                                                      TZipHeaderInfo& header, bool&) {
    current = &header;
    session.Report().CurrentMember = header.FullName();
    progress.Member(header.FullName(), header.UncompressedSize);
  };
  engine.OnEndZip = [&session, &progress, &current](TZipEngine&, const std::string&, u32, u32,
                                                    i64) {
    std::string line = "  adding: " + session.Report().CurrentMember;
    if (current != nullptr) {
      line += current->CompressionMethod == 0
                  ? std::string("  (stored)")
                  : "  (deflated to " + std::to_string(Rate(*current)) + "%)";
    }
    current = nullptr;
    session.Console().Info(line);
    progress.MemberDone();
  };
  engine.OnSkippingFile = [&session](TUnZipEngine& sender, TSkipReason, int index) {
    session.Report().Add(TProblem::Other, sender.FullName(index),
                         "a second file with this stored name was left out");
  };
  engine.OnFilePercentDone = [&progress](TUnZipEngine&, int percent) {
    progress.MemberPercent(percent);
  };
  engine.OnTotalPercentDone = [&progress](TUnZipEngine&, int percent) {
    progress.TotalPercent(percent);
  };
}

std::string PartsText(TZipEngine& engine) {
  if (engine.NumDisks <= 1) return {};
  return " in " + std::to_string(engine.NumDisks) + " parts, " +
         ExtractFileName(BlockPartName(engine.ZipName(), 1)) + " to " +
         ExtractFileName(engine.ZipName()) + " (the last one holds the directory)";
}

}  // namespace

// Standard input, whole, for the engine's zip operation from a stream.
void ReadStandardInput(TMemoryStream& stream) {
  std::vector<u8> buffer(65536);
  while (true) {
    const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR && !Interrupted()) continue;
    if (n < 0) {
      const int code = Interrupted() ? ECANCELED : errno;
      throw EInOutError("standard input", code, FileErrorMessage("standard input", code));
    }
    if (n == 0) break;
    stream.WriteBuffer(std::span(buffer).first(static_cast<std::size_t>(n)));
  }
}

TExitCode RunAdd(TSession& session) {
  TZipEngine& engine = session.Engine();
  const TOptions& options = session.Options();
  const std::string archive = session.Absolute(options.Archive);
  session.BindReadEvents();
  const TZipHeaderInfo* current = nullptr;
  BindAddEvents(session, current);
  session.TakePassword(true);
  const bool existed = session.Services().Files.Stat(archive).has_value();
  if (existed) {
    session.OpenArchive(false);
    session.RefuseDamaged();
  } else {
    engine.SetZipName(archive);
  }
  ApplyPathMode(session);
  ApplySpanning(session, archive);
  engine.PackLevel = options.Level;
  engine.Encryption = options.Encryption;
  engine.ZipAction = options.Action;
  engine.Dispose = options.Move;
  engine.Workers = options.Workers;
  if (options.Temp) engine.TempPath = session.Absolute(*options.Temp);
  int added = 0;
  if (options.StdinName) {
    TMemoryStream input;
    ReadStandardInput(input);
    session.Report().CurrentMember = *options.StdinName;
    added = engine.PerformZipFromStream(input, *options.StdinName);
  } else {
    engine.FilesList = FileLines(session);
    added = engine.PerformZip();
  }
  const int members = engine.Count();
  if (!existed && members == 0) {
    // Nothing was found to add: no empty archive is left behind.
    session.Services().Files.DeleteFile(engine.ZipName());
    session.Report().Add(TProblem::NoSuchFile, session.ArchiveLabel(),
                         "nothing to add; no archive was made");
    return session.Finish({});
  }
  return session.Finish(
      std::to_string(added) + (added == 1 ? " file" : " files") +
      (options.Action == TZipAction::zaFreshen ? " freshened; " : " added or replaced; ") +
      session.ArchiveLabel() + " holds " + std::to_string(members) +
      (members == 1 ? " member" : " members") + PartsText(engine));
}

}  // namespace vz::cli
