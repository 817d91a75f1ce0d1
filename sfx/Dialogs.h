// The stub's three dialogs, MAINDIALOG, FILEEXIST and PWD, on a terminal.
// Each dialog's rules are its command handler, called with the identifier
// of the control that was used; the front ends only turn what was typed
// into those identifiers. On a terminal the dialogs are small text forms;
// otherwise each reads its answer as one line of standard input:
//   MAINDIALOG: the destination folder (empty: the current folder), then
//               "&Unzip" with the initial settings; end of input: "&Cancel".
//   FILEEXIST:  "o" Overwrite, "s" Skip, "a" Overwrite All, "k" Skip All;
//               anything else, an empty line or end of input: Skip.
//   PWD:        the password; end of input: Cancel.
#pragma once

#include "sfx/StubState.h"

namespace sfx {

// Opens the main dialog (listing the archive) and runs it until "&Unzip",
// which extracts, or "&Cancel". Returns Ok or Cancel.
TDialogResult MainDialog(TStub& stub);
void MainDialogCommand(TStub& stub, TMainDialog& dialog, int id);

// Asks about stub.PromptFileName; sets OverwriteAnswer and, through the
// "all" answers and "Don't ask again", ExistingFileMode and the main
// dialog's mode radios. Returns the identifier of the button used.
TDialogResult FileExistDialog(TStub& stub);
void FileExistCommand(TStub& stub, TFileExistDialog& dialog, int id);

// Asks for a password; "&Ok" copies at most 24 characters into
// PasswordBuffer/PasswordLength, Cancel leaves them as they were.
TDialogResult PwdDialog(TStub& stub);
void PwdCommand(TStub& stub, TPwdDialog& dialog, int id);

}  // namespace sfx
