// What the front end (command-line tool, windowed program, test script)
// supplies for the few places where the engine itself talks to the user.
// The engine creates no user interface of its own: every message box, file
// or folder dialog and busy cursor it needs goes through this interface.
//
// Threads. The engine calls the host on the thread that runs its operation,
// which need not be the user-interface thread (the window runs each
// operation on a worker). A front end with a user-interface thread carries
// every call there: the dialogs and message boxes block the calling thread
// until the user has answered (the user-interface thread must never wait for
// the operation's thread meanwhile), SetBusy may be queued, and
// ProcessMessages does nothing when called off the user-interface thread. A
// front end without one (vzip, tests) answers on the calling thread.
#pragma once

#include <optional>
#include <string>

#include "platform/Types.h"

namespace vz {

enum class TMsgButtons : u8 { Ok = 0, OkCancel = 1, YesNo = 4, YesNoCancel = 3 };
enum class TMsgIcon : u8 { None = 0, Error = 1, Warning = 2, Information = 3, Question = 4 };
enum class TMsgResult : u8 { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

struct TMessageBox {
  std::string Text;
  std::string Caption;
  TMsgButtons Buttons = TMsgButtons::Ok;
  TMsgIcon Icon = TMsgIcon::None;
  TMsgResult DefaultButton = TMsgResult::Ok;
};

class IHost {
 public:
  virtual ~IHost() = default;
  virtual TMsgResult MessageBox(const TMessageBox& box) = 0;
  // `filter` uses the "Description|*.ext|Description|*.ext" form.
  virtual std::optional<std::string> OpenFileDialog(const std::string& title,
                                                    const std::string& filter,
                                                    const std::string& initialFolder) = 0;
  // Lets the user pick or type a folder starting at `startFolder`; a typed
  // folder that does not exist is created after asking. nullopt on cancel.
  virtual std::optional<std::string> FolderDialog(const std::string& startFolder) = 0;
  virtual void SetBusy(bool busy) = 0;
  // Lets the user interface run between blocks of long work; nothing off
  // the user-interface thread.
  virtual void ProcessMessages() = 0;
};

// The hourglass for the lifetime of the guard.
class TBusyCursor {
 public:
  explicit TBusyCursor(IHost& host) : FHost(host) { FHost.SetBusy(true); }
  ~TBusyCursor() { FHost.SetBusy(false); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;

 private:
  IHost& FHost;
};

// A host for programs without any user interface: every question gets its
// default button, every dialog is cancelled.
class TSilentHost : public IHost {
 public:
  TMsgResult MessageBox(const TMessageBox& box) override { return box.DefaultButton; }
  std::optional<std::string> OpenFileDialog(const std::string&, const std::string&,
                                            const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> FolderDialog(const std::string&) override { return std::nullopt; }
  void SetBusy(bool) override {}
  void ProcessMessages() override {}
};

}  // namespace vz
