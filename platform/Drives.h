// Drives as the engine knows them. On Linux the "drive" of a path is the
// mount point of the file system that holds it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace vz {

enum class TDriveType : u8 {
  Unknown = 0,
  NoRootDir = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6,
};

class IDrives {
 public:
  virtual ~IDrives() = default;
  // Mount point of the file system holding `path` (which need not exist yet;
  // its nearest existing ancestor decides). Ends in "/".
  virtual std::string DriveOf(const std::string& path) = 0;
  virtual TDriveType DriveType(const std::string& drive) = 0;
  // A drive of the floppy kind (A: and B: on DOS), where spanned disks
  // get "PKBACK# nnn" labels.
  virtual bool IsFloppy(const std::string& drive) = 0;
  // Free bytes for the current user, or -1 when unknown.
  virtual i64 FreeSpace(const std::string& drive) = 0;
  // At most 11 characters; nullopt when the drive has no readable label.
  virtual std::optional<std::string> VolumeLabel(const std::string& drive) = 0;
  // False when the label cannot be written; LastError() says why (ENOTSUP
  // where the system offers no way).
  virtual bool SetVolumeLabel(const std::string& drive, const std::string& label) = 0;
  virtual std::vector<std::string> MountPoints() = 0;
  virtual int LastError() const = 0;
};

}  // namespace vz
