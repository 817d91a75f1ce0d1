// The bundle of services handed to the engine and the application core.
// main() builds the real ones (posix/), tests build the fake (fake/).
//
// The services after Host were added for the application core. Each has a
// default, so a bundle built from the first five alone still compiles and
// works: it finds no programs, keeps no settings, starts nothing and has no
// trash and no mail.
#pragma once

#include "platform/Clock.h"
#include "platform/Drives.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "platform/Mail.h"
#include "platform/Processes.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"

namespace vz {

// Stateless stand-ins that refuse every request (ENOSYS) and find nothing.
IEnvironment& UnavailableEnvironment();
ISettingsStore& UnavailableSettings();
IProcesses& UnavailableProcesses();
IShell& UnavailableShell();
IMail& UnavailableMail();

struct TPlatform {
  IFileSystem& Files;
  IDrives& Drives;
  IClock& Clock;
  IRandom& Random;
  IHost& Host;
  IEnvironment& Environment = UnavailableEnvironment();
  ISettingsStore& Settings = UnavailableSettings();
  IProcesses& Processes = UnavailableProcesses();
  IShell& Shell = UnavailableShell();
  IMail& Mail = UnavailableMail();
};

}  // namespace vz
