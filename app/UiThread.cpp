#include "app/UiThread.h"

#include <QCoreApplication>
#include <QThread>
#include <exception>

namespace vz {

bool OnUserInterfaceThread() {
  const auto* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void RunOnUiThread(const std::function<void()>& fn) {
  if (OnUserInterfaceThread() || !QCoreApplication::instance()) {
    fn();
    return;
  }
  std::exception_ptr error;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [&] {
        try {
          fn();
        } catch (...) {
          error = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (error) std::rethrow_exception(error);
}

void PostToUiThread(std::function<void()> fn) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

}  // namespace vz
