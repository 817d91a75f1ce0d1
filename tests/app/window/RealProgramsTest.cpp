// The hand-offs to other programs with real processes: scripts stand in for
// the virus scanner, the file viewer and xdg-email, and write down the
// arguments they were given, one per line.
#include <stdlib.h>

#include <QAction>
#include <QTest>
#include <filesystem>
#include <sstream>

#include "app/FileListModel.h"
#include "app/FileView.h"
#include "app/core/AppInfo.h"
#include "platform/FileHelpers.h"
#include "platform/posix/PosixEnvironment.h"
#include "platform/posix/PosixMail.h"
#include "platform/posix/PosixProcesses.h"
#include "tests/app/window/WindowFixture.h"
#include "tests/support/TestFiles.h"

namespace vz::test {
namespace {

// Writes its working folder and then each argument on a line of `log`.
std::string RecordingScript(const std::string& log) {
  return "#!/bin/sh\npwd > " + ShellQuote(log) + "\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> " +
         ShellQuote(log) + "; done\n";
}

class RealProgramsTest : public WindowFixture {
 protected:
  RealProgramsTest() {
    const char* path = ::getenv("PATH");
    FOldPath = path != nullptr ? path : "/usr/bin:/bin";
    MakeFolders(Fake.Root() + "programs");
    ::setenv("PATH", (Fake.Root() + "programs:" + FOldPath).c_str(), 1);
  }
  ~RealProgramsTest() override { ::setenv("PATH", FOldPath.c_str(), 1); }

  std::string Script(const std::string& name, const std::string& body) {
    const std::string path = Fake.Root() + "programs/" + name;
    WriteFileText(path, body);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
  }
  std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream text(ReadFileText(path));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }
  TfrmMain& OpenReal(const std::string& archive) {
    TfrmMain& window = MakeWindow({QString::fromStdString(archive)}, &Real);
    window.FormShow();
    return window;
  }

  TPosixEnvironment Environment;
  TPosixProcesses Processes{Environment};
  TPosixMail Mail{Environment, Processes};
  TPlatform Platform{Fake.Files,       Fake.Drives,   Fake.Clock, Fake.Random, Host,
                     Fake.Environment, Fake.Settings, Processes,  Fake.Shell,  Mail};
  TAppContext Real{Platform, Globals};

 private:
  std::string FOldPath;
};

TEST_F(RealProgramsTest, TheScannerGetsItsParametersAndTheArchiveAsArguments) {
  const std::string log = Fake.Root() + "scan.log";
  const std::string scanner = Script("scan", RecordingScript(log));
  const std::string archive = WriteArchive("it's $(here).zip", {Stored("a.txt", "a")});
  TfrmMain& window = OpenReal(archive);
  AppInfo->AntiVirus = scanner;
  AppInfo->AVParameters = "--infected --log='my log' -r";
  window.UpdateCommands();
  window.findChild<QWidget*>(QStringLiteral("tbAntiVirus"))->setFocus();
  window.Action(QStringLiteral("mnuAntiVirus"))->trigger();
  EXPECT_EQ(Lines(log), (std::vector<std::string>{Fake.Root() + "programs", "--infected",
                                                  "--log=my log", "-r", archive}));
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_FALSE(std::filesystem::exists(Fake.Root() + "here"));
}

TEST_F(RealProgramsTest, AScannerThatIsMissingOrCannotRunIsReported) {
  TfrmMain& window = OpenReal(WriteArchive("a.zip", {Stored("a.txt", "a")}));
  AppInfo->AntiVirus = Fake.Root() + "programs/missing";
  window.ScanArchive(false);
  AppInfo->AntiVirus = Fake.Root() + "not-a-program";
  WriteFileText(AppInfo->AntiVirus, "#!/bin/sh\n");  // not executable
  window.ScanArchive(false);
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{"The path for the anti-virus application is not valid!",
                                      SystemErrorText(EACCES)}));
}

TEST_F(RealProgramsTest, TheViewerGetsTheWholeFileAsItsOneArgument) {
  const std::string log = Fake.Root() + "view.log";
  const std::string copy = Fake.Root() + "viewed";
  const std::string viewer =
      Script("viewer", RecordingScript(log) + "cat \"$1\" > " + ShellQuote(copy) + "\n");
  const std::string name = "a b;$(touch pwned) 'q'.png";
  TfrmMain& window = OpenReal(WriteArchive("v.zip", {Stored(name, "picture bytes")}));
  AppInfo->FileViewer = viewer;
  window.UpdateCommands();
  window.findChild<TFileView*>(QStringLiteral("lvFiles"))->SelectAllRows();
  window.Action(QStringLiteral("mnuViewFile"))->trigger();
  ASSERT_EQ(AppInfo->TempFiles.size(), 1u);
  const int viewerId = std::stoi(AppInfo->TempFiles[0]);
  ASSERT_GT(viewerId, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Processes.IsRunning(viewerId); }, 10000));
  const std::vector<std::string> lines = Lines(log);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(FileNameOf(lines[1]), name);
  EXPECT_EQ(ReadFileText(copy), "picture bytes");
  EXPECT_FALSE(std::filesystem::exists(Fake.Root() + "pwned"));
  EXPECT_FALSE(std::filesystem::exists(Fake.Root() + "programs/pwned"));
  CloseWindow();  // the viewer has ended: its file goes
  EXPECT_FALSE(std::filesystem::exists(lines[1]));
}

TEST_F(RealProgramsTest, SendHandsTheArchiveToXdgEmail) {
  const std::string log = Fake.Root() + "mail.log";
  Script("xdg-email", RecordingScript(log));
  const std::string archive = WriteArchive("Quarterly figures.zip", {Stored("a.txt", "a")});
  TfrmMain& window = OpenReal(archive);
  window.Action(QStringLiteral("mnuSend"))->trigger();
  EXPECT_TRUE(Host.Messages.empty());
  const std::vector<std::string> lines = Lines(log);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
            (std::vector<std::string>{"--utf8", "--subject", "Quarterly figures.zip", "--attach",
                                      archive}));
}

}  // namespace
}  // namespace vz::test
