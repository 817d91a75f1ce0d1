// The nine commands. Each runs one engine operation (or a few) on the
// session's engine and returns the exit status; exceptions are left to the
// caller, which turns them into one line.
#pragma once

#include "cli/Session.h"

namespace vz::cli {

TExitCode RunList(TSession& session);
TExitCode RunTest(TSession& session);
TExitCode RunExtract(TSession& session);
TExitCode RunPrint(TSession& session);
TExitCode RunAdd(TSession& session);
TExitCode RunDelete(TSession& session);
TExitCode RunComment(TSession& session);
TExitCode RunSfx(TSession& session);
TExitCode RunRepair(TSession& session);

}  // namespace vz::cli
