// Cost of watching the serial ports the way the serial-to-keyboard pages do: one listing
// every 50 ms for as long as a page is open. Prints the cost per call and the share of
// one core at 20 calls a second, for the listing taken afresh and the cached listing.
//
//   port_listing_bench [seconds-per-measurement]
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "serial/port_listing.h"
#include "serial/serial_port_info.h"

namespace {

using setwright::IPortLister;

// Processor time of the whole process, so that helper threads would count too.
double CpuSeconds() {
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

void Measure(const char* label, IPortLister& lister, double seconds) {
  lister.List();  // first use builds caches and loads libraries
  const double start = CpuSeconds();
  long calls = 0;
  size_t ports = 0;
  while (CpuSeconds() - start < seconds) {
    ports = lister.List().size();
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
  Measure("plain (taken afresh)", plain, seconds);
  Measure("cached (device notifier)", cached, seconds);
  Measure("CSerialPortInfo (cached)", setwright::CSerialPortInfo::SystemLister(), seconds);
  return 0;
}
