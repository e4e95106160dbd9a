#include "support_listener.h"

#include <algorithm>
#include <thread>

namespace setwright::testing {

void RecordingListener::onReadEvent(const char* portName, unsigned int count) {
  const int active = ++active_;
  int seen = maxActive_;
  while (active > seen && !maxActive_.compare_exchange_weak(seen, active)) {
  }
  std::function<void()> hook;
  int limit;
  {
    std::lock_guard lock(mutex_);
    hook = beforeRead_;
    limit = readLimit_;
    portName_ = portName;
  }
  if (hook) hook();
  std::string bytes(static_cast<size_t>(std::min<long>(count, limit)), '\0');
  const int got = bytes.empty() ? 0 : port_.readData(bytes.data(), static_cast<int>(bytes.size()));
  {
    std::lock_guard lock(mutex_);
    reports_.push_back({Clock::now(), count, got});
    if (got > 0) received_.append(bytes.data(), static_cast<size_t>(got));
  }
  --active_;
  changed_.notify_all();
}

void RecordingListener::SetReadLimit(int limit) {
  std::lock_guard lock(mutex_);
  readLimit_ = limit;
}

void RecordingListener::SetBeforeRead(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  beforeRead_ = std::move(hook);
}

bool RecordingListener::WaitForBytes(size_t total, milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return received_.size() >= total; });
}

bool RecordingListener::WaitForReports(size_t reports, milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return reports_.size() >= reports; });
}

std::vector<Report> RecordingListener::Reports() {
  std::lock_guard lock(mutex_);
  return reports_;
}

std::string RecordingListener::Received() {
  std::lock_guard lock(mutex_);
  return received_;
}

std::string RecordingListener::PortName() {
  std::lock_guard lock(mutex_);
  return portName_;
}

bool Eventually(const std::function<bool()>& cond, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!cond()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(milliseconds(2));
  }
  return true;
}

}  // namespace setwright::testing
