// Where the special folders of the shell are on a Linux desktop: the home
// folder and the XDG user folders (desktop, documents, downloads, ...), as
// the user's user-dirs.dirs file and the environment name them.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

namespace vz {

struct TShellLocations {
  std::string Home;
  std::string Desktop;    // the desktop folder, else Home
  std::string Documents;  // the documents folder, else Home
  std::string Templates;  // the templates folder, else Home
  // The user folders shown below the desktop besides Home, in XDG order
  // (documents, downloads, music, pictures, videos, public, templates),
  // each one that exists and is neither Home nor the desktop.
  std::vector<std::string> UserFolders;
};

// The "XDG_<NAME>_DIR" assignments of a user-dirs.dirs text, by name, with
// "$HOME" replaced by `home` and the shell quoting removed.
std::map<std::string, std::string> ParseUserDirs(std::string_view text, const std::string& home);

// Home and the user folders from `home`, the assignments of a user-dirs.dirs
// text and the variables the environment gives (which win). A folder that
// is not a folder on disk is left out; the desktop, documents and templates
// then fall back to Home.
TShellLocations ShellLocationsFrom(IFileSystem& files, const std::string& home,
                                   const std::map<std::string, std::string>& assignments);

// The running user's: $HOME, $XDG_CONFIG_HOME/user-dirs.dirs (else
// ~/.config/user-dirs.dirs) and XDG_*_DIR variables in the environment.
TShellLocations ReadShellLocations(IFileSystem& files);

}  // namespace vz
