// TQtHost: the host the windowed program gives the engine and the core.
// Message boxes captioned as the caller says (the core passes "Varnel Zip")
// after a beep, Qt's file and folder dialogs, the busy cursor. Every call may
// come from an operation's thread (the contract of platform/Host.h): message
// boxes and dialogs are carried out on the user-interface thread while the
// operation waits for the answer, the busy cursor is queued there, and
// ProcessMessages does nothing off the user-interface thread.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <functional>
#include <memory>

#include "platform/Host.h"

namespace vz {

// The box a TMessageBox describes, not yet shown. The program's CR CR
// paragraph break becomes a blank line, a single CR a line break.
std::unique_ptr<QMessageBox> MakeMessageBox(const TMessageBox& box, QWidget* parent);
// "Zipfile|*.zip|Any File|*.*" -> "Zipfile (*.zip);;Any File (*)"
QString QtFileFilter(const std::string& filter);
// Text with "\r\r" paragraph and "\r" line breaks as Qt shows them.
QString MessageText(const std::string& text);

// While a dialog or message box is shown over a busy window: the normal
// pointer, the busy one again afterwards. Only on the user-interface thread.
class TNormalCursor {
 public:
  TNormalCursor();
  ~TNormalCursor();
  TNormalCursor(const TNormalCursor&) = delete;
  TNormalCursor& operator=(const TNormalCursor&) = delete;

 private:
  bool FPushed = false;
};

class TQtHost : public IHost {
 public:
  // Dialogs are parented to the window given here (the main window, once it
  // exists), else to the active window.
  void SetParentWindow(QWidget* window) { FParent = window; }
  // Shows a built box and answers its button; tests replace it to read the
  // box and answer without a user.
  std::function<QMessageBox::StandardButton(QMessageBox&)> ExecMessageBox;

  TMsgResult MessageBox(const TMessageBox& box) override;
  std::optional<std::string> OpenFileDialog(const std::string& title, const std::string& filter,
                                            const std::string& initialFolder) override;
  std::optional<std::string> FolderDialog(const std::string& startFolder) override;
  void SetBusy(bool busy) override;
  // Lets the window repaint and take input; does nothing off the
  // user-interface thread, where an operation's own thread runs.
  void ProcessMessages() override;

 private:
  QWidget* Parent() const;
  QPointer<QWidget> FParent;
};

}  // namespace vz
