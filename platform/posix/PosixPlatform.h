// The real services of a Linux machine, bundled for main().
#pragma once

#include "platform/Platform.h"
#include "platform/posix/PosixDrives.h"
#include "platform/posix/PosixFileSystem.h"

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

class TPosixPlatform {
 public:
  explicit TPosixPlatform(IHost& host)
      : FPlatform{FFiles, FDrives, FClock, FRandom, host} {}
  TPosixPlatform(const TPosixPlatform&) = delete;
  TPosixPlatform& operator=(const TPosixPlatform&) = delete;

  const TPlatform& Services() const { return FPlatform; }

 private:
  TPosixFileSystem FFiles;
  TPosixDrives FDrives;
  TPosixClock FClock;
  TPosixRandom FRandom;
  TPlatform FPlatform;
};

}  // namespace vz
