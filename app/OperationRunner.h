// TOperationRunner: runs one engine operation on a thread of its own while
// the window stays painted. Meanwhile the window ignores input except a
// cancel (Esc, or the cancel button), and dialogs that the operation's
// handlers open work as usual. Run returns when the operation has ended, so
// a command reads as straight-line code, as if the operation ran inline.
//
// Rules that keep this free of deadlocks: handlers reach the user-interface
// thread through RunOnUiThread (blocking, only for in/out events and
// prompts) or through TProgressGate (queued, coalesced); nothing here ever
// joins the worker from inside a handler; a window asked to close while an
// operation runs cancels it and closes after Finished.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include <QAbstractButton>
#include <QWidget>

namespace vz {

class TOperationRunner : public QObject {
  Q_OBJECT
 public:
  explicit TOperationRunner(QWidget* window);
  ~TOperationRunner() override;

  // Runs `work` on a new thread and returns when it has ended, rethrowing
  // what it threw. Called while an operation already runs, or off the
  // user-interface thread, the work runs directly.
  void Run(const std::function<void()>& work);
  bool Busy() const { return FBusy; }

  // What a cancel does (set the engine's cancel flag); called on the
  // user-interface thread, at most once per operation.
  std::function<void()> OnCancel;
  void SetCancelButton(QAbstractButton* button) { FCancelButton = button; }
  void Cancel();
  bool CancelRequested() const { return FCancelRequested; }

 signals:
  void BusyChanged(bool busy);
  // After Run has returned to its caller's loop: the moment to close a
  // window whose close waited for the operation.
  void Finished();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool HeldInput(QObject* watched) const;

  QPointer<QWidget> FWindow;
  QPointer<QAbstractButton> FCancelButton;
  bool FBusy = false;
  bool FCancelRequested = false;
};

// Progress and status from an operation's thread, coalesced and applied on
// the user-interface thread at most about 20 times a second. Called on the
// user-interface thread itself (an operation run inline), it applies at
// once when the last repaint is old enough.
class TProgressGate : public QObject {
  Q_OBJECT
 public:
  static constexpr int kIntervalMs = 50;
  explicit TProgressGate(QObject* parent = nullptr);

  std::function<void(int Percent)> OnPercent;
  std::function<void(const std::string& Text)> OnStatus;

  void SetPercent(int percent);
  void SetStatus(const std::string& text);
  // Applies what is pending now (at the end of an operation).
  void Flush();

 private:
  void Schedule();

  std::mutex FLock;
  int FPercent = -1;
  bool FPercentDirty = false;
  std::string FStatus;
  bool FStatusDirty = false;
  std::atomic<bool> FScheduled{false};
  qint64 FLastApplied = 0;
};

}  // namespace vz
