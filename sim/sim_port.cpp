#include "sim/sim_port.h"

#include <algorithm>
#include <utility>

namespace setwright::sim {

namespace {

bool Reached(uint32_t due, uint32_t now) {
  return static_cast<int32_t>(now - due) >= 0;
}

}  // namespace

SimPort::SimPort(DeviceModel& device, std::string portName, uint32_t startMs)
    : device_(device), name_(std::move(portName)), now_(startMs) {
  device_.Attach(this);
}

SimPort::~SimPort() {
  device_.Attach(nullptr);
}

void SimPort::SetOpenFails(bool fails) {
  std::lock_guard lock(mu_);
  openFails_ = fails;
}

uint32_t SimPort::Now() const {
  std::lock_guard lock(mu_);
  return now_;
}

bool SimPort::ReportDue(uint32_t now, uint32_t* due) const {
  if (arriving_.empty()) return false;
  *due = lastArrival_ + readInterval_;
  return Reached(*due, now);
}

int SimPort::MsUntilNextEvent() const {
  uint32_t now;
  int best = -1;
  {
    std::lock_guard lock(mu_);
    now = now_;
    if (!arriving_.empty()) {
      best = std::max<int32_t>(0, static_cast<int32_t>(lastArrival_ + readInterval_ - now));
    }
  }
  const int device = device_.MsUntilNextEvent(now);
  if (device >= 0 && (best < 0 || device < best)) best = device;
  return best;
}

void SimPort::Advance(uint32_t nowMs) {
  for (;;) {
    uint32_t current;
    {
      std::lock_guard lock(mu_);
      current = now_;
    }
    const int deviceMs = device_.MsUntilNextEvent(current);
    const uint32_t deviceAt = current + static_cast<uint32_t>(std::max(deviceMs, 0));
    const bool deviceDue = deviceMs >= 0 && Reached(deviceAt, nowMs);
    uint32_t reportAt = 0;
    bool reportDue;
    {
      std::lock_guard lock(mu_);
      reportDue = ReportDue(nowMs, &reportAt);
    }
    if (!deviceDue && !reportDue) break;
    // A report due at the same moment as the device's next bytes goes first: the line was
    // quiet for the whole interval.
    if (reportDue && (!deviceDue || static_cast<int32_t>(reportAt - deviceAt) <= 0)) {
      {
        std::lock_guard lock(mu_);
        if (static_cast<int32_t>(reportAt - now_) > 0) now_ = reportAt;
      }
      Report();
    } else {
      {
        std::lock_guard lock(mu_);
        now_ = deviceAt;
      }
      device_.Advance(deviceAt);
    }
  }
  {
    std::lock_guard lock(mu_);
    now_ = nowMs;
  }
  device_.Advance(nowMs);
}

void SimPort::Report() {
  CSerialPortListener* listener;
  unsigned int held;
  std::string name;
  {
    std::lock_guard lock(mu_);
    const size_t room = receiveStore_ > held_.size() ? receiveStore_ - held_.size() : 0;
    held_ += arriving_.substr(0, room);
    arriving_.clear();
    listener = listener_;
    held = static_cast<unsigned int>(held_.size());
    name = name_;
  }
  if (listener && held > 0) listener->onReadEvent(name.c_str(), held);
}

std::string SimPort::TakeWritten() {
  std::lock_guard lock(mu_);
  return std::exchange(written_, {});
}

bool SimPort::Rts() const {
  std::lock_guard lock(mu_);
  return rts_;
}

int SimPort::OpenCount() const {
  std::lock_guard lock(mu_);
  return openCount_;
}

void SimPort::setReadIntervalTimeout(unsigned int ms) {
  std::lock_guard lock(mu_);
  readInterval_ = ms;
}

void SimPort::init(const std::string& portName, int baudRate, int parity, int dataBits,
                   int stopBits, int, unsigned int readBufferSize) {
  std::lock_guard lock(mu_);
  if (open_) return;
  name_ = portName;
  line_ = {baudRate, dataBits, parity, stopBits};
  receiveStore_ = readBufferSize;
}

bool SimPort::open() {
  LineSettings line;
  uint32_t now;
  {
    std::lock_guard lock(mu_);
    if (open_) return true;
    if (openFails_) return false;
    open_ = true;
    ++openCount_;
    line = line_;
    now = now_;
  }
  device_.OnLineSettings(line, now);
  return true;
}

bool SimPort::isOpen() {
  std::lock_guard lock(mu_);
  return open_;
}

void SimPort::close() {
  uint32_t now;
  {
    std::lock_guard lock(mu_);
    if (!open_) return;
    open_ = false;
    rts_ = false;
    arriving_.clear();
    held_.clear();
    now = now_;
  }
  device_.OnRts(false, now);
}

void SimPort::setRts(bool on) {
  uint32_t now;
  {
    std::lock_guard lock(mu_);
    if (!open_) return;
    rts_ = on;
    now = now_;
  }
  device_.OnRts(on, now);
}

void SimPort::setBaudRate(int baudRate) {
  LineSettings line;
  uint32_t now;
  {
    std::lock_guard lock(mu_);
    if (!open_) return;
    line_.baudRate = baudRate;
    line = line_;
    now = now_;
  }
  device_.OnLineSettings(line, now);
}

void SimPort::getModemStatus(uint32_t& status) {
  std::lock_guard lock(mu_);
  if (open_) status = modemLines_;
}

int SimPort::writeData(const void* data, int size) {
  std::string bytes;
  uint32_t now;
  {
    std::lock_guard lock(mu_);
    if (!open_) return -1;
    if (size <= 0) return 0;
    bytes.assign(static_cast<const char*>(data), static_cast<size_t>(size));
    written_ += bytes;
    now = now_;
  }
  device_.OnHostBytes(bytes, now);
  return size;
}

int SimPort::readData(void* data, int size) {
  std::lock_guard lock(mu_);
  if (!open_) return -1;
  const size_t count = std::min(held_.size(), static_cast<size_t>(std::max(size, 0)));
  std::copy_n(held_.data(), count, static_cast<char*>(data));
  held_.erase(0, count);
  return static_cast<int>(count);
}

void SimPort::connectReadEvent(CSerialPortListener* listener) {
  std::lock_guard lock(mu_);
  listener_ = listener;
}

void SimPort::disconnectReadEvent() {
  std::lock_guard lock(mu_);
  listener_ = nullptr;
}

void SimPort::Send(const std::string& bytes) {
  std::lock_guard lock(mu_);
  if (!open_) return;
  arriving_ += bytes;
  lastArrival_ = now_;
}

void SimPort::SetModemLines(uint32_t lines) {
  std::lock_guard lock(mu_);
  modemLines_ = lines;
}

}  // namespace setwright::sim
