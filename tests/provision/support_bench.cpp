#include "support_bench.h"

#include <gtest/gtest.h>

namespace setwright::testing {

sim::SimDevice& SimBench::Add(const std::string& port, const std::string& model,
                              sim::DeviceOptions options) {
  devices[port] = sim::SimDevice::Create(model, options);
  return *devices[port];
}

std::unique_ptr<ISerialPort> SimBench::MakePort(const std::string& portName) {
  // The first object asked for a port is its selected port, wired to the unit; for "auto" it
  // is the second, the new-port object.
  const int made = portsMade[portName]++;
  if (made != (portName == provision::kAutoPort ? 1 : 0)) return std::make_unique<AbsentPort>();
  auto port = std::make_unique<sim::SimPort>(*devices.at(portName), portName, clock.now);
  simPorts.push_back(port.get());
  return port;
}

provision::Bench& SimBench::Start(provision::BenchConfig config, provision::ReportFile* report,
                                  WireTrace* trace) {
  lister = std::make_unique<FixedLister>(machinePorts.empty() ? config.ports : machinePorts);
  provision::BenchDeps deps;
  deps.ports = this;
  deps.clock = &clock;
  deps.report = report;
  deps.trace = trace;
  deps.manualTicks = true;
  bench = std::make_unique<provision::Bench>(std::move(config), deps);
  bench->Start();
  return *bench;
}

void SimBench::Ticks(int n) {
  for (int i = 0; i < n; ++i) {
    clock.now += 50;
    for (sim::SimPort* port : simPorts) port->Advance(clock.now);
    bench->TickAll();
  }
}

bool SimBench::TickUntil(const std::function<bool()>& done, int budget) {
  for (int i = 0; i < budget; ++i) {
    if (done()) return true;
    Ticks(1);
  }
  return done();
}

provision::BenchConfig Config(const std::string& model, provision::KeyValues settings,
                              std::vector<std::string> ports) {
  provision::Profile profile{model, std::move(settings)};
  std::string error;
  provision::BenchConfig config;
  config.model = provision::CheckProfile(profile, error);
  EXPECT_NE(config.model, nullptr) << error;
  config.profile = profile;
  config.ports = std::move(ports);
  config.waitSeconds = 20;
  return config;
}

}  // namespace setwright::testing
