// A simulated converter device as seen from its serial port. Device models are plain C++
// classes: tests drive them in-process, and setwright-sim serves one behind the RFC 2217
// transport.
//
// Time is given to the model (Advance), never read by it, so tests stay deterministic.
// Every method is thread-safe; a model never calls its link while the link is calling it
// back (links must not call into the model from Send or SetModemLines).
#pragma once

#include <cstdint>
#include <string>

namespace setwright::sim {

// The model's side of the wire.
class IDeviceLink {
 public:
  virtual ~IDeviceLink() = default;
  virtual void Send(const std::string& bytes) = 0;  // device -> host
  virtual void SetModemLines(uint32_t lines) = 0;   // CTS 0x10, DSR 0x20, RI 0x40, DCD 0x80
};

struct LineSettings {
  int baudRate = 9600;
  int dataBits = 8;
  int parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int stopBits = 2;  // 0 one, 1 one and a half, 2 two
};

class DeviceModel {
 public:
  virtual ~DeviceModel() = default;

  virtual void Attach(IDeviceLink* link) = 0;  // null detaches
  virtual void OnHostBytes(const std::string& bytes, uint32_t nowMs) = 0;
  virtual void OnRts(bool on, uint32_t nowMs) = 0;
  virtual void OnLineSettings(const LineSettings& settings, uint32_t nowMs) = 0;
  // Lets scheduled replies and power-up steps happen up to nowMs.
  virtual void Advance(uint32_t nowMs) = 0;
  // Milliseconds until the next scheduled event, or -1 when nothing is scheduled.
  virtual int MsUntilNextEvent(uint32_t nowMs) = 0;
};

}  // namespace setwright::sim
