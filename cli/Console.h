// The terminal side of vzip. Standard output carries only what the command
// produces (listings, printed members, the per-member lines and summaries);
// problems, questions and the progress bar go to standard error. Questions
// are asked only when standard input and standard error are both a
// terminal; callers must have a non-interactive answer for every question.
//
// The progress bar is one line on standard error, redrawn in place. Every
// other line written while it shows first erases it, so the bar never mixes
// with text on a shared terminal.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Types.h"

namespace vz::cli {

// SIGINT, SIGTERM and SIGHUP set a flag that the engine's message pump turns
// into a cancel, so a stopped operation still removes its temporary files;
// a second signal ends the program at once. A signal that was ignored when
// the program started (nohup) is left ignored.
//
// The progress bar is drawn at most ten times a second.
void InstallInterruptHandlers();
bool Interrupted();

class TProgressLine {
 public:
  using TClock = std::chrono::steady_clock;

  // `enabled`: standard error is a terminal and -q was not given.
  explicit TProgressLine(bool enabled) : FEnabled(enabled) {}

  void Start(i64 totalBytes);
  // A member of `sizeBytes` begins; `name` as the user knows it.
  void Member(const std::string& name, i64 sizeBytes);
  void MemberPercent(int percent);
  void TotalPercent(int percent);
  void MemberDone();
  // Erases the bar (it comes back with the next figure).
  void Erase();
  bool Showing() const { return FShowing; }

 private:
  void Draw(bool force);

  bool FEnabled;
  bool FShowing = false;
  i64 FTotalBytes = 0;
  i64 FDoneBefore = 0;  // bytes of the members finished
  i64 FMemberBytes = 0;
  int FMemberPercent = 0;
  int FTotalPercent = 0;
  std::string FName;  // as stored, not yet made fit for the terminal
  TClock::time_point FStart{};
  TClock::time_point FLastDraw{};
};

class TConsole {
 public:
  explicit TConsole(bool quiet);

  bool Quiet() const { return FQuiet; }
  // Standard input and standard error are a terminal: questions may be asked.
  bool Interactive() const { return FInteractive; }

  // Command output on standard output (listings, comments); never silenced.
  void Out(std::string_view text);
  // A line on standard output that -q silences (per-member lines, summaries).
  void Info(std::string_view line);
  // A line on standard error.
  void Error(std::string_view line);

  // Asks on standard error and reads one line from standard input. nullopt
  // without a terminal, at the end of input, or when interrupted.
  std::optional<std::string> AskLine(std::string_view question);
  // The same without echo.
  std::optional<std::string> AskSecret(std::string_view question);

  TProgressLine& Progress() { return FProgress; }

 private:
  std::optional<std::string> ReadLine();

  bool FQuiet;
  bool FInteractive;
  TProgressLine FProgress;
};

// Writes all of `text` to the descriptor; false on an error (errno kept).
bool WriteAll(int fd, std::string_view text);

// A member or file name as a terminal may show it: control characters
// escaped (\n, \t, \r, \x1B; C1 controls as \u009B), so that no name can
// move the cursor, change colours or fake a line; bytes that are no part of
// valid UTF-8 shown as U+FFFD.
std::string TerminalText(std::string_view text);

}  // namespace vz::cli
