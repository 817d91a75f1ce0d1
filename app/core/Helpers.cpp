#include "app/core/Helpers.h"

#include <algorithm>
#include <cerrno>

#include "app/core/TextCase.h"
#include "platform/Errors.h"
#include "platform/FileHelpers.h"

namespace vz {
namespace {

TMsgResult Box(const TAppContext& App, const std::string& text, TMsgButtons buttons, TMsgIcon icon,
               TMsgResult defaultButton) {
  return App.Platform.Host.MessageBox({text, App.Globals.AppTitle, buttons, icon, defaultButton});
}

// Components of an absolute path, without empty ones.
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

}  // namespace

TMsgResult ShowWarning(const TAppContext& App, const std::string& Message,
                       IFocusControl* FocusControl) {
  const TMsgResult result = Box(App, Message, TMsgButtons::Ok, TMsgIcon::Warning, TMsgResult::Ok);
  if (FocusControl != nullptr) FocusControl->SetFocus();
  return result;
}

TMsgResult ShowInfo(const TAppContext& App, const std::string& Message) {
  return Box(App, Message, TMsgButtons::Ok, TMsgIcon::Information, TMsgResult::Ok);
}

bool AskYesNo(const TAppContext& App, const std::string& Message, bool YesIsDefault) {
  return Box(App, Message, TMsgButtons::YesNo, TMsgIcon::Question,
             YesIsDefault ? TMsgResult::Yes : TMsgResult::No) == TMsgResult::Yes;
}

bool EnsureFolder(const TAppContext& App, const std::string& Path, bool OfferCreate,
                  IFocusControl* FocusEdit) {
  IFileSystem& files = App.Platform.Files;
  if (files.SetCurrentFolder(Path)) return true;
  const int error = files.LastError();
  if (!OfferCreate || error != ENOENT) {
    ShowWarning(App, SystemErrorText(error) + "!", FocusEdit);
    return false;
  }
  if (!AskYesNo(App,
                std::string("Folder does not exist!") + CRCR +
                    "Do you want to create the folder, " + Path + "?",
                true)) {
    if (FocusEdit != nullptr) FocusEdit->SetFocus();
    return false;
  }
  if (files.CreateFolder(Path)) return true;
  ShowWarning(App,
              "Unable to create folder " + Path + "!" + CRCR + SystemErrorText(files.LastError()));
  return false;
}

bool DeleteToRecycleBin(const TAppContext& App, const std::vector<std::string>& Files, bool Confirm,
                        int* errorCode) {
  const auto fail = [errorCode](int code) {
    if (errorCode != nullptr) *errorCode = code;
    return false;
  };
  std::vector<std::string> existing;
  for (const auto& name : Files) {
    const auto info = App.Platform.Files.Stat(name);
    if (info && info->IsRegular) existing.push_back(name);
  }
  if (existing.empty()) return fail(ENOENT);
  if (Confirm) {
    const std::string question =
        existing.size() == 1
            ? "Are you sure you want to move \"" + FileNameOf(existing[0]) + "\" to the trash?"
            : "Are you sure you want to move these " + std::to_string(existing.size()) +
                  " items to the trash?";
    if (!AskYesNo(App, question, true)) return fail(ECANCELED);
  }
  IShell& shell = App.Platform.Shell;
  return shell.MoveToTrash(existing) || fail(shell.LastError());
}

std::string TrueCasePath(const TAppContext& App, const std::string& Path) {
  IFileSystem& files = App.Platform.Files;
  const std::string absolute =
      NormalisePath(Path.empty() ? std::string(".") : Path, files.CurrentFolder());
  if (files.LStat(absolute)) return absolute;
  std::string built = "/";
  for (const auto& part : Components(absolute)) {
    const std::string exact = built + part;
    if (files.LStat(exact)) {
      built = exact + "/";
      continue;
    }
    std::vector<TDirEntry> entries;
    if (!files.ListFolder(built, entries)) {
      ShowWarning(App, SystemErrorText(files.LastError()));
      return {};
    }
    std::sort(entries.begin(), entries.end(),
              [](const TDirEntry& a, const TDirEntry& b) { return a.Name < b.Name; });
    const auto match = std::find_if(entries.begin(), entries.end(),
                                    [&](const TDirEntry& e) { return SameText(e.Name, part); });
    if (match == entries.end()) {
      ShowWarning(App, SystemErrorText(ENOENT));
      return {};
    }
    built += match->Name + "/";
  }
  built.pop_back();
  return built.empty() ? "/" : built;
}

std::string ProperCase(std::string_view Text) {
  std::string out;
  out.reserve(Text.size());
  bool startsWord = true;
  for (std::size_t pos = 0; pos < Text.size();) {
    const TUtf8Step step = NextUtf8(Text, pos);
    if (step.Valid) {
      AppendUtf8(out, startsWord ? UpperChar(step.Char) : LowerChar(step.Char));
    } else {
      out += Text[pos];
    }
    startsWord = step.Valid && step.Char == U' ';
    pos += step.Length;
  }
  return out;
}

bool RunAndWait(const TAppContext& App, const std::string& Program, const std::string& Parameters,
                TShowState ShowCommand) {
  IProcesses& processes = App.Platform.Processes;
  const TCommand command{Program, SplitCommandLine(Parameters), FolderOf(Program), ShowCommand};
  int exitCode = 0;
  if (processes.RunAndWait(command, exitCode)) return true;
  ShowWarning(App, SystemErrorText(processes.LastError()));
  return false;
}

bool FormatDrive(const TAppContext& App, [[maybe_unused]] int DriveNumber) {
  ShowWarning(App, "Drive is not formatable.");
  return false;
}

std::vector<std::string> SplitCommandLine(std::string_view text) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false;
  char quote = 0;
  for (const char c : text) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        current += c;
      }
    } else if (c == '"' || c == '\'') {
      quote = c;
      inArgument = true;
    } else if (c == ' ' || c == '\t') {
      if (inArgument) arguments.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (inArgument) arguments.push_back(std::move(current));
  return arguments;
}

}  // namespace vz
