// A listener that records every report and the bytes it read, for the port tests.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "serial/serial_port.h"

namespace setwright::testing {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Generous: these waits end on real events, the limit only stops a broken build hanging.
inline constexpr milliseconds kEventTimeout{5000};

struct Report {
  Clock::time_point at;
  unsigned int count = 0;
  int read = 0;  // readData's result inside the report
};

class RecordingListener : public CSerialPortListener {
 public:
  // readLimit: the most bytes read per report (the rest is left in the port's store).
  explicit RecordingListener(ISerialPort& port, int readLimit = 1 << 20)
      : port_(port), readLimit_(readLimit) {}
  // Waits for a report in progress to end; the port must outlive its listener.
  ~RecordingListener() override { port_.disconnectReadEvent(); }

  void onReadEvent(const char* portName, unsigned int count) override;

  void SetReadLimit(int limit);
  // Called inside each report before reading; may block to hold the report up.
  void SetBeforeRead(std::function<void()> hook);
  bool WaitForBytes(size_t total, milliseconds timeout = kEventTimeout);
  bool WaitForReports(size_t reports, milliseconds timeout = kEventTimeout);
  std::vector<Report> Reports();
  std::string Received();
  std::string PortName();
  int MaxConcurrentReports() const { return maxActive_; }

 private:
  ISerialPort& port_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int readLimit_;
  std::function<void()> beforeRead_;
  std::vector<Report> reports_;
  std::string received_;
  std::string portName_;
  std::atomic<int> active_{0};
  std::atomic<int> maxActive_{0};
};

// Polls cond until it holds or the time-out passes.
bool Eventually(const std::function<bool()>& cond, milliseconds timeout = kEventTimeout);

}  // namespace setwright::testing
