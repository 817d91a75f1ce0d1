#include "platform/SettingsStore.h"

#include <algorithm>
#include <stdexcept>

namespace vz {
namespace {

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

template <typename T>
std::optional<T> ReadAs(ISettingsKey& key, const std::string& name) {
  auto value = key.Read(name);
  if (!value || !std::holds_alternative<T>(*value)) return std::nullopt;
  return std::get<T>(std::move(*value));
}

}  // namespace

std::optional<u32> ISettingsKey::ReadDword(const std::string& name) {
  return ReadAs<u32>(*this, name);
}
std::optional<std::string> ISettingsKey::ReadString(const std::string& name) {
  return ReadAs<std::string>(*this, name);
}
std::optional<std::vector<u8>> ISettingsKey::ReadBinary(const std::string& name) {
  return ReadAs<std::vector<u8>>(*this, name);
}
std::optional<double> ISettingsKey::ReadFloat(const std::string& name) {
  return ReadAs<double>(*this, name);
}

bool IsValidSettingName(std::string_view name) {
  if (name.empty() || name.front() == ' ' || name.back() == ' ') return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '=' || c == '[' || c == ']';
  });
}

bool SameSettingName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

std::optional<TSettingValue> TBufferedSettingsKey::Read(const std::string& name) {
  for (const auto& [valueName, value] : FValues) {
    if (SameSettingName(valueName, name)) return value;
  }
  return std::nullopt;
}

std::vector<std::string> TBufferedSettingsKey::ValueNames() {
  std::vector<std::string> names;
  names.reserve(FValues.size());
  for (const auto& entry : FValues) names.push_back(entry.first);
  return names;
}

void TBufferedSettingsKey::Write(const std::string& name, const TSettingValue& value) {
  if (!IsValidSettingName(name)) throw std::invalid_argument("invalid setting name: " + name);
  FChanges.push_back({name, value});
  for (auto& entry : FValues) {
    if (SameSettingName(entry.first, name)) {
      entry.second = value;
      return;
    }
  }
  FValues.emplace_back(name, value);
}

void TBufferedSettingsKey::DeleteValue(const std::string& name) {
  const auto it = std::find_if(FValues.begin(), FValues.end(), [&](const auto& entry) {
    return SameSettingName(entry.first, name);
  });
  if (it == FValues.end()) return;
  FValues.erase(it);
  FChanges.push_back({name, std::nullopt});
}

bool TBufferedSettingsKey::Close() {
  if (FClosed) return true;
  FClosed = true;
  if (FChanges.empty() && !FKeyIsNew) return true;
  const bool kept = Commit(FChanges, FKeyIsNew);
  FChanges.clear();
  return kept;
}

void TBufferedSettingsKey::CloseQuietly() noexcept {
  try {
    Close();
  } catch (...) {
    // A destructor has no one to tell; the store keeps what it had.
  }
}

}  // namespace vz
