// The problems of one run: each is printed at once on standard error with
// the member's or file's name, and counted by kind for the summary and the
// exit status.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "cli/Console.h"

namespace vz::cli {

enum class TProblem : u8 {
  BadCrc = 0,
  WrongPassword = 1,
  NoPassword = 2,
  NotOverwritten = 3,
  UnsafeEntry = 4,
  NoSuchFile = 5,
  NoMatch = 6,
  NotWritten = 7,
  Other = 8,
  Unsupported = 9,  // a method or encryption vzip cannot decode
  Damaged = 10,     // the member's records disagree, or its data has another size
};
inline constexpr std::size_t kProblemKinds = 11;

class TReport {
 public:
  explicit TReport(TConsole& console) : FConsole(console) {}

  // Prints "vzip: <subject>: <text>" and counts it; the subject (a name)
  // as a terminal may show it.
  void Add(TProblem kind, std::string_view subject, std::string_view text);
  int Count() const;
  int Count(TProblem kind) const { return FCounts[static_cast<std::size_t>(kind)]; }
  // "3 problems: 1 bad CRC, 2 not overwritten"; empty without problems.
  std::string Summary() const;

  // The member being worked on, for messages that arrive without a name.
  std::string CurrentMember;

 private:
  TConsole& FConsole;
  std::array<int, kProblemKinds> FCounts{};
};

}  // namespace vz::cli
