// user-dirs.dirs is a shell fragment written by xdg-user-dirs-update: one
// XDG_<NAME>_DIR="$HOME/<folder>" or ="/absolute/folder" per line.
#include "app/dialogs/ShellLocations.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vz {
namespace {

constexpr std::array<std::string_view, 7> kUserFolderNames = {
    "XDG_DOCUMENTS_DIR", "XDG_DOWNLOAD_DIR",    "XDG_MUSIC_DIR",     "XDG_PICTURES_DIR",
    "XDG_VIDEOS_DIR",    "XDG_PUBLICSHARE_DIR", "XDG_TEMPLATES_DIR",
};

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The value between double quotes, with backslash escapes undone.
std::string Unquote(std::string_view value) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::string(value);
  std::string out;
  for (std::size_t i = 1; i + 1 < value.size(); ++i) {
    if (value[i] == '\\' && i + 2 < value.size()) ++i;
    out += value[i];
  }
  return out;
}

std::string_view TrimmedLine(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
    line.remove_suffix(1);
  }
  return line;
}

std::string Lookup(const std::map<std::string, std::string>& assignments, std::string_view name) {
  const auto it = assignments.find(std::string(name));
  return it != assignments.end() ? it->second : std::string();
}

}  // namespace

std::map<std::string, std::string> ParseUserDirs(std::string_view text, const std::string& home) {
  std::map<std::string, std::string> result;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = TrimmedLine(text.substr(start, end - start));
    start = end + 1;
    const std::size_t equals = line.find('=');
    if (line.empty() || line.front() == '#' || equals == std::string_view::npos) continue;
    const std::string_view name = line.substr(0, equals);
    if (name.substr(0, 4) != "XDG_" || name.size() < 8 || name.substr(name.size() - 4) != "_DIR") {
      continue;
    }
    std::string value = Unquote(line.substr(equals + 1));
    if (value.rfind("$HOME", 0) == 0) {
      value = home + value.substr(5);
    } else if (value.empty() || value.front() != '/') {
      continue;  // only absolute folders and $HOME-relative ones are allowed
    }
    result[std::string(name)] = WithoutTrailingSlash(value);
  }
  return result;
}

TShellLocations ShellLocationsFrom(IFileSystem& files, const std::string& home,
                                   const std::map<std::string, std::string>& assignments) {
  const auto isFolder = [&files](const std::string& path) {
    if (path.empty()) return false;
    const auto info = files.Stat(path);
    return info && info->IsDirectory;
  };
  const auto folderOr = [&](std::string_view name, const std::string& fallback) {
    const std::string path = Lookup(assignments, name);
    return isFolder(path) ? path : fallback;
  };
  TShellLocations locations;
  locations.Home = WithoutTrailingSlash(home);
  locations.Desktop = folderOr("XDG_DESKTOP_DIR", locations.Home);
  locations.Documents = folderOr("XDG_DOCUMENTS_DIR", locations.Home);
  locations.Templates = folderOr("XDG_TEMPLATES_DIR", locations.Home);
  for (const std::string_view name : kUserFolderNames) {
    const std::string path = Lookup(assignments, name);
    if (!isFolder(path) || path == locations.Home || path == locations.Desktop) continue;
    bool seen = false;
    for (const auto& known : locations.UserFolders) seen = seen || known == path;
    if (!seen) locations.UserFolders.push_back(path);
  }
  return locations;
}

TShellLocations ReadShellLocations(IFileSystem& files) {
  const char* homeVariable = std::getenv("HOME");
  const std::string home = homeVariable != nullptr && *homeVariable != '\0' ? homeVariable : "/";
  const char* configVariable = std::getenv("XDG_CONFIG_HOME");
  const std::string config = configVariable != nullptr && *configVariable == '/'
                                 ? std::string(configVariable)
                                 : WithoutTrailingSlash(home) + "/.config";
  std::ifstream in(config + "/user-dirs.dirs", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  auto assignments = ParseUserDirs(text.str(), WithoutTrailingSlash(home));
  for (const std::string_view name : kUserFolderNames) {
    if (const char* value = std::getenv(std::string(name).c_str()); value && *value == '/') {
      assignments[std::string(name)] = WithoutTrailingSlash(value);
    }
  }
  if (const char* desktop = std::getenv("XDG_DESKTOP_DIR"); desktop && *desktop == '/') {
    assignments["XDG_DESKTOP_DIR"] = WithoutTrailingSlash(desktop);
  }
  return ShellLocationsFrom(files, home, assignments);
}

}  // namespace vz
