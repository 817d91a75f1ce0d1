#include "app/core/TextCase.h"

namespace vz {

namespace {

template <typename Map>
std::string MapCase(std::string_view text, Map map) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const TUtf8Step step = NextUtf8(text, pos);
    if (step.Valid) {
      AppendUtf8(out, map(step.Char));
    } else {
      out += text[pos];
    }
    pos += step.Length;
  }
  return out;
}

}  // namespace

std::string UpperCase(std::string_view text) {
  return MapCase(text, UpperChar);
}
std::string LowerCase(std::string_view text) {
  return MapCase(text, LowerChar);
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && a == b) return true;
  return LowerCase(a) == LowerCase(b);
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += NextUtf8(text, pos).Length) ++count;
  return count;
}

}  // namespace vz
