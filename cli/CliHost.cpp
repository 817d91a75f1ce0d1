#include "cli/CliHost.h"

namespace vz::cli {

TMsgResult TCliHost::MessageBox(const TMessageBox& box) {
  if (box.Buttons == TMsgButtons::Ok) {
    // Boxes that only inform report a problem with the member in work.
    FReport.Add(TProblem::Other, FReport.CurrentMember, box.Text);
    return TMsgResult::Ok;
  }
  while (true) {
    const auto answer = FConsole.AskLine(box.Text + " [y/n] ");
    if (!answer) {
      FConsole.Error("vzip: " + box.Text + " No (no terminal to ask on)");
      return box.Buttons == TMsgButtons::OkCancel ? TMsgResult::Cancel : TMsgResult::No;
    }
    if (*answer == "y" || *answer == "yes") {
      return box.Buttons == TMsgButtons::OkCancel ? TMsgResult::Ok : TMsgResult::Yes;
    }
    if (*answer == "n" || *answer == "no") {
      return box.Buttons == TMsgButtons::OkCancel ? TMsgResult::Cancel : TMsgResult::No;
    }
  }
}

std::optional<std::string> TCliHost::OpenFileDialog(const std::string& title, const std::string&,
                                                    const std::string&) {
  FConsole.Error("vzip: " + title + " (vzip takes file names on its command line only)");
  return std::nullopt;
}

std::optional<std::string> TCliHost::FolderDialog(const std::string&) {
  FConsole.Error("vzip: the destination must be named on the command line (-d DEST)");
  return std::nullopt;
}

void TCliHost::ProcessMessages() {
  if (FEngine != nullptr && Interrupted()) FEngine->CancelOperation = true;
}

}  // namespace vz::cli
