#include "app/NameEncoding.h"

#include "engine/format/ZipNames.h"
#include "engine/reader/UnZipEngine.h"
#include "platform/SettingsStore.h"

namespace vz {

const TNameEncodingInfo& InfoOf(TNameEncoding encoding) {
  for (const auto& info : kNameEncodingMenu) {
    if (info.Encoding == encoding) return info;
  }
  return kNameEncodingMenu[0];
}

TNameEncoding NameEncodingFromSetting(std::string_view value) {
  for (const auto& info : kNameEncodingMenu) {
    if (SameTextNoCase(value, info.Setting)) return info.Encoding;
  }
  return TNameEncoding::Auto;
}

TNameEncoding LoadNameEncoding(ISettingsStore& store, const std::string& key) {
  const auto settings = store.OpenKey(key, false);
  if (!settings) return TNameEncoding::Auto;
  return NameEncodingFromSetting(settings->ReadString("NameEncoding").value_or(""));
}

bool SaveNameEncoding(ISettingsStore& store, const std::string& key, TNameEncoding encoding) {
  const auto settings = store.OpenKey(key, true);
  if (!settings) return false;
  settings->Write("NameEncoding", std::string(InfoOf(encoding).Setting));
  return settings->Close();
}

void SetEngineNameEncoding(TUnZipEngine& engine, TNameEncoding encoding) {
  engine.SetNameEncoding(InfoOf(encoding).Setting);
}

}  // namespace vz
