#include "app/core/AppGlobals.h"

#include "platform/FileHelpers.h"

namespace vz {

TAppGlobals InitGlobals(IEnvironment& environment, const std::string& title) {
  TAppGlobals globals;
  const std::string program = environment.ProgramFile();
  globals.AppDir = program.empty() ? "./" : FolderOf(program);
  globals.AppTitle = title;
  globals.AboutNotice = "Varnel Zip reads and writes ZIP archives with its own compression code.";
  return globals;
}

std::string SettingsKeyOf(const std::string& appKey) {
  return "Software\\" + appKey;
}

}  // namespace vz
