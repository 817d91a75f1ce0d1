// The command line of vzip: one command letter (or its long alias), the
// archive, the command's names, and options that may stand anywhere after the
// command. Parsing only checks the form; whether files exist is the
// commands' business.
#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/writer/ZipEngine.h"

namespace vz::cli {

enum class TExitCode : int { Success = 0, Warnings = 1, Fatal = 2, BadCommandLine = 7 };

enum class TCommandKind : u8 {
  List = 0,
  Test = 1,
  Extract = 2,
  Print = 3,
  Add = 4,
  Delete = 5,
  Comment = 6,
  Sfx = 7,
  Repair = 8,
};

// Extraction takes None, Stored and Volume; adding takes None, Full,
// Relative and Volume.
enum class TPathMode : u8 { None = 0, Stored = 1, Volume = 2, Full = 3, Relative = 4 };

enum class TSpanMode : u8 { None = 0, Blocks = 1, Disks = 2 };

struct TOptions {
  TCommandKind Command = TCommandKind::List;
  std::string Archive;
  std::vector<std::string> Names;  // patterns, files or members, as the command takes them
  bool Quiet = false;

  // list
  TZipSortMode Sort = TZipSortMode::ByNone;
  bool Comments = false;

  // extract (and the overwrite answer of sfx and repair)
  std::optional<std::string> Dest;
  std::optional<TPathMode> Paths;  // default per command
  std::optional<std::string> Root;
  TUZOverwriteMode Overwrite = TUZOverwriteMode::Prompt;

  // every command that reads member names: the character set of names
  // without the UTF-8 flag (-O), for reading only
  std::optional<std::string> NameEncoding;

  // every command that writes an archive: fail at once instead of waiting
  // while another program changes it
  bool NoWait = false;

  // every command that reads or writes member data
  std::optional<std::string> Password;
  bool AskPassword = false;

  // add
  TZipEncryption Encryption = TZipEncryption::Traditional;  // with a password
  bool EncryptionGiven = false;
  bool Recurse = false;
  int Level = 6;
  TZipAction Action = TZipAction::zaUpdate;
  bool Move = false;
  TSpanMode Span = TSpanMode::None;
  i64 SpanBytes = 0;
  std::optional<i64> FirstSpanBytes;
  std::optional<std::string> Temp;
  std::optional<std::string> StdinName;  // add standard input as this member
  int Workers = 0;                       // compressing threads; 0: one per core

  // comment
  std::optional<std::string> SetText;
  std::optional<std::string> TextFile;
};

// What the command line asks for.
struct TRequest {
  enum class TKind : u8 { Run = 0, ToolHelp = 1, CommandHelp = 2, Version = 3 };
  TKind Kind = TKind::Run;
  TOptions Options;
};

// A malformed command line; the message names the fault in one line.
class ECommandLine : public std::runtime_error {
 public:
  ECommandLine(const std::string& message, std::optional<TCommandKind> command)
      : std::runtime_error(message), FCommand(command) {}
  // The command whose help the user should read, when one was recognised.
  std::optional<TCommandKind> Command() const { return FCommand; }

 private:
  std::optional<TCommandKind> FCommand;
};

// Throws ECommandLine.
TRequest ParseCommandLine(std::span<const std::string_view> args);

// The command's short letter and long name ("x", "extract").
std::string_view CommandLetter(TCommandKind command);
std::string_view CommandName(TCommandKind command);

// "1440k", "100m", "2g" or plain bytes, at most 2 GiB - 1 (the format's
// block sizes are 32-bit signed). nullopt for anything else.
std::optional<i64> ParseSize(std::string_view text);

}  // namespace vz::cli
