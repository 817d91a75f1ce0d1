// View > Name encoding: the code page in which the names of members without
// the UTF-8 flag are read. Auto follows the engine's own rule.
#pragma once

#include <QString>
#include <array>
#include <string>
#include <string_view>

#include "platform/Types.h"

namespace vz {

class ISettingsStore;
class TUnZipEngine;

enum class TNameEncoding : u8 {
  Auto,
  Utf8,
  CP437,
  CP850,
  CP866,
  CP1251,
  CP1252,
  GBK,
  ShiftJIS,
  Big5,
  EucKR,
};

struct TNameEncodingInfo {
  TNameEncoding Encoding;
  const char* Caption;     // the menu item's text
  const char* Setting;     // the settings value, and the reading engine's name for it
  const char* ObjectName;  // the menu item's name
};

inline constexpr std::array<TNameEncodingInfo, 11> kNameEncodingMenu{{
    {TNameEncoding::Auto, "&Auto", "Auto", "mnuEncodingAuto"},
    {TNameEncoding::Utf8, "&UTF-8", "UTF-8", "mnuEncodingUTF8"},
    {TNameEncoding::CP437, "CP&437 (DOS)", "CP437", "mnuEncodingCP437"},
    {TNameEncoding::CP850, "CP&850 (DOS Western)", "CP850", "mnuEncodingCP850"},
    {TNameEncoding::CP866, "CP8&66 (DOS Cyrillic)", "CP866", "mnuEncodingCP866"},
    {TNameEncoding::CP1251, "CP125&1 (Windows Cyrillic)", "CP1251", "mnuEncodingCP1251"},
    {TNameEncoding::CP1252, "CP125&2 (Windows Western)", "CP1252", "mnuEncodingCP1252"},
    {TNameEncoding::GBK, "&GBK (Chinese, simplified)", "GBK", "mnuEncodingGBK"},
    {TNameEncoding::ShiftJIS, "&Shift_JIS (Japanese)", "Shift_JIS", "mnuEncodingShiftJIS"},
    {TNameEncoding::Big5, "&Big5 (Chinese, traditional)", "Big5", "mnuEncodingBig5"},
    {TNameEncoding::EucKR, "&EUC-KR (Korean)", "EUC-KR", "mnuEncodingEUCKR"},
}};

const TNameEncodingInfo& InfoOf(TNameEncoding encoding);
// Auto for a missing or unknown value.
TNameEncoding NameEncodingFromSetting(std::string_view value);

// The value "NameEncoding" under the program's key, beside the settings of
// TAppInfo.
TNameEncoding LoadNameEncoding(ISettingsStore& store, const std::string& key);
bool SaveNameEncoding(ISettingsStore& store, const std::string& key, TNameEncoding encoding);

// Gives the reading engine the code page for its next read of the directory.
void SetEngineNameEncoding(TUnZipEngine& engine, TNameEncoding encoding);

}  // namespace vz
