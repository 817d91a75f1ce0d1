// The real services of a Linux machine, bundled for main().
#pragma once

#include "platform/Platform.h"
#include "platform/posix/PosixDrives.h"
#include "platform/posix/PosixEnvironment.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixMail.h"
#include "platform/posix/PosixProcesses.h"
#include "platform/posix/PosixSettingsStore.h"
#include "platform/posix/PosixShell.h"

namespace vz {

class TPosixClock : public IClock {
 public:
  TFileTime Now() override { return std::chrono::system_clock::now(); }
};

class TPosixRandom : public IRandom {
 public:
  // getrandom(2); throws EVarnelError when the kernel cannot supply bytes.
  void Fill(std::span<u8> bytes) override;
};

// The settings file is $XDG_CONFIG_HOME/Varnel/Zip.conf, its place fixed when
// the platform is built.
class TPosixPlatform {
 public:
  explicit TPosixPlatform(IHost& host)
      : FSettings(FFiles, FEnvironment.UserConfigFolder() + "Varnel/Zip.conf"),
        FPlatform{FFiles,       FDrives,   FClock,     FRandom, host,
                  FEnvironment, FSettings, FProcesses, FShell,  FMail} {}
  TPosixPlatform(const TPosixPlatform&) = delete;
  TPosixPlatform& operator=(const TPosixPlatform&) = delete;

  const TPlatform& Services() const { return FPlatform; }

 private:
  TPosixFileSystem FFiles;
  TPosixDrives FDrives;
  TPosixClock FClock;
  TPosixRandom FRandom;
  TPosixEnvironment FEnvironment;
  TPosixSettingsStore FSettings;
  TPosixProcesses FProcesses{FEnvironment};
  TPosixShell FShell{FEnvironment, FProcesses};
  TPosixMail FMail{FEnvironment, FProcesses};
  TPlatform FPlatform;
};

}  // namespace vz
