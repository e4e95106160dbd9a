// A simulated device on an in-process port, with a listener that keeps what the host received.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "serial/serial_port.h"
#include "sim/sim_device.h"
#include "sim/sim_port.h"

namespace setwright::sim::testing {

class Bench : public CSerialPortListener {
 public:
  explicit Bench(std::string_view model, DeviceOptions options = {});
  ~Bench() override;

  // Powers the device on at `at` and opens the port with the program's line settings.
  void PowerOnAndOpen(uint32_t at = 0);
  // Lets time run to `at`, then writes.
  void Write(std::string_view bytes, uint32_t at);
  void RunTo(uint32_t at) { port->Advance(at); }
  // Puts the device into program mode with its family's entry and forgets the dump.
  void Enter(uint32_t at);
  // Every byte received so far, and then forgets them.
  std::string Take();

  void onReadEvent(const char* portName, unsigned int readBufferLen) override;

  std::unique_ptr<SimDevice> device;
  std::unique_ptr<SimPort> port;
  std::vector<std::string> reports;  // one entry per read event
};

}  // namespace setwright::sim::testing
