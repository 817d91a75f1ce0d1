#include "app/core/CommaText.h"

#include <charconv>

#include "app/core/AppErrors.h"

namespace vz {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool NeedsQuotes(std::string_view field) {
  if (field.empty()) return true;
  for (const char c : field) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F || c == ',' || c == '"') return true;
  }
  return false;
}

}  // namespace

std::string QuoteCommaField(std::string_view field) {
  if (!NeedsQuotes(field)) return std::string(field);
  std::string out = "\"";
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string JoinCommaText(const std::vector<std::string>& fields) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    out += QuoteCommaField(fields[i]);
  }
  return out;
}

std::vector<std::string> SplitCommaText(std::string_view text) {
  std::vector<std::string> fields;
  std::size_t pos = 0;
  const auto skipBlanks = [&] {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
  };
  skipBlanks();
  if (pos == text.size()) return fields;
  while (true) {
    skipBlanks();
    std::string field;
    if (pos < text.size() && text[pos] == '"') {
      ++pos;
      while (pos < text.size()) {
        if (text[pos] == '"') {
          if (pos + 1 < text.size() && text[pos + 1] == '"') {
            field += '"';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        field += text[pos++];
      }
      // Anything between the closing quote and the next comma belongs to
      // the field too, so no character of a damaged line is lost.
      const auto comma = text.find(',', pos);
      const std::size_t end = comma == std::string_view::npos ? text.size() : comma;
      std::string_view rest = text.substr(pos, end - pos);
      while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
      field += rest;
      pos = end;
    } else {
      const auto comma = text.find(',', pos);
      const std::size_t end = comma == std::string_view::npos ? text.size() : comma;
      std::string_view plain = text.substr(pos, end - pos);
      while (!plain.empty() && IsBlank(plain.back())) plain.remove_suffix(1);
      field = plain;
      pos = end;
    }
    fields.push_back(std::move(field));
    if (pos >= text.size()) break;
    ++pos;  // the comma
  }
  return fields;
}

int StrToInt(std::string_view text) {
  const auto invalid = [&] {
    return EConvertError("'" + std::string(text) + "' is not a valid integer value");
  };
  std::string_view digits = text;
  const bool plus = !digits.empty() && digits.front() == '+';
  if (plus) digits.remove_prefix(1);
  if (digits.empty() || (plus && digits.front() == '-')) throw invalid();
  int value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) throw invalid();
  return value;
}

}  // namespace vz
