// The wire trace: what went over a port, for support. Every byte in both directions, the
// modem-line changes, opening and closing, and notes of the front end (the session's
// reports), one event per line, readable without tools:
//
//   +0.412305 rfc2217://127.0.0.1:7310 > 0d 0a 40 50 52 4f 47 0d 0a  |..@PROG..|
//   +0.498712 rfc2217://127.0.0.1:7310 modem CTS=1 DSR=1 RI=0 DCD=0
//   +0.503004 rfc2217://127.0.0.1:7310 report blue Waiting for reading PROGRAM MODE!
//
// The time is seconds since the trace began, on the monotonic clock. ">" is host to device,
// "<" device to host; a run of more than 16 bytes takes one line per 16 bytes, each with the
// time of the run.
//
// A trace is written through a TracedPort wrapped around the port object a front end gives
// its session; nothing in the engine knows about it, and a port that is not wrapped costs
// nothing. The desktop program traces through Qt's logging category "setwright.wire", off
// unless switched on (QT_LOGGING_RULES="setwright.wire=true").
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "serial/serial_port.h"

namespace setwright {

// Where trace lines go. Thread-safe: ports trace from the session's thread and from the
// serial layer's threads.
class WireTrace {
 public:
  WireTrace();
  virtual ~WireTrace() = default;
  WireTrace(const WireTrace&) = delete;
  WireTrace& operator=(const WireTrace&) = delete;

  // Bytes sent ('>') or received ('<') on a port.
  void Bytes(const std::string& port, char direction, const void* data, size_t size);
  // Any other event on a port: "open ok", "modem CTS=1 ...", "report red ...".
  void Event(const std::string& port, const std::string& text);

 protected:
  // One finished line, without its line end. Called with the trace's lock held, so lines
  // of different threads never mix.
  virtual void WriteLine(const std::string& line) = 0;

 private:
  std::string Stamp() const;

  std::mutex mutex_;
  std::chrono::steady_clock::time_point start_;
};

// Appends to a file, flushed line by line: a crash loses nothing that was traced.
class FileWireTrace : public WireTrace {
 public:
  // Opens `path` for append; Ok() tells whether that worked, error() why not.
  explicit FileWireTrace(const std::string& path);
  ~FileWireTrace() override;
  bool Ok() const { return file_ != nullptr; }
  const std::string& Error() const { return error_; }

 protected:
  void WriteLine(const std::string& line) override;

 private:
  std::FILE* file_ = nullptr;
  std::string error_;
};

// The desktop program's trace: debug messages of the category "setwright.wire".
class QtLogWireTrace : public WireTrace {
 public:
  // The one trace of the process, or null when the category is off.
  static QtLogWireTrace* IfEnabled();

 protected:
  void WriteLine(const std::string& line) override;
};

// "0d 0a 40  |..@|": the bytes in hexadecimal, then as text with every byte that is not
// printable ASCII shown as ".".
std::string HexAndText(const void* data, size_t size);

// A message on one trace line: CR and LF as "\r" and "\n".
std::string EscapedText(const std::string& text);

// A port object that passes every call to `inner` and traces it. It stands between the
// session and the real port, also as the inner port's listener, so that the bytes the
// session reads are traced as they are taken.
class TracedPort : public ISerialPort, private CSerialPortListener {
 public:
  TracedPort(std::unique_ptr<ISerialPort> inner, WireTrace& trace);
  ~TracedPort() override;

  // The name given to the last init(), which the trace lines carry.
  std::string Name() const;

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
  OpenError lastOpenError() override;

 private:
  void onReadEvent(const char* portName, unsigned int readBufferLen) override;

  std::unique_ptr<ISerialPort> inner_;
  WireTrace& trace_;
  mutable std::mutex mutex_;
  std::string name_;
  std::string lineSettings_;
  bool statusKnown_ = false;
  uint32_t lastStatus_ = 0;
  CSerialPortListener* listener_ = nullptr;
};

// The port object a front end gives its session: the real port, traced into `trace` when
// one is given.
std::unique_ptr<ISerialPort> MakePort(WireTrace* trace);

}  // namespace setwright
