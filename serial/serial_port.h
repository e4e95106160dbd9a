// The port object every page talks to its device through.
//
// ISerialPort is the contract the session engine relies on; CSerialPort is the real
// implementation (local ports through Qt Serial Port, network ports through RFC 2217,
// chosen by the port name's scheme). Tests substitute their own ISerialPort.
//
// The port's I/O runs on a thread of the serial layer with a Qt event loop, so the program
// must have created its QCoreApplication (QApplication) before open(); without one open()
// fails.
//
// Results the engine relies on:
//  - open() on a missing or busy port leaves the port closed; isOpen() is the only test.
//    lastOpenError() then tells why, in the system's words.
//  - readData() never waits; it returns -1 on a closed port, else the bytes copied (0..size).
//  - writeData() returns when the bytes are written, or -1 on a closed port.
//  - setRts(), setBaudRate() and getModemStatus() do nothing on a closed port;
//    getModemStatus() then leaves the caller's word unchanged.
//  - Received bytes are reported to the listener once the line has been quiet for the
//    read interval; reports for one port never overlap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace setwright {

// Modem status bits reported by getModemStatus(); every other bit is zero.
inline constexpr uint32_t kModemCts = 0x10;
inline constexpr uint32_t kModemDsr = 0x20;
inline constexpr uint32_t kModemRing = 0x40;
inline constexpr uint32_t kModemDcd = 0x80;

enum Parity { ParityNone = 0, ParityOdd = 1, ParityEven = 2, ParityMark = 3, ParitySpace = 4 };
enum StopBits { StopOne = 0, StopOneAndHalf = 1, StopTwo = 2 };
enum FlowControl { FlowNone = 0, FlowHardware = 1, FlowSoftware = 2 };

// Why a port could not be opened. Local ports: permission denied, no such port, busy
// (held or locked by another program), other. Network ports: refused, unreachable, timed
// out, name not resolved, other.
enum class OpenFailure {
  None,
  PermissionDenied,
  NoSuchPort,
  Busy,
  Refused,
  Unreachable,
  TimedOut,
  NameNotResolved,
  Other,
};

struct OpenError {
  OpenFailure reason = OpenFailure::None;
  std::string text;  // the system's own text, e.g. "Permission denied"

  bool operator==(const OpenError&) const = default;
};

// One line for the user: the port, the system's text and what to do about it, e.g.
// "/dev/ttyUSB0: Permission denied - add your user to the 'dialout' group and log in
// again". Empty when there is no failure to tell.
std::string DescribeOpenError(const std::string& portName, const OpenError& error);

class CSerialPortListener {
 public:
  virtual ~CSerialPortListener() = default;
  // Called on a thread of the serial layer, never on the user-interface thread.
  // readBufferLen is the number of bytes the port's receive store holds.
  virtual void onReadEvent(const char* portName, unsigned int readBufferLen) = 0;
};

class ISerialPort {
 public:
  virtual ~ISerialPort() = default;

  virtual void setReadIntervalTimeout(unsigned int ms) = 0;
  // Stores the settings for the next open(); ignored on an open port.
  virtual void init(const std::string& portName, int baudRate, int parity, int dataBits,
                    int stopBits, int flowControl, unsigned int readBufferSize) = 0;
  virtual bool open() = 0;
  virtual bool isOpen() = 0;
  // Ends the port; a network opening under way on another thread ends at once, failed.
  virtual void close() = 0;
  // Why the last open() failed; OpenFailure::None after a successful one.
  virtual OpenError lastOpenError() { return {}; }

  virtual void setRts(bool on) = 0;
  virtual void setBaudRate(int baudRate) = 0;
  virtual void getModemStatus(uint32_t& status) = 0;

  virtual int writeData(const void* data, int size) = 0;
  virtual int readData(void* data, int size) = 0;

  virtual void connectReadEvent(CSerialPortListener* listener) = 0;
  virtual void disconnectReadEvent() = 0;
};

// The real port object. The transport is chosen at open() by the port name:
// "rfc2217://HOST:PORT" is a network serial port, anything else a local port.
class CSerialPort : public ISerialPort {
 public:
  CSerialPort();
  ~CSerialPort() override;
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  void setReadIntervalTimeout(unsigned int ms) override;
  void init(const std::string& portName, int baudRate, int parity, int dataBits, int stopBits,
            int flowControl, unsigned int readBufferSize) override;
  bool open() override;
  bool isOpen() override;
  void close() override;
  OpenError lastOpenError() override;
  void setRts(bool on) override;
  void setBaudRate(int baudRate) override;
  void getModemStatus(uint32_t& status) override;
  int writeData(const void* data, int size) override;
  int readData(void* data, int size) override;
  void connectReadEvent(CSerialPortListener* listener) override;
  void disconnectReadEvent() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace setwright
