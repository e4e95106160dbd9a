// The serial layer's own I/O thread. Qt's port and socket objects are not thread-safe, so
// every one of them is created, used and destroyed on this thread; other threads reach them
// through RunBlocking or Post. The thread runs an event loop and therefore needs the
// program's QCoreApplication (or QApplication); without one nothing can be dispatched.
#pragma once

#include <functional>

class QObject;

namespace setwright::serial_detail {

class IoThread {
 public:
  // Started on first use and kept until the process ends: port objects may outlive main().
  static IoThread& Instance();

  // False when there is no QCoreApplication to deliver work to the thread.
  static bool Available();
  bool IsCurrent() const;
  // Runs fn on the I/O thread and waits for it (runs it directly when called there).
  // Returns false, without running fn, when the thread cannot be reached.
  bool RunBlocking(const std::function<void()>& fn);
  // Queues fn for the I/O thread and returns at once.
  bool Post(std::function<void()> fn);
  // The object whose thread affinity is the I/O thread, for parenting and signal contexts.
  QObject* Context() const { return context_; }

 private:
  IoThread();
  QObject* context_ = nullptr;
  void* thread_ = nullptr;  // QThread*
};

}  // namespace setwright::serial_detail
