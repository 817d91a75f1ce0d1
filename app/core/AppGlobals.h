// The program-wide values every part of the windowed program reads, and the
// context (services plus those values) that the core's objects and helpers
// are built with instead of reaching for globals.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace vz {

inline constexpr char kAppTitle[] = "Varnel Zip";
inline constexpr char kAppKey[] = "Varnel\\Zip";
inline constexpr char kHelpFile[] = "Zip.hlp";
// The paragraph break inside a message box text.
inline constexpr char CRCR[] = "\r\r";

struct TAppGlobals {
  // Folder of the running program file, ending in "/".
  std::string AppDir;
  std::string AppTitle = kAppTitle;
  // The settings key of the program is "Software\" + AppKey.
  std::string AppKey = kAppKey;
  std::string AboutNotice;
  std::string HelpFile = kHelpFile;
};

// AppDir from the environment's program file (the current folder when the
// system cannot say); the title as the program entry sets it.
TAppGlobals InitGlobals(IEnvironment& environment, const std::string& title = kAppTitle);

// "Software\" + appKey, the key of every setting of the program.
std::string SettingsKeyOf(const std::string& appKey);

struct TAppContext {
  const TPlatform& Platform;
  const TAppGlobals& Globals;
};

}  // namespace vz
