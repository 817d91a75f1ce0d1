// The star rule tries the rest of the pattern at every later text position
// where the next pattern character could start a match, so the search is
// backtracking but bounded by pattern length times text length per star.
#include "engine/support/Wildcard.h"

#include <string>

#include "engine/support/AsciiCase.h"

namespace vz {
namespace {

struct TSetResult {
  bool Valid = false;
  bool Matched = false;
  std::size_t End = 0;  // index just after the closing ">"
};

// p[at] is "<".
TSetResult MatchSet(std::string_view p, std::size_t at, char ch) {
  TSetResult r;
  std::size_t j = at + 1;
  bool invert = false;
  if (j < p.size() && (p[j] == '!' || p[j] == '^')) {
    invert = true;
    ++j;
  }
  if (j >= p.size() || p[j] == '>') return r;  // empty set or no closing ">"
  while (true) {
    if (j >= p.size()) return r;
    const char c = p[j];
    if (c == '>') break;
    if (j + 1 < p.size() && p[j + 1] == '-') {
      if (j + 2 >= p.size() || p[j + 2] == '>') return r;
      char lo = c, hi = p[j + 2];
      if (lo > hi) std::swap(lo, hi);
      j += 3;
      if (lo <= ch && ch <= hi) {
        r.Matched = true;
        break;
      }
    } else {
      ++j;
      if (c == ch) {
        r.Matched = true;
        break;
      }
    }
  }
  if (r.Matched) {
    // The rest of the set is passed over up to its ">".
    const auto close = p.find('>', j);
    if (close == std::string_view::npos) return TSetResult{};
    j = close;
  }
  r.Valid = true;
  r.Matched = r.Matched != invert;
  r.End = j + 1;
  return r;
}

bool MatchFrom(std::string_view p, std::size_t pi, std::string_view t, std::size_t ti);

bool StarRule(std::string_view p, std::size_t pi, std::string_view t, std::size_t ti) {
  while (pi < p.size() && (p[pi] == '*' || p[pi] == '?')) {
    if (p[pi] == '?') {
      if (ti >= t.size()) return false;
      ++ti;
    }
    ++pi;
  }
  if (pi == p.size()) return true;
  for (std::size_t k = ti; k < t.size(); ++k) {
    if ((t[k] == p[pi] || p[pi] == '<') && MatchFrom(p, pi, t, k)) return true;
  }
  return false;
}

bool MatchFrom(std::string_view p, std::size_t pi, std::string_view t, std::size_t ti) {
  while (pi < p.size() && ti < t.size()) {
    const char c = p[pi];
    if (c == '*') return StarRule(p, pi, t, ti);
    if (c == '<') {
      const TSetResult set = MatchSet(p, pi, t[ti]);
      if (!set.Valid || !set.Matched) return false;
      pi = set.End;
    } else if (c != '?' && c != t[ti]) {
      return false;
    } else {
      ++pi;
    }
    ++ti;
  }
  if (pi == p.size()) return ti == t.size();
  return p.size() - pi == 1 && p[pi] == '*';
}

}  // namespace

bool HasPatternChars(std::string_view text) {
  return text.find_first_of(kPatternChars) != std::string_view::npos;
}

bool Match(std::string_view pattern, std::string_view text) {
  const std::string p = LowerCaseAscii(pattern);
  const std::string t = LowerCaseAscii(text);
  if (p == "*") return true;
  return MatchFrom(p, 0, t, 0);
}

}  // namespace vz
