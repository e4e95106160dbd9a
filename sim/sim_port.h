// An in-process serial port wired to a simulated device, for tests that drive the session
// engine with a fake clock: no thread, no timer, no sleep.
//
// The test owns time. Advance(nowMs) lets the device act up to nowMs and reports what it sent
// the way the real port layer does: bytes that follow each other within the read interval
// (50 ms unless setReadIntervalTimeout says otherwise) make one report, raised once the line
// has been quiet for that interval. The listener is called on the test's own thread, from
// Advance, with no lock of the port held, so it may call readData.
//
// writeData hands the bytes to the device at the time of the latest Advance (or the start
// time). Only reported bytes can be read. While the port is closed the device's bytes are lost,
// as on a real line, and the port's calls behave as the ISerialPort contract says.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "sim/device_model.h"

namespace setwright::sim {

class SimPort : public ISerialPort, public IDeviceLink {
 public:
  // Attaches itself to the device; the device must outlive the port.
  explicit SimPort(DeviceModel& device, std::string portName = "SIM1", uint32_t startMs = 0);
  ~SimPort() override;
  SimPort(const SimPort&) = delete;
  SimPort& operator=(const SimPort&) = delete;

  // Makes the following open() calls fail (a missing or busy port).
  void SetOpenFails(bool fails);
  // Runs the device and the quiet-interval reports up to nowMs, in time order.
  void Advance(uint32_t nowMs);
  uint32_t Now() const;
  // Milliseconds until the device or a pending report next needs time, or -1.
  int MsUntilNextEvent() const;

  // Everything the host wrote since the last call, for tests to check.
  std::string TakeWritten();
  bool Rts() const;
  int OpenCount() const;

  // ISerialPort
  void setReadIntervalTimeout(unsigned int ms) override;
  void init(const std::string& portName, int baudRate, int parity, int dataBits, int stopBits,
            int flowControl, unsigned int readBufferSize) override;
  bool open() override;
  bool isOpen() override;
  void close() override;
  void setRts(bool on) override;
  void setBaudRate(int baudRate) override;
  void getModemStatus(uint32_t& status) override;
  int writeData(const void* data, int size) override;
  int readData(void* data, int size) override;
  void connectReadEvent(CSerialPortListener* listener) override;
  void disconnectReadEvent() override;

  // IDeviceLink (the device's side)
  void Send(const std::string& bytes) override;
  void SetModemLines(uint32_t lines) override;

 private:
  bool ReportDue(uint32_t now, uint32_t* due) const;  // with mu_ held
  void Report();

  DeviceModel& device_;
  mutable std::mutex mu_;
  std::string name_;
  LineSettings line_;
  unsigned int readInterval_ = 50;
  unsigned int receiveStore_ = 4096;
  bool openFails_ = false;
  bool open_ = false;
  bool rts_ = false;
  int openCount_ = 0;
  uint32_t now_;
  uint32_t modemLines_ = 0;
  std::string arriving_;  // not yet reported
  uint32_t lastArrival_ = 0;
  std::string held_;  // reported, readable
  std::string written_;
  CSerialPortListener* listener_ = nullptr;
};

}  // namespace setwright::sim
