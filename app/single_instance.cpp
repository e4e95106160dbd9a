#include "app/single_instance.h"

#include <QDir>
#include <QStandardPaths>

namespace setwright {

SingleInstanceGuard::SingleInstanceGuard(QString directory) : directory_(std::move(directory)) {}

SingleInstanceGuard::~SingleInstanceGuard() = default;

SingleInstanceGuard::Result SingleInstanceGuard::Acquire() {
  QString directory = directory_;
  if (directory.isEmpty()) {
    directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  }
  if (directory.isEmpty() || !QDir().mkpath(directory)) return Result::kNoGuard;
  auto lock =
      std::make_unique<QLockFile>(QDir(directory).filePath(QStringLiteral("Setwright.lock")));
  // The program may run for days: only a lock whose process is gone is stale, never an
  // old one.
  lock->setStaleLockTime(0);
  if (lock->tryLock(0)) {
    lock_ = std::move(lock);
    return Result::kFirstCopy;
  }
  return lock->error() == QLockFile::LockFailedError ? Result::kAnotherCopyRuns : Result::kNoGuard;
}

}  // namespace setwright
