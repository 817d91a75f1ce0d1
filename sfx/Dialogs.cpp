// Dialog rules and their two front ends: the interactive text forms and the
// scripted one-line answers (see Dialogs.h for the protocol).
#include "sfx/Dialogs.h"

#include <unistd.h>

#include "sfx/Archive.h"

namespace sfx {
namespace {

constexpr std::size_t kListShownAtOnce = 40;

void CurrentFolder(TPathText& folder) {
  if (::getcwd(folder.Data(), folder.MaxLength() + 1) == nullptr) {
    folder.Clear();
    return;
  }
  folder.AdoptLength(std::strlen(folder.CStr()));
}

// The mode radios 501-503 form one group: checking one clears the others.
void CheckModeRadio(TMainDialog& dialog, int id) {
  dialog.Radio501 = id == 501;
  dialog.Radio502 = id == 502;
  dialog.Radio503 = id == 503;
}

// ---- MAINDIALOG, interactive form ----

std::string_view Box(bool checked) {
  return checked ? "[x] " : "[ ] ";
}
std::string_view Radio(bool checked) {
  return checked ? "(*) " : "( ) ";
}

void ShowMembers(const TStub& stub, const TMainDialog& dialog, std::size_t limit) {
  const TListBox& list = dialog.List301;
  char count[21];
  char selected[21];
  stub.Console.Out({"Files: ", FormatDecimal(list.SelectedCount(), selected), " of ",
                    FormatDecimal(list.Count(), count), " selected\n"});
  for (std::size_t i = 0; i < list.Count() && i < limit; ++i) {
    char number[21];
    const std::string_view digits = FormatDecimal(i + 1, number);
    stub.Console.Out({Slice("     ", 0, digits.size() < 5 ? 5 - digits.size() : 0), digits, " ",
                      Box(list.Selected(i)), list.Text(i), "\n"});
  }
  if (list.Count() > limit) {
    char more[21];
    stub.Console.Out(
        {"     ... ", FormatDecimal(list.Count() - limit, more), " more (l lists them all)\n"});
  }
}

void ShowMainForm(const TStub& stub, const TMainDialog& dialog) {
  const TConsole& c = stub.Console;
  c.Out({"\n== ", stub.Caption, " ==\n", "Enter an existing or new destination folder\n    ",
         dialog.Edit101.View(), "\n"});
  c.Out({Box(dialog.Check401), "Use the zipfile's path information",
         dialog.Check401Enabled ? "\n" : " (the archive holds no folders)\n"});
  c.Out({"Existing File(s): ", Radio(dialog.Radio503), "Confirm before overwriting  ",
         Radio(dialog.Radio501), "Overwrite (don't ask)  ", Radio(dialog.Radio502),
         "Skip (don't extract)\n"});
  ShowMembers(stub, dialog, kListShownAtOnce);
  c.Out(
      {"d destination   p path information   c/o/s confirm/overwrite/skip existing files\n"
       "a select all   n unselect all   numbers or ranges (2 5-7) toggle files\n"
       "Enter or u Unzip   q Cancel\n> "});
}

bool ParseNumber(std::string_view text, std::size_t& pos, std::size_t& value) {
  const std::size_t start = pos;
  value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && value < 100000000) {
    value = value * 10 + static_cast<std::size_t>(text[pos++] - '0');
  }
  return pos > start;
}

// "2 5-7": toggles those items (1-based); false when the text is no such list.
bool ToggleItems(TMainDialog& dialog, std::string_view text) {
  TListBox& list = dialog.List301;
  std::size_t pos = 0;
  bool any = false;
  while (pos < text.size()) {
    if (text[pos] == ' ' || text[pos] == ',') {
      ++pos;
      continue;
    }
    std::size_t first = 0;
    std::size_t last = 0;
    if (!ParseNumber(text, pos, first)) return any;
    last = first;
    if (pos < text.size() && text[pos] == '-') {
      ++pos;
      if (!ParseNumber(text, pos, last)) return any;
    }
    for (std::size_t i = first; i <= last && i <= list.Count(); ++i) {
      if (i > 0) list.SetSelected(i - 1, !list.Selected(i - 1));
    }
    any = true;
  }
  return any;
}

// One typed line: a command identifier, or 0 when the form only changed.
int InteractiveMainCommand(TStub& stub, TMainDialog& dialog, std::string_view line) {
  if (line.empty() || line == "u") return 1;
  if (line == "q") return 2;
  if (line == "p") return dialog.Check401Enabled ? (dialog.Check401 = !dialog.Check401, 401) : 0;
  if (line == "c") return 503;
  if (line == "o") return 501;
  if (line == "s") return 502;
  if (line == "a") return 121;
  if (line == "n") return 122;
  if (line == "l") {
    ShowMembers(stub, dialog, dialog.List301.Count());
    return 0;
  }
  if (line == "d") {
    stub.Console.Out({"Destination folder (Enter keeps ", dialog.Edit101.View(), "): "});
    TPathText folder;
    const TLineResult result = stub.Console.ReadLine(folder);
    if (result == TLineResult::Overlong) ShowError(stub, {"Error Changing Dir."});
    if (result == TLineResult::Line && !folder.Empty()) (void)dialog.Edit101.Assign(folder.View());
    return 0;
  }
  if (!ToggleItems(dialog, line)) stub.Console.Out({"?\n"});
  return 0;
}

void RunInteractiveMain(TStub& stub, TMainDialog& dialog) {
  while (dialog.Result == TDialogResult::None) {
    ShowMainForm(stub, dialog);
    TFixedText<256> line;
    const TLineResult result = stub.Console.ReadLine(line);
    const int id =
        result == TLineResult::EndOfInput ? 2 : InteractiveMainCommand(stub, dialog, line.View());
    if (id != 0) MainDialogCommand(stub, dialog, id);
  }
}

void RunScriptedMain(TStub& stub, TMainDialog& dialog) {
  TPathText folder;
  const TLineResult result = stub.Console.ReadLine(folder);
  if (result == TLineResult::Overlong) {
    ShowError(stub, {"Error Changing Dir."});
    MainDialogCommand(stub, dialog, 2);
    return;
  }
  if (result == TLineResult::EndOfInput) {
    MainDialogCommand(stub, dialog, 2);
    return;
  }
  if (!folder.Empty()) (void)dialog.Edit101.Assign(folder.View());
  MainDialogCommand(stub, dialog, 1);
}

}  // namespace

void MainDialogCommand(TStub& stub, TMainDialog& dialog, int id) {
  switch (id) {
    case 401:
      WalkArchive(stub, true);
      if (dialog.Radio121) dialog.List301.SelectAll(true);
      break;
    case 1:
      (void)stub.Destination.Assign(dialog.Edit101.View());
      if (stub.Destination.Empty()) {
        CurrentFolder(stub.Destination);
        (void)dialog.Edit101.Assign(stub.Destination.View());
      }
      WalkArchive(stub, false);
      dialog.Result = TDialogResult::Ok;
      break;
    case 2:
      dialog.Result = TDialogResult::Cancel;
      break;
    case 121:
      dialog.Radio121 = true;
      dialog.Radio122 = false;
      dialog.List301.SelectAll(true);
      break;
    case 122:
      dialog.Radio121 = false;
      dialog.Radio122 = true;
      dialog.List301.SelectAll(false);
      break;
    case 501:
      CheckModeRadio(dialog, 501);
      stub.ExistingFileMode = TExistingFileMode::Overwrite;
      break;
    case 502:
      CheckModeRadio(dialog, 502);
      stub.ExistingFileMode = TExistingFileMode::Skip;
      break;
    case 503:
      CheckModeRadio(dialog, 503);
      stub.ExistingFileMode = TExistingFileMode::Ask;
      break;
    default:
      break;
  }
}

TDialogResult MainDialog(TStub& stub) {
  TMainDialog dialog;
  stub.MainDialogHandle = &dialog;
  CurrentFolder(stub.Destination);
  (void)dialog.Edit101.Assign(stub.Destination.View());
  dialog.Radio121 = true;
  CheckModeRadio(dialog, 503);
  stub.ExistingFileMode = TExistingFileMode::Ask;
  dialog.Check401 = true;
  WalkArchive(stub, true);
  dialog.List301.SelectAll(true);

  if (!stub.EndProgram) {
    if (stub.Console.Interactive()) {
      RunInteractiveMain(stub, dialog);
    } else {
      RunScriptedMain(stub, dialog);
    }
  }
  stub.MainDialogHandle = nullptr;
  return dialog.Result == TDialogResult::Ok ? TDialogResult::Ok : TDialogResult::Cancel;
}

// ---- FILEEXIST ----

void FileExistCommand(TStub& stub, TFileExistDialog& dialog, int id) {
  TMainDialog& main = *stub.MainDialogHandle;
  switch (id) {
    case 1:
    case 2:
      if (dialog.Check401) {
        CheckModeRadio(main, id == 1 ? 501 : 502);
        stub.ExistingFileMode = id == 1 ? TExistingFileMode::Overwrite : TExistingFileMode::Skip;
      }
      stub.OverwriteAnswer = id == 1;
      break;
    case 11:
      CheckModeRadio(main, 501);
      stub.ExistingFileMode = TExistingFileMode::Overwrite;
      stub.OverwriteAnswer = true;
      break;
    case 12:
      CheckModeRadio(main, 502);
      stub.ExistingFileMode = TExistingFileMode::Skip;
      stub.OverwriteAnswer = false;
      break;
    default:
      break;
  }
}

TDialogResult FileExistDialog(TStub& stub) {
  TFileExistDialog dialog;
  if (!dialog.Edit101.Assign(stub.PromptFileName.View()) ||
      !dialog.Edit101.Append(" already exists!")) {
    (void)dialog.Edit101.Assign(" already exists!");
  }
  const TConsole& c = stub.Console;
  c.Out({dialog.Edit101.View(), "\nDo you want to; overwrite the file, or skip the file?\n"});
  int id = 0;
  while (id == 0) {
    if (c.Interactive()) {
      c.Out({"o Overwrite   s Skip   a Overwrite All   k Skip All   d ", Box(dialog.Check401),
             "Don't ask again\n> "});
    }
    TFixedText<16> line;
    const TLineResult result = c.ReadLine(line);
    const std::string_view answer = result == TLineResult::Line ? line.View() : "";
    if (answer == "o")
      id = 1;
    else if (answer == "a")
      id = 11;
    else if (answer == "k")
      id = 12;
    else if (answer == "s" || result == TLineResult::EndOfInput || !c.Interactive())
      id = 2;
    else if (answer == "d")
      dialog.Check401 = !dialog.Check401;
  }
  FileExistCommand(stub, dialog, id);
  return static_cast<TDialogResult>(id);
}

// ---- PWD ----

void PwdCommand(TStub& stub, TPwdDialog& dialog, int id) {
  if (id != 1) return;
  const std::string_view typed = Slice(dialog.Edit101.View(), 0, kPasswordBufferBytes - 1);
  std::memcpy(stub.PasswordBuffer.data(), typed.data(), typed.size());
  stub.PasswordBuffer[typed.size()] = '\0';
  stub.PasswordLength = typed.size();
}

TDialogResult PwdDialog(TStub& stub) {
  TPwdDialog dialog;
  (void)dialog.Static102.Assign(stub.Caption);
  const TConsole& c = stub.Console;
  c.Out({"A password is required for ", dialog.Static102.View(), "\n"});
  if (c.Interactive()) c.Out({"Enter password: "});
  const TLineResult result = c.ReadLine(dialog.Edit101, true);
  const int id = result == TLineResult::EndOfInput ? 2 : 1;
  PwdCommand(stub, dialog, id);
  return static_cast<TDialogResult>(id);
}

}  // namespace sfx
