// The settings store of a Linux desktop: one INI-style text file (normally
// $XDG_CONFIG_HOME/Varnel/Zip.conf) with a section per key and one line per
// value, the value's type written before its data:
//
//   [Software\Varnel\Zip]
//   DefCompressLevel=dword:6
//   FileViewer=sz:"/usr/bin/xdg-open"
//   MainFormPlacement=hex:0d0100009f000000620200...
//   LastCleaned=float:45244
//
// Strings are quoted with C escapes (\\ \" \n \r \t \xHH), so any text
// survives. A key's writes are merged into the file as it is at Close (other
// keys and values stay as another writer left them) and the file is replaced
// atomically. Lines this build cannot read are kept as they are.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"

namespace vz {

class TPosixSettingsStore : public ISettingsStore {
 public:
  TPosixSettingsStore(IFileSystem& files, std::string filePath)
      : FFiles(files), FFilePath(std::move(filePath)) {}

  const std::string& FilePath() const { return FFilePath; }
  std::unique_ptr<ISettingsKey> OpenKey(const std::string& key, bool create) override;

 private:
  IFileSystem& FFiles;
  std::string FFilePath;
};

// "<type>:<data>" as the file holds it, and back (nullopt when malformed).
std::string EncodeSettingText(const TSettingValue& value);
std::optional<TSettingValue> DecodeSettingText(std::string_view text);

}  // namespace vz
