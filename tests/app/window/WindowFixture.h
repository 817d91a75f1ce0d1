// The main window on the fake platform: a scripted host answers every
// message box and file dialog, settings live in the fake store, archives are
// written into the scratch folder, and disk prompts are answered by script.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>

#include "app/MainWindow.h"
#include "app/core/AppInfo.h"
#include "app/core/CFI.h"
#include "app/core/OpInfo.h"
#include "app/dialogs/HelpService.h"
#include "app/dialogs/frmDiskPrompt.h"
#include "platform/fake/FakePlatform.h"
#include "tests/support/ScriptedHost.h"
#include "tests/support/ZipBuilder.h"

namespace vz::test {

class WindowFixture : public ::testing::Test {
 public:
  static TBuildMember Stored(std::string name, std::string text, u16 madeBy = 20) {
    TBuildMember member;
    member.Name = std::move(name);
    member.Data.assign(text.begin(), text.end());
    member.VersionMadeBy = madeBy;
    return member;
  }

 protected:
  TScriptedHost Host;
  TFakePlatform Fake{Host};
  TAppGlobals Globals = InitGlobals(Fake.Environment);
  TAppContext App{Fake.Services(), Globals};
  TCFI CFI{App};
  std::unique_ptr<TAppInfo> AppInfo;
  TOpInfo OpInfo;
  std::unique_ptr<TfrmMain> Window;
  // Answers of the disk prompts (true: OK); Cancel once they run out.
  std::deque<bool> PromptAnswers;
  std::vector<std::pair<QString, QString>> Prompts;  // caption, text
  TRecordingHelpService Help;
  // Every other dialog and prompt the window shows: its name and its
  // caption in order, and the script that answers it with a modal result
  // (closed without an answer when none). DialogAnswer answers the simple
  // dialogs (the dialog is filled and shown, not yet accepted): true for OK.
  std::vector<QString> Dialogs;
  std::vector<QString> DialogCaptions;
  std::function<int(QDialog&)> DialogScript;
  std::function<bool(QDialog&)> DialogAnswer;

  // A window as the program makes it: settings loaded from the store.
  // `app`: other services than the fake's (real processes, say).
  TfrmMain& MakeWindow(QStringList arguments = {}, const TAppContext* app = nullptr) {
    Window.reset();
    const TAppContext& context = app != nullptr ? *app : App;
    AppInfo = std::make_unique<TAppInfo>(context, TScreenSize{1024, 768});
    Window = std::make_unique<TfrmMain>(TMainServices{context, *AppInfo, OpInfo, CFI, &Help},
                                        std::move(arguments));
    Window->ExecPrompt = [this](TDiskPrompt& prompt) {
      Prompts.emplace_back(prompt.windowTitle(), prompt.Label()->text());
      if (PromptAnswers.empty()) return false;
      const bool ok = PromptAnswers.front();
      PromptAnswers.pop_front();
      return ok;
    };
    Window->ExecDialog = [this](QDialog& dialog) {
      Dialogs.push_back(dialog.objectName());
      DialogCaptions.push_back(dialog.windowTitle());
      if (DialogScript) return DialogScript(dialog);
      if (DialogAnswer) return DialogAnswer(dialog) ? int{QDialog::Accepted} : int{QDialog::Rejected};
      return 0;
    };
    return *Window;
  }
  // Closes it the way File > Exit does, which saves the settings.
  void CloseWindow() {
    Window->close();
    Window.reset();
    AppInfo.reset();
  }

  std::string WriteArchive(const std::string& name, const std::vector<TBuildMember>& members) {
    return WriteFile(name, TZipBuilder::Archive(members));
  }
  std::string WriteFile(const std::string& name, const std::vector<u8>& bytes) {
    const std::string path = Fake.Root() + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : Host.Messages) texts.push_back(box.Text);
    return texts;
  }
};

}  // namespace vz::test
