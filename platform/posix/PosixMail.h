// Mail through xdg-email, which opens the compose window of the user's mail
// program with the message filled in. There is no draft folder to save to and
// no way to name attachments or ask for a read receipt, so those parts of a
// message are not passed on.
#pragma once

#include <string>
#include <vector>

#include "platform/Environment.h"
#include "platform/Mail.h"
#include "platform/Processes.h"

namespace vz {

class TPosixMail : public IMail {
 public:
  TPosixMail(IEnvironment& environment, IProcesses& processes)
      : FEnvironment(environment), FProcesses(processes) {}

  // xdg-email is on PATH.
  bool Available() override;
  // Runs xdg-email and waits for it, as the compose dialog is modal: 0 when
  // it succeeded, LoginFailure (3) when it could not start the mail program.
  int Send(const TMailMessage& message) override;
  // NotSupported (26).
  int Save(const TMailMessage& message, std::string& messageId) override;

 private:
  IEnvironment& FEnvironment;
  IProcesses& FProcesses;
};

// The arguments after "xdg-email": --utf8, the subject and body when set, a
// --cc/--bcc pair per copy recipient, an --attach pair per attachment, then
// the To addresses.
std::vector<std::string> XdgEmailArguments(const TMailMessage& message);

}  // namespace vz
