// A host whose answers a test scripts in advance and which records every
// message box and dialog the engine asked for.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Host.h"

namespace vz::test {

class TScriptedHost : public IHost {
 public:
  // Answers for the next message boxes, in order; the box's default button
  // answers when the queue is empty.
  std::deque<TMsgResult> MessageAnswers;
  std::deque<std::optional<std::string>> FileDialogAnswers;
  std::deque<std::optional<std::string>> FolderDialogAnswers;

  std::vector<TMessageBox> Messages;
  struct TFileDialog {
    std::string Title, Filter, InitialFolder;
  };
  std::vector<TFileDialog> FileDialogs;
  std::vector<std::string> FolderDialogs;
  int BusyDepth = 0;
  int BusyCalls = 0;
  int ProcessMessagesCalls = 0;
  // Runs on every ProcessMessages call (to cancel mid-operation, say).
  std::function<void()> OnProcessMessages;
  // Runs while each file or folder dialog is open, before it answers.
  std::function<void()> OnDialog;

  TMsgResult MessageBox(const TMessageBox& box) override;
  std::optional<std::string> OpenFileDialog(const std::string& title, const std::string& filter,
                                            const std::string& initialFolder) override;
  std::optional<std::string> FolderDialog(const std::string& startFolder) override;
  void SetBusy(bool busy) override;
  void ProcessMessages() override;
};

}  // namespace vz::test
