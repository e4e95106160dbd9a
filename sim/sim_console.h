// The console of setwright-sim: one command per line, acting on one simulated device.
//
//   on | off            the power switch
//   cycle [MS]          off, then on again MS ms later (default 1000)
//   show                the stored settings as KEY=VALUE lines
//   status              power, program mode, paired hosts and the faults switched on
//   set KEY=VALUE       store a value as it is, unchecked (for values a unit would refuse)
//   pair HOST           add a paired host (models that keep paired hosts)
//   fault               list the faults switched on
//   fault NAME[=VALUE]  switch a fault on (see device_options.h for the names)
//   fault NAME off      switch it off again; "fault clear" switches all off
//   new                 a fresh unit in this one's place (switched off, factory settings, the
//                       next identification)
//   help | quit
//
// Serving a bench (--count N), every command but help and quit names the device it acts on
// first: "cycle 3", "cycle all 500", "show 2", "new all".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/sim_device.h"

namespace setwright::sim {

// setwright-sim --model NAME [--port N] [--count N] [--bind ADDR] [--off] [--quit-on-eof]
//               [FAULT...]
// Faults are given in the text form of device_options.h, bare or after --fault.
struct SimArgs {
  std::string model;
  uint16_t port = 0;  // 0: a free port (for each device)
  int count = 1;      // devices, on consecutive ports from `port`
  std::string bindAddress = "127.0.0.1";
  bool startOff = false;
  bool quitOnEndOfInput = false;  // by default the device keeps being served without a console
  DeviceOptions options;
  bool help = false;
  bool version = false;
  bool pty = false;  // serve on a pseudo-terminal instead of a network port
};

// False with a reason in *error when the arguments cannot be used.
bool ParseSimArgs(const std::vector<std::string>& args, SimArgs* out, std::string* error);
std::string SimUsage();

class SimConsole {
 public:
  // pause waits the given milliseconds on the console's own clock (for "cycle").
  SimConsole(SimDevice& device, std::function<void(uint32_t)> pause)
      : device_(device), pause_(std::move(pause)) {}

  struct Result {
    std::string output;  // lines ending in "\n"; empty when there is nothing to say
    bool quit = false;
  };
  Result Execute(std::string_view line);

  static std::string Help();

 private:
  SimDevice& device_;
  std::function<void(uint32_t)> pause_;
};

// The console of a bench of devices: device 1 is the first. With one device it is that
// device's console.
class BenchConsole {
 public:
  BenchConsole(std::vector<SimDevice*> devices, std::function<void(uint32_t)> pause);
  SimConsole::Result Execute(std::string_view line);

 private:
  std::vector<SimDevice*> devices_;
  std::function<void(uint32_t)> pause_;
  std::vector<SimConsole> consoles_;
};

}  // namespace setwright::sim
