#include "serial/wire_trace.h"

#include <QLoggingCategory>
#include <cerrno>
#include <cstring>

namespace setwright {

namespace {

Q_LOGGING_CATEGORY(wireCategory, "setwright.wire", QtWarningMsg)

constexpr size_t kBytesPerLine = 16;

const char* ParityLetter(int parity) {
  switch (parity) {
    case ParityOdd:
      return "O";
    case ParityEven:
      return "E";
    case ParityMark:
      return "M";
    case ParitySpace:
      return "S";
    default:
      return "N";
  }
}

const char* StopBitsText(int stopBits) {
  switch (stopBits) {
    case StopOneAndHalf:
      return "1.5";
    case StopTwo:
      return "2";
    default:
      return "1";
  }
}

std::string ModemText(uint32_t status) {
  auto bit = [&](const char* name, uint32_t mask) {
    return std::string(name) + ((status & mask) ? "=1" : "=0");
  };
  return "modem " + bit("CTS", kModemCts) + " " + bit("DSR", kModemDsr) + " " +
         bit("RI", kModemRing) + " " + bit("DCD", kModemDcd);
}

}  // namespace

WireTrace::WireTrace() : start_(std::chrono::steady_clock::now()) {}

std::string WireTrace::Stamp() const {
  const auto elapsed = std::chrono::steady_clock::now() - start_;
  const long long us = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
  char text[32];
  std::snprintf(text, sizeof text, "+%lld.%06lld", us / 1000000, us % 1000000);
  return text;
}

void WireTrace::Bytes(const std::string& port, char direction, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::lock_guard lock(mutex_);
  const std::string head = Stamp() + " " + port + " " + direction + " ";
  for (size_t at = 0; at < size; at += kBytesPerLine)
    WriteLine(head + HexAndText(bytes + at, std::min(kBytesPerLine, size - at)));
}

void WireTrace::Event(const std::string& port, const std::string& text) {
  std::lock_guard lock(mutex_);
  WriteLine(Stamp() + " " + port + " " + text);
}

std::string HexAndText(const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  static const char kDigits[] = "0123456789abcdef";
  std::string hex, text;
  for (size_t i = 0; i < size; ++i) {
    if (i) hex += ' ';
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0x0F];
    text += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '.';
  }
  return hex + "  |" + text + "|";
}

std::string EscapedText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

FileWireTrace::FileWireTrace(const std::string& path) {
  file_ = std::fopen(path.c_str(), "a");
  if (!file_) error_ = std::strerror(errno);
}

FileWireTrace::~FileWireTrace() {
  if (file_) std::fclose(file_);
}

void FileWireTrace::WriteLine(const std::string& line) {
  if (!file_) return;
  std::fputs(line.c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

QtLogWireTrace* QtLogWireTrace::IfEnabled() {
  if (!wireCategory().isDebugEnabled()) return nullptr;
  static QtLogWireTrace trace;
  return &trace;
}

void QtLogWireTrace::WriteLine(const std::string& line) {
  qCDebug(wireCategory, "%s", line.c_str());
}

TracedPort::TracedPort(std::unique_ptr<ISerialPort> inner, WireTrace& trace)
    : inner_(std::move(inner)), trace_(trace) {}

TracedPort::~TracedPort() {
  inner_->disconnectReadEvent();
}

std::string TracedPort::Name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

void TracedPort::setReadIntervalTimeout(unsigned int ms) {
  inner_->setReadIntervalTimeout(ms);
}

void TracedPort::init(const std::string& portName, int baudRate, int parity, int dataBits,
                      int stopBits, int flowControl, unsigned int readBufferSize) {
  inner_->init(portName, baudRate, parity, dataBits, stopBits, flowControl, readBufferSize);
  if (inner_->isOpen()) return;  // an open port keeps its settings
  std::lock_guard lock(mutex_);
  name_ = portName;
  lineSettings_ = std::to_string(baudRate) + " " + std::to_string(dataBits) + ParityLetter(parity) +
                  StopBitsText(stopBits);
}

bool TracedPort::open() {
  const bool ok = inner_->open();
  std::string name, settings;
  {
    std::lock_guard lock(mutex_);
    name = name_;
    settings = lineSettings_;
    statusKnown_ = false;
  }
  std::string outcome = " ok";
  if (!ok) {
    const std::string why = inner_->lastOpenError().text;
    outcome = " failed" + (why.empty() ? std::string() : ": " + why);
  }
  trace_.Event(name, "open " + settings + outcome);
  return ok;
}

OpenError TracedPort::lastOpenError() {
  return inner_->lastOpenError();
}

bool TracedPort::isOpen() {
  return inner_->isOpen();
}

void TracedPort::close() {
  const bool wasOpen = inner_->isOpen();
  inner_->close();
  if (wasOpen) trace_.Event(Name(), "close");
}

void TracedPort::setRts(bool on) {
  inner_->setRts(on);
  if (inner_->isOpen()) trace_.Event(Name(), on ? "RTS=1" : "RTS=0");
}

void TracedPort::setBaudRate(int baudRate) {
  inner_->setBaudRate(baudRate);
  if (inner_->isOpen()) trace_.Event(Name(), "baud " + std::to_string(baudRate));
}

void TracedPort::getModemStatus(uint32_t& status) {
  inner_->getModemStatus(status);
  if (!inner_->isOpen()) return;
  std::string name;
  {
    std::lock_guard lock(mutex_);
    if (statusKnown_ && lastStatus_ == status) return;
    statusKnown_ = true;
    lastStatus_ = status;
    name = name_;
  }
  trace_.Event(name, ModemText(status));
}

int TracedPort::writeData(const void* data, int size) {
  const int written = inner_->writeData(data, size);
  if (written > 0) trace_.Bytes(Name(), '>', data, static_cast<size_t>(written));
  if (written < 0) trace_.Event(Name(), "write failed: port closed");
  return written;
}

int TracedPort::readData(void* data, int size) {
  const int got = inner_->readData(data, size);
  if (got > 0) trace_.Bytes(Name(), '<', data, static_cast<size_t>(got));
  return got;
}

void TracedPort::connectReadEvent(CSerialPortListener* listener) {
  {
    std::lock_guard lock(mutex_);
    listener_ = listener;
  }
  inner_->connectReadEvent(this);
}

void TracedPort::disconnectReadEvent() {
  {
    std::lock_guard lock(mutex_);
    listener_ = nullptr;
  }
  inner_->disconnectReadEvent();
}

void TracedPort::onReadEvent(const char* portName, unsigned int readBufferLen) {
  CSerialPortListener* listener;
  {
    std::lock_guard lock(mutex_);
    listener = listener_;
  }
  if (listener) listener->onReadEvent(portName, readBufferLen);
}

std::unique_ptr<ISerialPort> MakePort(WireTrace* trace) {
  auto port = std::make_unique<CSerialPort>();
  if (!trace) return port;
  return std::make_unique<TracedPort>(std::move(port), *trace);
}

}  // namespace setwright
