// vzip: the command-line archiver of Varnel Zip. main() parses the command
// line, runs one command on a fresh session and maps every outcome to the
// documented exit status; nothing escapes as exception text.
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/HelpText.h"

namespace vz::cli {
namespace {

TExitCode RunCommand(TSession& session) {
  switch (session.Options().Command) {
    case TCommandKind::List:
      return RunList(session);
    case TCommandKind::Test:
      return RunTest(session);
    case TCommandKind::Extract:
      return RunExtract(session);
    case TCommandKind::Print:
      return RunPrint(session);
    case TCommandKind::Add:
      return RunAdd(session);
    case TCommandKind::Delete:
      return RunDelete(session);
    case TCommandKind::Comment:
      return RunComment(session);
    case TCommandKind::Sfx:
      return RunSfx(session);
    case TCommandKind::Repair:
      return RunRepair(session);
  }
  return TExitCode::Fatal;
}

int Code(TExitCode code) {
  return static_cast<int>(code);
}

int BadCommandLine(const ECommandLine& e) {
  WriteAll(2, std::string(e.what()) + "\n");
  return Code(TExitCode::BadCommandLine);
}

int Run(const std::vector<std::string_view>& args) {
  TRequest request;
  try {
    request = ParseCommandLine(args);
  } catch (const ECommandLine& e) {
    return BadCommandLine(e);
  }
  switch (request.Kind) {
    case TRequest::TKind::ToolHelp:
      WriteAll(1, ToolHelp());
      return Code(TExitCode::Success);
    case TRequest::TKind::CommandHelp:
      WriteAll(1, CommandHelp(request.Options.Command));
      return Code(TExitCode::Success);
    case TRequest::TKind::Version:
      WriteAll(1, VersionText());
      return Code(TExitCode::Success);
    case TRequest::TKind::Run:
      break;
  }
  InstallInterruptHandlers();
  try {
    TSession session(request.Options);
    try {
      return Code(RunCommand(session));
    } catch (const ECommandLine& e) {
      return BadCommandLine(e);
    } catch (...) {
      return Code(session.Fail(std::current_exception()));
    }
  } catch (const std::exception& e) {
    WriteAll(2, std::string("vzip: ") + e.what() + "\n");
  } catch (...) {
    WriteAll(2, "vzip: unexpected error\n");
  }
  return Code(TExitCode::Fatal);
}

}  // namespace
}  // namespace vz::cli

int main(int argc, char** argv) {
  std::vector<std::string_view> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return vz::cli::Run(args);
}
