// The desktop's list of recently used files (the freedesktop.org bookmark
// file $XDG_DATA_HOME/recently-used.xbel), where file managers and file
// dialogs find the archives the window opened.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace vz {

// Adds `path` (an absolute file name) or refreshes its entry: visit times
// and this program's count. The file is rewritten whole through a temporary
// file and a rename, so readers never see half of it. False when it cannot
// be read as a bookmark file or written; it is then left as it was.
bool AddToRecentFiles(const TPlatform& platform, const std::string& path);

}  // namespace vz
