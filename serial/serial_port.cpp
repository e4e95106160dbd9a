// The port object: settings, the receive store, the reports to the listener and the hand-off
// of every port operation to the serial I/O thread.
//
// Locking: one mutex per port object. It guards the store, the open state and the listener,
// and it is held around every transport operation. Operations that need the I/O thread take
// it there, never while waiting for that thread, so the I/O thread (which takes it to add
// received bytes) and a caller can never wait for each other. It is recursive because a
// transport operation may call back into the port on the same thread: Qt's waiting for a
// write also reads, and a failed write reports the connection lost.
#include "serial/serial_port.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "serial/serial_io_thread.h"
#include "serial/serial_transport.h"

namespace setwright {

using serial_detail::IoThread;
using serial_detail::Transport;
using Clock = std::chrono::steady_clock;

namespace {
constexpr unsigned int kDefaultStoreSize = 4096;
constexpr unsigned int kDefaultReadIntervalMs = 50;
// Connection and option negotiation of a network port together.
constexpr int kNetworkOpenTimeoutMs = 3000;
}  // namespace

struct CSerialPort::Impl : serial_detail::ReceiveSink {
  std::recursive_mutex mutex;
  std::condition_variable_any reportWake;   // new bytes, a stop, or a changed interval
  std::condition_variable_any stateChange;  // a network opening finished, a report ended

  // Guarded by mutex.
  std::string portName;
  rfc2217::PortSettings settings;
  size_t storeSize = kDefaultStoreSize;
  std::chrono::milliseconds readInterval{kDefaultReadIntervalMs};
  bool open = false;
  int openOutcome = 0;      // network opening: 0 pending, 1 ready, -1 failed
  bool opening = false;     // open() is waiting for a network port's outcome
  OpenError lastError;      // why the last opening failed
  uint64_t generation = 0;  // counts openings and closings; stale callbacks compare it
  std::deque<char> store;
  bool burstPending = false;
  Clock::time_point lastByteAt;
  CSerialPortListener* listener = nullptr;
  bool reporting = false;
  bool stopping = false;

  std::thread reporter;
  std::thread::id reporterId;

  // Only touched on the I/O thread.
  std::unique_ptr<Transport> transport;

  ~Impl() override {
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    reportWake.notify_all();
    if (reporter.joinable()) {
      if (std::this_thread::get_id() == reporterId) {
        reporter.detach();  // destroyed from its own listener: cannot wait for itself
      } else {
        reporter.join();
      }
    }
  }

  // ReceiveSink, called on the I/O thread.
  size_t FreeSpace() override {
    std::lock_guard lock(mutex);
    return open && store.size() < storeSize ? storeSize - store.size() : 0;
  }

  void Receive(const char* data, size_t size) override {
    {
      std::lock_guard lock(mutex);
      if (!open) return;
      const size_t take = std::min(size, storeSize - std::min(storeSize, store.size()));
      store.insert(store.end(), data, data + take);
      burstPending = true;
      lastByteAt = Clock::now();
    }
    reportWake.notify_all();
  }

  void OpenFinished(bool ok, const OpenError& why) override {
    {
      std::lock_guard lock(mutex);
      if (openOutcome == 0) {
        openOutcome = ok ? 1 : -1;
        open = ok;
        lastError = why;
      }
    }
    stateChange.notify_all();
  }

  void ConnectionLost() override {
    {
      std::lock_guard lock(mutex);
      MarkClosed();
    }
    // The transport is inside its own callback: let it unwind before it goes.
    if (transport) {
      std::shared_ptr<Transport> gone(std::move(transport));
      IoThread::Instance().Post([gone] {});
    }
  }

  void MarkClosed() {
    open = false;
    ++generation;
    store.clear();
    burstPending = false;
  }

  void StartReporter() {
    if (reporter.joinable()) return;
    reporter = std::thread([this] { ReportLoop(); });
    reporterId = reporter.get_id();
  }

  // Tells the listener about held bytes once the line has been quiet for the read interval,
  // or at once when the store is full. One report at a time.
  void ReportLoop() {
    std::unique_lock lock(mutex);
    while (!stopping) {
      if (!burstPending) {
        reportWake.wait(lock);
        continue;
      }
      if (store.size() < storeSize) {
        const auto due = lastByteAt + readInterval;
        if (Clock::now() < due) {
          reportWake.wait_until(lock, due);
          continue;
        }
      }
      burstPending = false;
      CSerialPortListener* target = listener;
      const unsigned int count = static_cast<unsigned int>(store.size());
      if (!target || count == 0 || !open) continue;
      const std::string name = portName;
      reporting = true;
      lock.unlock();
      target->onReadEvent(name.c_str(), count);
      lock.lock();
      reporting = false;
      stateChange.notify_all();
    }
  }

  // Runs fn on the I/O thread with the lock held and the transport present.
  template <typename Fn>
  bool WithTransport(Fn fn) {
    bool done = false;
    IoThread::Instance().RunBlocking([&] {
      std::lock_guard lock(mutex);
      if (open && transport) {
        fn(*transport);
        done = true;
      }
    });
    return done;
  }

  void CloseTransport() {
    IoThread::Instance().RunBlocking([&] {
      std::unique_ptr<Transport> gone;
      {
        std::lock_guard lock(mutex);
        MarkClosed();
        gone = std::move(transport);
      }
      // Destroyed outside the lock: closing a port may wait for written bytes to drain.
      gone.reset();
    });
  }
};

CSerialPort::CSerialPort() : impl_(std::make_unique<Impl>()) {}

CSerialPort::~CSerialPort() {
  close();
  impl_.reset();
}

void CSerialPort::setReadIntervalTimeout(unsigned int ms) {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->readInterval = std::chrono::milliseconds(ms);
  }
  impl_->reportWake.notify_all();
}

void CSerialPort::init(const std::string& portName, int baudRate, int parity, int dataBits,
                       int stopBits, int flowControl, unsigned int readBufferSize) {
  std::lock_guard lock(impl_->mutex);
  if (impl_->open) return;
  impl_->portName = portName;
  impl_->settings = {baudRate, dataBits, parity, stopBits, flowControl};
  impl_->storeSize = readBufferSize > 0 ? readBufferSize : kDefaultStoreSize;
  impl_->store.clear();
  impl_->burstPending = false;
}

bool CSerialPort::open() {
  Impl& d = *impl_;
  if (isOpen()) {
    // Opening an open port fails and leaves it closed, as the callers expect.
    close();
    return false;
  }
  if (!IoThread::Available()) {
    std::lock_guard lock(d.mutex);
    d.lastError = {OpenFailure::Other, "the program has no application object"};
    return false;
  }
  std::string name;
  rfc2217::PortSettings settings;
  size_t storeSize;
  {
    std::lock_guard lock(d.mutex);
    d.StartReporter();
    name = d.portName;
    settings = d.settings;
    storeSize = d.storeSize;
  }
  const bool network = serial_detail::IsNetworkPortName(name);
  bool started = false;
  IoThread::Instance().RunBlocking([&] {
    std::unique_ptr<Transport> transport =
        network ? serial_detail::MakeNetworkTransport(name, settings, storeSize,
                                                      kNetworkOpenTimeoutMs, d)
                : serial_detail::MakeLocalTransport(name, settings, storeSize, d);
    {
      std::lock_guard lock(d.mutex);
      d.store.clear();
      d.burstPending = false;
      d.openOutcome = 0;
      d.lastError = {};
      d.opening = network;
      ++d.generation;
    }
    if (!transport->Open()) {
      std::lock_guard lock(d.mutex);
      d.lastError = transport->OpenFailureReason();
      d.opening = false;
      return;
    }
    started = true;
    std::lock_guard lock(d.mutex);
    d.transport = std::move(transport);
    d.open = !network;
  });
  if (!started) return false;
  if (!network) return true;

  // The I/O thread keeps working on the connection meanwhile; its own time-out ends the
  // wait, and so does close() from another thread.
  std::unique_lock lock(d.mutex);
  d.stateChange.wait_for(lock, std::chrono::milliseconds(kNetworkOpenTimeoutMs + 2000),
                         [&] { return d.openOutcome != 0; });
  d.opening = false;
  if (d.openOutcome == 0) {
    d.openOutcome = -1;
    d.lastError = {OpenFailure::TimedOut, "the server does not answer"};
  }
  if (d.openOutcome > 0) return d.open;  // the connection may already be lost again
  lock.unlock();
  d.CloseTransport();
  return false;
}

bool CSerialPort::isOpen() {
  std::lock_guard lock(impl_->mutex);
  return impl_->open;
}

void CSerialPort::close() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->MarkClosed();
    if (impl_->opening && impl_->openOutcome == 0) {
      // An opening waiting for its server on another thread ends now, failed.
      impl_->openOutcome = -1;
      impl_->lastError = {OpenFailure::Other, "closed while opening"};
    }
  }
  impl_->stateChange.notify_all();
  impl_->CloseTransport();
}

OpenError CSerialPort::lastOpenError() {
  std::lock_guard lock(impl_->mutex);
  return impl_->lastError;
}

void CSerialPort::setRts(bool on) {
  impl_->WithTransport([&](Transport& t) { t.SetRts(on); });
}

void CSerialPort::setBaudRate(int baudRate) {
  impl_->WithTransport([&](Transport& t) {
    impl_->settings.baudRate = baudRate;
    t.SetBaudRate(baudRate);
  });
}

void CSerialPort::getModemStatus(uint32_t& status) {
  // Asked every tick of an open page: read on the caller's thread, without a round trip to
  // the I/O thread. The lock keeps the transport from going meanwhile.
  std::lock_guard lock(impl_->mutex);
  if (!impl_->open || !impl_->transport) return;
  if (const std::optional<uint32_t> lines = impl_->transport->ModemLinesFromAnyThread()) {
    status = *lines & (kModemCts | kModemDsr | kModemRing | kModemDcd);
  }
}

int CSerialPort::writeData(const void* data, int size) {
  if (!data || size < 0) return -1;
  int written = -1;
  impl_->WithTransport([&](Transport& t) {
    written = size == 0 ? 0 : t.Write(static_cast<const char*>(data), size);
  });
  return written;
}

int CSerialPort::readData(void* data, int size) {
  Impl& d = *impl_;
  bool wasFull;
  int copied;
  {
    std::lock_guard lock(d.mutex);
    if (!d.open) return -1;
    if (!data || size <= 0) return 0;
    wasFull = d.store.size() >= d.storeSize;
    copied = static_cast<int>(std::min(d.store.size(), static_cast<size_t>(size)));
    std::copy_n(d.store.begin(), copied, static_cast<char*>(data));
    d.store.erase(d.store.begin(), d.store.begin() + copied);
    if (!wasFull || copied == 0) return copied;
  }
  // Bytes may be waiting behind a full store: fetch them now that there is room.
  const uint64_t generation = [&] {
    std::lock_guard lock(d.mutex);
    return d.generation;
  }();
  // Runs before any later close, whose work is queued behind it on the same thread.
  IoThread::Instance().Post([&d, generation] {
    std::lock_guard lock(d.mutex);
    if (d.open && d.generation == generation && d.transport) d.transport->Pull();
  });
  return copied;
}

void CSerialPort::connectReadEvent(CSerialPortListener* listener) {
  std::lock_guard lock(impl_->mutex);
  impl_->listener = listener;
}

void CSerialPort::disconnectReadEvent() {
  std::unique_lock lock(impl_->mutex);
  impl_->listener = nullptr;
  // A listener may be going away: let a report in progress end first, unless this is
  // that report calling.
  if (std::this_thread::get_id() != impl_->reporterId) {
    impl_->stateChange.wait(lock, [&] { return !impl_->reporting; });
  }
}

}  // namespace setwright

namespace setwright {

std::string DescribeOpenError(const std::string& portName, const OpenError& error) {
  if (error.reason == OpenFailure::None) return {};
  const char* remedy = nullptr;
  switch (error.reason) {
    case OpenFailure::PermissionDenied:
#ifdef _WIN32
      remedy = "ask your administrator for access to the port";
#else
      remedy = "add your user to the 'dialout' group and log in again";
#endif
      break;
    case OpenFailure::NoSuchPort:
      remedy = "check the cable and the port's name";
      break;
    case OpenFailure::Busy:
      remedy = "another program is using the port; close it";
      break;
    case OpenFailure::Refused:
      remedy = "check the server's address and port, and that it serves this port";
      break;
    case OpenFailure::Unreachable:
      remedy = "check the network connection to the server";
      break;
    case OpenFailure::TimedOut:
      remedy = "check that the server is on and reachable";
      break;
    case OpenFailure::NameNotResolved:
      remedy = "check the server's host name";
      break;
    case OpenFailure::None:
    case OpenFailure::Other:
      break;
  }
  std::string line = portName + ": " + (error.text.empty() ? "cannot be opened" : error.text);
  if (remedy) line += std::string(" - ") + remedy;
  return line;
}

}  // namespace setwright
