// The running program, the XDG folders and PATH of a Linux session.
#pragma once

#include "platform/Environment.h"

namespace vz {

class TPosixEnvironment : public IEnvironment {
 public:
  // /proc/self/exe.
  std::string ProgramFile() override;
  std::string UserDataFolder() override;
  std::string UserConfigFolder() override;
  // Only absolute entries of PATH are searched: an empty or relative entry
  // would make the current folder decide which program runs.
  std::string FindProgram(const std::string& name) override;
};

// The home folder: $HOME when absolute, else the password database's entry.
std::string HomeFolder();

}  // namespace vz
