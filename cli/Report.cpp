#include "cli/Report.h"

#include <numeric>

namespace vz::cli {
namespace {

constexpr std::array<std::string_view, kProblemKinds> kKindNames{
    "bad CRC",      "wrong password", "password missing", "not overwritten",
    "unsafe entry", "no such file",   "no match",         "not written",
    "other",        "unsupported",    "damaged"};
static_assert(kKindNames[static_cast<std::size_t>(TProblem::NotOverwritten)] == "not overwritten");

}  // namespace

void TReport::Add(TProblem kind, std::string_view subject, std::string_view text) {
  ++FCounts[static_cast<std::size_t>(kind)];
  std::string line = "vzip: ";
  if (!subject.empty()) line += TerminalText(subject) + ": ";
  FConsole.Error(line + std::string(text));
}

int TReport::Count() const {
  return std::accumulate(FCounts.begin(), FCounts.end(), 0);
}

std::string TReport::Summary() const {
  const int total = Count();
  if (total == 0) return {};
  std::string text = std::to_string(total) + (total == 1 ? " problem: " : " problems: ");
  bool first = true;
  for (std::size_t i = 0; i < kProblemKinds; ++i) {
    if (FCounts[i] == 0) continue;
    if (!first) text += ", ";
    text += std::to_string(FCounts[i]) + " " + std::string(kKindNames[i]);
    first = false;
  }
  return text;
}

}  // namespace vz::cli
