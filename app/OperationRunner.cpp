#include "app/OperationRunner.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QKeyEvent>
#include <QWidget>
#include <exception>
#include <thread>

#include "app/UiThread.h"

namespace vz {

TOperationRunner::TOperationRunner(QWidget* window) : QObject(window), FWindow(window) {}

TOperationRunner::~TOperationRunner() = default;

void TOperationRunner::Run(const std::function<void()>& work) {
  if (FBusy || !OnUserInterfaceThread()) {
    work();
    return;
  }
  FBusy = true;
  FCancelRequested = false;
  emit BusyChanged(true);
  qApp->installEventFilter(this);

  std::exception_ptr error;
  QEventLoop loop;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();

  qApp->removeEventFilter(this);
  FBusy = false;
  emit BusyChanged(false);
  QMetaObject::invokeMethod(this, &TOperationRunner::Finished, Qt::QueuedConnection);
  if (error) std::rethrow_exception(error);
}

void TOperationRunner::Cancel() {
  if (!FBusy || FCancelRequested) return;
  FCancelRequested = true;
  if (OnCancel) OnCancel();
}

bool TOperationRunner::HeldInput(QObject* watched) const {
  if (!FWindow) return false;
  if (qobject_cast<QAction*>(watched)) return true;  // shortcuts of the window's commands
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != FWindow) return false;  // dialogs work as usual
  return !(FCancelButton && (widget == FCancelButton || FCancelButton->isAncestorOf(widget)));
}

bool TOperationRunner::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && HeldInput(watched)) {
        Cancel();
        return true;
      }
      return HeldInput(watched);
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::Drop:
      return HeldInput(watched);
    default:
      return false;
  }
}

TProgressGate::TProgressGate(QObject* parent) : QObject(parent) {}

void TProgressGate::SetPercent(int percent) {
  {
    std::lock_guard lock(FLock);
    if (percent == FPercent) return;
    FPercent = percent;
    FPercentDirty = true;
  }
  Schedule();
}

void TProgressGate::SetStatus(const std::string& text) {
  {
    std::lock_guard lock(FLock);
    FStatus = text;
    FStatusDirty = true;
  }
  Schedule();
}

void TProgressGate::Schedule() {
  if (OnUserInterfaceThread()) {
    if (QDateTime::currentMSecsSinceEpoch() - FLastApplied >= kIntervalMs) Flush();
    return;
  }
  if (FScheduled.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        const qint64 wait = kIntervalMs - (QDateTime::currentMSecsSinceEpoch() - FLastApplied);
        QTimer::singleShot(static_cast<int>(std::max<qint64>(wait, 0)), this, [this] {
          FScheduled = false;
          Flush();
        });
      },
      Qt::QueuedConnection);
}

void TProgressGate::Flush() {
  int percent = 0;
  std::string status;
  bool percentDirty = false, statusDirty = false;
  {
    std::lock_guard lock(FLock);
    std::swap(percentDirty, FPercentDirty);
    std::swap(statusDirty, FStatusDirty);
    percent = FPercent;
    status = FStatus;
  }
  FLastApplied = QDateTime::currentMSecsSinceEpoch();
  if (statusDirty && OnStatus) OnStatus(status);
  if (percentDirty && OnPercent) OnPercent(percent);
}

}  // namespace vz
