// Serves one simulated device on a TCP port as a network serial port (Telnet COM Port
// Control Option, RFC 2217), so the program and other clients can open it as
// "rfc2217://127.0.0.1:PORT".
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sim/device_model.h"

namespace setwright::sim {

class Rfc2217Server {
 public:
  // port 0 picks a free port. The server runs on a thread of its own and gives the model
  // its time (Advance) while it runs.
  explicit Rfc2217Server(DeviceModel& device, std::string bindAddress = "127.0.0.1",
                         uint16_t port = 0);
  ~Rfc2217Server();
  bool Start();
  void Stop();
  uint16_t Port() const;
  std::string Url() const;  // "rfc2217://127.0.0.1:PORT"

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace setwright::sim
