// The guard that keeps a user from running two copies of the program at once: a lock
// file in the user's own runtime directory, so that copies of other users are not
// blocked. The lock records the holder's process; a lock left by a copy that crashed is
// recognised as stale and taken over. Needs a QCoreApplication.
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace setwright {

class SingleInstanceGuard {
 public:
  enum class Result {
    kFirstCopy,        // this copy holds the guard until it ends
    kAnotherCopyRuns,  // a running copy of this user holds it
    kNoGuard,          // the guard could not be set up; run as the first copy
  };

  // `directory` holds the lock; empty for the user's runtime directory.
  explicit SingleInstanceGuard(QString directory = {});
  ~SingleInstanceGuard();

  Result Acquire();

 private:
  QString directory_;
  std::unique_ptr<QLockFile> lock_;
};

}  // namespace setwright
