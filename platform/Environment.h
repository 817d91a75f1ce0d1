// Where the running program and the user's own files live, and which
// programs the desktop offers on PATH.
#pragma once

#include <string>

namespace vz {

class IEnvironment {
 public:
  virtual ~IEnvironment() = default;
  // Full path of the running program file; empty when the system cannot say.
  virtual std::string ProgramFile() = 0;
  // The user's data folder ($XDG_DATA_HOME, else ~/.local/share), ending in "/".
  virtual std::string UserDataFolder() = 0;
  // The user's configuration folder ($XDG_CONFIG_HOME, else ~/.config),
  // ending in "/".
  virtual std::string UserConfigFolder() = 0;
  // Full path of the executable `name` found on PATH (a name with a "/" is
  // checked as it is); empty when there is none.
  virtual std::string FindProgram(const std::string& name) = 0;
};

}  // namespace vz
