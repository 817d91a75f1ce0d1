#include "cli/Console.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include "platform/CodePage.h"
#include "platform/Figures.h"

namespace vz::cli {
namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int signal) {
  gInterrupted = 1;
  std::signal(signal, SIG_DFL);
}

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarCells = 20;

int TerminalColumns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// Restores the terminal's echo when the secret has been read, also when the
// read is interrupted.
class TEchoOff {
 public:
  TEchoOff() {
    FActive = ::tcgetattr(STDIN_FILENO, &FSaved) == 0;
    if (!FActive) return;
    termios quiet = FSaved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    // TCSANOW keeps what was typed ahead; TCSAFLUSH would throw it away.
    FActive = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
  }
  ~TEchoOff() {
    if (FActive) ::tcsetattr(STDIN_FILENO, TCSANOW, &FSaved);
  }
  TEchoOff(const TEchoOff&) = delete;
  TEchoOff& operator=(const TEchoOff&) = delete;

 private:
  termios FSaved{};
  bool FActive = false;
};

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a prompt waiting for input returns at once.
  action.sa_flags = 0;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal ignored from the start (nohup, a shell's background job)
    // stays ignored: the caller asked that it not stop the program.
    struct sigaction present {};
    if (::sigaction(signal, nullptr, &present) == 0 && present.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

bool Interrupted() {
  return gInterrupted != 0;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const TUtf8Step step = NextUtf8(text, pos);
    const char32_t c = step.Char;
    if (!step.Valid) {
      AppendUtf8(out, 0xFFFD);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
      char escaped[16];
      std::snprintf(escaped, sizeof escaped, c < 0x80 ? "\\x%02X" : "\\u%04X",
                    static_cast<unsigned>(c));
      out += escaped;
    } else {
      out.append(text.substr(pos, step.Length));
    }
    pos += step.Length;
  }
  return out;
}

// ---------------------------------------------------------------- progress

void TProgressLine::Start(i64 totalBytes) {
  FTotalBytes = totalBytes;
  FDoneBefore = 0;
  FMemberBytes = 0;
  FMemberPercent = 0;
  FTotalPercent = 0;
  FName.clear();
  FStart = TClock::now();
  FLastDraw = {};
}

void TProgressLine::Member(const std::string& name, i64 sizeBytes) {
  // The name is made fit for the terminal only when a bar shows it, not for
  // each of many members that pass between two redraws.
  if (FEnabled) FName = name;
  FMemberBytes = sizeBytes;
  FMemberPercent = 0;
  Draw(false);
}

void TProgressLine::MemberPercent(int percent) {
  FMemberPercent = percent;
  Draw(false);
}

void TProgressLine::TotalPercent(int percent) {
  FTotalPercent = percent;
  Draw(false);
}

void TProgressLine::MemberDone() {
  FDoneBefore += FMemberBytes;
  FMemberBytes = 0;
  FMemberPercent = 0;
}

void TProgressLine::Erase() {
  if (!FShowing) return;
  WriteAll(STDERR_FILENO, "\r\033[K");
  FShowing = false;
}

void TProgressLine::Draw(bool force) {
  if (!FEnabled) return;
  const auto now = TClock::now();
  // Also after the bar was erased for a line of text: with a line per
  // member, drawing it back each time would flood the terminal.
  if (!force && now - FLastDraw < kRedrawInterval) return;
  FLastDraw = now;
  const i64 done = FDoneBefore + FMemberBytes * FMemberPercent / 100;
  const double seconds = std::chrono::duration<double>(now - FStart).count();
  const int filled = std::clamp(FTotalPercent * kBarCells / 100, 0, kBarCells);
  std::string line = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                     std::string(static_cast<std::size_t>(kBarCells - filled), '-') + "] ";
  std::string percent = std::to_string(FTotalPercent) + "%";
  line += std::string(4 - std::min<std::size_t>(4, percent.size()), ' ') + percent;
  if (seconds > 0.05 && done > 0) {
    line += "  " + FormatSize(static_cast<i64>(static_cast<double>(done) / seconds)) + "/s";
  }
  const std::size_t columns = static_cast<std::size_t>(TerminalColumns());
  if (!FName.empty() && line.size() + 3 < columns) {
    std::string name = TerminalText(FName);
    const std::size_t room = columns - line.size() - 3;
    // Keep the end of a long name: the file name matters more than its
    // folders. The cut starts at a character.
    if (name.size() > room) {
      std::size_t cut = name.size() - room + 3;
      while (cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) ++cut;
      name = "..." + name.substr(cut);
    }
    line += "  " + name;
  }
  line += "\033[K";
  WriteAll(STDERR_FILENO, line);
  FShowing = true;
}

// ---------------------------------------------------------------- console

TConsole::TConsole(bool quiet)
    : FQuiet(quiet),
      FInteractive(::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1),
      FProgress(!quiet && ::isatty(STDERR_FILENO) == 1) {}

void TConsole::Out(std::string_view text) {
  FProgress.Erase();
  WriteAll(STDOUT_FILENO, text);
}

void TConsole::Info(std::string_view line) {
  if (FQuiet) return;
  FProgress.Erase();
  WriteAll(STDOUT_FILENO, std::string(line) + "\n");
}

void TConsole::Error(std::string_view line) {
  FProgress.Erase();
  WriteAll(STDERR_FILENO, std::string(line) + "\n");
}

std::optional<std::string> TConsole::ReadLine() {
  std::string line;
  while (true) {
    char c = 0;
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR && !Interrupted()) continue;
    if (n <= 0) return std::nullopt;
    if (c == '\n') return line;
    line.push_back(c);
  }
}

std::optional<std::string> TConsole::AskLine(std::string_view question) {
  if (!FInteractive || Interrupted()) return std::nullopt;
  FProgress.Erase();
  WriteAll(STDERR_FILENO, question);
  auto answer = ReadLine();
  if (!answer) WriteAll(STDERR_FILENO, "\n");
  return answer;
}

std::optional<std::string> TConsole::AskSecret(std::string_view question) {
  if (!FInteractive || Interrupted()) return std::nullopt;
  FProgress.Erase();
  WriteAll(STDERR_FILENO, question);
  std::optional<std::string> answer;
  {
    TEchoOff echoOff;
    answer = ReadLine();
  }
  WriteAll(STDERR_FILENO, "\n");
  return answer;
}

}  // namespace vz::cli
