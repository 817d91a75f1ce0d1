// The desktop's trash in the freedesktop.org Trash layout that file managers read,
// and opening documents through xdg-open.
//
// A file goes to the trash of its own file system, so it is only renamed,
// never copied: the home trash ($XDG_DATA_HOME/Trash) when it lives on the
// same file system as that folder, else the mount point's ".Trash/<uid>"
// (when ".Trash" is a real folder with the sticky bit) or ".Trash-<uid>".
// Each trashed file gets files/<name> and info/<name>.trashinfo; the info
// file is created first with O_EXCL, which reserves the name against other
// programs trashing at the same moment.
#pragma once

#include <string>

#include "platform/Environment.h"
#include "platform/Processes.h"
#include "platform/Shell.h"

namespace vz {

class TPosixShell : public IShell {
 public:
  TPosixShell(IEnvironment& environment, IProcesses& processes)
      : FEnvironment(environment), FProcesses(processes) {}

  bool MoveToTrash(const std::vector<std::string>& paths) override;
  bool OpenDocument(const std::string& path) override;
  int LastError() const override { return FLastError; }

 private:
  bool TrashOne(const std::string& path);

  IEnvironment& FEnvironment;
  IProcesses& FProcesses;
  int FLastError = 0;
};

// The Path= form of the trash info: every byte but unreserved characters and
// "/" percent-encoded.
std::string EncodeTrashPath(const std::string& path);

}  // namespace vz
