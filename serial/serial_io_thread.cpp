#include "serial/serial_io_thread.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

namespace setwright::serial_detail {

IoThread& IoThread::Instance() {
  // Never destroyed: a port object destroyed during static destruction may still need the
  // thread, and a running QThread must not be destroyed.
  static IoThread* const instance = new IoThread;
  return *instance;
}

IoThread::IoThread() {
  auto* thread = new QThread;
  thread->setObjectName(QStringLiteral("setwright-serial-io"));
  context_ = new QObject;
  context_->moveToThread(thread);
  thread->start();
  thread_ = thread;
}

bool IoThread::Available() {
  return QCoreApplication::instance() != nullptr;
}

bool IoThread::IsCurrent() const {
  return QThread::currentThread() == context_->thread();
}

bool IoThread::RunBlocking(const std::function<void()>& fn) {
  if (IsCurrent()) {
    fn();
    return true;
  }
  if (!Available()) return false;
  bool ran = false;
  QMetaObject::invokeMethod(
      context_,
      [&] {
        fn();
        ran = true;
      },
      Qt::BlockingQueuedConnection);
  return ran;
}

bool IoThread::Post(std::function<void()> fn) {
  if (!Available()) return false;
  return QMetaObject::invokeMethod(context_, std::move(fn), Qt::QueuedConnection);
}

}  // namespace setwright::serial_detail
