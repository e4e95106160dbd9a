// The listers behind CSerialPortInfo: the plain system listing, and the listing kept in
// memory that the system lister serves from. Used directly by the benchmark and tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serial/serial_port_info.h"

namespace setwright {

// Every local serial port the system enumerates, taken afresh on every call (about 15 ms
// through Qt Serial Port on Linux). On systems with device paths, ports whose device
// node is already gone are left out.
class SystemPortLister : public IPortLister {
 public:
  std::vector<SerialPortInfo> List() override;
};

// Tells the cached listing when to take the listing afresh.
class IPortChangeNotifier {
 public:
  virtual ~IPortChangeNotifier() = default;
  // True when serial devices may have been added or removed since the last call. Must not
  // block; a change made before the call is reported by that call.
  virtual bool TakeChanged() = 0;
};

// Watches the directory of device nodes (/dev) and reports any entry created, removed,
// renamed or changed in it. Falls back to a timed refresh where the system offers no
// such watch. `directory` is for tests; the default is the system's device directory.
std::unique_ptr<IPortChangeNotifier> CreateDeviceNotifier(const std::string& directory = {});

// Reports a change once every `periodMs` of the given clock: the fallback for systems
// whose device notifications are not used.
class TimedRefreshNotifier : public IPortChangeNotifier {
 public:
  using Clock = std::function<int64_t()>;  // milliseconds, monotonic
  explicit TimedRefreshNotifier(int64_t periodMs, Clock now = SteadyMilliseconds);
  bool TakeChanged() override;
  static int64_t SteadyMilliseconds();

 private:
  int64_t periodMs_;
  Clock now_;
  bool started_ = false;
  int64_t last_ = 0;
};

// A listing kept in memory: the source is asked again only when the notifier reports a
// change (and on first use). Thread-safe.
class CachedPortLister : public IPortLister {
 public:
  CachedPortLister(IPortLister& source, std::unique_ptr<IPortChangeNotifier> notifier);
  std::vector<SerialPortInfo> List() override;

 private:
  std::mutex mutex_;
  IPortLister& source_;
  std::unique_ptr<IPortChangeNotifier> notifier_;
  bool valid_ = false;
  std::vector<SerialPortInfo> listing_;
};

}  // namespace setwright
