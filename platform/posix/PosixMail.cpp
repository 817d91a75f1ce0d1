#include "platform/posix/PosixMail.h"

namespace vz {

std::vector<std::string> XdgEmailArguments(const TMailMessage& message) {
  std::vector<std::string> arguments{"--utf8"};
  if (!message.Subject.empty()) arguments.insert(arguments.end(), {"--subject", message.Subject});
  if (!message.Text.empty()) arguments.insert(arguments.end(), {"--body", message.Text});
  for (const auto& recipient : message.Recipients) {
    if (recipient.Class == TRecipientClass::Cc) {
      arguments.insert(arguments.end(), {"--cc", recipient.Address});
    } else if (recipient.Class == TRecipientClass::Bcc) {
      arguments.insert(arguments.end(), {"--bcc", recipient.Address});
    }
  }
  for (const auto& attachment : message.Attachments) {
    arguments.insert(arguments.end(), {"--attach", attachment.Path});
  }
  for (const auto& recipient : message.Recipients) {
    if (recipient.Class == TRecipientClass::To) arguments.push_back(recipient.Address);
  }
  return arguments;
}

bool TPosixMail::Available() {
  return !FEnvironment.FindProgram("xdg-email").empty();
}

int TPosixMail::Send(const TMailMessage& message) {
  const std::string program = FEnvironment.FindProgram("xdg-email");
  int exitCode = -1;
  if (program.empty() ||
      !FProcesses.RunAndWait({program, XdgEmailArguments(message), "", TShowState::Normal},
                             exitCode)) {
    return mapi::LoginFailure;
  }
  return exitCode == 0 ? mapi::Success : mapi::LoginFailure;
}

int TPosixMail::Save(const TMailMessage&, std::string&) {
  return mapi::NotSupported;
}

}  // namespace vz
