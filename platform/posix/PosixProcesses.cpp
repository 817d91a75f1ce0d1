#include "platform/posix/PosixProcesses.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace vz {
namespace {

// Only async-signal-safe calls are allowed between fork and exec.
[[noreturn]] void ReportAndExit(int pipeFd, int error) {
  [[maybe_unused]] const ssize_t n = ::write(pipeFd, &error, sizeof error);
  ::_exit(127);
}

[[noreturn]] void RunChild(int pipeFd, const char* program, char* const* argv,
                           const char* workingFolder) {
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &defaultAction, nullptr);
  if (workingFolder != nullptr && ::chdir(workingFolder) != 0) ReportAndExit(pipeFd, errno);
  ::execv(program, argv);
  ReportAndExit(pipeFd, errno);
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

int TPosixProcesses::Spawn(const TCommand& command) {
  // A path goes to exec as it is, so its failure carries the system's own
  // reason (no permission, not a program); a bare name is looked up on PATH.
  const std::string program = command.Program.find('/') != std::string::npos
                                  ? command.Program
                                  : FEnvironment.FindProgram(command.Program);
  if (program.empty()) {
    FLastError = ENOENT;
    return -1;
  }
  std::vector<std::string> arguments{command.Program};
  arguments.insert(arguments.end(), command.Arguments.begin(), command.Arguments.end());
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const char* folder = command.WorkingFolder.empty() ? nullptr : command.WorkingFolder.c_str();

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    FLastError = errno;
    return -1;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    RunChild(fds[1], program.c_str(), argv.data(), folder);
  }
  const int forkError = errno;
  ::close(fds[1]);
  if (pid < 0) {
    ::close(fds[0]);
    FLastError = forkError;
    return -1;
  }
  int childError = 0;
  ssize_t n;
  do {
    n = ::read(fds[0], &childError, sizeof childError);
  } while (n < 0 && errno == EINTR);
  ::close(fds[0]);
  if (n == static_cast<ssize_t>(sizeof childError)) {
    WaitFor(pid);
    FLastError = childError;
    return -1;
  }
  return static_cast<int>(pid);
}

int TPosixProcesses::Start(const TCommand& command) {
  const int pid = Spawn(command);
  return pid > 0 ? pid : 0;
}

bool TPosixProcesses::RunAndWait(const TCommand& command, int& exitCode) {
  const int pid = Spawn(command);
  if (pid <= 0) return false;
  exitCode = WaitFor(static_cast<pid_t>(pid));
  return true;
}

bool TPosixProcesses::IsRunning(int processId) {
  if (processId <= 0) return false;
  int status = 0;
  return ::waitpid(static_cast<pid_t>(processId), &status, WNOHANG) == 0;
}

bool TPosixProcesses::Terminate(int processId) {
  if (!IsRunning(processId)) return false;
  if (::kill(static_cast<pid_t>(processId), SIGTERM) == 0) return true;
  FLastError = errno;
  return false;
}

}  // namespace vz
