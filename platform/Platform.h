// The bundle of services handed to the engine and the application core.
// main() builds the real ones (posix/), tests build the fake (fake/).
#pragma once

#include "platform/Clock.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"

namespace vz {

struct TPlatform {
  IFileSystem& Files;
  IDrives& Drives;
  IClock& Clock;
  IRandom& Random;
  IHost& Host;
};

}  // namespace vz
