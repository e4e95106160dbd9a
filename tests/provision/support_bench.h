// A bench of simulated units on in-process ports, ticked by the test with its own clock:
// no thread, no sleep.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "provision/bench.h"
#include "sim/sim_device.h"
#include "sim/sim_port.h"

namespace setwright::testing {

class TestClock : public IClock {
 public:
  uint32_t NowMs() override { return now.load(); }
  void SleepMs(int ms) override { now += static_cast<uint32_t>(ms); }
  std::atomic<uint32_t> now{1000};
};

// A port that is never there (the new-port object of a serial-to-keyboard session, which
// these tests never see appear).
class AbsentPort : public ISerialPort {
 public:
  void setReadIntervalTimeout(unsigned int) override {}
  void init(const std::string&, int, int, int, int, int, unsigned int) override {}
  bool open() override { return false; }
  bool isOpen() override { return false; }
  void close() override {}
  void setRts(bool) override {}
  void setBaudRate(int) override {}
  void getModemStatus(uint32_t&) override {}
  int writeData(const void*, int) override { return -1; }
  int readData(void*, int) override { return -1; }
  void connectReadEvent(CSerialPortListener*) override {}
  void disconnectReadEvent() override {}
};

// The machine's ports as the test sets them (a unit's own USB port coming and going).
class FixedLister : public IPortLister {
 public:
  explicit FixedLister(std::vector<std::string> names) : names_(std::move(names)) {}
  std::vector<SerialPortInfo> List() override {
    std::lock_guard lock(mutex_);
    std::vector<SerialPortInfo> out;
    for (const auto& name : names_) out.push_back({name, "", ""});
    return out;
  }
  void Set(std::vector<std::string> names) {
    std::lock_guard lock(mutex_);
    names_ = std::move(names);
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> names_;
};

// Units by port name: "SIM1" -> a device of `model` with the given faults. The unit of the
// port "auto" is reached through the session's new-port object, on whatever name its USB
// port comes up with.
struct SimBench : provision::IPortProvider {
  // Adds a unit on a port; returns it.
  sim::SimDevice& Add(const std::string& port, const std::string& model,
                      sim::DeviceOptions options = {});

  std::unique_ptr<ISerialPort> MakePort(const std::string& portName) override;
  IPortLister& Lister(const std::string&) override { return *lister; }

  // Builds the bench for these ports (manual ticks) and starts it.
  provision::Bench& Start(provision::BenchConfig config, provision::ReportFile* report = nullptr,
                          WireTrace* trace = nullptr);
  // Moves the clock 50 ms, lets the units act, ticks every port; n times or until `done`.
  bool TickUntil(const std::function<bool()>& done, int budget = 2000);
  void Ticks(int n);

  TestClock clock;
  std::map<std::string, std::unique_ptr<sim::SimDevice>> devices;
  std::vector<sim::SimPort*> simPorts;
  std::unique_ptr<FixedLister> lister;
  std::vector<std::string>
      machinePorts;  // what the lister starts with; the bench's ports when empty
  std::unique_ptr<provision::Bench> bench;
  std::map<std::string, int> portsMade;
};

// A checked profile: model and settings.
provision::BenchConfig Config(const std::string& model, provision::KeyValues settings,
                              std::vector<std::string> ports);

}  // namespace setwright::testing
