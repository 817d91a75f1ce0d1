// Other programs: the file viewer (started, not waited for), the virus
// scanner and the mail hand-off (waited for). Programs are run directly,
// never through a shell, so no argument is ever interpreted.
#pragma once

#include <string>
#include <vector>

#include "platform/Types.h"

namespace vz {

// How the program's window should first appear. Linux has no portable way to
// ask a program for this, so the real service records nothing of it; the fake
// keeps it so callers can be checked.
enum class TShowState : u8 { Normal = 0, Minimized = 1 };

struct TCommand {
  // A full path, or a bare name looked up on PATH.
  std::string Program{};
  // The arguments after the program's own name.
  std::vector<std::string> Arguments{};
  // Empty: the caller's current folder.
  std::string WorkingFolder{};
  TShowState Show = TShowState::Normal;
};

class IProcesses {
 public:
  virtual ~IProcesses() = default;
  // Starts the program and returns at once with its process id; 0 when it
  // could not be started (LastError() says why: a missing program, a working
  // folder that cannot be entered, no permission).
  virtual int Start(const TCommand& command) = 0;
  // Starts the program and waits for its end. False when it could not be
  // started; otherwise `exitCode` is its exit status, or 128 + the signal
  // that ended it.
  virtual bool RunAndWait(const TCommand& command, int& exitCode) = 0;
  // Whether a process that Start gave has not ended yet. Processes that are
  // not this program's own children are never reported as running, so a
  // process id the system has since given to another program is never
  // mistaken for ours.
  virtual bool IsRunning(int processId) = 0;
  // Asks a running child from Start to end (SIGTERM). False when it has
  // already ended or is not ours.
  virtual bool Terminate(int processId) = 0;
  virtual int LastError() const = 0;
};

}  // namespace vz
