// Cost of watching the serial ports the way the serial-to-keyboard pages do: one listing
// every 50 ms for as long as a page is open. Prints the cost per call and the share of
// one core at 20 calls a second, for the listing taken afresh and the cached listing.
//
//   port_listing_bench [seconds-per-measurement]
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "serial/port_listing.h"
#include "serial/serial_port_info.h"

namespace {

using setwright::IPortLister;

// Processor time of the whole process, so that helper threads would count too.
double CpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// `call` returns the number of ports it saw.
void Measure(const char* label, const std::function<size_t()>& call, double seconds) {
  call();  // first use builds caches and loads libraries
  const double start = CpuSeconds();
  long calls = 0;
  size_t ports = 0;
  while (CpuSeconds() - start < seconds) {
    ports = call();
    ++calls;
  }
  const double perCall = (CpuSeconds() - start) / static_cast<double>(calls);
  std::printf("%-28s %10.3f us/call %9.4f %% of one core at 20 Hz  (%zu ports, %ld calls)\n", label,
              perCall * 1e6, perCall * 20.0 * 100.0, ports, calls);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  setwright::SystemPortLister plain;
  setwright::CachedPortLister cached(plain, setwright::CreateDeviceNotifier());
  std::printf("goal: at most 0.2 %% of one core at 20 Hz\n");
  const auto listing = [](IPortLister& lister) {
    return [&lister] { return lister.List().size(); };
  };
  Measure("plain (taken afresh)", listing(plain), seconds);
  Measure("cached (device notifier)", listing(cached), seconds);
  Measure("availablePortInfos", listing(setwright::CSerialPortInfo::SystemLister()), seconds);

  // What a page does on each tick while it watches for a new port.
  setwright::PortWatch watch(setwright::CSerialPortInfo::SystemLister());
  watch.TakeSnapshot();
  Measure(
      "DetectNewPort",
      [&watch] {
        std::string newPortName;
        watch.DetectNewPort(newPortName);
        return watch.KnownPorts().size();
      },
      seconds);
  return 0;
}
