// The fake desktop services: what they record and how they fail, and the
// process contract they share with the real service.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/fake/FakePlatform.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/ScriptedHost.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

class FakeServicesTest : public ::testing::Test {
 protected:
  test::TScriptedHost Host;
  TFakePlatform Fake{Host};
};

TEST_F(FakeServicesTest, BundleHandsOutTheFakeServices) {
  const TPlatform& services = Fake.Services();
  EXPECT_EQ(&services.Environment, &Fake.Environment);
  EXPECT_EQ(&services.Settings, &Fake.Settings);
  EXPECT_EQ(&services.Processes, &Fake.Processes);
  EXPECT_EQ(&services.Shell, &Fake.Shell);
  EXPECT_EQ(&services.Mail, &Fake.Mail);
  EXPECT_EQ(services.Environment.ProgramFile(), Fake.Root() + "bin/zip");
  EXPECT_TRUE(Fake.Files.Stat(Fake.Root() + "bin")->IsDirectory);
}

TEST_F(FakeServicesTest, BundleOfTheFirstFiveServicesRefusesTheRest) {
  const TPlatform bare{Fake.Files, Fake.Drives, Fake.Clock, Fake.Random, Host};
  EXPECT_EQ(bare.Settings.OpenKey("Software\\Varnel\\Zip", true), nullptr);
  EXPECT_EQ(bare.Processes.Start({"viewer"}), 0);
  EXPECT_EQ(bare.Processes.LastError(), ENOSYS);
  EXPECT_FALSE(bare.Shell.MoveToTrash({"/x"}));
  EXPECT_FALSE(bare.Mail.Available());
  EXPECT_EQ(bare.Environment.FindProgram("sh"), "");
}

TEST_F(FakeServicesTest, TrashMovesFilesUnderUniqueNamesAndCanFail) {
  test::MakeFolders(Fake.Root() + "a");
  test::MakeFolders(Fake.Root() + "b");
  test::WriteFileText(Fake.Root() + "a/x.zip", "1");
  test::WriteFileText(Fake.Root() + "b/x.zip", "2");
  ASSERT_TRUE(Fake.Shell.MoveToTrash({Fake.Root() + "a/x.zip", Fake.Root() + "b/x.zip"}));
  EXPECT_EQ(test::ReadFileText(Fake.Shell.TrashFolder + "x.zip"), "1");
  EXPECT_EQ(test::ReadFileText(Fake.Shell.TrashFolder + "x.zip.2"), "2");
  EXPECT_EQ(Fake.Shell.Trashed.size(), 2u);
  EXPECT_FALSE(Fake.Shell.MoveToTrash({Fake.Root() + "a/x.zip"}));
  EXPECT_EQ(Fake.Shell.LastError(), ENOENT);
  test::WriteFileText(Fake.Root() + "c.zip", "3");
  Fake.Shell.FailTrash = EPERM;
  EXPECT_FALSE(Fake.Shell.MoveToTrash({Fake.Root() + "c.zip"}));
  EXPECT_EQ(Fake.Shell.LastError(), EPERM);
  EXPECT_TRUE(test::FileExists(Fake.Root() + "c.zip"));
  EXPECT_EQ(Fake.Shell.TrashCalls.size(), 3u);
}

TEST_F(FakeServicesTest, ProcessesAreRecordedAndCanFailToStart) {
  const TCommand viewer{"/usr/bin/viewer", {"/tmp/a"}, "/tmp", TShowState::Minimized};
  const int pid = Fake.Processes.Start(viewer);
  int exitCode = -1;
  Fake.Processes.ExitCode = 5;
  EXPECT_TRUE(Fake.Processes.RunAndWait({"scanner"}, exitCode));
  EXPECT_EQ(exitCode, 5);
  Fake.Processes.FailStart = ENOENT;
  EXPECT_EQ(Fake.Processes.Start(viewer), 0);
  EXPECT_EQ(Fake.Processes.LastError(), ENOENT);
  ASSERT_EQ(Fake.Processes.Started.size(), 3u);
  EXPECT_EQ(Fake.Processes.Started[0].ProcessId, pid);
  EXPECT_EQ(Fake.Processes.Started[0].Command.Show, TShowState::Minimized);
  EXPECT_TRUE(Fake.Processes.Started[1].Waited);
  EXPECT_EQ(Fake.Processes.Started[2].ProcessId, 0);
}

TEST_F(FakeServicesTest, MailKeepsWhatItWasGiven) {
  TMailMessage message;
  message.Subject = "s";
  Fake.Mail.Result = mapi::UserAbort;
  EXPECT_EQ(Fake.Mail.Send(message), mapi::UserAbort);
  std::string id = "old";
  EXPECT_EQ(Fake.Mail.Save(message, id), mapi::UserAbort);
  EXPECT_EQ(Fake.Mail.Sent.at(0).Subject, "s");
  EXPECT_EQ(Fake.Mail.SavedIds, std::vector<std::string>{"old"});
  EXPECT_NE(id, "old");
}

// ---------------------------------------------------------------- contract

struct TPosixProcessesSubject {
  TPosixEnvironment Environment;
  TPosixProcesses Processes{Environment};
  IProcesses& Get(TFakePlatform&) { return Processes; }
};
struct TFakeProcessesSubject {
  IProcesses& Get(TFakePlatform& fake) { return fake.Processes; }
};

template <typename T>
class ProcessesContract : public FakeServicesTest {
 protected:
  T Subject;
  IProcesses& Processes() { return Subject.Get(Fake); }
};

using ProcessSubjects = ::testing::Types<TPosixProcessesSubject, TFakeProcessesSubject>;
TYPED_TEST_SUITE(ProcessesContract, ProcessSubjects);

TYPED_TEST(ProcessesContract, StartedProcessRunsUntilAskedToEnd) {
  IProcesses& processes = this->Processes();
  const int pid = processes.Start({"sleep", {"60"}});
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(processes.IsRunning(pid));
  EXPECT_TRUE(processes.Terminate(pid));
  for (int i = 0; i < 2000 && processes.IsRunning(pid); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(processes.IsRunning(pid));
  EXPECT_FALSE(processes.Terminate(pid));
}

TYPED_TEST(ProcessesContract, UnknownProcessIdsAreLeftAlone) {
  IProcesses& processes = this->Processes();
  for (const int pid : {-1, 0, 1}) {
    EXPECT_FALSE(processes.IsRunning(pid)) << pid;
    EXPECT_FALSE(processes.Terminate(pid)) << pid;
  }
}

}  // namespace
}  // namespace vz
