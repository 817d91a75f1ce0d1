#include "tests/support/ScriptedHost.h"

namespace vz::test {

TMsgResult TScriptedHost::MessageBox(const TMessageBox& box) {
  Messages.push_back(box);
  if (MessageAnswers.empty()) return box.DefaultButton;
  const TMsgResult answer = MessageAnswers.front();
  MessageAnswers.pop_front();
  return answer;
}

std::optional<std::string> TScriptedHost::OpenFileDialog(const std::string& title,
                                                         const std::string& filter,
                                                         const std::string& initialFolder) {
  FileDialogs.push_back({title, filter, initialFolder});
  if (OnDialog) OnDialog();
  if (FileDialogAnswers.empty()) return std::nullopt;
  auto answer = FileDialogAnswers.front();
  FileDialogAnswers.pop_front();
  return answer;
}

std::optional<std::string> TScriptedHost::FolderDialog(const std::string& startFolder) {
  FolderDialogs.push_back(startFolder);
  if (OnDialog) OnDialog();
  if (FolderDialogAnswers.empty()) return std::nullopt;
  auto answer = FolderDialogAnswers.front();
  FolderDialogAnswers.pop_front();
  return answer;
}

void TScriptedHost::SetBusy(bool busy) {
  BusyDepth += busy ? 1 : -1;
  if (busy) ++BusyCalls;
}

void TScriptedHost::ProcessMessages() {
  ++ProcessMessagesCalls;
  if (OnProcessMessages) OnProcessMessages();
}

}  // namespace vz::test
