// The host that vzip gives the engine. Message boxes become lines on
// standard error, and questions are answered on the terminal, or without one
// by "No" (the answer that changes nothing). The engine's file and folder
// dialogs are refused: vzip always names the files itself. The message pump
// turns an interrupt into the engine's cancel.
#pragma once

#include "cli/Report.h"
#include "engine/reader/UnZipEngine.h"
#include "platform/Host.h"

namespace vz::cli {

class TCliHost : public IHost {
 public:
  TCliHost(TConsole& console, TReport& report) : FConsole(console), FReport(report) {}

  // The engine whose CancelOperation an interrupt sets.
  void Attach(TUnZipEngine* engine) { FEngine = engine; }

  TMsgResult MessageBox(const TMessageBox& box) override;
  std::optional<std::string> OpenFileDialog(const std::string& title, const std::string& filter,
                                            const std::string& initialFolder) override;
  std::optional<std::string> FolderDialog(const std::string& startFolder) override;
  void SetBusy(bool) override {}
  void ProcessMessages() override;

 private:
  TConsole& FConsole;
  TReport& FReport;
  TUnZipEngine* FEngine = nullptr;
};

}  // namespace vz::cli
