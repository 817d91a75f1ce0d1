// Drives of a Linux machine, read from /proc/self/mountinfo, /sys/class/block
// and /dev/disk/by-label.
#pragma once

#include "platform/Drives.h"
#include "platform/FileHelpers.h"  // NormalisePath, which the drive lookup uses

namespace vz {

class TPosixDrives : public IDrives {
 public:
  std::string DriveOf(const std::string& path) override;
  TDriveType DriveType(const std::string& drive) override;
  bool IsFloppy(const std::string& drive) override;
  i64 FreeSpace(const std::string& drive) override;
  std::optional<std::string> VolumeLabel(const std::string& drive) override;
  bool SetVolumeLabel(const std::string& drive, const std::string& label) override;
  std::vector<std::string> MountPoints() override;
  int LastError() const override { return FLastError; }

 private:
  int FLastError = 0;
};

}  // namespace vz
