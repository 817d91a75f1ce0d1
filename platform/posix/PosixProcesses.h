// Programs started with fork and exec. A failed exec is reported back to the
// parent through a close-on-exec pipe, so "could not be started" is known
// before Start returns.
//
// Children from Start are not reaped until IsRunning or Terminate asks about
// them: until then the system cannot give their process id to anyone else, so
// a late SIGTERM can only ever reach our own child. An ended child waits as a
// zombie until then, which costs one process-table entry.
#pragma once

#include "platform/Environment.h"
#include "platform/Processes.h"

namespace vz {

class TPosixProcesses : public IProcesses {
 public:
  explicit TPosixProcesses(IEnvironment& environment) : FEnvironment(environment) {}

  int Start(const TCommand& command) override;
  bool RunAndWait(const TCommand& command, int& exitCode) override;
  bool IsRunning(int processId) override;
  bool Terminate(int processId) override;
  int LastError() const override { return FLastError; }

 private:
  // The child's process id, or -1 with FLastError set.
  int Spawn(const TCommand& command);

  IEnvironment& FEnvironment;
  int FLastError = 0;
};

}  // namespace vz
