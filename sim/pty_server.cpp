#include "sim/pty_server.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#endif

namespace setwright::sim {

#ifndef _WIN32

struct PtyServer::Impl : IDeviceLink {
  explicit Impl(DeviceModel& d) : device(d) {}

  DeviceModel& device;
  int master = -1;
  int keepSlave = -1;  // held open so the master reads no hang-up while nobody has the port
  std::string slavePath;
  std::thread thread;
  std::atomic<bool> stopping{false};
  std::chrono::steady_clock::time_point startedAt;

  std::mutex outMutex;
  std::string outbox;  // device -> host, written by the serving thread

  uint32_t Now() const {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - startedAt)
                                     .count());
  }

  // IDeviceLink: any thread.
  void Send(const std::string& bytes) override {
    std::lock_guard lock(outMutex);
    outbox += bytes;
  }
  void SetModemLines(uint32_t) override {}  // a pseudo-terminal has none

  void Serve() {
    char buffer[4096];
    while (!stopping.load()) {
      const uint32_t now = Now();
      device.Advance(now);
      std::string out;
      {
        std::lock_guard lock(outMutex);
        out.swap(outbox);
      }
      size_t done = 0;
      while (done < out.size() && !stopping.load()) {
        const ssize_t n = ::write(master, out.data() + done, out.size() - done);
        if (n > 0) {
          done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
          break;
        } else {
          // Nobody reads the port: the bytes go out on a line with nothing attached.
          pollfd writable{master, POLLOUT, 0};
          if (::poll(&writable, 1, 10) <= 0) break;
        }
      }
      int wait = device.MsUntilNextEvent(Now());
      if (wait < 0 || wait > 10) wait = 10;
      pollfd readable{master, POLLIN, 0};
      if (::poll(&readable, 1, wait) > 0 && (readable.revents & POLLIN)) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) device.OnHostBytes(std::string(buffer, static_cast<size_t>(n)), Now());
      }
    }
  }
};

PtyServer::PtyServer(DeviceModel& device) : impl_(std::make_unique<Impl>(device)) {}

PtyServer::~PtyServer() {
  Stop();
}

bool PtyServer::Start(std::string* error) {
  Impl& d = *impl_;
  auto fail = [&](const char* step) {
    if (error) *error = std::string(step) + ": " + std::strerror(errno);
    if (d.master >= 0) ::close(d.master);
    d.master = -1;
    return false;
  };
  d.master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (d.master < 0) return fail("posix_openpt");
  if (::grantpt(d.master) != 0 || ::unlockpt(d.master) != 0) return fail("grantpt");
  const char* name = ::ptsname(d.master);
  if (!name) return fail("ptsname");
  d.slavePath = name;
  ::fcntl(d.master, F_SETFL, ::fcntl(d.master, F_GETFL) | O_NONBLOCK);
  // The line as a serial port's: raw bytes both ways, nothing echoed or translated.
  d.keepSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (d.keepSlave < 0) return fail("open");
  termios tio{};
  if (::tcgetattr(d.keepSlave, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B9600);
    ::tcsetattr(d.keepSlave, TCSANOW, &tio);
  }
  d.startedAt = std::chrono::steady_clock::now();
  d.device.Attach(&d);
  LineSettings line;
  d.device.OnLineSettings(line, 0);
  d.device.OnRts(true, 0);
  d.stopping = false;
  d.thread = std::thread([&d] { d.Serve(); });
  return true;
}

void PtyServer::Stop() {
  Impl& d = *impl_;
  if (!d.thread.joinable()) return;
  d.stopping = true;
  d.thread.join();
  d.device.Attach(nullptr);
  ::close(d.keepSlave);
  ::close(d.master);
  d.keepSlave = d.master = -1;
}

std::string PtyServer::SlavePath() const {
  return impl_->slavePath;
}

#else  // no pseudo-terminals

struct PtyServer::Impl {
  explicit Impl(DeviceModel&) {}
};
PtyServer::PtyServer(DeviceModel& device) : impl_(std::make_unique<Impl>(device)) {}
PtyServer::~PtyServer() = default;
bool PtyServer::Start(std::string* error) {
  if (error) *error = "this system has no pseudo-terminals";
  return false;
}
void PtyServer::Stop() {}
std::string PtyServer::SlavePath() const {
  return {};
}

#endif

}  // namespace setwright::sim
