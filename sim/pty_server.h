// Serves one simulated device on a pseudo-terminal: the program (or a serial device server
// such as ser2net) opens the terminal's other end, the slave, as it would a local serial
// port. A pseudo-terminal has no modem lines, so the device sees RTS raised and 9600 baud
// from the start and its CTS goes nowhere: open its port with "--enter" or press
// "Enter Prog Mode". Only on systems with pseudo-terminals (not Windows).
#pragma once

#include <memory>
#include <string>

#include "sim/device_model.h"

namespace setwright::sim {

class PtyServer {
 public:
  explicit PtyServer(DeviceModel& device);
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Creates the pseudo-terminal and starts serving it on a thread of its own. On failure
  // returns false and sets error to the system's reason.
  bool Start(std::string* error = nullptr);
  void Stop();
  // The slave's path, e.g. /dev/pts/3, once started.
  std::string SlavePath() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace setwright::sim
