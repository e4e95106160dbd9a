// Provisioning on many ports at once: "apply" (each port once) and the station (unit after
// unit, until asked to stop).
//
// Each port runs a session of its own, the engine as the pages use it, ticked by a PollThread
// of its own; what the bench adds (entering, writing the profile's differences, verifying,
// recognising the next unit) runs on that thread right after each tick. One port that is
// slow, silent or unplugged therefore never holds up another.
//
// A test gives manualTicks and calls TickAll itself with its own clock; nothing then runs on
// a thread of the bench's own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "provision/profile.h"
#include "provision/unit_result.h"
#include "serial/serial_port.h"
#include "serial/serial_port_info.h"
#include "serial/wire_trace.h"
#include "session/session_ui.h"

namespace setwright::provision {

// The port name "auto": the unit's own USB port, as it comes up (serial-to-keyboard models).
inline constexpr const char* kAutoPort = "auto";

struct BenchConfig {
  Profile profile;  // checked (CheckProfile)
  const ModelTable* model = nullptr;
  std::vector<std::string> ports;
  bool enter = false;   // send the program-mode command without waiting for a power restart
  bool verify = false;  // read the settings back after the unit's restart
  bool station = false;
  // apply: how long each port may take in all; station: how long one unit may take once it
  // answered.
  double waitSeconds = 60;
};

// Where the bench gets its port objects and listing from (the real ones, or a test's).
class IPortProvider {
 public:
  virtual ~IPortProvider() = default;
  // A new port object for the port named `portName` (the new-port object of a
  // serial-to-keyboard session is asked for with the same name).
  virtual std::unique_ptr<ISerialPort> MakePort(const std::string& portName) = 0;
  // The listing a session of that port watches for a unit's own port.
  virtual IPortLister& Lister(const std::string& portName) = 0;
};

// The system's ports, traced where a trace is given.
class SystemPorts : public IPortProvider {
 public:
  explicit SystemPorts(WireTrace* trace) : trace_(trace) {}
  std::unique_ptr<ISerialPort> MakePort(const std::string& portName) override;
  IPortLister& Lister(const std::string& portName) override;

 private:
  WireTrace* trace_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<ListingWithPort>> listings_;
};

enum class Phase {
  WaitingPower,  // waiting for a unit to be switched on (or for "Enter Prog Mode")
  Entering,      // program-mode command sent, dump awaited
  Writing,       // "Save and Reset" running
  Verifying,     // waiting for the unit's restart and reading it back
  NextUnit,      // station: the unit is done; its own restart is let pass
  Ended,
};

struct PortStatus {
  std::string port;
  Phase phase = Phase::WaitingPower;
  int written = 0;  // while writing: settings sent so far, of toWrite
  int toWrite = 0;
  std::string note;         // the last red report while waiting, the reason once failed
  double secondsLeft = -1;  // apply: time left of --wait; -1 where no limit runs
  int ok = 0, failed = 0;   // units of this port
  bool lastFailed = false;  // the last unit or the run of this port failed
};

// "waiting for power restart", "entering", "writing 3 of 11", "verifying", "done",
// "failed: why".
std::string PhaseText(const PortStatus& status);

struct BenchEvent {
  enum Kind { Progress, Result } kind = Progress;
  PortStatus status;  // Progress: the port's new status
  UnitResult result;  // Result
};

struct BenchDeps {
  IPortProvider* ports = nullptr;
  IClock* clock = nullptr;       // the system clock when null
  ReportFile* report = nullptr;  // --report
  WireTrace* trace = nullptr;    // the session's reports go into it too
  bool manualTicks = false;
};

class Bench {
 public:
  Bench(BenchConfig config, BenchDeps deps);
  ~Bench();
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  // Opens every port's session (and starts its PollThread unless ticks are manual).
  void Start();
  // One tick of every port that has not ended, in port order (manual ticks only).
  void TickAll();
  // Station: ports with no unit in progress end now, the others after their unit. A second
  // call (or Abort) ends every port at once.
  void RequestStop();
  void Abort();
  bool Finished() const;
  // Waits until every port has ended or `ms` passed; true when finished.
  bool WaitFinished(int ms);

  std::vector<PortStatus> Statuses() const;
  // Progress and results since the last call, in the order they happened.
  std::vector<BenchEvent> TakeEvents();
  std::vector<UnitResult> Results() const;
  int OkCount() const;
  int FailedCount() const;
  // Apply: every port succeeded. Station: no unit failed.
  bool AllOk() const;
  // Some unit failed, and every failure was a port that cannot be opened.
  bool OnlyPortsThatCannotOpenFailed() const;
  // A problem with the report file, if one came up.
  std::string ReportError() const;

  class PortRun;

 private:
  friend class PortRun;
  void Publish(BenchEvent event);  // from a port's thread
  int NextUnitNumber();

  BenchConfig config_;
  BenchDeps deps_;
  std::vector<std::unique_ptr<PortRun>> runs_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<BenchEvent> events_;
  std::vector<UnitResult> results_;
  std::string reportError_;
  int units_ = 0;
  std::atomic<int> stopRequests_{0};
};

}  // namespace setwright::provision
