// The real desktop services on real temporary folders: environment, child
// processes, the freedesktop.org trash, xdg-email and the user's number
// punctuation. Environment variables are set per test and restored.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/Locale.h"
#include "platform/fake/FakePlatform.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScriptedHost.h"
#include "tests/support/TestFiles.h"

namespace vz {
namespace {

using test::TScopedEnv;

class PosixServicesTest : public ::testing::Test {
 protected:
  test::TScriptedHost Host;
  TFakePlatform Fake{Host};  // only for its scratch folder
  std::string Root = Fake.Files.RealPath(Fake.Root()) + "/";
  TPosixEnvironment Environment;
  TPosixProcesses Processes{Environment};

  std::string Script(const std::string& name, const std::string& body) {
    const std::string path = Root + name;
    test::MakeFolders(std::filesystem::path(path).parent_path());
    test::WriteFileText(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
  }
};

// ---------------------------------------------------------------- environment

TEST_F(PosixServicesTest, XdgFoldersFollowTheVariablesAndIgnoreRelativeOnes) {
  TScopedEnv home("HOME", "/home/tester");
  {
    TScopedEnv config("XDG_CONFIG_HOME", "/etc/xdg-test");
    TScopedEnv data("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(Environment.UserConfigFolder(), "/etc/xdg-test/");
    EXPECT_EQ(Environment.UserDataFolder(), "/home/tester/.local/share/");
  }
  TScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(Environment.UserConfigFolder(), "/home/tester/.config/");
}

TEST_F(PosixServicesTest, FindProgramSearchesOnlyAbsolutePathEntries) {
  const std::string tool = Script("bin/vz-probe-tool", "exit 0\n");
  test::WriteFileText(Root + "bin/vz-probe-plain", "");
  TScopedEnv path("PATH", "relative/bin:" + Root + "bin");
  EXPECT_EQ(Environment.FindProgram("vz-probe-tool"), tool);
  EXPECT_EQ(Environment.FindProgram("vz-probe-plain"), "") << "not executable";
  EXPECT_EQ(Environment.FindProgram("vz-probe-missing"), "");
  EXPECT_EQ(Environment.FindProgram(tool), tool);
  TScopedEnv dotPath("PATH", ".");
  const std::string cwd = Fake.Files.CurrentFolder();
  ASSERT_TRUE(Fake.Files.SetCurrentFolder(Root + "bin"));
  EXPECT_EQ(Environment.FindProgram("vz-probe-tool"), "") << "the current folder decides nothing";
  ASSERT_TRUE(Fake.Files.SetCurrentFolder(cwd));
}

TEST_F(PosixServicesTest, PlatformKeepsItsSettingsInTheXdgConfigFolder) {
  TScopedEnv config("XDG_CONFIG_HOME", Root + "cfg");
  const TPosixPlatform platform(Host);
  const auto& store = dynamic_cast<const TPosixSettingsStore&>(platform.Services().Settings);
  EXPECT_EQ(store.FilePath(), Root + "cfg/Varnel/Zip.conf");
  auto key = platform.Services().Settings.OpenKey("Software\\Varnel\\Zip", true);
  key->Write("A", u32{1});
  ASSERT_TRUE(key->Close());
  EXPECT_EQ(test::ReadFileText(Root + "cfg/Varnel/Zip.conf"),
            "[Software\\Varnel\\Zip]\nA=dword:1\n");
}

TEST_F(PosixServicesTest, ProgramFileIsThisTestProgram) {
  EXPECT_EQ(std::filesystem::path(Environment.ProgramFile()).filename(), "vz_platform_tests");
}

// ---------------------------------------------------------------- processes

TEST_F(PosixServicesTest, RunAndWaitGivesTheExitCodeAndUsesTheWorkingFolder) {
  test::MakeFolders(Root + "work");
  int exitCode = -1;
  ASSERT_TRUE(
      Processes.RunAndWait({"sh", {"-c", "pwd > out.txt; exit 7"}, Root + "work"}, exitCode));
  EXPECT_EQ(exitCode, 7);
  EXPECT_EQ(test::ReadFileText(Root + "work/out.txt"), Root + "work\n");
  const std::string args = Script("args.sh", "printf '%s|' \"$@\" > \"$OUT\"\n");
  TScopedEnv out("OUT", Root + "args.txt");
  ASSERT_TRUE(Processes.RunAndWait({args, {"a b", "", "$HOME", "'q'"}}, exitCode));
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(test::ReadFileText(Root + "args.txt"), "a b||$HOME|'q'|") << "no shell in between";
}

struct TStartFailure {
  std::string Program;  // relative to the scratch folder when it has no "/"
  std::string WorkingFolder;
  int Error;
  friend void PrintTo(const TStartFailure& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.Program + " in " + c.WorkingFolder);
  }
};

class ProcessStartFailureTest : public PosixServicesTest,
                                public ::testing::WithParamInterface<TStartFailure> {};

TEST_P(ProcessStartFailureTest, CarriesTheSystemReason) {
  test::WriteFileText(Root + "not-a-program", "data");
  const auto& c = GetParam();
  const std::string program = c.Program.rfind("./", 0) == 0 ? Root + c.Program : c.Program;
  int exitCode = -1;
  EXPECT_FALSE(Processes.RunAndWait({program, {}, c.WorkingFolder}, exitCode));
  EXPECT_EQ(Processes.LastError(), c.Error);
  EXPECT_EQ(Processes.Start({program, {}, c.WorkingFolder}), 0);
  EXPECT_EQ(Processes.LastError(), c.Error);
}

INSTANTIATE_TEST_SUITE_P(Failures, ProcessStartFailureTest,
                         ::testing::Values(TStartFailure{"/nonexistent/program", "", ENOENT},
                                           TStartFailure{"vz-no-such-program-anywhere", "", ENOENT},
                                           TStartFailure{"./not-a-program", "", EACCES},
                                           TStartFailure{"/bin/sh", "/nonexistent/folder",
                                                         ENOENT}));

TEST_F(PosixServicesTest, ThisProgramAndItsParentAreNotChildren) {
  EXPECT_FALSE(Processes.IsRunning(static_cast<int>(::getpid())));
  EXPECT_FALSE(Processes.Terminate(static_cast<int>(::getppid())));
}

// ---------------------------------------------------------------- trash

std::string PercentDecode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

class TrashTest : public PosixServicesTest {
 protected:
  TScopedEnv Data{"XDG_DATA_HOME", Root + "xdg"};
  TPosixShell Shell{Environment, Processes};
  std::string Trash = Root + "xdg/Trash/";

  // Checks the info entry a file manager reads, and returns its Path.
  std::string InfoPath(const std::string& entry) {
    const std::string info = test::ReadFileText(Trash + "info/" + entry + ".trashinfo");
    const std::string head = "[Trash Info]\nPath=";
    const auto dateAt = info.find("\nDeletionDate=");
    EXPECT_EQ(info.rfind(head, 0), 0u) << info;
    EXPECT_NE(dateAt, std::string::npos) << info;
    if (info.rfind(head, 0) != 0 || dateAt == std::string::npos) return {};
    // YYYY-MM-DDThh:mm:ss, local time
    const std::string date = info.substr(dateAt + 14);
    const std::string shape = "dddd-dd-ddTdd:dd:dd\n";
    EXPECT_EQ(date.size(), shape.size()) << date;
    for (std::size_t i = 0; i < std::min(date.size(), shape.size()); ++i) {
      const bool fits = shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(date[i])) != 0
                                        : date[i] == shape[i];
      EXPECT_TRUE(fits) << date;
    }
    return PercentDecode(info.substr(head.size(), dateAt - head.size()));
  }
};

TEST_F(TrashTest, FileGoesToTheHomeTrashWithAValidInfoEntry) {
  test::MakeFolders(Root + "docs");
  const std::string file = Root + "docs/My Report 100%.zip";
  test::WriteFileText(file, "archive");
  ASSERT_TRUE(Shell.MoveToTrash({file})) << Shell.LastError();
  EXPECT_FALSE(test::FileExists(file));
  EXPECT_EQ(test::ReadFileText(Trash + "files/My Report 100%.zip"), "archive");
  EXPECT_EQ(InfoPath("My Report 100%.zip"), file);
  const auto perms = std::filesystem::status(Trash + "info").permissions();
  EXPECT_EQ(perms & std::filesystem::perms::all, std::filesystem::perms::owner_all);
}

TEST_F(TrashTest, SameNameTwiceGetsANumberedEntry) {
  test::MakeFolders(Root + "one");
  test::MakeFolders(Root + "two");
  test::WriteFileText(Root + "one/a.zip", "1");
  test::WriteFileText(Root + "two/a.zip", "2");
  ASSERT_TRUE(Shell.MoveToTrash({Root + "one/a.zip", Root + "two/a.zip"}));
  EXPECT_EQ(test::ReadFileText(Trash + "files/a.zip"), "1");
  EXPECT_EQ(test::ReadFileText(Trash + "files/a.2.zip"), "2");
  EXPECT_EQ(InfoPath("a.zip"), Root + "one/a.zip");
  EXPECT_EQ(InfoPath("a.2.zip"), Root + "two/a.zip");
}

TEST_F(TrashTest, RelativeNameIsRecordedWithItsFullPath) {
  test::WriteFileText(Root + "rel.zip", "r");
  const std::string cwd = Fake.Files.CurrentFolder();
  ASSERT_TRUE(Fake.Files.SetCurrentFolder(Root));
  const bool moved = Shell.MoveToTrash({"rel.zip"});
  ASSERT_TRUE(Fake.Files.SetCurrentFolder(cwd));
  ASSERT_TRUE(moved);
  EXPECT_EQ(InfoPath("rel.zip"), Root + "rel.zip");
}

TEST_F(TrashTest, MissingFileFailsAndLeavesNoEntry) {
  EXPECT_FALSE(Shell.MoveToTrash({Root + "missing.zip"}));
  EXPECT_EQ(Shell.LastError(), ENOENT);
  EXPECT_FALSE(test::FileExists(Trash + "info/missing.zip.trashinfo"));
}

TEST(TrashPath, EncodesAllButUnreservedCharacters) {
  EXPECT_EQ(EncodeTrashPath("/a-b_c.d~/E 1%"), "/a-b_c.d~/E%201%25");
  EXPECT_EQ(EncodeTrashPath("/ä#?"), "/%C3%A4%23%3F");
}

// ---------------------------------------------------------------- mail

class XdgEmailTest : public PosixServicesTest {
 protected:
  TPosixMail Mail{Environment, Processes};
  TScopedEnv Out{"VZ_MAIL_OUT", Root + "mail.txt"};
};

TEST_F(XdgEmailTest, SendRunsXdgEmailFromThePath) {
  Script("mailbin/xdg-email", "printf '%s\\n' \"$@\" > \"$VZ_MAIL_OUT\"\n");
  TScopedEnv path("PATH", Root + "mailbin:/usr/bin:/bin");
  ASSERT_TRUE(Mail.Available());
  TMailMessage message;
  message.Subject = "Archive";
  message.Recipients = {{TRecipientClass::Bcc, "B", "b@x.org"},
                        {TRecipientClass::To, "A", "a@x.org"}};
  message.Attachments = {{Root + "a b.zip", "a b.zip"}};
  EXPECT_EQ(Mail.Send(message), mapi::Success);
  EXPECT_EQ(test::ReadFileText(Root + "mail.txt"),
            "--utf8\n--subject\nArchive\n--bcc\nb@x.org\n--attach\n" + Root + "a b.zip\na@x.org\n");
}

TEST_F(XdgEmailTest, MailProgramThatFailsOrIsMissingGivesLoginFailure) {
  Script("mailbin/xdg-email", "exit 3\n");
  {
    TScopedEnv path("PATH", Root + "mailbin:/usr/bin:/bin");
    EXPECT_EQ(Mail.Send({}), mapi::LoginFailure);
  }
  TScopedEnv path("PATH", Root + "nothing-here");
  EXPECT_FALSE(Mail.Available());
  EXPECT_EQ(Mail.Send({}), mapi::LoginFailure);
  std::string id;
  EXPECT_EQ(Mail.Save({}, id), mapi::NotSupported);
}

// ---------------------------------------------------------------- locale

TEST(UserNumberFormat, LocaleWithoutGroupingKeepsTheProgramsSeparators) {
  for (const char* name : {"C", "POSIX", "C.UTF-8"}) {
    TScopedEnv all("LC_ALL", name);
    const TNumberFormat format = UserNumberFormat();
    EXPECT_EQ(format.ThousandSeparator, ",") << name;
    EXPECT_EQ(format.DecimalSeparator, ".") << name;
  }
}

}  // namespace
}  // namespace vz
