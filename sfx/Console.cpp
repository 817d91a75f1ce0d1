// Output goes straight to the descriptors in one write per call, so messages
// and scripted prompts never interleave out of order; input is read a byte
// at a time so that nothing past the current line is taken from a pipe.
#include "sfx/Console.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace sfx {
namespace {

void WriteAll(int fd, std::initializer_list<std::string_view> parts) {
  for (const std::string_view part : parts) {
    const char* data = part.data();
    std::size_t left = part.size();
    while (left > 0) {
      const ssize_t n = ::write(fd, data, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      data += n;
      left -= static_cast<std::size_t>(n);
    }
  }
}

// Turns echo off on a terminal for its lifetime.
class TEchoOff {
 public:
  explicit TEchoOff(bool active) {
    if (!active || ::tcgetattr(STDIN_FILENO, &FSaved) != 0) return;
    termios quiet = FSaved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    FActive = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
  }
  ~TEchoOff() {
    if (!FActive) return;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &FSaved);
    WriteAll(STDOUT_FILENO, {"\n"});
  }
  TEchoOff(const TEchoOff&) = delete;
  TEchoOff& operator=(const TEchoOff&) = delete;

 private:
  termios FSaved{};
  bool FActive = false;
};

}  // namespace

TConsole::TConsole() : FInteractive(::isatty(STDIN_FILENO) == 1) {}

void TConsole::Out(std::initializer_list<std::string_view> parts) const {
  WriteAll(STDOUT_FILENO, parts);
}

void TConsole::Err(std::initializer_list<std::string_view> parts) const {
  WriteAll(STDERR_FILENO, parts);
}

TLineResult TConsole::ReadLine(char* buffer, std::size_t capacity, std::size_t& length,
                               bool secret) const {
  const TEchoOff echoOff(secret && FInteractive);
  length = 0;
  bool overlong = false;
  bool any = false;
  for (;;) {
    char c = 0;
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (!any) return TLineResult::EndOfInput;
      break;
    }
    any = true;
    if (c == '\n') break;
    if (length + 1 < capacity) {
      buffer[length++] = c;
    } else {
      overlong = true;
    }
  }
  if (length > 0 && buffer[length - 1] == '\r' && !overlong) --length;
  buffer[length] = '\0';
  return overlong ? TLineResult::Overlong : TLineResult::Line;
}

std::string_view FormatDecimal(u64 value, char (&buffer)[21]) {
  std::size_t pos = sizeof buffer;
  do {
    buffer[--pos] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return {buffer + pos, sizeof buffer - pos};
}

}  // namespace sfx
