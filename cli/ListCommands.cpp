// Reading the directory: the listing (l) and the comments (c), which can
// also be changed.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/Commands.h"
#include "engine/format/DosDate.h"
#include "engine/format/ZipNames.h"
#include "engine/support/Exceptions.h"
#include "platform/FileHelpers.h"

namespace vz::cli {
namespace {

// Space saved, as a whole percentage: negative for a member that grew
// ("-0%" when it grew by less than half a percent, so that growth always
// shows), 0 for an empty one.
std::string SavedText(i64 size, i64 compressed) {
  if (size <= 0) return "0%";
  const long saved =
      std::lround(100.0 * static_cast<double>(size - compressed) / static_cast<double>(size));
  if (compressed > size && saved == 0) return "-0%";
  return std::to_string(std::max(saved, -999L)) + "%";
}

std::string DateText(u32 dosDateTime) {
  const TDosFields f = UnpackDosDateTime(dosDateTime);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", f.Year, f.Month, f.Day, f.Hour,
                f.Minute);
  return text;
}

// The encryption column: "traditional", "AES-256", ...; PKWARE's strong
// encryption shortened to fit.
std::string EncryptionText(const TZipHeaderInfo& entry) {
  const std::string name = entry.EncryptionName();
  return name == "strong encryption" ? "strong" : name;
}

// Each line of a comment indented, ending in a line break.
std::string Indented(const std::string& text, const std::string& indent) {
  std::string out = indent;
  for (std::size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '\n' && i + 1 < text.size()) out += indent;
  }
  if (out.empty() || out.back() != '\n') out += '\n';
  return out;
}

// The member with exactly this stored name, else the first whose name
// differs only in case; -1 when there is none.
int FindMember(TZipEngine& engine, const std::string& name) {
  int caseless = -1;
  for (int i = 0; i < engine.Count(); ++i) {
    const std::string full = engine.FullName(i);
    if (full == name) return i;
    if (caseless < 0 && SameTextNoCase(full, name)) caseless = i;
  }
  return caseless;
}

std::string ReadCommentText(TSession& session, const std::string& fileName) {
  std::string text;
  int error = 0;
  if (fileName == "-") {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) text.append(buffer, n);
    return text;
  }
  const std::string path = session.Absolute(fileName);
  if (!ReadWholeFile(session.Services().Files, path, text, error)) {
    throw EFOpenError(path, error, FileErrorMessage(path, error));
  }
  return text;
}

}  // namespace

TExitCode RunList(TSession& session) {
  TZipEngine& engine = session.Engine();
  TConsole& console = session.Console();
  session.BindReadEvents();
  engine.SortMode = session.Options().Sort;
  session.OpenArchive();
  std::string out = "Archive: " + session.ArchiveLabel();
  const int parts = std::max(engine.NumDisks, engine.SliceCount());
  if (parts > 1) out += "  (" + std::to_string(parts) + " parts)";
  out += "\n";
  if (session.Options().Comments && !engine.ZipComment().empty()) {
    out += "Comment:\n" + Indented(engine.ZipComment(), "  ");
  }
  out += "Date       Time         Size Compressed Ratio Method    Encryption  CRC-32    Name\n";
  out += "---------- -----  ---------- ---------- ----- --------- ----------- --------  ----\n";
  i64 totalSize = 0;
  i64 totalCompressed = 0;
  char line[128];
  for (int i = 0; i < engine.Count(); ++i) {
    const TZipHeaderInfo& entry = engine.Entry(i);
    totalSize += static_cast<i64>(entry.UncompressedSize);
    totalCompressed += static_cast<i64>(entry.CompressedSize);
    const auto size = static_cast<i64>(entry.UncompressedSize);
    const auto compressed = static_cast<i64>(entry.CompressedSize);
    std::snprintf(line, sizeof line, "%s  %10lld %10lld %5s %-9s %-11s %08x  ",
                  DateText(entry.FileDate).c_str(), static_cast<long long>(size),
                  static_cast<long long>(compressed), SavedText(size, compressed).c_str(),
                  entry.MethodName().c_str(), EncryptionText(entry).c_str(), entry.Crc32);
    out += line + TerminalText(engine.FullName(i)) + "\n";
    if (session.Options().Comments && entry.HasComment()) {
      out += Indented(engine.FileComment(i), "                  ");
    }
    if (out.size() > 65536) {
      console.Out(out);
      out.clear();
    }
  }
  out += "                  ---------- ---------- -----                               ----\n";
  std::snprintf(line, sizeof line,
                "                  %10lld %10lld %5s                               ",
                static_cast<long long>(totalSize), static_cast<long long>(totalCompressed),
                SavedText(totalSize, totalCompressed).c_str());
  out += line + std::to_string(engine.Count()) + (engine.Count() == 1 ? " member\n" : " members\n");
  console.Out(out);
  return session.Finish({});
}

TExitCode RunComment(TSession& session) {
  TZipEngine& engine = session.Engine();
  const TOptions& options = session.Options();
  session.BindReadEvents();
  session.OpenArchive();
  int index = -1;
  if (!options.Names.empty()) {
    index = FindMember(engine, options.Names[0]);
    if (index < 0) {
      session.Report().Add(TProblem::NoMatch, options.Names[0],
                           "no such member in " + session.ArchiveLabel());
      return session.Finish({});
    }
  }
  const std::string subject =
      index < 0 ? "the archive comment" : "the comment of " + TerminalText(engine.FullName(index));
  if (!options.SetText && !options.TextFile) {
    const std::string text = index < 0 ? engine.ZipComment() : engine.FileComment(index);
    if (!text.empty()) session.Console().Out(text.back() == '\n' ? text : text + "\n");
    return session.Finish({});
  }
  const std::string text =
      options.SetText ? *options.SetText : ReadCommentText(session, *options.TextFile);
  if (text.size() > 0xFFFF) {
    throw EZipLimitError("a comment may hold at most 65535 bytes; this one has " +
                         std::to_string(text.size()));
  }
  if (index < 0) {
    engine.SetZipComment(text);
  } else {
    engine.SetFileComment(index, text);
  }
  if (!engine.IsModified()) return session.Finish("No change to " + subject);
  session.RefuseDamaged();
  engine.CommitModified();
  return session.Finish((text.empty() ? "Removed " : "Changed ") + subject);
}

}  // namespace vz::cli
