// Device notifications on Linux: an inotify watch on /dev. The kernel creates and removes
// the node of a serial device as the device comes and goes, and udev then changes its
// owner and mode; every such event is queued before the call that creates or removes the
// node returns, so reading the queue without blocking sees every change made so far.
#include <errno.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "serial/port_listing.h"

namespace setwright {

namespace {

class DeviceDirectoryNotifier : public IPortChangeNotifier {
 public:
  explicit DeviceDirectoryNotifier(int fd) : fd_(fd) {}
  ~DeviceDirectoryNotifier() override { close(fd_); }

  bool TakeChanged() override {
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n > 0) {
        changed = true;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      // EAGAIN: the queue is drained. Anything else means the watch no longer works:
      // take the listing afresh every time rather than miss a port.
      if (n < 0 && errno != EAGAIN) changed = true;
      return changed;
    }
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<IPortChangeNotifier> CreateDeviceNotifier(const std::string& directory) {
  const std::string path = directory.empty() ? "/dev" : directory;
  int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd >= 0) {
    const uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                          IN_DELETE_SELF | IN_MOVE_SELF;
    if (inotify_add_watch(fd, path.c_str(), mask) >= 0) {
      return std::make_unique<DeviceDirectoryNotifier>(fd);
    }
    close(fd);
  }
  return std::make_unique<TimedRefreshNotifier>(1000);
}

}  // namespace setwright
