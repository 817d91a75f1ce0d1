// The small routines the main window and the dialogs share: message boxes
// captioned with the program title, folder checks, the trash, the spelling of
// a path on disk, size and name formatting, running a program and waiting.
//
// Every message box goes through the host (IHost::MessageBox), which also
// sounds the beep that precedes each box of the program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/core/AppGlobals.h"
#include "platform/Locale.h"

namespace vz {

// A control that can take the keyboard focus after a message.
class IFocusControl {
 public:
  virtual ~IFocusControl() = default;
  virtual void SetFocus() = 0;
};

// OK box, warning icon; the focus goes to `FocusControl` afterwards.
TMsgResult ShowWarning(const TAppContext& App, const std::string& Message,
                       IFocusControl* FocusControl = nullptr);
// OK box, information icon.
TMsgResult ShowInfo(const TAppContext& App, const std::string& Message);
// Yes/No box, question icon, Yes or No as the default button; true for Yes.
bool AskYesNo(const TAppContext& App, const std::string& Message, bool YesIsDefault);

// True when `Path` could be made the current folder. A missing folder, when
// `OfferCreate` is set, brings the question whether to create it (Yes as
// default); Yes creates that one folder (not its parents) and answers true,
// or warns "Unable to create folder <path>!" with the system's reason. Any
// other failure warns with the system's text and "!". The focus goes to
// `FocusEdit` after a No or such a warning.
bool EnsureFolder(const TAppContext& App, const std::string& Path, bool OfferCreate,
                  IFocusControl* FocusEdit = nullptr);

// Moves the listed names that are existing files to the trash. False without
// asking anything when none exists; with `Confirm` the user is asked first
// (Yes default) and No gives false. `errorCode` (optional) receives the
// reason for a false: ENOENT when no file existed, ECANCELED for No, else the
// trash's own error.
bool DeleteToRecycleBin(const TAppContext& App, const std::vector<std::string>& Files, bool Confirm,
                        int* errorCode = nullptr);

// `Path` made absolute, with each component spelt as it is on disk: the path
// itself when it exists, else a component matched without regard to case
// (an exact match first, then the first in name order). When a component
// cannot be found, warns with the system's text and answers "".
std::string TrueCasePath(const TAppContext& App, const std::string& Path);

// 1,048,576 bytes and more: megabytes with up to two decimals, "1.5MB";
// 1,024 and more: whole kilobytes, "1KB"; below: "1,023". Rounded to nearest,
// halves up; digits grouped by threes.
std::string FormatSize(i64 Bytes, const TNumberFormat& Format);
// With the user's separators.
std::string FormatSize(i64 Bytes);

// The first character and every character after a blank upper-cased, all
// others lower-cased: "READ ME.TXT" -> "Read Me.txt". Never applied to file
// or member names: on Linux "readme.txt" and "Readme.txt" are two files, so
// a recased name would show the user a file that is not there. Names are
// shown as they are stored.
std::string ProperCase(std::string_view Text);

// Runs `Program` with the parameters (split as SplitCommandLine says) in the
// program's own folder and waits for it. When it cannot be started, warns
// with the system's text and answers false.
bool RunAndWait(const TAppContext& App, const std::string& Program, const std::string& Parameters,
                TShowState ShowCommand);

// Linux offers no format dialog: every drive warns "Drive is not formatable."
// and answers false.
bool FormatDrive(const TAppContext& App, int DriveNumber);

// Arguments from a command-line text: blanks separate them; double or single
// quotes group blanks into one argument and are removed ("a b" c -> [a b][c]).
std::vector<std::string> SplitCommandLine(std::string_view text);

}  // namespace vz
