#include "platform/posix/PosixSettingsStore.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "platform/FileHelpers.h"

namespace vz {
namespace {

// ---------------------------------------------------------------- values

constexpr char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string QuoteString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          out += "\\x";
          out += kHexDigits[byte >> 4];
          out += kHexDigits[byte & 15];
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::optional<std::string> UnquoteString(std::string_view text) {
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') return std::nullopt;
  text = text.substr(1, text.size() - 2);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') return std::nullopt;
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case '"':
        out += '"';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'x': {
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::optional<u32> DecodeDword(std::string_view data) {
  u32 value = 0;
  const auto [end, ec] = std::from_chars(data.data(), data.data() + data.size(), value);
  if (data.empty() || ec != std::errc() || end != data.data() + data.size()) return std::nullopt;
  return value;
}

std::optional<std::vector<u8>> DecodeBinary(std::string_view data) {
  if (data.size() % 2 != 0) return std::nullopt;
  std::vector<u8> bytes;
  bytes.reserve(data.size() / 2);
  for (std::size_t i = 0; i < data.size(); i += 2) {
    const int high = HexValue(data[i]);
    const int low = HexValue(data[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<u8>(high * 16 + low));
  }
  return bytes;
}

std::optional<double> DecodeFloat(std::string_view data) {
  double value = 0;
  const auto [end, ec] = std::from_chars(data.data(), data.data() + data.size(), value);
  if (data.empty() || ec != std::errc() || end != data.data() + data.size() ||
      !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

// The value built in place: a variant moved into an optional trips GCC 12's
// maybe-uninitialized warning under the sanitizers.
template <typename T>
std::optional<TSettingValue> AsSetting(std::optional<T> value) {
  std::optional<TSettingValue> result;
  if (value) result.emplace(std::in_place_type<T>, std::move(*value));
  return result;
}

// ---------------------------------------------------------------- the file

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

struct TIniLine {
  std::string Name;  // empty: a line kept as it was (comment, unreadable)
  std::string Text;  // the value's text, or the whole kept line
};

struct TIniSection {
  std::string Name;
  std::vector<TIniLine> Lines;

  TIniLine* Find(std::string_view name) {
    for (auto& line : Lines) {
      if (!line.Name.empty() && SameSettingName(line.Name, name)) return &line;
    }
    return nullptr;
  }
};

struct TIniDocument {
  std::vector<std::string> Preamble;  // lines before the first section
  std::vector<TIniSection> Sections;

  TIniSection* Find(std::string_view name) {
    for (auto& section : Sections) {
      if (SameSettingName(section.Name, name)) return &section;
    }
    return nullptr;
  }
};

// Later duplicates of a value replace the earlier one, as a reader that goes
// top to bottom would see it.
TIniDocument ParseIni(std::string_view text) {
  TIniDocument doc;
  TIniSection* section = nullptr;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view raw = text.substr(start, end - start);
    start = end + 1;
    const std::string_view line = Trim(raw);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      const std::string name(Trim(line.substr(1, line.size() - 2)));
      section = doc.Find(name);
      if (section == nullptr) section = &doc.Sections.emplace_back(TIniSection{name, {}});
      continue;
    }
    const bool comment = !line.empty() && (line.front() == ';' || line.front() == '#');
    const auto equals = comment ? std::string_view::npos : line.find('=');
    const std::string name(equals == std::string_view::npos ? "" : Trim(line.substr(0, equals)));
    if (section == nullptr) {
      if (!line.empty()) doc.Preamble.emplace_back(raw);
    } else if (name.empty() || !IsValidSettingName(name)) {
      if (!line.empty()) section->Lines.push_back({"", std::string(raw)});
    } else if (TIniLine* existing = section->Find(name)) {
      existing->Text = Trim(line.substr(equals + 1));
    } else {
      section->Lines.push_back({name, std::string(Trim(line.substr(equals + 1)))});
    }
  }
  return doc;
}

std::string FormatIni(const TIniDocument& doc) {
  std::string out;
  for (const auto& line : doc.Preamble) out += line + "\n";
  for (const auto& section : doc.Sections) {
    if (!out.empty()) out += "\n";
    out += "[" + section.Name + "]\n";
    for (const auto& line : section.Lines) {
      out += line.Name.empty() ? line.Text : line.Name + "=" + line.Text;
      out += "\n";
    }
  }
  return out;
}

// The file's text; empty when there is no file yet. False when a file is
// there but cannot be read (then nothing may be written over it either).
bool ReadIniText(IFileSystem& files, const std::string& path, std::string& text) {
  int error = 0;
  text.clear();
  return ReadWholeFile(files, path, text, error) || error == ENOENT;
}

}  // namespace

std::string EncodeSettingText(const TSettingValue& value) {
  struct TEncoder {
    std::string operator()(u32 v) const { return "dword:" + std::to_string(v); }
    std::string operator()(const std::string& v) const { return "sz:" + QuoteString(v); }
    std::string operator()(const std::vector<u8>& v) const {
      std::string out = "hex:";
      for (const u8 b : v) {
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 15];
      }
      return out;
    }
    std::string operator()(double v) const {
      char buffer[64];
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
      return "float:" + std::string(buffer, result.ptr);
    }
  };
  return std::visit(TEncoder{}, value);
}

std::optional<TSettingValue> DecodeSettingText(std::string_view text) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view type = text.substr(0, colon);
  const std::string_view data = text.substr(colon + 1);
  if (type == "dword") return AsSetting(DecodeDword(data));
  if (type == "hex") return AsSetting(DecodeBinary(data));
  if (type == "float") return AsSetting(DecodeFloat(data));
  if (type == "sz") return AsSetting(UnquoteString(data));
  return std::nullopt;
}

// ---------------------------------------------------------------- keys

namespace {

class TIniKey : public TBufferedSettingsKey {
 public:
  TIniKey(IFileSystem& files, const std::string& path, std::string name, TValues values,
          bool keyIsNew)
      : TBufferedSettingsKey(std::move(values), keyIsNew),
        FFiles(files),
        FPath(path),
        FName(std::move(name)) {}
  ~TIniKey() override { CloseQuietly(); }

 protected:
  bool Commit(const std::vector<TChange>& changes, bool) override {
    std::string text;
    if (!ReadIniText(FFiles, FPath, text)) return false;
    TIniDocument doc = ParseIni(text);
    TIniSection* section = doc.Find(FName);
    if (section == nullptr) section = &doc.Sections.emplace_back(TIniSection{FName, {}});
    for (const auto& change : changes) {
      auto& lines = section->Lines;
      if (!change.Value) {
        std::erase_if(lines, [&](const TIniLine& line) {
          return !line.Name.empty() && SameSettingName(line.Name, change.Name);
        });
      } else if (TIniLine* line = section->Find(change.Name)) {
        line->Text = EncodeSettingText(*change.Value);
      } else {
        lines.push_back({change.Name, EncodeSettingText(*change.Value)});
      }
    }
    int error = 0;
    return ForceFolders(FFiles, FolderOf(FPath)) &&
           WriteFileAtomically(FFiles, FPath, FormatIni(doc), error);
  }

 private:
  IFileSystem& FFiles;
  std::string FPath;
  std::string FName;
};

}  // namespace

std::unique_ptr<ISettingsKey> TPosixSettingsStore::OpenKey(const std::string& key, bool create) {
  if (!IsValidSettingName(key)) throw std::invalid_argument("invalid settings key: " + key);
  std::string text;
  if (!ReadIniText(FFiles, FFilePath, text)) return nullptr;
  TIniDocument doc = ParseIni(text);
  TIniSection* section = doc.Find(key);
  if (section == nullptr && !create) return nullptr;
  if (create && !ForceFolders(FFiles, FolderOf(FFilePath))) return nullptr;
  TBufferedSettingsKey::TValues values;
  if (section != nullptr) {
    for (const auto& line : section->Lines) {
      if (!line.Name.empty()) values.emplace_back(line.Name, DecodeSettingText(line.Text));
    }
  }
  return std::make_unique<TIniKey>(FFiles, FFilePath, section != nullptr ? section->Name : key,
                                   std::move(values), section == nullptr);
}

}  // namespace vz
